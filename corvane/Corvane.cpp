// Corvane's program body.
#include "classlib/forms/forms.h"
#include "colour/Unit_DColor.h"
#include "corvane/Unit_Main.h"
#include "png/ZelPNG.h"

int main() {
  ZelPNG_Initialize();
  Application->Initialize();
  Application->SetTitle("Corvane");
  Application->CreateForm(frmMain);
  // Created once, hidden, and shown by every save.
  Application->CreateForm(frmDColor);
  Application->Run();
  Application->Done();
  ZelPNG_Finalize();
  return 0;
}
