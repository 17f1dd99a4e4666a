// CRC-32 against zlib's, and stored extraction (through the 2048-byte writer, with the checksum)
// against a plain memcpy of the same bytes.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "standins/rar_block_writer.h"
#include "urar/common/checksum.h"
#include "urar/urar.h"

namespace {

constexpr size_t kSize = 16u << 20;

const std::vector<uint8_t>& RandomBytes() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> b(kSize);
    std::mt19937_64 rng(1);
    for (size_t i = 0; i < b.size(); i += 8) {
      uint64_t v = rng();
      memcpy(&b[i], &v, 8);
    }
    return b;
  }();
  return bytes;
}

void Crc32Urar(benchmark::State& state) {
  const auto& b = RandomBytes();
  for (auto _ : state) benchmark::DoNotOptimize(Crc32(0, b.data(), b.size()));
  state.SetBytesProcessed(int64_t(state.iterations() * b.size()));
}

void Crc32Zlib(benchmark::State& state) {
  const auto& b = RandomBytes();
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0, b.data(), uInt(b.size())));
  state.SetBytesProcessed(int64_t(state.iterations() * b.size()));
}

void StoredUrar(benchmark::State& state) {
  rarblocks::FileEntry f;
  f.name = "random.bin";
  f.data = RandomBytes();
  rarblocks::Writer w;
  w.Marker().MainHeader().File(f).EndOfArchive();
  for (auto _ : state) {
    URARHandle* h = URARInitialize(0, w.bytes.data(), int32_t(w.bytes.size()));
    if (URARDoAction(h) != URAR_OK) state.SkipWithError("stored extraction failed");
    URARFinalize(h);
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kSize));
}

// Extraction owns a fresh output buffer per entry, so the baseline copies into a fresh buffer too;
// against a reused, cache-warm destination the row would measure page faults, not copying.
void StoredMemcpy(benchmark::State& state) {
  const auto& b = RandomBytes();
  for (auto _ : state) {
    auto* out = static_cast<uint8_t*>(malloc(b.size()));
    memcpy(out, b.data(), b.size());
    benchmark::DoNotOptimize(out);
    free(out);
  }
  state.SetBytesProcessed(int64_t(state.iterations() * b.size()));
}

}  // namespace

BENCHMARK(Crc32Urar)->Name("crc32/16MiB/urar");
BENCHMARK(Crc32Zlib)->Name("crc32/16MiB/zlib");
BENCHMARK(StoredUrar)->Name("stored/16MiB/urar");
BENCHMARK(StoredMemcpy)->Name("stored/16MiB/memcpy");
