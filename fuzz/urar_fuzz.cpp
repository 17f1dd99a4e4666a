// Fuzz target: arbitrary bytes through the six exports, and streamed as the program unpacks them.
// Property: every input ends (no hang), touches nothing outside its buffers, allocates within the
// stated limits (the size limit refuses huge declared sizes), and every result is a defined code;
// streamed from memory and read through the read callback in odd pieces, every entry has the
// same result and the same bytes.
// Replay without libFuzzer: build with URAR_FUZZ_REPLAY and pass files or folders.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "urar/urar.h"

namespace {
constexpr uint32_t kSizeLimit = 16u << 20;
constexpr uint64_t kStreamLimit = 1u << 20;

#define Check(ok) CheckAt((ok), __LINE__)
void CheckAt(bool ok, int line) {
  if (!ok) {
    fprintf(stderr, "urar_fuzz: property at line %d does not hold\n", line);
    abort();
  }
}
// An entry's streamed bytes, counted and hashed (FNV-1a, byte by byte: the two ways may cut the
// bytes into different pieces). Past 1 MiB the entry is stopped: the six exports' pass decodes up
// to the size limit, and streaming that far twice more would cut the target's speed by a third.
struct Streamed {
  uint64_t bytes = 0;
  uint64_t hash = 14695981039346656037ull;
};

int32_t Hash(void* context, const void* data, int32_t size) {
  auto* s = static_cast<Streamed*>(context);
  if (s->bytes + uint64_t(size) > kStreamLimit) return 1;
  for (int32_t i = 0; i < size; ++i)
    s->hash = (s->hash ^ static_cast<const uint8_t*>(data)[i]) * 1099511628211ull;
  s->bytes += uint64_t(size);
  return 0;
}

struct ReadArchive {
  const uint8_t* data;
  uint64_t size;
  int32_t piece;
};

int32_t ReadPiece(void* context, uint64_t offset, void* destination, int32_t size) {
  const auto* a = static_cast<const ReadArchive*>(context);
  if (offset >= a->size) return 0;
  uint64_t n = a->size - offset;
  if (n > uint64_t(size)) n = uint64_t(size);
  if (n > uint64_t(a->piece)) n = uint64_t(a->piece);
  memcpy(destination, a->data + offset, size_t(n));
  return int32_t(n);
}

// Every entry streamed: its result, reason and bytes (unless stopped at the limit, where the pieces
// decide how far it got), then why the walk ended.
std::vector<uint64_t> StreamAll(URARHandle* h) {
  std::vector<uint64_t> seen;
  for (;;) {
    Streamed s;
    int32_t action = URARDoActionStream(h, Hash, &s);
    Check(action == 0 || action == 7 || action == 9);
    int32_t last = URARGetLastError(h);
    seen.push_back(uint64_t(action) << 32 | uint32_t(last));
    if (action == 9) break;
    if (last == URAR_ENTRY_STOPPED) continue;
    seen.push_back(s.bytes);
    seen.push_back(s.hash);
  }
  URARFinalize(h);
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (64u << 20)) return 0;
  if (size > 0) {
    ReadArchive file{data, size, 1 + data[size / 2] * 37};
    URARHandle* memory = URARInitialize64(0, data, size);
    URARHandle* read = URARInitializeReader(0, ReadPiece, &file, size);
    Check(memory != nullptr && read != nullptr);
    Check(StreamAll(memory) == StreamAll(read));
  }
  URARHandle* h = URARInitialize(kSizeLimit, data, int32_t(size));
  if (h == nullptr) return 0;
  std::vector<uint8_t> buffer;
  for (int entries = 0;; ++entries) {
    int32_t action = URARDoAction(h);
    Check(action == 0 || action == 3 || action == 7 || action == 8 || action == 9);
    int32_t last = URARGetLastError(h);
    if (action == 9)
      Check(last == URAR_END_CLEAN || last == URAR_END_NOT_ARCHIVE || last == URAR_END_CUT ||
            last == URAR_END_VOLUME || last == URAR_END_ENCRYPTED);
    else
      Check(last == 0 || last == 1 || last == 2 || last == 3 || last == 6 || last == 7 ||
            last == 8);
    int32_t name_size = 0, data_size = 0;
    Check(URARGetSizeBuffer(h, 1, &name_size) == 0 && name_size >= 1 && name_size <= 65536);
    Check(URARGetSizeBuffer(h, 2, &data_size) == 0);
    char name[260];
    Check(URARGetBuffer(h, 1, name, int32_t(sizeof name)) == 0);
    // The name given is the whole name whenever the size says it fits.
    if (name_size <= 260) Check(strlen(name) + 1 == size_t(name_size));
    if (action == 0 || action == 7) {
      if (data_size >= 0 && uint32_t(data_size) <= kSizeLimit) {
        buffer.resize(size_t(data_size) + 1);
        int32_t got = URARGetBuffer(h, 2, buffer.data(), data_size);
        // 0 after a clean extraction, which always produced the whole declared size;
        // 7 only after a failed one that fell short.
        Check(got == 0 || (got == 7 && action == 7));
      }
    }
    if (action == 9) break;
  }
  URARFinalize(h);
  return 0;
}
