// The large generated archives (large_archives.h): this library against libarchive and unarr,
// in process, the whole archive per run. scripts/bench makes them once into a folder it keeps
// and names it in URAR_BENCH_LARGE; without it, or for an archive not there, there is no row.
#include <cstdlib>
#include <filesystem>

#include "bench/large_archives.h"
#include "bench/peers.h"

namespace {

const bool kRegistered = [] {
  const char* folder = std::getenv("URAR_BENCH_LARGE");
  if (folder == nullptr) return false;
  for (const LargeArchive& a : kLargeArchives) {
    const std::string file = std::string(a.name) + ".rar";
    if (!std::filesystem::exists(std::filesystem::path(folder) / file)) continue;
    RegisterDecoderRows("large", {file}, {Decoder::kUrar, Decoder::kLibarchive, Decoder::kUnarr},
                        folder);
  }
  return true;
}();

}  // namespace
