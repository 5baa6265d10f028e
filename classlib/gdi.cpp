// The device stand-in: palettes, device contexts, DIB sections, file mappings, global
// memory and the clock. Every handle is a key of one table; handles are never reused, so a
// stale handle finds nothing and the call fails the way the platform reports failure.
//
// The tables are shared by every thread and guarded by one lock, held by each call for its
// bookkeeping but not for its pixel loops. That is enough because the handles a thread uses
// are its own (a picture and its palettes, sections and contexts belong to whoever holds the
// picture): no other thread deletes them, and objects live behind unique_ptrs that a rehash
// of the table does not move, so an object found under the lock stays valid, and its pixels
// and colour table stay put, after the lock is let go while its owner goes on using it. The
// objects that every thread may reach change only under the lock: the screen context's
// palette and mode, and the stock bitmap and palette once, when they are made.
#include "classlib/gdi.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "classlib/bmpfile.h"
#include "classlib/gdi_internal.h"
#include "classlib/sizes.h"

namespace {

using namespace gdi_detail;

constexpr int kBlackOnWhite = 1;

struct Object {
  virtual ~Object() = default;
};

struct PaletteObject : Object {
  std::vector<PALETTEENTRY> Entries;
};

struct BitmapObject : Object {
  BITMAPINFOHEADER Header{};
  std::vector<RGBQUAD> Colors;
  DWORD Masks[3] = {0, 0, 0};
  std::uint8_t* Bits = nullptr;
  std::int64_t Stride = 0;
  std::uint64_t ImageBytes = 0;
  // calloc: large blocks come straight from the system already zeroed, with no pass over them.
  struct FreeBlock {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
  };
  std::unique_ptr<std::uint8_t, FreeBlock> Heap;
  void* MapBase = nullptr;
  std::size_t MapLength = 0;
  HANDLE Section = 0;
  DWORD Offset = 0;
  HDC SelectedIn = 0;
  bool Stock = false;

  ~BitmapObject() override {
    if (MapBase != nullptr) munmap(MapBase, MapLength);
  }
  int Width() const { return Header.biWidth; }
  int Height() const { return Header.biHeight < 0 ? -Header.biHeight : Header.biHeight; }
  Surface View() const {
    Surface s;
    s.Width = Width();
    s.Height = Height();
    s.Bits = Header.biBitCount;
    s.Stride = Stride;
    s.TopDown = Header.biHeight < 0;
    s.Pixels = Bits;
    s.Colors = Colors.data();
    s.ColorCount = static_cast<int>(Colors.size());
    std::copy(Masks, Masks + 3, s.Masks);
    return s;
  }
};

struct DcObject : Object {
  bool Memory = false;
  HBITMAP Bitmap = 0;
  HPALETTE Palette = 0;
  int StretchMode = kBlackOnWhite;
};

struct MappingObject : Object {
  int Fd = -1;
  std::uint64_t Size = 0;
  ~MappingObject() override {
    if (Fd >= 0) close(Fd);
  }
};

struct GlobalObject : Object {
  std::vector<std::uint8_t> Data;
  int Locks = 0;
};

struct View {
  void* Base;
  std::size_t Length;
};

struct State {
  std::mutex Lock;  // over everything below, and the fields of the objects in the tables
  std::unordered_map<HANDLE, std::unique_ptr<Object>> Objects;
  std::map<const void*, View> Views;
  HANDLE Next = 0x10000;
  HDC Screen = 0;
  HBITMAP StockBitmap = 0;
  HPALETTE StockPalette = 0;

