// The RAR 2.9 compressor against the extraction library: every kind of content, coded in every
// kind of block and in mixed sequences of them, must come back byte for byte with its checksum
// matched. The library is the strongest oracle here; rar_writer_test.cpp adds the peer readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "standins/rar29_encoder/huffman_encoder.h"
#include "standins/rar29_encoder/rar29_encoder.h"
#include "standins/rar_writer.h"
#include "standins/sample_content.h"
#include "urar/common/huffman.h"
#include "urar/urar.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using rar29enc::Block;
using rar29enc::BlockKind;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Block Lz(std::size_t size, BlockKind kind = BlockKind::kLz) {
  Block b;
  b.kind = kind;
  b.size = size;
  return b;
}

Block Ppmd(std::size_t size, bool new_model = true, int order = 6, int megabytes = 4,
           int escape = -1) {
  Block b;
  b.kind = BlockKind::kPpmd;
  b.size = size;
  b.ppmd.new_model = new_model;
  b.ppmd.order = order;
  b.ppmd.megabytes = megabytes;
  b.ppmd.escape = escape;
  return b;
}

// The entry's bytes as the library extracts them from a one-entry archive, and its status.
struct Extracted {
  std::int32_t status = -1;
  Bytes data;
};

Extracted ExtractOnly(const Bytes& archive) {
  Extracted out;
  URARHandle* handle = URARInitialize(0, archive.data(), static_cast<std::int32_t>(archive.size()));
  if (handle == nullptr) return out;
  out.status = URARDoAction(handle);
  std::int32_t size = 0;
  URARGetSizeBuffer(handle, URAR_BUFFER_DATA, &size);
  out.data.resize(static_cast<std::size_t>(size));
  char none = 0;
  URARGetBuffer(handle, URAR_BUFFER_DATA, size ? static_cast<void*>(out.data.data()) : &none, size);
  EXPECT_EQ(URARDoAction(handle), URAR_END);
  URARFinalize(handle);
  return out;
}

Bytes ArchiveOf(const Bytes& data, const std::vector<Block>& blocks) {
  rar_writer::Entry entry{"entry.bin", data};
  entry.method = rar_writer::Method::kCompressed;
  entry.blocks = blocks;
  return rar_writer::BuildArchive({entry});
}

struct Case {
  const char* name;
  Bytes data;
  std::vector<Block> blocks;
};

TEST(Rar29Roundtrip, EveryBlockKindAndMixComesBackWhole) {
  const Bytes text = sample_content::Text(1, 300000);
  const Bytes code = sample_content::X86Code(2, 600000);  // more than two filter blocks
  const Bytes noise = sample_content::Random(3, 70000);
  Bytes escapes = sample_content::Text(4, 20000);
  for (std::size_t i = 0; i < escapes.size(); i += 37) escapes[i] = i % 2 ? 2 : 0xB7;
  // Two copies of 1 MB of noise 3 MB apart: matches reach almost across the 4 MB window.
  const Bytes far = Concat({sample_content::Random(5, 1 << 20), Bytes(3 << 20, 'z'),
                            sample_content::Random(5, 1 << 20)});
  const std::vector<Case> cases = {
      {"text in one PPMd block", text, {Ppmd(text.size())}},
      {"text as LZ", text, {Lz(text.size())}},
      {"x86 code through the E8 filter", code, {Lz(code.size(), BlockKind::kLzX86)}},
      {"noise as LZ", noise, {Lz(noise.size())}},
      {"escape bytes, with a new escape character on the way",
       escapes,
       {Ppmd(5000), Ppmd(5000, false, 6, 4, 0xB7), Ppmd(10000, false, 6, 4, 0x00)}},
      {"every switch between the kinds",
       Concat({text, code, noise, text}),
       {Ppmd(100000), Lz(200000, BlockKind::kLzX86), Ppmd(50000, false), Lz(50000),
        Ppmd(20000, true, 3, 1), Lz(420000, BlockKind::kLzX86), Lz(100000), Ppmd(330000, false)}},
      {"empty blocks between others",
       text,
       {Lz(0), Ppmd(1000), Ppmd(0), Lz(0, BlockKind::kLzX86), Lz(text.size() - 1000)}},
      {"no data at all", {}, {}},
      {"a tiny x86 block left unfiltered",
       Bytes(code.begin(), code.begin() + 9),
       {Lz(9, BlockKind::kLzX86)}},
      {"matches near the window's reach", far, {Lz(far.size())}},
      {"the highest order in 1 MB: the model restarts", text, {Ppmd(text.size(), true, 64, 1)}},
  };
  for (const Case& c : cases) {
    const Bytes archive = ArchiveOf(c.data, c.blocks);
    const Extracted got = ExtractOnly(archive);
    EXPECT_EQ(got.status, URAR_OK) << c.name;
    EXPECT_TRUE(got.data == c.data) << c.name;
  }
}

