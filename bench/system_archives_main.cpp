// Writes a generated rescue system as two archives, for scripts/bench-extract:
//   system_archives DIR NAME      (NAME: 100mb, 1gb or 2500mb)
// makes DIR/NAME-stored.rar (every entry stored) and DIR/NAME-compressed.rar (entries compressed
// by content), an entry at a time so neither archive is ever held whole, and prints the number
// of files and their total size, which an extraction must reproduce. The content comes from a
// fixed seed per system, as a rescue system is mostly: one large image (in the 2500mb system
// over 2 GiB), smaller images and firmware, all incompressible, then text (logs, configuration)
// and x86 programs. Incompressible files are stored in the compressed archive too, which is what
// the writer would decide after trying, at minutes per gigabyte.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "standins/rar_writer.h"
#include "standins/sample_content.h"

namespace {

struct System {
  const char* name;
  std::uint64_t total;
  std::uint64_t large_image;  // the one large image's size
  std::uint64_t seed;
};

constexpr System kSystems[] = {
    {"100mb", 100'000'000, 60'000'000, 7101},
    {"1gb", 1'000'000'000, 600'000'000, 7102},
    {"2500mb", 2'500'000'000, 2'200'000'000, 7103},  // the image is over 2 GiB (2,147,483,648)
};

enum class Kind { kImage, kText, kProgram };

// Incompressible bytes, eight per draw: gigabytes of them are made per run.
std::vector<std::uint8_t> Incompressible(std::uint64_t seed, std::uint64_t size) {
  std::mt19937_64 rng(seed);
  std::vector<std::uint8_t> out(size);
  std::uint64_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const std::uint64_t v = rng();
    std::memcpy(&out[i], &v, 8);
  }
  for (; i < size; i++) out[i] = std::uint8_t(rng());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const System* system = nullptr;
  for (const System& s : kSystems)
    if (argc == 3 && std::strcmp(argv[2], s.name) == 0) system = &s;
  if (system == nullptr) {
    std::fprintf(stderr, "usage: system_archives DIR 100mb|1gb|2500mb\n");
    return 2;
  }
  const std::string base = std::string(argv[1]) + "/" + system->name;
  std::ofstream stored_file(base + "-stored.rar", std::ios::binary | std::ios::trunc);
  std::ofstream compressed_file(base + "-compressed.rar", std::ios::binary | std::ios::trunc);
  rar_writer::ArchiveStream stored(stored_file), compressed(compressed_file);
  std::mt19937_64 rng(system->seed);
  std::uint64_t files = 0, total = 0;
  // After the large image the rest is a fifth text, a fifth programs and the remainder smaller
  // images, in files of 4 KB to 4 MB, most of them small.
  const std::uint64_t rest = system->total - system->large_image;
  for (std::uint64_t image = 0, text = 0, programs = 0; total < system->total; files++) {
    Kind kind;
    std::uint64_t size;
    char name[96];
    if (files == 0) {
      kind = Kind::kImage;
      size = system->large_image;
      std::snprintf(name, sizeof name, "live\\filesystem.squashfs");
    } else {
      const std::uint64_t scale = std::uint64_t{4096} << (rng() % 10);
      size = scale + rng() % scale;
      kind = text < rest / 5 ? Kind::kText : programs < rest / 5 ? Kind::kProgram : Kind::kImage;
      std::uint64_t& budget = kind == Kind::kText      ? text
                              : kind == Kind::kProgram ? programs
                                                       : image;
      if (size > system->total - total) size = system->total - total;
      budget += size;
      if (kind == Kind::kText)
        std::snprintf(name, sizeof name, "docs\\log\\scan%04" PRIu64 ".log", files);
      else if (kind == Kind::kProgram)
        std::snprintf(name, sizeof name, "tools\\bin\\tool%04" PRIu64 ".exe", files);
      else
        std::snprintf(name, sizeof name, "boot\\firmware\\blob%04" PRIu64 ".img", files);
    }
    const std::uint64_t seed = rng();
    rar_writer::Entry entry;
    entry.name = name;
    entry.data = kind == Kind::kText      ? sample_content::Text(seed, size)
                 : kind == Kind::kProgram ? sample_content::X86Code(seed, size)
                                          : Incompressible(seed, size);
    stored.Add(entry);
    if (kind != Kind::kImage) entry.method = rar_writer::Method::kCompressed;
    compressed.Add(entry);
    total += size;
  }
  stored.Finish();
  compressed.Finish();
  std::printf("%" PRIu64 " %" PRIu64 "\n", files, total);
  return 0;
}
