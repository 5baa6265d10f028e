// What the programs' window tests share: a scratch folder of the test's own that stands in
// for the program's folder, pictures made to order, whole files, and a check that every
// answer queued for a modal window was asked for (an unused one means a window the test
// expected never showed).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "classlib/core_test_support.h"
#include "classlib/forms/automation.h"
#include "classlib/forms/extctrls.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/menus.h"
#include "classlib/forms/stdctrls.h"
#include "classlib/graphics.h"
#include "forms/fixture.h"
#include "png/ZelPNG.h"

// The names of the buttons with a glyph and of the menu entries (neither lines nor holders
// of a submenu) under owner that show no glyph.
inline std::vector<std::string> WithoutGlyph(const TComponent* owner) {
  std::vector<std::string> names;
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    const TComponent* component = owner->Components(i);
    const auto* button = dynamic_cast<const TBitBtn*>(component);
    const auto* entry = dynamic_cast<const TMenuItem*>(component);
    if ((button != nullptr && button->Glyph() == TGlyph::None) ||
        (entry != nullptr && !entry->IsLine() && entry->Count() == 0 && entry->Glyph() == TGlyph::None))
      names.push_back(component->Name);
    const std::vector<std::string> inner = WithoutGlyph(component);
    names.insert(names.end(), inner.begin(), inner.end());
  }
  return names;
}

using PixelFn = std::function<TColor(int x, int y)>;
using IndexFn = std::function<int(int x, int y)>;

// A 24-bit bitmap whose pixel (x, y) is colour(x, y).
inline std::unique_ptr<TBitmap> MakeBitmap(int width, int height, const PixelFn& colour) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    auto* row = core_test::Row(*bitmap, y);
    for (int x = 0; x < width; ++x) {
      const TColor c = colour(x, y);
      row[3 * x] = GetBValue(c);
      row[3 * x + 1] = GetGValue(c);
      row[3 * x + 2] = GetRValue(c);
    }
  }
  return bitmap;
}

// The leftmost pixel of a byte lies in its high bits.
inline int PackedShift(int bits, int x) { return 8 - bits * (x % (8 / bits) + 1); }

// A 4- or 8-bit bitmap with the given colour table whose pixel (x, y) is index(x, y).
inline std::unique_ptr<TBitmap> MakeIndexedBitmap(int bits, int width, int height, const std::vector<TColor>& palette,
                                                  const IndexFn& index) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(bits == 4 ? pf4bit : pf8bit);
  bitmap->SetSize(width, height);
  std::vector<PALETTEENTRY> entries;
  for (TColor c : palette) entries.push_back({GetRValue(c), GetGValue(c), GetBValue(c), 0});
  bitmap->SetPalette(core_test::MakePalette(entries));
  for (int y = 0; y < height; ++y) {
    auto* row = core_test::Row(*bitmap, y);
    std::fill(row, row + bitmap->RowBytes(), 0);
    for (int x = 0; x < width; ++x) row[x * bits / 8] |= static_cast<std::uint8_t>(index(x, y) << PackedShift(bits, x));
  }
  return bitmap;
}

inline void SavePng(TBitmap* bitmap, const std::string& path) {
  TZelPNG png;
  png.Assign(bitmap);
  png.SaveToFile(path);
}

// A pixel as the canvas reports it.
inline TColor PixelOf(TBitmap* bitmap, int x, int y) { return bitmap->Canvas()->Pixels(x, y); }
inline TColor PixelOf(TImage* view, int x, int y) { return PixelOf(view->Picture()->Bitmap(), x, y); }

inline bool Inside(const TRect& r, int x, int y) { return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom; }

// The bitmap is width × height and its every pixel is colour(x, y); else the first that is not.
inline testing::AssertionResult SameAs(TBitmap* bitmap, int width, int height, const PixelFn& colour) {
  if (bitmap->Width() != width || bitmap->Height() != height)
    return testing::AssertionFailure() << "the size is " << bitmap->Width() << "x" << bitmap->Height();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (PixelOf(bitmap, x, y) != colour(x, y))
        return testing::AssertionFailure() << "pixel " << x << "," << y << " is " << PixelOf(bitmap, x, y);
  return testing::AssertionSuccess();
}

using core_test::ReadAll;
using core_test::WriteAll;

class ProgramTest : public FormsTest {
protected:
  explicit ProgramTest(const char* program) : program_(program) {}

  void SetUp() override {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    folder_ = std::string(TEST_BUILD_DIR) + "/" + program_ + "_scratch/" + name;
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    FormsTest::SetUp();
  }

  // A file in the scratch folder.
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // The answer that hands the next modal window, which must be a Form, to drive.
  template <class Form>
  static TModalAnswer Drive(const std::function<void(Form*)>& drive) {
    return TModalAnswer::DriveForm([drive](TForm* form) {
      auto* shown = dynamic_cast<Form*>(form);
      ASSERT_NE(shown, nullptr);
      drive(shown);
    });
  }
  // The texts of the error boxes shown since the last call.
  static std::vector<std::string> TakeErrors() {
    std::vector<std::string> errors;
    for (const TModalShown& shown : TAutomation::TakeShown())
      if (shown.Kind == TModalKind::ErrorBox) errors.push_back(shown.Text);
    return errors;
  }

  std::string folder_;

private:
  const char* program_;
};

// The programs' suites run the real windows offscreen on one desktop connection, with the
// codec set up as the program bodies set it up, and every modal window answered from the
// automation queue: a window a test did not answer fails that test instead of waiting.
inline int RunWindowTests(int argc, char** argv, const char* title, const std::function<void()>& start = {},
                          const std::function<void()>& finish = {}) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  if (start) start();
  ZelPNG_Initialize();
  Application->Initialize();
  if (title != nullptr) Application->SetTitle(title);
  TAutomation::SetActive(true);
  TAutomation::SetFailureHandler([](const std::string& message) { ADD_FAILURE() << message; });
  const int result = RUN_ALL_TESTS();
  Application->Done();
  ZelPNG_Finalize();
  if (finish) finish();
  return result;
}
