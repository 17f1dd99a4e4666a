// The archive of a made-up rescue system, made at bench time from a fixed seed and the same on
// every run: more than 100 MB unpacked of text (logs, configuration), x86 programs and
// already-compressed files (deflate streams), written by the stand-in RAR writer with every entry
// compressed by content as an archiver would (PPMd text, programs through the E8 filter, the
// compressed files stored), none of them solid, so every peer reads it. Its largest entry holds
// kRescueSystemLargestEntry bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr std::size_t kRescueSystemLargestEntry = 4u << 20;

std::vector<std::uint8_t> RescueSystemArchive();
