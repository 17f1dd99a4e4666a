// Reading what a download left in the working folder: a small file whole (the manifest and its
// signature), or a large one's size and SHA-256 in one pass (an archive, resumed or not).
#pragma once

#include <cstdint>
#include <string>

#include "builder/rescue_manifest.h"

// The file's bytes into `content`; false when it cannot be read or holds more than `max_bytes`.
bool ReadSmallFile(const std::wstring& path, std::uint64_t max_bytes, std::string* content);

// The file's size and SHA-256, read from its start to its end; false when it cannot be read.
bool FileSizeAndSha256(const std::wstring& path, std::uint64_t* size,
                       rescue_manifest::Sha256* digest);
