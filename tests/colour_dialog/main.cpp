// The palette dialog tests run the real dialog offscreen, with every modal window answered
// from the automation queue.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "classlib/forms/automation.h"
#include "classlib/forms/forms.h"
#include "png/ZelPNG.h"

// The dialog writes the composer module's choice; here the tests own it.
std::string PaletteSource;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  ZelPNG_Initialize();
  Application->Initialize();
  TAutomation::SetActive(true);
  TAutomation::SetFailureHandler([](const std::string& message) { ADD_FAILURE() << message; });
  const int result = RUN_ALL_TESTS();
  Application->Done();
  ZelPNG_Finalize();
  return result;
}
