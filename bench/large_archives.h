// The bench's large archives, made from fixed seeds by the stand-in RAR writer and the same on
// every run: a 256 MB log-like text, a 256 MB set of x86 programs and a 512 MB mix of both with
// already-compressed (random) files. Every entry is 8 to 48 MB, so each one's output wraps the
// 4 MB window several times, as the files of a real rescue system do; none is solid, so every
// peer reads them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

enum class LargeContent { kLogText, kX86, kMix };

struct LargeArchive {
  const char* name;  // file name without ".rar"; also the bench row's name
  LargeContent content;
  std::size_t unpacked;
  std::uint64_t seed;
};

constexpr LargeArchive kLargeArchives[] = {
    {"log-text-256mb", LargeContent::kLogText, std::size_t{256} << 20, 20251101},
    {"x86-256mb", LargeContent::kX86, std::size_t{256} << 20, 20251102},
    {"mix-512mb", LargeContent::kMix, std::size_t{512} << 20, 20251103},
};

std::vector<std::uint8_t> BuildLargeArchive(const LargeArchive& archive);
