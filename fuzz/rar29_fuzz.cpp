// Fuzz target: RAR 2.9 streams (LZ blocks, filter definitions and the filters they run, PPMd
// blocks when the stream asks for them) through the real decoder. Input: the option bytes and
// packed stream of stream_entry.h; version 29, or 36 with option bit 4; option bit 5 runs the
// standard filter programs in the interpreter.
// Property (stream_entry.h): ends with 0, 1 (a filter cannot run), 6, 7 or 8; output within the
// declared size; 0 only with a matching CRC-32; the same bytes from a fresh handle; a solid
// continuation ends defined.
// Seeds (rar29_seeds/): corpus entries' LZ data (their first bytes when long: tables and the
// first filter definitions) and streams of tests/urar/rar29_stream_writer.h.
#include "fuzz/stream_entry.h"
#include "urar/common/extract_result.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzz_stream;
  if (size < kOptionBytes || size > (1u << 20)) return 0;
  const Options o = ParseOptions(data);
  const std::vector<uint8_t> stream(data + kOptionBytes, data + size);
  CheckStreamDecoding(
      o, o.alternate_version ? 36 : 29, stream,
      {kExtractOk, kExtractNoMemory, kExtractTruncated, kExtractOverflow, kExtractBadData});
  return 0;
}
