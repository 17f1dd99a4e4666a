// Streaming extraction (URARDoActionStream), from memory and through a read callback: the same
// entries, bytes and failures as the buffered exports, a read that fails, a write callback that
// stops an entry, and entries and archives beyond 32 bits made on the fly.
#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/urar/corpus.h"
#include "tests/urar/rar29_stream_writer.h"
#include "urar/urar.h"

namespace {

struct Streamed {
  int32_t action = 0;
  int32_t last_error = 0;
  std::vector<uint8_t> data;
};

int32_t Collect(void* context, const void* data, int32_t size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), static_cast<const uint8_t*>(data),
              static_cast<const uint8_t*>(data) + size);
  return 0;
}

// An archive the library reads through URARInitializeReader's callback, which hands out at most
// `piece` bytes a call (a reader may give less than asked) and fails from `fail_at` on.
struct ReadArchive {
  const std::vector<uint8_t>* bytes;
  int32_t piece;
  uint64_t fail_at = UINT64_MAX;
};

int32_t ReadPiece(void* context, uint64_t offset, void* destination, int32_t size) {
  const auto* a = static_cast<const ReadArchive*>(context);
  if (offset >= a->fail_at) return -1;
  if (offset >= a->bytes->size()) return 0;
  uint64_t n = std::min<uint64_t>(
      {uint64_t(size), uint64_t(a->piece), a->bytes->size() - offset, a->fail_at - offset});
  memcpy(destination, a->bytes->data() + offset, size_t(n));
  return int32_t(n);
}

// Every entry streamed, from memory or, given `through`, through its read callback.
std::vector<Streamed> StreamAll(const std::vector<uint8_t>& archive, int32_t* end,
                                ReadArchive* through = nullptr) {
  std::vector<Streamed> entries;
  static const uint8_t kNone = 0;
  URARHandle* h = through ? URARInitializeReader(0, ReadPiece, through, archive.size())
                          : URARInitialize(0, archive.empty() ? &kNone : archive.data(),
                                           int32_t(archive.size()));
  if (h == nullptr) return entries;
  for (;;) {
    Streamed e;
    e.action = URARDoActionStream(h, Collect, &e.data);
    if (e.action == URAR_END) break;
    e.last_error = URARGetLastError(h);
    entries.push_back(std::move(e));
  }
  *end = URARGetLastError(h);
  URARFinalize(h);
  return entries;
}

// Read through the callback, the archive goes through the library's window: the fixtures over its
// 256 KiB slide it under headers and packed data alike, and odd pieces make every read a loop.
TEST(StreamExtract, TheCorpusStreamsAsItExtractsInMemory) {
  for (const std::string& name : ManifestArchives()) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> archive = ReadFixture(name);
    int32_t memory_end = -1;
    const std::vector<ExtractedEntry> memory = ExtractAll(archive, 0, &memory_end);
    ReadArchive file{&archive, 4099};
    for (ReadArchive* through : {static_cast<ReadArchive*>(nullptr), &file}) {
      SCOPED_TRACE(through ? "read through the callback" : "in memory");
      int32_t stream_end = -2;
      const std::vector<Streamed> streamed = StreamAll(archive, &stream_end, through);
      EXPECT_EQ(stream_end, memory_end);
      ASSERT_EQ(streamed.size(), memory.size());
      for (size_t i = 0; i < memory.size(); ++i) {
        SCOPED_TRACE(memory[i].name);
        EXPECT_EQ(streamed[i].action, memory[i].action);
        EXPECT_EQ(streamed[i].last_error, memory[i].last_error);
        if (memory[i].action == URAR_OK) EXPECT_EQ(streamed[i].data, memory[i].data);
      }
    }
  }
}

