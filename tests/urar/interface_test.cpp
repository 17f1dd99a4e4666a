// The six exports: results, buffer kinds and capacities, the size limit, and the handle's states.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "tests/urar/test_archives.h"
#include "urar/common/extract_result.h"
#include "urar/urar.h"

namespace {

struct Handle {
  explicit Handle(const std::vector<uint8_t>& bytes, uint32_t limit = 0)
      : archive(bytes),
        h(URARInitialize(limit, archive.empty() ? static_cast<const void*>("") : archive.data(),
                         int32_t(archive.size()))) {}
  ~Handle() {
    if (h) URARFinalize(h);
  }
  std::vector<uint8_t> archive;
  URARHandle* h;
};

std::string NameOf(URARHandle* h, int32_t capacity) {
  std::vector<char> buffer(size_t(capacity) + 1, '#');
  EXPECT_EQ(URARGetBuffer(h, URAR_BUFFER_NAME, buffer.data(), capacity), 0);
  return buffer.data();
}

// The public names of an entry's results are the values the decoders return.
static_assert(URAR_ENTRY_OK == kExtractOk && URAR_ENTRY_NO_MEMORY == kExtractNoMemory &&
              URAR_ENTRY_UNSUPPORTED == kExtractUnsupported &&
              URAR_ENTRY_ENCRYPTED == kExtractEncrypted && URAR_ENTRY_STOPPED == kExtractStopped &&
              URAR_ENTRY_TOO_MUCH_WORK == kExtractTooMuchWork &&
              URAR_ENTRY_CUT == kExtractTruncated && URAR_ENTRY_OVERFLOW == kExtractOverflow &&
              URAR_ENTRY_BAD_DATA == kExtractBadData);

}  // namespace

TEST(Interface, NoArchiveMeansAHandleThatEndsAtOnce) {
  for (const auto& bytes : {std::vector<uint8_t>{}, Bytes("not an archive at all")}) {
    Handle x(bytes);
    ASSERT_NE(x.h, nullptr);
    EXPECT_EQ(URARDoAction(x.h), URAR_END);
    EXPECT_EQ(URARDoAction(x.h), URAR_END);
    EXPECT_EQ(URARGetLastError(x.h), URAR_END_NOT_ARCHIVE);
  }
  EXPECT_EQ(URARInitialize(0, "x", -1), nullptr);
}

TEST(Interface, NamesAreCutToTheCapacityAndSizedWithTheirZero) {
  Handle x(ArchiveOf({Stored("twenty-bytes-name.tx", "data")}));
  ASSERT_EQ(URARDoAction(x.h), URAR_OK);
  int32_t size = 0;
  EXPECT_EQ(URARGetSizeBuffer(x.h, URAR_BUFFER_NAME, &size), 0);
  EXPECT_EQ(size, 21);
  EXPECT_EQ(NameOf(x.h, 8), "twenty-");
  EXPECT_EQ(NameOf(x.h, 21), "twenty-bytes-name.tx");
  char c = '#';
  EXPECT_EQ(URARGetBuffer(x.h, URAR_BUFFER_NAME, &c, 0), URAR_BAD_ARGUMENT);
  EXPECT_EQ(c, '#');
}

TEST(Interface, ANameLongerThanTheLibraryKeepsReportsItsWholeLength) {
  // Two names that differ only after byte 259 would collide if the cut went unnoticed.
  Handle x(ArchiveOf(
      {Stored(std::string(300, 'n') + "1", "a"), Stored(std::string(300, 'n') + "2", "b")}));
  ASSERT_EQ(URARDoAction(x.h), URAR_OK);
  int32_t size = 0;
  EXPECT_EQ(URARGetSizeBuffer(x.h, URAR_BUFFER_NAME, &size), 0);
  EXPECT_EQ(size, 302);
  EXPECT_EQ(NameOf(x.h, 400), std::string(259, 'n'));
}

TEST(Interface, DataBufferNeedsTheWholeDeclaredSize) {
  Handle x(ArchiveOf({Stored("a", "12345"), Stored("empty", "")}));
  ASSERT_EQ(URARDoAction(x.h), URAR_OK);
  char data[8] = {};
  EXPECT_EQ(URARGetBuffer(x.h, URAR_BUFFER_DATA, data, 4), URAR_TOO_LARGE);
  EXPECT_EQ(URARGetBuffer(x.h, URAR_BUFFER_DATA, data, 5), 0);
  EXPECT_EQ(std::string(data, 5), "12345");
  memset(data, 0, sizeof data);
  EXPECT_EQ(URARGetBuffer(x.h, URAR_BUFFER_DATA, data, 8), 0) << "repeatable, from the start";
  EXPECT_EQ(std::string(data), "12345");
  ASSERT_EQ(URARDoAction(x.h), URAR_OK);
  int32_t size = -5;
  EXPECT_EQ(URARGetSizeBuffer(x.h, URAR_BUFFER_DATA, &size), 0);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(URARGetBuffer(x.h, URAR_BUFFER_DATA, data, 0), 0);
}

