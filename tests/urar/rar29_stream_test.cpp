// RAR 2.9 decoding on hand-made LZ streams: the declared size, solid continuation, filter
// definitions and their limits, packed data that run out.
#include <gtest/gtest.h>

#include "tests/urar/rar29_stream_writer.h"
#include "tests/urar/test_archives.h"
#include "urar/common/extract_result.h"

namespace {

// "abc" and a match of 10 at distance 3: "abcabcabcabca".
std::vector<uint8_t> AbcStream() {
  Rar29StreamWriter s;
  s.Literals("abc");
  s.Match(10, 3);
  s.EndOfFile();
  return s.Finish();
}

// A definition of new filter 0 (a 1-byte program that only returns) over the next 4 bytes,
// with `code_size` program bytes and `data_size` bytes of global data.
std::vector<uint8_t> FilterBody(uint32_t code_size, uint32_t data_size = 0) {
  FilterDefinitionBits d;
  d.Number(1);
  d.Number(0);
  d.Number(4);
  d.Number(code_size);
  for (uint32_t i = 0; i < code_size; i++) d.Byte(0);
  if (data_size != ~0u) {
    d.Number(data_size);
    for (uint32_t i = 0; i < data_size; i++) d.Byte(uint8_t(i));
  }
  return d.Bytes();
}

std::vector<uint8_t> Prefix(std::vector<uint8_t> bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

}  // namespace

TEST(Rar29Stream, OnlyTheDeclaredSizeIsWrittenEvenMidMatch) {
  const std::string full = "abcabcabcabca";
  for (uint32_t declared : {13u, 7u, 4u, 1u}) {
    std::string expected = full.substr(0, declared);
    TestReader r(ArchiveOf(
        {Rar29Entry("abc", AbcStream(), declared, CrcOf(expected)), Stored("after", "next")}));
    ASSERT_EQ(r.First(), 0);
    EXPECT_EQ(r.Extract(), kExtractOk) << declared;
    EXPECT_EQ(r.Output(), expected);
    ASSERT_EQ(r.Next(), 0);
    EXPECT_EQ(r.Extract(), kExtractOk);
  }
}

TEST(Rar29Stream, SolidEntriesContinueFromTheWindowAndTables) {
  Rar29StreamWriter first;
  first.Literals("hello world");
  first.EndOfFile(/*new_tables=*/false);
  Rar29StreamWriter second(/*with_tables=*/false);
  second.Match(5, 11);
  second.Literal('!');
  second.EndOfFile(/*new_tables=*/true);
  Rar29StreamWriter third;  // announced new tables
  third.Match(5, 17);
  third.Match(6, 17);
  third.EndOfFile();
  Rar29StreamWriter fresh;
  fresh.Literals("fresh");
  fresh.EndOfFile();

  TestReader r(ArchiveOf({Rar29Entry("1", first.Finish(), 11, CrcOf("hello world")),
                          Rar29Entry("2", second.Finish(), 6, CrcOf("hello!"), true),
                          Rar29Entry("3", third.Finish(), 11, CrcOf("hello world"), true),
                          Rar29Entry("4", fresh.Finish(), 5, CrcOf("fresh"))}));
  const char* expected[] = {"hello world", "hello!", "hello world", "fresh"};
  for (int i = 0; i < 4; i++) {
    ASSERT_EQ(i == 0 ? r.First() : r.Next(), 0);
    EXPECT_EQ(r.Extract(), kExtractOk) << i;
    EXPECT_EQ(r.Output(), expected[i]);
  }
}

TEST(Rar29Stream, FilterDefinitionsThatCannotBeUsedStopTheEntry) {
  struct Case {
    const char* what;
    uint8_t flags;
    std::vector<uint8_t> body;
    bool usable;
  };
  const Case cases[] = {
      {"1-byte program", 0xA0, FilterBody(1, ~0u), true},
      {"0-byte program", 0xA0, FilterBody(0, ~0u), false},
      {"65,536-byte program", 0xA0, FilterBody(0x10000, ~0u), false},
      {"definition past the 32,768-byte buffer", 0xA0, FilterBody(40000, ~0u), false},
      {"global data at the limit", 0xA8, FilterBody(1, 0x1FC0), true},
      {"global data over the limit", 0xA8, FilterBody(1, 0x1FC1), false},
      {"definition cut before its program", 0xA0, Prefix(FilterBody(1, ~0u), 2), false},
      {"filter number beyond those defined", 0x80, {0x4C, 0x00}, false},
  };
  for (const Case& c : cases) {
    Rar29StreamWriter s;
    s.FilterDefinition(c.flags, c.body);
    s.Literals("data");
    s.EndOfFile();
    TestReader r(ArchiveOf({Rar29Entry("f", s.Finish(), 4, CrcOf("data")), Stored("after", "x")}));
    ASSERT_EQ(r.First(), 0);
    EXPECT_EQ(r.Extract(), c.usable ? kExtractOk : kExtractBadData) << c.what;
    if (c.usable) EXPECT_EQ(r.Output(), "data") << c.what;
    ASSERT_EQ(r.Next(), 0);
    EXPECT_EQ(r.Extract(), kExtractOk) << "after " << c.what;
  }
}

TEST(Rar29Stream, AtMost1025DistinctFilters) {
  for (uint32_t count : {1025u, 1026u}) {
    Rar29StreamWriter s;
    std::string text;
    for (uint32_t i = 0; i < count; i++) {
      FilterDefinitionBits d;
      d.Number(i + 1);  // a new filter number each time
      d.Number(0);
      d.Number(1);  // over the next byte
      d.Number(1);
      d.Byte(0);
      s.FilterDefinition(0xA0, d.Bytes());
      text += char('a' + i % 26);
      s.Literal(uint8_t(text.back()));
    }
    s.EndOfFile();
    TestReader r(ArchiveOf({Rar29Entry("many", s.Finish(), count, CrcOf(text))}));
    ASSERT_EQ(r.First(), 0);
    EXPECT_EQ(r.Extract(), count <= 1025 ? kExtractOk : kExtractBadData) << count;
  }
}

TEST(Rar29Stream, PackedDataRunningOutGivesTruncated) {
  Rar29StreamWriter s;
  std::string text;
  for (int i = 0; i < 400; i++) text += char('A' + (i * 7) % 26);
  s.Literals(text);
  s.EndOfFile();
  std::vector<uint8_t> packed = s.Finish();
  packed.resize(packed.size() / 2);
  TestReader r(ArchiveOf(
      {Rar29Entry("cut", packed, uint32_t(text.size()), CrcOf(text)), Stored("after", "next")}));
  ASSERT_EQ(r.First(), 0);
  EXPECT_EQ(r.Extract(), kExtractTruncated);
  ASSERT_EQ(r.Next(), 0);
  EXPECT_EQ(r.Extract(), kExtractOk);
}

TEST(Rar29Stream, FilterBlockThatNeverCompletesDoesNotStallDecoding) {
  // The block runs far past the end of the data: the window fills up behind it, decoding goes on
  // over the unwritten bytes, and the entry ends when the stream does.
  FilterDefinitionBits d;
  d.Number(1);
  d.Number(0);
  d.Number(0x7FFFFFFF);
  d.Number(1);
  d.Byte(0);
  Rar29StreamWriter s;
  s.FilterDefinition(0xA0, d.Bytes());
  s.Literal('a');
  const uint32_t kMatches = 5 * 4096;  // 257 bytes each: past the 4 MB window
  for (uint32_t i = 0; i < kMatches; i++) s.Match(257, 1);
  s.EndOfFile();
  uint32_t size = 1 + kMatches * 257;
  TestReader r(
      ArchiveOf({Rar29Entry("stuck", s.Finish(), size, 0x12345678), Stored("after", "next")}));
  ASSERT_EQ(r.First(), 0);
  EXPECT_EQ(r.Extract(), kExtractBadData);
  EXPECT_EQ(r.Output(), "");  // nothing before the block, and the block never completes
  ASSERT_EQ(r.Next(), 0);
  EXPECT_EQ(r.Extract(), kExtractOk);
}

TEST(Rar29Stream, MatchCopiesNeverOverwriteHistoryOnceTheWindowHasWrapped) {
  // A 256-byte cycle fills the 4 MiB window and wraps it; then a 3-byte match at distance 1,
  // and a match reaching back almost a whole window, to bytes just past the short match, which
  // a copy that writes beyond a match's end would have overwritten.
  constexpr uint32_t kWindow = 0x400000;
  std::string cycle(256, '\0');
  for (int i = 0; i < 256; ++i) cycle[size_t(i)] = char(i * 37 + 11);
  Rar29StreamWriter s;
  s.Literals(cycle);
  std::string expected = cycle;
  while (expected.size() < kWindow + 1000) {
    s.Match(256, 256);
    expected += expected.substr(expected.size() - 256, 256);
  }
  // Short and long distances, lengths with and without a partial last step, each followed by a
  // match that reads the bytes just past it from a window ago.
  for (uint32_t short_length : {3u, 13u}) {
    for (uint32_t short_distance : {1u, 3u, 9u}) {
      s.Match(short_length, short_distance);
      for (uint32_t i = 0; i < short_length; ++i)
        expected += expected[expected.size() - short_distance];
      for (uint32_t distance : {kWindow - 3, kWindow - 100, kWindow}) {
        s.Match(20, distance);
        for (int i = 0; i < 20; ++i) expected += expected[expected.size() - distance];
      }
    }
  }
  s.EndOfFile();
  TestReader r(
      ArchiveOf({Rar29Entry("wrapped", s.Finish(), uint32_t(expected.size()), CrcOf(expected))}));
  ASSERT_EQ(r.First(), 0);
  EXPECT_EQ(r.Extract(), kExtractOk);
  const std::string out = r.Output();
  ASSERT_EQ(out.size(), expected.size());
  size_t at =
      size_t(std::mismatch(expected.begin(), expected.end(), out.begin()).first - expected.begin());
  EXPECT_EQ(at, expected.size()) << "first difference at " << at << " of " << expected.size()
                                 << ": " << int(uint8_t(out[at])) << " "
                                 << int(uint8_t(expected[at]));
}
