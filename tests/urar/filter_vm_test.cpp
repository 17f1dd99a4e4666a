// The filter machine's interpreter: instruction semantics and flags, byte forms, the stack,
// jumps, memory addressing, the instruction limit, globals and the output block.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "tests/urar/filter_vm_assembler.h"
#include "urar/filters/filter_vm.h"

using namespace vmasm;

namespace {

using VmPtr = std::unique_ptr<FilterVm, decltype(&VmDestroy)>;
using ProgramPtr = std::unique_ptr<VmProgram, decltype(&VmFreeProgram)>;
using Registers = std::array<uint32_t, 7>;

constexpr uint32_t kCarry = 1, kZero = 2, kSign = 0x80000000u;

ProgramPtr Prepare(const std::vector<uint8_t>& code) {
  return ProgramPtr(VmPrepare(code.data(), static_cast<uint32_t>(code.size()), false),
                    &VmFreeProgram);
}

class FilterVmTest : public ::testing::Test {
 protected:
  struct Output {
    uint32_t position = 0, size = 0;
  };

  uint8_t* Memory() { return VmMemory(vm_.get()); }
  uint32_t Dword(uint32_t address) {
    uint32_t v;
    memcpy(&v, Memory() + address, 4);
    return v;
  }
  void SetDword(uint32_t address, uint32_t v) { memcpy(Memory() + address, &v, 4); }

  // One run with the fixed globals of a block [0, block_size), or with `globals_` when a
  // previous run kept some.
  Output Run(VmProgram* program, const Registers& regs = {}, uint32_t block_size = 0x100) {
    if (!globals_) {
      global_size_ = 0x40;
      globals_ = static_cast<uint8_t*>(calloc(global_size_, 1));
      memcpy(globals_, regs.data(), 7 * 4);
      memcpy(globals_ + 0x1C, &block_size, 4);
    }
    Output out;
    EXPECT_EQ(VmRun::kDone, VmExecute(vm_.get(), program, regs.data(), &globals_, &global_size_,
                                      &out.position, &out.size));
    return out;
  }

  void TearDown() override { free(globals_); }