  HANDLE Add(std::unique_ptr<Object> object) {
    Next += 4;
    Objects.emplace(Next, std::move(object));
    return Next;
  }
  template <class T>
  T* Find(HANDLE handle) {
    if (handle == 0) return nullptr;
    auto it = Objects.find(handle);
    return it == Objects.end() ? nullptr : dynamic_cast<T*>(it->second.get());
  }
};

// Never destroyed: bitmaps held in static storage may release their handles at exit, after
// any static table would already be gone.
State& St() {
  static State* state = new State;
  return *state;
}

std::int64_t StrideOf(std::int64_t width, int bits) { return ((width * bits + 31) / 32) * 4; }

bool ValidDepth(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// The colour table and masks a BITMAPINFO describes for an uncompressed or RLE image.
bool ReadFormat(const BITMAPINFO* info, std::vector<RGBQUAD>& colors, DWORD masks[3]) {
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize != sizeof(BITMAPINFOHEADER) || !ValidDepth(h.biBitCount)) return false;
  colors.clear();
  DefaultMasks(h.biBitCount, masks);
  if (h.biBitCount <= 8) {
    const std::size_t full = std::size_t{1} << h.biBitCount;
    const std::size_t given = h.biClrUsed == 0 ? full : std::min<std::size_t>(h.biClrUsed, full);
    colors.assign(full, RGBQUAD{0, 0, 0, 0});
    std::copy(info->bmiColors, info->bmiColors + given, colors.begin());
    for (auto& c : colors) c.rgbReserved = 0;
  }
  switch (h.biCompression) {
    case BI_RGB:
      return true;
    case BI_RLE8:
      return h.biBitCount == 8;
    case BI_RLE4:
      return h.biBitCount == 4;
    case BI_BITFIELDS:
      if (h.biBitCount != 16 && h.biBitCount != 32) return false;
      std::memcpy(masks, info->bmiColors, 3 * sizeof(DWORD));
      return masks[0] != 0 && masks[1] != 0 && masks[2] != 0;
    default:
      return false;
  }
}

// Zeroed pixel memory. A picture of many megabytes would otherwise be touched in by one
// page fault per 4 KB, about a tenth of a decoder's time; mapped on a 2 MB boundary and
// marked for large pages it takes one fault per 2 MB where the system offers them.
bool AllocatePixels(BitmapObject& bitmap, std::size_t bytes) {
  constexpr std::size_t kLargePage = std::size_t{2} << 20;
  if (bytes < kLargePage) {
    bitmap.Heap.reset(static_cast<std::uint8_t*>(std::calloc(std::max<std::size_t>(bytes, 1), 1)));
    bitmap.Bits = bitmap.Heap.get();
    return bitmap.Bits != nullptr;
  }
  const std::size_t length = (bytes + kLargePage - 1) / kLargePage * kLargePage;
  void* reserved = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (reserved == MAP_FAILED) return false;
  const auto start = reinterpret_cast<std::uintptr_t>(reserved);
  const auto aligned = (start + kLargePage - 1) / kLargePage * kLargePage;
  if (aligned > start) munmap(reserved, aligned - start);
  if (const std::size_t tail = start + kLargePage - aligned; tail > 0)
    munmap(reinterpret_cast<void*>(aligned + length), tail);
  madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
  bitmap.MapBase = reinterpret_cast<void*>(aligned);
  bitmap.MapLength = length;
  bitmap.Bits = static_cast<std::uint8_t*>(bitmap.MapBase);
  return true;
}

// The stock objects are made on first use by a caller that holds the lock.
HBITMAP StockBitmap(State& st) {
  if (st.StockBitmap == 0) {
    auto bitmap = std::make_unique<BitmapObject>();
    bitmap->Header = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 1, 1, 1, 1, BI_RGB, 4, 0, 0, 2, 0};
    bitmap->Colors = DefaultColorTable(1);
    bitmap->Stride = 4;
    bitmap->ImageBytes = 4;
    bitmap->Heap.reset(static_cast<std::uint8_t*>(std::calloc(4, 1)));
    bitmap->Bits = bitmap->Heap.get();
    bitmap->Stock = true;
    st.StockBitmap = st.Add(std::move(bitmap));
  }
  return st.StockBitmap;
}

HPALETTE StockPalette(State& st) {
  if (st.StockPalette == 0) {
    auto palette = std::make_unique<PaletteObject>();
    for (const RGBQUAD& q : DefaultColorTable(4))
      palette->Entries.push_back(PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
    st.StockPalette = st.Add(std::move(palette));
  }
  return st.StockPalette;
}

// The pixels of a DIB section, or of the bitmap selected into a memory context; the caller
// holds the lock.
bool SectionView(State& st, HBITMAP bitmap, Surface& surface) {
  BitmapObject* object = st.Find<BitmapObject>(bitmap);
  if (object == nullptr) return false;
  surface = object->View();
  return true;
}

bool ContextView(State& st, HDC dc, Surface& surface) {
  DcObject* object = st.Find<DcObject>(dc);
  if (object == nullptr || !object->Memory) return false;
  return SectionView(st, object->Bitmap, surface);
}

// Source coordinate of step i of a destination extent, nearest neighbour (the centre of the
// destination pixel mapped back); a negative extent on either side mirrors.
int Sample(int i, int destExtent, int srcOrigin, int srcExtent) {
  const __int128 n = destExtent < 0 ? -static_cast<__int128>(destExtent) : destExtent;
  const __int128 k = destExtent < 0 ? n - 1 - i : i;
  const __int128 num = (2 * k + 1) * srcExtent;
  const __int128 den = 2 * n;
  __int128 q = num / den;
  if (num % den != 0 && num < 0) --q;
  return static_cast<int>(std::clamp<__int128>(srcOrigin + q, INT32_MIN, INT32_MAX));
}

bool SameTable(const Surface& a, const Surface& b) {
  return a.ColorCount == b.ColorCount &&
         std::memcmp(a.Colors, b.Colors, sizeof(RGBQUAD) * static_cast<std::size_t>(a.ColorCount)) == 0;
}

}  // namespace

