// Writes the bench's rescue-system archive (rescue_system_archive.h) to a file, for the
// peak-memory rows of scripts/bench:  rescue_system_archive OUT.rar
#include <cstdio>
#include <fstream>

#include "bench/rescue_system_archive.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: rescue_system_archive OUT.rar\n");
    return 2;
  }
  const std::vector<std::uint8_t> archive = RescueSystemArchive();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(archive.data()), std::streamsize(archive.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "rescue_system_archive: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
