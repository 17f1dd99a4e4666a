// Writes the bench's large archives (large_archives.h) into a folder, for scripts/bench to keep
// between runs:  large_archives DIR [NAME]...  (all of them when no name is given)
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "bench/large_archives.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: large_archives DIR [NAME]...\n");
    return 2;
  }
  int status = 0;
  for (const LargeArchive& a : kLargeArchives) {
    bool wanted = argc == 2;
    for (int i = 2; i < argc; i++) wanted = wanted || std::strcmp(argv[i], a.name) == 0;
    if (!wanted) continue;
    const std::vector<std::uint8_t> archive = BuildLargeArchive(a);
    const std::string path = std::string(argv[1]) + "/" + a.name + ".rar";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(archive.data()), std::streamsize(archive.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "large_archives: cannot write %s\n", path.c_str());
      status = 1;
    }
  }
  return status;
}
