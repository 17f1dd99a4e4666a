// Every RAR 2.0 compressed entry of the real corpus through the six exports: sound entries
// decode to their FILE_CRC and to what the unarr peer produced; refused and cut entries end
// with their codes.
#include <gtest/gtest.h>

#include <string>

#include "tests/urar/corpus.h"
#include "urar/common/extract_result.h"
#include "urar/urar.h"

namespace {

bool IsHex(const std::string& s) {
  return s.size() == 8 && s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

bool IsRar20Compressed(const ManifestRow& row) {
  return row.has_entry && !row.IsDirectory() && row.unp_ver >= 16 && row.unp_ver <= 28 &&
         row.method != 0x30;
}

}  // namespace

TEST(Rar20Corpus, EveryEntryDecodesToItsChecksumAndThePeersOutput) {
  int sound = 0, audio = 0;
  for (const std::string& archive : ManifestArchives()) {
    std::vector<const ManifestRow*> rows;
    for (const ManifestRow* row : ManifestRowsOf(archive))
      if (row->has_entry && !row->IsDirectory()) rows.push_back(row);
    bool any = false;
    for (const ManifestRow* row : rows) any = any || IsRar20Compressed(*row);
    if (!any) continue;

    std::vector<ExtractedEntry> entries = ExtractAll(ReadFixture(archive));
    for (size_t i = 0; i < rows.size() && i < entries.size(); i++) {
      const ManifestRow& row = *rows[i];
      const ExtractedEntry& e = entries[i];
      if (!IsRar20Compressed(row)) continue;
      std::string where = archive + ": " + row.name;
      if (row.flags & 0x04) {
        EXPECT_EQ(e.last_error, kExtractEncrypted) << where;
      } else if (row.flags & 0x02) {
        EXPECT_EQ(e.last_error, kExtractTruncated) << where << " continues in a next volume";
      } else if (row.HasFeature("crafted-or-damaged-by-name")) {
        EXPECT_NE(e.action, URAR_OK) << where;  // their FILE_CRC of 0 fits no output
      } else {
        EXPECT_EQ(e.action, URAR_OK) << where << " last error " << e.last_error;
        EXPECT_EQ(e.data.size(), row.unp_size) << where;
        EXPECT_EQ(e.crc, row.file_crc) << where;
        if (IsHex(row.peer_unarr))
          EXPECT_EQ(e.crc, std::stoul(row.peer_unarr, nullptr, 16)) << where;
        sound++;
        audio += row.HasFeature("rar20-audio");
      }
    }
  }
  EXPECT_GE(sound, 99);  // the sound RAR 2.0 entries of the corpus
  EXPECT_EQ(audio, 2);   // the wave file and the multimedia entry of the zxtune set
}

// 87 entries at best compression, where one peer fails on 20 of them.
TEST(Rar20Corpus, EveryEntryOfTheBestCompressedSetDecodes) {
  std::vector<ExtractedEntry> entries = ExtractAll(ReadFixture("zxtune-AY.RAR"));
  ASSERT_EQ(entries.size(), 87u);
  for (const ExtractedEntry& e : entries) EXPECT_EQ(e.action, URAR_OK) << e.name;
}
