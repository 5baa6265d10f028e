// The Melsire tests run the real window offscreen; every modal window takes its answer
// from the automation queue.
#include <cstdlib>

#include <gtest/gtest.h>

#include "classlib/forms/automation.h"
#include "classlib/forms/forms.h"
#include "png/ZelPNG.h"

namespace {

class MelsireEnvironment : public testing::Environment {
public:
  void SetUp() override {
    ZelPNG_Initialize();
    Application->Initialize();
    Application->SetTitle("Melsire");
    TAutomation::SetActive(true);
    TAutomation::SetFailureHandler([](const std::string& message) { ADD_FAILURE() << message; });
  }
  void TearDown() override {
    Application->Done();
    ZelPNG_Finalize();
  }
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new MelsireEnvironment);
  return RUN_ALL_TESTS();
}
