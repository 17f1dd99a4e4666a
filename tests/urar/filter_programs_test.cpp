// The interpreter against the native filters on the filter programs real archives carry: the
// corpus archives decoded with every filter interpreted, and each standard program run both
// ways on random blocks of every size class.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "tests/urar/corpus.h"
#include "tests/urar/test_archives.h"
#include "urar/filter_native.h"
#include "urar/filter_vm.h"
#include "urar/filter_vm_internal.h"

namespace {

using Code = std::vector<uint8_t>;

std::set<Code>* g_seen = nullptr;
void Observe(const uint8_t* code, uint32_t size) { g_seen->insert(Code(code, code + size)); }

struct Outcome {
  std::string name;
  int result;
  std::string data;
};

std::vector<Outcome> DecodeAll(const std::string& archive, bool interpret,
                               std::set<Code>* programs = nullptr) {
  TestReader r(ReadFixture(archive));
  r.reader().interpret_all_filters = interpret;
  g_seen = programs;
  g_vm_program_observer = programs ? Observe : nullptr;
  std::vector<Outcome> out;
  for (int end = r.First(); end == 0; end = r.Next()) {
    const int result = r.Extract();
    out.push_back({r.Name(), result, r.Output()});
  }
  g_vm_program_observer = nullptr;
  return out;
}

// Archives whose entries use filters; entries cut short in the archive are left out (their
// declared sizes are far beyond their data).
std::vector<std::string> FilterArchives() {
  std::set<std::string> names;
  for (const ManifestRow& row : Manifest())
    if (row.features.find("filter-") != std::string::npos && !row.HasFeature("truncated-data"))
      names.insert(row.archive);
  return {names.begin(), names.end()};
}

const std::set<Code>& CorpusPrograms() {
  static const std::set<Code> programs = [] {
    std::set<Code> seen;
    for (const std::string& archive : FilterArchives()) DecodeAll(archive, false, &seen);
    return seen;
  }();
  return programs;
}

std::string Hex(uint32_t v) {
  char text[9];
  snprintf(text, sizeof text, "%08x", v);
  return text;
}

// Entries that decode must decode to the same bytes either way. Entries that fail may differ:
// junrar-channel-flood.rar asks for 0x7FFFFFF0 delta channels, which the native filter handles
// at once and the interpreted program runs into the instruction limit with.
TEST(FilterProgramsTest, CorpusDecodesTheSameWithEveryFilterInterpreted) {
  const std::vector<std::string> archives = FilterArchives();
  ASSERT_GE(archives.size(), 10u);
  size_t whole = 0;
  for (const std::string& archive : archives) {
    SCOPED_TRACE(archive);
    const std::vector<Outcome> native = DecodeAll(archive, false);
    const std::vector<Outcome> interpreted = DecodeAll(archive, true);
    ASSERT_EQ(native.size(), interpreted.size());
    for (size_t i = 0; i < native.size(); ++i) {
      SCOPED_TRACE(native[i].name);
      EXPECT_EQ(native[i].result, interpreted[i].result);
      if (native[i].result == 0) EXPECT_TRUE(native[i].data == interpreted[i].data);
    }
    // Every filtered entry that a peer decodes to its checksum comes out whole.
    for (const ManifestRow* row : ManifestRowsOf(archive)) {
      if (row->features.find("filter-") == std::string::npos) continue;
      const std::string crc = Hex(row->file_crc);
      if (row->peer_unarr != crc && row->peer_bsdtar != crc && row->peer_unar != crc) continue;
      for (const Outcome& o : interpreted)
        if (o.name == row->name) {
          EXPECT_EQ(o.result, 0) << row->name;
          ++whole;
        }
    }
  }
  EXPECT_GE(whole, 12u);
}

// An audio program two XOR-balanced edits away from the standard one: no longer recognised, it
// decodes into another instruction stream that runs into the instruction limit on its block. The
// block's output is then what the program left in its globals (nothing here), so only the 144
// bytes before the block come out and the checksum fails.
TEST(FilterProgramsTest, AlteredAudioProgramIsInterpretedAndStopped) {
  for (bool interpret : {false, true}) {
    const std::vector<Outcome> out = DecodeAll("junrar-audio-filter-noncanonical.rar", interpret);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0].result, 8);
    EXPECT_EQ(out[0].data.size(), 144u);
  }
}

// Runs `program` once over `block` in a fresh machine with the globals a decoder sets.
struct RunResult {
  uint32_t position = 0, size = 0;
  Code bytes;
  bool operator==(const RunResult& o) const {
    return position == o.position && size == o.size && bytes == o.bytes;
  }
};

