#include "melsire/fixture.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "classlib/filenames.h"

TColor Ground(int x, int y) { return RGB(x & 255, y, 77); }
TColor CharaPixel(int x, int y) { return RGB(x, y, 150); }
TColor MapPixel(int x, int y) { return RGB(4 * x, 8 * y, 230); }

TColor Inverted(TColor colour) { return colour ^ 0xFFFFFF; }
TColor PixelOf(TBitmap* bitmap, int x, int y) { return bitmap->Canvas()->Pixels(x, y); }
TColor PixelOf(TImage* view, int x, int y) { return PixelOf(view->Picture()->Bitmap(), x, y); }

namespace {

// An empty folder of the test's own, standing in for the program's folder.
std::string FreshScratchFolder() {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "_" + test->name();
  std::replace(name.begin(), name.end(), '/', '_');
  const std::filesystem::path folder = std::filesystem::path(TEST_BUILD_DIR) / "melsire_scratch" / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder.string();
}

}  // namespace

void MelsireTest::SetUp() {
  folder_ = FreshScratchFolder();
  SetExeNameForTesting(Path("melsire"));
  TAutomation::Clear();

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
  EXPECT_EQ(TAutomation::Pending(), 0u) << "answers left unused";
  TAutomation::Clear();
  delete std::exchange(frmMain, nullptr);
  delete std::exchange(frmDColor, nullptr);
  SetExeNameForTesting("");
}

std::string MelsireTest::WritePicture(const std::string& name, int width, int height, const PixelFn& colour) {
  TBitmap picture;
  picture.SetPixelFormat(pf24bit);
  picture.SetSize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture.Canvas()->SetPixels(x, y, colour(x, y));
  picture.SaveToFileName(Path(name));
  return Path(name);
}

void MelsireTest::OpenWith(TMenuItem* item, const std::string& fileName) {
  TAutomation::Push(TModalAnswer::File(fileName));
  UserChooseMenu(item);
}

void MelsireTest::OpenWith(TControl* button, const std::string& fileName) {
  TAutomation::Push(TModalAnswer::File(fileName));
  UserClick(button);
}

void MelsireTest::ClickSheet(int x, int y, TMouseButton button) { UserMouse(frmMain->imgSet, button, {}, x, y); }

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
