// The filter machine of RAR 2.9 archives: programs carried in the packed data that transform a
// block of output (x86 call addresses, delta coding, colour and audio prediction, ...). Standard
// programs are recognised and run as native code while their registers are in the native code's
// range; anything else runs in the interpreter.
#pragma once
#include <cstdint>

constexpr uint32_t kVmMemorySize = 0x40000;  // 262,144; allocations add 4 guard bytes
constexpr uint32_t kVmMemoryMask = kVmMemorySize - 1;
constexpr uint32_t kVmGlobalAddress = 0x3C000;
constexpr uint32_t kVmGlobalSize = 0x2000;
constexpr uint32_t kVmFixedGlobalSize = 0x40;
constexpr uint32_t kVmMaxGlobalData = 0x1FC0;  // more global data in a definition fails it

struct VmProgram;  // a prepared program: optimised instructions, static data, native filter kind
// Prepares program bytes: XOR check (failure -> a program that only returns), recognition of the
// seven standard filters by length and CRC-32 (skipped when allow_native is false), decoding into
// instructions with a final return, optimisation into byte/dword forms, static data (< 8192 bytes
// copied). Null only when memory is short.
VmProgram* VmPrepare(const uint8_t* code, uint32_t size, bool allow_native);
void VmFreeProgram(VmProgram* program);  // accepts null

// What all the filters of one machine may cost together. The machine lives as long as the
// archive's handle, so these bound a whole archive: a crafted one can run a program just under
// the per-run limit on one-byte blocks thousands of times, minutes of work from kilobytes. Real
// archives carry the standard programs, which run natively and cost no interpreted instruction;
// the whole corpus interpreted stays below a fifteenth of the instruction budget (30 million, and a
// real archive applies a filter at most once per file or window's worth of output.
constexpr uint64_t kVmArchiveInstructionBudget = 500'000'000;  // about a second interpreted
constexpr uint64_t kVmArchiveRunBudget = 1'000'000;

struct FilterVm;                  // the machine: kVmMemorySize + 4 bytes memory
FilterVm* VmCreate();             // null when memory is short; full budgets
void VmDestroy(FilterVm* vm);     // accepts null
uint8_t* VmMemory(FilterVm* vm);  // the caller puts the block at offset 0

// Runs `program` once. Registers R0..R6 from init_registers, R7 = kVmMemorySize. The global area
// at kVmGlobalAddress is filled from *globals (*global_size bytes: the 64 fixed globals the caller
// set — block length at 0x1C, block start at 0x20, exec count at 0x2C, file position at 0x24..,
// R0..R6 at 0x00.. — then the filter's persistent global data), static data after it. Executes
// natively where the native filter takes the registers, else interpreted, at most 25,000,000
// instructions (a program stopped by the limit gets its first instruction replaced by a return,
// so later runs end at once). Afterwards: *out_position /
// *out_size are the block the program left (globals 0x20 / 0x1C, masked to 0x3FFFF; empty when
// position + size reaches kVmMemorySize), and *globals / *global_size are replaced by the area the
// program asked to keep (global 0x30: that many bytes beyond the fixed globals, at most
// kVmGlobalSize - kVmFixedGlobalSize; realloc'd; size 0 frees it).
// Each run takes one from the machine's run budget and its interpreted instructions from its
// instruction budget; a run that finds either spent, or spends the last instruction, is not
// finished and answers kOverBudget, as does every later run on the machine.
enum class VmRun { kDone, kNoMemory, kOverBudget };
VmRun VmExecute(FilterVm* vm, VmProgram* program, const uint32_t init_registers[7],
                uint8_t** globals, uint32_t* global_size, uint32_t* out_position,
                uint32_t* out_size);