RunResult RunOnce(VmProgram* program, const Code& block, uint32_t r0, uint32_t r1,
                  uint32_t file_offset, uint32_t exec_count) {
  std::unique_ptr<FilterVm, decltype(&VmDestroy)> vm(VmCreate(), &VmDestroy);
  uint8_t* mem = VmMemory(vm.get());
  memcpy(mem, block.data(), block.size());
  const uint32_t size = static_cast<uint32_t>(block.size());
  const uint32_t regs[7] = {r0, r1, 0, kVmGlobalAddress, size, exec_count, file_offset};
  uint32_t global_size = kVmFixedGlobalSize;
  uint8_t* globals = static_cast<uint8_t*>(calloc(global_size, 1));
  memcpy(globals, regs, sizeof regs);
  VmPut32(globals + 0x1C, size);
  VmPut32(globals + 0x24, file_offset);
  VmPut32(globals + 0x2C, exec_count);
  RunResult out;
  EXPECT_TRUE(VmExecute(vm.get(), program, regs, &globals, &global_size, &out.position, &out.size));
  free(globals);
  out.bytes.assign(mem + out.position, mem + out.position + out.size);
  return out;
}

// Random bytes with many x86 call and jump opcodes and small (positive and negative) targets.
Code RandomBlock(std::mt19937& rng, uint32_t size, bool x86) {
  Code block(size);
  for (uint32_t i = 0; i < size; ++i) {
    const uint32_t v = rng();
    block[i] = static_cast<uint8_t>(v);
    if (x86 && (v >> 8) % 6 == 0) block[i] = (v >> 12) & 1 ? 0xE8 : 0xE9;
    if (x86 && (v >> 8) % 6 == 1) block[i] = (v >> 12) & 1 ? 0x00 : 0xFF;
  }
  return block;
}

TEST(FilterProgramsTest, StandardProgramsMatchNativeFiltersOnRandomBlocks) {
  std::map<StandardFilter, Code> standard;
  for (const Code& code : CorpusPrograms()) {
    const StandardFilter kind = RecogniseStandardFilter(code.data(), uint32_t(code.size()));
    if (kind != StandardFilter::kNone) standard[kind] = code;
  }
  // The filters the corpus carries; Itanium, RGB and upper-case text are not among them.
  for (StandardFilter kind : {StandardFilter::kE8, StandardFilter::kE8E9, StandardFilter::kDelta,
                              StandardFilter::kAudio})
    EXPECT_EQ(standard.count(kind), 1u) << "no program for filter " << int(kind);

  struct SizeClass {
    StandardFilter kind;
    std::vector<uint32_t> sizes;
    std::vector<uint32_t> r0;            // channels for delta and audio
    std::vector<uint32_t> file_offsets;  // for the x86 filters
  };
  const std::vector<uint32_t> x86_offsets = {0, 0x12345, 0x7FFFFFF0, 0xFFFFFF00};
  const std::vector<uint32_t> x86_sizes = {5, 6, 9, 64, 4097, 65536, kVmGlobalAddress - 1};
  const std::vector<uint32_t> beside_sizes = {1, 2, 3, 31, 33, 1000, 65536,
                                              kVmGlobalAddress / 2 - 1};
  const SizeClass classes[] = {
      {StandardFilter::kE8, x86_sizes, {0}, x86_offsets},
      {StandardFilter::kE8E9, x86_sizes, {0}, x86_offsets},
      {StandardFilter::kDelta, beside_sizes, {1, 2, 3, 4, 7}, {0}},
      {StandardFilter::kAudio, beside_sizes, {1, 2, 4}, {0}},
  };
  std::mt19937 rng(29);
  for (const SizeClass& c : classes) {
    if (!standard.count(c.kind)) continue;
    const Code& code = standard[c.kind];
    std::unique_ptr<VmProgram, decltype(&VmFreeProgram)> native(
        VmPrepare(code.data(), uint32_t(code.size()), true), &VmFreeProgram);
    std::unique_ptr<VmProgram, decltype(&VmFreeProgram)> interpreted(
        VmPrepare(code.data(), uint32_t(code.size()), false), &VmFreeProgram);
    for (uint32_t size : c.sizes) {
      const Code block = RandomBlock(rng, size, c.kind == StandardFilter::kE8 ||
                                                    c.kind == StandardFilter::kE8E9);
      for (uint32_t r0 : c.r0) {
        for (uint32_t offset : c.file_offsets) {
          SCOPED_TRACE(testing::Message() << "filter " << int(c.kind) << " size " << size
                                          << " r0 " << r0 << " offset " << offset);
          const RunResult a = RunOnce(native.get(), block, r0, 0, offset, 0);
          const RunResult b = RunOnce(interpreted.get(), block, r0, 0, offset, 0);
          EXPECT_EQ(a.position, b.position);
          EXPECT_EQ(a.size, b.size);
          EXPECT_TRUE(a.bytes == b.bytes);
        }
      }
    }
  }
}

}  // namespace
