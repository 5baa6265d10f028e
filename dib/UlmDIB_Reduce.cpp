// Colour-reducing conversions: 24-bit data to 8 or 4 bits and 8-bit data to 4 bits, each
// onto a palette made by splitting the colours at their mean, level by level, along the
// channel of the largest weighted variance.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dib/UlmDIB_Convert.h"
#include "dib/UlmDIB_ConvertMemory.h"

namespace {

struct HistogramEntry {
  std::int32_t Red;
  std::int32_t Green;
  std::int32_t Blue;
  std::int32_t Weight;  // a pixel count until the split overwrites it with the palette index
  std::int32_t Key;     // a bin number or a source palette index
};

enum : std::uint8_t { DivideRed = 0, DivideGreen = 1, DivideBlue = 2, DivideLeaf = 3 };

struct SplitNode {
  std::uint8_t DivideID = DivideLeaf;
  long double Threshold = 0;
  std::uint8_t PaletteIndex = 0;
  std::int32_t LowChild = 0;
  std::int32_t HighChild = 0;
};

// A depth of 8 needs at most 511 nodes.
struct SplitTree {
  std::int32_t NodeCount = 1;
  SplitNode Nodes[512];
};

struct TPaletteBuffer {
  RGBQUAD Entries[256]{};
  std::int32_t Count = 0;
};

// Items of the split: weighted palette or bin colours, or the raw pixels (weight 1).
class THistogramItems {
public:
  explicit THistogramItems(HistogramEntry* Entries) : Entries_(Entries) {}
  std::int32_t Channel(std::int64_t i, int c) const {
    const HistogramEntry& e = Entries_[i];
    return c == DivideRed ? e.Red : c == DivideGreen ? e.Green : e.Blue;
  }
  std::int64_t Weight(std::int64_t i) const { return Entries_[i].Weight; }
  void Swap(std::int64_t i, std::int64_t j) { std::swap(Entries_[i], Entries_[j]); }
  void Leaf(std::int64_t First, std::int64_t End, std::int32_t Index, std::int32_t) {
    for (std::int64_t i = First; i < End; ++i) Entries_[i].Weight = Index;
  }
  void Divide(std::int32_t, int, long double) {}
  std::int32_t Child(std::int32_t, bool) { return 0; }

private:
  HistogramEntry* Entries_;
};

class TPixelItems {
public:
  TPixelItems(std::uint8_t* Triples, SplitTree& Tree) : Triples_(Triples), Tree_(Tree) {}
  // Triples are blue, green, red.
  std::int32_t Channel(std::int64_t i, int c) const { return Triples_[3 * i + 2 - c]; }
  std::int64_t Weight(std::int64_t) const { return 1; }
  void Swap(std::int64_t i, std::int64_t j) {
    for (int k = 0; k < 3; ++k) std::swap(Triples_[3 * i + k], Triples_[3 * j + k]);
  }
  void Leaf(std::int64_t, std::int64_t, std::int32_t Index, std::int32_t Node) {
    Tree_.Nodes[Node] = SplitNode{DivideLeaf, 0, static_cast<std::uint8_t>(Index), 0, 0};
  }
  void Divide(std::int32_t Node, int Channel, long double Threshold) {
    Tree_.Nodes[Node] = SplitNode{static_cast<std::uint8_t>(Channel), Threshold, 0, 0, 0};
  }
  // Numbers the part that is about to be split next, empty or not.
  std::int32_t Child(std::int32_t Node, bool High) {
    UlmDIBAssert(Tree_.NodeCount < static_cast<std::int32_t>(std::size(Tree_.Nodes)), nullptr);
    const std::int32_t child = Tree_.NodeCount++;
    (High ? Tree_.Nodes[Node].HighChild : Tree_.Nodes[Node].LowChild) = child;
    return child;
  }

private:
  std::uint8_t* Triples_;
  SplitTree& Tree_;
};

// Nearest integer of Sum / Weight, an exact half going to the even integer.
std::uint8_t RoundedMean(std::int64_t Sum, std::int64_t Weight) {
  std::int64_t q = Sum / Weight;
  const std::int64_t twice = 2 * (Sum % Weight);
  if (twice > Weight || (twice == Weight && q % 2 == 1)) ++q;
  return static_cast<std::uint8_t>(std::clamp<std::int64_t>(q, 0, 255));
}

// The recursive variance split shared by both quantisers. Sums are exact integers; the
// variance comparison is done on W² · V in 128 bits so that ties are true ties.
template <class TItems>
class TVarianceSplit {
public:
  TVarianceSplit(TItems& Items, int MaxDepth, TPaletteBuffer& Palette, const TUlmProgressCallback& Progress)
      : Items_(Items), MaxDepth_(MaxDepth), Palette_(Palette), Progress_(Progress) {}

