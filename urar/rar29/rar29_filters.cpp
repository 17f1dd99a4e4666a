// Filter definitions carried in RAR 2.9 packed data, and the write-out of the window through the
// filters whose blocks are complete.
#include <cstdlib>
#include <cstring>

#include "urar/common/extract_result.h"
#include "urar/filters/filter_vm.h"
#include "urar/rar29/rar29_state.h"

namespace {

constexpr uint32_t kGone = 0xFFFFFFFFu;    // a pending use that has run
constexpr uint32_t kWriterPiece = 0x8000;  // the writer takes at most this much at once

void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// The variable-length numbers of a definition: two bits choose 4 bits, 8 bits (or a byte below
// 0xFFFFFF00 + 256), 16 bits or 32 bits.
uint32_t ReadNumber(BitInput& in) {
  uint32_t field = in.Peek16();
  switch (field & 0xC000) {
    case 0: in.Skip(6); return (field >> 10) & 0xF;
    case 0x4000:
      if ((field & 0x3C00) == 0) {
        in.Skip(14);
        return 0xFFFFFF00u | ((field >> 2) & 0xFF);
      }
      in.Skip(10);
      return (field >> 6) & 0xFF;
    case 0x8000: in.Skip(2); return in.Bits(16);
    default: {
      in.Skip(2);
      uint32_t high = in.Bits(16);
      return (high << 16) | in.Bits(16);
    }
  }
}

// True once the reader has consumed bits past the definition's bytes.
bool Overrun(const BitInput& in, uint32_t size) {
  return in.addr > size || (in.addr == size && in.bit != 0);
}

void ReleasePending(Rar29PendingFilter& p) {
  free(p.globals);
  p.globals = nullptr;
  p.filter = kGone;
}

// Drops the uses that have run, keeping the order of the rest.
void CompactPending(Rar29State* s) {
  uint32_t kept = 0;
  for (uint32_t i = 0; i < s->pending_count; i++) {
    if (s->pending[i].filter != kGone) s->pending[kept++] = s->pending[i];
  }
  s->pending_count = kept;
}

bool GrowFilters(Rar29State* s) {
  if (s->filter_count < s->filter_capacity) return true;
  uint32_t capacity = s->filter_capacity ? s->filter_capacity * 2 : 16;
  auto* grown = static_cast<Rar29Filter*>(realloc(s->filters, capacity * sizeof(Rar29Filter)));
  if (grown == nullptr) return false;
  s->filters = grown;
  s->filter_capacity = capacity;
  return true;
}

bool GrowPending(Rar29State* s) {
  if (s->pending_count < s->pending_capacity) return true;
  uint32_t capacity = s->pending_capacity ? s->pending_capacity * 2 : 16;
  auto* grown =
      static_cast<Rar29PendingFilter*>(realloc(s->pending, capacity * sizeof(Rar29PendingFilter)));
  if (grown == nullptr) return false;
  s->pending = grown;
  s->pending_capacity = capacity;
  return true;
}

int EmitArea(Rar29State* s, uint32_t start, uint32_t end) {
  if (end < start) {
    if (int error = Rar29Emit(s, s->window + start, kRar29WindowSize - start)) return error;
    start = 0;
  }
  return Rar29Emit(s, s->window + start, end - start);
}

// Copies `length` window bytes from `start` (wrapping) to the machine's memory, as far as it goes.
void LoadBlock(Rar29State* s, uint8_t* memory, uint32_t start, uint32_t length) {
  if (length > kVmMemorySize) length = kVmMemorySize;
  uint32_t first = kRar29WindowSize - start;
  if (first > length) first = length;
  memcpy(memory, s->window + start, first);
  memcpy(memory + first, s->window, length - first);
}

// Runs one pending use; the filter's kept data replace the definition's data block first, and
// what the program keeps now is stored with the filter for its next use.
int RunPending(Rar29State* s, Rar29PendingFilter& p, uint32_t* out_position, uint32_t* out_size) {
  Rar29Filter& f = s->filters[p.filter];
  URAR_RETURN_IF(f.program == nullptr || s->vm == nullptr, kExtractNoMemory);
  if (f.kept_size > kVmFixedGlobalSize) {
    auto* globals = static_cast<uint8_t*>(realloc(p.globals, f.kept_size));
    URAR_RETURN_IF(globals == nullptr, kExtractNoMemory);
    p.globals = globals;
    p.global_size = f.kept_size;
    memcpy(globals + kVmFixedGlobalSize, f.kept_globals + kVmFixedGlobalSize,
           f.kept_size - kVmFixedGlobalSize);
  }
  uint32_t position = uint32_t(s->written_size);
  p.registers[6] = position;
  PutLe32(p.globals + 0x24, position);
  PutLe32(p.globals + 0x28, uint32_t(s->written_size >> 32));
  const VmRun run =
      VmExecute(s->vm, f.program, p.registers, &p.globals, &p.global_size, out_position, out_size);
  URAR_RETURN_IF(run == VmRun::kOverBudget, kExtractTooMuchWork);
  URAR_RETURN_IF(run == VmRun::kNoMemory, kExtractNoMemory);
  if (p.global_size > kVmFixedGlobalSize) {
    if (f.kept_size < p.global_size) {
      auto* kept = static_cast<uint8_t*>(realloc(f.kept_globals, p.global_size));
      URAR_RETURN_IF(kept == nullptr, kExtractNoMemory);
      f.kept_globals = kept;
      f.kept_size = p.global_size;
    }
    memcpy(f.kept_globals + kVmFixedGlobalSize, p.globals + kVmFixedGlobalSize,
           p.global_size - kVmFixedGlobalSize);
  } else {
    free(f.kept_globals);
    f.kept_globals = nullptr;
    f.kept_size = 0;
  }
  return kExtractOk;
}

// Filters the complete block of pending use `i`, then every following use queued for the same
// block (each on the output of the one before), and writes the result. Returns the index of the
// last use that ran through *last.
int FilterBlock(Rar29State* s, uint32_t i, uint32_t* last) {
  Rar29PendingFilter& first = s->pending[i];
  uint32_t start = first.block_start;
  uint8_t* memory = VmMemory(s->vm);
  LoadBlock(s, memory, start, first.block_length);
  uint32_t position = 0, size = 0;
  int result = RunPending(s, first, &position, &size);
  ReleasePending(first);
  while (result == kExtractOk && i + 1 < s->pending_count) {
    Rar29PendingFilter& next = s->pending[i + 1];
    if (next.filter == kGone || next.block_start != start || next.block_length != size ||
        next.next_window) {
      break;
    }
    memmove(memory, memory + position, size);
    result = RunPending(s, next, &position, &size);
    ReleasePending(next);
    i++;
  }
  *last = i;
  if (result != kExtractOk) return result;
  return Rar29Emit(s, memory + position, size);
}

}  // namespace

