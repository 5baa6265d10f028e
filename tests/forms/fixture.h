// What every forms test shares: a clean automation queue, and a check that the test used
// every answer it queued (an unused answer means a window the test expected never showed).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "classlib/forms/automation.h"
#include "support/case_name.h"

class FormsTest : public ::testing::Test {
protected:
  void SetUp() override { TAutomation::Clear(); }
  void TearDown() override {
    EXPECT_EQ(TAutomation::Pending(), 0u) << "queued answers were never asked for";
    TAutomation::Clear();
  }
  // The one window shown since the last call.
  static TModalShown OnlyShown() {
    const std::vector<TModalShown> shown = TAutomation::TakeShown();
    EXPECT_EQ(shown.size(), 1u) << "windows shown";
    return shown.size() == 1 ? shown[0] : TModalShown{};
  }
};

// Collects automation failures instead of failing the test, for tests about failures.
class CollectFailures {
public:
  CollectFailures() {
    TAutomation::SetFailureHandler([this](const std::string& message) { Messages.push_back(message); });
  }
  ~CollectFailures() {
    TAutomation::SetFailureHandler([](const std::string& message) { ADD_FAILURE() << message; });
  }
  std::vector<std::string> Messages;
};

// The locale's variables of the environment (LANG, every LC_*, LANGUAGE), set ones only: a
// variable set empty differs from one not set.
inline std::map<std::string, std::string> LocaleVariables() {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = text.substr(0, equals);
    if (name == "LANG" || name == "LANGUAGE" || name.starts_with("LC_")) variables[name] = text.substr(equals + 1);
  }
  return variables;
}
// As the suite found them, before the application started.
extern std::map<std::string, std::string> LocaleVariablesAtStart;
