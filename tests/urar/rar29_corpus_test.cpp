// RAR 2.9 entries of the real corpus: checksums and peers, solid archives, every filter kind the
// corpus holds (also with every filter program interpreted), damaged and cut archives.
#include <gtest/gtest.h>

#include <map>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/urar/corpus.h"
#include "tests/urar/test_archives.h"
#include "urar/common/extract_result.h"
#include "urar/urar.h"

namespace {

bool PeerDecoded(const ManifestRow& row) {
  char hex[9];
  snprintf(hex, sizeof hex, "%08x", row.file_crc);
  for (const std::string* peer : {&row.peer_bsdtar, &row.peer_unarr, &row.peer_unar})
    if (*peer == hex) return true;
  return false;
}

// Entries no peer decodes, and what this library gives for them.
const std::map<std::string, int32_t>& Unpeered() {
  static const std::map<std::string, int32_t> results = {
      // An audio filter whose program is not the standard one: interpreted, it does not give
      // the original file (the checksum says so).
      {"junrar-audio-filter-noncanonical.rar/BoatModernEnglish.wav", kExtractBadData},
      {"junrar-as-vm-1-trigger.rar/AS_VM_1.BIN", kExtractBadData},
      {"junrar-channel-flood.rar/test-documents\\testEXCEL.xls", kExtractBadData},
      {"junrar-filter-flood.rar/test-documents\\testEXCEL.xls", kExtractBadData},
      {"junrar-hostile-ppm-decodechar.rar/final_payload.txt", kExtractBadData},
      {"junrar-hostile-ppm-ps-collect.rar/final_payload.txt", kExtractBadData},
      {"junrar-hostile-ppm-ps-count.rar/final_payload.txt", kExtractBadData},
      {"junrar-hostile-ppm-ps-mask.rar/final_payload.txt", kExtractBadData},
      {"libarchive-test_read_format_rar_invalid1.rar/test", kExtractBadData},
      {"unrarkit-Modified_CRC_Archive.rar/README.md", kExtractBadData},
      {"sharpcompress-Rar.malformed_512byte.rar/dist\\files\\bin\\res\\common.pak",
       kExtractTruncated},
  };
  return results;
}

// Every entry of `archive` extracted through the reader, with filter programs run natively or
// all interpreted.
std::vector<std::pair<int, std::string>> ExtractWithReader(const std::string& archive,
                                                           bool interpret_all) {
  TestReader r(ReadFixture(archive));
  r.reader().interpret_all_filters = interpret_all;
  std::vector<std::pair<int, std::string>> out;
  for (int end = r.First(); end == 0; end = r.Next()) {
    int result = r.Extract();
    out.emplace_back(result, r.Output());
  }
  return out;
}

}  // namespace

TEST(Rar29Corpus, EntriesDecodeToTheirChecksumAndThePeersOutput) {
  int checked = 0;
  for (const std::string& archive : ManifestArchives()) {
    std::vector<const ManifestRow*> rows = ManifestRowsOf(archive);
    std::vector<ExtractedEntry> entries;
    size_t next = 0;
    for (const ManifestRow* row : rows) {
      if (!row->has_entry || row->IsDirectory()) continue;
      if (entries.empty() && next == 0) entries = ExtractAll(ReadFixture(archive));
      if (next >= entries.size()) break;
      const ExtractedEntry& e = entries[next++];
      if (!row->HasFeature("algo-rar29") || row->HasFeature("encrypted") ||
          row->HasFeature("split-after") || row->HasFeature("split-before")) {
        continue;
      }
      ASSERT_EQ(e.name, row->name) << archive;
      std::string key = archive + "/" + row->name;
      if (PeerDecoded(*row)) {
        EXPECT_EQ(e.last_error, kExtractOk) << key;
        EXPECT_EQ(e.crc, row->file_crc) << key;
        ++checked;
      } else {
        auto known = Unpeered().find(key);
        ASSERT_NE(known, Unpeered().end()) << key << " gives " << e.last_error;
        EXPECT_EQ(e.last_error, known->second) << key;
      }
    }
  }
  EXPECT_GT(checked, 100);
}

TEST(Rar29Corpus, StandardFilterProgramsInterpretedGiveTheNativeBytes) {
  // E8, E8E9 and delta; delta and audio; audio; delta in a multi-entry archive.
  for (const char* archive :
       {"libarchive-test_read_format_rar_filter.rar", "sharpcompress-Rar.Audio_program.rar",
        "unarr-silent_rar4_audio.rar", "junrar-tika-documents.rar"}) {
    auto native = ExtractWithReader(archive, false);
    auto interpreted = ExtractWithReader(archive, true);
    ASSERT_EQ(native.size(), interpreted.size()) << archive;
    ASSERT_FALSE(native.empty()) << archive;
    for (size_t i = 0; i < native.size(); i++) {
      EXPECT_EQ(native[i].first, kExtractOk) << archive << " #" << i;
      EXPECT_EQ(interpreted[i].first, kExtractOk) << archive << " #" << i;
      EXPECT_TRUE(native[i].second == interpreted[i].second) << archive << " #" << i;
    }
  }
}

TEST(Rar29Corpus, ArchiveCutInsidePackedDataEndsTheEntryCleanly) {
  // The first entry's packed data (LZ, then PPMd) are cut at several points: the entry ends with
  // 6 (input ran out) or 8 (the decoder stopped first), never with success.
  for (const char* archive :
       {"libarchive-test_read_format_rar_compress_best.rar", "junrar-preserved-maxmb0.rar"}) {
    std::vector<uint8_t> whole = ReadFixture(archive);
    for (size_t cut : {size_t(100), size_t(1000), whole.size() / 2, whole.size() - 40}) {
      std::vector<uint8_t> part(whole.begin(), whole.begin() + cut);
      for (const ExtractedEntry& e : ExtractAll(part)) {
        if (e.last_error == kExtractOk) continue;  // entries wholly before the cut
        EXPECT_TRUE(e.last_error == kExtractTruncated || e.last_error == kExtractBadData)
            << archive << " cut at " << cut << ": " << e.name << " -> " << e.last_error;
      }
    }
  }
}

TEST(Rar29Corpus, RefusedPpmdModelMemoryEndsTheEntryWith8) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit cannot be combined with the address sanitizer";
#else
  // The entry asks for a 256 MB model; a child process whose address space cannot grow that much
  // extracts it, then a stored entry appended after it through the same handle.
  std::vector<uint8_t> archive = ReadFixture("junrar-hostile-maxmb255.rar");
  archive.resize(archive.size() - 7);  // the end-of-archive block
  rarblocks::Writer tail;
  tail.File(Stored("after", "next")).EndOfArchive();
  archive.insert(archive.end(), tail.bytes.begin(), tail.bytes.end());

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    if (FILE* f = fopen("/proc/self/statm", "r")) {
      if (fscanf(f, "%ld", &pages) != 1) pages = 0;
      fclose(f);
    }
    rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (96u << 20);
    struct rlimit r = {limit, limit};
    if (pages == 0 || setrlimit(RLIMIT_AS, &r) != 0) _exit(2);
    std::vector<ExtractedEntry> entries = ExtractAll(archive);
    bool ok = entries.size() == 2 && entries[0].last_error == kExtractBadData &&
              entries[1].last_error == kExtractOk && entries[1].data == Bytes("next");
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // Without the limit the same archive decodes.
  std::vector<ExtractedEntry> entries = ExtractAll(archive);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].last_error, kExtractOk);
#endif
}
