// The Pandrel tests run the real window offscreen, with every modal window answered from
// the automation queue, and the modules set up as the program body sets them up.
#include <cstdlib>

#include <gtest/gtest.h>

#include "classlib/forms/automation.h"
#include "classlib/forms/forms.h"
#include "dib/UlmDIB.h"
#include "png/ZelPNG.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  UlmDIB_Initialize();
  ZelPNG_Initialize();
  Application->Initialize();
  Application->SetTitle("Pandrel");
  TAutomation::SetActive(true);
  TAutomation::SetFailureHandler([](const std::string& message) { ADD_FAILURE() << message; });
  const int result = RUN_ALL_TESTS();
  Application->Done();
  ZelPNG_Finalize();
  UlmDIB_Finalize();
  return result;
}
