#include "bench/peers.h"

#include <archive.h>
#include <archive_entry.h>
#include <benchmark/benchmark.h>
#include <unarr.h>

#include <fstream>
#include <iterator>
#include <cstring>
#include <stdexcept>

#include "urar/urar.h"

const char* DecoderName(Decoder d) {
  switch (d) {
    case Decoder::kUrar: return "urar";
    case Decoder::kLibarchive: return "libarchive";
    case Decoder::kUnarr: return "unarr";
  }
  return "?";
}

std::string FixtureFolder() { return std::string(PROJECT_SOURCE_DIR) + "/tests/fixtures/rar"; }

std::vector<uint8_t> LoadArchive(const std::string& folder, const std::string& archive) {
  std::ifstream in(folder + "/" + archive, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  if (bytes.empty()) throw std::runtime_error("cannot read " + folder + "/" + archive);
  return bytes;
}

std::vector<uint8_t> LoadFixture(const std::string& archive) {
  return LoadArchive(FixtureFolder(), archive);
}

namespace {

// The library as the program uses it: each entry streamed through a write callback (here into a
// buffer kept from entry to entry, as the peers decode into theirs), never gathered in the handle.
int64_t DecodeUrar(const std::vector<uint8_t>& archive) {
  URARHandle* h = URARInitialize64(0, archive.data(), archive.size());
  struct Sink {
    std::vector<uint8_t>& out;
    size_t used;
  };
  static std::vector<uint8_t> out;
  const URARWriteCallback write = [](void* context, const void* data, int32_t size) -> int32_t {
    Sink& sink = *static_cast<Sink*>(context);
    if (sink.out.size() < sink.used + size_t(size)) sink.out.resize(sink.used + size_t(size));
    memcpy(sink.out.data() + sink.used, data, size_t(size));
    sink.used += size_t(size);
    return 0;
  };
  int64_t total = 0;
  for (;;) {
    Sink sink{out, 0};
    const int32_t action = URARDoActionStream(h, write, &sink);
    if (action == URAR_END) break;
    if (action != URAR_OK) {
      total = -1;
      break;
    }
    total += int64_t(sink.used);
  }
  URARFinalize(h);
  return total;
}

int64_t DecodeLibarchive(const std::vector<uint8_t>& archive) {
  struct archive* a = archive_read_new();
  archive_read_support_format_rar(a);
  int64_t total = -1;
  if (archive_read_open_memory(a, archive.data(), archive.size()) == ARCHIVE_OK) {
    total = 0;
    static std::vector<uint8_t> out(1 << 16);
    struct archive_entry* entry;
    while (total >= 0 && archive_read_next_header(a, &entry) == ARCHIVE_OK) {
      for (;;) {
        la_ssize_t n = archive_read_data(a, out.data(), out.size());
        if (n < 0) total = -1;
        if (n <= 0) break;
        total += n;
      }
    }
  }
  archive_read_free(a);
  return total;
}

int64_t DecodeUnarr(const std::vector<uint8_t>& archive) {
  ar_stream* stream = ar_open_memory(archive.data(), archive.size());
  ar_archive* ar = stream ? ar_open_rar_archive(stream) : nullptr;
  int64_t total = ar ? 0 : -1;
  static std::vector<uint8_t> out;
  while (ar && total >= 0 && ar_parse_entry(ar)) {
    size_t size = ar_entry_get_size(ar);
    out.resize(size + 1);
    if (!ar_entry_uncompress(ar, out.data(), size))
      total = -1;
    else
      total += int64_t(size);
  }
  if (ar && total >= 0 && !ar_at_eof(ar)) total = -1;
  if (ar) ar_close_archive(ar);
  if (stream) ar_close(stream);
  return total;
}

}  // namespace

int64_t DecodeArchive(Decoder d, const std::vector<uint8_t>& archive) {
  switch (d) {
    case Decoder::kUrar: return DecodeUrar(archive);
    case Decoder::kLibarchive: return DecodeLibarchive(archive);
    case Decoder::kUnarr: return DecodeUnarr(archive);
  }
  return -1;
}

void TimeDecoding(benchmark::State& state, Decoder d, const std::vector<uint8_t>& archive) {
  DecodeArchive(d, archive);
  int64_t total = 0;
  for (auto _ : state) {
    total = DecodeArchive(d, archive);
    if (total < 0) {
      state.SkipWithError("decoder failed on this archive");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * total);
}

void RegisterDecoderRows(const std::string& group, const std::vector<std::string>& archives,
                         const std::vector<Decoder>& decoders, const std::string& folder) {
  for (const std::string& archive : archives)
    for (Decoder d : decoders) {
      std::string name = group + "/" + archive + "/" + DecoderName(d);
      benchmark::RegisterBenchmark(name.c_str(),
                                   [folder, archive, d](benchmark::State& state) {
                                     TimeDecoding(state, d, LoadArchive(folder, archive));
                                   })
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.3);
    }
}
