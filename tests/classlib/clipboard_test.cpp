// The in-process clipboard: ownership of the handles it holds.
#include <gtest/gtest.h>

#include "classlib/clipboard.h"

namespace {

TEST(Clipboard, HoldsOneHandlePerFormatAndFreesWhatItDrops) {
  TClipboard clipboard;
  clipboard.Open();
  clipboard.Open();
  clipboard.Close();
  EXPECT_TRUE(clipboard.IsOpen());
  clipboard.Close();
  EXPECT_FALSE(clipboard.IsOpen());

  HGLOBAL first = GlobalAlloc(GHND, 4);
  HGLOBAL second = GlobalAlloc(GHND, 8);
  LOGPALETTE log{0x300, 1, {{1, 2, 3, 0}}};
  HPALETTE palette = CreatePalette(&log);
  EXPECT_FALSE(clipboard.HasFormat(CF_DIB));
  EXPECT_EQ(clipboard.GetAsHandle(CF_DIB), 0u);
  clipboard.SetAsHandle(CF_DIB, first);
  clipboard.SetAsHandle(CF_PALETTE, palette);
  EXPECT_TRUE(clipboard.HasFormat(CF_DIB));
  EXPECT_EQ(clipboard.GetAsHandle(CF_DIB), first);

  clipboard.SetAsHandle(CF_DIB, second);  // the first block is freed
  EXPECT_EQ(GlobalSize(first), 0u);
  EXPECT_EQ(clipboard.GetAsHandle(CF_DIB), second);

  clipboard.Clear();
  EXPECT_FALSE(clipboard.HasFormat(CF_DIB));
  EXPECT_FALSE(clipboard.HasFormat(CF_PALETTE));
  EXPECT_EQ(GlobalSize(second), 0u);
  PALETTEENTRY e;
  EXPECT_EQ(GetPaletteEntries(palette, 0, 1, &e), 0u);
  EXPECT_EQ(Clipboard(), Clipboard());
}

}  // namespace
