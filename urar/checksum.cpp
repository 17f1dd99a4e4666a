#include "urar/checksum.h"

#include <array>
#include <cstring>

namespace {

// Slicing-by-16: sixteen 256-entry tables let the loop fold 16 input bytes per step with
// independent lookups. Built at compile time, so there is no first-use initialisation to race.
using CrcTables = std::array<std::array<uint32_t, 256>, 16>;

constexpr CrcTables MakeTables() {
  CrcTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (int k = 1; k < 16; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr CrcTables kTables = MakeTables();

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  return v;
}

}  // namespace

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size) {
  uint32_t c = ~crc;
  while (size >= 16) {
    uint32_t a = Load32(data) ^ c, b = Load32(data + 4), d = Load32(data + 8), e = Load32(data + 12);
    c = kTables[15][a & 0xFF] ^ kTables[14][(a >> 8) & 0xFF] ^ kTables[13][(a >> 16) & 0xFF] ^
        kTables[12][a >> 24] ^ kTables[11][b & 0xFF] ^ kTables[10][(b >> 8) & 0xFF] ^
        kTables[9][(b >> 16) & 0xFF] ^ kTables[8][b >> 24] ^ kTables[7][d & 0xFF] ^
        kTables[6][(d >> 8) & 0xFF] ^ kTables[5][(d >> 16) & 0xFF] ^ kTables[4][d >> 24] ^
        kTables[3][e & 0xFF] ^ kTables[2][(e >> 8) & 0xFF] ^ kTables[1][(e >> 16) & 0xFF] ^
        kTables[0][e >> 24];
    data += 16;
    size -= 16;
  }
  while (size--) c = (c >> 8) ^ kTables[0][(c ^ *data++) & 0xFF];
  return ~c;
}

uint16_t Sum16(uint16_t sum, const uint8_t* data, size_t size) {
  uint32_t s = sum;
  for (size_t i = 0; i < size; ++i) {
    s = (s + data[i]) & 0xFFFF;
    s = ((s << 1) | (s >> 15)) & 0xFFFF;
  }
  return uint16_t(s);
}