namespace gdi_detail {

DWORD Surface::Raw(int x, int y) const {
  const std::uint8_t* row = Row(y);
  switch (Bits) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
      return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 8:
      return row[x];
    case 16:
      return row[2 * x] | (DWORD{row[2 * x + 1]} << 8);
    case 24:
      return row[3 * x] | (DWORD{row[3 * x + 1]} << 8) | (DWORD{row[3 * x + 2]} << 16);
    default: {
      const std::uint8_t* p = row + 4 * x;
      return p[0] | (DWORD{p[1]} << 8) | (DWORD{p[2]} << 16) | (DWORD{p[3]} << 24);
    }
  }
}

void Surface::SetRaw(int x, int y, DWORD value) const {
  std::uint8_t* row = Row(y);
  switch (Bits) {
    case 1: {
      const int shift = 7 - (x & 7);
      row[x >> 3] = static_cast<std::uint8_t>((row[x >> 3] & ~(1 << shift)) | ((value & 1) << shift));
      break;
    }
    case 4:
      if (x & 1) {
        row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0xF0) | (value & 0x0F));
      } else {
        row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0x0F) | ((value & 0x0F) << 4));
      }
      break;
    case 8:
      row[x] = static_cast<std::uint8_t>(value);
      break;
    case 16:
      row[2 * x] = static_cast<std::uint8_t>(value);
      row[2 * x + 1] = static_cast<std::uint8_t>(value >> 8);
      break;
    case 24:
      row[3 * x] = static_cast<std::uint8_t>(value);
      row[3 * x + 1] = static_cast<std::uint8_t>(value >> 8);
      row[3 * x + 2] = static_cast<std::uint8_t>(value >> 16);
      break;
    default: {
      std::uint8_t* p = row + 4 * x;
      p[0] = static_cast<std::uint8_t>(value);
      p[1] = static_cast<std::uint8_t>(value >> 8);
      p[2] = static_cast<std::uint8_t>(value >> 16);
      p[3] = static_cast<std::uint8_t>(value >> 24);
      break;
    }
  }
}

namespace {

// Where a channel's run of mask bits starts and how many bits it spans.
struct MaskRun {
  int shift = 0;
  int width = 0;
};

MaskRun RunOf(DWORD mask) {
  MaskRun run;
  while (((mask >> run.shift) & 1) == 0) ++run.shift;
  while (((mask >> run.shift) >> run.width) & 1) ++run.width;
  return run;
}

// A channel of a packed word scaled to 0..255; short channels repeat their top bits so that
// full scale stays full scale.
BYTE Expand(DWORD raw, DWORD mask) {
  if (mask == 0) return 0;
  const auto [shift, width] = RunOf(mask);
  DWORD v = (raw & mask) >> shift;
  if (width >= 8) return static_cast<BYTE>(v >> (width - 8));
  DWORD out = 0;
  int filled = 0;
  while (filled < 8) {
    out = (out << width) | v;
    filled += width;
  }
  return static_cast<BYTE>(out >> (filled - 8));
}

DWORD Pack(BYTE value, DWORD mask) {
  if (mask == 0) return 0;
  const auto [shift, width] = RunOf(mask);
  DWORD v = width >= 8 ? (DWORD{value} << (width - 8)) : (DWORD{value} >> (8 - width));
  return (v << shift) & mask;
}

}  // namespace

COLORREF Surface::ColorOf(DWORD raw) const {
  if (Indexed()) {
    if (raw >= static_cast<DWORD>(ColorCount)) return 0;
    const RGBQUAD& q = Colors[raw];
    return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
  }
  if (Bits == 24) return RGB(static_cast<BYTE>(raw >> 16), static_cast<BYTE>(raw >> 8), static_cast<BYTE>(raw));
  return RGB(Expand(raw, Masks[0]), Expand(raw, Masks[1]), Expand(raw, Masks[2]));
}

DWORD Surface::Encode(COLORREF colour) const {
  if (Indexed()) return static_cast<DWORD>(NearestIndex(Colors, ColorCount, colour));
  const BYTE r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
  if (Bits == 24) return b | (DWORD{g} << 8) | (DWORD{r} << 16);
  return Pack(r, Masks[0]) | Pack(g, Masks[1]) | Pack(b, Masks[2]);
}

DWORD Surface::RawMask() const {
  if (Bits == 24) return 0xFFFFFF;
  if (Bits == 16 || Bits == 32) return Masks[0] | Masks[1] | Masks[2];
  return (DWORD{1} << Bits) - 1;
}

int NearestIndex(const RGBQUAD* colors, int count, COLORREF colour) {
  const int r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < count; ++i) {
    const long dr = colors[i].rgbRed - r, dg = colors[i].rgbGreen - g, db = colors[i].rgbBlue - b;
    const long d = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || d < bestDistance) {
      best = i;
      bestDistance = d;
      if (d == 0) break;
    }
  }
  return best;
}

