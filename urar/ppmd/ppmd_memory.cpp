#include "urar/ppmd/ppmd_memory.h"

#include <cstdlib>

namespace {

constexpr PpmdUnitTables MakeUnitTables() {
  PpmdUnitTables t{};
  int i = 0;
  uint32_t k = 1;
  for (; i < 4; i++, k += 1) t.units[i] = static_cast<uint8_t>(k);
  for (k++; i < 8; i++, k += 2) t.units[i] = static_cast<uint8_t>(k);
  for (k++; i < 12; i++, k += 3) t.units[i] = static_cast<uint8_t>(k);
  for (k++; i < kPpmdIndexCount; i++, k += 4) t.units[i] = static_cast<uint8_t>(k);
  i = 0;
  for (uint32_t n = 0; n < 128; n++) {
    if (t.units[i] < n + 1) i++;
    t.index[n] = static_cast<uint8_t>(i);
  }
  return t;
}

void* DefaultHeapAlloc(size_t size) { return std::malloc(size); }

// Free blocks being merged carry a header in their first unit: a stamp that marks them free, their
// length in units, and links of a ring whose head lives just past the model memory.
constexpr uint16_t kFreeStamp = 0xFFFF;

struct BlockView {
  uint8_t* base;
  uint16_t Stamp(uint32_t b) const {
    uint16_t v;
    std::memcpy(&v, base + b, 2);
    return v;
  }
  uint32_t Units(uint32_t b) const {
    uint16_t v;
    std::memcpy(&v, base + b + 2, 2);
    return v;
  }
  uint32_t Next(uint32_t b) const { return PpmdLoad32(base + b + 4); }
  uint32_t Prev(uint32_t b) const { return PpmdLoad32(base + b + 8); }
  void SetStamp(uint32_t b, uint16_t v) const { std::memcpy(base + b, &v, 2); }
  void SetUnits(uint32_t b, uint32_t v) const {
    uint16_t u = static_cast<uint16_t>(v);
    std::memcpy(base + b + 2, &u, 2);
  }
  void SetNext(uint32_t b, uint32_t v) const { PpmdStore32(base + b + 4, v); }
  void SetPrev(uint32_t b, uint32_t v) const { PpmdStore32(base + b + 8, v); }
  void InsertAfter(uint32_t b, uint32_t head) const {
    uint32_t next = Next(head);
    SetPrev(b, head);
    SetNext(b, next);
    SetPrev(next, b);
    SetNext(head, b);
  }
  void Remove(uint32_t b) const {
    uint32_t prev = Prev(b), next = Next(b);
    SetNext(prev, next);
    SetPrev(next, prev);
  }
};

// Puts the units beyond the first `new_index` class of a block of class `old_index` on the free
// lists.
void SplitBlock(PpmdMemory* m, uint32_t block, int old_index, int new_index) {
  uint32_t rest = kPpmdUnits.units[old_index] - kPpmdUnits.units[new_index];
  uint32_t p = block + kPpmdUnits.units[new_index] * kPpmdUnitSize;
  int i = kPpmdUnits.index[rest - 1];
  if (kPpmdUnits.units[i] != rest) {
    PpmdInsertNode(m, p, --i);
    p += kPpmdUnits.units[i] * kPpmdUnitSize;
    rest -= kPpmdUnits.units[i];
  }
  PpmdInsertNode(m, p, kPpmdUnits.index[rest - 1]);
}

// Merges neighbouring free blocks and refiles them by size.
void GlueFreeBlocks(PpmdMemory* m) {
  const BlockView v{m->base};
  const uint32_t head = m->size;
  if (m->lo_unit != m->hi_unit) m->base[m->lo_unit] = 0;  // the gap is not a free block
  v.SetStamp(head, 0);
  v.SetNext(head, head);
  v.SetPrev(head, head);
  for (int i = 0; i < kPpmdIndexCount; i++) {
    while (m->free_head[i]) {
      uint32_t b = PpmdRemoveNode(m, i);
      v.InsertAfter(b, head);
      v.SetStamp(b, kFreeStamp);
      v.SetUnits(b, kPpmdUnits.units[i]);
    }
  }
  for (uint32_t b = v.Next(head); b != head; b = v.Next(b)) {
    for (;;) {
      uint32_t after = b + v.Units(b) * kPpmdUnitSize;
      if (v.Stamp(after) != kFreeStamp || v.Units(b) + v.Units(after) >= 0x10000) break;
      v.Remove(after);
      v.SetUnits(b, v.Units(b) + v.Units(after));
    }
  }
  for (uint32_t b; (b = v.Next(head)) != head;) {
    v.Remove(b);
    uint32_t units = v.Units(b);
    for (; units > 128; units -= 128, b += 128 * kPpmdUnitSize)
      PpmdInsertNode(m, b, kPpmdIndexCount - 1);
    int i = kPpmdUnits.index[units - 1];
    if (kPpmdUnits.units[i] != units) {
      uint32_t tail = units - kPpmdUnits.units[--i];
      PpmdInsertNode(m, b + (units - tail) * kPpmdUnitSize, static_cast<int>(tail) - 1);
    }
    PpmdInsertNode(m, b, i);
  }
}

}  // namespace

