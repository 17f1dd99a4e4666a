#include "standins/sample_content.h"

#include <cstdio>
#include <random>
#include <string>

namespace sample_content {
namespace {

// Index in [0, n) with small ones far more likely, as words and call targets are used.
size_t Skewed(std::mt19937_64& rng, size_t n) {
  const double u = std::uniform_real_distribution<double>(0, 1)(rng);
  return size_t(u * u * u * double(n)) % n;
}

std::vector<std::string> Vocabulary(std::mt19937_64& rng, size_t count) {
  static const char* const kSyllables[] = {"ra", "to", "ven",  "sca", "nor", "li",  "de",  "mor",
                                           "ex", "al", "pre",  "sig", "na",  "tu",  "re",  "con",
                                           "fi", "le", "boot", "dri", "ve",  "ker", "nel", "up"};
  std::vector<std::string> words;
  for (size_t i = 0; i < count; i++) {
    std::string word;
    for (size_t n = 1 + rng() % 3; n > 0; n--) word += kSyllables[rng() % 24];
    words.push_back(word);
  }
  return words;
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; i++) out.push_back(std::uint8_t(v >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> Text(std::uint64_t seed, std::size_t size) {
  std::mt19937_64 rng(seed);
  const std::vector<std::string> words = Vocabulary(rng, 3000);
  std::string text;
  char line[160];
  unsigned clock = unsigned(rng() % 86400);
  while (text.size() < size) {
    switch (rng() % 4) {
      case 0:  // a log line
        clock += unsigned(rng() % 40);
        std::snprintf(line, sizeof line,
                      "2024-05-%02u %02u:%02u:%02u scanner[%u]: ", unsigned(1 + clock / 86400 % 28),
                      clock / 3600 % 24, clock / 60 % 60, clock % 60, unsigned(1000 + rng() % 50));
        text += line;
        break;
      case 1:  // a configuration line
        text += words[Skewed(rng, 200)] + "." + words[Skewed(rng, 400)] + " = ";
        break;
      default: break;
    }
    for (size_t n = 4 + rng() % 12; n > 0; n--) {
      text += words[Skewed(rng, words.size())];
      text += rng() % 11 == 0 ? ", " : " ";
    }
    text += rng() % 3 == 0 ? ".\r\n" : "\n";
  }
  text.resize(size);
  return {text.begin(), text.end()};
}

std::vector<std::uint8_t> X86Code(std::uint64_t seed, std::size_t size) {
  std::mt19937_64 rng(seed);
  // Function entry points, 16-byte aligned; a few are called far more often than the rest.
  std::vector<std::uint32_t> functions(size / 256 + 1);
  for (auto& f : functions) f = std::uint32_t(rng() % (size / 16 + 1)) * 16;
  std::vector<std::uint8_t> out;
  while (out.size() < size) {
    out.insert(out.end(),
               {0x55, 0x48, 0x89, 0xE5, 0x48, 0x83, 0xEC, std::uint8_t(8 * (1 + rng() % 8))});
    for (size_t n = 3 + rng() % 20; n > 0; n--) {
      switch (rng() % 7) {
        case 0:
        case 1: {  // call rel32
          const std::uint32_t target = functions[Skewed(rng, functions.size())];
          out.push_back(0xE8);
          Put32(out, target - std::uint32_t(out.size() + 4));
          break;
        }
        case 2:  // mov rax, [rbp - d]
          out.insert(out.end(), {0x48, 0x8B, 0x45, std::uint8_t(0xF8 - 8 * (rng() % 6))});
          break;
        case 3:  // mov [rbp - d], rax
          out.insert(out.end(), {0x48, 0x89, 0x45, std::uint8_t(0xF8 - 8 * (rng() % 6))});
          break;
        case 4:  // lea rdi, [rip + data]
          out.insert(out.end(), {0x48, 0x8D, 0x3D});
          Put32(out, std::uint32_t(0x200000 + rng() % 0x4000 * 8 - out.size()));
          break;
        case 5:  // cmp eax, imm8; je short
          out.insert(out.end(),
                     {0x83, 0xF8, std::uint8_t(rng() % 16), 0x74, std::uint8_t(rng() % 64)});
          break;
        default:  // xor eax, eax; test
          out.insert(out.end(), {0x31, 0xC0, 0x85, 0xC0});
          break;
      }
    }
    out.insert(out.end(), {0xC9, 0xC3});  // leave; ret
    while (out.size() % 16 != 0) out.push_back(0xCC);
  }
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> Random(std::uint64_t seed, std::size_t size) {
  std::mt19937_64 rng(seed);
  std::vector<std::uint8_t> out(size);
  for (auto& b : out) b = std::uint8_t(rng() >> 56);
  return out;
}

}  // namespace sample_content
