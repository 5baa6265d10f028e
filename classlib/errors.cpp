#include "classlib/errors.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>

std::string FormatArg::Text() const {
  if (const auto* s = std::get_if<std::string>(&value_)) return *s;
  return std::to_string(std::get<std::int64_t>(value_));
}

std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  auto next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    const char spec = pattern[i + 1];
    if (spec == '%') {
      out += '%';
      ++i;
    } else if ((spec == 's' || spec == 'd') && next != args.end()) {
      out += (next++)->Text();
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

void RaiseAssertion(const char* message, const char* file, int line) {
  const char* base = std::strrchr(file, '/');
  throw EAssertionFailed(Format(SAssertError, {message ? message : SAssertionFailed,
                                               base ? base + 1 : file, line}));
}

void RethrowLoadFailure() {
  try {
    throw;
  } catch (const Exception&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(SOutOfMemory);
  } catch (const std::length_error&) {
    throw EOutOfMemory(SOutOfMemory);
  } catch (const std::exception&) {
    throw EOutOfResources(SOutOfResources);
  }
}

void ReportReleaseFailure(const char* release) noexcept {
  try {
    if (std::exception_ptr failure = std::current_exception()) std::rethrow_exception(failure);
    std::fprintf(stderr, "%s: failed\n", release);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", release, e.what());
  } catch (...) {
    std::fprintf(stderr, "%s: unknown exception\n", release);
  }
}
