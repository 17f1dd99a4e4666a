#include "urar/archive/extract_entry.h"

#include <cstdlib>

#include "urar/common/checksum.h"
#include "urar/common/extract_result.h"
#include "urar/archive/memory_stream.h"
#include "urar/rar20/rar20_decoder.h"
#include "urar/rar29/rar29_decoder.h"

namespace {

constexpr uint8_t kMethodStored = 0x30;

void UpdateCrc32(void* context, const uint8_t* data, size_t size) {
  auto* r = static_cast<ArchiveReader*>(context);
  r->checksum = Crc32(r->checksum, data, size);
}

void CopyWithCrc32(void* context, uint8_t* destination, const uint8_t* data, size_t size) {
  auto* r = static_cast<ArchiveReader*>(context);
  r->checksum = Crc32Copy(r->checksum, destination, data, size);
}

void UpdateSum16(void* context, const uint8_t* data, size_t size) {
  auto* r = static_cast<ArchiveReader*>(context);
  r->checksum = Sum16(uint16_t(r->checksum), data, size);
}

// The RAR 2.0 window is sized by the entry's dictionary bits before any decoder runs; a solid
// entry keeps a smaller window it finds (its history lives there).
int EnsureRar20Window(ArchiveReader* r) {
  uint32_t needed = Rar20WindowSize(r->entry.flags);
  Rar20Window& w = r->window20;
  if (w.data != nullptr) {
    if (w.size >= needed) return kExtractOk;
    bool solid = r->entry.unp_ver > 15 ? r->entry.Solid() : (r->archive_flags & kArchiveSolid) != 0;
    if (solid) return kExtractOk;
    free(w.data);
    w = Rar20Window{};
  }
  w.data = static_cast<uint8_t*>(calloc(needed, 1));
  URAR_RETURN_IF(w.data == nullptr, kExtractNoMemory);
  w.size = needed;
  w.mask = needed - 1;
  return kExtractOk;
}

// Stored entries: exactly the packed bytes are written, whatever the declared size says. Pieces
// of up to 64 KiB go straight through the writer (a gigabyte in 16,384 calls instead of half a
// million), each checked and handed on while it is still in cache.
int CopyStored(ArchiveReader* r) {
  constexpr uint32_t kPiece = 64 * 1024;
  while (r->packed.left > 0) {
    const uint8_t* view = nullptr;
    int32_t got = StreamReadView(&r->packed, &view, kPiece);
    URAR_RETURN_IF(got <= 0, kExtractTruncated);
    if (int error = WriterPut(&r->writer, view, uint32_t(got))) return error;
  }
  // Running out exactly at the end of an entry that continues in another volume is a failure too.
  const uint8_t* view = nullptr;
  URAR_RETURN_IF(r->packed.continues && StreamReadView(&r->packed, &view, 1) < 0,
                 kExtractTruncated);
  return kExtractOk;
}

}  // namespace

uint32_t Rar20WindowSize(uint16_t entry_flags) {
  uint32_t d = (entry_flags & kEntryDictionaryBits) >> kEntryDictionaryShift;
  if (d == 0 || d == 7) return 1024u * 1024u;
  return (64u * 1024u) << d;
}

namespace {

// One extraction into either an output stream or a sink.
int Extract(ArchiveReader* r, MemoryStream* output, int32_t (*sink)(void*, const void*, int32_t),
            void* sink_context) {
  const EntryHeader& e = r->entry;
#ifndef NDEBUG
  UrarClearFailSite();
#endif
  r->packed.input = r->input;
  r->packed.position = r->block_position + r->block_header_size;
  r->packed.left = e.PackedSize();
  r->packed.continues = e.ContinuesInNextVolume();
  r->checksum = 0;
  bool old_format = r->kind == ArchiveKind::kOld;
  if (old_format)
    WriterAttach(&r->writer, output, UpdateSum16, nullptr, r);
  else
    WriterAttach(&r->writer, output, UpdateCrc32, CopyWithCrc32, r);
  if (sink != nullptr) WriterSetSink(&r->writer, sink, sink_context, e.DeclaredSize());

  URAR_RETURN_IF(EnsureRar20Window(r) != kExtractOk, kExtractNoMemory);
  URAR_RETURN_IF(e.flags & kEntryEncrypted, kExtractEncrypted);

  int result;
  if (e.method == kMethodStored) {
    result = CopyStored(r);
  } else if (e.unp_ver >= 29) {
    result = Rar29Decode(r, e.Solid());
  } else if (e.unp_ver >= 16) {
    result = Rar20Decode(r, e.Solid());
  } else {
    result = kExtractUnsupported;
  }

  int flushed = WriterFlush(&r->writer);
  if (result == kExtractOk) result = flushed;
  r->writer.callback = nullptr;
  r->writer.copy_callback = nullptr;
  if (result != kExtractOk) return result;
  uint32_t expected = old_format ? (e.file_crc & 0xFFFF) : e.file_crc;
  URAR_RETURN_IF(r->checksum != expected, kExtractBadData);
  // Data that match their checksum but fall short of the declared size are still not the entry
  // (a stored entry copies its packed bytes, whatever the header claims).
  // A sink has no size limit, so all 64 bits of the declared size are owed.
  if (sink != nullptr)
    URAR_RETURN_IF(r->writer.total < e.DeclaredSize(), kExtractTruncated);
  else
    URAR_RETURN_IF(e.high_unp_size == 0 && output->length < e.unp_size, kExtractTruncated);
  return kExtractOk;
}

}  // namespace

int ExtractEntry(ArchiveReader* r, MemoryStream* output) {
  return Extract(r, output, nullptr, nullptr);
}

int ExtractEntryTo(ArchiveReader* r, int32_t (*sink)(void*, const void*, int32_t),
                   void* sink_context) {
  return Extract(r, nullptr, sink, sink_context);
}
