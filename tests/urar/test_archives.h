// Small archives built in the tests, and a reader driven through the ArchiveFormat table so tests
// can look at the reader's state (windows, walk reasons) as well as the results.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "standins/rar_block_writer.h"
#include "urar/archive/archive_format.h"
#include "urar/archive/archive_input.h"
#include "urar/archive/archive_reader.h"
#include "urar/archive/memory_stream.h"

inline std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

inline rarblocks::FileEntry Stored(const std::string& name, const std::string& content) {
  rarblocks::FileEntry f;
  f.name = name;
  f.data = Bytes(content);
  return f;
}

// An archive of the given entries: marker, main header, the files, end of archive.
inline std::vector<uint8_t> ArchiveOf(const std::vector<rarblocks::FileEntry>& files) {
  rarblocks::Writer w;
  w.Marker().MainHeader();
  for (const auto& f : files) w.File(f);
  w.EndOfArchive();
  return w.bytes;
}

// Drives the RAR reader directly, as the interface layer does.
class TestReader {
 public:
  explicit TestReader(const std::vector<uint8_t>& archive) : archive_(archive) {
    input_ = InputOverMemory(archive_.data(), archive_.size());
    kRarFormat.OpenArchive(&reader_, input_);
  }
  ~TestReader() {
    MemClose(output_);
    kRarFormat.CloseArchive(&reader_);
    InputClose(input_);
  }
  TestReader(const TestReader&) = delete;
  TestReader& operator=(const TestReader&) = delete;

  int First() { return kRarFormat.FirstEntry(&reader_); }
  int Next() { return kRarFormat.NextEntry(&reader_); }
  std::string Name() { return kRarFormat.EntryName(&reader_); }
  // Extracts the current entry into a fresh output stream sized as the interface would size it.
  int Extract() {
    MemClose(output_);
    output_ = MemOpen(nullptr, kRarFormat.EntrySize(&reader_), "wb");
    return kRarFormat.ExtractEntry(&reader_, output_);
  }
  std::string Output() const {
    return std::string(reinterpret_cast<const char*>(output_->data), output_->length);
  }
  ArchiveReader& reader() { return reader_; }

  // Names of every entry the walk yields.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int end = First(); end == 0; end = Next()) names.push_back(Name());
    return names;
  }

 private:
  std::vector<uint8_t> archive_;
  ArchiveInput* input_ = nullptr;
  MemoryStream* output_ = nullptr;
  ArchiveReader reader_{};
};
