// Whole-archive decoding by this library and by the peer decoders, in process, on the same
// buffers, and the registration of one benchmark row per (archive, decoder).
#pragma once
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

enum class Decoder { kUrar, kLibarchive, kUnarr };

const char* DecoderName(Decoder d);
// The corpus's folder (tests/fixtures/rar).
std::string FixtureFolder();
std::vector<uint8_t> LoadArchive(const std::string& folder, const std::string& archive);
std::vector<uint8_t> LoadFixture(const std::string& archive);
// Decodes every entry into memory. Returns the bytes of output, or -1 when the decoder failed on
// an entry (rows only compare complete work).
int64_t DecodeArchive(Decoder d, const std::vector<uint8_t>& archive);

// Times one row: `d` decoding `archive` whole per iteration, reporting output bytes per second, or
// skipped with an error when the decoder fails. One untimed decode comes first: the harness keeps
// each decoder's output buffer across runs, and first-touching it costs a page fault per 4 KiB
// (0.7 s for a 240 MB entry), which is the harness's cost, not the decoder's, yet rows of large
// entries run only once or twice.
void TimeDecoding(benchmark::State& state, Decoder d, const std::vector<uint8_t>& archive);

// Registers rows "<group>/<archive>/<decoder>" reporting output bytes per second. The summary at
// the end of the run prints, per archive, this library's speed over each peer's.
void RegisterDecoderRows(const std::string& group, const std::vector<std::string>& archives,
                         const std::vector<Decoder>& decoders,
                         const std::string& folder = FixtureFolder());
