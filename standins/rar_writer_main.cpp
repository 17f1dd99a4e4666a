// Command-line front of the RAR writer:
//   rar_writer OUT.rar [--tree DIR[=PREFIX]]... [--file NAME=PATH]... [--damage NAME]...
// --tree adds a folder tree (entries named PREFIX + relative path), --file adds one file under a
// stored name of your choice (any bytes, `..\x` included: hostile archives are wanted too),
// --damage stores the named entry with a corrupted first byte but its original CRC-32.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>

#include "standins/rar_writer.h"

namespace {

std::pair<std::string, std::string> SplitAt(const std::string& text, char separator) {
  const std::size_t at = text.find(separator);
  if (at == std::string::npos) return {text, std::string()};
  return {text.substr(0, at), text.substr(at + 1)};
}

int Usage() {
  std::fprintf(stderr,
               "usage: rar_writer OUT.rar [--tree DIR[=PREFIX]]... [--file NAME=PATH]... "
               "[--damage NAME]...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::vector<rar_writer::Entry> entries;
  std::set<std::string> damage;
  try {
    for (int i = 2; i < argc; ++i) {
      const std::string option = argv[i];
      if (i + 1 >= argc) return Usage();
      const std::string value = argv[++i];
      if (option == "--tree") {
        auto [dir, prefix] = SplitAt(value, '=');
        auto tree = rar_writer::EntriesFromTree(dir, prefix);
        entries.insert(entries.end(), tree.begin(), tree.end());
      } else if (option == "--file") {
        auto [name, path] = SplitAt(value, '=');
        if (name.empty() || path.empty()) return Usage();
        entries.push_back(rar_writer::EntryFromFile(path, name));
      } else if (option == "--damage") {
        damage.insert(value);
      } else {
        return Usage();
      }
    }
    for (auto& entry : entries) {
      if (damage.erase(entry.name)) entry.damaged = true;
    }
    if (!damage.empty()) throw std::runtime_error("no entry named " + *damage.begin());

    const auto archive = rar_writer::BuildArchive(entries);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(archive.data()),
              static_cast<std::streamsize>(archive.size()));
    out.close();
    if (!out) throw std::runtime_error(std::string("cannot write ") + argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "rar_writer: %s\n", error.what());
    return 1;
  }
  return 0;
}
