#include "urar/archive/memory_stream.h"

#include <cstdlib>
#include <cstring>

#include "urar/common/huge_pages.h"

MemoryStream* MemOpen(const void* data, int64_t size, const char* mode) {
  if (mode == nullptr) return nullptr;
  auto* s = static_cast<MemoryStream*>(calloc(1, sizeof(MemoryStream)));
  if (s == nullptr) return nullptr;
  if (mode[0] == 'r' && size >= 0 && uint64_t(size) <= SIZE_MAX) {
    s->data = static_cast<uint8_t*>(const_cast<void*>(data));
    s->capacity = s->length = static_cast<uint64_t>(size);
    s->flags = MemoryStream::kReadOnly;
    return s;
  }
  if (mode[0] == 'w' && data == nullptr && size <= INT32_MAX && size >= INT32_MIN) {
    // A known size is a ceiling, not an allocation: the header stating it may lie. Entries up to
    // kFirstCapacity get their whole block at once and never reallocate.
    constexpr uint32_t kFirstCapacity = 4u << 20;
    uint32_t capacity = size > 0
                            ? (uint32_t(size) < kFirstCapacity ? uint32_t(size) : kFirstCapacity)
                        : size == 0 ? 1024u
                                    : uint32_t(-size);
    s->data = static_cast<uint8_t*>(malloc(capacity));
    if (s->data != nullptr) {
      s->capacity = capacity;
      s->limit = size > 0 ? uint32_t(size) : UINT32_MAX;
      s->flags = MemoryStream::kOwnsData | MemoryStream::kGrowable;
      return s;
    }
  }
  free(s);
  return nullptr;
}

void MemClose(MemoryStream* s) {
  if (s == nullptr) return;
  if (s->flags & MemoryStream::kOwnsData) free(s->data);
  free(s);
}

static size_t Available(const MemoryStream* s, size_t element_size, size_t count) {
  if (element_size == 0) return 0;
  uint64_t left = s->position < s->length ? s->length - s->position : 0;
  if (left > SIZE_MAX) left = SIZE_MAX;
  size_t wanted = count <= left / element_size ? count * element_size : size_t(left);
  return wanted - wanted % element_size;
}

size_t MemRead(void* destination, size_t element_size, size_t count, MemoryStream* s) {
  size_t n = Available(s, element_size, count);
  if (n != 0) memcpy(destination, s->data + s->position, n);
  s->position += n;
  return element_size ? n / element_size : 0;
}

size_t MemReadView(const uint8_t** view, size_t element_size, size_t count, MemoryStream* s) {
  size_t n = Available(s, element_size, count);
  *view = s->data + s->position;
  s->position += n;
  return element_size ? n / element_size : 0;
}

uint8_t* MemWriteSpan(MemoryStream* s, size_t size, size_t* granted) {
  *granted = 0;
  if (s->flags & MemoryStream::kReadOnly) return nullptr;
  uint64_t end = s->position + size;
  if (end > s->capacity && (s->flags & MemoryStream::kGrowable) && s->capacity < s->limit) {
    uint64_t capacity = uint64_t{s->capacity} * 2;
    if (capacity < end) capacity = end;
    if (capacity > s->limit) capacity = s->limit;
    if (void* grown = realloc(s->data, size_t(capacity))) {
      s->data = static_cast<uint8_t*>(grown);
      s->capacity = capacity;
      if (capacity >= kHugePageWorthy) AdviseHugePages(s->data, size_t(capacity));
    }
  }
  uint64_t room = s->position < s->capacity ? s->capacity - s->position : 0;
  *granted = size_t(size < room ? size : room);
  uint8_t* span = s->data + s->position;
  s->position += *granted;
  if (s->position > s->length) s->length = s->position;
  return span;
}

size_t MemWrite(const void* source, size_t element_size, size_t count, MemoryStream* s) {
  if ((s->flags & MemoryStream::kReadOnly) || element_size == 0) return 0;
  if (count > SIZE_MAX / element_size) return 0;
  size_t granted = 0;
  uint8_t* span = MemWriteSpan(s, element_size * count, &granted);
  if (granted != 0) memcpy(span, source, granted);
  return granted / element_size;
}

int MemSeek(MemoryStream* s, int64_t offset, int origin) {
  int64_t base;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = s->position; break;
    case 2: base = s->length; break;
    default: return -1;
  }
  int64_t target = base + offset;
  if (target < 0 || uint64_t(target) > s->length) return -1;
  s->position = uint64_t(target);
  return 0;
}

uint64_t MemTell(const MemoryStream* s) { return s->position; }
