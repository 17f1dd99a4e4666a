#include "standins/rar29_encoder/lz_matcher.h"

#include <cstring>

namespace rar29enc {

LzMatcher::LzMatcher(const uint8_t* data, size_t size)
    : data_(data), size_(size), head_(size_t{1} << kHashBits, 0), prev_(size, 0) {}

uint32_t LzMatcher::Hash(size_t pos) const {
  const uint32_t v = data_[pos] | data_[pos + 1] << 8 | uint32_t(data_[pos + 2]) << 16;
  return (v * 2654435761u) >> (32 - kHashBits);
}

void LzMatcher::Insert(size_t pos) {
  if (pos + 3 > size_) return;
  uint32_t& head = head_[Hash(pos)];
  prev_[pos] = head;
  head = uint32_t(pos + 1);
}

uint32_t LzMatcher::MatchLength(size_t pos, size_t end, uint32_t distance) const {
  size_t limit = end - pos < kMaxMatch ? end - pos : kMaxMatch;
  const uint8_t* a = data_ + pos;
  const uint8_t* b = a - distance;
  size_t n = 0;
  // Eight bytes at a time; in a little-endian load the first differing byte is the lowest set
  // byte of the XOR.
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "little-endian loads");
  for (; n + 8 <= limit; n += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return uint32_t(n + (__builtin_ctzll(x ^ y) >> 3));
  }
  while (n < limit && a[n] == b[n]) n++;
  return uint32_t(n);
}

void LzMatcher::Find(size_t pos, size_t end, Match* best) const {
  if (pos + 3 > end) return;
  uint32_t candidate = head_[Hash(pos)];
  for (int depth = 0; candidate != 0 && depth < kChainDepth; depth++) {
    const size_t from = candidate - 1;
    candidate = prev_[from];
    const size_t distance = pos - from;
    if (distance > kMaxDistance) break;
    // A longer match must also agree at the byte that would make it longer.
    if (best->length > 0 &&
        (pos + best->length >= end || data_[from + best->length] != data_[pos + best->length])) {
      continue;
    }
    const uint32_t length = MatchLength(pos, end, uint32_t(distance));
    if (length > best->length && length >= MinMatch(uint32_t(distance))) {
      best->length = length;
      best->distance = uint32_t(distance);
      if (length >= kNiceLength) break;
    }
  }
}

}  // namespace rar29enc
