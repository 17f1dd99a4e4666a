#include "standins/rescue_archives.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "standins/rar_block_writer.h"
#include "standins/rar_writer.h"

namespace rescue_archives {
namespace {

const char* const kArchives[] = {"scanner.zip", "system.zip"};

bool Known(const std::string& archive) {
  return archive.empty() || archive == kArchives[0] || archive == kArchives[1];
}

std::vector<rar_writer::Entry> Contents(const std::string& archive,
                                        const std::filesystem::path& installer,
                                        const std::filesystem::path& tree, const Faults& faults) {
  const bool scanner = archive == kArchives[0];
  std::vector<rar_writer::Entry> entries;
  if (scanner) {
    if (faults.broken_installer) {
      rar_writer::Entry fake;
      fake.name = "ColdInstall.exe";
      const std::string text = "this is not a program\r\n";
      fake.data.assign(text.begin(), text.end());
      entries.push_back(fake);
    } else {
      entries.push_back(rar_writer::EntryFromFile(installer, "ColdInstall.exe"));
    }
    if (faults.installer_pause_ms) {
      rar_writer::Entry pause;
      pause.name = "ColdInstall.pause";
      const std::string text = std::to_string(faults.installer_pause_ms);
      pause.data.assign(text.begin(), text.end());
      entries.push_back(pause);
    }
    if (!faults.installer_gate.empty()) {
      rar_writer::Entry gate;
      gate.name = "ColdInstall.gate";
      gate.data.assign(faults.installer_gate.begin(), faults.installer_gate.end());
      entries.push_back(gate);
    }
  }
  if (!faults.no_rescue_system) {
    auto part = rar_writer::EntriesFromTree(tree / (scanner ? "scanner" : "system"), "");
    entries.insert(entries.end(), part.begin(), part.end());
  } else if (!scanner) {
    // An archive needs an entry to be whole.
    rar_writer::Entry note;
    note.name = "README.txt";
    const std::string text = "no rescue system in this build\r\n";
    note.data.assign(text.begin(), text.end());
    entries.push_back(note);
  }
  if (faults.climbing == archive) {
    rar_writer::Entry climber;
    climber.name = "..\\escaped.txt";
    const std::string text = "written outside the working folder\r\n";
    climber.data.assign(text.begin(), text.end());
    entries.push_back(climber);
  }
  // Compressed as archives of a real rescue system are: executables through the x86 filter,
  // text as PPMd, what does not shrink stored.
  for (auto& entry : entries) entry.method = rar_writer::Method::kCompressed;
  if (faults.damaged == archive) {
    for (auto& entry : entries) {
      if (!entry.directory && !entry.data.empty()) {
        entry.damaged = true;
        break;
      }
    }
  }
  return entries;
}

// The large entry's bytes, piece by piece: the same for every run.
class LargeContent {
 public:
  static constexpr std::size_t kPiece = 1 << 20;
  explicit LargeContent(unsigned long long size) : left_(size) {}
  // The next piece (empty at the end).
  const std::vector<std::uint8_t>& Next() {
    piece_.resize(left_ < kPiece ? static_cast<std::size_t>(left_) : kPiece);
    for (std::size_t i = 0; i < piece_.size(); ++i) {
      state_ ^= state_ << 13;
      state_ ^= state_ >> 7;
      state_ ^= state_ << 17;
      piece_[i] = static_cast<std::uint8_t>(state_ >> 32);
    }
    left_ -= piece_.size();
    return piece_;
  }

 private:
  unsigned long long left_;
  std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
  std::vector<std::uint8_t> piece_;
};

// Writes the large entry (header, then its data in pieces) where `out` stands.
void WriteLargeEntry(std::ofstream& out, unsigned long long size) {
  std::uint32_t crc = 0;
  LargeContent content(size);
  for (const auto* piece = &content.Next(); !piece->empty(); piece = &content.Next())
    crc = rarblocks::Crc32(piece->data(), piece->size(), crc);
  rarblocks::FileEntry large;
  large.name = "large.img";
  large.flags = size >> 32 ? 0x100 : 0;  // high halves of both sizes follow
  large.pack_size_from_data = large.unp_size_from_data = large.crc_from_data = false;
  large.pack_size = large.unp_size = static_cast<std::uint32_t>(size);
  large.high_pack_size = large.high_unp_size = static_cast<std::uint32_t>(size >> 32);
  large.file_crc = crc;
  rarblocks::Writer header;
  header.File(large);
  out.write(reinterpret_cast<const char*>(header.bytes.data()),
            static_cast<std::streamsize>(header.bytes.size()));
  LargeContent again(size);
  for (const auto* piece = &again.Next(); !piece->empty(); piece = &again.Next())
    out.write(reinterpret_cast<const char*>(piece->data()),
              static_cast<std::streamsize>(piece->size()));
}

}  // namespace

void Write(const std::filesystem::path& folder, const std::filesystem::path& installer,
           const std::filesystem::path& tree, const Faults& faults) {
  if (!Known(faults.damaged) || !Known(faults.climbing) || !Known(faults.cut))
    throw std::runtime_error("faults name an archive other than scanner.zip and system.zip");
  for (const char* archive : kArchives) {
    auto bytes = rar_writer::BuildArchive(Contents(archive, installer, tree, faults));
    if (faults.cut == archive) {
      // Past the marker and main header (20 bytes), the first file block: HEAD_SIZE at +5,
      // its packed size at +7; ten bytes into the block after it.
      const std::size_t first = 20;
      const std::size_t head = bytes[first + 5] | bytes[first + 6] << 8;
      const std::size_t packed = bytes[first + 7] | bytes[first + 8] << 8 | bytes[first + 9] << 16 |
                                 std::size_t{bytes[first + 10]} << 24;
      bytes.resize(first + head + packed + 10);
    }
    std::ofstream out(folder / archive, std::ios::binary | std::ios::trunc);
    // The large entry goes last, before the end block (the archive's last 7 bytes).
    const bool large = faults.large_entry_bytes != 0 && archive == kArchives[1];
    const std::size_t end_block = large ? 7 : 0;
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size() - end_block));
    if (large) {
      WriteLargeEntry(out, faults.large_entry_bytes);
      out.write(reinterpret_cast<const char*>(bytes.data() + bytes.size() - end_block),
                static_cast<std::streamsize>(end_block));
    }
    out.close();
    if (!out) throw std::runtime_error("cannot write " + (folder / archive).u8string());
  }
}

}  // namespace rescue_archives
