// A rescue system's archive as the real ones are (rescue_system_archive.h: over 100 MB of text,
// x86 programs and compressed files, made at bench time): this library against libarchive and
// unarr, in process, the whole archive per iteration.
#include <benchmark/benchmark.h>

#include "bench/peers.h"
#include "bench/rescue_system_archive.h"

namespace {

const std::vector<uint8_t>& Archive() {
  static const std::vector<uint8_t> archive = RescueSystemArchive();
  return archive;
}

void DecodeRescueSystem(benchmark::State& state, Decoder decoder) {
  TimeDecoding(state, decoder, Archive());
}

const bool kRegistered = [] {
  for (Decoder d : {Decoder::kUrar, Decoder::kLibarchive, Decoder::kUnarr}) {
    const std::string name = std::string("rescue-system/generated-104mb/") + DecoderName(d);
    benchmark::RegisterBenchmark(name.c_str(), DecodeRescueSystem, d)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(5);  // a pass takes seconds: two or three of them
  }
  return true;
}();

}  // namespace