DWORD ColourEncoder::operator()(COLORREF colour) {
  if (!target_.Indexed()) return target_.Encode(colour);
  auto it = cache_.find(colour);
  if (it != cache_.end()) return it->second;
  const DWORD raw = target_.Encode(colour);
  cache_.emplace(colour, raw);
  return raw;
}

void DefaultMasks(int bits, DWORD masks[3]) {
  if (bits == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else if (bits == 32) {
    masks[0] = 0x00FF0000;
    masks[1] = 0x0000FF00;
    masks[2] = 0x000000FF;
  } else {
    masks[0] = masks[1] = masks[2] = 0;
  }
}

std::vector<RGBQUAD> DefaultColorTable(int bits) {
  static const BYTE standard[16][3] = {
      {0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
      {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0},
      {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  std::vector<RGBQUAD> table;
  auto add = [&table](BYTE r, BYTE g, BYTE b) { table.push_back(RGBQUAD{b, g, r, 0}); };
  if (bits == 1) {
    add(0, 0, 0);
    add(255, 255, 255);
  } else if (bits == 4 || bits == 8) {
    for (const auto& c : standard) add(c[0], c[1], c[2]);
    if (bits == 8) {
      for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
          for (int b = 0; b < 6; ++b)
            add(static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51), static_cast<BYTE>(b * 51));
      for (int i = 0; i < 24; ++i) {
        const BYTE v = static_cast<BYTE>(8 + i * 10);
        add(v, v, v);
      }
    }
  }
  return table;
}

bool DcSurface(HDC dc, Surface& surface) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  return ContextView(st, dc, surface);
}

bool BitmapSurface(HBITMAP bitmap, Surface& surface) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  return SectionView(st, bitmap, surface);
}

bool SetSectionTable(HBITMAP bitmap, const RGBQUAD* colors, int count) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  BitmapObject* object = st.Find<BitmapObject>(bitmap);
  if (object == nullptr || object->Stock || object->Colors.empty() || count < 0) return false;
  std::fill(object->Colors.begin(), object->Colors.end(), RGBQUAD{0, 0, 0, 0});
  const std::size_t n = std::min(object->Colors.size(), static_cast<std::size_t>(count));
  std::copy(colors, colors + n, object->Colors.begin());
  for (auto& c : object->Colors) c.rgbReserved = 0;
  return true;
}

void Stretch(const Surface& dst, int dx, int dy, int dw, int dh, const Surface& src, int sx, int sy,
             int sw, int sh) {
  if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;
  // Only the steps that land inside the destination are worked out.
  const std::int64_t left = std::min<std::int64_t>(dx, std::int64_t{dx} + dw);
  const std::int64_t top = std::min<std::int64_t>(dy, std::int64_t{dy} + dh);
  const std::int64_t n = dw < 0 ? -std::int64_t{dw} : dw;
  const std::int64_t m = dh < 0 ? -std::int64_t{dh} : dh;
  const std::int64_t i0 = std::max<std::int64_t>(0, -left), i1 = std::min<std::int64_t>(n, dst.Width - left);
  const std::int64_t j0 = std::max<std::int64_t>(0, -top), j1 = std::min<std::int64_t>(m, dst.Height - top);
  if (i0 >= i1 || j0 >= j1) return;
  std::vector<int> columns;
  columns.reserve(static_cast<std::size_t>(i1 - i0));
  for (std::int64_t i = i0; i < i1; ++i) columns.push_back(Sample(static_cast<int>(i), dw, sx, sw));
  const bool copyRaw = (dst.Indexed() && src.Bits == dst.Bits && SameTable(src, dst)) ||
                       (!dst.Indexed() && src.Bits == dst.Bits &&
                        std::equal(src.Masks, src.Masks + 3, dst.Masks));
  ColourEncoder encode(dst);
  for (std::int64_t j = j0; j < j1; ++j) {
    const int y = static_cast<int>(top + j);
    const int syj = Sample(static_cast<int>(j), dh, sy, sh);
    if (syj < 0 || syj >= src.Height) continue;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const int x = static_cast<int>(left + i0 + static_cast<std::int64_t>(c));
      const int sxi = columns[c];
      if (sxi < 0 || sxi >= src.Width) continue;
      const DWORD raw = src.Raw(sxi, syj);
      dst.SetRaw(x, y, copyRaw ? raw : encode(src.ColorOf(raw)));
    }
  }
}

}  // namespace gdi_detail

