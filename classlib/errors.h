// The class library's exception family and its message formatting.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <variant>
#include <initializer_list>

// One argument of Format: text for "%s", a whole number for "%d".
class FormatArg {
public:
  FormatArg(const std::string& s) : value_(s) {}
  FormatArg(std::string_view s) : value_(std::string(s)) {}
  FormatArg(const char* s) : value_(std::string(s ? s : "")) {}
  FormatArg(int v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(long v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(long long v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned long v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned long long v) : value_(static_cast<std::int64_t>(v)) {}
  std::string Text() const;

private:
  std::variant<std::string, std::int64_t> value_;
};

// Fills "%s" and "%d" in order; "%%" is a percent sign. Missing arguments leave the marker as it is.
std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args);

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  virtual const char* ClassName() const noexcept { return "Exception"; }

  std::string Message;
};

#define CLASSLIB_EXCEPTION(Name, Base)                                   \
  class Name : public Base {                                             \
  public:                                                                \
    using Base::Base;                                                    \
    const char* ClassName() const noexcept override { return #Name; }   \
  }

// Silent exception: the application drops it without an error box.
CLASSLIB_EXCEPTION(EAbort, Exception);
CLASSLIB_EXCEPTION(EAssertionFailed, Exception);
CLASSLIB_EXCEPTION(EOutOfMemory, Exception);
CLASSLIB_EXCEPTION(EOutOfResources, Exception);
CLASSLIB_EXCEPTION(EInvalidGraphic, Exception);
CLASSLIB_EXCEPTION(EInvalidGraphicOperation, Exception);
CLASSLIB_EXCEPTION(EInvalidOperation, Exception);
CLASSLIB_EXCEPTION(EConvertError, Exception);
CLASSLIB_EXCEPTION(EStreamError, Exception);
CLASSLIB_EXCEPTION(EReadError, EStreamError);
CLASSLIB_EXCEPTION(EWriteError, EStreamError);
CLASSLIB_EXCEPTION(EFileStreamError, EStreamError);
CLASSLIB_EXCEPTION(EFOpenError, EFileStreamError);
CLASSLIB_EXCEPTION(EFCreateError, EFileStreamError);
CLASSLIB_EXCEPTION(EListError, Exception);
CLASSLIB_EXCEPTION(EIniFileException, Exception);

// The class library's texts.
inline constexpr const char* SReadError = "ストリームからの読み込みエラー";
inline constexpr const char* SWriteError = "ストリームへの書き込みエラー";
inline constexpr const char* SFOpenError = "ファイル %s は開けません";
inline constexpr const char* SFCreateError = "ファイル %s を作成できません";
inline constexpr const char* SListIndexError = "リストのインデックスが範囲を超えています (%d)";
inline constexpr const char* SIniFileWriteError = "%s に書き込めません";
inline constexpr const char* SAssignError = "%s を %s に代入することはできません";
inline constexpr const char* SAssertError = "%s (%s, %d 行)";
inline constexpr const char* SAssertionFailed = "Assertion failure";
inline constexpr const char* SOutOfMemory = "メモリが足りません";
inline constexpr const char* SOutOfResources = "システムリソースが足りません";
inline constexpr const char* SInvalidBitmap = "ビットマップイメージが不正です";
inline constexpr const char* SUnknownExtension = "拡張子 .%s の画像形式は処理できません";

// For the catch (...) handler that ends every load: rethrows the exception in flight so
// that only the class library's exceptions leave a load, as its callers expect. A failed
// allocation (std::bad_alloc, or a container asked for more than it can hold) becomes
// EOutOfMemory, any other std:: exception EOutOfResources; the class library's own pass as
// they are.
[[noreturn]] void RethrowLoadFailure();

// For the catch (...) handler of a release path (a destructor, the undoing after a
// failure), which must not throw: writes the exception in flight, after the name of the
// release that raised it, to stderr, so that the failure is seen and the release goes on.
void ReportReleaseFailure(const char* release) noexcept;

[[noreturn]] void RaiseAssertion(const char* message, const char* file, int line);

// Assert(condition) or Assert(condition, "message"): raises EAssertionFailed with the
// message (or "Assertion failure"), the source file and the line.
#define CLASSLIB_ASSERT_1(cond) \
  ((cond) ? (void)0 : RaiseAssertion(nullptr, __FILE__, __LINE__))
#define CLASSLIB_ASSERT_2(cond, msg) \
  ((cond) ? (void)0 : RaiseAssertion((msg), __FILE__, __LINE__))
#define CLASSLIB_ASSERT_PICK(_1, _2, NAME, ...) NAME
#define Assert(...) CLASSLIB_ASSERT_PICK(__VA_ARGS__, CLASSLIB_ASSERT_2, CLASSLIB_ASSERT_1, )(__VA_ARGS__)
