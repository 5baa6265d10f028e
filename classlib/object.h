// The root classes of the class library: run-time class names and assignment.
#pragma once

#include <functional>
#include <string>

#include "classlib/errors.h"

// Declares a class's run-time name; every class of the library and of the programs uses it.
#define CLASSLIB_CLASS(Name) \
  std::string ClassName() const override { return #Name; }

class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
  virtual std::string ClassName() const { return "TObject"; }
};

// Assignment between unlike objects: Assign asks the source to AssignTo this object;
// the base AssignTo refuses with the class library's assignment error.
class TPersistent : public TObject {
public:
  CLASSLIB_CLASS(TPersistent)
  virtual void Assign(TPersistent* source);
  virtual void AssignTo(TPersistent* dest);

protected:
  [[noreturn]] void AssignError(TPersistent* source);
};

using TNotifyEvent = std::function<void(TObject* sender)>;

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Right and bottom are exclusive, as everywhere in the class library.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect Rect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }
inline TPoint Point(int x, int y) { return TPoint{x, y}; }
