#include "urar/filters/filter_native.h"

#include <cstdlib>
#include <cstring>

#include "urar/common/checksum.h"
#include "urar/filters/filter_vm_internal.h"

namespace {

struct KnownProgram {
  uint32_t size;
  uint32_t crc;
  StandardFilter kind;
};

constexpr KnownProgram kKnownPrograms[] = {
    {53, 0xAD576887u, StandardFilter::kE8},        {57, 0x3CD7E57Eu, StandardFilter::kE8E9},
    {120, 0x3769893Fu, StandardFilter::kItanium},  {29, 0x0E06077Du, StandardFilter::kDelta},
    {149, 0x1C2C5DC8u, StandardFilter::kRgb},      {216, 0xBC85E701u, StandardFilter::kAudio},
    {40, 0x46B9C560u, StandardFilter::kUpperCase},
};

// Block limits of the native code: the x86 and Itanium filters work in place below the global
// area; the others write their result right after the block, so the block takes at most half of
// that space. Beyond them the programs' memory accesses wrap around the machine's memory.
constexpr uint32_t kInPlaceLimit = kVmGlobalAddress;
constexpr uint32_t kBesideLimit = kVmGlobalAddress / 2;
// The audio program keeps 64 bytes of state per channel after the fixed globals, each channel
// 64 bytes further on; from the 255th channel on they run into its stack at the top of memory.
constexpr uint32_t kAudioChannelLimit = 254;

uint8_t* Global(uint8_t* memory, uint32_t offset) { return memory + kVmGlobalAddress + offset; }

void X86Filter(uint8_t* memory, uint32_t size, uint32_t file_offset, bool jumps_too) {
  if (size <= 4) return;
  // Addresses inside the first 16 MB of the file were stored absolute; make them relative again.
  constexpr uint32_t kFileSize = 0x1000000;
  const uint8_t second = jumps_too ? 0xE9 : 0xE8;
  // Bytes that can be an opcode, 8 at a time: E8 (and E9) are the bytes whose bits under the
  // mask equal E8's. Skipping 8-byte runs without them took an executable (bsdcat.exe) from 1.7
  // to 5.1 GB/s.
  const uint64_t mask = jumps_too ? 0xFEFEFEFEFEFEFEFEull : ~0ull;
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  const uint32_t end = size - 4;
  for (uint32_t pos = 0; pos < end;) {
    while (pos + 8 <= end) {
      uint64_t v;
      memcpy(&v, memory + pos, 8);
      const uint64_t t = (v ^ (0xE8 * kOnes)) & mask;
      if (((t - kOnes) & ~t & (0x80 * kOnes)) != 0) break;  // some byte matches
      pos += 8;
    }
    if (pos >= end) break;
    const uint8_t b = memory[pos++];
    if (b != 0xE8 && b != second) continue;
    const uint32_t offset = pos + file_offset;
    const uint32_t addr = VmGet32(memory + pos);
    if (addr & 0x80000000u) {
      if (((addr + offset) & 0x80000000u) == 0) VmPut32(memory + pos, addr + kFileSize);
    } else if ((addr - kFileSize) & 0x80000000u) {
      VmPut32(memory + pos, addr - offset);
    }
    pos += 4;
  }
}

uint32_t GetBundleBits(const uint8_t* data, uint32_t bit_pos, uint32_t count) {
  uint32_t field = VmGet32(data + bit_pos / 8) >> (bit_pos & 7);
  return field & (0xFFFFFFFFu >> (32 - count));
}

void SetBundleBits(uint8_t* data, uint32_t value, uint32_t bit_pos, uint32_t count) {
  uint8_t* p = data + bit_pos / 8;
  const uint32_t shift = bit_pos & 7;
  uint32_t keep = ~((0xFFFFFFFFu >> (32 - count)) << shift);
  value <<= shift;
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<uint8_t>((p[i] & keep) | value);
    keep = (keep >> 8) | 0xFF000000u;
    value >>= 8;
  }
}

