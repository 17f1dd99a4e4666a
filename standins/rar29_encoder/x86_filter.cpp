#include "standins/rar29_encoder/x86_filter.h"

#include "standins/rar29_encoder/bit_writer.h"

namespace rar29enc {
namespace {

// The standard E8 filter program as archives carry it (53 bytes, CRC-32 0xAD576887).
constexpr uint8_t kE8Program[] = {
    0x97, 0x1B, 0x01, 0x28, 0x07, 0x06, 0x98, 0x08, 0x00, 0x00, 0x00, 0xD1, 0x3A, 0x10,
    0x15, 0x92, 0xEC, 0x50, 0xCB, 0x99, 0x20, 0xB9, 0x25, 0xF0, 0x29, 0x19, 0x15, 0x53,
    0x03, 0x12, 0xAE, 0x51, 0x10, 0x35, 0x59, 0x2B, 0x60, 0x04, 0x15, 0x6D, 0x40, 0x66,
    0xAB, 0x02, 0x34, 0x49, 0x04, 0x36, 0x02, 0x52, 0x3E, 0x97, 0x00,
};

constexpr uint32_t kFileSize = 0x1000000;  // addresses the filter treats as inside the file

uint32_t Get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
bool Negative(uint32_t v) { return (v & 0x80000000u) != 0; }

// The variable-length numbers of a definition: 2 bits choose 4, 8, 16 or 32 bits.
void PutNumber(BitWriter& out, uint32_t v) {
  if (v < 16) {
    out.Put(0, 2);
    out.Put(v, 4);
  } else if (v < 256) {
    out.Put(1, 2);
    out.Put(v, 8);
  } else if (v < 0x10000) {
    out.Put(2, 2);
    out.Put(v, 16);
  } else {
    out.Put(3, 2);
    out.Put(v, 32);
  }
}

}  // namespace

void X86Encode(uint8_t* block, uint32_t size, uint32_t file_offset) {
  if (size <= 4) return;
  // The decoder's scan: an E8 byte anywhere before the last four bytes, then its four address
  // bytes are skipped. Only those bytes change, so both scans stop at the same bytes.
  for (uint32_t pos = 0; pos < size - 4;) {
    if (block[pos++] != 0xE8) continue;
    const uint32_t offset = pos + file_offset;
    const uint32_t relative = Get32(block + pos);
    // The inverse of the decoder's three cases: stored in [0, 16 MB) means absolute;
    // negative with a non-negative sum means 16 MB below; anything else is kept.
    if (!Negative(relative + offset) && relative + offset < kFileSize) {
      Put32(block + pos, relative + offset);
    } else if (Negative(relative - kFileSize) && !Negative(relative - kFileSize + offset)) {
      Put32(block + pos, relative - kFileSize);
    }
    pos += 4;
  }
}

std::vector<uint8_t> X86FilterDefinition(uint32_t length, bool define_program) {
  BitWriter out;
  PutNumber(out, 1);  // filter number + 1
  PutNumber(out, 0);  // the block starts at the decode position
  PutNumber(out, length);
  if (define_program) {
    PutNumber(out, sizeof(kE8Program));
    for (uint8_t b : kE8Program) out.Put(b, 8);
  }
  return out.Take();
}

}  // namespace rar29enc