// ---------------------------------------------------------------------------------------------
// Palettes

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (palette == nullptr || palette->palNumEntries == 0 || palette->palNumEntries > 256) return 0;
  auto object = std::make_unique<PaletteObject>();
  object->Entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  State& st = St();
  const std::lock_guard lock(st.Lock);
  return st.Add(std::move(object));
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  PaletteObject* object = st.Find<PaletteObject>(palette);
  if (object == nullptr) return 0;
  const UINT size = static_cast<UINT>(object->Entries.size());
  if (entries == nullptr) return size;
  if (start >= size) return 0;
  const UINT n = std::min(count, size - start);
  std::copy(object->Entries.begin() + start, object->Entries.begin() + start + n, entries);
  return n;
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL /*forceBackground*/) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  DcObject* object = st.Find<DcObject>(dc);
  if (object == nullptr || st.Find<PaletteObject>(palette) == nullptr) return 0;
  HPALETTE previous = object->Palette != 0 ? object->Palette : StockPalette(st);
  object->Palette = palette;
  return previous;
}

UINT RealizePalette(HDC dc) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  DcObject* object = st.Find<DcObject>(dc);
  if (object == nullptr) return 0xFFFFFFFF;
  PaletteObject* palette = st.Find<PaletteObject>(object->Palette != 0 ? object->Palette : StockPalette(st));
  return palette == nullptr ? 0 : static_cast<UINT>(palette->Entries.size());
}

BOOL DeleteObject(HGDIOBJ handle) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  if (handle == st.StockBitmap || handle == st.StockPalette) return handle != 0;
  auto it = st.Objects.find(handle);
  if (it == st.Objects.end()) return false;
  if (auto* bitmap = dynamic_cast<BitmapObject*>(it->second.get())) {
    if (bitmap->SelectedIn != 0) return false;  // still drawn on by a device context
  } else if (dynamic_cast<PaletteObject*>(it->second.get()) == nullptr) {
    return false;
  }
  st.Objects.erase(it);
  return true;
}

int GetObjectA(HGDIOBJ handle, int size, void* buffer) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  if (PaletteObject* palette = st.Find<PaletteObject>(handle)) {
    if (buffer == nullptr) return sizeof(WORD);
    if (size < static_cast<int>(sizeof(WORD))) return 0;
    const WORD count = static_cast<WORD>(palette->Entries.size());
    std::memcpy(buffer, &count, sizeof count);
    return sizeof(WORD);
  }
  BitmapObject* bitmap = st.Find<BitmapObject>(handle);
  if (bitmap == nullptr) return 0;
  if (buffer == nullptr) return sizeof(DIBSECTION);
  if (size < static_cast<int>(sizeof(BITMAP))) return 0;
  DIBSECTION ds{};
  ds.dsBm.bmType = 0;
  ds.dsBm.bmWidth = bitmap->Width();
  ds.dsBm.bmHeight = bitmap->Height();
  ds.dsBm.bmWidthBytes = static_cast<LONG>(bitmap->Stride);
  ds.dsBm.bmPlanes = 1;
  ds.dsBm.bmBitsPixel = bitmap->Header.biBitCount;
  ds.dsBm.bmBits = bitmap->Bits;
  if (size < static_cast<int>(sizeof(DIBSECTION))) {
    std::memcpy(buffer, &ds.dsBm, sizeof(BITMAP));
    return sizeof(BITMAP);
  }
  ds.dsBmih = bitmap->Header;
  std::copy(bitmap->Masks, bitmap->Masks + 3, ds.dsBitfields);
  ds.dshSection = bitmap->Section;
  ds.dsOffset = bitmap->Offset;
  std::memcpy(buffer, &ds, sizeof ds);
  return sizeof(DIBSECTION);
}

// ---------------------------------------------------------------------------------------------
// Device contexts

HDC GetDC(HWND /*window*/) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  if (st.Screen == 0) st.Screen = st.Add(std::make_unique<DcObject>());
  return st.Screen;
}

int ReleaseDC(HWND /*window*/, HDC dc) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  return dc != 0 && dc == st.Screen ? 1 : 0;
}

HDC CreateCompatibleDC(HDC dc) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  if (dc != 0 && st.Find<DcObject>(dc) == nullptr) return 0;
  auto object = std::make_unique<DcObject>();
  object->Memory = true;
  object->Bitmap = StockBitmap(st);
  return st.Add(std::move(object));
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ handle) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  DcObject* object = st.Find<DcObject>(dc);
  if (object == nullptr) return 0;
  if (st.Find<PaletteObject>(handle) != nullptr) return 0;  // palettes go through SelectPalette
  BitmapObject* bitmap = st.Find<BitmapObject>(handle);
  if (bitmap == nullptr || !object->Memory) return 0;
  if (handle == object->Bitmap) return handle;
  if (!bitmap->Stock && bitmap->SelectedIn != 0) return 0;  // one device context at a time
  HBITMAP previous = object->Bitmap;
  if (BitmapObject* old = st.Find<BitmapObject>(previous); old != nullptr && !old->Stock) old->SelectedIn = 0;
  if (!bitmap->Stock) bitmap->SelectedIn = dc;
  object->Bitmap = handle;
  return previous;
}