void ItaniumFilter(uint8_t* memory, uint32_t size, uint32_t file_offset) {
  if (size <= 21) return;
  // Per bundle template (low 5 bits of its first byte, 0x10-0x1F): the slots that hold branches.
  static constexpr uint8_t kBranchSlots[16] = {4, 4, 6, 6, 0, 0, 7, 7, 4, 4, 0, 0, 4, 4, 0, 0};
  uint32_t bundle = file_offset >> 4;
  for (uint32_t pos = 0; pos < size - 21; pos += 16, ++bundle) {
    uint8_t* data = memory + pos;
    const uint32_t templ = data[0] & 0x1F;
    if (templ < 0x10) continue;
    const uint8_t slots = kBranchSlots[templ - 0x10];
    for (uint32_t slot = 0; slot < 3; ++slot) {
      if (!(slots & (1u << slot))) continue;
      const uint32_t start = slot * 41 + 5;
      if (GetBundleBits(data, start + 37, 4) != 5) continue;
      const uint32_t target = GetBundleBits(data, start + 13, 20);
      SetBundleBits(data, (target - bundle) & 0xFFFFF, start + 13, 20);
    }
  }
}

void DeltaFilter(uint8_t* memory, uint32_t size, uint32_t channels) {
  VmPut32(Global(memory, 0x20), size);
  const uint8_t* src = memory;
  for (uint32_t ch = 0; ch < channels; ++ch) {
    uint8_t prev = 0;
    for (uint32_t dest = size + ch; dest < 2 * size; dest += channels) {
      prev = static_cast<uint8_t>(prev - *src++);
      memory[dest] = prev;
    }
  }
}

void RgbFilter(uint8_t* memory, uint32_t size, uint32_t row_bytes, uint32_t red_pos) {
  VmPut32(Global(memory, 0x20), size);
  const uint8_t* src = memory;
  uint8_t* dest = memory + size;
  for (uint32_t ch = 0; ch < 3; ++ch) {
    uint32_t prev = 0;
    for (uint32_t i = ch; i < size; i += 3) {
      uint32_t predicted = prev;
      if (i >= row_bytes) {  // a row above: the pixel above and the one above-left
        const uint8_t* upper = dest + (i - row_bytes + 3);
        const uint32_t up = upper[0];
        const uint32_t up_left = upper[-3];
        predicted = prev + up - up_left;
        const int pa = abs(static_cast<int32_t>(predicted - prev));
        const int pb = abs(static_cast<int32_t>(predicted - up));
        const int pc = abs(static_cast<int32_t>(predicted - up_left));
        if (pa <= pb && pa <= pc)
          predicted = prev;
        else if (pb <= pc)
          predicted = up;
        else
          predicted = up_left;
      }
      prev = static_cast<uint8_t>(predicted - *src++);
      dest[i] = static_cast<uint8_t>(prev);
    }
  }
  // Red and blue were stored as differences from green.
  for (uint32_t i = red_pos; i + 2 < size; i += 3) {
    const uint8_t green = dest[i + 1];
    dest[i] = static_cast<uint8_t>(dest[i] + green);
    dest[i + 2] = static_cast<uint8_t>(dest[i + 2] + green);
  }
}

