// Test names for the cases of parameterised suites.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

// The text with every character a test name cannot hold turned into '_'.
inline std::string TestName(std::string text) {
  for (char& ch : text)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return text;
}

// Names each case after its own `what`, `name` or `Name` field.
struct CaseName {
  template <class Case>
  std::string operator()(const testing::TestParamInfo<Case>& info) const {
    if constexpr (requires { info.param.what; }) return TestName(info.param.what);
    else if constexpr (requires { info.param.name; }) return TestName(info.param.name);
    else return TestName(info.param.Name);
  }
};
