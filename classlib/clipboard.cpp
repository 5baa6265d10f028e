#include "classlib/clipboard.h"

namespace {

void FreeHandle(WORD format, HANDLE handle) {
  if (format == CF_PALETTE) {
    DeleteObject(handle);
  } else {
    GlobalFree(handle);
  }
}

}  // namespace

TClipboard::~TClipboard() { Clear(); }

void TClipboard::Open() { ++openCount_; }

void TClipboard::Close() {
  if (openCount_ > 0) --openCount_;
}

HANDLE TClipboard::GetAsHandle(WORD format) const {
  auto it = data_.find(format);
  return it == data_.end() ? 0 : it->second;
}

void TClipboard::SetAsHandle(WORD format, HANDLE value) {
  auto it = data_.find(format);
  if (it != data_.end()) {
    if (it->second == value) return;
    FreeHandle(format, it->second);
    data_.erase(it);
  }
  if (value != 0) data_[format] = value;
}

bool TClipboard::HasFormat(WORD format) const { return data_.count(format) != 0; }

void TClipboard::Clear() {
  for (const auto& [format, handle] : data_) FreeHandle(format, handle);
  data_.clear();
}

TClipboard* Clipboard() {
  // Never destroyed: the handle tables it would free may already be gone at exit.
  static TClipboard* clipboard = new TClipboard;
  return clipboard;
}