int Rar29Emit(Rar29State* s, const uint8_t* data, uint32_t size) {
  uint64_t room = s->written_size < s->declared_size ? s->declared_size - s->written_size : 0;
  uint32_t put = size < room ? size : uint32_t(room);
  s->written_size += size;
  while (put > 0) {
    uint32_t piece = put < kWriterPiece ? put : kWriterPiece;
    if (int error = WriterPut(s->writer, data, piece)) return error;
    data += piece;
    put -= piece;
  }
  return kExtractOk;
}

int Rar29WriteOut(Rar29State* s) {
  uint32_t border = s->wr_ptr;
  uint32_t unp = s->unp_ptr;
  uint32_t write_size = (unp - border) & kRar29WindowMask;
  int result = kExtractOk;
  for (uint32_t i = 0; i < s->pending_count && result == kExtractOk; i++) {
    Rar29PendingFilter& p = s->pending[i];
    if (p.filter == kGone) continue;
    if (p.next_window) {
      p.next_window = false;
      continue;
    }
    uint32_t start = p.block_start, length = p.block_length;
    if (((start - border) & kRar29WindowMask) >= write_size) continue;
    if (border != start) {
      result = EmitArea(s, border, start);
      if (result != kExtractOk) break;
      border = start;
      write_size = (unp - border) & kRar29WindowMask;
    }
    if (length > write_size) {
      // The block is not decoded in full yet: write up to it and wait.
      for (uint32_t j = i; j < s->pending_count; j++) s->pending[j].next_window = false;
      s->wr_ptr = border;
      CompactPending(s);
      return kExtractOk;
    }
    result = FilterBlock(s, i, &i);
    border = (start + length) & kRar29WindowMask;
    write_size = (unp - border) & kRar29WindowMask;
  }
  CompactPending(s);
  if (result != kExtractOk) return result;
  s->wr_ptr = unp;
  return EmitArea(s, border, unp);
}

