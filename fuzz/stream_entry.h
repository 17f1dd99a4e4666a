// The decoder targets' common part: a few option bytes and a packed stream become a one-entry
// archive (plus, when asked, a solid continuation of the same stream), which the real reader
// decodes twice, in two handles. Input layout:
//   byte 0     bits 0-2: dictionary bits (the RAR 2.0 window; 7, which would mark a directory,
//              is taken as 0: the same 1 MB window), bit 3: add a solid continuation,
//              bit 4: the alternate version (RAR 2.0: 26 instead of 20), bit 5: interpret the
//              standard filter programs instead of running them natively
//   bytes 1-3  declared size, little endian, 20 bits used (1 MB at most keeps a run short)
//   bytes 4-7  FILE_CRC, little endian
//   then       the packed stream
// Properties: every decode ends with one of the target's result codes; no output exceeds the
// declared size; a result of 0 means the output's CRC-32 is FILE_CRC; a second, fresh handle
// decodes the first entry to the same result and bytes (a read of window or model memory that
// was never written would differ between the two).
#pragma once
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "standins/rar_block_writer.h"
#include "tests/urar/test_archives.h"
#include "urar/ppmd/ppmd_memory.h"

namespace fuzz_stream {

constexpr size_t kOptionBytes = 8;
constexpr uint32_t kMaxDeclaredSize = (1u << 20) - 1;

// PPMd models of more than 16 MB are refused, as when memory is short (the entry fails with 8).
// Under ASan every allocation and free of a block fills shadow memory an eighth of its size: with
// the 256 MB a stream may ask for, those fills took 80% of the RAR 2.9 target's time. How the
// library treats the large sizes is the unit tests' part.
constexpr size_t kMaxModelBlock = ((16u << 20) / 12 + 2) * 12;
inline void* SmallModelsOnly(size_t size) {
  return size <= kMaxModelBlock ? malloc(size) : nullptr;
}

struct Options {
  uint8_t dictionary_bits = 0;
  bool solid_continuation = false;
  bool alternate_version = false;
  bool interpret_filters = false;
  uint32_t declared_size = 0;
  uint32_t file_crc = 0;
};

inline Options ParseOptions(const uint8_t* p) {
  Options o;
  o.dictionary_bits = (p[0] & 7) == 7 ? 0 : p[0] & 7;
  o.solid_continuation = (p[0] & 0x08) != 0;
  o.alternate_version = (p[0] & 0x10) != 0;
  o.interpret_filters = (p[0] & 0x20) != 0;
  o.declared_size = (p[1] | p[2] << 8 | uint32_t(p[3]) << 16) & kMaxDeclaredSize;
  o.file_crc = p[4] | p[5] << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
  return o;
}

// The option bytes ParseOptions reads back as `o` (the seed maker writes them).
inline std::vector<uint8_t> EncodeOptions(const Options& o) {
  std::vector<uint8_t> p(kOptionBytes);
  p[0] = uint8_t((o.dictionary_bits & 7) | (o.solid_continuation ? 0x08 : 0) |
                 (o.alternate_version ? 0x10 : 0) | (o.interpret_filters ? 0x20 : 0));
  for (int i = 0; i < 3; ++i) p[1 + i] = uint8_t(o.declared_size >> (8 * i));
  for (int i = 0; i < 4; ++i) p[4 + i] = uint8_t(o.file_crc >> (8 * i));
  return p;
}

// The entry (and its solid continuation when `with_continuation`) in an archive.
inline std::vector<uint8_t> StreamArchive(const Options& o, uint8_t unp_ver,
                                          const std::vector<uint8_t>& stream,
                                          bool with_continuation) {
  rarblocks::FileEntry f;
  f.name = "stream";
  f.data = stream;
  f.flags = uint16_t(0x8000 | o.dictionary_bits << 5);
  f.unp_size_from_data = false;
  f.unp_size = o.declared_size;
  f.crc_from_data = false;
  f.file_crc = o.file_crc;
  f.unp_ver = unp_ver;
  f.method = 0x33;
  std::vector<rarblocks::FileEntry> entries = {f};
  if (with_continuation) {
    f.flags |= 0x10;
    entries.push_back(f);
  }
  return ArchiveOf(entries);
}

struct Decoded {
  int result;
  std::string output;
};

// Every entry of the archive, decoded in one fresh handle.
inline std::vector<Decoded> DecodeEntries(const std::vector<uint8_t>& archive, bool interpret) {
  TestReader r(archive);
  r.reader().interpret_all_filters = interpret;
  std::vector<Decoded> out;
  for (int end = r.First(); end == 0; end = r.Next()) {
    const int result = r.Extract();
    out.push_back({result, r.Output()});
  }
  return out;
}

// Wraps the stream as an entry of version `unp_ver`, decodes it and checks the properties above;
// `results` are the codes the decoder may give.
inline void CheckStreamDecoding(const Options& o, uint8_t unp_ver,
                                const std::vector<uint8_t>& stream,
                                std::initializer_list<int> results) {
  g_ppmd_heap_alloc = SmallModelsOnly;
  const std::vector<Decoded> first =
      DecodeEntries(StreamArchive(o, unp_ver, stream, o.solid_continuation), o.interpret_filters);
  Check(first.size() == (o.solid_continuation ? 2u : 1u));
  for (const Decoded& d : first) {
    bool defined = false;
    for (int code : results) defined |= d.result == code;
    Check(defined);
    Check(d.output.size() <= o.declared_size);
    Check(d.result != 0 || rarblocks::Crc32(reinterpret_cast<const uint8_t*>(d.output.data()),
                                            d.output.size()) == o.file_crc);
  }
  const std::vector<Decoded> again =
      DecodeEntries(StreamArchive(o, unp_ver, stream, false), o.interpret_filters);
  Check(again.size() == 1 && again[0].result == first[0].result &&
        again[0].output == first[0].output);
}

}  // namespace fuzz_stream
