// The archive's digest taken from a download's chunks: it serves only when the chunks, in the
// order the download wrote them, are the file as it stands; otherwise the file is read again.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "builder/downloaded_file.h"
#include "tests/support/scratch_folder.h"

namespace {

struct Chunk {
  std::uint64_t offset;
  std::string bytes;
};

TEST(ChunkDigest, ServesOnlyWhenItsChunksAreTheWholeFile) {
  const std::string file = std::string(5000, 'a') + std::string(3000, 'b');
  const std::string head = file.substr(0, 5000), tail = file.substr(5000);
  const struct {
    const char* what;
    std::vector<Chunk> chunks;
    bool serves;
  } cases[] = {
      {"in file order", {{0, head}, {5000, tail}}, true},
      {"started over at 0", {{0, "stale"}, {5, "more"}, {0, head}, {5000, tail}}, true},
      {"a body dropped to an earlier place", {{0, head}, {5000, tail}, {5000, tail}}, false},
      {"a chunk past the end", {{0, head}, {6000, tail}}, false},
      {"a place unknown", {{0, head}, {UINT64_MAX, tail}}, false},
      {"short of the file", {{0, head}}, false},
      {"nothing from 0", {{5000, tail}}, false},
      {"no chunks", {}, false},
  };
  ScratchFolder scratch(L"chunk digest");
  const std::wstring path = scratch.Path() + L"system.zip";
  std::ofstream(std::filesystem::path(path), std::ios::binary) << file;
  std::uint64_t file_size = 0;
  rescue_manifest::Sha256 file_digest{};
  ASSERT_TRUE(FileSizeAndSha256(path, &file_size, &file_digest));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ChunkDigest digest;
    const DownloadChunkCallback callback = digest.Callback();
    for (const Chunk& chunk : c.chunks)
      callback(chunk.offset, chunk.bytes.data(), static_cast<std::uint32_t>(chunk.bytes.size()));
    std::uint64_t size = 0;
    rescue_manifest::Sha256 taken{};
    ASSERT_EQ(digest.Finish(path, &size, &taken), c.serves);
    if (c.serves) {
      EXPECT_EQ(size, file_size);
      EXPECT_EQ(taken, file_digest);
    }
  }
}

}  // namespace
