// The rescue-disk manifest: what the server says it publishes, signed apart (manifest_signature.h).
// A text of lines ending in "\n" (a "\r" before it is allowed), each a keyword and its fields
// separated by single spaces:
//
//   release 7                       the release number, 1 to 4294967295, exactly once
//   date 2026-12-01                 the release date, YYYY-MM-DD, exactly once
//   file scanner.zip 12345 <hex>    an archive: its name, exact size in bytes and SHA-256 (64 hex
//                                   digits), once per name, at least one
//
// Anything else (another keyword, a missing or extra field, a leading zero, a size over 2^63 - 1,
// a name with a character other than letters, digits, '.', '_' and '-') makes the manifest
// invalid: it is signed, so a server never needs leeway, and a strict reading leaves no room for
// two readings of one text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rescue_manifest {

// Larger downloads are not a manifest: the file is read whole, so its size is bounded first.
constexpr std::uint64_t kMaxBytes = 64 * 1024;
// What is accepted of the signature file on the same grounds.
constexpr std::uint64_t kMaxSignatureBytes = 64 * 1024;

using Sha256 = std::array<std::uint8_t, 32>;

struct File {
  std::string name;
  std::uint64_t size = 0;
  Sha256 sha256{};
};

struct Manifest {
  std::uint32_t release = 0;
  std::string date;
  std::vector<File> files;

  // The entry for `name`, null when the manifest does not list it.
  const File* Find(std::string_view name) const;
};

// Reads `text` into `manifest`; false with the first problem in `problem` (English, for the
// build's log) when it is not a valid manifest.
bool Parse(std::string_view text, Manifest* manifest, std::string* problem);

// Lower-case hex of a digest, for the build's log.
std::string Hex(const Sha256& digest);

}  // namespace rescue_manifest
