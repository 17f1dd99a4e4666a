// Filter throughput: the native E8 and delta filters against the same standard programs run in
// the interpreter, through VmExecute as the decoder runs them: E8 over a real executable, delta
// (4 channels) over the largest block it takes. MB/s of block.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "bench/peers.h"
#include "urar/filters/filter_native.h"
#include "urar/filters/filter_vm.h"
#include "urar/filters/filter_vm_internal.h"
#include "urar/urar.h"

namespace {

using Code = std::vector<uint8_t>;

std::set<Code>* g_programs = nullptr;
void Collect(const uint8_t* code, uint32_t size) { g_programs->insert(Code(code, code + size)); }

// The corpus's x86 executable (bsdcat.exe, 204,288 bytes) and the standard programs as the
// archives carry them, decoded once through the exports.
struct Corpus {
  std::set<Code> programs;
  Code executable;
};

const Corpus& LoadCorpus() {
  static const Corpus corpus = [] {
    Corpus c;
    g_programs = &c.programs;
    g_vm_program_observer = Collect;
    for (const char* name :
         {"sharpcompress-Rar.rar", "libarchive-test_read_format_rar_filter.rar"}) {
      const std::vector<uint8_t> archive = LoadFixture(name);
      URARHandle* h = URARInitialize(0, archive.data(), int32_t(archive.size()));
      while (h && URARDoAction(h) == URAR_OK) {
        int32_t size = 0;
        URARGetSizeBuffer(h, URAR_BUFFER_DATA, &size);
        if (size <= int32_t(c.executable.size())) continue;
        c.executable.resize(size_t(size));
        URARGetBuffer(h, URAR_BUFFER_DATA, c.executable.data(), size);
      }
      URARFinalize(h);
    }
    g_vm_program_observer = nullptr;
    return c;
  }();
  return corpus;
}

Code StandardProgram(StandardFilter kind) {
  for (const Code& code : LoadCorpus().programs)
    if (RecogniseStandardFilter(code.data(), uint32_t(code.size())) == kind) return code;
  return {};
}

// x86 code for the x86 filter, random bytes for delta (whose speed does not depend on them).
Code Block(StandardFilter kind, uint32_t size) {
  Code block(size);
  if (kind == StandardFilter::kE8) {
    const Code& exe = LoadCorpus().executable;
    for (uint32_t i = 0; i < size && !exe.empty(); ++i) block[i] = exe[i % exe.size()];
    return block;
  }
  std::mt19937 rng(8);
  for (uint8_t& b : block) b = static_cast<uint8_t>(rng());
  return block;
}

void RunFilter(benchmark::State& state, StandardFilter kind, bool native, uint32_t size,
               uint32_t r0) {
  const Code code = StandardProgram(kind);
  if (code.empty()) {
    state.SkipWithError("no standard program in the archive");
    return;
  }
  VmProgram* program = VmPrepare(code.data(), uint32_t(code.size()), native);
  FilterVm* vm = VmCreate();
  const Code block = Block(kind, size);
  const uint32_t regs[7] = {r0, 0, 0, kVmGlobalAddress, size, 0, 0x10000};
  for (auto _ : state) {
    memcpy(VmMemory(vm), block.data(), size);
    uint32_t global_size = kVmFixedGlobalSize;
    uint8_t* globals = static_cast<uint8_t*>(calloc(global_size, 1));
    memcpy(globals, regs, sizeof regs);
    memcpy(globals + 0x1C, &size, 4);
    uint32_t position = 0, out_size = 0;
    VmExecute(vm, program, regs, &globals, &global_size, &position, &out_size);
    benchmark::DoNotOptimize(VmMemory(vm)[position]);
    free(globals);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * size);
  VmDestroy(vm);
  VmFreeProgram(program);
}

const bool kRegistered = [] {
  constexpr uint32_t kX86Block = 204288;  // bsdcat.exe as one block
  constexpr uint32_t kDeltaBlock = 0x1E000 - 1;
  benchmark::RegisterBenchmark("filter/e8/urar", RunFilter, StandardFilter::kE8, true, kX86Block,
                               0);
  benchmark::RegisterBenchmark("filter/e8/interpreted", RunFilter, StandardFilter::kE8, false,
                               kX86Block, 0);
  benchmark::RegisterBenchmark("filter/delta4/urar", RunFilter, StandardFilter::kDelta, true,
                               kDeltaBlock, 4);
  benchmark::RegisterBenchmark("filter/delta4/interpreted", RunFilter, StandardFilter::kDelta,
                               false, kDeltaBlock, 4);
  return true;
}();

}  // namespace
