// MSB-first bit reader over a byte buffer owned by the decoder. Reads look up to 4 bytes past the
// cursor (and a symbol plus its extra bits up to a few bytes further), so the owner keeps zeroed
// spare bytes after the valid data and checks the cursor only once per symbol or refill: the
// fast path has no per-bit bounds check.
#pragma once
#include <cstdint>
#include <cstring>

struct BitInput {
  const uint8_t* buffer;
  uint32_t addr;  // byte of the next unread bit
  uint32_t bit;   // bits of buffer[addr] already consumed, 0..7

  static uint32_t ToBigEndian(uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return __builtin_bswap32(v);
#else
    return v;
#endif
  }

  void Reset(const uint8_t* data) {
    buffer = data;
    addr = 0;
    bit = 0;
  }

  // The next 16 bits, the first of them in bit 15. One 4-byte load: on the decoders' hot path
  // this is the start of every symbol's dependency chain.
  uint32_t Peek16() const {
    uint32_t v;
    memcpy(&v, buffer + addr, 4);
    return ((ToBigEndian(v) << bit) >> 16) & 0xFFFF;
  }

  void Skip(uint32_t bits) {
    bits += bit;
    addr += bits >> 3;
    bit = bits & 7;
  }

  // Takes the next n bits (n <= 16) as a number.
  uint32_t Bits(uint32_t n) {
    uint32_t v = Peek16() >> (16 - n);
    Skip(n);
    return v;
  }

  void AlignToByte() {
    if (bit != 0) {
      addr++;
      bit = 0;
    }
  }
};
