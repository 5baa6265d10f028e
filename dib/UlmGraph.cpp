#include "dib/UlmGraph.h"

#include "classlib/clipboard.h"

void TUlmGraphic::Assign(TPersistent* source) {
  auto* clipboard = dynamic_cast<TClipboard*>(source);
  if (clipboard == nullptr) {
    TGraphic::Assign(source);
    return;
  }
  clipboard->Open();
  try {
    const HANDLE data = clipboard->GetAsHandle(ClipboardFormat());
    const HANDLE palette = clipboard->GetAsHandle(CF_PALETTE);
    LoadFromClipboardFormat(ClipboardFormat(), data, palette);
  } catch (...) {
    clipboard->Close();
    throw;
  }
  clipboard->Close();
}
