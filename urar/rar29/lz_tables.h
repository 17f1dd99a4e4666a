// Match lengths and distances of the RAR 2.0 and RAR 2.9 LZ formats: a base from the symbol plus
// that many extra bits. The decoders and the stand-ins' compressor share them.
#pragma once
#include <cstdint>

inline constexpr uint8_t kLengthBase[28] = {0,  1,  2,  3,   4,   5,   6,   7,  8,  10,
                                            12, 14, 16, 20,  24,  28,  32,  40, 48, 56,
                                            64, 80, 96, 112, 128, 160, 192, 224};
inline constexpr uint8_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                            2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
inline constexpr uint8_t kShortDistBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
inline constexpr uint8_t kShortDistBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

// RAR 2.9's 60 distance slots: start value and extra-bit count; per bit count, how many slots
// use it.
struct Rar29DistanceSlots {
  uint32_t base[60];
  uint8_t bits[60];
};
constexpr Rar29DistanceSlots MakeRar29DistanceSlots() {
  constexpr uint8_t kSlotsPerBitCount[19] = {4, 2, 2, 2, 2, 2, 2,  2, 2, 2,
                                             2, 2, 2, 2, 2, 2, 14, 0, 12};
  Rar29DistanceSlots t{};
  uint32_t slot = 0, distance = 0;
  for (uint32_t bits = 0; bits < 19; bits++) {
    for (uint32_t j = 0; j < kSlotsPerBitCount[bits]; j++, slot++) {
      t.base[slot] = distance;
      t.bits[slot] = uint8_t(bits);
      distance += 1u << bits;
    }
  }
  return t;
}
inline constexpr Rar29DistanceSlots kRar29Distance = MakeRar29DistanceSlots();
