// Run-length codecs of BMP data: BI_RLE8 / BI_RLE4 expanded into plain rows and plain rows
// compressed. The encoders write rows bottom-up, an end of line after every row, one end of
// bitmap at the end, and never a delta.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dib/UlmDIB_Convert.h"
#include "dib/UlmDIB_ConvertMemory.h"

namespace {

void RequireFormat(const DIBInfos& Source, int BitCount, DWORD Compression, const char* Name) {
  if (Source.Header.biBitCount != BitCount || Source.Header.biCompression != Compression)
    throw EUlmDIBBadDIBType(std::string(Name) + ": Invalid Bitcount & Compression Combination");
}

// ---------------------------------------------------------------------------------------
// Decoding

class TRleDecoder {
public:
  TRleDecoder(const DIBInfos& Source, int BitCount, const char* Name)
      : Source_(Source), BitCount_(BitCount), Name_(Name) {
    Width_ = Source.Header.biWidth;
    Height_ = std::abs(static_cast<std::int64_t>(Source.Header.biHeight));
    Stride_ = UlmRowBytes(Width_, BitCount);
    // A run may fill the padding nibble of an odd-width 4-bit row.
    Bound_ = BitCount == 8 ? Width_ : (Width_ + 1) / 2 * 2;
    Size_ = Source.Bits ? std::max<std::int32_t>(Source.ImageSize, 0) : 0;
    Data_ = static_cast<const std::uint8_t*>(Source.Bits);
  }

  void Run(DIBInfos& Result, bool UseFMO) {
    if (Width_ <= 0 || Height_ <= 0) throw EUlmDIBInvalidDIB(std::string(Name_) + ": Invalid Image Size");
    // Nothing bounds a run-length picture's size but its header: past 64 bits GetMemory
    // refuses it like any size beyond its cap.
    TConvertMemory out(CheckedMulAdd(Stride_, Height_).value_or(-1), UseFMO);
    Out_ = out.Data();
    Decode();
    DIBInfos r = Source_;
    out.HandTo(r);
    r.Header.biBitCount = static_cast<WORD>(BitCount_);
    r.Header.biCompression = BI_RGB;
    r.Header.biSizeImage = 0;
    Result = r;
  }

private:
  // The checks are numbered 1 to 4 for 8-bit data and 5 to 8 for 4-bit data:
  // 1 end of line, 2 delta, 3 absolute run, 4 encoded run.
  [[noreturn]] void Fail(int Check) const {
    const int number = Check + (BitCount_ == 4 ? 4 : 0);
    throw EUlmDIBInvalidDIB(std::string(Name_) + ": Bad RLE Data " + std::to_string(number));
  }

  bool Available(std::int64_t Count) const { return Pos_ + Count <= Size_; }

  void Put(std::int64_t X, std::uint8_t Value) {
    std::uint8_t* row = Out_ + Y_ * Stride_;
    if (BitCount_ == 8) {
      row[X] = Value;
    } else if (X % 2 == 0) {
      row[X / 2] = static_cast<std::uint8_t>(Value << 4);
    } else {
      row[X / 2] |= Value & 0x0F;
    }
  }

  void Decode() {
    // Data that ends without an end of bitmap keeps what was decoded, as if it had come;
    // a code whose operands are cut off fails with that code's check.
    while (Available(2)) {
      const std::uint8_t n = Data_[Pos_];
      const std::uint8_t v = Data_[Pos_ + 1];
      Pos_ += 2;
      if (n >= 1) {
        EncodedRun(n, v);
      } else if (v == 0) {
        X_ = 0;
        if (++Y_ > Height_) Fail(1);
      } else if (v == 1) {
        return;
      } else if (v == 2) {
        if (!Available(2)) Fail(2);
        X_ += Data_[Pos_];
        Y_ += Data_[Pos_ + 1];
        Pos_ += 2;
        if (X_ > Bound_ || Y_ > Height_) Fail(2);
      } else {
        AbsoluteRun(v);
      }
    }
  }

  void EncodedRun(int Count, std::uint8_t Value) {
    if (X_ + Count > Bound_ || Y_ >= Height_) Fail(4);
    for (int i = 0; i < Count; ++i) {
      const std::uint8_t pixel = BitCount_ == 8 ? Value : (i % 2 == 0 ? Value >> 4 : Value & 0x0F);
      Put(X_ + i, pixel);
    }
    X_ += Count;
  }

