#include "classlib/strings.h"

#include <algorithm>

namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

}  // namespace

int CompareText(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = FoldAscii(static_cast<unsigned char>(a[i]));
    const int cb = FoldAscii(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

namespace {

bool TextLess(const std::string& a, const std::string& b) { return CompareText(a, b) < 0; }

}  // namespace

void TStringList::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) throw EListError(Format(SListIndexError, {index}));
}

void TStringList::Changed() {
  if (OnChange) OnChange(this);
}

const std::string& TStringList::Strings(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<std::size_t>(index)];
}

// A new string goes before the strings it equals, where a binary search finds the first.
int TStringList::SortedPlace(std::string_view s) const {
  const auto it = std::lower_bound(items_.begin(), items_.end(), s,
                                   [](const std::string& item, std::string_view key) { return CompareText(item, key) < 0; });
  return static_cast<int>(it - items_.begin());
}

void TStringList::SetStrings(int index, const std::string& s) {
  CheckIndex(index, Count());
  if (sorted_) {
    items_.erase(items_.begin() + index);
    items_.insert(items_.begin() + SortedPlace(s), s);
  } else {
    items_[static_cast<std::size_t>(index)] = s;
  }
  Changed();
}

int TStringList::Add(const std::string& s) {
  const int index = sorted_ ? SortedPlace(s) : Count();
  items_.insert(items_.begin() + index, s);
  Changed();
  return index;
}

void TStringList::Insert(int index, const std::string& s) {
  CheckIndex(index, Count() + 1);
  if (sorted_) index = SortedPlace(s);
  items_.insert(items_.begin() + index, s);
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index, Count());
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Changed();
}

void TStringList::AddStrings(const TStringList* source) {
  if (source == nullptr || source->items_.empty()) return;
  const std::vector<std::string> copy = source->items_;  // source may be this list
  items_.insert(items_.end(), copy.begin(), copy.end());
  if (sorted_) std::stable_sort(items_.begin(), items_.end(), TextLess);
  Changed();
}

int TStringList::IndexOf(std::string_view s) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (SameText(items_[i], s)) return static_cast<int>(i);
  }
  return -1;
}

void TStringList::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  sorted_ = sorted;
  if (sorted_) Sort();
}

void TStringList::Sort() {
  if (std::is_sorted(items_.begin(), items_.end(), TextLess)) return;
  std::stable_sort(items_.begin(), items_.end(), TextLess);
  Changed();
}

void TStringList::Assign(TPersistent* source) {
  auto* list = dynamic_cast<TStringList*>(source);
  if (list == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (list == this) return;
  items_ = list->items_;
  if (sorted_) std::stable_sort(items_.begin(), items_.end(), TextLess);
  Changed();
}
