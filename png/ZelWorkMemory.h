// The codec's working memory: stream buffers, zlib's state, the decoder's blocks and the
// row buffers. A load or a save takes them when it starts and gives them back when it
// ends; the blocks given back stay with the thread for its next picture instead of going
// to the heap. Freed, the 128 KiB and more that one picture works in would leave the top
// of the heap, and the allocator would return it to the system, so that every picture
// paid for faulting the same pages in again: for small pictures that costs more than the
// decoding.
//
// Each thread keeps only the blocks it took itself, so no lock is taken and a block never
// passes from one thread's pictures to another's: one given back on another thread goes
// to the heap. Within a thread a block holds whatever the last picture left in it. Under
// AddressSanitizer a kept block is poisoned, and so are the bytes of a reused block past
// the request, so the sanitizer sees the path that ships as it sees fresh allocations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// bytes of uninitialised memory aligned for any type, or nullptr when none can be had.
void* TakeWorkMemory(std::size_t bytes) noexcept;
// Gives a block of TakeWorkMemory back; nullptr is ignored. Any thread may give it back.
void GiveWorkMemory(void* block) noexcept;

// What the calling thread keeps for its next picture.
struct TKeptWorkMemory {
  int Blocks;
  std::size_t Bytes;
};
TKeptWorkMemory KeptWorkMemory() noexcept;

struct WorkMemoryRelease {
  void operator()(std::uint8_t* block) const noexcept { GiveWorkMemory(block); }
};
using WorkBuffer = std::unique_ptr<std::uint8_t[], WorkMemoryRelease>;

// bytes of working memory (zeroed when asked), or an empty buffer when none can be had.
WorkBuffer TakeWorkBuffer(std::int64_t bytes, bool zeroed = false) noexcept;
