// Reading what a download left in the working folder: a small file whole (the manifest and its
// signature), or a large one's size and SHA-256, taken from its chunks as they were written or
// else in one pass over the file (an archive, resumed or not).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "builder/rescue_manifest.h"
#include "download/download_progress.h"

class Sha256Hasher;

// The file's bytes into `content`; false when it cannot be read or holds more than `max_bytes`.
bool ReadSmallFile(const std::wstring& path, std::uint64_t max_bytes, std::string* content);

// The file's size and SHA-256, read from its start to its end; false when it cannot be read.
bool FileSizeAndSha256(const std::wstring& path, std::uint64_t* size,
                       rescue_manifest::Sha256* digest);

// The SHA-256 of a download's file taken from the chunks the download writes, so that an archive
// of gigabytes is not read again after it arrived. The chunks must come in file order: one at 0
// starts the digest over (a download that starts its file over), one anywhere else than the end
// of what was taken spoils it (an attempt's body dropped from the file).
class ChunkDigest {
 public:
  ChunkDigest();
  ~ChunkDigest();
  ChunkDigest(const ChunkDigest&) = delete;
  ChunkDigest& operator=(const ChunkDigest&) = delete;

  // For the download's chunks; it refers to this object, which must outlive the download.
  DownloadChunkCallback Callback();
  // The file's size and SHA-256 when the chunks taken are the whole of `path` as it stands;
  // false otherwise (spoiled, short of the file, or the file cannot be opened).
  bool Finish(const std::wstring& path, std::uint64_t* size, rescue_manifest::Sha256* digest);

 private:
  void Take(std::uint64_t offset, const void* bytes, std::uint32_t size);

  std::unique_ptr<Sha256Hasher> hasher_;  // null until the first chunk at 0, and once spoiled
  std::uint64_t taken_ = 0;
};
