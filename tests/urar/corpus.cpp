#include "tests/urar/corpus.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "urar/common/checksum.h"
#include "urar/common/extract_result.h"
#include "urar/urar.h"

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream ss(line);
  for (std::string field; std::getline(ss, field, '\t');) out.push_back(field);
  return out;
}

// Decodes the manifest's Python bytes literal (b'...' with \\, \', \xNN escapes).
std::string DecodeBytesLiteral(const std::string& s) {
  if (s.size() < 3 || s[0] != 'b') return s;
  std::string out;
  for (size_t i = 2; i + 1 < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    char c = s[++i];
    switch (c) {
      case 'x':
        out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
        i += 2;
        break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      default: out += c;
    }
  }
  return out.substr(0, out.find('\0'));
}

}  // namespace

bool ManifestRow::HasFeature(const std::string& token) const {
  std::stringstream ss(features);
  for (std::string f; std::getline(ss, f, ',');)
    if (f == token) return true;
  return false;
}

bool ManifestRow::IsDirectory() const {
  return (flags & 0xE0) == 0xE0 || (unp_ver < 20 && HasFeature("dir"));
}

std::string FixturePath(const std::string& archive) {
  return std::string(PROJECT_SOURCE_DIR) + "/tests/fixtures/rar/" + archive;
}

std::vector<uint8_t> ReadFixture(const std::string& archive) {
  std::ifstream in(FixturePath(archive), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

const std::vector<ManifestRow>& Manifest() {
  static const std::vector<ManifestRow> rows = [] {
    std::vector<ManifestRow> out;
    std::ifstream in(FixturePath("MANIFEST.tsv"));
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
      auto f = SplitTabs(line);
      if (f.size() < 11) continue;
      ManifestRow r;
      r.archive = f[0];
      r.has_entry = f[1] != "-";
      if (r.has_entry) {
        r.name = DecodeBytesLiteral(f[1]);
        r.unp_size = uint32_t(std::stoull(f[2]));
        r.unp_ver = std::stoi(f[3]);
        r.method = std::stoi(f[4], nullptr, 16);
        r.flags = uint32_t(std::stoul(f[5], nullptr, 16));
        r.file_crc = uint32_t(std::stoul(f[6], nullptr, 16));
      }
      r.peer_bsdtar = f[7];
      r.peer_unarr = f[8];
      r.features = f[9];
      r.peer_unar = f[10];
      out.push_back(r);
    }
    return out;
  }();
  return rows;
}

std::vector<std::string> ManifestArchives() {
  std::vector<std::string> names;
  for (const auto& r : Manifest())
    if (names.empty() || names.back() != r.archive) names.push_back(r.archive);
  return names;
}

std::vector<const ManifestRow*> ManifestRowsOf(const std::string& archive) {
  std::vector<const ManifestRow*> rows;
  for (const auto& r : Manifest())
    if (r.archive == archive) rows.push_back(&r);
  return rows;
}

std::vector<ExtractedEntry> ExtractAll(const std::vector<uint8_t>& archive, uint32_t size_limit,
                                       int32_t* end) {
  std::vector<ExtractedEntry> entries;
  static const uint8_t kEmpty = 0;
  URARHandle* h = URARInitialize(size_limit, archive.empty() ? &kEmpty : archive.data(),
                                 int32_t(archive.size()));
  if (h == nullptr) return entries;
  for (int32_t action; (action = URARDoAction(h)) != URAR_END;) {
    ExtractedEntry e;
    e.action = action;
    e.last_error = URARGetLastError(h);
#ifndef NDEBUG
    if (e.last_error != 0) e.fail_site = UrarLastFailSite();
#endif
    int32_t name_size = 0;
    URARGetSizeBuffer(h, URAR_BUFFER_NAME, &name_size);
    e.name.assign(size_t(name_size), '\0');
    URARGetBuffer(h, URAR_BUFFER_NAME, &e.name[0], name_size);
    e.name.resize(e.name.find('\0'));
    URARGetSizeBuffer(h, URAR_BUFFER_DATA, &e.declared_size);
    if ((action == URAR_OK || action == URAR_FAILED) && e.declared_size >= 0) {
      e.data.resize(size_t(e.declared_size) + 1);
      if (URARGetBuffer(h, URAR_BUFFER_DATA, e.data.data(), e.declared_size) == 0)
        e.data.resize(size_t(e.declared_size));
      else
        e.data.clear();
      e.crc = Crc32(0, e.data.data(), e.data.size());
    }
    entries.push_back(std::move(e));
  }
  if (end) *end = URARGetLastError(h);
  URARFinalize(h);
  return entries;
}
