// Filter programs for the three standard filters that no corpus archive carries (Itanium, RGB,
// upper-case text): the filters written in the machine's own instructions, then given the standard
// program's length and CRC-32, so the decoder takes them for the standard programs. Interpreted,
// they are what the native filters must match wherever the native code runs; forged this way, they
// are also what an attacker can hand the native code with any registers.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "tests/urar/filter_vm_assembler.h"
#include "urar/common/checksum.h"
#include "urar/filters/filter_native.h"

namespace forged {

using Code = std::vector<uint8_t>;
using namespace vmasm;

// Labels are instruction indexes; the program is assembled twice so forward jumps find theirs.
using Labels = uint32_t[16];
inline Code Assemble(void (*emit)(Assembler&, Labels&)) {
  Labels labels = {};
  for (int pass = 0; pass < 2; ++pass) {
    Assembler a;
    emit(a, labels);
    if (pass == 1) return a.Bytes();
  }
  return {};
}

// x with m x = v over GF(2), m given by its 32 columns; false when m is singular.
inline bool Solve32(const uint32_t columns[32], uint32_t v, uint32_t* x) {
  uint64_t rows[32];  // coefficients in bits 0..31, the right-hand side in bit 32
  for (int r = 0; r < 32; ++r) {
    rows[r] = uint64_t{(v >> r) & 1} << 32;
    for (int c = 0; c < 32; ++c) rows[r] |= uint64_t{(columns[c] >> r) & 1} << c;
  }
  for (int c = 0; c < 32; ++c) {
    int pivot = c;
    while (pivot < 32 && !((rows[pivot] >> c) & 1)) ++pivot;
    if (pivot == 32) return false;
    std::swap(rows[c], rows[pivot]);
    for (int r = 0; r < 32; ++r)
      if (r != c && ((rows[r] >> c) & 1)) rows[r] ^= rows[c];
  }
  *x = 0;
  for (int c = 0; c < 32; ++c) *x |= static_cast<uint32_t>((rows[c] >> 32) & 1) << c;
  return true;
}

// Pads `code` to `size` bytes and sets four bytes after it so that the XOR byte checks and the
// CRC-32 is `crc`. The bytes after the final return are never run.
inline Code Forge(Code code, uint32_t size, uint32_t crc) {
  for (size_t at = code.size(); at + 4 <= size; ++at) {
    Code out = code;
    out.resize(size, 0);
    auto checksum = [&](uint32_t patch) {
      for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(patch >> (8 * i));
      out[0] = 0;
      for (size_t i = 1; i < out.size(); ++i) out[0] ^= out[i];
      return Crc32(0, out.data(), out.size());
    };
    // Both checks are affine in the patch bits, so the CRC is too.
    const uint32_t base = checksum(0);
    uint32_t columns[32];
    for (int bit = 0; bit < 32; ++bit) columns[bit] = checksum(1u << bit) ^ base;
    uint32_t patch;
    if (Solve32(columns, crc ^ base, &patch)) {
      checksum(patch);
      return out;
    }
  }
  return {};
}

// Itanium: R4 block size, R6 file offset, from R1. Each 16-byte bundle whose template marks
// branch slots has the 20-bit target of every branch (opcode 5) made relative to the bundle.
inline void EmitItanium(Assembler& a, Labels& l) {
  enum { kBundle, kSlot, kSkip, kNext, kDone };
  a.I(CMP, R(4), Imm(22)).Near(JB, l[kDone]);
  a.I(SUB, R(4), Imm(21)).I(SHR, R(6), Imm(4));  // R4: end of bundles, R6: bundle number
  l[kBundle] = a.Count();
  a.I(MOVZX, R(2), MemR(1)).I(AND, R(2), Imm(0x1F)).I(SUB, R(2), Imm(0x10)).Near(JB, l[kNext]);
  // Branch slots per template pair, 3 bits each: 4 6 0 7 4 0 4 0.
  a.I(SHR, R(2), Imm(1)).I(MUL, R(2), Imm(3));
  a.I(MOV, R(3), Imm(0x104E34)).I(SHR, R(3), R(2)).I(MOV, R(2), R(3));
  // Slot s: opcode at bit 42 + 41 s, target at bit 18 + 41 s: bytes 5 s + 5 and 5 s + 2,
  // shifted by s + 2.
  a.I(MOV, R(5), R(1)).I(MOV, R(0), Imm(2));
  l[kSlot] = a.Count();
  a.I(SHR, R(2), Imm(1)).Near(JAE, l[kSkip]);
  a.I(MOV, R(3), MemR(5, 5)).I(SHR, R(3), R(0)).I(AND, R(3), Imm(15)).I(CMP, R(3), Imm(5));
  a.Near(JNZ, l[kSkip]);
  a.I(MOV, R(3), MemR(5, 2)).I(SHR, R(3), R(0)).I(AND, R(3), Imm(0xFFFFF)).I(PUSH, R(3));
  a.I(SUB, R(3), R(6)).I(AND, R(3), Imm(0xFFFFF)).I(XOR, R(3), MemR(7)).I(SHL, R(3), R(0));
  a.I(XOR, MemR(5, 2), R(3)).I(POP, R(3));
  l[kSkip] = a.Count();
  a.I(ADD, R(5), Imm(5)).I(INC, R(0)).I(CMP, R(0), Imm(5)).Near(JB, l[kSlot]);
  l[kNext] = a.Count();
  a.I(ADD, R(1), Imm(16)).I(INC, R(6)).I(CMP, R(1), R(4)).Near(JB, l[kBundle]);
  l[kDone] = a.Count();
  a.I(RET);
}

// After an instruction that set the sign flag from `x`: x = |x|.
inline void Abs(Assembler& a, Arg x) {
  const uint32_t after = a.Count() + 2;
  a.Near(JNS, after).I(NEG, x);
}

// RGB: R0 bytes per row, R1 where red is in a pixel, R3 the globals, R4 block size, from R2.
// Each channel is predicted from the left, above and above-left bytes; then green is added to
// red and blue.
inline void EmitRgb(Assembler& a, Labels& l) {
  enum { kChannel, kPixel, kNotLeft, kUpLeft, kDrop, kStore, kChannelEnd, kColour, kDone };
  a.I(MOV, MemR(3, 0x20), R(4)).I(PUSH, R(1)).I(PUSH, R(0)).I(SUB, R(0), R(0));  // [R7]: row
  l[kChannel] = a.Count();
  a.I(SUB, R(5), R(5)).I(MOV, R(3), R(0));  // R5: previous byte, R3: i
  l[kPixel] = a.Count();
  a.I(CMP, R(3), R(4)).Near(JAE, l[kChannelEnd]);
  a.I(CMP, R(3), MemR(7)).Near(JB, l[kStore]);
  a.I(MOV, R(1), R(3)).I(SUB, R(1), MemR(7)).I(ADD, R(1), R(4));  // above-left
  a.I(MOVZX, R(6), MemR(1, 3)).I(MOVZX, R(1), MemR(1)).I(PUSH, R(6)).I(PUSH, R(1));
  // R6 = up - up_left, R1 = prev - up_left; then |R6|, |R1|, |R6 + R1| decide.
  a.I(SUB, R(6), R(1)).I(MOV, R(1), R(5)).I(SUB, R(1), MemR(7)).I(PUSH, R(1));
  a.I(ADD, MemR(7), R(6));
  Abs(a, MemR(7));
  a.I(TEST, R(6), R(6));
  Abs(a, R(6));
  a.I(TEST, R(1), R(1));
  Abs(a, R(1));
  a.I(CMP, R(6), R(1)).Near(JA, l[kNotLeft]).I(CMP, R(6), MemR(7)).Near(JA, l[kNotLeft]);
  a.Near(JMP, l[kDrop]);
  l[kNotLeft] = a.Count();
  a.I(CMP, R(1), MemR(7)).Near(JA, l[kUpLeft]).I(MOV, R(5), MemR(7, 8)).Near(JMP, l[kDrop]);
  l[kUpLeft] = a.Count();
  a.I(MOV, R(5), MemR(7, 4));
  l[kDrop] = a.Count();
  a.I(ADD, R(7), Imm(12));
  l[kStore] = a.Count();
  a.B(SUB, R(5), MemR(2)).I(MOV, R(1), R(4)).I(ADD, R(1), R(3)).B(MOV, MemR(1), R(5));
  a.I(INC, R(2)).I(ADD, R(3), Imm(3)).Near(JMP, l[kPixel]);
  l[kChannelEnd] = a.Count();
  a.I(INC, R(0)).I(CMP, R(0), Imm(3)).Near(JB, l[kChannel]);
  a.I(POP, R(0)).I(POP, R(3));  // R3: red
  l[kColour] = a.Count();
  a.I(MOV, R(1), R(3)).I(ADD, R(1), Imm(2)).I(CMP, R(1), R(4)).Near(JAE, l[kDone]);
  a.I(ADD, R(1), R(4)).I(MOVZX, R(6), MemR(1, 0xFFFFFFFFu));
  a.B(ADD, MemR(1), R(6)).B(ADD, MemR(1, 0xFFFFFFFEu), R(6));
  a.I(ADD, R(3), Imm(3)).Near(JMP, l[kColour]);
  l[kDone] = a.Count();
  a.I(RET);
}

// Upper-case text: R3 the globals, R4 block size, from R2. Byte 2 escapes: 2 2 is a literal 2,
// 2 x is x - 32; the shorter text is written beside the block.
inline void EmitUpperCase(Assembler& a, Labels& l) {
  enum { kLoop, kByte, kStore };
  a.I(MOV, R(1), R(4));
  l[kLoop] = a.Count();
  // The end comes first: a jump forward over it is shorter than one out of the loop.
  a.I(CMP, R(2), R(4)).Near(JB, l[kByte]);
  a.I(SUB, R(1), R(4)).I(MOV, MemR(3, 0x1C), R(1)).I(MOV, MemR(3, 0x20), R(4)).I(RET);
  l[kByte] = a.Count();
  a.B(MOV, R(0), MemR(2)).I(INC, R(2)).I(CMP, R(0), Imm(2)).Near(JNZ, l[kStore]);
  a.B(MOV, R(0), MemR(2)).I(INC, R(2)).I(CMP, R(0), Imm(2)).Near(JZ, l[kStore]);
  a.B(SUB, R(0), Imm(32));
  l[kStore] = a.Count();
  a.B(MOV, MemR(1), R(0)).I(INC, R(1)).Near(JMP, l[kLoop]);
}

// The forged program of `kind` (Itanium, RGB or upper-case text), or nothing for another kind.
inline Code Program(StandardFilter kind) {
  switch (kind) {
    case StandardFilter::kItanium: return Forge(Assemble(EmitItanium), 120, 0x3769893Fu);
    case StandardFilter::kRgb: return Forge(Assemble(EmitRgb), 149, 0x1C2C5DC8u);
    case StandardFilter::kUpperCase: return Forge(Assemble(EmitUpperCase), 40, 0x46B9C560u);
    default: return {};
  }
}

}  // namespace forged
