// The real-archive corpus: its manifest, and whole-archive extraction through the six exports.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ManifestRow {
  std::string archive;
  std::string name;        // the raw name bytes up to the first zero (as the library yields it)
  bool has_entry = false;  // false for archives the manifest lists without readable entries
  uint32_t unp_size = 0;
  int unp_ver = 0;
  int method = 0;
  uint32_t flags = 0;
  uint32_t file_crc = 0;
  std::string peer_bsdtar, peer_unarr, peer_unar, features;
  bool HasFeature(const std::string& token) const;
  bool IsDirectory() const;
};

struct ExtractedEntry {
  std::string name;
  int32_t action = 0;  // URARDoAction result
  int32_t last_error = 0;
  int32_t declared_size = 0;
  std::vector<uint8_t> data;  // filled for results 0 and 7 (what the data buffer holds)
  uint32_t crc = 0;           // CRC-32 of data
  std::string fail_site;      // debug builds: the library check that failed the extraction
};

std::string FixturePath(const std::string& archive);
std::vector<uint8_t> ReadFixture(const std::string& archive);
const std::vector<ManifestRow>& Manifest();
std::vector<std::string> ManifestArchives();
std::vector<const ManifestRow*> ManifestRowsOf(const std::string& archive);
// Every entry the library yields for the buffer, in order (size_limit 0 = none).
// Every entry through the exports; `end`, when given, receives why the walk ended.
std::vector<ExtractedEntry> ExtractAll(const std::vector<uint8_t>& archive, uint32_t size_limit = 0,
                                       int32_t* end = nullptr);
