#include "melsire/fixture.h"

#include "classlib/filenames.h"

TColor Ground(int x, int y) { return RGB(x & 255, y, 77); }
TColor CharaPixel(int x, int y) { return RGB(x, y, 150); }
TColor MapPixel(int x, int y) { return RGB(4 * x, 8 * y, 230); }

void MelsireTest::SetUp() {
  ProgramTest::SetUp();
  SetExeNameForTesting(Path("melsire"));
  SheetCol = SheetRow = CharaCol = CharaRow = MapCol = MapRow = 0;
  PaletteSource.clear();
  frmDColor = new TfrmDColor(Application);
  frmMain = new TfrmMain(Application);
  frmMain->DoCreate();
  frmMain->Show();
  OpenWith(frmMain->mnuOpen, WritePicture("sheet.bmp", 288, 256, Ground));
  TAutomation::TakeShown();
}

void MelsireTest::TearDown() {
  ProgramTest::TearDown();
  delete std::exchange(frmMain, nullptr);
  delete std::exchange(frmDColor, nullptr);
  SetExeNameForTesting("");
}

void MelsireTest::ExpectSheetFrame(const TRect& frame) {
  TImage* view = frmMain->imgSet;
  if (frame.Width() == 0) {
    for (const TPoint& p : {Point(0, 0), Point(1, 1), Point(72, 128), Point(24, 32)})
      EXPECT_EQ(PixelOf(view, p.X, p.Y), PixelOf(SheetBitmap.get(), p.X, p.Y)) << "no frame at " << p.X << "," << p.Y;
    return;
  }
  const auto expect = [&](int x, int y, bool inverted) {
    const TColor sheet = PixelOf(SheetBitmap.get(), x, y);
    EXPECT_EQ(PixelOf(view, x, y), inverted ? Inverted(sheet) : sheet) << x << "," << y;
  };
  for (const TPoint& corner : {Point(frame.Left, frame.Top), Point(frame.Right - 1, frame.Bottom - 1)}) {
    expect(corner.X, corner.Y, true);
    // The band is two pixels wide, inside the rectangle.
    expect(corner.X == frame.Left ? corner.X + 1 : corner.X - 1, corner.Y, true);
    expect(corner.X == frame.Left ? corner.X + 2 : corner.X - 2, corner.Y == frame.Top ? corner.Y + 2 : corner.Y - 2,
           false);
  }
  if (frame.Left > 0) expect(frame.Left - 1, frame.Top, false);
  if (frame.Right < SheetBitmap->Width()) expect(frame.Right, frame.Top, false);
  if (frame.Bottom < SheetBitmap->Height()) expect(frame.Left, frame.Bottom, false);
}
