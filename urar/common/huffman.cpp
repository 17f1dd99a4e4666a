#include "urar/common/huffman.h"

#include <cassert>
#include <cstring>

namespace {

// Index into `symbols` of a code of `length` bits read as the left-aligned `field`; an index
// past the symbols in use maps to the first one, so malformed lengths stay in bounds.
uint32_t SymbolIndex(const HuffmanTable& t, uint32_t field, uint32_t length) {
  uint32_t index = t.position[length] + ((field - t.limit[length - 1]) >> (16 - length));
  return index < t.count ? index : 0;
}

// Quick entries of `len`-bit codes for prefixes [prefix, end), each checked at its lowest and
// highest field: for lengths whose codes do not start on a prefix.
void FillQuickChecked(HuffmanTable* t, uint32_t len, uint32_t prefix, uint32_t end) {
  constexpr uint32_t kShift = 16 - kHuffmanQuickBits;
  for (; prefix < end; prefix++) {
    const uint32_t first = prefix << kShift, last = first | ((1u << kShift) - 2);
    const uint32_t index = SymbolIndex(*t, first, len);
    if (index != SymbolIndex(*t, last, len)) continue;
    t->quick[prefix] = static_cast<uint16_t>(t->symbols[index] << kHuffmanSymbolShift | len);
  }
}

}  // namespace

void HuffmanBuild(HuffmanTable* t, const uint8_t* lengths, uint32_t count) {
  assert(count <= kHuffmanMaxSymbols);
  uint32_t per_length[16] = {};
  for (uint32_t i = 0; i < count; i++) per_length[lengths[i] & 15]++;
  per_length[0] = 0;

  uint32_t next[16];
  uint32_t codes = 0;
  t->limit[0] = 0;
  t->position[0] = 0;
  next[0] = 0;
  for (uint32_t len = 1; len < 16; len++) {
    codes = 2 * (codes + per_length[len]);
    uint32_t limit = codes << (15 - len);
    t->limit[len] = limit > 0xFFFF ? 0xFFFF : limit;
    t->position[len] = t->position[len - 1] + per_length[len - 1];
    next[len] = t->position[len];
  }

  t->count = count;
  memset(t->symbols, 0, sizeof(t->symbols));
  for (uint32_t i = 0; i < count; i++) {
    uint32_t len = lengths[i] & 15;
    if (len != 0) t->symbols[next[len]++] = static_cast<uint16_t>(i);
  }

  // A quick entry is valid when every 16-bit field under the prefix has the same length and
  // index. When the first code of a length starts on a prefix (always, unless the lengths are
  // malformed), each code of that length covers a run of whole prefixes, and so does the range.
  // On data whose tables change every few kilobytes, checking every prefix instead took a fifth
  // of the decoding time.
  memset(t->quick, 0, sizeof(t->quick));
  constexpr uint32_t kShift = 16 - kHuffmanQuickBits;
  for (uint32_t len = 1; len <= kHuffmanQuickBits; len++) {
    const uint32_t low = t->limit[len - 1], high = t->limit[len];
    // Prefixes whose highest field (the lowest bit never counts) lies below `high`.
    uint32_t end = high > 62 ? (high - 62 + 63) >> kShift : 0;
    if (end > (1u << kHuffmanQuickBits)) end = 1u << kHuffmanQuickBits;
    uint32_t prefix = (low + (1u << kShift) - 1) >> kShift;
    if (low & ((1u << kShift) - 1)) {
      FillQuickChecked(t, len, prefix, end);
      continue;
    }
    const uint32_t run = 1u << (kHuffmanQuickBits - len);
    assert(prefix >= end || (end - prefix) % run == 0);
    for (uint32_t index = t->position[len]; prefix < end; index++) {
      const uint32_t symbol = t->symbols[index < count ? index : 0];
      const uint16_t entry = static_cast<uint16_t>(symbol << kHuffmanSymbolShift | len);
      for (const uint32_t stop = prefix + run; prefix < stop; prefix++) t->quick[prefix] = entry;
    }
  }
}

uint32_t HuffmanLookupLong(const HuffmanTable& t, uint32_t field) {
  uint32_t len = 1;
  while (len < 15 && field >= t.limit[len]) len++;
  return uint32_t{t.symbols[SymbolIndex(t, field, len)]} << kHuffmanSymbolShift | len;
}