TEST(Interface, BufferKindsAndArguments) {
  Handle x(ArchiveOf({Stored("a", "1")}));
  ASSERT_EQ(URARDoAction(x.h), URAR_OK);
  int32_t result = 1234;
  char buffer[4];
  struct {
    int32_t kind;
    void* destination;
    int32_t capacity;
    int32_t expected;
  } cases[] = {
      {3, buffer, 4, URAR_BAD_KIND},      {0, buffer, 4, URAR_BAD_KIND},
      {3, nullptr, 4, URAR_BAD_ARGUMENT}, {1, buffer, -1, URAR_BAD_ARGUMENT},
      {2, nullptr, 4, URAR_BAD_ARGUMENT}, {2, buffer, -1, URAR_BAD_ARGUMENT},
  };
  for (const auto& c : cases)
    EXPECT_EQ(URARGetBuffer(x.h, c.kind, c.destination, c.capacity), c.expected)
        << c.kind << " " << c.capacity;
  EXPECT_EQ(URARGetSizeBuffer(x.h, 3, &result), URAR_BAD_KIND);
  EXPECT_EQ(result, 1234);
}

TEST(Interface, SizeLimitRefusesLargerEntriesAndTheWalkGoesOn) {
  Handle x(
      ArchiveOf({Stored("over", std::string(101, 'x')), Stored("exact", std::string(100, 'y'))}),
      100);
  EXPECT_EQ(URARDoAction(x.h), URAR_TOO_LARGE);
  EXPECT_EQ(NameOf(x.h, 16), "over");
  char data[128];
  EXPECT_EQ(URARGetBuffer(x.h, URAR_BUFFER_DATA, data, 128), URAR_FAILED)
      << "no data buffer after 8";
  EXPECT_EQ(URARDoAction(x.h), URAR_OK);
  EXPECT_EQ(NameOf(x.h, 16), "exact");
  EXPECT_EQ(URARDoAction(x.h), URAR_END);
}

TEST(Interface, SizesBeyond32BitsAreRefusedByAnyLimit) {
  rarblocks::FileEntry f = Stored("huge", "x");
  f.flags = 0x8100;
  f.high_unp_size = 1;
  Handle x(ArchiveOf({f}), 0xFFFFFFFEu);
  EXPECT_EQ(URARDoAction(x.h), URAR_TOO_LARGE);
}

TEST(Interface, LastErrorKeepsTheMostRecentExtractionUntilTheWalkEnds) {
  rarblocks::FileEntry bad = Stored("bad", "damaged");
  bad.crc_from_data = false;
  bad.file_crc = 0x12345678;
  Handle x(ArchiveOf({bad, Stored("too-big", std::string(50, 'z'))}), 10);
  EXPECT_EQ(URARDoAction(x.h), URAR_FAILED);
  EXPECT_EQ(URARGetLastError(x.h), URAR_ENTRY_BAD_DATA);
  char data[16] = {};
  EXPECT_EQ(URARGetBuffer(x.h, URAR_BUFFER_DATA, data, 16), 0) << "full length, unreliable data";
  EXPECT_EQ(std::string(data), "damaged");
  EXPECT_EQ(URARDoAction(x.h), URAR_TOO_LARGE);
  EXPECT_EQ(URARGetLastError(x.h), URAR_ENTRY_BAD_DATA);
  EXPECT_EQ(URARDoAction(x.h), URAR_END);
  EXPECT_EQ(URARGetLastError(x.h), URAR_END_CLEAN) << "after the end: why the walk ended";
}

