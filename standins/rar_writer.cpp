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
  file.data = entry.data;
  if (entry.damaged && !file.data.empty()) {
    file.crc_from_data = false;
    file.file_crc = rarblocks::Crc32(entry.data);
    file.data[0] ^= 0xFF;
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
