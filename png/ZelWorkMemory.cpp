#include "png/ZelWorkMemory.h"

#include <cstdlib>
#include <cstring>

namespace {

// A block's capacity lies in front of it, in a header that keeps the block aligned.
constexpr std::size_t HeaderSize = alignof(std::max_align_t) > 16 ? alignof(std::max_align_t) : 16;

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

std::size_t& CapacityOf(void* block) { return *reinterpret_cast<std::size_t*>(static_cast<char*>(block) - HeaderSize); }
void* StartOf(void* block) { return static_cast<char*>(block) - HeaderSize; }

// Hands the kept blocks to the heap when the thread ends; later blocks go there directly.
struct KeptRelease {
  bool Armed = false;
  ~KeptRelease() {
    threadEnding = true;
    for (Kept& k : kept) {
      if (k.Block != nullptr) std::free(StartOf(k.Block));
      k = Kept{nullptr, 0};
    }
    keptBytes = 0;
  }
};
thread_local KeptRelease keptRelease;

}  // namespace

void* TakeWorkMemory(std::size_t bytes) noexcept {
  if (bytes == 0) bytes = 1;
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
    return block;
  }
  if (bytes > SIZE_MAX - HeaderSize) return nullptr;
  void* start = std::malloc(bytes + HeaderSize);
  if (start == nullptr) return nullptr;
  void* block = static_cast<char*>(start) + HeaderSize;
  CapacityOf(block) = bytes;
  return block;
}

void GiveWorkMemory(void* block) noexcept {
  if (block == nullptr) return;
  const std::size_t capacity = CapacityOf(block);
  if (!threadEnding && capacity <= KeptBlockLimit && keptBytes + capacity <= KeptTotalLimit) {
    // Touching the release object makes the thread hand the blocks back when it ends.
    keptRelease.Armed = true;
    for (Kept& k : kept) {
      if (k.Block == nullptr) {
        k = Kept{block, capacity};
        keptBytes += capacity;
        return;
      }
    }
  }
  std::free(StartOf(block));
}

WorkBuffer TakeWorkBuffer(std::int64_t bytes, bool zeroed) noexcept {
  if (bytes < 0 || static_cast<std::uint64_t>(bytes) > SIZE_MAX) return WorkBuffer();
  WorkBuffer buffer(static_cast<std::uint8_t*>(TakeWorkMemory(static_cast<std::size_t>(bytes))));
  if (buffer && zeroed) std::memset(buffer.get(), 0, static_cast<std::size_t>(bytes));
  return buffer;
}
