// A small assembler for the filter machine's bit-level program format, so tests can state
// programs as instructions. Jumps and calls take absolute instruction indexes (coded in the
// "index + 256" form) unless JumpCoded gives the raw coded value.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vmasm {

enum Op : uint8_t {
  MOV,
  CMP,
  ADD,
  SUB,
  JZ,
  JNZ,
  INC,
  DEC,
  JMP,
  XOR,
  AND,
  OR,
  TEST,
  JS,
  JNS,
  JB,
  JBE,
  JA,
  JAE,
  PUSH,
  POP,
  CALL,
  RET,
  NOT,
  SHL,
  SHR,
  SAR,
  NEG,
  PUSHA,
  POPA,
  PUSHF,
  POPF,
  MOVZX,
  MOVSX,
  XCHG,
  MUL,
  DIV,
  ADC,
  SBB,
  PRINT,
};

struct Arg {
  enum Kind { kNone, kReg, kImm, kMemReg, kMemRegDisp, kMemAbs } kind = kNone;
  uint32_t reg = 0;
  uint32_t value = 0;
};
inline Arg R(uint32_t n) { return {Arg::kReg, n, 0}; }
inline Arg Imm(uint32_t v) { return {Arg::kImm, 0, v}; }
inline Arg Mem(uint32_t address) { return {Arg::kMemAbs, 0, address}; }
inline Arg MemR(uint32_t reg) { return {Arg::kMemReg, reg, 0}; }
inline Arg MemR(uint32_t reg, uint32_t disp) { return {Arg::kMemRegDisp, reg, disp}; }

class Assembler {
 public:
  // Static data go in front of the code.
  explicit Assembler(std::vector<uint8_t> static_data = {}) {
    if (static_data.empty()) {
      Put(0, 1);
    } else {
      Put(1, 1);
      Number(static_cast<uint32_t>(static_data.size() - 1));
      for (uint8_t b : static_data) Put(b, 8);
    }
  }

  Assembler& I(Op op, Arg a = {}, Arg b = {}) { return Emit(op, false, a, b); }
  Assembler& B(Op op, Arg a = {}, Arg b = {}) { return Emit(op, true, a, b); }  // byte form
  Assembler& Jump(Op op, uint32_t target) { return Emit(op, false, Imm(target + 256), {}); }
  Assembler& JumpCoded(Op op, uint32_t coded) { return Emit(op, false, Imm(coded), {}); }
  // A jump in the shortest coding: relative to this instruction within -128..127, else absolute.
  Assembler& Near(Op op, uint32_t target) {
    const int32_t rel = static_cast<int32_t>(target - count_);
    if (rel >= 0 && rel <= 7) return JumpCoded(op, static_cast<uint32_t>(rel));
    if (rel >= -8 && rel <= -1) return JumpCoded(op, static_cast<uint32_t>(rel + 16));
    if (rel >= 8 && rel <= 127) return JumpCoded(op, static_cast<uint32_t>(rel + 8));
    if (rel >= -128 && rel <= -9) return JumpCoded(op, static_cast<uint32_t>(rel + 264));
    return Jump(op, target);
  }
  uint32_t Count() const { return count_; }

  // The program bytes: the XOR byte, then the bits padded with zeros.
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out(1 + (bits_.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits_.size(); ++i)
      if (bits_[i]) out[1 + i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    for (size_t i = 1; i < out.size(); ++i) out[0] ^= out[i];
    return out;
  }

 private:
  static bool HasByteMode(Op op) {
    switch (op) {
      case MOV:
      case CMP:
      case ADD:
      case SUB:
      case INC:
      case DEC:
      case XOR:
      case AND:
      case OR:
      case TEST:
      case NOT:
      case SHL:
      case SHR:
      case SAR:
      case NEG:
      case XCHG:
      case MUL:
      case DIV:
      case ADC:
      case SBB: return true;
      default: return false;
    }
  }

  void Put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) bits_.push_back(((value >> i) & 1) != 0);
  }

  void Number(uint32_t v) {
    if (v < 16) {
      Put(0, 2), Put(v, 4);
    } else if (v < 256) {
      Put(1, 2), Put(v, 8);
    } else if (v >= 0xFFFFFF00u) {
      Put(1, 2), Put(0, 4), Put(v & 0xFF, 8);
    } else if (v < 65536) {
      Put(2, 2), Put(v, 16);
    } else {
      Put(3, 2), Put(v >> 16, 16), Put(v & 0xFFFF, 16);
    }
  }

  void Operand(const Arg& a, bool byte_mode) {
    switch (a.kind) {
      case Arg::kNone: break;
      case Arg::kReg: Put(1, 1), Put(a.reg, 3); break;
      case Arg::kImm:
        Put(0, 2);
        if (byte_mode)
          Put(a.value & 0xFF, 8);
        else
          Number(a.value);
        break;
      case Arg::kMemReg: Put(1, 2), Put(0, 1), Put(a.reg, 3); break;
      case Arg::kMemRegDisp: Put(1, 2), Put(2, 2), Put(a.reg, 3), Number(a.value); break;
      case Arg::kMemAbs: Put(1, 2), Put(3, 2), Number(a.value); break;
    }
  }

  Assembler& Emit(Op op, bool byte_mode, Arg a, Arg b) {
    if (op < 8)
      Put(op, 4);
    else
      Put(op + 24u, 6);
    if (HasByteMode(op)) Put(byte_mode ? 1 : 0, 1);
    Operand(a, byte_mode);
    Operand(b, byte_mode);
    ++count_;
    return *this;
  }

  std::vector<bool> bits_;
  uint32_t count_ = 0;
};

}  // namespace vmasm
