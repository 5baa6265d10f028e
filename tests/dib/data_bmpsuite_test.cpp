// The BMP suite through the data's reader: good files match their reference rendering once
// converted to 24 bits and survive a save; bad files are refused, never crash.
#include <gtest/gtest.h>

#include "data_test_support.h"

using namespace dib_test;

namespace {

struct GoodFile {
  const char* file;
  const char* reference;  // nullptr: refused with the header-size text
  int tolerance;          // 16-bit channels are widened by truncation, the references round
};

const GoodFile kGood[] = {
    {"pal1.bmp", "pal1.png", 0},         {"pal1bg.bmp", "pal1bg.png", 0},     {"pal1wb.bmp", "pal1.png", 0},
    {"pal4.bmp", "pal4.png", 0},         {"pal4gs.bmp", "pal4gs.png", 0},     {"pal4rle.bmp", "pal4.png", 0},
    {"pal8-0.bmp", "pal8.png", 0},       {"pal8.bmp", "pal8.png", 0},         {"pal8gs.bmp", "pal8gs.png", 0},
    {"pal8nonsquare.bmp", "pal8nonsquare-e.png", 0},                          {"pal8os2.bmp", "pal8.png", 0},
    {"pal8rle.bmp", "pal8.png", 0},      {"pal8topdown.bmp", "pal8.png", 0},  {"pal8v4.bmp", nullptr, 0},
    {"pal8v5.bmp", nullptr, 0},          {"pal8w124.bmp", "pal8w124.png", 0}, {"pal8w125.bmp", "pal8w125.png", 0},
    {"pal8w126.bmp", "pal8w126.png", 0}, {"rgb16-565.bmp", "rgb16-565.png", 1},
    {"rgb16-565pal.bmp", "rgb16-565.png", 1},                                 {"rgb16.bmp", "rgb16.png", 1},
    {"rgb16bfdef.bmp", "rgb16.png", 1},  {"rgb24.bmp", "rgb24.png", 0},       {"rgb24pal.bmp", "rgb24.png", 0},
    {"rgb32.bmp", "rgb24.png", 0},       {"rgb32bf.bmp", "rgb24.png", 0},     {"rgb32bfdef.bmp", "rgb24.png", 0},
};

class Good : public testing::TestWithParam<GoodFile> {};

TEST_P(Good, MatchesTheReferenceAndSavesAgain) {
  const GoodFile& c = GetParam();
  TFileStream stream(kSuite + "g/" + c.file, fmOpenRead | fmShareDenyWrite);
  TUlmInternalDIB dib(true);
  if (c.reference == nullptr) {
    EXPECT_THROW(
        try { dib.LoadFromStream(&stream); } catch (const EUlmDIBInvalidDIB& e) {
          EXPECT_STREQ("TUlmInternalDIB.LoadFromStream: Invalid Bitmap Header Size", e.what());
          throw;
        },
        EUlmDIBInvalidDIB);
    return;
  }
  dib.LoadFromStream(&stream);

  TUlmInternalDIB again(false);
  auto saved = StreamOf(Saved(dib));
  again.LoadFromStream(saved.get());
  ASSERT_EQ(dib.DIBInfos.ImageSize, again.DIBInfos.ImageSize);
  EXPECT_EQ(0, std::memcmp(dib.DIBInfos.Bits, again.DIBInfos.Bits, std::size_t(dib.DIBInfos.ImageSize)));
  EXPECT_EQ(0, std::memcmp(&dib.DIBInfos.Header, &again.DIBInfos.Header, sizeof(BITMAPINFOHEADER)));

  if (GetPixelFormat(&dib) != TUlmPixelFormat::Bit24) SetPixelsFormat(&dib, TUlmPixelFormat::Bit24, 0, 0, nullptr);
  const Picture want = ReadPng(kSuite + "ref/" + c.reference);
  ASSERT_EQ(want.width, dib.Width);
  ASSERT_EQ(want.height, dib.Height);
  const std::vector<std::uint8_t> got = Render(dib.DIBInfos);
  int mismatches = 0;
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (std::abs(got[i] - want.rgb[i]) > c.tolerance && mismatches++ < 3) {
      ADD_FAILURE() << "pixel " << i / 3 % want.width << "," << i / 3 / want.width << ": " << int(got[i])
                    << " != " << int(want.rgb[i]);
    }
  }
  EXPECT_EQ(0, mismatches);
}

INSTANTIATE_TEST_SUITE_P(Suite, Good, testing::ValuesIn(kGood), [](const auto& info) {
  std::string name = info.param.file;
  for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
});

struct BadFile {
  const char* file;
  const char* error;  // nullptr: the file loads (its flaw lies in pixel values the converters bound)
};

const BadFile kBad[] = {
    {"badbitcount.bmp", "TUlmInternalDIB.LoadFromStream: Invalid BitCout"},
    {"badbitssize.bmp", nullptr},
    {"baddens1.bmp", nullptr},
    {"baddens2.bmp", nullptr},
    {"badfilesize.bmp", SReadError},
    {"badheadersize.bmp", "TUlmInternalDIB.LoadFromStream: Invalid Bitmap Header Size"},
    {"badpalettesize.bmp", "TUlmInternalDIB.LoadFromFile: bfOffBits is too small"},
    {"badplanes.bmp", nullptr},
    {"badrle.bmp", nullptr},
    {"badrle4.bmp", nullptr},
    {"badrle4bis.bmp", nullptr},
    {"badrle4ter.bmp", nullptr},
    {"badrlebis.bmp", nullptr},
    {"badrleter.bmp", nullptr},
    {"badwidth.bmp", "TUlmInternalDIB.LoadFromStream: Invalid Width or Height"},
    {"pal8badindex.bmp", nullptr},
    {"reallybig.bmp", "TUlmInternalDIB.LoadFromStream: Invalid Width or Height"},
    {"rgb16-880.bmp", "TUlmInternalDIB.LoadFromStream: Invalid Masks"},
    {"rletopdown.bmp", "TUlmInternalDIB.LoadFromStream: Invalid Width or Height"},
    {"shortfile.bmp", SReadError},
};

class Bad : public testing::TestWithParam<BadFile> {};

TEST_P(Bad, RefusedWithTheReadersTextOrBoundedWhenConverted) {
  const BadFile& c = GetParam();
  TFileStream stream(kSuite + "b/" + c.file, fmOpenRead | fmShareDenyWrite);
  TUlmInternalDIB dib(true);
  std::string error;
  try {
    dib.LoadFromStream(&stream);
  } catch (const Exception& e) {
    error = e.Message;
  }
  EXPECT_EQ(c.error ? c.error : "", error);
  if (!error.empty()) return;
  // Whatever the pixels hold, a conversion either succeeds or fails with the library's error.
  try {
    if (GetPixelFormat(&dib) != TUlmPixelFormat::Bit24) SetPixelsFormat(&dib, TUlmPixelFormat::Bit24, 0, 0, nullptr);
    SetPixelsFormat(&dib, TUlmPixelFormat::HalfTone, 0, 0, nullptr);
  } catch (const EUlmDIBError&) {
  }
}

INSTANTIATE_TEST_SUITE_P(Suite, Bad, testing::ValuesIn(kBad), [](const auto& info) {
  std::string name = info.param.file;
  for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
});

}  // namespace
