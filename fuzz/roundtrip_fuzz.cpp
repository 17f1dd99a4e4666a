// Fuzz target: compress, then decode. The input chooses content and a block plan; the stand-ins'
// RAR 2.9 compressor packs the content in those blocks (LZ, LZ over the E8 filter, PPMd with its
// order, memory, model continuation and escape character), and the real reader decodes the entry,
// with the standard filter run natively or interpreted.
// Input layout:
//   byte 0        bits 0-2: blocks - 1, bit 3: expand the content, bit 4: interpret filters
//   4 per block   kind (% 3: LZ, LZ+E8, PPMd) and flags (0x10 continue the model, 0x20 new
//                 escape character), weight of its share of the content, PPMd order, escape
//   then          the content: as it is, or, expanded, runs of literals and copies of what came
//                 before (long ones, and as far back as the content goes), so the matcher has
//                 work to do
// Property: the entry decodes with result 0 to exactly the content.
// Seeds (roundtrip_seeds/): text, x86 code and mixed plans.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/stream_entry.h"
#include "standins/rar29_encoder/rar29_encoder.h"

namespace {

constexpr size_t kBlockBytes = 4;
constexpr size_t kMaxContent = 1u << 18;  // a run stays short, under the sanitizers too

// Literal runs and back-references read from `in`: a byte below 0x80 takes that many + 1 literal
// bytes; another copies (its low 7 bits, then a byte) + 3 bytes from (two bytes) * 64 + 1 back,
// so copies reach far back and overlap themselves.
std::vector<uint8_t> Expand(const uint8_t* in, size_t size) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < size && out.size() < kMaxContent) {
    const uint8_t op = in[i++];
    if (op < 0x80) {
      for (size_t n = size_t{op} + 1; n > 0 && i < size; n--) out.push_back(in[i++]);
      continue;
    }
    if (i + 3 > size || out.empty()) break;
    size_t length = (size_t{op} & 0x7F) << 8 | in[i];
    length = length % 4096 + 3;
    const size_t distance =
        std::min(out.size(), (size_t{in[i + 1]} | size_t{in[i + 2]} << 8) * 64 + 1);
    i += 3;
    for (size_t n = 0; n < length && out.size() < kMaxContent; n++)
      out.push_back(out[out.size() - distance]);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t blocks = (data[0] & 7) + 1;
  const bool expand = (data[0] & 0x08) != 0;
  const bool interpret = (data[0] & 0x10) != 0;
  const size_t header = 1 + blocks * kBlockBytes;
  if (size < header || size - header > kMaxContent) return 0;
  const std::vector<uint8_t> content = expand ? Expand(data + header, size - header)
                                              : std::vector<uint8_t>(data + header, data + size);

  std::vector<rar29enc::Block> plan(blocks);
  size_t weights = 0;
  for (size_t b = 0; b < blocks; b++) weights += data[1 + b * kBlockBytes + 1];
  size_t left = content.size();
  for (size_t b = 0; b < blocks; b++) {
    const uint8_t* p = data + 1 + b * kBlockBytes;
    rar29enc::Block& block = plan[b];
    block.kind = rar29enc::BlockKind(p[0] % 3);
    block.size = b + 1 == blocks ? left : weights ? content.size() * p[1] / weights : 0;
    left -= block.size;
    block.ppmd.new_model = (p[0] & 0x10) == 0;
    // Orders 2-16, and above 16 in the header's steps of 3 up to 64.
    block.ppmd.order = p[2] & 0x80 ? 16 + 3 * (1 + p[2] % 16) : 2 + p[2] % 15;
    block.ppmd.megabytes = 1 + (p[2] >> 4 & 3);  // small models restart within short inputs
    block.ppmd.escape = p[0] & 0x20 ? p[3] : -1;
  }

  const std::vector<uint8_t> packed = rar29enc::Compress(content.data(), content.size(), plan);
  fuzz_stream::Options options;
  options.declared_size = uint32_t(content.size());
  options.file_crc = rarblocks::Crc32(content);
  const auto decoded =
      fuzz_stream::DecodeEntries(fuzz_stream::StreamArchive(options, 29, packed, false), interpret);
  Check(decoded.size() == 1);
  Check(decoded[0].result == 0);
  Check(decoded[0].output == std::string(content.begin(), content.end()));
  return 0;
}
