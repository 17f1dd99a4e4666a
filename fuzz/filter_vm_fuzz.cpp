// Fuzz target: arbitrary program bytes and an arbitrary block through VmPrepare / VmExecute, as
// the RAR 2.9 decoder drives them, two runs of the same program in one machine.
// Input: 1 byte of options (bit 0: native filters allowed), 2 bytes program length (little
// endian), the program, 28 bytes of registers R0..R6, then the block.
// Seeds (filter_vm_seeds/) carry the filter programs of the corpus archives.
// Property: every run ends (the instruction limit holds), touches nothing outside the machine's
// memory, and leaves an output block inside memory and kept globals within the global area.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "urar/filters/filter_vm.h"

namespace {

#define Check(ok) CheckAt((ok), __LINE__)
void CheckAt(bool ok, int line) {
  if (!ok) {
    fprintf(stderr, "filter_vm_fuzz: property at line %d does not hold\n", line);
    abort();
  }
}

uint32_t Take32(const uint8_t*& data, size_t& size) {
  uint32_t v = 0;
  const size_t n = size < 4 ? size : 4;
  memcpy(&v, data, n);
  data += n;
  size -= n;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool allow_native = (data[0] & 1) != 0;
  size_t code_size = data[1] | (size_t{data[2]} << 8);
  data += 3;
  size -= 3;
  if (code_size > size) code_size = size;
  const uint8_t* code = data;
  data += code_size;
  size -= code_size;
  uint32_t regs[7];
  for (uint32_t& r : regs) r = Take32(data, size);
  const uint32_t block_size = size < kVmGlobalAddress ? uint32_t(size) : kVmGlobalAddress;

  VmProgram* program = VmPrepare(code, uint32_t(code_size), allow_native);
  FilterVm* vm = VmCreate();
  Check(program != nullptr && vm != nullptr);
  uint32_t global_size = kVmFixedGlobalSize;
  uint8_t* globals = static_cast<uint8_t*>(calloc(global_size, 1));
  Check(globals != nullptr);
  memcpy(globals, regs, sizeof regs);
  memcpy(globals + 0x1C, &block_size, 4);

  for (int run = 0; run < 2; ++run) {
    memcpy(VmMemory(vm), data, block_size);
    uint32_t position = 0, out_size = 0;
    Check(VmExecute(vm, program, regs, &globals, &global_size, &position, &out_size) ==
          VmRun::kDone);
    Check((position == 0 && out_size == 0) || position + out_size < kVmMemorySize);
    Check(global_size <= kVmGlobalSize);
    Check((global_size == 0) == (globals == nullptr));
    Check(global_size == 0 || global_size > kVmFixedGlobalSize);
  }
  free(globals);
  VmDestroy(vm);
  VmFreeProgram(program);
  return 0;
}
