// The six exports: results, buffer kinds and capacities, the size limit, and the handle's states.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/urar/test_archives.h"
#include "urar/urar.h"

namespace {

struct Handle {
  explicit Handle(const std::vector<uint8_t>& bytes, uint32_t limit = 0)
      : archive(bytes), h(URARInitialize(limit, archive.empty() ? static_cast<const void*>("") : archive.data(),
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

}  // namespace

TEST(Interface, NoArchiveMeansAHandleThatEndsAtOnce) {
  for (const auto& bytes : {std::vector<uint8_t>{}, Bytes("not an archive at all")}) {
    Handle x(bytes);
    ASSERT_NE(x.h, nullptr);
    EXPECT_EQ(URARDoAction(x.h), URAR_END);
    EXPECT_EQ(URARDoAction(x.h), URAR_END);
    EXPECT_EQ(URARGetLastError(x.h), 0);
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
      {3, buffer, 4, URAR_BAD_KIND},  {0, buffer, 4, URAR_BAD_KIND},
      {3, nullptr, 4, URAR_BAD_ARGUMENT}, {1, buffer, -1, URAR_BAD_ARGUMENT},
      {2, nullptr, 4, URAR_BAD_ARGUMENT}, {2, buffer, -1, URAR_BAD_ARGUMENT},
  };
  for (const auto& c : cases)
    EXPECT_EQ(URARGetBuffer(x.h, c.kind, c.destination, c.capacity), c.expected) << c.kind << " " << c.capacity;
  EXPECT_EQ(URARGetSizeBuffer(x.h, 3, &result), URAR_BAD_KIND);
  EXPECT_EQ(result, 1234);
}

TEST(Interface, SizeLimitRefusesLargerEntriesAndTheWalkGoesOn) {
  Handle x(ArchiveOf({Stored("over", std::string(101, 'x')), Stored("exact", std::string(100, 'y'))}), 100);
  EXPECT_EQ(URARDoAction(x.h), URAR_TOO_LARGE);
  EXPECT_EQ(NameOf(x.h, 16), "over");
  char data[128];
  EXPECT_EQ(URARGetBuffer(x.h, URAR_BUFFER_DATA, data, 128), URAR_FAILED) << "no data buffer after 8";
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

TEST(Interface, LastErrorKeepsTheMostRecentExtraction) {
  rarblocks::FileEntry bad = Stored("bad", "damaged");
  bad.crc_from_data = false;
  bad.file_crc = 0x12345678;
  Handle x(ArchiveOf({bad, Stored("too-big", std::string(50, 'z'))}), 10);
  EXPECT_EQ(URARDoAction(x.h), URAR_FAILED);
  EXPECT_EQ(URARGetLastError(x.h), 8);
  char data[16] = {};
  EXPECT_EQ(URARGetBuffer(x.h, URAR_BUFFER_DATA, data, 16), 0) << "full length, unreliable data";
  EXPECT_EQ(std::string(data), "damaged");
  EXPECT_EQ(URARDoAction(x.h), URAR_TOO_LARGE);
  EXPECT_EQ(URARGetLastError(x.h), 8);
  EXPECT_EQ(URARDoAction(x.h), URAR_END);
  EXPECT_EQ(URARGetLastError(x.h), 8);
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

TEST(Interface, TheCallersBufferIsOnlyRead) {
  std::vector<uint8_t> archive = ArchiveOf({Stored("a", "abc"), Stored("b", "def")});
  const std::vector<uint8_t> before = archive;
  URARHandle* h = URARInitialize(0, archive.data(), int32_t(archive.size()));
  while (URARDoAction(h) != URAR_END) {
  }
  EXPECT_EQ(URARFinalize(h), 0);
  EXPECT_EQ(archive, before);
}
