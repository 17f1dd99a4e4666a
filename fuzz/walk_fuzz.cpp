// Fuzz target: the container walk alone. Input: archive bytes, walked through the reader's
// table (as the exports drive it) without decoding anything.
// Property: the walk ends (every entry it yields lies beyond the one before, inside the buffer);
// each name is zero-terminated, at most 259 bytes, no longer than the whole name's length and
// taken from the archive; the walk ends with one of the interface's end reasons.
// Seeds (walk_seeds/): archives built for the walk's edge cases and the smallest corpus archives.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "tests/urar/test_archives.h"
#include "urar/urar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (16u << 20)) return 0;
  const std::vector<uint8_t> archive(data, data + size);
  TestReader r(archive);
  uint32_t last_position = 0;
  int end = r.First();
  for (bool first = true; end == 0; end = r.Next(), first = false) {
    const uint32_t position = r.reader().block_position;
    Check(first || position > last_position);
    Check(position < size);
    last_position = position;
    const char* name = kRarFormat.EntryName(&r.reader());
    const size_t length = strnlen(name, kMaxStoredName + 1);
    Check(length <= kMaxStoredName && length <= kRarFormat.EntryNameLength(&r.reader()));
    const auto* bytes = reinterpret_cast<const uint8_t*>(name);
    Check(std::search(archive.begin(), archive.end(), bytes, bytes + length) != archive.end());
  }
  const int32_t reason = kRarFormat.EndReason(end);
  Check(reason == URAR_END_CLEAN || reason == URAR_END_NOT_ARCHIVE || reason == URAR_END_CUT ||
        reason == URAR_END_VOLUME || reason == URAR_END_ENCRYPTED);
  return 0;
}
