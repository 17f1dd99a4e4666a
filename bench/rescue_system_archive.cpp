#include "bench/rescue_system_archive.h"

#include <zlib.h>

#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>

#include "standins/rar_writer.h"
#include "standins/sample_content.h"

namespace {

constexpr std::size_t kUnpackedTotal = 104u << 20;
constexpr std::uint64_t kSeed = 20240501;

// Deflate streams of text, as log archives and compressed images on a rescue disk are.
std::vector<std::uint8_t> Deflated(std::uint64_t seed, std::size_t size) {
  std::vector<std::uint8_t> out;
  for (std::uint64_t part = 0; out.size() < size; part++) {
    const std::vector<std::uint8_t> text = sample_content::Text(seed + part, 1u << 20);
    uLongf packed_size = compressBound(uLong(text.size()));
    std::vector<std::uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, text.data(), uLong(text.size()), 1) != Z_OK)
      throw std::runtime_error("deflate failed");
    out.insert(out.end(), packed.begin(), packed.begin() + long(packed_size));
  }
  out.resize(size);
  return out;
}

}  // namespace

std::vector<std::uint8_t> RescueSystemArchive() {
  std::mt19937_64 rng(kSeed);
  std::vector<rar_writer::Entry> entries;
  std::size_t total = 0;
  for (unsigned i = 0; total < kUnpackedTotal; i++) {
    const std::size_t size = (256u << 10) + rng() % (kRescueSystemLargestEntry - (256u << 10) + 1);
    const std::uint64_t seed = rng();
    char name[64];
    rar_writer::Entry entry;
    switch (i % 10) {
      case 0:
      case 1:
      case 2:
      case 3:
        std::snprintf(name, sizeof name, "rescue\\log\\scan%03u.log", i);
        entry.data = sample_content::Text(seed, size);
        break;
      case 4:
      case 5:
      case 6:
        std::snprintf(name, sizeof name, "rescue\\bin\\tool%03u.exe", i);
        entry.data = sample_content::X86Code(seed, size);
        break;
      default:
        std::snprintf(name, sizeof name, "rescue\\data\\pack%03u.gz", i);
        entry.data = Deflated(seed, size);
        break;
    }
    entry.name = name;
    entry.method = rar_writer::Method::kCompressed;
    total += size;
    entries.push_back(std::move(entry));
  }
  return rar_writer::BuildArchive(entries);
}
