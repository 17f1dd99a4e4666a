// PPMd blocks inside RAR 2.9 entries, through the six exports: model memory as the blocks ask for
// it (kept for the same size, replaced for another, refused), blocks that cannot start a model,
// and a model carried across LZ blocks of one entry.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/urar/corpus.h"
#include "tests/urar/test_archives.h"
#include "urar/common/extract_result.h"
#include "urar/ppmd/ppmd_memory.h"
#include "urar/urar.h"

namespace {

constexpr uint32_t kLipsumCrc = 0x7d6a9f31;   // unarr-lipsum_rar4_ppmd.rar: 15 MB model
constexpr uint32_t kBestCrc = 0x5e05a663;     // ..._compress_best.rar, first entry: 25 MB model
constexpr uint32_t kPayloadCrc = 0xf6360ae5;  // junrar-hostile-maxmb255.rar: 256 MB model

size_t BlockFor(size_t megabytes) { return ((megabytes << 20) / 12 + 2) * 12; }

// The first file entry of a corpus archive, packed data and header fields as they are.
rarblocks::FileEntry FirstEntryOf(const std::string& archive, const std::string& name) {
  const std::vector<uint8_t> bytes = ReadFixture(archive);
  TestReader r(bytes);
  EXPECT_EQ(r.First(), 0) << archive;
  const ArchiveReader& a = r.reader();
  rarblocks::FileEntry f;
  f.name = name;
  const size_t start = a.block_position + a.block_header_size;
  f.data.assign(bytes.begin() + start, bytes.begin() + start + a.block_data_size);
  f.unp_size_from_data = false;
  f.unp_size = a.entry.unp_size;
  f.crc_from_data = false;
  f.file_crc = a.entry.file_crc;
  f.unp_ver = a.entry.unp_ver;
  f.method = a.entry.method;
  f.flags = static_cast<uint16_t>(0x8000 | (a.entry.flags & 0xE0));  // dictionary bits
  return f;
}

// A RAR 2.9 entry whose packed data are just `data` (a PPMd block header and a little more).
rarblocks::FileEntry PpmdEntry(const std::string& name, std::vector<uint8_t> data) {
  rarblocks::FileEntry f;
  f.name = name;
  f.data = std::move(data);
  f.data.resize(f.data.size() + 16, 0);
  f.unp_size_from_data = false;
  f.unp_size = 10;
  f.method = 0x33;
  return f;
}

// Records every request for model memory; refuses the one numbered `refuse` (from 0).
class HeapRequests {
 public:
  explicit HeapRequests(int refuse = -1) : saved_(g_ppmd_heap_alloc) {
    sizes_.clear();
    refuse_ = refuse;
    g_ppmd_heap_alloc = Hook;
  }
  ~HeapRequests() { g_ppmd_heap_alloc = saved_; }
  HeapRequests(const HeapRequests&) = delete;
  HeapRequests& operator=(const HeapRequests&) = delete;
  const std::vector<size_t>& sizes() const { return sizes_; }

 private:
  static void* Hook(size_t size) {
    sizes_.push_back(size);
    return static_cast<int>(sizes_.size()) - 1 == refuse_ ? nullptr : std::malloc(size);
  }
  static inline std::vector<size_t> sizes_;
  static inline int refuse_ = -1;
  PpmdHeapAllocator saved_;
};

struct Expected {
  int32_t last_error;
  uint32_t crc;  // checked when last_error is 0
};

void ExpectEntries(const std::vector<uint8_t>& archive, const std::vector<Expected>& expected) {
  const std::vector<ExtractedEntry> got = ExtractAll(archive);
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); i++) {
    EXPECT_EQ(got[i].last_error, expected[i].last_error) << "entry " << i;
    if (expected[i].last_error == kExtractOk)
      EXPECT_EQ(got[i].crc, expected[i].crc) << "entry " << i;
  }
}

}  // namespace

TEST(PpmdBlocks, MemoryByte255AsksFor256MegabytesAndARefusalEndsOnlyThatEntry) {
  rarblocks::FileEntry first = FirstEntryOf("junrar-hostile-maxmb255.rar", "first.txt");
  rarblocks::FileEntry second = first;
  second.name = "second.txt";
  HeapRequests requests(/*refuse=*/0);
  ExpectEntries(ArchiveOf({first, second}), {{kExtractBadData, 0}, {kExtractOk, kPayloadCrc}});
  EXPECT_EQ(requests.sizes(), std::vector<size_t>({BlockFor(256), BlockFor(256)}));
}

TEST(PpmdBlocks, MemoryIsKeptWhileBlocksAskForTheSameSize) {
  rarblocks::FileEntry best =
      FirstEntryOf("libarchive-test_read_format_rar_compress_best.rar", "best");
  rarblocks::FileEntry lipsum = FirstEntryOf("unarr-lipsum_rar4_ppmd.rar", "lipsum");
  HeapRequests requests;
  ExpectEntries(ArchiveOf({best, best, lipsum, best}), {{kExtractOk, kBestCrc},
                                                        {kExtractOk, kBestCrc},
                                                        {kExtractOk, kLipsumCrc},
                                                        {kExtractOk, kBestCrc}});
  EXPECT_EQ(requests.sizes(), std::vector<size_t>({BlockFor(25), BlockFor(15), BlockFor(25)}));
}

TEST(PpmdBlocks, BlocksThatCannotStartAModelEndWith8AndLaterEntriesDecode) {
  // Header 0x85: a PPMd block (0x80) that continues the model (no 0x20), order 6.
  const rarblocks::FileEntry continues = PpmdEntry("continues", {0x85});
  // Header 0xA0: a new model of order 1, which the format does not allow; it also drops the
  // model memory, so a later continuing block has no model either.
  const rarblocks::FileEntry order_one = PpmdEntry("order-one", {0xA0, 0x00});
  const rarblocks::FileEntry lipsum = FirstEntryOf("unarr-lipsum_rar4_ppmd.rar", "lipsum");
  HeapRequests requests;
  ExpectEntries(ArchiveOf({continues, lipsum, order_one, continues, lipsum}),
                {{kExtractBadData, 0},
                 {kExtractOk, kLipsumCrc},
                 {kExtractBadData, 0},
                 {kExtractBadData, 0},
                 {kExtractOk, kLipsumCrc}});
  EXPECT_EQ(requests.sizes(), std::vector<size_t>({BlockFor(15), BlockFor(15)}));
}

TEST(PpmdBlocks, ModelCarriesAcrossLzBlocksWithinOneEntry) {
  // This entry starts a PPMd model, switches to LZ, and comes back twice with blocks that
  // continue the model (their headers lack the new-model bit): one model memory for all three.
  const std::string archive = "libarchive-test_read_format_rar_ppmd_lzss_conversion.rar";
  HeapRequests requests;
  const std::vector<ExtractedEntry> got = ExtractAll(ReadFixture(archive));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].last_error, kExtractOk);
  EXPECT_EQ(got[0].crc, 0xf72b4477u);
  EXPECT_EQ(requests.sizes().size(), 1u);
}
