// Scratch folders, whole-file helpers and short forms shared by the class library's tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "classlib/errors.h"
#include "classlib/graphics.h"
#include "classlib/streams.h"
#include "classlib/strings.h"
#include "support/case_name.h"

namespace core_test {

// The names in a folder, sorted.
inline std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A fresh folder under the build tree, removed with everything in it at the end of the test.
class ScratchFolder {
public:
  ScratchFolder() {
    std::string pattern = std::string(TEST_BUILD_DIR) + "/core-scratch-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  bool Valid() const { return !path_.empty(); }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  // The names in the folder, to see that no temporary file was left behind.
  std::vector<std::string> Names() const { return NamesIn(path_); }

private:
  std::string path_;
};

// Tests that work on files get a scratch folder that is known to exist.
class ScratchTest : public testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(folder.Valid()); }
  ScratchFolder folder;
};

inline std::string ReadAll(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& fileName, const std::string& data) {
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// "Class: message" of what the call raises, so one comparison pins both the class a caller
// catches and the text the user reads.
template <class F>
std::string Raised(F&& call) {
  try {
    call();
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message;
  }
  return "nothing raised";
}

inline std::vector<std::string> Items(const TStringList& list) {
  std::vector<std::string> items;
  for (int i = 0; i < list.Count(); ++i) items.push_back(list.Strings(i));
  return items;
}

// Every pixel through the canvas, row by row.
inline std::vector<TColor> Pixels(TBitmap& b) {
  std::vector<TColor> out;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) out.push_back(b.Canvas()->Pixels(x, y));
  return out;
}

// A row's bytes, counted from the top as ScanLine counts them.
inline BYTE* Row(TBitmap& b, int y) { return static_cast<BYTE*>(b.ScanLine(y)); }

// The rows' bytes as the bitmap holds them, padding included: top row first, or bottom first.
inline std::vector<std::uint8_t> ScanBytes(TBitmap& b, bool bottomUp = false) {
  std::vector<std::uint8_t> out;
  for (int i = 0; i < b.Height(); ++i) {
    const auto* row = Row(b, bottomUp ? b.Height() - 1 - i : i);
    out.insert(out.end(), row, row + b.RowBytes());
  }
  return out;
}

// The colours of a palette's entries, or of a colour table.
inline std::vector<COLORREF> Entries(HPALETTE palette) {
  PALETTEENTRY entries[256];
  std::vector<COLORREF> colours;
  for (UINT i = 0, n = GetPaletteEntries(palette, 0, 256, entries); i < n; ++i)
    colours.push_back(RGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue));
  return colours;
}

inline std::vector<COLORREF> Entries(const std::vector<RGBQUAD>& table) {
  std::vector<COLORREF> colours;
  for (const RGBQUAD& q : table) colours.push_back(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
  return colours;
}

inline HPALETTE MakePalette(const std::vector<PALETTEENTRY>& entries) {
  LOGPALETTE log{0x300, static_cast<WORD>(entries.size()), {}};
  std::copy(entries.begin(), entries.end(), log.palPalEntry);
  return CreatePalette(&log);
}

// Makes every write past limit bytes of a file fail (with EFBIG instead of the signal), which
// stops a save half-way even for root; the old limit returns at the end of the scope.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = old_;
    lowered.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
  rlimit old_{};
  void (*oldHandler_)(int) = SIG_DFL;
};

// A stream that claims a few kilobytes and fails every read the way an allocation fails
// deep inside a load: with std::bad_alloc, which no caller of a load expects.
class TAllocationFailingStream : public TStream {
public:
  std::int64_t Read(void*, std::int64_t) override { throw std::bad_alloc(); }
  std::int64_t Write(const void*, std::int64_t count) override { return count; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    position_ = offset + (origin == TSeekOrigin::soCurrent ? position_ : origin == TSeekOrigin::soEnd ? Size() : 0);
    return position_;
  }
  std::int64_t Size() override { return 4096; }

private:
  std::int64_t position_ = 0;
};

}  // namespace core_test
