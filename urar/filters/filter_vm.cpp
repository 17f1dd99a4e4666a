// The filter machine: its memory, and one run of a prepared program over a block with the
// globals the decoder supplies.
#include "urar/filters/filter_vm.h"

#include <cstdlib>

#include "urar/filters/filter_vm_internal.h"

namespace {

constexpr uint32_t kGlobalBlockSize = 0x1C;
constexpr uint32_t kGlobalBlockPosition = 0x20;
constexpr uint32_t kGlobalKeepSize = 0x30;

// Hands back the globals the program asked to keep: its fixed globals and that many bytes more.
bool KeepGlobals(const uint8_t* area, uint8_t** globals, uint32_t* global_size) {
  uint32_t extra = VmGet32(area + kGlobalKeepSize);
  if (extra > kVmGlobalSize - kVmFixedGlobalSize) extra = kVmGlobalSize - kVmFixedGlobalSize;
  if (extra == 0) {
    free(*globals);
    *globals = nullptr;
    *global_size = 0;
    return true;
  }
  const uint32_t size = extra + kVmFixedGlobalSize;
  uint8_t* kept = static_cast<uint8_t*>(realloc(*globals, size));
  if (!kept) return false;
  memcpy(kept, area, size);
  *globals = kept;
  *global_size = size;
  return true;
}

}  // namespace

FilterVm* VmCreate() {
  FilterVm* vm = static_cast<FilterVm*>(calloc(1, sizeof(FilterVm)));
  if (!vm) return nullptr;
  vm->memory = static_cast<uint8_t*>(calloc(kVmMemorySize + 4, 1));
  if (!vm->memory) {
    free(vm);
    return nullptr;
  }
  vm->instructions_left = kVmArchiveInstructionBudget;
  vm->runs_left = kVmArchiveRunBudget;
  return vm;
}

void VmDestroy(FilterVm* vm) {
  if (!vm) return;
  free(vm->memory);
  free(vm);
}

uint8_t* VmMemory(FilterVm* vm) { return vm->memory; }

VmRun VmExecute(FilterVm* vm, VmProgram* program, const uint32_t init_registers[7],
                uint8_t** globals, uint32_t* global_size, uint32_t* out_position,
                uint32_t* out_size) {
  if (vm->runs_left == 0 || vm->instructions_left == 0) return VmRun::kOverBudget;
  --vm->runs_left;
  uint8_t* area = vm->memory + kVmGlobalAddress;
  uint32_t copied = *globals ? *global_size : 0;
  if (copied > kVmGlobalSize) copied = kVmGlobalSize;
  if (copied) memcpy(area, *globals, copied);
  uint32_t static_size = program->static_size;
  if (static_size > kVmGlobalSize - copied) static_size = kVmGlobalSize - copied;
  if (static_size) memcpy(area + copied, program->static_data, static_size);

  memcpy(vm->r, init_registers, 7 * sizeof(uint32_t));
  vm->r[7] = kVmMemorySize;
  vm->r[kVmZeroRegister] = 0;
  vm->flags = 0;

  const bool native = program->native != StandardFilter::kNone &&
                      RunStandardFilter(program->native, vm->memory, vm->r);
  if (!native) {
    const bool by_archive = vm->instructions_left < kVmInstructionLimit;
    const uint32_t limit = by_archive ? uint32_t(vm->instructions_left) : kVmInstructionLimit;
    uint64_t used = 0;
    const bool ended = VmInterpret(vm, program->code, program->count, limit, &used);
    vm->instructions_left -= used < vm->instructions_left ? used : vm->instructions_left;
    if (!ended && by_archive) {
      vm->instructions_left = 0;
      return VmRun::kOverBudget;
    }
    if (!ended) {
      // Stopped by the per-run limit: later runs of this program end at once, natively too.
      program->code[0] = VmInstruction{};
      program->code[0].opcode = kVmRet;
      program->native = StandardFilter::kNone;
    }
  }

  uint32_t position = VmGet32(area + kGlobalBlockPosition) & kVmMemoryMask;
  uint32_t size = VmGet32(area + kGlobalBlockSize) & kVmMemoryMask;
  if (position + size >= kVmMemorySize) position = size = 0;
  *out_position = position;
  *out_size = size;
  return KeepGlobals(area, globals, global_size) ? VmRun::kDone : VmRun::kNoMemory;
}
