// The composer tests run the real windows offscreen, with every modal window answered
// from the automation queue.
#include <cstdlib>

#include <gtest/gtest.h>

#include "classlib/forms/automation.h"
#include "classlib/forms/forms.h"
#include "png/ZelPNG.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  ZelPNG_Initialize();
  Application->Initialize();
  Application->SetTitle("Corvane");
  TAutomation::SetActive(true);
  TAutomation::SetFailureHandler([](const std::string& message) { ADD_FAILURE() << message; });
  const int result = RUN_ALL_TESTS();
  Application->Done();
  ZelPNG_Finalize();
  return result;
}
