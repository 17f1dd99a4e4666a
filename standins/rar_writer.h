// Builds RAR archives in the 1.5-3.x block format: the marker block, a main header, one file
// header per entry (followed by its data, stored or RAR 2.9 compressed) and an end-of-archive
// block. Folders appear as directory entries and inside names, separated by `\`. Entries are never
// solid, so every reader can take them one by one.
//
// Used for the archives the stand-in rescue-disk server serves and by tests that need a real
// archive of a folder tree; the block encoding itself is rar_block_writer.h's.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "standins/rar29_encoder/rar29_encoder.h"

namespace rar_writer {

enum class Method {
  kStored,
  // RAR 2.9: in `blocks` when given, else in blocks chosen by content, and then stored instead
  // when that would not make the entry smaller.
  kCompressed,
};

struct Entry {
  std::string name;  // stored name bytes; `\` separates folders
  std::vector<std::uint8_t> data;
  bool directory = false;
  // Packs the data with its first byte inverted while the header keeps the CRC-32 of the
  // original: a damaged entry whose full length is still present.
  bool damaged = false;
  Method method = Method::kStored;
  std::vector<rar29enc::Block> blocks;
};

// The whole archive for `entries`, in the given order.
std::vector<std::uint8_t> BuildArchive(const std::vector<Entry>& entries);

// The same archive written to `out` an entry at a time, for archives larger than memory should
// hold: the constructor writes the marker and main header, Add one entry, Finish the end block.
class ArchiveStream {
 public:
  explicit ArchiveStream(std::ostream& out);
  void Add(const Entry& entry);
  void Finish();

 private:
  std::ostream& out_;
};

// Every folder and file below `root` as entries named `prefix` + relative path (with `\`),
// folders before their contents, in name order so the output is reproducible. A non-empty
// `prefix` also gets its own directory entry and should end in `\`.
std::vector<Entry> EntriesFromTree(const std::filesystem::path& root, const std::string& prefix);

// One file's bytes as an entry named `name`; throws std::runtime_error when it cannot be read.
Entry EntryFromFile(const std::filesystem::path& file, const std::string& name);

}  // namespace rar_writer
