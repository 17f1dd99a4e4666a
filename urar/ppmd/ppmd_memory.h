// The PPMd sub-allocator: one block of model memory split into a text area (the symbols seen,
// growing upwards) and an area of 12-byte units for contexts and symbol lists. Everything inside
// is addressed by 32-bit offsets from the block start, so a unit is 12 bytes on every platform
// and the memory runs out at the same moment as in the encoder, which decides when the model
// restarts. Offset 0 is the first text byte and never a unit: it doubles as null.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr uint32_t kPpmdUnitSize = 12;
constexpr int kPpmdIndexCount =
    38;  // block size classes: 1..4, 6..12 by 2, 15..24 by 3, 28..128 by 4

struct PpmdUnitTables {
  uint8_t units[kPpmdIndexCount];  // units in a block of each size class
  uint8_t index[128];              // smallest size class holding n + 1 units
};
extern const PpmdUnitTables kPpmdUnits;

// The one large allocation goes through this pointer (malloc by default) so a test can refuse it.
using PpmdHeapAllocator = void* (*)(size_t size);
extern PpmdHeapAllocator g_ppmd_heap_alloc;

struct PpmdMemory {
  uint8_t* base;         // null when no memory is held
  uint32_t size;         // model bytes at base; the block has at least two more units after them
  uint32_t text;         // next free text byte
  uint32_t units_start;  // lowest unit; moves down into the text area when the units run out
  uint32_t lo_unit;      // free gap between lo_unit and hi_unit: symbol lists come from below,
  uint32_t hi_unit;      // contexts from above
  uint32_t glue_count;
  uint32_t free_head[kPpmdIndexCount];
};

// Keeps the memory when it already has `size` bytes, else replaces it. False when the block
// cannot be had (nothing is held then).
bool PpmdMemoryStart(PpmdMemory* m, uint32_t size);
void PpmdMemoryStop(PpmdMemory* m);
// Empties the memory for a fresh model.
void PpmdMemoryReset(PpmdMemory* m);
// Takes a block of size class `index` when the fast paths failed; 0 when memory is exhausted.
uint32_t PpmdAllocUnitsRare(PpmdMemory* m, int index);

inline uint32_t PpmdLoad32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void PpmdStore32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

inline void PpmdInsertNode(PpmdMemory* m, uint32_t block, int index) {
  PpmdStore32(m->base + block, m->free_head[index]);
  m->free_head[index] = block;
}

inline uint32_t PpmdRemoveNode(PpmdMemory* m, int index) {
  uint32_t block = m->free_head[index];
  m->free_head[index] = PpmdLoad32(m->base + block);
  return block;
}

inline uint32_t PpmdAllocContext(PpmdMemory* m) {
  if (m->hi_unit != m->lo_unit) return m->hi_unit -= kPpmdUnitSize;
  if (m->free_head[0]) return PpmdRemoveNode(m, 0);
  return PpmdAllocUnitsRare(m, 0);
}

inline uint32_t PpmdAllocUnits(PpmdMemory* m, uint32_t count) {
  int index = kPpmdUnits.index[count - 1];
  if (m->free_head[index]) return PpmdRemoveNode(m, index);
  uint32_t bytes = kPpmdUnits.units[index] * kPpmdUnitSize;
  if (m->hi_unit - m->lo_unit >= bytes) {
    uint32_t block = m->lo_unit;
    m->lo_unit += bytes;
    return block;
  }
  return PpmdAllocUnitsRare(m, index);
}

inline void PpmdFreeUnits(PpmdMemory* m, uint32_t block, uint32_t count) {
  PpmdInsertNode(m, block, kPpmdUnits.index[count - 1]);
}

// Grows a block of `count` units by one unit; 0 when memory is exhausted (the old block stays).
inline uint32_t PpmdExpandUnits(PpmdMemory* m, uint32_t block, uint32_t count) {
  int old_index = kPpmdUnits.index[count - 1];
  if (old_index == kPpmdUnits.index[count]) return block;
  uint32_t grown = PpmdAllocUnits(m, count + 1);
  if (grown) {
    std::memcpy(m->base + grown, m->base + block, count * kPpmdUnitSize);
    PpmdInsertNode(m, block, old_index);
  }
  return grown;
}

uint32_t PpmdShrinkUnits(PpmdMemory* m, uint32_t block, uint32_t old_count, uint32_t new_count);
