// A graphic that is not a bitmap: one colour over its whole area. It stands in for the
// picture classes that draw themselves (the PNG codec's, a metafile).
#pragma once

#include "classlib/graphics.h"

class TSwatch : public TGraphic {
public:
  CLASSLIB_CLASS(TSwatch)
  static const char* StaticClassName() { return "TSwatch"; }

  int W = 0;
  int H = 0;
  TColor Colour = clBlack;

  void Assign(TPersistent* source) override {
    if (auto* other = dynamic_cast<TSwatch*>(source)) {
      W = other->W;
      H = other->H;
      Colour = other->Colour;
      NotifyChanged();
      return;
    }
    TGraphic::Assign(source);
  }
  void SetWidth(int width) override { W = width; }
  void SetImageHeight(int height) override { H = height; }
  void LoadFromStream(TStream*) override {}
  void SaveToStream(TStream*) override {}
  void LoadFromClipboardFormat(WORD, HANDLE, HPALETTE) override {}
  void SaveToClipboardFormat(WORD&, HANDLE&, HPALETTE&) override {}
  void DrawOnCanvas(TCanvas* canvas, const TRect& rect) override {
    canvas->Brush()->Color = Colour;
    canvas->Brush()->Style = bsSolid;
    canvas->FillRect(rect);
  }

protected:
  bool GetEmpty() const override { return W <= 0 || H <= 0; }
  int GetWidth() const override { return W; }
  int GetHeight() const override { return H; }
};
