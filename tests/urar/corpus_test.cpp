// The real corpus through the six exports: what the walk yields, that every entry ends with a
// defined code, and that stored entries decode to their checksum and the peers' output.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tests/urar/corpus.h"
#include "urar/urar.h"

namespace {

// Archives whose walk ends before the manifest's list does, by the walk's own rules.
const std::map<std::string, std::string>& WalkExceptions() {
  static const std::map<std::string, std::string> exceptions = {
#include "tests/urar/corpus_walk_exceptions.inc"
  };
  return exceptions;
}

bool IsHex(const std::string& s) {
  return s.size() == 8 && s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

TEST(Corpus, WalkYieldsTheManifestsFileEntries) {
  for (const std::string& archive : ManifestArchives()) {
    std::vector<std::string> expected;
    for (const ManifestRow* row : ManifestRowsOf(archive))
      if (row->has_entry && !row->IsDirectory()) expected.push_back(row->name);
    std::vector<std::string> got;
    for (const ExtractedEntry& e : ExtractAll(ReadFixture(archive))) got.push_back(e.name);
    auto exception = WalkExceptions().find(archive);
    if (exception == WalkExceptions().end()) {
      EXPECT_EQ(got, expected) << archive;
    } else {
      // The walk ends early: what it yields is a prefix of the list.
      ASSERT_LE(got.size(), expected.size()) << archive;
      EXPECT_LT(got.size(), expected.size())
          << archive << " is no longer an exception (" << exception->second << ")";
      EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin())) << archive;
    }
  }
}

TEST(Corpus, AnArchiveThatCameOutWholeEndsClean) {
  // Whole: the walk yielded the manifest's list and no entry belongs to a volume set. A false
  // "cut" here would fail the program's unpacking of a good archive.
  // Crafted archives whose blocks do not add up, though every entry comes out.
  const std::set<std::string> damaged = {
      "junrar-mkdir-escape.rar",                       // a file header without the data flag
      "libarchive-test_read_format_rar_invalid1.rar",  // its entry's data run past the end
      "sharpcompress-Rar.malformed_512byte.rar",       // damaged blocks after the entry
  };
  int whole = 0;
  for (const std::string& archive : ManifestArchives()) {
    if (WalkExceptions().count(archive) || damaged.count(archive)) continue;
    bool in_volume_set = false;
    for (const ManifestRow* row : ManifestRowsOf(archive))
      in_volume_set |= (row->flags & 0x03) != 0;
    int32_t end = -1;
    std::vector<ExtractedEntry> entries = ExtractAll(ReadFixture(archive), 0, &end);
    if (in_volume_set || entries.empty()) continue;
    ++whole;
    EXPECT_EQ(end, URAR_END_CLEAN) << archive;
  }
  EXPECT_GT(whole, 100);
}

TEST(Corpus, EveryEntryEndsWithADefinedCode) {
  const std::set<int32_t> actions = {URAR_OK, URAR_NO_MEMORY, URAR_FAILED, URAR_TOO_LARGE};
  const std::set<int32_t> errors = {0, 1, 2, 3, 6, 7, 8};
  for (const std::string& archive : ManifestArchives())
    for (const ExtractedEntry& e : ExtractAll(ReadFixture(archive))) {
      EXPECT_TRUE(actions.count(e.action)) << archive << ": " << e.name << " -> " << e.action;
      EXPECT_TRUE(errors.count(e.last_error))
          << archive << ": " << e.name << " -> " << e.last_error;
    }
}

TEST(Corpus, StoredEntriesMatchTheirChecksumAndThePeers) {
  int checked = 0;
  for (const std::string& archive : ManifestArchives()) {
    std::vector<ExtractedEntry> entries = ExtractAll(ReadFixture(archive));
    size_t i = 0;
    for (const ManifestRow* row : ManifestRowsOf(archive)) {
      if (!row->has_entry || row->IsDirectory()) continue;
      if (i >= entries.size()) break;
      const ExtractedEntry& e = entries[i++];
      bool plain_stored = row->method == 0x30 && !(row->flags & 0x07);
      if (!plain_stored) continue;
      EXPECT_EQ(e.action, URAR_OK)
          << archive << ": " << e.name << " last error " << e.last_error << " " << e.fail_site;
      ++checked;
      if (row->HasFeature("fmt-rar14")) continue;  // a 16-bit sum, which the library compared
      EXPECT_EQ(e.crc, row->file_crc) << archive << ": " << e.name;
      // Peers make symbolic links of link entries rather than returning their stored bytes.
      for (const std::string* peer : {&row->peer_bsdtar, &row->peer_unarr, &row->peer_unar})
        if (IsHex(*peer) && !row->HasFeature("symlink"))
          EXPECT_EQ(e.crc, std::stoul(*peer, nullptr, 16)) << archive << ": " << e.name;
    }
  }
  EXPECT_GT(checked, 50);
}

TEST(Corpus, OldFormatStoredEntryUsesTheSixteenBitSum) {
  std::vector<ExtractedEntry> entries = ExtractAll(ReadFixture("corkami-rar14.rar"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "RAR14.TXT");
  EXPECT_EQ(entries[0].action, URAR_OK);
  EXPECT_EQ(entries[0].data.size(), 7u);
}
