// The interpreter against the native filters on the filter programs real archives carry: the
// corpus archives decoded with every filter interpreted, and each standard program run both
// ways on random blocks of every size class.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "tests/urar/corpus.h"
#include "tests/urar/forged_filter_programs.h"
#include "tests/urar/test_archives.h"
#include "urar/filters/filter_native.h"
#include "urar/filters/filter_vm.h"
#include "urar/filters/filter_vm_internal.h"

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

// Every entry decodes to the same result and bytes either way, failing ones too:
// junrar-channel-flood.rar asks for 0x7FFFFFF0 delta channels, which the native filter leaves to
// the program, so both ways run into the instruction limit.
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
      EXPECT_TRUE(native[i].data == interpreted[i].data);
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

// `regs` as a decoder would pass them; the globals carry them and the block length, as it sets.
RunResult RunOnce(const Code& program, bool allow_native, const Code& block,
                  const std::array<uint32_t, 7>& regs) {
  std::unique_ptr<VmProgram, decltype(&VmFreeProgram)> prepared(
      VmPrepare(program.data(), uint32_t(program.size()), allow_native), &VmFreeProgram);
  std::unique_ptr<FilterVm, decltype(&VmDestroy)> vm(VmCreate(), &VmDestroy);
  uint8_t* mem = VmMemory(vm.get());
  memcpy(mem, block.data(), block.size());
  uint32_t global_size = kVmFixedGlobalSize;
  uint8_t* globals = static_cast<uint8_t*>(calloc(global_size, 1));
  memcpy(globals, regs.data(), 7 * sizeof(uint32_t));
  VmPut32(globals + 0x1C, uint32_t(block.size()));
  VmPut32(globals + 0x24, regs[6]);
  VmPut32(globals + 0x2C, regs[5]);
  RunResult out;
  EXPECT_EQ(VmRun::kDone, VmExecute(vm.get(), prepared.get(), regs.data(), &globals, &global_size,
                                    &out.position, &out.size));
  free(globals);
  out.bytes.assign(mem + out.position, mem + out.position + out.size);
  return out;
}

