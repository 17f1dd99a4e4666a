// Differential fuzz target: a standard filter program run with native filters allowed and run
// interpreted, on the same block with the same registers and the globals a decoder sets, twice in
// one machine each way (a program stopped by the instruction limit stays stopped).
// Input: 2 bytes program length (little endian), the program, 28 bytes of registers R0..R6, then
// the block. Programs that are not recognised as standard are skipped: both ways interpret them.
// Seeds (filter_diff_seeds/) carry each of the seven standard programs: the corpus archives'
// E8, E8E9, delta and audio programs and the forged Itanium, RGB and upper-case programs of
// tests/urar/forged_filter_programs.h.
// Property: where the native filter takes the registers, both ways give the same output block
// (position, size and bytes) and leave the same bytes everywhere below the global area, or both
// fail; where it declines them, it touches no memory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "urar/filters/filter_native.h"
#include "urar/filters/filter_vm.h"

namespace {

#define Check(ok) CheckAt((ok), __LINE__)
void CheckAt(bool ok, int line) {
  if (!ok) {
    fprintf(stderr, "filter_diff_fuzz: property at line %d does not hold\n", line);
    abort();
  }
}

struct Outcome {
  bool ok = false;
  uint32_t position = 0, size = 0;
};

// Two runs of `program` in `vm` over the same block, as a decoder reuses a filter; the outcome of
// the last (or of the first that fails).
Outcome RunTwice(VmProgram* program, FilterVm* vm, const uint8_t* block, uint32_t block_size,
                 const uint32_t regs[7]) {
  Outcome out;
  for (int run = 0; run < 2; ++run) {
    memcpy(VmMemory(vm), block, block_size);
    uint32_t global_size = kVmFixedGlobalSize;
    uint8_t* globals = static_cast<uint8_t*>(calloc(global_size, 1));
    Check(globals != nullptr);
    memcpy(globals, regs, 7 * sizeof(uint32_t));
    memcpy(globals + 0x1C, &block_size, 4);
    memcpy(globals + 0x24, &regs[6], 4);
    memcpy(globals + 0x2C, &regs[5], 4);
    out.ok = VmExecute(vm, program, regs, &globals, &global_size, &out.position, &out.size) ==
             VmRun::kDone;
    free(globals);
    if (!out.ok) break;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t code_size = data[0] | (size_t{data[1]} << 8);
  data += 2;
  size -= 2;
  if (code_size > size) code_size = size;
  const uint8_t* code = data;
  const StandardFilter kind = RecogniseStandardFilter(code, uint32_t(code_size));
  if (kind == StandardFilter::kNone) return 0;
  data += code_size;
  size -= code_size;
  uint32_t regs[7] = {};
  const size_t reg_bytes = size < sizeof regs ? size : sizeof regs;
  memcpy(regs, data, reg_bytes);
  data += reg_bytes;
  size -= reg_bytes;
  const uint32_t block_size = size < kVmGlobalAddress ? uint32_t(size) : kVmGlobalAddress;

  // Registers the native filter declines run the program both ways, which compares nothing (and
  // may take the whole instruction limit twice): such a decline only has to touch no memory.
  static uint8_t probe[kVmMemorySize + 4], blank[kVmMemorySize + 4];
  memset(probe, 0, sizeof probe);
  memcpy(probe, data, block_size);
  if (!RunStandardFilter(kind, probe, regs)) {
    memcpy(blank, data, block_size);
    Check(memcmp(probe, blank, sizeof probe) == 0);
    memset(blank, 0, block_size);
    return 0;
  }

  VmProgram* native_program = VmPrepare(code, uint32_t(code_size), true);
  VmProgram* interpreted_program = VmPrepare(code, uint32_t(code_size), false);
  FilterVm* native_vm = VmCreate();
  FilterVm* interpreted_vm = VmCreate();
  Check(native_program && interpreted_program && native_vm && interpreted_vm);

  const Outcome native = RunTwice(native_program, native_vm, data, block_size, regs);
  const Outcome interpreted = RunTwice(interpreted_program, interpreted_vm, data, block_size, regs);
  Check(native.ok == interpreted.ok);
  if (native.ok) {
    Check(native.position == interpreted.position);
    Check(native.size == interpreted.size);
    Check(memcmp(VmMemory(native_vm), VmMemory(interpreted_vm), kVmGlobalAddress) == 0);
    Check(memcmp(VmMemory(native_vm) + native.position,
                 VmMemory(interpreted_vm) + interpreted.position, native.size) == 0);
  }
  VmDestroy(native_vm);
  VmDestroy(interpreted_vm);
  VmFreeProgram(native_program);
  VmFreeProgram(interpreted_program);
  return 0;
}
