// Made-up file contents of the kinds a rescue system carries, the same for the same seed: text
// (logs, configuration, prose), x86 machine code with calls between its functions, and random
// bytes (standing for data that is already compressed). For the compressor's tests and the bench.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sample_content {

std::vector<std::uint8_t> Text(std::uint64_t seed, std::size_t size);
std::vector<std::uint8_t> X86Code(std::uint64_t seed, std::size_t size);
std::vector<std::uint8_t> Random(std::uint64_t seed, std::size_t size);

}  // namespace sample_content
