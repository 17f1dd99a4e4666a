// Match finding for the LZ blocks: hash chains over 3-byte prefixes of the whole entry (as the
// decoder's window will hold it), searched to a bounded depth.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace rar29enc {

// The decoder's window is 4 MB; matches stay a little inside it.
constexpr uint32_t kMaxDistance = 0x400000 - 0x1000;
constexpr uint32_t kMaxMatch = 257;

// The shortest match a distance can be coded with: the format adds one to the length from
// distance 0x2000 on and another from 0x40000 on.
inline uint32_t MinMatch(uint32_t distance) {
  return 3 + (distance >= 0x2000) + (distance >= 0x40000);
}

struct Match {
  uint32_t length = 0;  // 0: none
  uint32_t distance = 0;
};

class LzMatcher {
 public:
  LzMatcher(const uint8_t* data, size_t size);
  // The longest match for the bytes at `pos` that ends by `end`, among earlier positions already
  // inserted; it replaces `best` when longer.
  void Find(size_t pos, size_t end, Match* best) const;
  // Length of the match at `pos` against `distance` bytes back, up to `end` and kMaxMatch.
  uint32_t MatchLength(size_t pos, size_t end, uint32_t distance) const;
  // Makes `pos` findable; positions must be inserted in order.
  void Insert(size_t pos);

 private:
  static constexpr int kHashBits = 17;
  static constexpr int kChainDepth = 12;
  static constexpr uint32_t kNiceLength = 64;  // a match this long ends the search

  uint32_t Hash(size_t pos) const;

  const uint8_t* data_;
  size_t size_;
  std::vector<uint32_t> head_;  // per hash, the last position + 1 (0: none)
  std::vector<uint32_t> prev_;  // per position, the previous one of its hash + 1
};

}  // namespace rar29enc
