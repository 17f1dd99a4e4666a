// The x86 call filter on the encoding side: the relative addresses after E8 bytes become absolute
// ones, which repeat across an executable and so compress better; the decoder's standard E8 filter
// turns them back. Its definition carries the standard filter program, which decoders recognise
// by length and CRC-32.
#pragma once
#include <cstdint>
#include <vector>

namespace rar29enc {

// Blocks the decoders filter natively lie below the filter machine's global area (0x3C000).
constexpr uint32_t kX86MaxBlock = 0x3B000;
// Shorter blocks are coded without the filter: it has nothing to gain there.
constexpr uint32_t kX86MinBlock = 16;

// Rewrites `size` bytes at `block` (which starts `file_offset` bytes into the entry) so that the
// standard E8 filter gives back the original bytes.
void X86Encode(uint8_t* block, uint32_t size, uint32_t file_offset);

// The body of a filter definition for the standard E8 filter over `length` bytes from the decode
// position: filter 0, with its program when `define_program` (its first use in the entry). The
// flags byte that goes before it is kX86DefinitionFlags.
std::vector<uint8_t> X86FilterDefinition(uint32_t length, bool define_program);
constexpr uint8_t kX86DefinitionFlags = 0x80 | 0x20;  // filter number and block length follow

}  // namespace rar29enc