// Each kind of content gets the coding that shrinks it most, and that coding is worth having:
// PPMd beats LZ on text, the E8 filter beats plain LZ on machine code, random bytes stay stored.
TEST(Rar29Roundtrip, ContentChoosesTheBlocks) {
  const Bytes text = sample_content::Text(11, 400000);
  const Bytes code = sample_content::X86Code(12, 400000);
  const Bytes noise = sample_content::Random(13, 400000);
  auto kinds = [](const Bytes& data) {
    std::vector<BlockKind> out;
    for (const Block& b : rar29enc::ChooseBlocks(data.data(), data.size())) out.push_back(b.kind);
    return out;
  };
  EXPECT_EQ(kinds(text), std::vector<BlockKind>{BlockKind::kPpmd});
  EXPECT_EQ(kinds(code), std::vector<BlockKind>{BlockKind::kLzX86});
  EXPECT_TRUE(kinds(noise).empty());
  const Extracted program = ExtractOnly(ReadFile(
      PROJECT_SOURCE_DIR "/tests/fixtures/rar/libarchive-test_read_format_rar_filter.rar"));
  ASSERT_EQ(program.status, URAR_OK);
  const std::vector<BlockKind> program_kinds = kinds(program.data);
  EXPECT_NE(std::find(program_kinds.begin(), program_kinds.end(), BlockKind::kLzX86),
            program_kinds.end())
      << "a real x86 program goes through the E8 filter";
  // Text after machine code stays LZ: libarchive cannot read PPMd after LZ in one entry.
  EXPECT_EQ(kinds(Concat({text, code, text})),
            (std::vector<BlockKind>{BlockKind::kPpmd, BlockKind::kLzX86, BlockKind::kLz}));

  auto packed = [](const Bytes& data, BlockKind kind) {
    return rar29enc::Compress(
               data.data(), data.size(),
               {kind == BlockKind::kPpmd ? Ppmd(data.size()) : Lz(data.size(), kind)})
        .size();
  };
  EXPECT_LT(packed(text, BlockKind::kPpmd) * 10, packed(text, BlockKind::kLz) * 9);
  EXPECT_LT(packed(code, BlockKind::kLzX86) * 10, packed(code, BlockKind::kLz) * 9);
  EXPECT_LT(packed(text, BlockKind::kPpmd) * 3, text.size());

  rar_writer::Entry random{"random.bin", noise};
  random.method = rar_writer::Method::kCompressed;
  const Bytes archive = rar_writer::BuildArchive({random});
  EXPECT_LT(archive.size(), noise.size() + 100) << "stored, not grown by compression";
  EXPECT_EQ(ExtractOnly(archive).data, noise);
}

// Code lengths stay within 15 bits however skewed the counts (Fibonacci counts would give a
// tree 39 deep), the code stays complete, and the library's tables decode what the canonical
// codes encode, for each table size the format uses.
TEST(Rar29Roundtrip, HuffmanCodesDecodeThroughTheLibrarysTables) {
  for (const std::size_t symbols :
       {std::size_t{20}, std::size_t{28}, std::size_t{60}, std::size_t{299}}) {
    std::vector<std::uint32_t> counts(symbols, 0);
    std::uint32_t a = 1, b = 1;
    for (std::size_t i = 0; i < symbols && i < 40; i++) {
      counts[i] = a;
      const std::uint32_t next = a + b;
      a = b;
      b = next;
    }
    const rar29enc::HuffmanCode code(rar29enc::HuffmanCode::Lengths(counts));
    double kraft = 0;
    for (std::size_t i = 0; i < symbols; i++) {
      EXPECT_LE(code.lengths()[i], 15);
      EXPECT_EQ(code.lengths()[i] != 0, counts[i] != 0) << i;
      if (code.lengths()[i]) kraft += 1.0 / double(1u << code.lengths()[i]);
    }
    EXPECT_EQ(kraft, 1.0) << symbols;

    rar29enc::BitWriter out;
    std::vector<std::uint32_t> sent;
    for (std::size_t i = 0; i < 3 * symbols; i++) {
      const std::uint32_t s = std::uint32_t(i * 7 % std::min<std::size_t>(symbols, 40));
      code.Put(out, s);
      sent.push_back(s);
    }
    Bytes bits = out.Take();
    bits.resize(bits.size() + 8);  // the reader looks a few bytes ahead
    HuffmanTable table;
    HuffmanBuild(&table, code.lengths().data(), std::uint32_t(symbols));
    BitInput in;
    in.Reset(bits.data());
    for (std::uint32_t s : sent) ASSERT_EQ(HuffmanDecode(table, in), s) << symbols;
  }
}

}  // namespace