BOOL DeleteDC(HDC dc) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  DcObject* object = st.Find<DcObject>(dc);
  if (object == nullptr || !object->Memory) return false;
  if (BitmapObject* bitmap = st.Find<BitmapObject>(object->Bitmap); bitmap != nullptr && !bitmap->Stock)
    bitmap->SelectedIn = 0;
  st.Objects.erase(dc);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Device-independent bitmaps

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset) {
  if (bits != nullptr) *bits = nullptr;
  if (info == nullptr || usage != DIB_RGB_COLORS) return 0;
  State& st = St();
  MappingObject* mapping = nullptr;
  {
    const std::lock_guard lock(st.Lock);
    if (dc != 0 && st.Find<DcObject>(dc) == nullptr) return 0;
    if (section != 0 && (mapping = st.Find<MappingObject>(section)) == nullptr) return 0;
  }
  // The pixels are mapped or allocated without the lock.
  auto bitmap = std::make_unique<BitmapObject>();
  if (!ReadFormat(info, bitmap->Colors, bitmap->Masks)) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return 0;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1) return 0;
  const std::int64_t height = h.biHeight < 0 ? -std::int64_t{h.biHeight} : h.biHeight;
  const std::int64_t stride = StrideOf(h.biWidth, h.biBitCount);
  const std::uint64_t bytes = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
  if (bytes > std::uint64_t{MaxPixelBytes}) return 0;
  bitmap->Header = h;
  bitmap->Header.biSizeImage = static_cast<DWORD>(bytes);
  bitmap->Stride = stride;
  bitmap->ImageBytes = bytes;
  if (mapping != nullptr) {
    if (offset % sizeof(DWORD) != 0 || offset + bytes > mapping->Size) return 0;
    const std::uint64_t page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t aligned = offset / page * page;
    const std::size_t length = static_cast<std::size_t>(offset - aligned + bytes);
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, mapping->Fd, static_cast<off_t>(aligned));
    if (base == MAP_FAILED) return 0;
    bitmap->MapBase = base;
    bitmap->MapLength = length;
    bitmap->Bits = static_cast<std::uint8_t*>(base) + (offset - aligned);
    bitmap->Section = section;
    bitmap->Offset = offset;
  } else {
    if (!AllocatePixels(*bitmap, static_cast<std::size_t>(bytes))) return 0;
  }
  if (bits != nullptr) *bits = bitmap->Bits;
  const std::lock_guard lock(st.Lock);
  return st.Add(std::move(bitmap));
}

namespace {

// Fills the header and colour table a caller asks GetDIBits about.
void DescribeTarget(const BitmapObject& bitmap, BITMAPINFO* info) {
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biBitCount == 0) {
    h = bitmap.Header;
    h.biHeight = bitmap.Height();
    h.biClrUsed = 0;
    return;
  }
  h.biSizeImage = static_cast<DWORD>(StrideOf(h.biWidth, h.biBitCount) *
                                     (h.biHeight < 0 ? -std::int64_t{h.biHeight} : h.biHeight));
  if (h.biBitCount <= 8) {
    const std::vector<RGBQUAD> table =
        h.biBitCount == bitmap.Header.biBitCount ? bitmap.Colors : DefaultColorTable(h.biBitCount);
    std::copy(table.begin(), table.end(), info->bmiColors);
  }
}

}  // namespace