  void Split(std::int64_t First, std::int64_t End, int Depth, std::int32_t Node) {
    if (First >= End) {
      // An empty part still reports one step for every palette position below it.
      if (Depth == MaxDepth_) {
        Step();
      } else {
        Split(First, End, Depth + 1, 0);
        Split(First, End, Depth + 1, 0);
      }
      return;
    }
    std::int64_t sum[3] = {0, 0, 0}, squares[3] = {0, 0, 0}, weight = 0;
    for (std::int64_t i = First; i < End; ++i) {
      const std::int64_t w = Items_.Weight(i);
      weight += w;
      for (int c = 0; c < 3; ++c) {
        const std::int64_t v = Items_.Channel(i, c);
        sum[c] += w * v;
        squares[c] += w * v * v;
      }
    }
    if (Depth == MaxDepth_) {
      const std::int32_t index = Palette_.Count;
      Palette_.Entries[index] = RGBQUAD{RoundedMean(sum[DivideBlue], weight), RoundedMean(sum[DivideGreen], weight),
                                        RoundedMean(sum[DivideRed], weight), 0};
      Items_.Leaf(First, End, index, Node);
      ++Palette_.Count;
      Step();
      return;
    }
    // W² · V_c = W · Q_c − S_c², weighted 3 : 4 : 2 for red, green, blue.
    __int128 spread[3];
    const int factor[3] = {3, 4, 2};
    for (int c = 0; c < 3; ++c)
      spread[c] = factor[c] * (static_cast<__int128>(weight) * squares[c] - static_cast<__int128>(sum[c]) * sum[c]);
    int channel = DivideBlue;
    if (spread[0] >= spread[1] && spread[0] >= spread[2])
      channel = DivideRed;
    else if (spread[1] >= spread[0] && spread[1] >= spread[2])
      channel = DivideGreen;
    const long double threshold = static_cast<long double>(sum[channel]) / static_cast<long double>(weight);
    Items_.Divide(Node, channel, threshold);

    // Items whose value is at most the mean go below: v ≤ S / W exactly when v · W ≤ S.
    const auto low = [&](std::int64_t i) { return Items_.Channel(i, channel) * weight <= sum[channel]; };
    std::int64_t i = First, j = End;
    for (;;) {
      while (i < j && low(i)) ++i;
      while (j > i && !low(j - 1)) --j;
      if (i >= j) break;
      Items_.Swap(i, j - 1);
      ++i;
      --j;
    }
    const std::int64_t s = i;
    Split(s, End, Depth + 1, Items_.Child(Node, true));
    Split(First, s, Depth + 1, Items_.Child(Node, false));
  }

private:
  void Step() {
    if (Progress_) Progress_(0);
  }