// The standard program of `kind`: as the corpus archives carry it, or forged where none does.
Code StandardProgram(StandardFilter kind) {
  for (const Code& code : CorpusPrograms())
    if (RecogniseStandardFilter(code.data(), uint32_t(code.size())) == kind) return code;
  return forged::Program(kind);
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

// Itanium bundles of every template, each slot with the branch opcode half of the time.
Code RandomBundles(std::mt19937& rng, uint32_t size) {
  Code block = RandomBlock(rng, size, false);
  for (uint32_t pos = 0; pos + 16 <= size; pos += 16) {
    block[pos] = static_cast<uint8_t>((block[pos] & 0xE0) | (0x10 + rng() % 16));
    for (uint32_t slot = 0; slot < 3; ++slot) {
      if (rng() & 1) continue;
      const uint32_t bit = pos * 8 + slot * 41 + 42;  // the slot's 4-bit opcode
      uint32_t v = VmGet32(&block[bit / 8]);
      v = (v & ~(0xFu << (bit & 7))) | (5u << (bit & 7));
      if (bit / 8 + 4 <= size) VmPut32(&block[bit / 8], v);
    }
  }
  return block;
}

// Text with the escapes of the upper-case filter: 2 x, 2 2, and a 2 at the very end.
Code RandomText(std::mt19937& rng, uint32_t size) {
  Code block(size);
  for (uint8_t& b : block) b = rng() % 4 == 0 ? 2 : static_cast<uint8_t>('a' + rng() % 26);
  if (size) block.back() = 2;
  return block;
}

Code BlockFor(StandardFilter kind, std::mt19937& rng, uint32_t size) {
  switch (kind) {
    case StandardFilter::kE8:
    case StandardFilter::kE8E9: return RandomBlock(rng, size, true);
    case StandardFilter::kItanium: return RandomBundles(rng, size);
    case StandardFilter::kUpperCase: return RandomText(rng, size);
    default: return RandomBlock(rng, size, false);
  }
}

TEST(FilterProgramsTest, StandardProgramsMatchNativeFiltersOnRandomBlocks) {
  // The filters the corpus carries; Itanium, RGB and upper-case text are not among them.
  for (StandardFilter kind : {StandardFilter::kE8, StandardFilter::kE8E9, StandardFilter::kDelta,
                              StandardFilter::kAudio}) {
    const Code code = StandardProgram(kind);
    EXPECT_TRUE(std::find(CorpusPrograms().begin(), CorpusPrograms().end(), code) !=
                CorpusPrograms().end())
        << "no program for filter " << int(kind);
  }

  struct SizeClass {
    StandardFilter kind;
    std::vector<uint32_t> sizes;
    std::vector<uint32_t> r0;  // channels for delta and audio, bytes per row for RGB
    std::vector<uint32_t> r1;  // the red position for RGB
    std::vector<uint32_t> file_offsets;
  };
  const std::vector<uint32_t> x86_offsets = {0, 0x12345, 0x7FFFFFF0, 0xFFFFFF00};
  const std::vector<uint32_t> x86_sizes = {5, 6, 9, 64, 4097, 65536, kVmGlobalAddress - 1};
  const std::vector<uint32_t> itanium_sizes = {21, 22, 37, 38, 4096, kVmGlobalAddress - 1};
  const std::vector<uint32_t> beside_sizes = {1,  2,    3,     31,
                                              33, 1000, 65536, kVmGlobalAddress / 2 - 1};
  const SizeClass classes[] = {
      {StandardFilter::kE8, x86_sizes, {0}, {0}, x86_offsets},
      {StandardFilter::kE8E9, x86_sizes, {0}, {0}, x86_offsets},
      {StandardFilter::kItanium, itanium_sizes, {0}, {0}, x86_offsets},
      {StandardFilter::kDelta, beside_sizes, {1, 2, 3, 4, 7}, {0}, {0}},
      {StandardFilter::kRgb, beside_sizes, {3, 6, 12, 3000}, {0, 2}, {0}},
      {StandardFilter::kAudio, beside_sizes, {1, 2, 4}, {0}, {0}},
      {StandardFilter::kUpperCase, beside_sizes, {0}, {0}, {0}},
  };
  std::mt19937 rng(29);
  for (const SizeClass& c : classes) {
    const Code code = StandardProgram(c.kind);
    ASSERT_EQ(RecogniseStandardFilter(code.data(), uint32_t(code.size())), c.kind);
    for (uint32_t size : c.sizes) {
      const Code block = BlockFor(c.kind, rng, size);
      for (uint32_t r0 : c.r0) {
        for (uint32_t r1 : c.r1) {
          for (uint32_t offset : c.file_offsets) {
            SCOPED_TRACE(testing::Message()
                         << "filter " << int(c.kind) << " size " << size << " r0 " << r0 << " r1 "
                         << r1 << " offset " << offset);
            const std::array<uint32_t, 7> regs = {r0, r1, 0, kVmGlobalAddress, size, 0, offset};
            EXPECT_TRUE(RunOnce(code, true, block, regs) == RunOnce(code, false, block, regs));
          }
        }
      }
    }
  }
}

// Every register of every standard program at the extremes of its range, the others as a
// decoder sets them: native and interpreted runs leave the same output block. The native code
// must run on the table's own registers, so both of its sides are seen.
TEST(FilterProgramsTest, RegisterExtremesGiveTheInterpretedResult) {
  constexpr uint32_t n = 300;
  constexpr uint32_t kGlobals = kVmGlobalAddress;
  struct Table {
    StandardFilter kind;
    std::array<uint32_t, 7> regs;
  };
  const Table tables[] = {
      {StandardFilter::kE8, {0, 0, 0, kGlobals, n, 0, 0x1000}},
      {StandardFilter::kE8E9, {0, 0, 0, kGlobals, n, 0, 0x1000}},
      {StandardFilter::kItanium, {0, 0, 0, kGlobals, n, 0, 0x1000}},
      {StandardFilter::kDelta, {3, 0, 0, kGlobals, n, 0, 0}},
      {StandardFilter::kRgb, {12, 2, 0, kGlobals, n, 0, 0}},
      {StandardFilter::kAudio, {2, 0, 0, kGlobals, n, 0, 0}},
      {StandardFilter::kUpperCase, {0, 0, 0, kGlobals, n, 0, 0}},
  };
  const uint32_t extremes[] = {0,       1,          2,           3,       n - 1,
                               n,       n + 1,      0x1E000 - 1, 0x1E000, 0x3C000 - 1,
                               0x3C000, 0x7FFFFFFF, 0xFFFFFFFF};
  std::mt19937 rng(41);
  for (const Table& t : tables) {
    const Code code = StandardProgram(t.kind);
    ASSERT_EQ(RecogniseStandardFilter(code.data(), uint32_t(code.size())), t.kind);
    const Code block = BlockFor(t.kind, rng, n);
    std::vector<uint8_t> memory(kVmMemorySize + 4);
    memcpy(memory.data(), block.data(), n);
    EXPECT_TRUE(RunStandardFilter(t.kind, memory.data(), t.regs.data())) << int(t.kind);
    for (uint32_t r = 0; r < 7; ++r) {
      for (uint32_t value : extremes) {
        SCOPED_TRACE(testing::Message() << "filter " << int(t.kind) << " R" << r << " = " << value);
        std::array<uint32_t, 7> regs = t.regs;
        regs[r] = value;
        const RunResult native = RunOnce(code, true, block, regs);
        const RunResult interpreted = RunOnce(code, false, block, regs);
        EXPECT_EQ(native.position, interpreted.position);
        EXPECT_EQ(native.size, interpreted.size);
        EXPECT_TRUE(native.bytes == interpreted.bytes);
      }
    }
  }
}

// The differential fuzz target's seeds carry each of the seven standard programs, the forged
// ones as tests/urar/forged_filter_programs.h makes them, so fuzzing starts on every native path.
TEST(FilterProgramsTest, DifferentialFuzzSeedsCarryEveryStandardProgram) {
  std::set<StandardFilter> kinds;
  const std::filesystem::path seeds = std::string(PROJECT_SOURCE_DIR) + "/fuzz/filter_diff_seeds";
  for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const Code seed((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GE(seed.size(), 2u);
    const size_t length = std::min<size_t>(seed.size() - 2, seed[0] | seed[1] << 8);
    const Code code(seed.begin() + 2, seed.begin() + 2 + length);
    const StandardFilter kind = RecogniseStandardFilter(code.data(), uint32_t(code.size()));
    EXPECT_NE(kind, StandardFilter::kNone) << entry.path();
    kinds.insert(kind);
    const Code forged_code = forged::Program(kind);
    if (!forged_code.empty()) EXPECT_TRUE(code == forged_code) << entry.path();
  }
  EXPECT_EQ(kinds.size(), 7u);
}

}  // namespace