// A read that fails is where the archive ends for the library: the entry it cuts fails, entries
// before it stand, and nothing is made up.
TEST(StreamExtract, AReadThatFailsEndsTheArchiveThere) {
  rarblocks::FileEntry a, b;
  a.name = "a.bin";
  for (int i = 0; i < 300000; ++i) a.data.push_back(uint8_t(i * 7));
  b.name = "b.txt";
  b.data = {'b'};
  rarblocks::Writer writer;
  writer.Marker().MainHeader().File(a).File(b).EndOfArchive();
  const std::vector<uint8_t>& archive = writer.bytes;
  const uint64_t b_header = archive.size() - 7 - (32 + 5 + 1);  // end block, b's header and data
  const struct {
    uint64_t fail_at;
    std::vector<int32_t> results;  // URARGetLastError per entry
    int32_t end;
  } cases[] = {
      {0, {}, URAR_END_NOT_ARCHIVE},
      {100, {URAR_ENTRY_CUT}, URAR_END_CUT},
      {200000, {URAR_ENTRY_CUT}, URAR_END_CUT},
      {b_header + 3, {URAR_ENTRY_OK}, URAR_END_CUT},
      {archive.size(), {URAR_ENTRY_OK, URAR_ENTRY_OK}, URAR_END_CLEAN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fail_at);
    ReadArchive file{&archive, 1 << 20, c.fail_at};
    int32_t end = -1;
    const std::vector<Streamed> streamed = StreamAll(archive, &end, &file);
    ASSERT_EQ(streamed.size(), c.results.size());
    for (size_t i = 0; i < streamed.size(); ++i) EXPECT_EQ(streamed[i].last_error, c.results[i]);
    if (!streamed.empty()) EXPECT_EQ(streamed[0].data == a.data, c.results[0] == URAR_ENTRY_OK);
    EXPECT_EQ(end, c.end);
  }
  EXPECT_EQ(URARInitializeReader(0, nullptr, nullptr, 10), nullptr);
}

// The callback's stop ends that entry only; the walk goes on to the next one.
TEST(StreamExtract, TheWriteCallbackStopsAnEntry) {
  rarblocks::FileEntry a, b;
  a.name = "a.bin";
  a.data.assign(100000, 'a');
  b.name = "b.txt";
  b.data = {'b'};
  rarblocks::Writer writer;
  writer.Marker().MainHeader().File(a).File(b).EndOfArchive();
  URARHandle* h = URARInitialize(0, writer.bytes.data(), int32_t(writer.bytes.size()));
  ASSERT_NE(h, nullptr);
  int calls = 0;
  auto stop = [](void* c, const void*, int32_t) -> int32_t { return ++*static_cast<int*>(c); };
  EXPECT_EQ(URARDoActionStream(h, stop, &calls), URAR_FAILED);
  EXPECT_EQ(URARGetLastError(h), URAR_ENTRY_STOPPED);
  EXPECT_EQ(calls, 1);
  std::vector<uint8_t> data;
  EXPECT_EQ(URARDoActionStream(h, nullptr, &data), URAR_BAD_ARGUMENT);
  EXPECT_EQ(URARDoActionStream(h, Collect, &data), URAR_OK);
  EXPECT_EQ(data, b.data);
  EXPECT_EQ(URARDoActionStream(h, Collect, &data), URAR_END);
  URARFinalize(h);
}

struct Counted {
  uint64_t bytes = 0;
  uLong crc = crc32(0, nullptr, 0);
};

// CRC-32 of `size` zero bytes, by doubling: reading gigabytes of zeros would cost seconds.
uLong ZerosCrc(uint64_t size) {
  const std::vector<uint8_t> zero(1, 0);
  uLong crc = crc32(0, nullptr, 0), power = crc32(0, zero.data(), 1);  // of 0 and 1 zeros
  for (uint64_t length = 1; size != 0; size >>= 1, length <<= 1) {
    if (size & 1) crc = crc32_combine64(crc, power, z_off64_t(length));
    power = crc32_combine64(power, power, z_off64_t(length));
  }
  return crc;
}

int32_t Count(void* context, const void* data, int32_t size) {
  auto* c = static_cast<Counted*>(context);
  c->bytes += uint64_t(size);
  c->crc = crc32(c->crc, static_cast<const Bytef*>(data), uInt(size));
  return 0;
}

// An entry of 4 GiB and a little more zeros, packed as one literal and long matches (about 40 MB
// of archive): it streams whole, and its 64-bit size is checked and reported.
TEST(StreamExtract, AnEntryBeyond4GiBStreamsWhole) {
  const uint64_t size = (uint64_t{1} << 32) + 1000;
  Rar29StreamWriter s;
  s.Literal(0);
  for (uint64_t left = size - 1; left > 0;) {
    if (left < 3) {
      s.Literal(0);
      --left;
      continue;
    }
    const uint32_t length = left > 260 ? 257 : uint32_t(left);
    s.Match(length, 1);
    left -= length;
  }
  s.EndOfFile();
  const uLong crc = ZerosCrc(size);
  rarblocks::FileEntry big = Rar29Entry("big.img", s.Finish(), uint32_t(size), uint32_t(crc));
  big.flags |= 0x100;
  big.high_unp_size = uint32_t(size >> 32);
  rarblocks::Writer writer;
  writer.Marker().MainHeader().File(big).EndOfArchive();

  URARHandle* h = URARInitialize(0, writer.bytes.data(), int32_t(writer.bytes.size()));
  ASSERT_NE(h, nullptr);
  Counted counted;
  EXPECT_EQ(URARDoActionStream(h, Count, &counted), URAR_OK);
  EXPECT_EQ(URARGetLastError(h), 0);
  EXPECT_EQ(counted.bytes, size);
  EXPECT_EQ(counted.crc, crc);
  uint64_t declared = 0;
  URARGetEntrySize64(h, &declared);
  EXPECT_EQ(declared, size);
  EXPECT_EQ(URARDoActionStream(h, Count, &counted), URAR_END);
  EXPECT_EQ(URARGetLastError(h), URAR_END_CLEAN);
  URARFinalize(h);
}

