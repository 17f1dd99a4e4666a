// A byte stream over one memory block: a read-only view of the caller's archive ("rb"), or an
// owned buffer for an entry's data ("wb"), fixed in size when the size is known, else growable.
#pragma once
#include <cstddef>
#include <cstdint>

struct MemoryStream {
  uint8_t* data;
  uint64_t capacity;  // 64 bits: a read-only view may span an archive beyond 4 GiB
  uint64_t length;    // bytes of valid data
  uint64_t position;
  uint32_t flags;  // MemoryStream::kReadOnly | kOwnsData | kGrowable
  uint64_t limit;  // a growable stream never grows beyond this capacity
  enum : uint32_t { kReadOnly = 1, kOwnsData = 2, kGrowable = 4 };
};

// "rb": view of data[0, size), size >= 0. "wb" with data == nullptr: an owned block that holds
// at most size bytes (0 < size < 2^31) but starts small and grows as bytes arrive, so a declared
// size costs memory only once it is really produced; 1024 growable bytes (size == 0) or -size
// growable bytes (size < 0). Null on any other mode or when memory is short.
MemoryStream* MemOpen(const void* data, int64_t size, const char* mode);
void MemClose(MemoryStream* s);
// Both return whole elements transferred; MemReadView stores a pointer instead of copying.
size_t MemRead(void* destination, size_t element_size, size_t count, MemoryStream* s);
size_t MemReadView(const uint8_t** view, size_t element_size, size_t count, MemoryStream* s);
// Writes what fits (growing a growable stream first); returns whole elements written.
size_t MemWrite(const void* source, size_t element_size, size_t count, MemoryStream* s);
// Makes room for `size` bytes at the position as MemWrite would and moves past them; the caller
// fills the returned span of *granted bytes (fewer than asked when a fixed capacity is reached).
uint8_t* MemWriteSpan(MemoryStream* s, size_t size, size_t* granted);
// origin 0 = start, 1 = current, 2 = end of data. 0 on success, -1 when the target is beyond
// the data or the origin is unknown (the position stays).
int MemSeek(MemoryStream* s, int64_t offset, int origin);
uint64_t MemTell(const MemoryStream* s);
