// The archive the walk and the decoders read: either a view of memory the caller holds, or an
// archive the caller reads for the library through a callback, which the library takes in
// through a window of its own (so a file of any size costs the window, not its size).
#pragma once
#include <cstddef>
#include <cstdint>

struct MemoryStream;

struct ArchiveInput {
  MemoryStream* memory;  // a read-only view of the archive when the caller holds it, else null
  uint64_t length;
  // Reads up to `size` bytes at `offset`; the count, short only at the archive's end, or
  // negative when the archive cannot be read.
  int32_t (*read)(void* context, uint64_t offset, void* destination, int32_t size);
  void* context;
  uint8_t* window;  // kInputWindow bytes, for a read archive
  uint64_t window_start;
  uint32_t window_length;
};
// Large enough for any block header (16-bit sizes) in one piece, small enough to stay in cache
// between its read and the checksum and copy that follow.
constexpr uint32_t kInputWindow = 256 * 1024;

// An input over data[0, size) (no bytes when data is null), or null when memory is short or the
// size cannot be in memory.
ArchiveInput* InputOverMemory(const void* data, uint64_t size);
// An input that reads `size` bytes through `read`, or null when memory is short.
ArchiveInput* InputThroughReader(int32_t (*read)(void*, uint64_t, void*, int32_t), void* context,
                                 uint64_t size);
void InputClose(ArchiveInput* in);

// The bytes at [position, position + size) in one piece, valid until the next call on `in`; null
// when they are not all in the archive or cannot be read. `size` is at most kInputWindow.
const uint8_t* InputAt(ArchiveInput* in, uint64_t position, uint32_t size);
// Points *view at up to `size` bytes at `position` (fewer at the window's or the archive's end),
// valid until the next call on `in`. The count; 0 at the archive's end or when the bytes cannot
// be read (a read archive then looks cut short there: its reader knows why).
uint32_t InputView(ArchiveInput* in, uint64_t position, uint32_t size, const uint8_t** view);