// A stored entry copies its packed bytes whatever its header declares; the callback never gets
// more than the declared size (the client weighed the free space against it), as an in-memory
// entry never holds more, and both fail the same way.
TEST(StreamExtract, AnEntryHandsOnNoMoreThanItDeclares) {
  rarblocks::FileEntry liar;
  liar.name = "liar.bin";
  liar.data.assign(100000, 'x');
  liar.unp_size_from_data = false;
  liar.unp_size = 10;
  rarblocks::Writer writer;
  writer.Marker().MainHeader().File(liar).EndOfArchive();
  int32_t end = 0;
  const std::vector<Streamed> streamed = StreamAll(writer.bytes, &end);
  const std::vector<ExtractedEntry> memory = ExtractAll(writer.bytes, 0, &end);
  ASSERT_EQ(streamed.size(), 1u);
  ASSERT_EQ(memory.size(), 1u);
  EXPECT_EQ(streamed[0].action, URAR_FAILED);
  EXPECT_EQ(streamed[0].last_error, URAR_ENTRY_OVERFLOW);
  EXPECT_EQ(memory[0].last_error, URAR_ENTRY_OVERFLOW);
  EXPECT_LE(streamed[0].data.size(), 10u);
}

// An archive beyond 4 GiB: a stored entry of 4 GiB and a little more, then a small entry whose
// header lies past 4 GiB. The archive is an anonymous mapping whose untouched pages read as
// zeros, so it costs neither memory nor disk.
TEST(StreamExtract, AnArchiveBeyond4GiBWalksAndStreams) {
  const uint64_t big_size = (uint64_t{1} << 32) + 4096;
  const uLong crc = ZerosCrc(big_size);
  rarblocks::FileEntry big;
  big.name = "big.img";
  big.flags = 0x100;  // high halves of both sizes follow
  big.pack_size_from_data = big.unp_size_from_data = big.crc_from_data = false;
  big.pack_size = big.unp_size = uint32_t(big_size);
  big.high_pack_size = big.high_unp_size = uint32_t(big_size >> 32);
  big.file_crc = uint32_t(crc);
  rarblocks::FileEntry tail;
  tail.name = "tail.txt";
  tail.data = {'t', 'a', 'i', 'l'};
  rarblocks::Writer head, rest;
  head.Marker().MainHeader().File(big);
  rest.File(tail).EndOfArchive();
  const uint64_t total = head.bytes.size() + big_size + rest.bytes.size();
  void* mapping = mmap(nullptr, size_t(total), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  // Where the system allows, the zeros are read through its huge zero page: a few thousand page
  // faults instead of a million.
  madvise(mapping, size_t(total), MADV_HUGEPAGE);
  auto* archive = static_cast<uint8_t*>(mapping);
  memcpy(archive, head.bytes.data(), head.bytes.size());
  memcpy(archive + head.bytes.size() + big_size, rest.bytes.data(), rest.bytes.size());

  URARHandle* h = URARInitialize64(0, archive, total);
  ASSERT_NE(h, nullptr);
  // The library checks the entry's checksum itself; counting the bytes is enough here.
  uint64_t bytes = 0;
  auto count = [](void* c, const void*, int32_t size) -> int32_t {
    *static_cast<uint64_t*>(c) += uint64_t(size);
    return 0;
  };
  EXPECT_EQ(URARDoActionStream(h, count, &bytes), URAR_OK);
  EXPECT_EQ(URARGetLastError(h), URAR_ENTRY_OK);
  EXPECT_EQ(bytes, big_size);
  std::vector<uint8_t> data;
  EXPECT_EQ(URARDoActionStream(h, Collect, &data), URAR_OK);
  EXPECT_EQ(data, tail.data);
  EXPECT_EQ(URARDoActionStream(h, Collect, &data), URAR_END);
  EXPECT_EQ(URARGetLastError(h), URAR_END_CLEAN);
  URARFinalize(h);
  munmap(mapping, size_t(total));
}

}  // namespace