TEST(Interface, TheEndSaysWhetherTheArchiveWasWhole) {
  using rarblocks::Writer;
  rarblocks::FileEntry a = Stored("a.txt", "alpha"), b = Stored("b.txt", "beta");
  const std::vector<uint8_t> whole = ArchiveOf({a, b});
  const size_t second_header = Writer().Marker().MainHeader().File(a).bytes.size();
  rarblocks::FileEntry split = a;
  split.flags = 0x8002;
  struct {
    const char* what;
    std::vector<uint8_t> archive;
    int entries;
    int32_t end;
  } cases[] = {
      {"end-of-archive block", whole, 2, URAR_END_CLEAN},
      {"end block then trailing bytes",
       [&] {
         auto v = whole;
         v.resize(v.size() + 5, 0xEE);
         return v;
       }(),
       2, URAR_END_CLEAN},
      {"no end block, buffer ends after the last block",
       Writer().Marker().MainHeader().File(a).File(b).bytes, 2, URAR_END_CLEAN},
      {"cut inside the second header",
       std::vector<uint8_t>(whole.begin(), whole.begin() + second_header + 9), 1, URAR_END_CUT},
      {"cut inside the second entry's data",
       std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() - 9), 2, URAR_END_CUT},
      {"cut inside the end block", std::vector<uint8_t>(whole.begin(), whole.end() - 3), 2,
       URAR_END_CUT},
      {"an HTML error page", Bytes("<html><body>404 Not Found</body></html>"), 0,
       URAR_END_NOT_ARCHIVE},
      {"marker only", Writer().Marker().bytes, 0, URAR_END_NOT_ARCHIVE},
      {"encrypted headers", Writer().Marker().MainHeader(0x80).File(a).bytes, 0,
       URAR_END_ENCRYPTED},
      {"continues in the next volume", Writer().Marker().MainHeader().File(split).File(b).bytes, 1,
       URAR_END_VOLUME},
  };
  for (const auto& c : cases) {
    Handle x(c.archive);
    int entries = 0;
    while (URARDoAction(x.h) != URAR_END) ++entries;
    EXPECT_EQ(entries, c.entries) << c.what;
    EXPECT_EQ(URARGetLastError(x.h), c.end) << c.what;
  }
}

TEST(Interface, ShortOutputCannotBeCopied) {
  // Declared 10 bytes, 4 stored: the data buffer holds fewer bytes than declared.
  rarblocks::FileEntry f = Stored("short", "1234");
  f.unp_size_from_data = false;
  f.unp_size = 10;
  f.crc_from_data = false;
  Handle x(ArchiveOf({f}));
  EXPECT_EQ(URARDoAction(x.h), URAR_FAILED);
  char data[16];
  EXPECT_EQ(URARGetBuffer(x.h, URAR_BUFFER_DATA, data, 16), URAR_FAILED);
}

TEST(Interface, ALyingDeclaredSizeFailsAndCostsNoMemory) {
  // 10 stored bytes whose checksum matches, under a header that declares almost 2 GiB; the
  // output grows only with the bytes that arrive (the peak is measured by scripts/bench).
  rarblocks::FileEntry f = Stored("liar", "0123456789");
  f.unp_size_from_data = false;
  f.unp_size = 0x7FFFFFF0;
  Handle x(ArchiveOf({f, Stored("next", "ok")}));
  EXPECT_EQ(URARDoAction(x.h), URAR_FAILED);
  EXPECT_EQ(URARGetLastError(x.h), URAR_ENTRY_CUT) << "short of the declared size";
  EXPECT_EQ(URARDoAction(x.h), URAR_OK);
}

TEST(Interface, TheCallersBufferIsOnlyRead) {
  std::vector<uint8_t> archive = ArchiveOf({Stored("a", "abc"), Stored("b", "def")});
  const std::vector<uint8_t> before = archive;
  URARHandle* h = URARInitialize(0, archive.data(), int32_t(archive.size()));
  while (URARDoAction(h) != URAR_END) {
  }
  EXPECT_EQ(URARFinalize(h), 0);
  EXPECT_EQ(archive, before);
}

TEST(Interface, EveryCodeHasItsOwnText) {
  const std::set<int32_t> actions{URAR_OK,  URAR_NO_MEMORY,    URAR_FAILED,  URAR_TOO_LARGE,
                                  URAR_END, URAR_BAD_ARGUMENT, URAR_BAD_KIND};
  const std::set<int32_t> codes{
      URAR_ENTRY_OK,       URAR_ENTRY_NO_MEMORY,     URAR_ENTRY_UNSUPPORTED, URAR_ENTRY_ENCRYPTED,
      URAR_ENTRY_STOPPED,  URAR_ENTRY_TOO_MUCH_WORK, URAR_ENTRY_CUT,         URAR_ENTRY_OVERFLOW,
      URAR_ENTRY_BAD_DATA, URAR_END_NOT_ARCHIVE,     URAR_END_CUT,           URAR_END_VOLUME,
      URAR_END_ENCRYPTED};
  const std::string unknownAction = URARActionName(-1), unknownCode = URARResultName(-1);
  std::set<std::string> texts;
  for (int32_t code : actions) texts.insert(URARActionName(code));
  EXPECT_EQ(texts.size(), actions.size());
  EXPECT_FALSE(texts.count(unknownAction));
  texts.clear();
  for (int32_t code : codes) texts.insert(URARResultName(code));
  EXPECT_EQ(texts.size(), codes.size());
  EXPECT_FALSE(texts.count(unknownCode));
  EXPECT_EQ(URARResultName(9), unknownCode);
}
