// The file a download wrote, as its chunk calls tell it: each chunk placed where its call says,
// cutting off what lay past that place. A download's chunk calls are right when this image is
// the file, byte for byte, whatever resumes, restarts and retries it took.
#pragma once

#include <mutex>
#include <string>

#include "download/download_progress.h"

struct ChunkImage {
  std::mutex mutex;
  std::string bytes;
  bool gap = false;  // a chunk placed past the end of what came before

  DownloadChunkCallback Callback() {
    return [this](uint64_t offset, const void* chunk, uint32_t size) {
      std::lock_guard<std::mutex> lock(mutex);
      if (offset > bytes.size()) gap = true;
      bytes.resize(offset < bytes.size() ? offset : bytes.size());
      bytes.append(static_cast<const char*>(chunk), size);
    };
  }
};
