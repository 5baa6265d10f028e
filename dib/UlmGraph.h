// The base of the bitmap library's picture classes: a graphic that can also be assigned
// from the clipboard in the one format it reads and writes.
#pragma once

#include "classlib/gdi.h"
#include "classlib/graphics.h"

class TUlmGraphic : public TGraphic {
public:
  CLASSLIB_CLASS(TUlmGraphic)

  // A clipboard source loads the clipboard's data of ClipboardFormat (with whatever palette
  // the clipboard holds); any other source is asked to assign itself to this graphic.
  void Assign(TPersistent* source) override;

  // The clipboard format the class reads and writes.
  virtual WORD ClipboardFormat() const = 0;
};
