#include "standins/rar_writer.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "standins/rar_block_writer.h"

namespace rar_writer {
namespace {

constexpr std::uint16_t kDirectoryFlags = 0x00E0;  // dictionary bits all set: a folder
constexpr std::uint32_t kAttrArchive = 0x20;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint8_t kStoredVersion = 20;
constexpr std::uint8_t kCompressedVersion = 29;
constexpr std::uint8_t kMethodStored = 0x30, kMethodNormal = 0x33;

// The dictionary bits of a file header (64 KB << d, d up to 6 for 4 MB): the smallest that spans
// the entry, as far as the 4 MB window goes.
std::uint16_t DictionaryFlags(std::size_t size) {
  std::uint16_t d = 0;
  while (d < 6 && (std::size_t{0x10000} << d) < size) d++;
  return std::uint16_t(d << 5);
}

// Packs the data compressed, or leaves it stored (false) when the entry asks for that or, with
// blocks left to the content, when compression would not make it smaller.
bool Compress(const Entry& entry, const std::vector<std::uint8_t>& data,
              rarblocks::FileEntry* file) {
  if (entry.method == Method::kStored) return false;
  std::vector<rar29enc::Block> blocks = entry.blocks;
  if (blocks.empty()) blocks = rar29enc::ChooseBlocks(data.data(), data.size());
  if (blocks.empty() && !data.empty()) return false;
  std::vector<std::uint8_t> packed = rar29enc::Compress(data.data(), data.size(), blocks);
  if (entry.blocks.empty() && packed.size() >= data.size()) return false;
  file->data = std::move(packed);
  file->unp_ver = kCompressedVersion;
  file->method = kMethodNormal;
  file->flags |= DictionaryFlags(data.size());
  return true;
}

rarblocks::FileEntry Encode(const Entry& entry) {
  if (entry.name.empty() || entry.name.size() > 0xFFFF)
    throw std::invalid_argument("entry name must hold 1 to 65535 bytes");
  if (entry.data.size() > 0xFFFFFFFFu) throw std::invalid_argument("entry over 4 GiB");
  rarblocks::FileEntry file;
  file.name = entry.name;
  file.unp_ver = kStoredVersion;
  if (entry.directory) {
    file.flags |= kDirectoryFlags;
    file.attr = kAttrDirectory;
    return file;
  }
  file.attr = kAttrArchive;
  std::vector<std::uint8_t> data = entry.data;
  if (entry.damaged && !data.empty()) data[0] ^= 0xFF;
  file.unp_size_from_data = false;
  file.unp_size = static_cast<std::uint32_t>(data.size());
  file.crc_from_data = false;
  file.file_crc = rarblocks::Crc32(entry.data);
  if (!Compress(entry, data, &file)) {
    file.method = kMethodStored;
    file.data = std::move(data);
  }
  return file;
}

std::string StoredName(const std::filesystem::path& relative) {
  std::string name = relative.generic_u8string();
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

}  // namespace

std::vector<std::uint8_t> BuildArchive(const std::vector<Entry>& entries) {
  rarblocks::Writer writer;
  writer.Marker().MainHeader();
  for (const Entry& entry : entries) writer.File(Encode(entry));
  writer.EndOfArchive();
  return std::move(writer.bytes);
}

namespace {

void Flush(rarblocks::Writer& writer, std::ostream& out) {
  out.write(reinterpret_cast<const char*>(writer.bytes.data()),
            std::streamsize(writer.bytes.size()));
  if (!out) throw std::runtime_error("cannot write the archive");
}

}  // namespace

ArchiveStream::ArchiveStream(std::ostream& out) : out_(out) {
  rarblocks::Writer writer;
  writer.Marker().MainHeader();
  Flush(writer, out_);
}

void ArchiveStream::Add(const Entry& entry) {
  rarblocks::Writer writer;
  writer.File(Encode(entry));
  Flush(writer, out_);
}

void ArchiveStream::Finish() {
  rarblocks::Writer writer;
  writer.EndOfArchive();
  Flush(writer, out_);
}

std::vector<Entry> EntriesFromTree(const std::filesystem::path& root, const std::string& prefix) {
  std::vector<std::filesystem::path> paths;
  for (const auto& item : std::filesystem::recursive_directory_iterator(root))
    paths.push_back(item.path());
  // Paths compare component by component, so every folder sorts before its contents.
  std::sort(paths.begin(), paths.end());

  std::vector<Entry> entries;
  if (!prefix.empty()) {
    Entry folder;
    folder.name = prefix.back() == '\\' ? prefix.substr(0, prefix.size() - 1) : prefix;
    folder.directory = true;
    entries.push_back(folder);
  }
  for (const auto& path : paths) {
    const std::string name = prefix + StoredName(std::filesystem::relative(path, root));
    if (std::filesystem::is_directory(path)) {
      Entry folder;
      folder.name = name;
      folder.directory = true;
      entries.push_back(folder);
    } else {
      entries.push_back(EntryFromFile(path, name));
    }
  }
  return entries;
}

Entry EntryFromFile(const std::filesystem::path& file, const std::string& name) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.u8string());
  Entry entry;
  entry.name = name;
  entry.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + file.u8string());
  return entry;
}

}  // namespace rar_writer
