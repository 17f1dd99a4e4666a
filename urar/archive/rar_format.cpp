// The RAR reader behind the ArchiveFormat table.
#include <cstdlib>
#include <cstring>

#include "urar/archive/archive_format.h"
#include "urar/archive/archive_walk.h"
#include "urar/archive/extract_entry.h"
#include "urar/rar20/rar20_decoder.h"
#include "urar/rar29/rar29_decoder.h"
#include "urar/urar.h"

namespace {

ArchiveReader* Reader(void* context) { return static_cast<ArchiveReader*>(context); }

int OpenRar(void* context, ArchiveInput* input) {
  ArchiveReader* r = Reader(context);
  memset(r, 0, sizeof *r);
  r->input = input;
  r->writer.buffer = static_cast<uint8_t*>(malloc(kStreamWriterBuffer));
  r->rar20 = Rar20Create();
  if (r->writer.buffer == nullptr || r->rar20 == nullptr) {
    free(r->writer.buffer);
    Rar20Destroy(r->rar20);
    memset(r, 0, sizeof *r);
    return 1;
  }
  return 0;
}

void CloseRar(void* context) {
  ArchiveReader* r = Reader(context);
  free(r->writer.buffer);
  free(r->window20.data);
  Rar20Destroy(r->rar20);
  Rar29Destroy(r->rar29);
  memset(r, 0, sizeof *r);
}

int FirstRar(void* context) { return WalkFirstEntry(Reader(context)); }
int NextRar(void* context) { return WalkNextEntry(Reader(context)); }

int32_t EndReasonRar(int walk_end) {
  switch (walk_end) {
    case kWalkCleanEnd: return URAR_END_CLEAN;
    case kWalkNoMarker:
    case kWalkNoMainHeader: return URAR_END_NOT_ARCHIVE;
    case kWalkEncryptedHeaders: return URAR_END_ENCRYPTED;
    case kWalkVolumeBoundary:
    case kWalkContinuedEntry: return URAR_END_VOLUME;
    default: return URAR_END_CUT;
  }
}
int32_t SizeRar(void* context) { return WalkEntrySize(Reader(context)); }
const char* NameRar(void* context) { return Reader(context)->name; }
uint32_t NameLengthRar(void* context) { return Reader(context)->name_length; }
int ExtractRar(void* context, MemoryStream* output) {
  return ExtractEntry(Reader(context), output);
}
uint64_t Size64Rar(void* context) { return Reader(context)->entry.DeclaredSize(); }
int ExtractToRar(void* context, int32_t (*sink)(void*, const void*, int32_t), void* sink_context) {
  return ExtractEntryTo(Reader(context), sink, sink_context);
}

}  // namespace

const ArchiveFormat kRarFormat = {
    sizeof(ArchiveReader),
    OpenRar,
    CloseRar,
    FirstRar,
    NextRar,
    EndReasonRar,
    SizeRar,
    NameRar,
    NameLengthRar,
    ExtractRar,
    Size64Rar,
    ExtractToRar,
};