  TItems& Items_;
  int MaxDepth_;
  TPaletteBuffer& Palette_;
  const TUlmProgressCallback& Progress_;
};

void SplitHistogram(HistogramEntry* Entries, std::int64_t First, std::int64_t End, int MaxDepth,
                    TPaletteBuffer& Palette, const TUlmProgressCallback& Progress) {
  THistogramItems items(Entries);
  TVarianceSplit<THistogramItems>(items, MaxDepth, Palette, Progress).Split(First, End, 0, 0);
}

// Moves the entries that pixels use to the front, keeping their order; returns their count.
std::int64_t CompactUsed(std::vector<HistogramEntry>& Entries) {
  const auto end = std::stable_partition(Entries.begin(), Entries.end(),
                                         [](const HistogramEntry& e) { return e.Weight > 0; });
  return end - Entries.begin();
}

void FillMap(const std::vector<HistogramEntry>& Entries, std::int64_t Used, std::uint8_t* Map, std::size_t MapSize) {
  std::memset(Map, 0, MapSize);
  for (std::int64_t i = 0; i < Used; ++i) Map[Entries[i].Key] = static_cast<std::uint8_t>(Entries[i].Weight);
}

std::int32_t BinOf(const std::uint8_t* Bgr) { return (Bgr[2] / 8) * 2048 + (Bgr[1] / 4) * 32 + Bgr[0] / 8; }

void BuildColorHistogram(const DIBInfos& Source, const TPlainGeometry& G, TPaletteBuffer& Palette,
                         const TUlmProgressCallback& Progress, int MaxDepth, std::uint8_t* BinMap) {
  const auto* bits = static_cast<const std::uint8_t*>(Source.Bits);
  const auto eachPixel = [&](auto visit) {
    for (std::int64_t y = 0; y < G.Height; ++y) {
      const std::uint8_t* p = bits + y * G.Stride;
      for (std::int64_t x = 0; x < G.Width; ++x, p += 3) visit(p);
    }
  };
  // Only the bins that pixels use get an entry, kept in bin order, so that a small picture's
  // histogram is small too: a full table of 65536 entries and sums is megabytes of fresh
  // memory for every reduction. The pixels are counted per bin first; each used bin's count
  // then becomes the number of its entry.
  std::vector<std::int32_t> slot(65536);
  eachPixel([&](const std::uint8_t* p) { ++slot[BinOf(p)]; });
  std::int64_t used = 0;
  for (const std::int32_t count : slot) used += count > 0;
  std::vector<HistogramEntry> bins;
  bins.reserve(static_cast<std::size_t>(used));
  for (std::int32_t n = 0; n < 65536; ++n) {
    if (slot[n] == 0) continue;
    bins.push_back(HistogramEntry{0, 0, 0, slot[n], n});
    slot[n] = static_cast<std::int32_t>(bins.size() - 1);
  }
  // The lower bits of a large picture's pixels can add up past 32 bits, so they are
  // summed aside.
  std::vector<std::array<std::int64_t, 3>> lowBits(bins.size());
  eachPixel([&](const std::uint8_t* p) {
    std::array<std::int64_t, 3>& low = lowBits[static_cast<std::size_t>(slot[BinOf(p)])];
    low[0] += p[2] % 8;
    low[1] += p[1] % 4;
    low[2] += p[0] % 8;
  });
  // A bin stands for its upper bits plus the truncated mean of its pixels' lower bits.
  for (std::size_t i = 0; i < bins.size(); ++i) {
    HistogramEntry& e = bins[i];
    e.Red = static_cast<std::int32_t>(lowBits[i][0] / e.Weight) + (e.Key / 2048) * 8;
    e.Green = static_cast<std::int32_t>(lowBits[i][1] / e.Weight) + ((e.Key / 32) % 64) * 4;
    e.Blue = static_cast<std::int32_t>(lowBits[i][2] / e.Weight) + (e.Key % 32) * 8;
  }
  SplitHistogram(bins.data(), 0, used, MaxDepth, Palette, Progress);
  FillMap(bins, used, BinMap, 65536);
}

void CollectPixels(const DIBInfos& Source, const TPlainGeometry& G, TPaletteBuffer& Palette,
                   const TUlmProgressCallback& Progress, int MaxDepth, SplitTree& Tree) {
  Tree.NodeCount = 1;
  Palette.Count = 0;
  const std::int64_t rowBytes = 3 * G.Width;
  std::vector<std::uint8_t> list(static_cast<std::size_t>(rowBytes * G.Height));
  const auto* bits = static_cast<const std::uint8_t*>(Source.Bits);
  for (std::int64_t y = 0; y < G.Height; ++y)
    std::memcpy(list.data() + y * rowBytes, bits + y * G.Stride, static_cast<std::size_t>(rowBytes));
  TPixelItems items(list.data(), Tree);
  TVarianceSplit<TPixelItems>(items, MaxDepth, Palette, Progress).Split(0, G.Width * G.Height, 0, 0);
}

void BuildIndexHistogram(const DIBInfos& Source, const TPlainGeometry& G, TPaletteBuffer& Palette,
                         const TUlmProgressCallback& Progress, std::uint8_t* IndexMap) {
  std::vector<HistogramEntry> entries(256);
  for (std::int32_t i = 0; i < 256; ++i) {
    const RGBQUAD& c = Source.Colors[i];
    entries[i] = HistogramEntry{c.rgbRed, c.rgbGreen, c.rgbBlue, 0, i};
  }
  const auto* bits = static_cast<const std::uint8_t*>(Source.Bits);
  for (std::int64_t y = 0; y < G.Height; ++y)
    for (std::int64_t x = 0; x < G.Width; ++x) ++entries[bits[y * G.Stride + x]].Weight;
  const std::int64_t used = CompactUsed(entries);
  SplitHistogram(entries.data(), 0, used, 4, Palette, Progress);
  FillMap(entries, used, IndexMap, 256);
}

// Writes every pixel's new index into fresh memory and fills the result record; Index(p)
// gives the index of the source pixel at p.
template <class TIndexOf>
void WriteResult(const DIBInfos& Source, const TPlainGeometry& G, int SourceBytes, int ResultBits,
                 TConvertMemory& Out, const TPaletteBuffer& Palette, DIBInfos& Result, TIndexOf IndexOf) {
  const std::int64_t outStride = UlmRowBytes(G.Width, ResultBits);
  const auto* bits = static_cast<const std::uint8_t*>(Source.Bits);
  for (std::int64_t y = 0; y < G.Height; ++y) {
    const std::uint8_t* p = bits + y * G.Stride;
    std::uint8_t* q = Out.Data() + y * outStride;
    for (std::int64_t x = 0; x < G.Width; ++x, p += SourceBytes) {
      const std::uint8_t index = IndexOf(p);
      if (ResultBits == 8)
        q[x] = index;
      else if (x % 2 == 0)
        q[x / 2] = static_cast<std::uint8_t>(index << 4);
      else
        q[x / 2] |= index & 0x0F;
    }
  }
  Result = PalettedResult(Source, Out, ResultBits, Palette.Entries, Palette.Count);
}

TPlainGeometry CheckTrueColor(const DIBInfos& Source, const char* Name) {
  if (Source.Header.biBitCount != 24) throw EUlmDIBBadDIBType(std::string(Name) + ": Invalid Bitcount");
  return PlainGeometry(Source, Name);
}

void TrueColorLow(const DIBInfos& Source, DIBInfos& Result, bool UseFMO, const TUlmProgressCallback& Progress,
                  int ResultBits, const char* Name) {
  const TPlainGeometry g = CheckTrueColor(Source, Name);
  TConvertMemory out(UlmRowBytes(g.Width, ResultBits) * g.Height, UseFMO);
  std::vector<std::uint8_t> binMap(65536);
  TPaletteBuffer palette;
  BuildColorHistogram(Source, g, palette, Progress, ResultBits, binMap.data());
  WriteResult(Source, g, 3, ResultBits, out, palette, Result,
              [&](const std::uint8_t* p) { return binMap[BinOf(p)]; });
}

void TrueColorHigh(const DIBInfos& Source, DIBInfos& Result, bool UseFMO, const TUlmProgressCallback& Progress,
                   int ResultBits, const char* Name) {
  const TPlainGeometry g = CheckTrueColor(Source, Name);
  TConvertMemory out(UlmRowBytes(g.Width, ResultBits) * g.Height, UseFMO);
  auto tree = std::make_unique<SplitTree>();
  TPaletteBuffer palette;
  CollectPixels(Source, g, palette, Progress, ResultBits, *tree);
  const std::string invalid = std::string(Name) + ": Invalid DivideID";
  WriteResult(Source, g, 3, ResultBits, out, palette, Result, [&](const std::uint8_t* p) {
    const SplitNode* node = &tree->Nodes[0];
    while (node->DivideID != DivideLeaf) {
      UlmDIBAssert(node->DivideID <= DivideBlue, invalid.c_str());
      const long double value = p[2 - node->DivideID];
      node = &tree->Nodes[value <= node->Threshold ? node->LowChild : node->HighChild];
    }
    return node->PaletteIndex;
  });
}

}  // namespace

