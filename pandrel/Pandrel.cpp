// Pandrel's program body: the modules up (the bitmap library before the PNG codec), the
// application titled, the main window, the message loop, and the modules down in reverse.
#include "classlib/forms/forms.h"
#include "dib/UlmDIB.h"
#include "pandrel/Unit_Main.h"
#include "png/ZelPNG.h"

int main() {
  UlmDIB_Initialize();
  ZelPNG_Initialize();
  Application->Initialize();
  // The title is also the caption of the error box and of plain notices.
  Application->SetTitle("Pandrel");
  Application->SetIcon(TGlyph::BatchProgram);
  Application->CreateForm(frmMain);
  Application->Run();
  Application->Done();
  ZelPNG_Finalize();
  UlmDIB_Finalize();
  return 0;
}