  VmPtr vm_{VmCreate(), &VmDestroy};
  uint8_t* globals_ = nullptr;
  uint32_t global_size_ = 0;
};

struct Case {
  const char* name;
  Assembler program;
  Registers regs;
  std::vector<std::pair<uint32_t, uint32_t>> expected;  // double words in memory afterwards
};

// Results are stored at 0x1000 and up; flags are read through PUSHF / POP.
std::vector<Case> InstructionCases() {
  std::vector<Case> cases;
  cases.push_back({"add sets carry and zero",
                   std::move(Assembler()
                                 .I(MOV, R(0), Imm(0xFFFFFFFF))
                                 .I(ADD, R(0), Imm(1))
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1000))
                                 .I(MOV, Mem(0x1004), R(0))
                                 .I(RET)),
                   {},
                   {{0x1000, kCarry | kZero}, {0x1004, 0}}});
  cases.push_back({"sub borrows and sets sign",
                   std::move(Assembler()
                                 .I(MOV, R(0), Imm(1))
                                 .I(SUB, R(0), Imm(2))
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1000))
                                 .I(MOV, Mem(0x1004), R(0))
                                 .I(RET)),
                   {},
                   {{0x1000, kCarry | kSign}, {0x1004, 0xFFFFFFFF}}});
  // 0x1_FFFFFFFF + 0x2_00000001 and 0x5_00000000 - 0x2_00000001: the carry crosses words.
  cases.push_back({"add with carry and subtract with borrow chain words",
                   std::move(Assembler()
                                 .I(MOV, R(0), Imm(0xFFFFFFFF))
                                 .I(MOV, R(1), Imm(1))
                                 .I(ADD, R(0), Imm(1))
                                 .I(ADC, R(1), Imm(2))
                                 .I(MOV, R(2), Imm(0))
                                 .I(MOV, R(3), Imm(5))
                                 .I(SUB, R(2), Imm(1))
                                 .I(SBB, R(3), Imm(2))
                                 .I(MOV, Mem(0x1000), R(0))
                                 .I(MOV, Mem(0x1004), R(1))
                                 .I(MOV, Mem(0x1008), R(2))
                                 .I(MOV, Mem(0x100C), R(3))
                                 // With the carry in, adding 0xFFFFFFFF gives the same value
                                 // back and carries out again.
                                 .I(MOV, R(4), Imm(7))
                                 .I(ADD, R(5), Imm(0xFFFFFFFF))
                                 .I(ADC, R(4), Imm(0xFFFFFFFF))
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1010))
                                 .I(MOV, Mem(0x1014), R(4))
                                 .I(RET)),
                   {0, 0, 0, 0, 0, 1, 0},
                   {{0x1000, 0},
                    {0x1004, 4},
                    {0x1008, 0xFFFFFFFF},
                    {0x100C, 2},
                    {0x1010, kCarry},
                    {0x1014, 7}}});
  cases.push_back({"byte forms touch one byte and take flags from the machine's rules",
                   std::move(Assembler()
                                 .I(MOV, Mem(0x1000), Imm(0x11223344))
                                 .B(ADD, Mem(0x1000), Imm(0xCD))  // 0x44 + 0xCD = 0x111
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1004))
                                 .I(MOV, Mem(0x1008), Imm(0xAABBCC00))
                                 .B(DEC, Mem(0x1008))  // sign from the 32-bit result
                                 .I(PUSHF)
                                 .I(POP, Mem(0x100C))
                                 .I(MOV, R(2), Imm(0x180))
                                 .B(CMP, R(2), Imm(0))  // 0x80: no sign in a byte compare
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1010))
                                 .B(CMP, R(2), Imm(0x81))
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1014))
                                 .I(MOV, R(3), Imm(0x12345678))
                                 .B(MOV, R(3), Imm(0xAB))
                                 .I(MOV, Mem(0x1018), R(3))
                                 .B(ADD, R(3), Imm(0x55))  // 0xAB + 0x55 = 0x100
                                 .I(PUSHF)
                                 .I(POP, Mem(0x101C))
                                 .I(MOV, Mem(0x1020), R(3))
                                 .I(RET)),
                   {},
                   {{0x1000, 0x11223311},
                    {0x1004, kCarry},
                    {0x1008, 0xAABBCCFF},
                    {0x100C, kSign},
                    {0x1010, 0},
                    {0x1014, kCarry | kSign},
                    {0x1018, 0x123456AB},
                    {0x101C, kCarry | kZero},
                    {0x1020, 0x12345600}}});
  cases.push_back({"shifts carry out the last bit",
                   std::move(Assembler()
                                 .I(MOV, R(0), Imm(0x80000001))
                                 .I(SHL, R(0), Imm(1))
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1000))
                                 .I(MOV, R(1), Imm(3))
                                 .I(SHR, R(1), Imm(1))
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1004))
                                 .I(MOV, R(2), Imm(0x80000000))
                                 .I(SAR, R(2), Imm(4))
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1008))
                                 .I(MOV, Mem(0x100C), R(0))
                                 .I(MOV, Mem(0x1010), R(1))
                                 .I(MOV, Mem(0x1014), R(2))
                                 .I(RET)),
                   {},
                   {{0x1000, kCarry},
                    {0x1004, kCarry},
                    {0x1008, kSign},
                    {0x100C, 2},
                    {0x1010, 1},
                    {0x1014, 0xF8000000}}});
  cases.push_back({"multiply, divide, negate, not, extend, exchange, logic",
                   std::move(Assembler()
                                 .I(MOV, R(0), Imm(7))
                                 .I(MUL, R(0), Imm(6))
                                 .I(DIV, R(0), Imm(0))  // no effect
                                 .I(DIV, R(0), Imm(5))
                                 .I(MOV, R(1), Imm(0x1F0))
                                 .I(MOVSX, R(2), R(1))
                                 .I(MOVZX, R(3), R(1))
                                 .I(MOV, R(4), Imm(1))
                                 .I(NEG, R(4))
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1000))
                                 .I(NOT, R(1))
                                 .I(XCHG, R(0), R(1))
                                 .I(MOV, R(5), Imm(0xF0F0))
                                 .I(AND, R(5), Imm(0x0FF0))
                                 .I(OR, R(5), Imm(1))
                                 .I(XOR, R(5), Imm(0xF0))
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1004))
                                 .I(TEST, R(5), Imm(0x100))
                                 .I(PUSHF)
                                 .I(POP, Mem(0x1008))
                                 .I(MOV, Mem(0x1010), R(0))
                                 .I(MOV, Mem(0x1014), R(1))
                                 .I(MOV, Mem(0x1018), R(2))
                                 .I(MOV, Mem(0x101C), R(3))
                                 .I(MOV, Mem(0x1020), R(4))
                                 .I(MOV, Mem(0x1024), R(5))
                                 .I(RET)),
                   {},
                   {{0x1000, kCarry | kSign},
                    {0x1004, 0},
                    {0x1008, kZero},
                    {0x1010, ~0x1F0u},
                    {0x1014, 8},
                    {0x1018, 0xFFFFFFF0},
                    {0x101C, 0xF0},
                    {0x1020, 0xFFFFFFFF},
                    {0x1024, 1}}});
  cases.push_back({"call, push, pop and return",
                   std::move(Assembler()
                                 .I(MOV, R(0), Imm(1))  // 0
                                 .Jump(CALL, 4)         // 1
                                 .I(MOV, Mem(0x1000), R(0))
                                 .I(RET)         // 3: R7 is back at the top: done
                                 .I(PUSH, R(0))  // 4
                                 .I(MOV, R(0), Imm(5))
                                 .I(POP, R(1))
                                 .I(ADD, R(0), R(1))
                                 .I(MOV, Mem(0x1004), R(7))
                                 .I(RET)),
                   {},
                   {{0x1000, 6}, {0x1004, 0x3FFFC}, {0x3FFFC, 2}, {0x3FFF8, 1}}});
  cases.push_back({"pusha and popa restore every register",
                   std::move(Assembler()
                                 .I(PUSHA)
                                 .I(MOV, Mem(0x1000), R(7))
                                 .I(MOV, R(0), Imm(0))
                                 .I(MOV, R(6), Imm(0))
                                 .I(POPA)
                                 .I(MOV, Mem(0x1004), R(0))
                                 .I(MOV, Mem(0x1008), R(6))
                                 .I(MOV, Mem(0x100C), R(7))
                                 .I(RET)),
                   {10, 11, 12, 13, 14, 15, 16},
                   {{0x1000, 0x3FFE0},
                    {0x1004, 10},
                    {0x1008, 16},
                    {0x100C, 0x40000},
                    {0x3FFFC, 10},
                    {0x3FFE4, 16},
                    {0x3FFE0, 0x40000}}});
  // The backward jump uses the relative coding: 14 means two instructions back.
  cases.push_back({"counted loop with a relative backward jump",
                   std::move(Assembler()
                                 .I(MOV, R(0), Imm(10))
                                 .I(MOV, R(1), Imm(0))
                                 .I(INC, R(1))        // 2
                                 .I(DEC, R(0))        // 3
                                 .JumpCoded(JNZ, 14)  // 4 -> 2
                                 .I(MOV, Mem(0x1000), R(1))
                                 .I(RET)),
                   {},
                   {{0x1000, 10}}});
  cases.push_back({"memory addresses wrap; the last double word runs into the guard bytes",
                   std::move(Assembler()
                                 .I(MOV, R(0), Imm(0x3FFFE))
                                 .I(MOV, MemR(0, 4), Imm(0x12345678))  // at 2
                                 .I(MOV, R(1), Imm(0x40010))
                                 .I(MOV, MemR(1), Imm(0xCAFE))  // at 0x10
                                 .I(MOV, Mem(0x3FFFF), Imm(0xAABBCCDD))
                                 .I(MOV, R(2), Mem(0x3FFFF))
                                 .I(MOV, Mem(0x1000), R(2))
                                 .I(MOV, R(3), MemR(0, 0xFFFFFFFE))  // 0x3FFFC
                                 .I(MOV, Mem(0x1004), R(3))
                                 .I(RET)),
                   {},
                   {{0x0, 0x56780000},
                    {0x4, 0x1234},
                    {0x10, 0xCAFE},
                    {0x1000, 0xAABBCCDD},
                    {0x1004, 0xDD000000}}});
  return cases;
}