  void AbsoluteRun(int Count) {
    const std::int64_t bytes = BitCount_ == 8 ? Count : (Count + 1) / 2;
    if (X_ + Count > Bound_ || Y_ >= Height_ || !Available(bytes)) Fail(3);
    const std::uint8_t* p = Data_ + Pos_;
    for (int i = 0; i < Count; ++i) {
      const std::uint8_t pixel = BitCount_ == 8 ? p[i] : (i % 2 == 0 ? p[i / 2] >> 4 : p[i / 2] & 0x0F);
      Put(X_ + i, pixel);
    }
    X_ += Count;
    // The codes continue at the next even byte offset.
    const std::int64_t skip = BitCount_ == 8 ? (Count + 1) / 2 * 2 : (Count + 3) / 4 * 2;
    Pos_ = std::min<std::int64_t>(Pos_ + skip, Size_);
  }

  const DIBInfos& Source_;
  int BitCount_;
  const char* Name_;
  std::int64_t Width_ = 0, Height_ = 0, Stride_ = 0, Bound_ = 0, Size_ = 0;
  const std::uint8_t* Data_ = nullptr;
  std::uint8_t* Out_ = nullptr;
  std::int64_t Pos_ = 0, X_ = 0, Y_ = 0;
};

// ---------------------------------------------------------------------------------------
// Encoding

class TRleEncoder {
public:
  TRleEncoder(const DIBInfos& Source, int BitCount, const char* Name)
      : Source_(Source), BitCount_(BitCount), Name_(Name) {
    Geometry_ = PlainGeometry(Source, Name);
    Limit_ = BitCount == 8 ? 255 : 127;
    Units_ = BitCount == 8 ? Geometry_.Width : (Geometry_.Width + 1) / 2;
    // The compressed data must be smaller than the plain rows, so their size bounds the scratch.
    Scratch_.resize(static_cast<std::size_t>(Geometry_.Stride * Geometry_.Height));
  }

  void Run(DIBInfos& Result, bool UseFMO) {
    const auto* bits = static_cast<const std::uint8_t*>(Source_.Bits);
    const bool bottomUp = Source_.Header.biHeight > 0;
    for (std::int64_t i = 0; i < Geometry_.Height; ++i) {
      const std::int64_t row = bottomUp ? i : Geometry_.Height - 1 - i;
      EncodeRow(bits + row * Geometry_.Stride);
    }
    WriteEndOfBitmap();

    TConvertMemory out(Written_, UseFMO);
    std::memcpy(out.Data(), Scratch_.data(), static_cast<std::size_t>(Written_));
    DIBInfos r = Source_;
    out.HandTo(r);
    r.Header.biSizeImage = static_cast<DWORD>(Written_);
    r.Header.biBitCount = static_cast<WORD>(BitCount_);
    r.Header.biCompression = BitCount_ == 8 ? BI_RLE8 : BI_RLE4;
    r.Header.biHeight = static_cast<LONG>(Geometry_.Height);
    Result = r;
  }

private:
  enum class TPending { None, Single, Run, Literal };

  void EncodeRow(const std::uint8_t* Row) {
    Tally_ = 0;
    State_ = TPending::None;
    for (std::int64_t i = 0; i < Units_; ++i) Take(Row[i]);
    switch (State_) {
      case TPending::None: break;
      case TPending::Single: WriteEncoded(Literal_[0], 1); break;
      case TPending::Run: WriteEncoded(RunValue_, RunCount_); break;
      case TPending::Literal: WriteAbsolute(); break;
    }
    WriteEndOfLine();
  }

  void Take(std::uint8_t U) {
    switch (State_) {
      case TPending::None:
        StartSingle(U);
        break;
      case TPending::Single:
        if (U == Literal_[0]) {
          StartRun(U, 2);
        } else {
          Literal_[LiteralCount_++] = U;
          State_ = TPending::Literal;
        }
        break;
      case TPending::Run:
        if (U == RunValue_ && RunCount_ < Limit_) {
          ++RunCount_;
        } else {
          WriteEncoded(RunValue_, RunCount_);
          StartSingle(U);
        }
        break;
      case TPending::Literal: {
        const std::uint8_t last = Literal_[LiteralCount_ - 1];
        if (U == last) {
          --LiteralCount_;
          WriteAbsolute();
          StartRun(U, 2);
        } else if (LiteralCount_ < Limit_) {
          Literal_[LiteralCount_++] = U;
        } else {
          WriteAbsolute();
          StartSingle(U);
        }
        break;
      }
    }
  }

