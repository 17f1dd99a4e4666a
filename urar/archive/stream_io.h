// The two ends every decoder works between: the packed-data reader over the archive and the
// output writer into the entry's data stream.
#pragma once
#include <cstddef>
#include <cstdint>

struct ArchiveInput;
struct MemoryStream;

// Unbuffered reader of the current entry's packed data.
struct StreamReader {
  ArchiveInput* input;
  uint64_t position;  // absolute offset of the next packed byte in the archive
  uint64_t left;      // packed bytes left for this entry (all 64 bits of its packed size)
  bool continues;     // the entry continues in the next volume: running out is a failure
};

// Reads up to n bytes (never more than are left). Returns the count, which is short only where
// the archive ends (or cannot be read), or -1 when the data run out of an entry that continues in
// the next volume.
int32_t StreamRead(StreamReader* r, uint8_t* destination, uint32_t n);
// Without copying: *view points at up to n bytes inside the archive's memory or the input's
// window, valid until the next read. The count may be short at the window's end too; 0 only
// where the archive ends (or cannot be read).
int32_t StreamReadView(StreamReader* r, const uint8_t** view, uint32_t n);

// Buffered writer into the entry's output stream. `callback` sees every byte once, in order,
// before it is written (ExtractEntry hangs the checksum on it). Pieces too large for the buffer
// go straight to the output; with a `copy_callback` they are checked and copied in one pass.
struct StreamWriter {
  MemoryStream* output;
  uint8_t* buffer;  // kStreamWriterBuffer bytes, allocated by OpenArchive
  uint32_t used;
  int error;  // sticky: once a write fell short every later call fails with it
  void (*callback)(void* context, const uint8_t* data, size_t size);
  void (*copy_callback)(void* context, uint8_t* destination, const uint8_t* data, size_t size);
  void* context;
  // With a sink the bytes go to it instead of `output`; a non-zero answer stops the entry
  // (kExtractStopped). The sink sees pieces of any size, in order, each exactly once, and no more
  // than `sink_limit` bytes in all (beyond it: kExtractOverflow).
  int32_t (*sink)(void* context, const void* data, int32_t size);
  void* sink_context;
  uint64_t sink_limit;
  uint64_t total;  // bytes handed on to the output or the sink since WriterAttach
};
constexpr uint32_t kStreamWriterBuffer = 2048;

// Hands `size` bytes to the writer. 0, or kExtractOverflow (7) once the output stream or the
// sink's limit has refused part of a write, or kExtractStopped once the sink asked to stop; the
// failure is sticky for the entry.
int WriterPut(StreamWriter* w, const uint8_t* data, size_t size);
// Writes what is buffered. 0 or the sticky error.
int WriterFlush(StreamWriter* w);
// Attaches the writer to a new output stream (at its start) with a fresh error state; no sink.
void WriterAttach(StreamWriter* w, MemoryStream* output,
                  void (*callback)(void*, const uint8_t*, size_t),
                  void (*copy_callback)(void*, uint8_t*, const uint8_t*, size_t), void* context);
// Sends the attached writer's bytes to `sink` instead of an output stream, `limit` bytes at most.
void WriterSetSink(StreamWriter* w, int32_t (*sink)(void*, const void*, int32_t), void* context,
                   uint64_t limit);