TEST_F(FilterVmTest, InstructionTable) {
  for (Case& c : InstructionCases()) {
    SCOPED_TRACE(c.name);
    memset(Memory(), 0, kVmMemorySize + 4);
    free(globals_);
    globals_ = nullptr;
    ProgramPtr program = Prepare(c.program.Bytes());
    ASSERT_TRUE(program);
    Run(program.get(), c.regs);
    for (const auto& [address, value] : c.expected)
      EXPECT_EQ(Dword(address), value) << "at 0x" << std::hex << address;
  }
}

struct JumpCase {
  Op op;
  uint32_t a, b;
  bool taken;
};

TEST_F(FilterVmTest, ConditionalJumpsFollowCompareFlags) {
  const JumpCase cases[] = {
      {JZ, 5, 5, true}, {JZ, 5, 6, false}, {JNZ, 5, 5, false}, {JNZ, 6, 5, true},
      {JB, 1, 2, true}, {JB, 2, 1, false}, {JBE, 2, 2, true},  {JBE, 3, 2, false},
      {JA, 3, 2, true}, {JA, 2, 2, false}, {JAE, 2, 2, true},  {JAE, 1, 2, false},
      {JS, 1, 2, true}, {JS, 2, 1, false}, {JNS, 2, 1, true},  {JNS, 1, 2, false},
  };
  for (const JumpCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "op " << int{c.op} << " " << c.a << "," << c.b);
    ProgramPtr program = Prepare(Assembler()
                                     .I(CMP, R(0), R(1))
                                     .Jump(c.op, 4)
                                     .I(MOV, Mem(0x1000), Imm(0))
                                     .I(RET)
                                     .I(MOV, Mem(0x1000), Imm(1))
                                     .I(RET)
                                     .Bytes());
    SetDword(0x1000, 7);
    Run(program.get(), {c.a, c.b});
    EXPECT_EQ(Dword(0x1000), c.taken ? 1u : 0u);
  }
}