int GetDIBits(HDC dc, HBITMAP handle, UINT startScan, UINT scanLines, void* bits, BITMAPINFO* info,
              UINT usage) {
  State& st = St();
  BitmapObject* bitmap = nullptr;
  {
    const std::lock_guard lock(st.Lock);
    bitmap = st.Find<BitmapObject>(handle);
    if (bitmap == nullptr || st.Find<DcObject>(dc) == nullptr) return 0;
  }
  if (info == nullptr || usage != DIB_RGB_COLORS) return 0;
  if (info->bmiHeader.biSize != sizeof(BITMAPINFOHEADER)) return 0;
  if (bits == nullptr) {
    DescribeTarget(*bitmap, info);
    return bitmap->Height();
  }
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (!ValidDepth(h.biBitCount) || (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS)) return 0;
  if (h.biWidth <= 0 || h.biHeight == 0) return 0;
  DescribeTarget(*bitmap, info);
  std::vector<RGBQUAD> colors;
  DWORD masks[3];
  if (!ReadFormat(info, colors, masks)) return 0;
  const Surface src = bitmap->View();
  if (startScan >= static_cast<UINT>(src.Height)) return 0;
  const int lines = static_cast<int>(std::min<UINT>(scanLines, static_cast<UINT>(src.Height) - startScan));
  if (lines <= 0) return 0;
  Surface dst;
  dst.Width = h.biWidth;
  dst.Height = lines;
  dst.Bits = h.biBitCount;
  dst.Stride = StrideOf(h.biWidth, h.biBitCount);
  dst.TopDown = h.biHeight < 0;
  dst.Pixels = static_cast<std::uint8_t*>(bits);
  dst.Colors = colors.data();
  dst.ColorCount = static_cast<int>(colors.size());
  std::copy(masks, masks + 3, dst.Masks);
  // Scan lines count from the bottom of a bottom-up target and from the top of a top-down one.
  const int firstSourceRow = dst.TopDown ? static_cast<int>(startScan)
                                         : src.Height - static_cast<int>(startScan) - lines;
  const int columns = std::min(dst.Width, src.Width);
  Stretch(dst, 0, 0, columns, lines, src, 0, firstSourceRow, columns, lines);
  return lines;
}

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage,
                  DWORD rop) {
  State& st = St();
  DcObject* object = nullptr;
  {
    const std::lock_guard lock(st.Lock);
    object = st.Find<DcObject>(dc);
  }
  if (object == nullptr || bits == nullptr || info == nullptr || usage != DIB_RGB_COLORS || rop != SRCCOPY)
    return 0;
  std::vector<RGBQUAD> colors;
  DWORD masks[3];
  if (!ReadFormat(info, colors, masks)) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biWidth <= 0 || h.biHeight == 0) return 0;
  const std::int64_t height = h.biHeight < 0 ? -std::int64_t{h.biHeight} : h.biHeight;
  const std::int64_t stride = StrideOf(h.biWidth, h.biBitCount);
  if (static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height) > std::uint64_t{MaxPixelBytes}) return 0;
  Surface src;
  src.Width = h.biWidth;
  src.Height = static_cast<int>(height);
  src.Bits = h.biBitCount;
  src.Stride = stride;
  src.TopDown = h.biHeight < 0;
  src.Pixels = static_cast<std::uint8_t*>(const_cast<void*>(bits));
  src.Colors = colors.data();
  src.ColorCount = static_cast<int>(colors.size());
  std::copy(masks, masks + 3, src.Masks);
  std::vector<std::uint8_t> expanded;
  if (h.biCompression == BI_RLE4 || h.biCompression == BI_RLE8) {
    if (h.biHeight < 0 || h.biSizeImage == 0) return 0;
    expanded.assign(static_cast<std::size_t>(stride * height), 0);
    if (!ExpandRle(static_cast<const std::uint8_t*>(bits), h.biSizeImage, h.biCompression, h.biWidth,
                   src.Height, expanded.data()))
      return 0;
    src.Pixels = expanded.data();
  }
  const int lines = srcHeight < 0 ? -srcHeight : srcHeight;
  Surface dst;
  if (!object->Memory || !DcSurface(dc, dst)) return lines;  // the screen shows nothing here
  // A bottom-up source counts ySrc from its bottom row; drawn upright either way.
  const int top = src.TopDown ? ySrc : src.Height - ySrc - srcHeight;
  Stretch(dst, xDest, yDest, destWidth, destHeight, src, xSrc, top, srcWidth, srcHeight);
  return lines;
}

int SetStretchBltMode(HDC dc, int mode) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  DcObject* object = st.Find<DcObject>(dc);
  if (object == nullptr || mode < 1 || mode > 4) return 0;
  const int previous = object->StretchMode;
  object->StretchMode = mode;
  return previous;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int xSrc, int ySrc, DWORD rop) {
  if (rop != SRCCOPY) return false;
  Surface dst, src;
  {
    State& st = St();
    const std::lock_guard lock(st.Lock);
    if (!ContextView(st, dest, dst) || !ContextView(st, source, src)) return false;
  }
  if (width <= 0 || height <= 0) return true;
  std::vector<std::uint8_t> copy;
  if (src.Pixels == dst.Pixels) {
    // Overlapping transfer within one bitmap: read from a snapshot.
    copy.assign(src.Pixels, src.Pixels + src.Stride * src.Height);
    src.Pixels = copy.data();
  }
  Stretch(dst, x, y, width, height, src, xSrc, ySrc, width, height);
  return true;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  Surface s;
  if (!DcSurface(dc, s) || !s.Contains(x, y)) return CLR_INVALID;
  return s.Color(x, y);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour) {
  Surface s;
  if (!DcSurface(dc, s) || !s.Contains(x, y)) return CLR_INVALID;
  DWORD raw;
  if ((colour >> 24) == 0x01) {
    // A palette index: written as it stands into an indexed bitmap, else the colour of that
    // entry of the context's palette.
    const DWORD index = colour & 0xFFFF;
    if (s.Indexed() && index < static_cast<DWORD>(s.ColorCount)) {
      raw = index;
    } else {
      COLORREF plain = 0;
      State& st = St();
      const std::lock_guard lock(st.Lock);
      DcObject* object = st.Find<DcObject>(dc);
      if (PaletteObject* palette = st.Find<PaletteObject>(object->Palette);
          palette != nullptr && index < palette->Entries.size()) {
        const PALETTEENTRY& e = palette->Entries[index];
        plain = RGB(e.peRed, e.peGreen, e.peBlue);
      }
      raw = s.Encode(plain);
    }
  } else {
    raw = s.Encode(colour & 0x00FFFFFF);
  }
  s.SetRaw(x, y, raw);
  return s.ColorOf(raw);
}

