// Match lengths and short distances shared by the RAR 2.0 and RAR 2.9 LZ decoders: a base from
// the symbol plus that many extra bits.
#pragma once
#include <cstdint>

inline constexpr uint8_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10,
                                            12, 14, 16, 20, 24, 28, 32, 40, 48,  56,
                                            64, 80, 96, 112, 128, 160, 192, 224};
inline constexpr uint8_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                            2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
inline constexpr uint8_t kShortDistBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
inline constexpr uint8_t kShortDistBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
