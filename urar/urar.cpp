// The six exports: handle lifetime, the advance-and-extract step and the buffer copies, driving
// the archive reader only through the ArchiveFormat table.
#include "urar/urar.h"

#include <cstdlib>
#include <cstring>

#include "urar/archive/archive_format.h"
#include "urar/archive/archive_input.h"
#include "urar/archive/memory_stream.h"

struct URARHandle {
  void* reader;
  ArchiveInput* input;
  MemoryStream* output;
  uint32_t size_limit;
  int32_t first_call;
  int32_t end_status;
  int32_t last_error;
};

namespace {
const ArchiveFormat& Format() { return kRarFormat; }

// A handle over `input` (closed here when no handle can be made), or null.
URARHandle* Open(uint32_t size_limit, ArchiveInput* input) {
  const ArchiveFormat& f = Format();
  auto* h = input ? static_cast<URARHandle*>(calloc(1, sizeof(URARHandle))) : nullptr;
  if (h != nullptr) h->reader = calloc(1, f.context_size);
  if (h == nullptr || h->reader == nullptr || f.OpenArchive(h->reader, input) != 0) {
    InputClose(input);
    if (h != nullptr) free(h->reader);
    free(h);
    return nullptr;
  }
  h->input = input;
  h->size_limit = size_limit;
  h->first_call = 1;
  return h;
}

// Drops the last entry's data and moves to the next entry; false once the walk has ended.
bool Advance(URARHandle* h) {
  const ArchiveFormat& f = Format();
  if (h->output) {
    MemClose(h->output);
    h->output = nullptr;
  }
  if (h->end_status != 0) return false;
  int status = h->first_call ? f.FirstEntry(h->reader) : f.NextEntry(h->reader);
  h->first_call = 0;
  h->end_status = status;
  if (status != 0) {
    h->last_error = f.EndReason(status);
    return false;
  }
  return true;
}

}  // namespace

extern "C" {

URAR_API URARHandle* URARInitialize(uint32_t size_limit, const void* data, int32_t size) {
  return size < 0 ? nullptr : URARInitialize64(size_limit, data, uint64_t(size));
}

URAR_API URARHandle* URARInitialize64(uint32_t size_limit, const void* data, uint64_t size) {
  if (size > uint64_t(INT64_MAX)) return nullptr;
  return Open(size_limit, InputOverMemory(data, size));
}

URAR_API URARHandle* URARInitializeReader(uint32_t size_limit, URARReadCallback read, void* context,
                                          uint64_t size) {
  if (read == nullptr || size > uint64_t(INT64_MAX)) return nullptr;
  return Open(size_limit, InputThroughReader(read, context, size));
}

URAR_API int32_t URARFinalize(URARHandle* h) {
  const ArchiveFormat& f = Format();
  MemClose(h->output);
  if (f.CloseArchive) f.CloseArchive(h->reader);
  InputClose(h->input);
  free(h->reader);
  free(h);
  return 0;
}

URAR_API int32_t URARDoAction(URARHandle* h) {
  const ArchiveFormat& f = Format();
  if (!Advance(h)) return URAR_END;
  int32_t n = f.EntrySize(h->reader);
  if (h->size_limit != 0 && uint32_t(n) > h->size_limit) return URAR_TOO_LARGE;
  h->output = MemOpen(nullptr, n, "wb");
  if (h->output == nullptr) return URAR_NO_MEMORY;
  h->last_error = f.ExtractEntry(h->reader, h->output);
  return h->last_error != 0 ? URAR_FAILED : URAR_OK;
}

URAR_API int32_t URARGetSizeBuffer(URARHandle* h, int32_t kind, int32_t* result) {
  const ArchiveFormat& f = Format();
  if (kind == URAR_BUFFER_NAME) {
    *result = int32_t(f.EntryNameLength(h->reader) + 1);
    return 0;
  }
  if (kind == URAR_BUFFER_DATA) {
    *result = h->first_call ? 0 : f.EntrySize(h->reader);
    return 0;
  }
  return URAR_BAD_KIND;
}

URAR_API int32_t URARGetBuffer(URARHandle* h, int32_t kind, void* destination, int32_t capacity) {
  const ArchiveFormat& f = Format();
  if (destination == nullptr || capacity < 0) return URAR_BAD_ARGUMENT;
  if (kind == URAR_BUFFER_DATA) {
    int32_t n = h->first_call ? 0 : f.EntrySize(h->reader);
    if (n < 0 || n > capacity) return URAR_TOO_LARGE;
    // No data buffer exists before the first advance or after a result 3, 8 or 9.
    if (h->output == nullptr) return URAR_FAILED;
    MemSeek(h->output, 0, 0);
    const uint8_t* view = nullptr;
    if (MemReadView(&view, 1, size_t(n), h->output) < size_t(n)) return URAR_FAILED;
    if (n > 0) memcpy(destination, view, size_t(n));
    return 0;
  }
  if (kind == URAR_BUFFER_NAME) {
    // With no room even for the terminating zero there is nothing sound to copy.
    if (capacity == 0) return URAR_BAD_ARGUMENT;
    const char* name = f.EntryName(h->reader);
    size_t length = strlen(name);
    size_t n = length < size_t(capacity) - 1 ? length : size_t(capacity) - 1;
    memcpy(destination, name, n);
    static_cast<char*>(destination)[n] = '\0';
    return 0;
  }
  return URAR_BAD_KIND;
}

URAR_API int32_t URARGetLastError(URARHandle* h) { return h->last_error; }

URAR_API int32_t URARDoActionStream(URARHandle* h, URARWriteCallback write, void* context) {
  if (write == nullptr) return URAR_BAD_ARGUMENT;
  if (!Advance(h)) return URAR_END;
  h->last_error = Format().ExtractEntryTo(h->reader, write, context);
  return h->last_error != 0 ? URAR_FAILED : URAR_OK;
}

URAR_API int32_t URARGetEntrySize64(URARHandle* h, uint64_t* result) {
  *result = h->first_call ? 0 : Format().EntrySize64(h->reader);
  return 0;
}

}  // extern "C"
