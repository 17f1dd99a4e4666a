// The seven standard filters as native code. Archives carry them as filter programs; a program is
// recognised by its length and CRC-32 and then run here instead of in the interpreter.
#pragma once
#include <cstdint>

enum class StandardFilter : uint8_t {
  kNone,
  kE8,         // x86 CALL targets made relative again
  kE8E9,       // x86 CALL and JMP targets
  kItanium,    // IA-64 branch targets
  kDelta,      // byte-wise delta per channel
  kRgb,        // colour prediction of 24-bit images
  kAudio,      // adaptive prediction of 8-bit audio channels
  kUpperCase,  // escaped upper-case letters in text
};

// The standard filter whose program these bytes are, or kNone.
StandardFilter RecogniseStandardFilter(const uint8_t* code, uint32_t size);

// Filters the block memory[0, registers[4]) the way the standard program would. `memory` is the
// machine's memory (kVmMemorySize + 4 bytes, globals included). Filters that produce their result
// beside the input set the block position (and, for upper-case text, the size) in the globals.
// False, with memory untouched, when a register lies outside the range where the native code
// gives the program's result and stays inside the block and its output: the caller then runs the
// program itself.
bool RunStandardFilter(StandardFilter kind, uint8_t* memory, const uint32_t registers[7]);
