// Fuzz target: PPMd blocks of RAR 2.9 streams through the real decoder. Input: the option bytes
// of stream_entry.h, then a PPMd block header and its range-coded data. The target sets the
// header's PPMd and new-model bits, so every input reaches the model, and takes the memory-size
// byte modulo 8 (1 to 8 MB): small models run out of memory, and restart, within short inputs,
// and a run stays fast (the large requests are the unit tests' part).
// Property (stream_entry.h): ends with 0, 1, 6, 7 or 8; output within the declared size; 0 only
// with a matching CRC-32; the same bytes from a fresh handle; a solid continuation, which goes
// on with the model, ends defined.
// Seeds (ppmd_seeds/): the first bytes of the corpus's PPMd entries, hostile ones included.
#include "fuzz/stream_entry.h"
#include "urar/common/extract_result.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzz_stream;
  if (size < kOptionBytes + 2 || size > (1u << 20)) return 0;
  const Options o = ParseOptions(data);
  std::vector<uint8_t> stream(data + kOptionBytes, data + size);
  stream[0] |= 0xA0;
  stream[1] &= 7;
  CheckStreamDecoding(
      o, 29, stream,
      {kExtractOk, kExtractNoMemory, kExtractTruncated, kExtractOverflow, kExtractBadData});
  return 0;
}
