// The clipboard as the class library sees it: one in-process store of data handles by format.
// The forms layer may bridge it to the desktop's clipboard.
#pragma once

#include <map>

#include "classlib/gdi.h"
#include "classlib/object.h"

class TClipboard : public TPersistent {
public:
  CLASSLIB_CLASS(TClipboard)
  TClipboard() = default;
  ~TClipboard() override;

  // Opening nests; the store is usable whether or not it is open.
  void Open();
  void Close();
  bool IsOpen() const { return openCount_ > 0; }

  // The handle held for a format (0 when none); the clipboard keeps owning it.
  HANDLE GetAsHandle(WORD format) const;
  // Takes ownership of value (a global memory block, or a palette for CF_PALETTE) and frees
  // what the format held before.
  void SetAsHandle(WORD format, HANDLE value);
  bool HasFormat(WORD format) const;
  // Frees every handle held.
  void Clear();

private:
  std::map<WORD, HANDLE> data_;
  int openCount_ = 0;
};

// The process's clipboard.
TClipboard* Clipboard();
