#include "bench/large_archives.h"

#include <cstdio>
#include <random>

#include "standins/rar_writer.h"
#include "standins/sample_content.h"

namespace {

constexpr std::size_t kSmallestEntry = std::size_t{8} << 20;
constexpr std::size_t kLargestEntry = std::size_t{48} << 20;

}  // namespace

std::vector<std::uint8_t> BuildLargeArchive(const LargeArchive& archive) {
  std::mt19937_64 rng(archive.seed);
  std::vector<rar_writer::Entry> entries;
  for (std::size_t total = 0, i = 0; total < archive.unpacked; i++) {
    std::size_t size = kSmallestEntry + rng() % (kLargestEntry - kSmallestEntry + 1);
    if (size > archive.unpacked - total) size = archive.unpacked - total;
    const std::uint64_t seed = rng();
    // The mix: half text, a third programs, the rest compressed files.
    const unsigned kind = archive.content == LargeContent::kLogText ? 0
                          : archive.content == LargeContent::kX86   ? 1
                                                                    : unsigned(rng() % 6);
    char name[64];
    rar_writer::Entry entry;
    if (kind < 3) {
      std::snprintf(name, sizeof name, "var\\log\\journal%03zu.log", i);
      entry.data = sample_content::Text(seed, size);
    } else if (kind < 5 || archive.content == LargeContent::kX86) {
      std::snprintf(name, sizeof name, "usr\\bin\\tool%03zu", i);
      entry.data = sample_content::X86Code(seed, size);
    } else {
      std::snprintf(name, sizeof name, "usr\\share\\images\\layer%03zu.xz", i);
      entry.data = sample_content::Random(seed, size);
    }
    entry.name = name;
    entry.method = rar_writer::Method::kCompressed;
    total += size;
    entries.push_back(std::move(entry));
  }
  return rar_writer::BuildArchive(entries);
}
