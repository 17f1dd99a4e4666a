// The interpreter of the filter machine. Operands resolve to the bytes they name: a register, an
// immediate inside the instruction (writable, as the machine defines), or memory at a masked
// address. Byte forms touch only the first (low) byte; double words at the last addresses of
// memory run into the guard bytes rather than wrapping.
#include "urar/filters/filter_vm_internal.h"

namespace {

inline uint8_t* OperandBytes(FilterVm* vm, VmOperand& op) {
  switch (op.type) {
    case kVmRegister: return reinterpret_cast<uint8_t*>(&vm->r[op.reg]);
    case kVmMemory: return vm->memory + ((vm->r[op.reg] + op.value) & kVmMemoryMask);
    default: return reinterpret_cast<uint8_t*>(&op.value);
  }
}

inline uint32_t Get(bool byte_mode, const uint8_t* p) { return byte_mode ? *p : VmGet32(p); }
inline void Set(bool byte_mode, uint8_t* p, uint32_t v) {
  if (byte_mode)
    *p = static_cast<uint8_t>(v);
  else
    VmPut32(p, v);
}

inline uint32_t ZeroOrSign(uint32_t result) { return result == 0 ? kVmZero : (result & kVmSign); }

}  // namespace

bool VmInterpret(FilterVm* vm, VmInstruction* code, uint32_t count, uint32_t limit,
                 uint64_t* used) {
  uint32_t* r = vm->r;
  uint8_t* mem = vm->memory;
  uint32_t flags = vm->flags;
  int32_t budget = static_cast<int32_t>(limit);
  VmInstruction* cmd = code;
  // The count of instructions run, on every way out.
  struct Spent {
    const int32_t& left;
    int32_t start;
    uint64_t* used;
    ~Spent() { *used += uint64_t(int64_t(start) - (left > 0 ? left : 0)); }
  } spent{budget, budget, used};

  // Control moves only through jumps, calls and returns, so the budget is checked there.
#define VM_GOTO(target)              \
  do {                               \
    const uint32_t ip_ = (target);   \
    if (ip_ >= count) return true;   \
    if (--budget <= 0) return false; \
    cmd = code + ip_;                \
  } while (0)
#define VM_JUMP_IF(cond) \
  if (cond) {            \
    VM_GOTO(VmGet32(a)); \
    continue;            \
  }                      \
  break

  for (;;) {
    uint8_t* a = OperandBytes(vm, cmd->op1);
    uint8_t* b = OperandBytes(vm, cmd->op2);
    const bool bm = cmd->byte_mode != 0;
    switch (cmd->opcode) {
      case kVmMov: Set(bm, a, Get(bm, b)); break;
      case kVmMovB: *a = *b; break;
      case kVmMovD: VmPut32(a, VmGet32(b)); break;
      case kVmCmp:
      case kVmCmpB:
      case kVmCmpD: {
        const bool m = cmd->opcode == kVmCmpB || (cmd->opcode == kVmCmp && bm);
        const uint32_t v1 = Get(m, a);
        const uint32_t result = v1 - Get(m, b);
        flags = result == 0 ? kVmZero : ((result > v1) | (result & kVmSign));
        break;
      }
      case kVmAdd: {
        const uint32_t v1 = Get(bm, a);
        uint32_t result = v1 + Get(bm, b);
        if (bm) {
          result &= 0xFF;
          flags = (result < v1) | (result == 0 ? kVmZero : ((result & 0x80) ? kVmSign : 0));
        } else {
          flags = (result < v1) | ZeroOrSign(result);
        }
        Set(bm, a, result);
        break;
      }
      case kVmAddB: *a = static_cast<uint8_t>(*a + *b); break;
      case kVmAddD: VmPut32(a, VmGet32(a) + VmGet32(b)); break;
      case kVmSub: {
        const uint32_t v1 = Get(bm, a);
        const uint32_t result = v1 - Get(bm, b);
        flags = result == 0 ? kVmZero : ((result > v1) | (result & kVmSign));
        Set(bm, a, result);
        break;
      }
      case kVmSubB: *a = static_cast<uint8_t>(*a - *b); break;
      case kVmSubD: VmPut32(a, VmGet32(a) - VmGet32(b)); break;
      case kVmJz: VM_JUMP_IF(flags & kVmZero);
      case kVmJnz: VM_JUMP_IF(!(flags & kVmZero));
      case kVmInc: {
        uint32_t result = Get(bm, a) + 1;
        if (bm) result &= 0xFF;
        Set(bm, a, result);
        flags = ZeroOrSign(result);
        break;
      }
      case kVmIncB: *a = static_cast<uint8_t>(*a + 1); break;
      case kVmIncD: VmPut32(a, VmGet32(a) + 1); break;
      case kVmDec: {
        // The byte form's flags come from the unmasked result: decrementing 0 sets the sign.
        const uint32_t result = Get(bm, a) - 1;
        Set(bm, a, result);
        flags = ZeroOrSign(result);
        break;
      }
      case kVmDecB: *a = static_cast<uint8_t>(*a - 1); break;
      case kVmDecD: VmPut32(a, VmGet32(a) - 1); break;
      case kVmJmp: VM_GOTO(VmGet32(a)); continue;
      case kVmXor: {
        const uint32_t result = Get(bm, a) ^ Get(bm, b);
        flags = ZeroOrSign(result);
        Set(bm, a, result);
        break;
      }
      case kVmAnd: {
        const uint32_t result = Get(bm, a) & Get(bm, b);
        flags = ZeroOrSign(result);
        Set(bm, a, result);
        break;
      }
      case kVmOr: {
        const uint32_t result = Get(bm, a) | Get(bm, b);
        flags = ZeroOrSign(result);
        Set(bm, a, result);
        break;
      }
      case kVmTest: flags = ZeroOrSign(Get(bm, a) & Get(bm, b)); break;
      case kVmJs: VM_JUMP_IF(flags & kVmSign);
      case kVmJns: VM_JUMP_IF(!(flags & kVmSign));
      case kVmJb: VM_JUMP_IF(flags & kVmCarry);
      case kVmJbe: VM_JUMP_IF(flags & (kVmCarry | kVmZero));
      case kVmJa: VM_JUMP_IF(!(flags & (kVmCarry | kVmZero)));
      case kVmJae: VM_JUMP_IF(!(flags & kVmCarry));
      case kVmPush:
        r[7] -= 4;
        VmPut32(mem + (r[7] & kVmMemoryMask), VmGet32(a));
        break;
      case kVmPop:
        VmPut32(a, VmGet32(mem + (r[7] & kVmMemoryMask)));
        r[7] += 4;
        break;
      case kVmCall:
        r[7] -= 4;
        VmPut32(mem + (r[7] & kVmMemoryMask), static_cast<uint32_t>(cmd - code) + 1);
        VM_GOTO(VmGet32(a));
        continue;
      case kVmRet:
        if (r[7] >= kVmMemorySize) return true;
        VM_GOTO(VmGet32(mem + (r[7] & kVmMemoryMask)));
        r[7] += 4;
        continue;
      case kVmNot: Set(bm, a, ~Get(bm, a)); break;
      case kVmShl: {
        const uint32_t v1 = Get(bm, a), n = Get(bm, b);
        // Counts act modulo 32, as the x86 shift instructions take them.
        const uint32_t result = v1 << (n & 31);
        flags = ZeroOrSign(result) | (((v1 << ((n - 1) & 31)) & 0x80000000u) ? kVmCarry : 0);
        Set(bm, a, result);
        break;
      }
      case kVmShr: {
        const uint32_t v1 = Get(bm, a), n = Get(bm, b);
        const uint32_t result = v1 >> (n & 31);
        flags = ZeroOrSign(result) | ((v1 >> ((n - 1) & 31)) & kVmCarry);
        Set(bm, a, result);
        break;
      }
      case kVmSar: {
        const uint32_t v1 = Get(bm, a), n = Get(bm, b);
        const uint32_t result = static_cast<uint32_t>(static_cast<int32_t>(v1) >> (n & 31));
        flags = ZeroOrSign(result) | ((v1 >> ((n - 1) & 31)) & kVmCarry);
        Set(bm, a, result);
        break;
      }
      case kVmNeg: {
        const uint32_t result = 0u - Get(bm, a);
        flags = result == 0 ? kVmZero : (kVmCarry | (result & kVmSign));
        Set(bm, a, result);
        break;
      }
      case kVmNegB: *a = static_cast<uint8_t>(0u - *a); break;
      case kVmNegD: VmPut32(a, 0u - VmGet32(a)); break;
      case kVmPusha: {
        uint32_t sp = r[7];
        for (int i = 0; i < 8; ++i) {
          sp -= 4;
          VmPut32(mem + (sp & kVmMemoryMask), r[i]);
        }
        r[7] -= 32;
        break;
      }
      case kVmPopa: {
        // R7 comes back from the stack too, as PUSHA saved it.
        uint32_t sp = r[7];
        for (int i = 7; i >= 0; --i, sp += 4) r[i] = VmGet32(mem + (sp & kVmMemoryMask));
        break;
      }
      case kVmPushf:
        r[7] -= 4;
        VmPut32(mem + (r[7] & kVmMemoryMask), flags);
        break;
      case kVmPopf:
        flags = VmGet32(mem + (r[7] & kVmMemoryMask));
        r[7] += 4;
        break;
      case kVmMovzx: VmPut32(a, *b); break;
      case kVmMovsx:
        VmPut32(a, static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(*b))));
        break;
      case kVmXchg: {
        const uint32_t v1 = Get(bm, a);
        Set(bm, a, Get(bm, b));
        Set(bm, b, v1);
        break;
      }
      case kVmMul: Set(bm, a, Get(bm, a) * Get(bm, b)); break;
      case kVmDiv: {
        const uint32_t divisor = Get(bm, b);
        if (divisor != 0) Set(bm, a, Get(bm, a) / divisor);
        break;
      }
      case kVmAdc: {
        const uint32_t v1 = Get(bm, a), carry = flags & kVmCarry;
        uint32_t result = v1 + Get(bm, b) + carry;
        if (bm) result &= 0xFF;
        flags = (result < v1 || (result == v1 && carry)) | ZeroOrSign(result);
        Set(bm, a, result);
        break;
      }
      case kVmSbb: {
        const uint32_t v1 = Get(bm, a), carry = flags & kVmCarry;
        uint32_t result = v1 - Get(bm, b) - carry;
        if (bm) result &= 0xFF;
        flags = (result > v1 || (result == v1 && carry)) | ZeroOrSign(result);
        Set(bm, a, result);
        break;
      }
      case kVmPrint: break;
      default: break;
    }
    ++cmd;
    --budget;
  }
#undef VM_JUMP_IF
#undef VM_GOTO
}
