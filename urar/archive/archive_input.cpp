#include "urar/archive/archive_input.h"

#include <cstdint>
#include <cstdlib>

#include "urar/archive/memory_stream.h"

ArchiveInput* InputOverMemory(const void* data, uint64_t size) {
  if (size > uint64_t(INT64_MAX)) return nullptr;
  auto* in = static_cast<ArchiveInput*>(calloc(1, sizeof(ArchiveInput)));
  if (in == nullptr) return nullptr;
  static const uint8_t kNone = 0;
  in->memory = MemOpen(data ? data : &kNone, data ? int64_t(size) : 0, "rb");
  if (in->memory == nullptr) {
    free(in);
    return nullptr;
  }
  in->length = in->memory->length;
  return in;
}

ArchiveInput* InputThroughReader(int32_t (*read)(void*, uint64_t, void*, int32_t), void* context,
                                 uint64_t size) {
  auto* in = static_cast<ArchiveInput*>(calloc(1, sizeof(ArchiveInput)));
  if (in == nullptr) return nullptr;
  in->window = static_cast<uint8_t*>(malloc(kInputWindow));
  if (in->window == nullptr) {
    free(in);
    return nullptr;
  }
  in->length = size;
  in->read = read;
  in->context = context;
  return in;
}

void InputClose(ArchiveInput* in) {
  if (in == nullptr) return;
  MemClose(in->memory);
  free(in->window);
  free(in);
}

namespace {

// A block header is read on its own, not with a whole window behind it: the walk over a large
// archive's headers (a survey that extracts nothing) then reads kilobytes, not a window per
// entry. Packed data that follow get a whole window at their first read.
constexpr uint32_t kHeaderRead = 4096;

// Bytes of the window from `position` on, refilling it from there with up to `fill` bytes when it
// does not hold `position` with at least `needed` bytes after it. A refill keeps what was read
// before a read failed or fell short, so the failure shows only where the bytes it lost are
// needed.
uint32_t WindowFrom(ArchiveInput* in, uint64_t position, uint32_t needed, uint32_t fill) {
  uint64_t offset = position - in->window_start;
  if (position >= in->window_start && offset + needed <= in->window_length)
    return uint32_t(in->window_length - offset);
  uint64_t rest = in->length - position;
  uint32_t want = rest < fill ? uint32_t(rest) : fill;
  in->window_start = position;
  in->window_length = 0;
  uint32_t got = 0;
  // A reader may hand out less than asked before the end; only a count of 0 or an error ends it.
  while (got < want) {
    int32_t n = in->read(in->context, position + got, in->window + got, int32_t(want - got));
    if (n <= 0) break;
    got += uint32_t(n) < want - got ? uint32_t(n) : want - got;
  }
  in->window_length = got;
  return got;
}

}  // namespace

const uint8_t* InputAt(ArchiveInput* in, uint64_t position, uint32_t size) {
  if (position > in->length || size > in->length - position) return nullptr;
  if (in->memory != nullptr) return in->memory->data + position;
  if (size > kInputWindow) return nullptr;
  if (WindowFrom(in, position, size, size > kHeaderRead ? size : kHeaderRead) < size)
    return nullptr;
  return in->window + (position - in->window_start);
}

uint32_t InputView(ArchiveInput* in, uint64_t position, uint32_t size, const uint8_t** view) {
  if (position >= in->length) return 0;
  uint64_t rest = in->length - position;
  if (size > rest) size = uint32_t(rest);
  if (in->memory != nullptr) {
    *view = in->memory->data + position;
    return size;
  }
  uint32_t held = WindowFrom(in, position, 1, kInputWindow);
  if (held == 0) return 0;
  *view = in->window + (position - in->window_start);
  return size < held ? size : held;
}
