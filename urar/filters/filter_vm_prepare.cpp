// Turning filter program bytes into a runnable program: the XOR check, recognition of the
// standard programs, bit-level decoding of the instructions and the choice of their fixed-width
// forms.
#include <cstdlib>

#include "urar/common/bit_input.h"
#include "urar/filters/filter_vm_internal.h"

namespace {

enum : uint8_t {
  kOperands0 = 0,
  kOperands1 = 1,
  kOperands2 = 2,
  kOperandMask = 3,
  kHasByteMode = 4,
  kJump = 8,
  kProcedure = 16,
  kReadsFlags = 32,
  kWritesFlags = 64,
};

constexpr uint8_t kOpcodeTraits[kVmEncodedOpcodes] = {
    /* MOV  */ kOperands2 | kHasByteMode,
    /* CMP  */ kOperands2 | kHasByteMode | kWritesFlags,
    /* ADD  */ kOperands2 | kHasByteMode | kWritesFlags,
    /* SUB  */ kOperands2 | kHasByteMode | kWritesFlags,
    /* JZ   */ kOperands1 | kJump | kReadsFlags,
    /* JNZ  */ kOperands1 | kJump | kReadsFlags,
    /* INC  */ kOperands1 | kHasByteMode | kWritesFlags,
    /* DEC  */ kOperands1 | kHasByteMode | kWritesFlags,
    /* JMP  */ kOperands1 | kJump,
    /* XOR  */ kOperands2 | kHasByteMode | kWritesFlags,
    /* AND  */ kOperands2 | kHasByteMode | kWritesFlags,
    /* OR   */ kOperands2 | kHasByteMode | kWritesFlags,
    /* TEST */ kOperands2 | kHasByteMode | kWritesFlags,
    /* JS   */ kOperands1 | kJump | kReadsFlags,
    /* JNS  */ kOperands1 | kJump | kReadsFlags,
    /* JB   */ kOperands1 | kJump | kReadsFlags,
    /* JBE  */ kOperands1 | kJump | kReadsFlags,
    /* JA   */ kOperands1 | kJump | kReadsFlags,
    /* JAE  */ kOperands1 | kJump | kReadsFlags,
    /* PUSH */ kOperands1,
    /* POP  */ kOperands1,
    /* CALL */ kOperands1 | kProcedure,
    /* RET  */ kOperands0 | kProcedure,
    /* NOT  */ kOperands1 | kHasByteMode,
    /* SHL  */ kOperands2 | kHasByteMode | kWritesFlags,
    /* SHR  */ kOperands2 | kHasByteMode | kWritesFlags,
    /* SAR  */ kOperands2 | kHasByteMode | kWritesFlags,
    /* NEG  */ kOperands1 | kHasByteMode | kWritesFlags,
    /* PUSHA*/ kOperands0,
    /* POPA */ kOperands0,
    /* PUSHF*/ kOperands0 | kReadsFlags,
    /* POPF */ kOperands0 | kWritesFlags,
    /* MOVZX*/ kOperands2,
    /* MOVSX*/ kOperands2,
    /* XCHG */ kOperands2 | kHasByteMode,
    /* MUL  */ kOperands2 | kHasByteMode,
    /* DIV  */ kOperands2 | kHasByteMode,
    /* ADC  */ kOperands2 | kHasByteMode | kReadsFlags | kWritesFlags,
    /* SBB  */ kOperands2 | kHasByteMode | kReadsFlags | kWritesFlags,
    /* PRINT*/ kOperands0,
};

// Decoding reads at most a few bytes past the last instruction that starts inside the code;
// they read as zero.
constexpr uint32_t kCodePadding = 16;

// The machine's variable-length number: 4, 8, 16 or 32 bits after a 2-bit selector; the 8-bit
// form with a zero high nibble stands for a negative number (0xFFFFFFxx).
uint32_t ReadNumber(BitInput& in) {
  const uint32_t d = in.Peek16();
  switch (d & 0xC000) {
    case 0: in.Skip(6); return (d >> 10) & 0xF;
    case 0x4000:
      if ((d & 0x3C00) == 0) {
        in.Skip(14);
        return 0xFFFFFF00u | ((d >> 2) & 0xFF);
      }
      in.Skip(10);
      return (d >> 6) & 0xFF;
    case 0x8000: {
      in.Skip(2);
      const uint32_t v = in.Peek16();
      in.Skip(16);
      return v;
    }
    default: {
      in.Skip(2);
      uint32_t v = in.Peek16() << 16;
      in.Skip(16);
      v |= in.Peek16();
      in.Skip(16);
      return v;
    }
  }
}

void ReadOperand(BitInput& in, bool byte_mode, VmOperand& op) {
  const uint32_t d = in.Peek16();
  if (d & 0x8000) {
    op.type = kVmRegister;
    op.reg = static_cast<uint8_t>((d >> 12) & 7);
    in.Skip(4);
  } else if ((d & 0xC000) == 0) {
    op.type = kVmImmediate;
    if (byte_mode) {
      op.value = (d >> 6) & 0xFF;
      in.Skip(10);
    } else {
      in.Skip(2);
      op.value = ReadNumber(in);
    }
  } else {
    op.type = kVmMemory;
    if ((d & 0x2000) == 0) {  // [Rn]
      op.reg = static_cast<uint8_t>((d >> 10) & 7);
      op.value = 0;
      in.Skip(6);
    } else {
      if ((d & 0x1000) == 0) {  // [Rn + displacement]
        op.reg = static_cast<uint8_t>((d >> 9) & 7);
        in.Skip(7);
      } else {  // [displacement]
        op.reg = kVmZeroRegister;
        in.Skip(4);
      }
      op.value = ReadNumber(in);
    }
  }
}

// Immediate jump targets are coded relative to the jumping instruction, in a folded range.
uint32_t JumpTarget(uint32_t coded, uint32_t index) {
  const int32_t distance = static_cast<int32_t>(coded);
  if (distance >= 256) return coded - 256;
  int32_t relative = distance;
  if (distance >= 136)
    relative -= 264;
  else if (distance >= 16)
    relative -= 8;
  else if (distance >= 8)
    relative -= 16;
  return static_cast<uint32_t>(relative) + index;
}

// Picks the fixed-width form of moves and compares, and of arithmetic whose flags are
// overwritten before any instruction could read them (no jump, call or return in between).
void ChooseForms(VmInstruction* code, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    VmInstruction& cmd = code[i];
    const bool b = cmd.byte_mode != 0;
    if (cmd.opcode == kVmMov) {
      cmd.opcode = b ? kVmMovB : kVmMovD;
      continue;
    }
    if (cmd.opcode == kVmCmp) {
      cmd.opcode = b ? kVmCmpB : kVmCmpD;
      continue;
    }
    if (!(kOpcodeTraits[cmd.opcode] & kWritesFlags)) continue;
    bool flags_needed = false;
    for (uint32_t j = i + 1; j < count; ++j) {
      const uint8_t traits = kOpcodeTraits[code[j].opcode];
      if (traits & (kJump | kProcedure | kReadsFlags)) {
        flags_needed = true;
        break;
      }
      if (traits & kWritesFlags) break;
    }
    if (flags_needed) continue;
    switch (cmd.opcode) {
      case kVmAdd: cmd.opcode = b ? kVmAddB : kVmAddD; break;
      case kVmSub: cmd.opcode = b ? kVmSubB : kVmSubD; break;
      case kVmInc: cmd.opcode = b ? kVmIncB : kVmIncD; break;
      case kVmDec: cmd.opcode = b ? kVmDecB : kVmDecD; break;
      case kVmNeg: cmd.opcode = b ? kVmNegB : kVmNegD; break;
      default: break;
    }
  }
}