// ---------------------------------------------------------------------------------------------
// File mappings

HANDLE CreateFileMappingA(HANDLE file, void* /*attributes*/, DWORD /*protect*/, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, const char* /*name*/) {
  if (file != INVALID_HANDLE_VALUE) return 0;  // only memory-backed mappings exist here
  const std::uint64_t size = (std::uint64_t{maximumSizeHigh} << 32) | maximumSizeLow;
  if (size == 0) return 0;
  const int fd = memfd_create("mapping", MFD_CLOEXEC);
  if (fd < 0) return 0;
  auto mapping = std::make_unique<MappingObject>();
  mapping->Fd = fd;
  mapping->Size = size;
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) return 0;
  State& st = St();
  const std::lock_guard lock(st.Lock);
  return st.Add(std::move(mapping));
}

void* MapViewOfFile(HANDLE handle, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow,
                    std::size_t bytes) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  MappingObject* mapping = st.Find<MappingObject>(handle);
  if (mapping == nullptr) return nullptr;
  const std::uint64_t offset = (std::uint64_t{offsetHigh} << 32) | offsetLow;
  if (offset >= mapping->Size) return nullptr;
  const std::uint64_t length = bytes == 0 ? mapping->Size - offset : bytes;
  if (length > mapping->Size - offset) return nullptr;
  const std::uint64_t page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  const std::uint64_t aligned = offset / page * page;
  const std::size_t total = static_cast<std::size_t>(offset - aligned + length);
  const int protection = desiredAccess == FILE_MAP_READ ? PROT_READ : PROT_READ | PROT_WRITE;
  void* base = mmap(nullptr, total, protection, MAP_SHARED, mapping->Fd, static_cast<off_t>(aligned));
  if (base == MAP_FAILED) return nullptr;
  void* view = static_cast<std::uint8_t*>(base) + (offset - aligned);
  st.Views[view] = View{base, total};
  return view;
}

BOOL UnmapViewOfFile(const void* base) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  auto it = st.Views.find(base);
  if (it == st.Views.end()) return false;
  munmap(it->second.Base, it->second.Length);
  st.Views.erase(it);
  return true;
}

BOOL CloseHandle(HANDLE handle) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  if (st.Find<MappingObject>(handle) == nullptr) return false;
  st.Objects.erase(handle);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Global memory

HGLOBAL GlobalAlloc(UINT /*flags*/, std::size_t bytes) {
  if (bytes > std::uint64_t{MaxPixelBytes} * 2) return 0;
  auto block = std::make_unique<GlobalObject>();
  try {
    block->Data.assign(bytes, 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  State& st = St();
  const std::lock_guard lock(st.Lock);
  return st.Add(std::move(block));
}

void* GlobalLock(HGLOBAL memory) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  GlobalObject* block = st.Find<GlobalObject>(memory);
  if (block == nullptr || block->Data.empty()) return nullptr;
  ++block->Locks;
  return block->Data.data();
}

BOOL GlobalUnlock(HGLOBAL memory) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  GlobalObject* block = st.Find<GlobalObject>(memory);
  if (block == nullptr || block->Locks == 0) return false;
  --block->Locks;
  return block->Locks != 0;
}

std::size_t GlobalSize(HGLOBAL memory) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  GlobalObject* block = st.Find<GlobalObject>(memory);
  return block == nullptr ? 0 : block->Data.size();
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  State& st = St();
  const std::lock_guard lock(st.Lock);
  if (st.Find<GlobalObject>(memory) == nullptr) return memory;
  st.Objects.erase(memory);
  return 0;
}

void GetSystemTime(SYSTEMTIME* time) {
  if (time == nullptr) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  time->wYear = static_cast<WORD>(utc.tm_year + 1900);
  time->wMonth = static_cast<WORD>(utc.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
  time->wDay = static_cast<WORD>(utc.tm_mday);
  time->wHour = static_cast<WORD>(utc.tm_hour);
  time->wMinute = static_cast<WORD>(utc.tm_min);
  time->wSecond = static_cast<WORD>(utc.tm_sec);
  time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}