  void StartSingle(std::uint8_t U) {
    Literal_[0] = U;
    LiteralCount_ = 1;
    State_ = TPending::Single;
  }

  void StartRun(std::uint8_t U, int Count) {
    RunValue_ = U;
    RunCount_ = Count;
    State_ = TPending::Run;
  }

  std::int64_t RemainingBytes() const { return static_cast<std::int64_t>(Scratch_.size()) - Written_; }

  void Require(std::int64_t Room) const {
    if (RemainingBytes() < Room) throw EUlmDIBCompressionFailed(std::string(Name_) + ": Compression Failed");
  }

  void Put(std::uint8_t B) { Scratch_[static_cast<std::size_t>(Written_++)] = B; }

  // 4-bit codes count pixels, never more than the row has left.
  std::uint8_t PixelCount(int Units) {
    const std::int64_t count = std::min<std::int64_t>(2 * Units, Geometry_.Width - Tally_);
    Tally_ += count;
    return static_cast<std::uint8_t>(count);
  }

  void WriteEncoded(std::uint8_t Value, int Count) {
    Require(6);
    Put(BitCount_ == 8 ? static_cast<std::uint8_t>(Count) : PixelCount(Count));
    Put(Value);
  }

  void WriteAbsolute() {
    const int n = LiteralCount_;
    UlmDIBAssert(n >= 1, BitCount_ == 8 ? "Convert8BitRGBTo8BitRLE: WriteAbsolute Error"
                                  : "Convert4BitRGBTo4BitRLE: WriteAbsolute Error");
    Require((n + 1) / 2 * 2 + 6);
    // An absolute run holds at least three pixels; shorter literals go out as runs.
    if ((BitCount_ == 8 && n <= 2) || (BitCount_ == 4 && n == 1)) {
      for (int i = 0; i < n; ++i) WriteEncoded(Literal_[i], 1);
      return;
    }
    Put(0);
    Put(BitCount_ == 8 ? static_cast<std::uint8_t>(n) : PixelCount(n));
    for (int i = 0; i < n; ++i) Put(Literal_[i]);
    if (n % 2 == 1) Put(0);
  }

  void WriteEndOfLine() {
    Require(4);
    Put(0);
    Put(0);
  }

  void WriteEndOfBitmap() {
    Require(2);
    Put(0);
    Put(1);
  }

  const DIBInfos& Source_;
  int BitCount_;
  const char* Name_;
  TPlainGeometry Geometry_{};
  int Limit_ = 0;
  std::int64_t Units_ = 0;
  std::vector<std::uint8_t> Scratch_;
  std::int64_t Written_ = 0;
  std::int64_t Tally_ = 0;
  TPending State_ = TPending::None;
  std::uint8_t Literal_[255]{};
  int LiteralCount_ = 0;
  std::uint8_t RunValue_ = 0;
  int RunCount_ = 0;
};

}  // namespace

void Convert8BitRLETo8BitRGB(const DIBInfos& Source, DIBInfos& Result, bool UseFMO) {
  constexpr const char* name = "Convert8BitRLETo8BitRGB";
  RequireFormat(Source, 8, BI_RLE8, name);
  TRleDecoder(Source, 8, name).Run(Result, UseFMO);
}

void Convert4BitRLETo4BitRGB(const DIBInfos& Source, DIBInfos& Result, bool UseFMO) {
  constexpr const char* name = "Convert4BitRLETo4BitRGB";
  RequireFormat(Source, 4, BI_RLE4, name);
  TRleDecoder(Source, 4, name).Run(Result, UseFMO);
}

void Convert8BitRGBTo8BitRLE(const DIBInfos& Source, DIBInfos& Result, bool UseFMO) {
  constexpr const char* name = "Convert8BitRGBTo8BitRLE";
  RequireFormat(Source, 8, BI_RGB, name);
  TRleEncoder(Source, 8, name).Run(Result, UseFMO);
}

void Convert4BitRGBTo4BitRLE(const DIBInfos& Source, DIBInfos& Result, bool UseFMO) {
  constexpr const char* name = "Convert4BitRGBTo4BitRLE";
  RequireFormat(Source, 4, BI_RGB, name);
  TRleEncoder(Source, 4, name).Run(Result, UseFMO);
}