int Rar29DefineFilter(Rar29State* s, uint32_t first_byte, uint32_t size) {
  uint32_t available = size < kRar29InputSize ? size : kRar29InputSize;
  BitInput in;
  in.Reset(s->definition);

  uint32_t number = s->last_filter;
  if (first_byte & 0x80) {
    number = ReadNumber(in);
    if (number == 0) {
      Rar29ResetFilters(s);
    } else {
      number--;
    }
  }
  URAR_RETURN_IF(Overrun(in, available) || number > s->filter_count, kExtractBadData);
  s->last_filter = number;
  bool is_new = number == s->filter_count;
  if (is_new) {
    URAR_RETURN_IF(number > kRar29MaxFilterNumber, kExtractBadData);
    URAR_RETURN_IF(!GrowFilters(s), kExtractNoMemory);
    s->filters[number] = Rar29Filter{};
    s->filter_count++;
  } else {
    s->filters[number].exec_count++;
  }
  URAR_RETURN_IF(s->pending_count >= kRar29MaxPendingFilters, kExtractBadData);
  URAR_RETURN_IF(s->vm == nullptr && (s->vm = VmCreate()) == nullptr, kExtractNoMemory);

  Rar29Filter& f = s->filters[number];
  Rar29PendingFilter p{};
  p.filter = number;
  uint32_t start = ReadNumber(in);
  if (first_byte & 0x40) start += 258;
  p.block_start = (start + s->unp_ptr) & kRar29WindowMask;
  p.block_length = (first_byte & 0x20) ? ReadNumber(in) : f.last_length;
  p.next_window = s->wr_ptr != s->unp_ptr && ((s->wr_ptr - s->unp_ptr) & kRar29WindowMask) <= start;
  f.last_length = p.block_length;

  p.registers[3] = kVmGlobalAddress;
  p.registers[4] = p.block_length;
  p.registers[5] = f.exec_count;
  if (first_byte & 0x10) {
    uint32_t mask = in.Bits(7);
    for (uint32_t r = 0; r < 7; r++) {
      URAR_RETURN_IF(Overrun(in, available), kExtractBadData);
      if (mask & (1u << r)) p.registers[r] = ReadNumber(in);
    }
  }
  URAR_RETURN_IF(Overrun(in, available), kExtractBadData);

  if (is_new) {
    uint32_t code_size = ReadNumber(in);
    URAR_RETURN_IF(code_size == 0 || code_size >= 0x10000, kExtractBadData);
    auto* code = static_cast<uint8_t*>(malloc(code_size));
    URAR_RETURN_IF(code == nullptr, kExtractNoMemory);
    for (uint32_t i = 0; i < code_size; i++) {
      if (in.addr >= available) {
        free(code);
        URAR_FAIL(kExtractBadData);
      }
      code[i] = uint8_t(in.Bits(8));
    }
    f.program = VmPrepare(code, code_size, !s->interpret_all_filters);
    free(code);
    URAR_RETURN_IF(f.program == nullptr, kExtractNoMemory);
  }

  uint32_t data_size = 0;
  if (first_byte & 0x08) {
    URAR_RETURN_IF(Overrun(in, available), kExtractBadData);
    data_size = ReadNumber(in);
    URAR_RETURN_IF(data_size > kVmMaxGlobalData, kExtractBadData);
  }
  p.global_size = kVmFixedGlobalSize + data_size;
  p.globals = static_cast<uint8_t*>(calloc(p.global_size, 1));
  URAR_RETURN_IF(p.globals == nullptr, kExtractNoMemory);
  for (uint32_t r = 0; r < 7; r++) PutLe32(p.globals + 4 * r, p.registers[r]);
  PutLe32(p.globals + 0x1C, p.block_length);
  PutLe32(p.globals + 0x2C, f.exec_count);
  for (uint32_t i = 0; i < data_size; i++) {
    if (in.addr >= available) {
      free(p.globals);
      URAR_FAIL(kExtractBadData);
    }
    p.globals[kVmFixedGlobalSize + i] = uint8_t(in.Bits(8));
  }
  if (Overrun(in, available) || !GrowPending(s)) {
    bool no_memory = !Overrun(in, available);
    free(p.globals);
    URAR_FAIL(no_memory ? kExtractNoMemory : kExtractBadData);
  }
  s->pending[s->pending_count++] = p;
  return kExtractOk;
}

void Rar29ResetFilters(Rar29State* s) {
  for (uint32_t i = 0; i < s->filter_count; i++) {
    VmFreeProgram(s->filters[i].program);
    free(s->filters[i].kept_globals);
  }
  for (uint32_t i = 0; i < s->pending_count; i++) free(s->pending[i].globals);
  s->filter_count = 0;
  s->pending_count = 0;
  s->last_filter = 0;
}
