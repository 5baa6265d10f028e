#include "melsire/MsgBox.h"

#include "classlib/forms/forms.h"

namespace {

// Puts the remembered cursor back when the box is gone, however it went.
class TCursorRestorer {
public:
  TCursorRestorer() : saved_(Screen->Cursor()) {}
  ~TCursorRestorer() {
    try {
      Screen->SetCursor(saved_);
    } catch (...) {
      // A cleanup path never throws; the cursor stays the arrow.
    }
  }
  TCursorRestorer(const TCursorRestorer&) = delete;
  TCursorRestorer& operator=(const TCursorRestorer&) = delete;

private:
  TCursor saved_;
};

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, int flags) {
  const TCursorRestorer restorer;
  Screen->SetCursor(crDefault);
  return Application->MessageBox(text, caption, flags);
}

void ShowInfoBox(const std::string& text, const std::string& caption) {
  ShowMessageBox(text, caption, MB_ICONINFORMATION);
}
