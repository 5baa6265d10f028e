#include "classlib/filenames.h"

#include <sys/stat.h>
#include <unistd.h>

#include <limits>
#include <mutex>
#include <vector>

std::string ExtractFilePath(std::string_view fileName) {
  const std::size_t slash = fileName.rfind(PathDelim);
  return slash == std::string_view::npos ? std::string() : std::string(fileName.substr(0, slash + 1));
}

std::string ExtractFileDir(std::string_view fileName) {
  const std::size_t slash = fileName.rfind(PathDelim);
  if (slash == std::string_view::npos) return std::string();
  return std::string(fileName.substr(0, slash == 0 ? 1 : slash));
}

std::string ExtractFileName(std::string_view fileName) {
  const std::size_t slash = fileName.rfind(PathDelim);
  return std::string(slash == std::string_view::npos ? fileName : fileName.substr(slash + 1));
}

namespace {

// Where the extension starts, or npos when the name part has no point.
std::size_t ExtensionStart(std::string_view fileName) {
  const std::size_t dot = fileName.rfind('.');
  const std::size_t slash = fileName.rfind(PathDelim);
  if (dot == std::string_view::npos) return dot;
  if (slash != std::string_view::npos && dot < slash) return std::string_view::npos;
  return dot;
}

}  // namespace

std::string ExtractFileExt(std::string_view fileName) {
  const std::size_t dot = ExtensionStart(fileName);
  return dot == std::string_view::npos ? std::string() : std::string(fileName.substr(dot));
}

std::string ChangeFileExt(std::string_view fileName, std::string_view ext) {
  const std::size_t dot = ExtensionStart(fileName);
  std::string out(fileName.substr(0, dot == std::string_view::npos ? fileName.size() : dot));
  out += ext;
  return out;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  if (out.empty() || out.back() != PathDelim) out += PathDelim;
  return out;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  if (!out.empty() && out.back() == PathDelim) out.pop_back();
  return out;
}

bool FileExists(const std::string& fileName) {
  struct stat st {};
  return !fileName.empty() && ::stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return out;
}

std::string UpperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
  return out;
}

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int StrToIntDef(std::string_view s, int def) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';

  bool hex = false;
  if (i < s.size() && s[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return def;

  // Accumulating in 64 bits and stopping past the widest 32-bit value keeps it overflow-free.
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : 0x80000000ull;
  std::uint64_t value = 0;
  for (; i < s.size(); ++i) {
    const int digit = hex ? HexDigit(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
    if (digit < 0) return def;
    value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (value > limit) return def;
  }
  if (hex) {
    const auto bits = static_cast<std::uint32_t>(value);
    const auto wrapped = static_cast<std::int32_t>(bits);
    return negative ? static_cast<int>(0u - bits) : wrapped;
  }
  if (!negative && value > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return def;
  return negative ? static_cast<int>(-static_cast<std::int64_t>(value)) : static_cast<int>(value);
}

namespace {

std::mutex exeMutex;
std::string exeOverride;

std::string ReadExeLink() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string ExeName() {
  std::lock_guard<std::mutex> lock(exeMutex);
  if (!exeOverride.empty()) return exeOverride;
  static const std::string real = ReadExeLink();
  return real;
}

std::string ExeFolder() { return ExtractFilePath(ExeName()); }

void SetExeNameForTesting(const std::string& fileName) {
  std::lock_guard<std::mutex> lock(exeMutex);
  exeOverride = fileName;
}
