#include "classlib/object.h"

void TPersistent::Assign(TPersistent* source) {
  if (source != nullptr) {
    source->AssignTo(this);
  } else {
    AssignError(nullptr);
  }
}

void TPersistent::AssignTo(TPersistent* dest) { dest->AssignError(this); }

void TPersistent::AssignError(TPersistent* source) {
  const std::string sourceName = source ? source->ClassName() : std::string("nil");
  throw EConvertError(Format(SAssignError, {sourceName, ClassName()}));
}
