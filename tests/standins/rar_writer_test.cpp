// The RAR writer's archives as independent readers see them: bsdtar, unar and unarr must extract
// them byte for byte, stored and compressed (and unar must notice a damaged entry), and the
// extraction library must yield every file of the served rescue archives.
#include <gtest/gtest.h>
#include <unarr.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "standins/rar_writer.h"
#include "standins/rescue_archives.h"
#include "standins/sample_content.h"
#include "urar/urar.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::vector<std::uint8_t>>;  // '/'-separated name -> bytes

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
  return data;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Files FilesBelow(const fs::path& root) {
  Files files;
  for (const auto& item : fs::recursive_directory_iterator(root))
    if (item.is_regular_file())
      files[fs::relative(item.path(), root).generic_string()] = ReadBytes(item.path());
  return files;
}

class ScratchFolder {
 public:
  ScratchFolder() {
    path_ =
        fs::temp_directory_path() /
        ("rar_writer_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchFolder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

int RunQuietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

// What each peer extracts from the archive, as files below a folder of its own.
Files ExtractWith(const std::string& peer, const fs::path& archive, const fs::path& scratch) {
  const fs::path out = scratch / peer;
  fs::create_directories(out);
  const std::string command =
      peer == "bsdtar" ? "bsdtar -xf '" + archive.string() + "' -C '" + out.string() + "'"
                       : "unar -q -f -D -o '" + out.string() + "' '" + archive.string() + "'";
  EXPECT_EQ(RunQuietly(command), 0) << command;
  return FilesBelow(out);
}

// Every entry, checking that the walk ended as `end` says (a whole archive ends clean).
Files ExtractWithLibrary(const std::vector<std::uint8_t>& archive, int32_t end = URAR_END_CLEAN) {
  Files files;
  URARHandle* handle = URARInitialize(0, archive.data(), static_cast<int32_t>(archive.size()));
  EXPECT_NE(handle, nullptr);
  for (int32_t status; (status = URARDoAction(handle)) != URAR_END;) {
    char name[260];
    EXPECT_EQ(URARGetBuffer(handle, URAR_BUFFER_NAME, name, sizeof name), URAR_OK);
    EXPECT_EQ(status, URAR_OK) << name;
    int32_t size = 0;
    URARGetSizeBuffer(handle, URAR_BUFFER_DATA, &size);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    char none = 0;
    EXPECT_EQ(URARGetBuffer(handle, URAR_BUFFER_DATA,
                            size ? static_cast<void*>(data.data()) : &none, size),
              URAR_OK);
    std::string key = name;
    std::replace(key.begin(), key.end(), '\\', '/');
    files[key] = data;
  }
  EXPECT_EQ(URARGetLastError(handle), end);
  URARFinalize(handle);
  return files;
}

// What unarr extracts, in process (it has no command-line front); names as it gives them.
Files ExtractWithUnarr(const std::vector<std::uint8_t>& archive) {
  Files files;
  ar_stream* stream = ar_open_memory(archive.data(), archive.size());
  ar_archive* ar = stream ? ar_open_rar_archive(stream) : nullptr;
  EXPECT_NE(ar, nullptr);
  while (ar && ar_parse_entry(ar)) {
    const char* name = ar_entry_get_name(ar);
    std::vector<std::uint8_t> data(ar_entry_get_size(ar));
    EXPECT_TRUE(ar_entry_uncompress(ar, data.data(), data.size())) << name;
    files[name] = data;
  }
  EXPECT_TRUE(ar == nullptr || ar_at_eof(ar));
  if (ar) ar_close_archive(ar);
  if (stream) ar_close(stream);
  return files;
}

TEST(RarWriter, PeersExtractWhatItWrites) {
  ScratchFolder scratch;
  std::vector<rar_writer::Entry> entries(6);
  entries[0].name = "boot";
  entries[0].directory = true;
  entries[1] = {"boot\\config.txt", Bytes("DEFAULT rescue\n")};
  entries[2] = {"boot\\deep\\image.bin", Pattern(70000)};
  entries[3] = {"empty.dat", {}};
  entries[4] = {"top.txt", Bytes("top")};
  entries[5] = {"boot\\after.bin", Pattern(4097)};
  const fs::path archive = scratch.path() / "sample.rar";
  WriteBytes(archive, rar_writer::BuildArchive(entries));

  const Files expected = {{"boot/config.txt", entries[1].data},
                          {"boot/deep/image.bin", entries[2].data},
                          {"empty.dat", {}},
                          {"top.txt", entries[4].data},
                          {"boot/after.bin", entries[5].data}};
  for (const std::string peer : {"bsdtar", "unar"})
    EXPECT_EQ(ExtractWith(peer, archive, scratch.path()), expected) << peer;
}

// Compressed entries of every kind: text (PPMd), a real x86 program from the corpus and made-up
// machine code (LZ over the E8 filter), random bytes (left stored), and one entry that switches
// between the kinds inside its packed data. A second archive switches from LZ to PPMd and
// continues a PPMd model after an LZ block; libarchive loses the LZ output at such a switch, so
// bsdtar does not get that one.
TEST(RarWriter, PeersExtractCompressedEntries) {
  ScratchFolder scratch;
  const Files corpus = ExtractWithLibrary(
      ReadBytes(fs::path(PROJECT_SOURCE_DIR) /
                "tests/fixtures/rar/libarchive-test_read_format_rar_filter.rar"));
  const std::vector<std::uint8_t> program = corpus.at("bsdcat.exe");
  const auto text = sample_content::Text(7, 200000);
  const auto code = sample_content::X86Code(8, 300000);
  std::vector<std::uint8_t> mixed = text;
  mixed.insert(mixed.end(), code.begin(), code.end());
  auto block = [](rar29enc::BlockKind kind, std::size_t size, bool new_model = true) {
    rar29enc::Block b;
    b.kind = kind;
    b.size = size;
    b.ppmd.new_model = new_model;
    return b;
  };
  using rar29enc::BlockKind;

  std::vector<rar_writer::Entry> entries = {{"readme.txt", text},
                                            {"bsdcat.exe", program},
                                            {"tool.bin", code},
                                            {"packed.gz", sample_content::Random(9, 50000)},
                                            {"mixed.dat", mixed}};
  entries[4].blocks = {block(BlockKind::kPpmd, 100000), block(BlockKind::kPpmd, 100000),
                       block(BlockKind::kLzX86, 250000), block(BlockKind::kLz, 50000)};
  rar_writer::Entry continued{"continued.dat", mixed};
  continued.blocks = {block(BlockKind::kPpmd, 100000), block(BlockKind::kLz, 50000),
                      block(BlockKind::kPpmd, 50000, false), block(BlockKind::kLzX86, 300000)};

  for (const bool with_continued_model : {false, true}) {
    std::vector<rar_writer::Entry> contents =
        with_continued_model ? std::vector<rar_writer::Entry>{continued} : entries;
    Files expected;
    std::size_t plain = 0;
    for (auto& entry : contents) {
      entry.method = rar_writer::Method::kCompressed;
      expected[entry.name] = entry.data;
      plain += entry.data.size();
    }
    const auto bytes = rar_writer::BuildArchive(contents);
    EXPECT_LT(bytes.size(), plain / 2);
    // Written an entry at a time, the archive is the same to the byte.
    std::ostringstream streamed;
    rar_writer::ArchiveStream stream(streamed);
    for (const auto& entry : contents) stream.Add(entry);
    stream.Finish();
    EXPECT_EQ(streamed.str(), std::string(bytes.begin(), bytes.end()));
    const fs::path archive =
        scratch.path() / (with_continued_model ? "continued.rar" : "kinds.rar");
    WriteBytes(archive, bytes);
    std::vector<std::string> peers = {"unar"};
    if (!with_continued_model) peers.push_back("bsdtar");
    for (const std::string& peer : peers) {
      const Files got = ExtractWith(peer, archive, scratch.path() / archive.stem());
      EXPECT_TRUE(got == expected) << peer << " on " << archive.filename();
    }
    EXPECT_TRUE(ExtractWithUnarr(bytes) == expected) << archive.filename();
    EXPECT_TRUE(ExtractWithLibrary(bytes) == expected) << archive.filename();
  }
}

// Stored or compressed (PPMd text, LZ otherwise), a damaged entry unpacks to its full length
// with the first byte changed, and its checksum fails.
TEST(RarWriter, DamagedEntryKeepsTheOriginalChecksum) {
  ScratchFolder scratch;
  const std::vector<std::uint8_t> text = sample_content::Text(5, 3000);
  for (const auto method : {rar_writer::Method::kStored, rar_writer::Method::kCompressed}) {
    for (const auto& content : {Pattern(3000), text}) {
      std::vector<rar_writer::Entry> entries(2);
      entries[0] = {"good.txt", Bytes("good")};
      entries[1] = {"bad.bin", content};
      entries[1].damaged = true;
      entries[1].method = method;
      const fs::path archive = scratch.path() / "damaged.rar";
      const auto bytes = rar_writer::BuildArchive(entries);
      EXPECT_EQ(bytes.size() < content.size(), method == rar_writer::Method::kCompressed);
      WriteBytes(archive, bytes);

      EXPECT_NE(RunQuietly("unar -q -f -o '" + scratch.path().string() + "/unar' '" +
                           archive.string() + "'"),
                0);
      URARHandle* handle = URARInitialize(0, bytes.data(), static_cast<int32_t>(bytes.size()));
      EXPECT_EQ(URARDoAction(handle), URAR_OK);
      EXPECT_EQ(URARDoAction(handle), URAR_FAILED);
      std::vector<std::uint8_t> data(content.size());
      ASSERT_EQ(URARGetBuffer(handle, URAR_BUFFER_DATA, data.data(), int32_t(data.size())),
                URAR_OK);
      std::vector<std::uint8_t> original = content;
      original[0] ^= 0xFF;
      EXPECT_EQ(data, original);
      URARFinalize(handle);
    }
  }
}

// How each file of an archive is packed, from its file header: METHOD (0x30 stored) and the first
// packed byte, whose top bit marks a RAR 2.9 entry that starts with a PPMd block.
struct Packing {
  std::uint8_t method;
  bool ppmd;
};
std::map<std::string, Packing> PackingOf(const std::vector<std::uint8_t>& archive) {
  std::map<std::string, Packing> out;
  for (std::size_t at = 7; at + 32 <= archive.size();) {
    const std::uint16_t flags = archive[at + 3] | archive[at + 4] << 8;
    const std::size_t head = archive[at + 5] | archive[at + 6] << 8;
    const std::size_t data = flags & 0x8000
                                 ? archive[at + 7] | archive[at + 8] << 8 | archive[at + 9] << 16 |
                                       std::size_t{archive[at + 10]} << 24
                                 : 0;
    if (archive[at + 2] == 0x74 && data > 0) {
      const std::size_t name_size = archive[at + 26] | archive[at + 27] << 8;
      std::string name(archive.begin() + long(at + 32),
                       archive.begin() + long(at + 32 + name_size));
      std::replace(name.begin(), name.end(), '\\', '/');
      out[name] = {archive[at + 25], (archive[at + head] & 0x80) != 0};
    }
    at += head + data;
  }
  return out;
}

// The two served archives together carry the installer and the whole committed rescue system
// below "rescue/", compressed as a real rescue system's archives are (the installer, a real x86
// program here, through the E8 filter; text as PPMd; random stand-ins for binaries stored), and
// every reader gets the same files out; the faults change exactly what they name.
TEST(RescueArchives, CarryTheInstallerAndTheRescueSystem) {
  ScratchFolder scratch;
  const fs::path tree = fs::path(PROJECT_SOURCE_DIR) / "standins" / "rescue_disk";
  const fs::path installer = scratch.path() / "installer.exe";
  const std::vector<std::uint8_t> program =
      ExtractWithLibrary(ReadBytes(fs::path(PROJECT_SOURCE_DIR) /
                                   "tests/fixtures/rar/libarchive-test_read_format_rar_filter.rar"))
          .at("bsdcat.exe");
  WriteBytes(installer, program);
  rescue_archives::Write(scratch.path(), installer, tree);

  Files expected = {{"ColdInstall.exe", program}};
  for (const char* part : {"scanner", "system"})
    for (const auto& [name, bytes] : FilesBelow(tree / part)) expected[name] = bytes;
  Files served;
  for (const char* archive : {"scanner.zip", "system.zip"}) {
    const auto bytes = ReadBytes(scratch.path() / archive);
    Files files = ExtractWithLibrary(bytes);
    served.insert(files.begin(), files.end());
    for (const std::string peer : {"unar", "bsdtar"}) {
      EXPECT_TRUE(ExtractWith(peer, scratch.path() / archive,
                              scratch.path() / ("out-" + std::string(archive))) == files)
          << peer << " on " << archive;
    }
    EXPECT_TRUE(ExtractWithUnarr(bytes) == files) << archive;
  }
  EXPECT_TRUE(served == expected);
  EXPECT_GT(expected.size(), 6u);

  const auto scanner = PackingOf(ReadBytes(scratch.path() / "scanner.zip"));
  const auto system = PackingOf(ReadBytes(scratch.path() / "system.zip"));
  EXPECT_EQ(scanner.at("ColdInstall.exe").method, 0x33);
  EXPECT_FALSE(scanner.at("ColdInstall.exe").ppmd);
  EXPECT_EQ(scanner.at("rescue/scanner/scanner.conf").method, 0x33);
  EXPECT_TRUE(scanner.at("rescue/scanner/scanner.conf").ppmd);
  EXPECT_EQ(scanner.at("rescue/scanner/signatures.dat").method, 0x30);
  EXPECT_TRUE(system.at("rescue/boot/syslinux/syslinux.cfg").ppmd);
}

TEST(RescueArchives, FaultsChangeOnlyWhatTheyName) {
  ScratchFolder scratch;
  const fs::path tree = fs::path(PROJECT_SOURCE_DIR) / "standins" / "rescue_disk";
  const fs::path installer = scratch.path() / "installer.bin";
  WriteBytes(installer, Pattern(100));

  rescue_archives::Faults faults;
  faults.climbing = "system.zip";
  faults.no_rescue_system = true;
  faults.broken_installer = true;
  rescue_archives::Write(scratch.path(), installer, tree, faults);
  Files scanner = ExtractWithLibrary(ReadBytes(scratch.path() / "scanner.zip"));
  ASSERT_EQ(scanner.size(), 1u);
  EXPECT_NE(scanner["ColdInstall.exe"], Pattern(100));
  Files system = ExtractWithLibrary(ReadBytes(scratch.path() / "system.zip"));
  ASSERT_EQ(system.size(), 2u);
  EXPECT_EQ(system.count("README.txt"), 1u);
  EXPECT_EQ(system.count("../escaped.txt"), 1u);

  faults = {};
  faults.damaged = "scanner.zip";
  rescue_archives::Write(scratch.path(), installer, tree, faults);
  EXPECT_NE(RunQuietly("unar -q -f -o '" + (scratch.path() / "x").string() + "' '" +
                       (scratch.path() / "scanner.zip").string() + "'"),
            0);
  EXPECT_EQ(RunQuietly("unar -q -f -o '" + (scratch.path() / "y").string() + "' '" +
                       (scratch.path() / "system.zip").string() + "'"),
            0);

  faults = {};
  faults.cut = "scanner.zip";
  rescue_archives::Write(scratch.path(), installer, tree, faults);
  Files cut = ExtractWithLibrary(ReadBytes(scratch.path() / "scanner.zip"), URAR_END_CUT);
  ASSERT_EQ(cut.size(), 1u) << "only the entry before the cut";
  EXPECT_EQ(cut["ColdInstall.exe"], Pattern(100));
  EXPECT_GT(ExtractWithLibrary(ReadBytes(scratch.path() / "system.zip")).size(), 1u);

  faults = {};
  faults.damaged = "other.zip";
  EXPECT_THROW(rescue_archives::Write(scratch.path(), installer, tree, faults), std::runtime_error);
}

}  // namespace