// An endless loop is stopped after 25,000,000 instructions (12,500,000 rounds of two), and the
// program's first instruction becomes a return: later runs of the filter end at once.
TEST_F(FilterVmTest, InstructionLimitStopsTheProgramForGood) {
  ProgramPtr program = Prepare(Assembler().I(INC, Mem(0x1000)).Jump(JMP, 0).Bytes());
  Output out = Run(program.get(), {}, 0x80);
  EXPECT_EQ(Dword(0x1000), 12500000u);
  EXPECT_EQ(out.position, 0u);
  EXPECT_EQ(out.size, 0x80u);

  Run(program.get(), {}, 0x80);
  EXPECT_EQ(Dword(0x1000), 12500000u);
}

// One machine runs at most kVmArchiveRunBudget programs, however cheap: after that every run
// answers kOverBudget and leaves the block as it was.
TEST_F(FilterVmTest, RunsAreBoundedPerMachine) {
  ProgramPtr program = Prepare(Assembler().I(INC, Mem(0x1000)).I(RET).Bytes());
  uint8_t* globals = nullptr;
  uint32_t global_size = 0, position = 0, size = 0;
  const uint32_t registers[7] = {};
  for (uint64_t i = 0; i < kVmArchiveRunBudget; ++i)
    ASSERT_EQ(
        VmExecute(vm_.get(), program.get(), registers, &globals, &global_size, &position, &size),
        VmRun::kDone);
  EXPECT_EQ(
      VmExecute(vm_.get(), program.get(), registers, &globals, &global_size, &position, &size),
      VmRun::kOverBudget);
  EXPECT_EQ(Dword(0x1000), uint32_t(kVmArchiveRunBudget));
  free(globals);
}