const PpmdUnitTables kPpmdUnits = MakeUnitTables();
PpmdHeapAllocator g_ppmd_heap_alloc = DefaultHeapAlloc;

bool PpmdMemoryStart(PpmdMemory* m, uint32_t size) {
  if (m->base && m->size == size) return true;
  PpmdMemoryStop(m);
  // Two spare units after the model memory: the head of the merge ring, and a zero stamp that
  // ends the merge scan at the top of the unit area.
  size_t bytes = (static_cast<size_t>(size) / kPpmdUnitSize + 2) * kPpmdUnitSize;
  uint8_t* base = static_cast<uint8_t*>(g_ppmd_heap_alloc(bytes));
  if (!base) return false;
  std::memset(base + size, 0, bytes - size);
  m->base = base;
  m->size = size;
  return true;
}

void PpmdMemoryStop(PpmdMemory* m) {
  std::free(m->base);
  m->base = nullptr;
  m->size = 0;
}

void PpmdMemoryReset(PpmdMemory* m) {
  std::memset(m->free_head, 0, sizeof(m->free_head));
  uint32_t units_bytes = kPpmdUnitSize * (m->size / 8 / kPpmdUnitSize * 7);
  m->text = 0;
  m->units_start = m->lo_unit = m->size - units_bytes;
  m->hi_unit = m->size;
  m->glue_count = 0;
}

uint32_t PpmdAllocUnitsRare(PpmdMemory* m, int index) {
  if (!m->glue_count) {
    m->glue_count = 255;
    GlueFreeBlocks(m);
    if (m->free_head[index]) return PpmdRemoveNode(m, index);
  }
  int i = index;
  do {
    if (++i == kPpmdIndexCount) {
      // No larger free block: take the units from the top of the text area.
      m->glue_count--;
      uint32_t bytes = kPpmdUnits.units[index] * kPpmdUnitSize;
      if (m->units_start - m->text > bytes) return m->units_start -= bytes;
      return 0;
    }
  } while (!m->free_head[i]);
  uint32_t block = PpmdRemoveNode(m, i);
  SplitBlock(m, block, i, index);
  return block;
}

uint32_t PpmdShrinkUnits(PpmdMemory* m, uint32_t block, uint32_t old_count, uint32_t new_count) {
  int old_index = kPpmdUnits.index[old_count - 1];
  int new_index = kPpmdUnits.index[new_count - 1];
  if (old_index == new_index) return block;
  if (m->free_head[new_index]) {
    uint32_t moved = PpmdRemoveNode(m, new_index);
    std::memcpy(m->base + moved, m->base + block, new_count * kPpmdUnitSize);
    PpmdInsertNode(m, block, old_index);
    return moved;
  }
  SplitBlock(m, block, old_index, new_index);
  return block;
}
