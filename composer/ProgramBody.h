// The program body both composers share: modules up, the application titled after the
// program, the main window first (so it is the application's main form), the palette
// dialog hidden for the whole run, the message loop, and the modules down again.
#pragma once

#include "classlib/forms/forms.h"
#include "colour/Unit_DColor.h"
#include "png/ZelPNG.h"

template <class MainForm>
int RunComposer(const char* title, TGlyph icon, MainForm*& mainForm) {
  ZelPNG_Initialize();
  Application->Initialize();
  // The title is also the caption of the error box.
  Application->SetTitle(title);
  Application->SetIcon(icon);
  Application->CreateForm(mainForm);
  // Created once, hidden, and shown by every save.
  Application->CreateForm(frmDColor);
  Application->Run();
  Application->Done();
  ZelPNG_Finalize();
  return 0;
}
