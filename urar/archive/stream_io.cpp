#include "urar/archive/stream_io.h"

#include <cstring>

#include "urar/archive/archive_input.h"
#include "urar/common/extract_result.h"
#include "urar/archive/memory_stream.h"

int32_t StreamReadView(StreamReader* r, const uint8_t** view, uint32_t n) {
  if (r->left == 0 && r->continues) return -1;
  if (n > r->left) n = uint32_t(r->left);
  if (n == 0) return 0;
  uint32_t got = InputView(r->input, r->position, n, view);
  r->position += got;
  r->left -= got;
  return int32_t(got);
}

int32_t StreamRead(StreamReader* r, uint8_t* destination, uint32_t n) {
  uint32_t done = 0;
  while (done < n) {
    const uint8_t* view = nullptr;
    int32_t got = StreamReadView(r, &view, n - done);
    if (got < 0) return done ? int32_t(done) : -1;
    if (got == 0) break;
    memcpy(destination + done, view, size_t(got));
    done += uint32_t(got);
  }
  return int32_t(done);
}

void WriterAttach(StreamWriter* w, MemoryStream* output,
                  void (*callback)(void*, const uint8_t*, size_t),
                  void (*copy_callback)(void*, uint8_t*, const uint8_t*, size_t), void* context) {
  w->output = output;
  w->used = 0;
  w->error = 0;
  w->callback = callback;
  w->copy_callback = copy_callback;
  w->context = context;
  w->sink = nullptr;
  w->sink_context = nullptr;
  w->total = 0;
}

void WriterSetSink(StreamWriter* w, int32_t (*sink)(void*, const void*, int32_t), void* context,
                   uint64_t limit) {
  w->output = nullptr;
  w->copy_callback = nullptr;  // nothing to copy into: the sink gets the bytes where they lie
  w->sink = sink;
  w->sink_context = context;
  w->sink_limit = limit;
}

static int WriteOut(StreamWriter* w, const uint8_t* data, size_t size) {
  if (w->sink == nullptr) {
    if (MemWrite(data, 1, size, w->output) != size) w->error = kExtractOverflow;
    w->total += size;
    return w->error;
  }
  // As an output stream holds no more than the declared size, the sink gets no more either: a
  // stored entry copies its packed bytes whatever its header declares, and the free space was
  // weighed against the declared sizes.
  if (size > w->sink_limit - w->total) {
    size = size_t(w->sink_limit - w->total);
    w->error = kExtractOverflow;
  }
  const int overflow = w->error;
  w->error = 0;
  // The sink counts in 32 bits: a window-sized piece never comes near, but split to be sure.
  constexpr size_t kMaxPiece = size_t{1} << 30;
  for (size_t done = 0; done < size && w->error == 0;) {
    size_t piece = size - done < kMaxPiece ? size - done : kMaxPiece;
    if (w->sink(w->sink_context, data + done, int32_t(piece)) != 0) w->error = kExtractStopped;
    done += piece;
    w->total += piece;
  }
  if (w->error == 0) w->error = overflow;
  return w->error;
}

int WriterFlush(StreamWriter* w) {
  if (w->error) return w->error;
  uint32_t used = w->used;
  w->used = 0;
  return used ? WriteOut(w, w->buffer, used) : 0;
}

// A piece written straight to the output, checked on the way.
static int WriteThrough(StreamWriter* w, const uint8_t* data, size_t size) {
  if (w->copy_callback == nullptr) {
    if (w->callback) w->callback(w->context, data, size);
    return WriteOut(w, data, size);
  }
  size_t granted = 0;
  uint8_t* span = MemWriteSpan(w->output, size, &granted);
  if (granted != 0) w->copy_callback(w->context, span, data, granted);
  w->total += granted;
  if (granted != size) w->error = kExtractOverflow;
  return w->error;
}

int WriterPut(StreamWriter* w, const uint8_t* data, size_t size) {
  if (w->error) return w->error;
  if (size == 0) return 0;
  // Large pieces bypass the buffer: the bytes reach the output in the same order, and a
  // window area is copied once instead of twice.
  if (size >= kStreamWriterBuffer || w->used + size > kStreamWriterBuffer) {
    if (WriterFlush(w)) return w->error;
    if (size >= kStreamWriterBuffer) return WriteThrough(w, data, size);
  }
  if (w->callback) w->callback(w->context, data, size);
  memcpy(w->buffer + w->used, data, size);
  w->used += uint32_t(size);
  return 0;
}
