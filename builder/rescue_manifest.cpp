#include "builder/rescue_manifest.h"

#include <cstddef>
#include <limits>

namespace rescue_manifest {

namespace {

// The text's fields separated by single spaces; an empty field (two spaces, a space at either
// end) is kept and refused by the caller's checks.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t space = line.find(' ', start);
    fields.push_back(line.substr(start, space - start));
    if (space == std::string_view::npos) return fields;
    start = space + 1;
  }
}

// A decimal number without sign or leading zero, at most `limit`.
bool Number(std::string_view text, std::uint64_t limit, std::uint64_t* value) {
  if (text.empty() || (text[0] == '0' && text.size() > 1)) return false;
  std::uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (result > (limit - digit) / 10) return false;
    result = result * 10 + digit;
  }
  *value = result;
  return true;
}

// YYYY-MM-DD with a month 01 to 12 and a day 01 to 31.
bool Date(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (text[i] < '0' || text[i] > '9') return false;
  const int month = (text[5] - '0') * 10 + (text[6] - '0');
  const int day = (text[8] - '0') * 10 + (text[9] - '0');
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

bool Name(std::string_view text) {
  if (text.empty() || text.size() > 255 || text == "." || text == "..") return false;
  for (char c : text)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
          c == '_' || c == '-'))
      return false;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Digest(std::string_view text, Sha256* digest) {
  if (text.size() != 2 * digest->size()) return false;
  for (std::size_t i = 0; i < digest->size(); ++i) {
    const int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    (*digest)[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

bool Refuse(std::string* problem, std::size_t line, const char* what) {
  *problem = "line " + std::to_string(line) + ": " + what;
  return false;
}

}  // namespace

const File* Manifest::Find(std::string_view name) const {
  for (const File& file : files)
    if (file.name == name) return &file;
  return nullptr;
}

bool Parse(std::string_view text, Manifest* manifest, std::string* problem) {
  if (text.size() > kMaxBytes) return Refuse(problem, 0, "longer than a manifest can be");
  Manifest read;
  bool has_release = false, has_date = false;
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return Refuse(problem, number, "no line end");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::vector<std::string_view> fields = Fields(line);
    if (fields[0] == "release" && fields.size() == 2) {
      std::uint64_t release;
      if (has_release) return Refuse(problem, number, "a second release");
      if (!Number(fields[1], std::numeric_limits<std::uint32_t>::max(), &release) || !release)
        return Refuse(problem, number, "not a release number");
      read.release = static_cast<std::uint32_t>(release);
      has_release = true;
    } else if (fields[0] == "date" && fields.size() == 2) {
      if (has_date) return Refuse(problem, number, "a second date");
      if (!Date(fields[1])) return Refuse(problem, number, "not a date");
      read.date = std::string(fields[1]);
      has_date = true;
    } else if (fields[0] == "file" && fields.size() == 4) {
      File file;
      if (!Name(fields[1])) return Refuse(problem, number, "not a file name");
      file.name = std::string(fields[1]);
      if (read.Find(file.name)) return Refuse(problem, number, "a file listed twice");
      if (!Number(fields[2], std::numeric_limits<std::int64_t>::max(), &file.size))
        return Refuse(problem, number, "not a size");
      if (!Digest(fields[3], &file.sha256)) return Refuse(problem, number, "not a SHA-256");
      read.files.push_back(std::move(file));
    } else {
      return Refuse(problem, number, "not a manifest line");
    }
  }
  if (!has_release) return Refuse(problem, number, "no release");
  if (!has_date) return Refuse(problem, number, "no date");
  if (read.files.empty()) return Refuse(problem, number, "no files");
  *manifest = std::move(read);
  return true;
}

std::string Hex(const Sha256& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

}  // namespace rescue_manifest
