// The carry-less range decoder that RAR 2.9 pairs with its PPMd model: 32-bit low/code/range,
// renormalised a byte at a time whenever the top byte of low is settled or the range falls
// below 2^15 (then cut to the next 2^15 boundary of low).
#pragma once
#include <cstdint>

#include "urar/ppmd/ppmd_model.h"

struct PpmdRangeDecoder {
  static constexpr uint32_t kTop = 1u << 24;
  static constexpr uint32_t kBottom = 1u << 15;

  uint32_t low;
  uint32_t code;
  uint32_t range;
  PpmdByteSource source;

  void Start(PpmdByteSource from) {
    source = from;
    low = code = 0;
    range = 0xFFFFFFFF;
    for (int i = 0; i < 4; i++) code = (code << 8) | source.next(source.context);
  }

  // Narrows the range to units of 1/total; the caller reads the count with Count(). A range that
  // has collapsed (only damaged data get there) gives false.
  bool Scale(uint32_t total) {
    range /= total;
    return range != 0;
  }
  bool ScaleShift(int bits) {
    range >>= bits;
    return range != 0;
  }
  uint32_t Count() const { return (code - low) / range; }

  // A binary context: 1 when the count falls below `bound` (of a scale of 2^14), 0 for the rest;
  // the range is narrowed to that part. -1 when the range has collapsed. The count is compared
  // as code - low against bound * range, which cannot overflow (range < 2^18, bound < 2^14): no
  // division, which stood on the chain from one symbol to the next in most symbols of a text.
  int Binary(uint32_t bound) {
    if (!ScaleShift(14)) return -1;
    const uint32_t split = range * bound;
    if (code - low < split) {
      range = split;
      return 1;
    }
    low += split;
    range *= (1u << 14) - bound;
    return 0;
  }

  void Take(uint32_t low_count, uint32_t high_count) {
    low += range * low_count;
    range *= high_count - low_count;
  }

  void Normalize() {
    for (;;) {
      if ((low ^ (low + range)) >= kTop) {
        if (range >= kBottom) return;
        range = (0u - low) & (kBottom - 1);
        // A zero range never comes out of an encoder; stop here and let the next symbol fail.
        if (range == 0) return;
      }
      code = (code << 8) | source.next(source.context);
      range <<= 8;
      low <<= 8;
    }
  }
};