bool XorCheckPasses(const uint8_t* code, uint32_t size) {
  if (size == 0) return false;
  uint8_t x = 0;
  for (uint32_t i = 1; i < size; ++i) x ^= code[i];
  return x == code[0];
}

// Decodes the static data and instructions; leaves room for the final return.
bool Decode(VmProgram* program, const uint8_t* code, uint32_t size) {
  uint8_t* bytes = static_cast<uint8_t*>(calloc(size_t{size} + kCodePadding, 1));
  if (!bytes) return false;
  memcpy(bytes, code, size);
  BitInput in;
  in.Reset(bytes);
  in.Skip(8);  // the XOR byte

  bool ok = true;
  if (in.Bits(1)) {
    const uint32_t declared = ReadNumber(in) + 1;
    const uint32_t available = in.addr < size ? size - in.addr : 0;
    const uint32_t n = declared < available ? declared : available;
    // Only data that fits the global area is kept; all of it is skipped either way.
    const bool keep = declared < kVmGlobalSize;
    if (keep && n > 0) {
      program->static_data = static_cast<uint8_t*>(malloc(n));
      ok = program->static_data != nullptr;
      if (ok) program->static_size = n;
    }
    for (uint32_t i = 0; ok && i < n; ++i) {
      const uint8_t b = static_cast<uint8_t>(in.Bits(8));
      if (keep) program->static_data[i] = b;
    }
  }

  // Every instruction takes at least 4 bits.
  const uint32_t capacity = 2 * size + 2;
  if (ok) {
    program->code = static_cast<VmInstruction*>(calloc(capacity, sizeof(VmInstruction)));
    ok = program->code != nullptr;
  }
  while (ok && in.addr < size) {
    VmInstruction& cmd = program->code[program->count];
    const uint32_t d = in.Peek16();
    if ((d & 0x8000) == 0) {
      cmd.opcode = static_cast<uint8_t>(d >> 12);
      in.Skip(4);
    } else {
      cmd.opcode = static_cast<uint8_t>((d >> 10) - 24);
      in.Skip(6);
    }
    const uint8_t traits = kOpcodeTraits[cmd.opcode];
    if (traits & kHasByteMode) cmd.byte_mode = static_cast<uint8_t>(in.Bits(1));
    const uint8_t operands = traits & kOperandMask;
    if (operands > 0) ReadOperand(in, cmd.byte_mode != 0, cmd.op1);
    if (operands == 2) {
      ReadOperand(in, cmd.byte_mode != 0, cmd.op2);
    } else if (operands == 1 && cmd.op1.type == kVmImmediate && (traits & (kJump | kProcedure))) {
      cmd.op1.value = JumpTarget(cmd.op1.value, program->count);
    }
    program->count++;
  }
  free(bytes);
  return ok;
}

}  // namespace

void (*g_vm_program_observer)(const uint8_t* code, uint32_t size) = nullptr;

VmProgram* VmPrepare(const uint8_t* code, uint32_t size, bool allow_native) {
  if (g_vm_program_observer) g_vm_program_observer(code, size);
  VmProgram* program = static_cast<VmProgram*>(calloc(1, sizeof(VmProgram)));
  if (!program) return nullptr;
  if (XorCheckPasses(code, size)) {
    // A standard program is decoded too: registers outside the native code's range run it.
    if (allow_native) program->native = RecogniseStandardFilter(code, size);
    if (!Decode(program, code, size)) {
      VmFreeProgram(program);
      return nullptr;
    }
  } else {
    // A program that fails the check only returns, so its block passes unfiltered.
    program->code = static_cast<VmInstruction*>(calloc(1, sizeof(VmInstruction)));
    if (!program->code) {
      VmFreeProgram(program);
      return nullptr;
    }
  }
  VmInstruction& ret = program->code[program->count++];
  ret = VmInstruction{};
  ret.opcode = kVmRet;
  ChooseForms(program->code, program->count);
  return program;
}

void VmFreeProgram(VmProgram* program) {
  if (!program) return;
  free(program->code);
  free(program->static_data);
  free(program);
}
