// The forms suite runs on one desktop connection (offscreen under ctest) with automation on:
// a modal window that a test did not answer fails that test instead of waiting.
#include <gtest/gtest.h>

#include <cstdlib>

#include "classlib/forms/automation.h"
#include "classlib/forms/forms.h"
#include "forms/fixture.h"
#include "forms/swatch.h"

std::map<std::string, std::string> LocaleVariablesAtStart;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  LocaleVariablesAtStart = LocaleVariables();
  Application->Initialize();
  Application->SetTitle("FormsTest");
  TAutomation::SetActive(true);
  TAutomation::SetFailureHandler([](const std::string& message) { ADD_FAILURE() << message; });
  RegisterPictureFormat("swatch", "Swatch for tests", ClassOf<TSwatch>());
  const int result = RUN_ALL_TESTS();
  UnregisterPictureFormat(ClassOf<TSwatch>());
  Application->Done();
  return result;
}
