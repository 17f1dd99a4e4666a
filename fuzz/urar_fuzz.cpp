// Fuzz target: arbitrary bytes through the six exports, as the program uses them.
// Property: every input ends (no hang), touches nothing outside its buffers, allocates within the
// stated limits (the size limit refuses huge declared sizes), and every result is a defined code.
// Replay without libFuzzer: build with URAR_FUZZ_REPLAY and pass files or folders.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "urar/urar.h"

namespace {
constexpr uint32_t kSizeLimit = 16u << 20;

#define Check(ok) CheckAt((ok), __LINE__)
void CheckAt(bool ok, int line) {
  if (!ok) {
    fprintf(stderr, "urar_fuzz: property at line %d does not hold\n", line);
    abort();
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (64u << 20)) return 0;
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
