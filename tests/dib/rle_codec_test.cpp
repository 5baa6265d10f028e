// Run-length codecs: the exact code layout written, the checks made on what is read, and
// round trips through both.
#include "dib_test_support.h"

using namespace dib_test;

namespace {

TBytes Repeat(std::uint8_t Value, int Count) { return TBytes(static_cast<std::size_t>(Count), Value); }

TBytes Join(std::initializer_list<TBytes> Parts) {
  TBytes all;
  for (const TBytes& p : Parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// 1, 2, 1, 2, ...
TBytes Alternating(int Count) {
  TBytes r;
  for (int i = 0; i < Count; ++i) r.push_back(static_cast<std::uint8_t>(i % 2 + 1));
  return r;
}

// Codes of a row of zeros: runs of at most 255 (8-bit) or 254 pixels (4-bit).
TBytes ZeroRowCodes(int Bits, int Width) {
  TBytes codes;
  for (int left = Width; left > 0;) {
    const int n = std::min(left, Bits == 8 ? 255 : 254);
    codes.insert(codes.end(), {static_cast<std::uint8_t>(n), 0});
    left -= n;
  }
  return codes;
}

void Encode(const TTestPicture& Source, TResult& Result) {
  const TConverter encode = Source.Infos.Header.biBitCount == 8 ? TConverter(Convert8BitRGBTo8BitRLE)
                                                                 : TConverter(Convert4BitRGBTo4BitRLE);
  ConvertKeepingSource(encode, Source, Result);
}

TConverter Decoder(int Bits) {
  return Bits == 8 ? TConverter(Convert8BitRLETo8BitRGB) : TConverter(Convert4BitRLETo4BitRGB);
}

struct TRowCase {
  const char* Name;
  int Bits;
  int Width;
  TBytes Row;    // plain bytes, unpadded
  TBytes Codes;  // the row's codes before its end of line
};

void PrintTo(const TRowCase& C, std::ostream* Out) { *Out << C.Name; }

// Rows are as wide as the encoder's room allows; the zero pixels after an example add a
// run to its codes.
const TRowCase RowCases[] = {
    {"run_inside_literal", 8, 6, {1, 2, 3, 3, 3, 4}, {1, 1, 1, 2, 3, 3, 1, 4}},
    {"even_literal", 8, 8, {5, 6, 7, 8, 0, 0, 0, 0}, {0, 4, 5, 6, 7, 8, 4, 0}},
    {"odd_literal_padded", 8, 7, {5, 6, 7, 0, 0, 0, 0}, {0, 3, 5, 6, 7, 0, 4, 0}},
    {"two_pixel_literal_as_runs", 8, 6, {5, 6, 0, 0, 0, 0}, {1, 5, 1, 6, 4, 0}},
    {"run_of_300", 8, 300, Repeat(9, 300), {0xFF, 9, 0x2D, 9}},
    {"run_of_255", 8, 255, Repeat(7, 255), {0xFF, 7}},
    {"run_of_256", 8, 256, Repeat(7, 256), {0xFF, 7, 1, 7}},
    {"literal_of_256", 8, 256, Alternating(256), Join({{0, 0xFF}, Alternating(255), {0, 1, 2}})},
    {"nibble_counts_end_at_width", 4, 13, {0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x20}, {12, 0x22, 1, 0x20}},
    {"nibble_literal_of_two_bytes", 4, 12, {0x12, 0x34, 0, 0, 0, 0}, {0, 4, 0x12, 0x34, 8, 0}},
    {"nibble_literal_odd_width", 4, 13, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xD0},
     {0, 13, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xD0, 0}},
    {"nibble_run_limit", 4, 256, Repeat(0x77, 128), {0xFE, 0x77, 2, 0x77}},
};

class RleRowLayout : public testing::TestWithParam<TRowCase> {};

// The example row lies at the bottom, two rows of zeros above it give the encoder room:
// every row ends with an end of line, the data with one end of bitmap, and a top-down
// twin encodes to the same bytes.
TEST_P(RleRowLayout, RowsBottomUpEachEndedAndOneEndOfBitmap) {
  const TRowCase& c = GetParam();
  const TBytes zeros(c.Row.size(), 0);
  const TBytes expected = Join({c.Codes, {0, 0}, ZeroRowCodes(c.Bits, c.Width), {0, 0},
                                ZeroRowCodes(c.Bits, c.Width), {0, 0}, {0, 1}});
  for (const int height : {3, -3}) {
    SCOPED_TRACE(height);
    const TTestPicture source(c.Width, height, c.Bits,
                              height > 0 ? std::vector<TBytes>{c.Row, zeros, zeros}
                                         : std::vector<TBytes>{zeros, zeros, c.Row});
    TResult result;
    Encode(source, result);
    EXPECT_EQ(result.All(), expected);
    const BITMAPINFOHEADER& h = result.Infos.Header;
    EXPECT_EQ(h.biHeight, 3);
    EXPECT_EQ(h.biSizeImage, expected.size());
    EXPECT_EQ(h.biCompression, c.Bits == 8 ? BI_RLE8 : BI_RLE4);
    EXPECT_EQ(h.biClrImportant, 7u);
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, RleRowLayout, testing::ValuesIn(RowCases), CaseName());

// The encoder gives up once its data would outgrow the plain rows; sixteen equal pixels
// still fit.
TEST(RleEncoder, RefusesDataLargerThanThePlainRows) {
  struct TCase {
    int Bits, Width;
    TBytes Row, Codes;  // no codes: refused
  };
  for (const TCase& c : {TCase{8, 16, Repeat(7, 16), {0x10, 7, 0, 0, 0, 1}}, TCase{8, 4, {5, 6, 7, 8}, {}},
                         TCase{8, 1, {5}, {}}, TCase{4, 1, {0x50}, {}}}) {
    const TTestPicture source(c.Width, 1, c.Bits, {c.Row});
    for (const bool fmo : {false, true}) {
      TResult result(fmo);
      const std::string error = Raised([&] { Encode(source, result); });
      if (!c.Codes.empty()) {
        EXPECT_EQ(error, "");
        EXPECT_EQ(result.All(), c.Codes);
        continue;
      }
      EXPECT_EQ(error, c.Bits == 8 ? "EUlmDIBCompressionFailed: Convert8BitRGBTo8BitRLE: Compression Failed"
                                   : "EUlmDIBCompressionFailed: Convert4BitRGBTo4BitRLE: Compression Failed");
      EXPECT_EQ(result.Infos.Bits, nullptr);
    }
  }
}

struct TDecodeCase {
  const char* Name;
  int Bits, Width, Height;
  TBytes Data;
  TBytes Pixels;        // the whole decoded memory, when it decodes
  const char* Message;  // the check that fails, when it does not
};

void PrintTo(const TDecodeCase& C, std::ostream* Out) { *Out << C.Name; }

const TDecodeCase DecodeCases[] = {
    {"run_to_right_edge", 8, 4, 1, {4, 5, 0, 1}, {5, 5, 5, 5}, nullptr},
    {"run_past_right_edge", 8, 4, 1, {5, 5, 0, 1}, {}, "Convert8BitRLETo8BitRGB: Bad RLE Data 4"},
    {"end_of_line_after_last_row", 8, 4, 1, {4, 5, 0, 0, 0, 1}, {5, 5, 5, 5}, nullptr},
    {"second_end_of_line_after_last_row", 8, 4, 1, {4, 5, 0, 0, 0, 0}, {}, "Convert8BitRLETo8BitRGB: Bad RLE Data 1"},
    {"delta_to_the_corner", 8, 4, 1, {0, 2, 4, 1, 0, 1}, {0, 0, 0, 0}, nullptr},
    {"run_after_delta_to_edge", 8, 4, 2, {0, 2, 4, 0, 1, 5}, {}, "Convert8BitRLETo8BitRGB: Bad RLE Data 4"},
    {"delta_past_edge", 8, 4, 1, {0, 2, 5, 0}, {}, "Convert8BitRLETo8BitRGB: Bad RLE Data 2"},
    {"delta_cut_off", 8, 4, 1, {0, 2, 1}, {}, "Convert8BitRLETo8BitRGB: Bad RLE Data 2"},
    {"delta_then_run", 8, 4, 2, {0, 2, 1, 1, 2, 9, 0, 1}, {0, 0, 0, 0, 0, 9, 9, 0}, nullptr},
    {"absolute_odd_padded", 8, 4, 1, {0, 3, 1, 2, 3, 0, 1, 4, 0, 1}, {1, 2, 3, 4}, nullptr},
    {"absolute_past_edge", 8, 4, 1, {0, 5, 1, 2, 3, 4, 5, 0}, {}, "Convert8BitRLETo8BitRGB: Bad RLE Data 3"},
    {"absolute_cut_off", 8, 4, 1, {0, 3, 1}, {}, "Convert8BitRLETo8BitRGB: Bad RLE Data 3"},
    {"early_end_leaves_zeros", 8, 4, 2, {2, 7, 0, 1, 4, 4}, {7, 7, 0, 0, 0, 0, 0, 0}, nullptr},
    {"missing_end_of_bitmap", 8, 4, 1, {4, 5}, {5, 5, 5, 5}, nullptr},
    {"run_below_last_row", 8, 4, 1, {0, 0, 1, 1}, {}, "Convert8BitRLETo8BitRGB: Bad RLE Data 4"},
    {"nibble_run_fills_padding", 4, 5, 1, {6, 0x12, 0, 1}, {0x12, 0x12, 0x12, 0}, nullptr},
    {"nibble_run_past_padding", 4, 5, 1, {7, 0x12, 0, 1}, {}, "Convert4BitRLETo4BitRGB: Bad RLE Data 8"},
    {"nibble_odd_run_at_odd_x", 4, 4, 1, {1, 0x30, 3, 0x45, 0, 1}, {0x34, 0x54, 0, 0}, nullptr},
    {"nibble_absolute", 4, 4, 1, {0, 3, 0x12, 0x30, 1, 0x70, 0, 1}, {0x12, 0x37, 0, 0}, nullptr},
    {"nibble_absolute_past_edge", 4, 4, 1, {0, 7, 0x12, 0x34, 0x56, 0x70}, {}, "Convert4BitRLETo4BitRGB: Bad RLE Data 7"},
    {"nibble_second_end_of_line", 4, 4, 1, {0, 0, 0, 0}, {}, "Convert4BitRLETo4BitRGB: Bad RLE Data 5"},
    {"nibble_delta_past_edge", 4, 4, 1, {0, 2, 0, 2}, {}, "Convert4BitRLETo4BitRGB: Bad RLE Data 6"},
};

class RleDecoding : public testing::TestWithParam<TDecodeCase> {};

TEST_P(RleDecoding, PlacesPixelsOrRefusesSafely) {
  const TDecodeCase& c = GetParam();
  const TTestPicture source(c.Width, c.Height, c.Bits, c.Bits == 8 ? BI_RLE8 : BI_RLE4, c.Data);
  for (const bool fmo : {false, true}) {
    TResult result(fmo);
    const TConverter decode = Decoder(c.Bits);
    if (c.Message) {
      EXPECT_EQ(Raised([&] { ConvertKeepingSource(decode, source, result); }),
                std::string("EUlmDIBInvalidDIB: ") + c.Message);
      continue;
    }
    ConvertKeepingSource(decode, source, result);
    EXPECT_EQ(result.All(), c.Pixels);
    EXPECT_EQ(result.Infos.Header.biCompression, BI_RGB);
    EXPECT_EQ(result.Infos.Header.biSizeImage, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, RleDecoding, testing::ValuesIn(DecodeCases), CaseName());

// Rows of runs of random length broken by short literals, in both depths and several widths,
// odd ones among them.
TEST(RleRoundTrip, EncodedPicturesDecodeToThemselves) {
  std::uint32_t seed = 12345;
  const auto next = [&](int Range) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % static_cast<std::uint32_t>(Range));
  };
  for (const int bits : {8, 4}) {
    for (const int width : {33, 64, 255, 256, 301, 517}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, width " << width);
      const int units = bits == 8 ? width : (width + 1) / 2;
      std::vector<TBytes> rows;
      for (int y = 0; y < 5; ++y) {
        TBytes row;
        while (static_cast<int>(row.size()) < units) {
          const bool literal = next(4) == 0;
          const int length = literal ? 3 + next(4) : 4 + next(40);
          const auto value = static_cast<std::uint8_t>(next(256));
          for (int i = 0; i < length; ++i) row.push_back(literal ? static_cast<std::uint8_t>(next(256)) : value);
        }
        row.resize(static_cast<std::size_t>(units));
        if (bits == 4 && width % 2 == 1) row.back() &= 0xF0;  // the padding nibble is not a pixel
        rows.push_back(row);
      }
      const TTestPicture source(width, -5, bits, rows);
      TResult encoded, decoded;
      Encode(source, encoded);
      Decoder(bits)(encoded.Infos, decoded.Infos, false);
      // The encoded picture runs bottom-up: its first decoded row is the source's last.
      const std::uint8_t* bottom = decoded.Bytes() + 4 * UlmRowBytes(width, bits);
      for (int y = 0; y < 5; ++y) {
        const std::uint8_t* row = bottom - y * UlmRowBytes(width, bits);
        EXPECT_EQ(TBytes(row, row + units), rows[y]) << "row " << y;
      }
    }
  }
}

}  // namespace
