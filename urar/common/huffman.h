// Canonical Huffman decoding as the RAR 2.x/3.x formats assign codes: shorter codes first, and
// within one length in symbol order; code lengths 1..15, 0 = symbol unused. Any set of lengths
// builds a table, and decoding a malformed one still yields a symbol below the table's count.
#pragma once
#include <cstdint>

#include "urar/common/bit_input.h"

constexpr uint32_t kHuffmanMaxSymbols = 306;
constexpr uint32_t kHuffmanQuickBits = 10;
// An entry is symbol << kHuffmanSymbolShift | length. The length fills the six bits a 64-bit
// shift takes its count from, so a register reader shifts by the entry itself, one instruction
// less on the chain from one symbol to the next.
constexpr uint32_t kHuffmanSymbolShift = 6;

struct HuffmanTable {
  // limit[L]: the first 16-bit left-aligned code value past every code of length <= L (capped at
  // 0xFFFF); position[L]: index in `symbols` of the first symbol with a code of length L.
  uint32_t limit[16];
  uint32_t position[16];
  uint32_t count;
  // Codes of up to kHuffmanQuickBits bits decode with one lookup: an entry (below); 0 sends the
  // decode to the slow path (longer codes, and prefixes that the lengths leave unassigned).
  uint16_t quick[1u << kHuffmanQuickBits];
  uint16_t symbols[kHuffmanMaxSymbols];
};

// Builds the table for `count` (<= kHuffmanMaxSymbols) symbols; only the low 4 bits of each
// length count.
void HuffmanBuild(HuffmanTable* table, const uint8_t* lengths, uint32_t count);

// The entry for fields the quick lookup leaves open.
uint32_t HuffmanLookupLong(const HuffmanTable& table, uint32_t field);

// The reader is only touched here, never handed to an out-of-line call: a hot loop can keep it
// in registers even though its window stores may alias anything. Any reader with BitInput's
// Peek16 and Skip works.
template <typename Reader>
inline uint32_t HuffmanDecode(const HuffmanTable& table, Reader& input) {
  uint32_t field = input.Peek16() & 0xFFFE;
  uint32_t entry = table.quick[field >> (16 - kHuffmanQuickBits)];
  if (entry == 0) entry = HuffmanLookupLong(table, field);
  input.Skip(entry & 15);
  return entry >> kHuffmanSymbolShift;
}

// The long-code path on its own, for callers that peeked the field already.
inline uint32_t HuffmanDecodeSlow(const HuffmanTable& table, BitInput& input, uint32_t field) {
  uint32_t entry = HuffmanLookupLong(table, field);
  input.Skip(entry & 15);
  return entry >> kHuffmanSymbolShift;
}
