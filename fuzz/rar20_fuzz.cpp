// Fuzz target: RAR 2.0 streams (LZ and audio blocks) through the real decoder. Input: the option
// bytes and packed stream of stream_entry.h; version 20, or 26 with option bit 4.
// Property (stream_entry.h): ends with 0, 6, 7 or 8; output within the declared size; 0 only
// with a matching CRC-32; the same bytes from a fresh handle; a solid continuation ends defined.
// Seeds (rar20_seeds/): corpus entries' packed data and streams of tests/urar/rar20_writer.h.
#include "fuzz/stream_entry.h"
#include "urar/common/extract_result.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzz_stream;
  if (size < kOptionBytes || size > (1u << 20)) return 0;
  const Options o = ParseOptions(data);
  const std::vector<uint8_t> stream(data + kOptionBytes, data + size);
  CheckStreamDecoding(o, o.alternate_version ? 26 : 20, stream,
                      {kExtractOk, kExtractTruncated, kExtractOverflow, kExtractBadData});
  return 0;
}
