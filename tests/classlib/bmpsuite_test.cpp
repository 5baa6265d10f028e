// Every file of the BMP suite against the suite's own reference renderings.
#include "classlib/bmpfile.h"

#include "core_test_support.h"
#include "support/png_oracle.h"

namespace {

enum class Expect {
  Matches,        // decodes to the reference, pixel for pixel
  MatchesOpaque,  // the reference carries alpha the bitmap drops: colours compared where it is opaque
  Decodes,        // no reference applies
  Refused,        // EInvalidGraphic with the class library's text
};

struct SuiteFile {
  const char* File;
  Expect Outcome;
  const char* Reference = nullptr;
  int Tolerance = 0;  // per channel, for references stored at other precisions
  const char* Why = "";
};

void PrintTo(const SuiteFile& c, std::ostream* os) { *os << c.File; }

const std::string kSuite = CORPORA_DIR "/bmpsuite/";

using Rgba = png_oracle::RgbaPicture;
using png_oracle::ReadRgba;

std::uint8_t Widen(unsigned v, unsigned bits) { return std::uint8_t((v * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1)); }

// The decoded bitmap as it would show: every depth through its own pixel layout.
Rgba Render(const DibImage& image) {
  const BITMAPINFOHEADER& h = image.Header;
  const unsigned bits = h.biBitCount;
  const std::size_t stride = DibRowBytes(h.biWidth, bits);
  Rgba out{h.biWidth, h.biHeight, {}};
  for (int y = 0; y < h.biHeight; ++y) {
    const std::uint8_t* row = image.Bits.data() + (h.biHeight - 1 - y) * stride;
    for (int x = 0; x < h.biWidth; ++x) {
      std::uint8_t r, g, b;
      if (bits <= 8) {
        const unsigned bit = x * bits;
        const unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        const RGBQUAD& c = image.Colors.at(index);
        r = c.rgbRed, g = c.rgbGreen, b = c.rgbBlue;
      } else if (bits == 16) {
        const unsigned p = row[x * 2] | (row[x * 2 + 1] << 8);
        if (image.Is565) r = Widen(p >> 11, 5), g = Widen((p >> 5) & 63, 6), b = Widen(p & 31, 5);
        else r = Widen((p >> 10) & 31, 5), g = Widen((p >> 5) & 31, 5), b = Widen(p & 31, 5);
      } else {
        const std::uint8_t* p = row + x * (bits / 8);
        b = p[0], g = p[1], r = p[2];
      }
      out.Pixels.insert(out.Pixels.end(), {r, g, b, 0xFF});
    }
  }
  return out;
}

// Compares colours channel by channel, where want is opaque when opaqueOnly.
void ExpectSamePicture(const Rgba& got, const Rgba& want, int tolerance, bool opaqueOnly) {
  ASSERT_EQ(want.Width, got.Width);
  ASSERT_EQ(want.Height, got.Height);
  int mismatches = 0;
  for (std::size_t i = 0; i < got.Pixels.size(); i += 4) {
    if (opaqueOnly && want.Pixels[i + 3] != 0xFF) continue;
    for (int k = 0; k < 3; ++k)
      if (std::abs(got.Pixels[i + k] - want.Pixels[i + k]) > tolerance && mismatches++ < 3)
        ADD_FAILURE() << "pixel " << i / 4 % got.Width << "," << i / 4 / got.Width << " channel " << k << ": "
                      << int(got.Pixels[i + k]) << " != " << int(want.Pixels[i + k]);
  }
  EXPECT_EQ(0, mismatches);
}

class BmpSuite : public testing::TestWithParam<SuiteFile> {};

TEST_P(BmpSuite, DecodesAsTheSuiteSays) {
  const SuiteFile& c = GetParam();
  SCOPED_TRACE(c.Why);
  TFileStream stream(kSuite + c.File, fmOpenRead | fmShareDenyWrite);
  if (c.Outcome == Expect::Refused) {
    EXPECT_EQ(core_test::Raised([&] { DecodeBmp(&stream); }), "EInvalidGraphic: ビットマップイメージが不正です");
    return;
  }
  const Rgba got = Render(DecodeBmp(&stream));
  if (c.Outcome == Expect::Decodes) return;
  ExpectSamePicture(got, ReadRgba(kSuite + "ref/" + c.Reference), c.Tolerance, c.Outcome == Expect::MatchesOpaque);
}

using E = Expect;
const SuiteFile kFiles[] = {
    {"g/pal1.bmp", E::Matches, "pal1.png"},
    {"g/pal1bg.bmp", E::Matches, "pal1bg.png"},
    {"g/pal1wb.bmp", E::Matches, "pal1.png", 0, "the same picture with the table in the other order"},
    {"g/pal4.bmp", E::Matches, "pal4.png"},
    {"g/pal4gs.bmp", E::Matches, "pal4gs.png"},
    {"g/pal4rle.bmp", E::Matches, "pal4.png"},
    {"g/pal8-0.bmp", E::Matches, "pal8.png"},
    {"g/pal8.bmp", E::Matches, "pal8.png"},
    {"g/pal8gs.bmp", E::Matches, "pal8gs.png"},
    {"g/pal8nonsquare.bmp", E::Matches, "pal8nonsquare-e.png", 0, "density is not applied: the stored pixels"},
    {"g/pal8os2.bmp", E::Matches, "pal8.png"},
    {"g/pal8rle.bmp", E::Matches, "pal8.png"},
    {"g/pal8topdown.bmp", E::Matches, "pal8.png"},
    {"g/pal8v4.bmp", E::Matches, "pal8.png"},
    {"g/pal8v5.bmp", E::Matches, "pal8.png"},
    {"g/pal8w124.bmp", E::Matches, "pal8w124.png"},
    {"g/pal8w125.bmp", E::Matches, "pal8w125.png"},
    {"g/pal8w126.bmp", E::Matches, "pal8w126.png"},
    {"g/rgb16-565.bmp", E::Matches, "rgb16-565.png"},
    {"g/rgb16-565pal.bmp", E::Matches, "rgb16-565.png"},
    {"g/rgb16.bmp", E::Matches, "rgb16.png"},
    {"g/rgb16bfdef.bmp", E::Matches, "rgb16.png"},
    {"g/rgb24.bmp", E::Matches, "rgb24.png"},
    {"g/rgb24pal.bmp", E::Matches, "rgb24.png"},
    {"g/rgb32.bmp", E::Matches, "rgb24.png"},
    {"g/rgb32bf.bmp", E::Matches, "rgb24.png"},
    {"g/rgb32bfdef.bmp", E::Matches, "rgb24.png"},

    {"q/pal1huffmsb.bmp", E::Refused, nullptr, 0, "64-byte header and fax compression"},
    {"q/pal1p1.bmp", E::Matches, "pal1p1.png", 0, "a one-entry table the pixels stay within"},
    {"q/pal2.bmp", E::Refused, nullptr, 0, "2 bits a pixel"},
    {"q/pal2color.bmp", E::Refused, nullptr, 0, "2 bits a pixel"},
    {"q/pal4rlecut.bmp", E::Matches, "pal4rlecut-0.png", 0, "skipped pixels are index 0"},
    {"q/pal4rletrns.bmp", E::Matches, "pal4rletrns-0.png", 0, "skipped pixels are index 0"},
    {"q/pal8offs.bmp", E::Matches, "pal8.png", 0, "a gap before the pixels"},
    {"q/pal8os2-hs.bmp", E::Matches, "pal8.png"},
    {"q/pal8os2-sz.bmp", E::Matches, "pal8.png", 0, "a file size below the real one is ignored"},
    {"q/pal8os2sp.bmp", E::Matches, "pal8.png", 0, "the core table fills the room before the pixels"},
    {"q/pal8os2v2-16.bmp", E::Refused, nullptr, 0, "16-byte header"},
    {"q/pal8os2v2-40sz.bmp", E::Matches, "pal8.png"},
    {"q/pal8os2v2-sz.bmp", E::Refused, nullptr, 0, "64-byte header"},
    {"q/pal8os2v2.bmp", E::Refused, nullptr, 0, "64-byte header"},
    {"q/pal8oversizepal.bmp", E::Refused, nullptr, 0, "300 entries for 8 bits"},
    {"q/pal8rlecut.bmp", E::Matches, "pal8rlecut-0.png", 0, "skipped pixels are index 0"},
    {"q/pal8rletrns.bmp", E::Matches, "pal8rletrns-0.png", 0, "skipped pixels are index 0"},
    {"q/rgb16-231.bmp", E::Matches, "rgb16-231.png", 0, "channels scaled, not shifted"},
    {"q/rgb16-3103.bmp", E::Matches, "rgb16-3103.png"},
    {"q/rgb16faketrns.bmp", E::Matches, "rgb16.png", 0, "the unused bit is not alpha"},
    {"q/rgb24jpeg.bmp", E::Refused, nullptr, 0, "embedded JPEG"},
    {"q/rgb24largepal.bmp", E::Matches, "rgb24.png", 0, "a 300-entry table of suggestions is skipped"},
    {"q/rgb24lprof.bmp", E::Matches, "rgb24.png", 0, "the linked profile is not followed"},
    {"q/rgb24png.bmp", E::Refused, nullptr, 0, "embedded PNG"},
    {"q/rgb24rle24.bmp", E::Refused, nullptr, 0, "64-byte header and 24-bit run-length data"},
    {"q/rgb32-111110.bmp", E::Matches, "rgb24.png", 1, "8-bit reference values of 10- and 11-bit channels"},
    {"q/rgb32-7187.bmp", E::Matches, "rgb32-7187.png", 1, "the reference holds 16 bits a channel"},
    {"q/rgb32-xbgr.bmp", E::Matches, "rgb24.png"},
    {"q/rgb32fakealpha.bmp", E::Matches, "rgb24.png", 0, "the fourth byte is not alpha"},
    {"q/rgb32h52.bmp", E::Matches, "rgb24.png"},
    {"q/rgba16-1924.bmp", E::MatchesOpaque, "rgba16-1924.png"},
    {"q/rgba16-4444.bmp", E::MatchesOpaque, "rgba16-4444.png"},
    {"q/rgba16-5551.bmp", E::Decodes, nullptr, 0, "the reference shows transparent pixels on a background"},
    {"q/rgba32-1.bmp", E::MatchesOpaque, "rgba32.png"},
    {"q/rgba32-1010102.bmp", E::MatchesOpaque, "rgba32-1010102.png"},
    {"q/rgba32-2.bmp", E::MatchesOpaque, "rgba32.png"},
    {"q/rgba32-61754.bmp", E::MatchesOpaque, "rgba32-61754.png", 1, "the reference holds 16 bits a channel"},
    {"q/rgba32-81284.bmp", E::MatchesOpaque, "rgba32-81284.png", 1, "the reference holds 16 bits a channel"},
    {"q/rgba32abf.bmp", E::Refused, nullptr, 0, "compression with an alpha mask"},
    {"q/rgba32h56.bmp", E::MatchesOpaque, "rgba32.png"},
    {"q/rgba64.bmp", E::Refused, nullptr, 0, "64 bits a pixel"},

    {"b/badbitcount.bmp", E::Refused},
    {"b/badbitssize.bmp", E::Refused, nullptr, 0, "image size beyond the data"},
    // Density never reaches the pixels; refusing a sound picture for it would lose files.
    {"b/baddens1.bmp", E::Matches, "pal1.png", 0, "odd density only"},
    {"b/baddens2.bmp", E::Matches, "pal1.png", 0, "odd density only"},
    {"b/badfilesize.bmp", E::Refused, nullptr, 0, "file size beyond the data"},
    {"b/badheadersize.bmp", E::Refused},
    {"b/badpalettesize.bmp", E::Refused},
    {"b/badplanes.bmp", E::Refused},
    // Run-length codes that aim outside the picture are clipped to it, as the platform draws them.
    {"b/badrle.bmp", E::Decodes, nullptr, 0, "runs and moves past the picture clipped"},
    {"b/badrle4.bmp", E::Decodes, nullptr, 0, "runs and moves past the picture clipped"},
    {"b/badrle4bis.bmp", E::Decodes, nullptr, 0, "runs and moves past the picture clipped"},
    {"b/badrle4ter.bmp", E::Decodes, nullptr, 0, "runs and moves past the picture clipped"},
    {"b/badrlebis.bmp", E::Decodes, nullptr, 0, "runs and moves past the picture clipped"},
    {"b/badrleter.bmp", E::Decodes, nullptr, 0, "runs and moves past the picture clipped"},
    {"b/badwidth.bmp", E::Refused},
    {"b/pal8badindex.bmp", E::Refused, nullptr, 0, "indices beyond the table"},
    {"b/reallybig.bmp", E::Refused},
    {"b/rgb16-880.bmp", E::Refused, nullptr, 0, "an empty channel mask"},
    {"b/rletopdown.bmp", E::Refused},
    {"b/shortfile.bmp", E::Refused},
    {"x/ba-bm.bmp", E::Refused, nullptr, 0, "a bitmap array, not a bitmap file"},
};

INSTANTIATE_TEST_SUITE_P(Files, BmpSuite, testing::ValuesIn(kFiles), [](const auto& info) {
  const std::string file = info.param.File;
  return TestName(file.substr(0, file.size() - 4));
});

// Run-length files as other programs write them (runs past the row, a run into the padding
// nibble, no end-of-bitmap code) open through the bitmap as other decoders show them.
TEST(ForeignBmp, OpensWithThePixelsOtherDecodersShow) {
  for (const char* name : {"rle8-odd-width", "rle8-no-end", "rle4-padding-nibble"}) {
    SCOPED_TRACE(name);
    const std::string base = std::string(CORPORA_DIR "/foreign/") + name;
    TBitmap bitmap;
    bitmap.LoadFromFile(base + ".bmp");
    Rgba got{bitmap.Width(), bitmap.Height(), {}};
    for (const TColor pixel : core_test::Pixels(bitmap)) {
      const COLORREF c = static_cast<COLORREF>(pixel);
      got.Pixels.insert(got.Pixels.end(), {GetRValue(c), GetGValue(c), GetBValue(c), 0xFF});
    }
    ExpectSamePicture(got, ReadRgba(base + ".png"), 0, false);
  }
}

std::vector<std::uint8_t> Snapshot(TBitmap& b) {
  std::vector<std::uint8_t> out = core_test::ScanBytes(b);
  for (const RGBQUAD& c : b.ColorTable()) out.insert(out.end(), {c.rgbBlue, c.rgbGreen, c.rgbRed});
  return out;
}

TEST(BmpSuiteBitmap, RefusedFileLeavesThePreviousPicture) {
  TBitmap bitmap;
  bitmap.LoadFromFile(kSuite + "g/pal8.bmp");
  const std::vector<std::uint8_t> before = Snapshot(bitmap);
  int changes = 0;
  bitmap.OnChange = [&changes](TObject*) { ++changes; };
  for (const SuiteFile& c : kFiles) {
    if (c.Outcome != Expect::Refused) continue;
    SCOPED_TRACE(c.File);
    EXPECT_THROW(bitmap.LoadFromFile(kSuite + c.File), EInvalidGraphic);
    EXPECT_EQ(pf8bit, bitmap.PixelFormat());
    EXPECT_EQ(before, Snapshot(bitmap));
  }
  core_test::TAllocationFailingStream failing;
  EXPECT_EQ(std::string("EOutOfMemory: ") + SOutOfMemory, core_test::Raised([&] { bitmap.LoadFromStream(&failing); }));
  EXPECT_EQ(before, Snapshot(bitmap));
  EXPECT_EQ(0, changes);  // a failed load must not mark the document modified
}

}  // namespace
