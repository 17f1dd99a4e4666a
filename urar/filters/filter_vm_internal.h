// What the filter machine's parts share: little-endian memory access, the prepared program and
// the machine's state.
#pragma once
#include <cstdint>
#include <cstring>

#include "urar/filters/filter_native.h"
#include "urar/filters/filter_vm.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the filter machine addresses the low byte of a register through its first byte"
#endif

inline uint32_t VmGet32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}
inline void VmPut32(uint8_t* p, uint32_t v) { memcpy(p, &v, 4); }

// Opcodes in their encoded order, then the forms chosen when a program is prepared.
enum VmOpcode : uint8_t {
  kVmMov,
  kVmCmp,
  kVmAdd,
  kVmSub,
  kVmJz,
  kVmJnz,
  kVmInc,
  kVmDec,
  kVmJmp,
  kVmXor,
  kVmAnd,
  kVmOr,
  kVmTest,
  kVmJs,
  kVmJns,
  kVmJb,
  kVmJbe,
  kVmJa,
  kVmJae,
  kVmPush,
  kVmPop,
  kVmCall,
  kVmRet,
  kVmNot,
  kVmShl,
  kVmShr,
  kVmSar,
  kVmNeg,
  kVmPusha,
  kVmPopa,
  kVmPushf,
  kVmPopf,
  kVmMovzx,
  kVmMovsx,
  kVmXchg,
  kVmMul,
  kVmDiv,
  kVmAdc,
  kVmSbb,
  kVmPrint,
  kVmEncodedOpcodes,
  // Fixed-width forms; the ones of arithmetic skip the flags, used where no later instruction
  // can read them.
  kVmMovB = kVmEncodedOpcodes,
  kVmMovD,
  kVmCmpB,
  kVmCmpD,
  kVmAddB,
  kVmAddD,
  kVmSubB,
  kVmSubD,
  kVmIncB,
  kVmIncD,
  kVmDecB,
  kVmDecD,
  kVmNegB,
  kVmNegD,
};

enum VmOperandType : uint8_t { kVmNoOperand, kVmRegister, kVmImmediate, kVmMemory };

// Register 8 is a constant 0: the base register of an absolute memory operand.
constexpr uint32_t kVmZeroRegister = 8;

struct VmOperand {
  uint8_t type;
  uint8_t reg;     // kVmRegister, kVmMemory
  uint32_t value;  // immediate (writable, as the machine allows), or memory displacement
};

struct VmInstruction {
  uint8_t opcode;
  uint8_t byte_mode;
  VmOperand op1;
  VmOperand op2;
};

struct VmProgram {
  StandardFilter native;
  VmInstruction* code;  // ends with a return
  uint32_t count;
  uint8_t* static_data;
  uint32_t static_size;
};

struct FilterVm {
  uint32_t r[9];    // R0..R7 and the constant zero register
  uint32_t flags;   // kVmCarry | kVmZero | kVmSign, or whatever POPF loaded
  uint8_t* memory;  // kVmMemorySize + 4 guard bytes for double words at the last addresses
  uint64_t instructions_left;  // the archive-wide budgets (kVmArchive...Budget)
  uint64_t runs_left;
};

constexpr uint32_t kVmCarry = 1;
constexpr uint32_t kVmZero = 2;
constexpr uint32_t kVmSign = 0x80000000u;
constexpr uint32_t kVmInstructionLimit = 25000000;

// Test seam: when set, sees the bytes of every program as it is prepared (tests collect the
// standard programs that real archives carry).
extern void (*g_vm_program_observer)(const uint8_t* code, uint32_t size);

// Runs an interpreted program for at most `limit` instructions (1 or more), and adds the
// instructions it ran to *used; false when it was stopped by the limit.
bool VmInterpret(FilterVm* vm, VmInstruction* code, uint32_t count, uint32_t limit, uint64_t* used);