TEST_F(FilterVmTest, ProgramFailingTheXorCheckOnlyReturns) {
  std::vector<uint8_t> code = Assembler().I(MOV, Mem(0x10), Imm(0x55)).I(RET).Bytes();
  code[0] ^= 1;
  ProgramPtr program = Prepare(code);
  Output out = Run(program.get(), {}, 0x40);
  EXPECT_EQ(Dword(0x10), 0u);
  EXPECT_EQ(out.size, 0x40u);

  ProgramPtr empty(VmPrepare(nullptr, 0, true), &VmFreeProgram);
  ASSERT_TRUE(empty);
  EXPECT_EQ(Run(empty.get(), {}, 0x40).size, 0x40u);
}

// Globals the program keeps come back from the run and go into the next one; static data sit
// right after the globals; the output block is what the program leaves at 0x20 / 0x1C.
TEST_F(FilterVmTest, GlobalsStaticDataAndOutputBlock) {
  ProgramPtr program = Prepare(Assembler({'A', 'B', 'C', 'D'})
                                   .I(MOV, R(0), MemR(6, 0x3C000))  // R6 = where static data are
                                   .I(MOV, Mem(0x1000), R(0))
                                   .I(INC, Mem(0x3C040))  // the first kept byte: a run counter
                                   .I(MOV, Mem(0x3C030), Imm(4))
                                   .I(MOV, Mem(0x3C020), Imm(0x10))
                                   .I(MOV, Mem(0x3C01C), Imm(0x20))
                                   .I(RET)
                                   .Bytes());
  Output out = Run(program.get(), {0, 0, 0, 0, 0, 0, 0x40});
  EXPECT_EQ(Dword(0x1000), 0x44434241u);
  EXPECT_EQ(out.position, 0x10u);
  EXPECT_EQ(out.size, 0x20u);
  ASSERT_EQ(global_size_, 0x44u);
  EXPECT_EQ(globals_[0x40], 'B');  // 'A' + 1

  // The kept globals are 0x44 bytes now, so the static data follow at 0x3C044.
  Run(program.get(), {0, 0, 0, 0, 0, 0, 0x44});
  EXPECT_EQ(Dword(0x1000), 0x44434241u);
  ASSERT_EQ(global_size_, 0x44u);
  EXPECT_EQ(globals_[0x40], 'C');
}

TEST_F(FilterVmTest, OutputBlockAndKeptGlobalsAreBounded) {
  struct {
    uint32_t position, size, keep;
    uint32_t out_position, out_size, kept;
  } cases[] = {
      {0x3FFF0, 0x10, 0, 0, 0, 0},  // reaches the end of memory: empty
      {0x3FFF0, 0xF, 0, 0x3FFF0, 0xF, 0},
      {0x7FFFF, 0x40001, 1, 0, 0, 0x41},  // both masked to 0x3FFFF: empty
      {0x100, 0x200, 0xFFFFFFFF, 0x100, 0x200, 0x2000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.position << " " << c.size << " " << c.keep);
    free(globals_);
    globals_ = nullptr;
    ProgramPtr program = Prepare(Assembler()
                                     .I(MOV, Mem(0x3C020), Imm(c.position))
                                     .I(MOV, Mem(0x3C01C), Imm(c.size))
                                     .I(MOV, Mem(0x3C030), Imm(c.keep))
                                     .I(RET)
                                     .Bytes());
    Output out = Run(program.get());
    EXPECT_EQ(out.position, c.out_position);
    EXPECT_EQ(out.size, c.out_size);
    EXPECT_EQ(global_size_, c.kept);
    EXPECT_EQ(globals_ == nullptr, c.kept == 0);
  }
}

}  // namespace