// The split levels give 2^depth palette positions: 8 for 8-bit results, 4 for 4-bit ones.
void ConvertTrueColorTo8BitRGBLow(const DIBInfos& Source, DIBInfos& Result, bool UseFMO,
                                  const TUlmProgressCallback& Progress) {
  TrueColorLow(Source, Result, UseFMO, Progress, 8, "ConvertTrueColorTo8BitRGBLow");
}

void ConvertTrueColorTo4BitRGBLow(const DIBInfos& Source, DIBInfos& Result, bool UseFMO,
                                  const TUlmProgressCallback& Progress) {
  TrueColorLow(Source, Result, UseFMO, Progress, 4, "ConvertTrueColorTo4BitRGBLow");
}

void ConvertTrueColorTo8BitRGBHigh(const DIBInfos& Source, DIBInfos& Result, bool UseFMO,
                                   const TUlmProgressCallback& Progress) {
  TrueColorHigh(Source, Result, UseFMO, Progress, 8, "ConvertTrueColorTo8BitRGBHigh");
}

void ConvertTrueColorTo4BitRGBHigh(const DIBInfos& Source, DIBInfos& Result, bool UseFMO,
                                   const TUlmProgressCallback& Progress) {
  TrueColorHigh(Source, Result, UseFMO, Progress, 4, "ConvertTrueColorTo4BitRGBHigh");
}

void Convert8BitRGBTo4BitRGB(const DIBInfos& Source, DIBInfos& Result, bool UseFMO,
                             const TUlmProgressCallback& Progress) {
  constexpr const char* name = "Convert8BitRGBTo4BitRGB";
  if (Source.Header.biBitCount != 8 || Source.Header.biCompression != BI_RGB)
    throw EUlmDIBBadDIBType("Convert8BitRGBTo4BitRGB: Invalid Bitcount or Compression");
  const TPlainGeometry g = PlainGeometry(Source, name);
  TConvertMemory out(UlmRowBytes(g.Width, 4) * g.Height, UseFMO);
  std::uint8_t indexMap[256];
  TPaletteBuffer palette;
  BuildIndexHistogram(Source, g, palette, Progress, indexMap);
  WriteResult(Source, g, 1, 4, out, palette, Result, [&](const std::uint8_t* p) { return indexMap[*p]; });
}