void AudioFilter(uint8_t* memory, uint32_t size, uint32_t channels) {
  VmPut32(Global(memory, 0x20), size);
  const uint8_t* src = memory;
  uint8_t* dest = memory + size;
  for (uint32_t ch = 0; ch < channels; ++ch) {
    uint32_t prev_byte = 0, prev_delta = 0, dif[7] = {};
    int32_t d1 = 0, d2 = 0, d3 = 0, k1 = 0, k2 = 0, k3 = 0;
    for (uint32_t i = ch, count = 0; i < size; i += channels, ++count) {
      d3 = d2;
      d2 = static_cast<int32_t>(prev_delta) - d1;
      d1 = static_cast<int32_t>(prev_delta);
      uint32_t predicted = 8 * prev_byte + static_cast<uint32_t>(k1 * d1 + k2 * d2 + k3 * d3);
      predicted = (predicted >> 3) & 0xFF;
      const uint32_t cur = *src++;
      predicted -= cur;
      dest[i] = static_cast<uint8_t>(predicted);
      prev_delta =
          static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(predicted - prev_byte)));
      prev_byte = predicted;

      // Track which predictor would have done best and nudge its weight every 32 samples.
      const int32_t d = static_cast<int32_t>(static_cast<int8_t>(cur)) * 8;
      dif[0] += abs(d);
      dif[1] += abs(d - d1);
      dif[2] += abs(d + d1);
      dif[3] += abs(d - d2);
      dif[4] += abs(d + d2);
      dif[5] += abs(d - d3);
      dif[6] += abs(d + d3);
      if ((count & 0x1F) == 0) {
        uint32_t min_dif = dif[0], best = 0;
        dif[0] = 0;
        for (uint32_t j = 1; j < 7; ++j) {
          if (dif[j] < min_dif) {
            min_dif = dif[j];
            best = j;
          }
          dif[j] = 0;
        }
        switch (best) {
          case 1:
            if (k1 >= -16) --k1;
            break;
          case 2:
            if (k1 < 16) ++k1;
            break;
          case 3:
            if (k2 >= -16) --k2;
            break;
          case 4:
            if (k2 < 16) ++k2;
            break;
          case 5:
            if (k3 >= -16) --k3;
            break;
          case 6:
            if (k3 < 16) ++k3;
            break;
        }
      }
    }
  }
}

void UpperCaseFilter(uint8_t* memory, uint32_t size) {
  // Byte 2 escapes: 2 2 is a literal 2, 2 x is x - 32 (an upper-case letter).
  uint32_t src = 0, dest = size;
  while (src < size) {
    uint8_t b = memory[src++];
    if (b == 2 && (b = memory[src++]) != 2) b = static_cast<uint8_t>(b - 32);
    memory[dest++] = b;
  }
  VmPut32(Global(memory, 0x1C), dest - size);
  VmPut32(Global(memory, 0x20), size);
}

}  // namespace

StandardFilter RecogniseStandardFilter(const uint8_t* code, uint32_t size) {
  for (const KnownProgram& known : kKnownPrograms) {
    if (known.size == size && Crc32(0, code, size) == known.crc) return known.kind;
  }
  return StandardFilter::kNone;
}

bool RunStandardFilter(StandardFilter kind, uint8_t* memory, const uint32_t r[7]) {
  const uint32_t size = r[4];
  // The x86 program scans R4 bytes from R1; the delta and audio programs write R0 channels
  // beside the block, channel R1 onwards, reading from R2, with the globals at R3.
  const bool in_place = size < kInPlaceLimit && r[1] <= kInPlaceLimit - size;
  const bool beside = size < kBesideLimit && r[3] == kVmGlobalAddress;
  const bool channels = beside && r[1] == 0 && r[2] == 0 && r[0] >= 1 && r[0] <= size;
  // The Itanium, RGB and text programs are only known by length and checksum: they are run
  // natively with their parameters and every other register as a decoder sets them.
  const bool defaults = r[0] == 0 && r[1] == 0 && r[2] == 0 && r[3] == kVmGlobalAddress;
  switch (kind) {
    case StandardFilter::kE8:
    case StandardFilter::kE8E9:
      if (!in_place) return false;
      X86Filter(memory + r[1], size, r[6] + r[1], kind == StandardFilter::kE8E9);
      return true;
    case StandardFilter::kItanium:
      if (!defaults || size >= kInPlaceLimit) return false;
      ItaniumFilter(memory, size, r[6]);
      return true;
    case StandardFilter::kDelta:
      if (!channels) return false;
      DeltaFilter(memory, size, r[0]);
      return true;
    case StandardFilter::kRgb:
      // R0 is the row's length in bytes, R1 where red is in a pixel.
      if (!beside || r[2] != 0 || r[0] < 3 || r[1] > size) return false;
      RgbFilter(memory, size, r[0], r[1]);
      return true;
    case StandardFilter::kAudio:
      if (!channels || r[0] > kAudioChannelLimit) return false;
      AudioFilter(memory, size, r[0]);
      return true;
    case StandardFilter::kUpperCase:
      if (!defaults || !beside) return false;
      UpperCaseFilter(memory, size);
      return true;
    case StandardFilter::kNone: break;
  }
  return false;
}
