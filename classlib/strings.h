// The class library's list of strings, and the case-blind comparison it sorts and searches by.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "classlib/object.h"

// Compares with ASCII letters folded to lower case (other bytes as they are), the order a
// sorted list keeps: < 0, 0 or > 0.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);

// An ordered list of strings. Indices outside the list raise EListError with the index.
// OnChange runs once after every change of the content (a bulk change reports once), so a
// control showing the list can follow it.
class TStringList : public TPersistent {
public:
  CLASSLIB_CLASS(TStringList)
  TStringList() = default;

  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Strings(int index) const;
  // On a sorted list the changed string moves to its sorted place.
  void SetStrings(int index, const std::string& s);

  // Appends (or, on a sorted list, inserts at the sorted place) and returns the index.
  int Add(const std::string& s);
  // index 0..Count(); a sorted list ignores the index and keeps its order.
  void Insert(int index, const std::string& s);
  void Delete(int index);
  void Clear();
  // Appends every string of source (in one change).
  void AddStrings(const TStringList* source);

  // The first index whose string equals s without regard to case, or -1.
  int IndexOf(std::string_view s) const;

  bool Sorted() const { return sorted_; }
  // Turning sorting on sorts the list at once.
  void SetSorted(bool sorted);
  // Stable: strings equal without regard to case keep their order.
  void Sort();

  // Copies the strings of another TStringList; a sorted list sorts them.
  void Assign(TPersistent* source) override;

  TNotifyEvent OnChange;

private:
  void CheckIndex(int index, int limit) const;
  int SortedPlace(std::string_view s) const;
  void Changed();

  std::vector<std::string> items_;
  bool sorted_ = false;
};
