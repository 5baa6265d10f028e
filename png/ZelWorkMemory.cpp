#include "png/ZelWorkMemory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace {

// In front of each block: its capacity and the thread it belongs to, padded so that the
// block stays aligned for any type.
struct Header {
  std::size_t Capacity;
  std::uint64_t Owner;
};
constexpr std::size_t HeaderSize = alignof(std::max_align_t) > 16 ? alignof(std::max_align_t) : 16;
static_assert(sizeof(Header) <= HeaderSize);

// What a thread keeps: the blocks of a load and a save, a few hundred KiB for the usual
// picture and never more than the limit. Larger blocks serve large pictures only, whose
// own work outweighs a fresh allocation, and go back to the heap.
constexpr int KeptBlocks = 24;
constexpr std::size_t KeptBlockLimit = 512 * 1024;
constexpr std::size_t KeptTotalLimit = 2 * 1024 * 1024;

struct Kept {
  void* Block;
  std::size_t Capacity;
};

// Trivially destructible, so that they stay usable after the thread's destructors ran.
thread_local Kept kept[KeptBlocks];
thread_local std::size_t keptBytes = 0;
thread_local bool threadEnding = false;

// A number no other thread of the process has had, unlike a thread's id or the address of
// its storage, which a later thread may be given again.
std::uint64_t ThisThread() noexcept {
  static std::atomic<std::uint64_t> threads{0};
  thread_local const std::uint64_t self = threads.fetch_add(1, std::memory_order_relaxed) + 1;
  return self;
}

void* StartOf(void* block) { return static_cast<char*>(block) - HeaderSize; }

// The header is poisoned too while the block is out, so that a write in front of a block
// is seen as well as one past it.
Header ReadHeader(void* block) {
  ASAN_UNPOISON_MEMORY_REGION(StartOf(block), HeaderSize);
  Header header;
  std::memcpy(&header, StartOf(block), sizeof header);
  return header;
}

void Free(void* block, std::size_t capacity) {
  ASAN_UNPOISON_MEMORY_REGION(StartOf(block), HeaderSize + capacity);
  std::free(StartOf(block));
}

// Hands the kept blocks to the heap when the thread ends; later blocks go there directly.
struct KeptRelease {
  bool Armed = false;
  ~KeptRelease() {
    threadEnding = true;
    for (Kept& k : kept) {
      if (k.Block != nullptr) Free(k.Block, k.Capacity);
      k = Kept{nullptr, 0};
    }
    keptBytes = 0;
  }
};
thread_local KeptRelease keptRelease;

}  // namespace

void* TakeWorkMemory(std::size_t bytes) noexcept {
  if (bytes == 0) bytes = 1;
  // Armed by the first take, so that the release runs at the thread's end even when the
  // thread's first block comes back only after that (a holder in static storage).
  if (!threadEnding) keptRelease.Armed = true;
  // The smallest kept block that holds the request, so that the large ones stay free for
  // the large requests of the same picture.
  Kept* best = nullptr;
  for (Kept& k : kept) {
    if (k.Block != nullptr && k.Capacity >= bytes && (best == nullptr || k.Capacity < best->Capacity)) best = &k;
  }
  if (best != nullptr) {
    void* block = best->Block;
    keptBytes -= best->Capacity;
    *best = Kept{nullptr, 0};
    ASAN_UNPOISON_MEMORY_REGION(block, bytes);
    return block;
  }
  if (bytes > SIZE_MAX - HeaderSize) return nullptr;
  void* start = std::malloc(bytes + HeaderSize);
  if (start == nullptr) return nullptr;
  const Header header{bytes, ThisThread()};
  std::memcpy(start, &header, sizeof header);
  ASAN_POISON_MEMORY_REGION(start, HeaderSize);
  return static_cast<char*>(start) + HeaderSize;
}

void GiveWorkMemory(void* block) noexcept {
  if (block == nullptr) return;
  const Header header = ReadHeader(block);
  const bool keep = !threadEnding && header.Owner == ThisThread() && header.Capacity <= KeptBlockLimit &&
                    keptBytes + header.Capacity <= KeptTotalLimit;
  if (keep) {
    for (Kept& k : kept) {
      if (k.Block == nullptr) {
        k = Kept{block, header.Capacity};
        keptBytes += header.Capacity;
        ASAN_POISON_MEMORY_REGION(StartOf(block), HeaderSize + header.Capacity);
        return;
      }
    }
  }
  Free(block, header.Capacity);
}

TKeptWorkMemory KeptWorkMemory() noexcept {
  TKeptWorkMemory held{0, keptBytes};
  for (const Kept& k : kept) held.Blocks += k.Block != nullptr ? 1 : 0;
  return held;
}

WorkBuffer TakeWorkBuffer(std::int64_t bytes, bool zeroed) noexcept {
  if (bytes < 0 || static_cast<std::uint64_t>(bytes) > SIZE_MAX) return WorkBuffer();
  WorkBuffer buffer(static_cast<std::uint8_t*>(TakeWorkMemory(static_cast<std::size_t>(bytes))));
  if (buffer && zeroed) std::memset(buffer.get(), 0, static_cast<std::size_t>(bytes));
  return buffer;
}
