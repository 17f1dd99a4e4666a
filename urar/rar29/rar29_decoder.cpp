// RAR 2.9 decoding: Huffman-coded LZ77 over a 4 MB window, PPMd blocks, filter definitions.
#include "urar/rar29/rar29_decoder.h"

#include <cstdlib>
#include <cstring>

#include "urar/common/extract_result.h"
#include "urar/filters/filter_vm.h"
#include "urar/rar29/lz_tables.h"
#include "urar/ppmd/ppmd_model.h"
#include "urar/rar29/rar29_state.h"
#include "urar/common/register_bits.h"

namespace {

static_assert(kRar29Distance.base[kRar29DistSymbols - 1] + (1u << 18) == kRar29WindowSize,
              "distance slots span the window");

// The longest match: a PPMd one (255 + 32 bytes); LZ matches reach 260.
constexpr uint32_t kLongestMatch = 287;
// Before each symbol the loop makes sure this much window lies between the decode position and
// the oldest byte not yet written: the longest match plus a copy's overrun.
constexpr uint32_t kWindowReserve = 300;
// Bytes a refill keeps in reserve: one LZ symbol with all its extra bits takes fewer.
constexpr uint32_t kInputReserve = 30;
constexpr uint32_t kLowDistRepeats = 16;

// Moves the unread input to the front and appends packed data. False when the bits consumed
// already run past the end of the packed data, or they continue in another volume.
bool Refill(Rar29State* s, StreamReader* packed) {
  BitInput& in = s->in;
  if (in.addr > s->input_top || (in.addr == s->input_top && in.bit != 0)) {
    s->input_failed = true;
    return false;
  }
  uint32_t keep = s->input_top - in.addr;
  memmove(s->input, s->input + in.addr, keep);
  in.addr = 0;
  int32_t got = 0;
  if (!s->input_ended) {
    got = StreamRead(packed, s->input + keep, kRar29InputSize - keep);
    if (got < 0) {
      s->input_failed = true;
      return false;
    }
    if (got == 0) s->input_ended = true;
  }
  s->input_top = keep + uint32_t(got);
  s->input_border = s->input_ended                 ? s->input_top
                    : s->input_top > kInputReserve ? s->input_top - kInputReserve
                                                   : 0;
  memset(s->input + s->input_top, 0, kRar29InputSpare);
  return true;
}

struct PpmdSourceContext {
  Rar29State* state;
  StreamReader* packed;
};

uint8_t PpmdNextByte(void* context) {
  auto* c = static_cast<PpmdSourceContext*>(context);
  Rar29State* s = c->state;
  if (s->in.addr >= s->input_top && !s->input_ended) Refill(s, c->packed);
  if (s->in.addr >= s->input_top) {
    s->input_overrun = true;
    return 0;
  }
  return s->input[s->in.addr++];
}

// Reads the code lengths of a new LZ block, or starts a PPMd block. False when they cannot be read.
bool ReadTables(Rar29State* s, StreamReader* packed, PpmdSourceContext* ppmd_source) {
  BitInput& in = s->in;
  if (in.addr + kInputReserve > s->input_top && !Refill(s, packed)) return false;
  in.AlignToByte();
  uint32_t field = in.Peek16();
  if (field & 0x8000) {
    s->ppmd_block = true;
    int result =
        PpmdDecodeInit(s->ppmd, PpmdByteSource{PpmdNextByte, ppmd_source}, &s->ppmd_escape);
    return result == kExtractOk && !s->input_overrun;
  }
  s->ppmd_block = false;
  s->prev_low_dist = 0;
  s->low_dist_repeat = 0;
  if (!(field & 0x4000)) memset(s->old_lengths, 0, sizeof(s->old_lengths));
  in.Skip(2);

  uint8_t bit_lengths[20];
  for (uint32_t i = 0; i < 20;) {
    uint32_t length = in.Bits(4);
    if (length != 15) {
      bit_lengths[i++] = uint8_t(length);
      continue;
    }
    uint32_t zeros = in.Bits(4);
    if (zeros == 0) {
      bit_lengths[i++] = 15;
      continue;
    }
    for (zeros += 2; zeros > 0 && i < 20; zeros--) bit_lengths[i++] = 0;
  }
  HuffmanTable lengths_table;
  HuffmanBuild(&lengths_table, bit_lengths, 20);

  uint8_t lengths[kRar29TableSymbols];
  for (uint32_t i = 0; i < kRar29TableSymbols;) {
    if (in.addr + 5 > s->input_top && !Refill(s, packed)) return false;
    uint32_t n = HuffmanDecode(lengths_table, in);
    if (n < 16) {
      lengths[i] = uint8_t((n + s->old_lengths[i]) & 15);
      i++;
    } else if (n < 18) {
      if (i == 0) return false;
      uint32_t count = n == 16 ? in.Bits(3) + 3 : in.Bits(7) + 11;
      for (; count > 0 && i < kRar29TableSymbols; count--, i++) lengths[i] = lengths[i - 1];
    } else {
      uint32_t count = n == 18 ? in.Bits(3) + 3 : in.Bits(7) + 11;
      for (; count > 0 && i < kRar29TableSymbols; count--) lengths[i++] = 0;
    }
  }
  if (in.addr > s->input_top) {
    s->input_failed = true;
    return false;
  }
  s->tables_read = true;
  const uint8_t* l = lengths;
  HuffmanBuild(&s->main_table, l, kRar29MainSymbols);
  l += kRar29MainSymbols;
  HuffmanBuild(&s->dist_table, l, kRar29DistSymbols);
  l += kRar29DistSymbols;
  HuffmanBuild(&s->low_dist_table, l, kRar29LowDistSymbols);
  l += kRar29LowDistSymbols;
  HuffmanBuild(&s->rep_length_table, l, kRar29RepLengthSymbols);
  memcpy(s->old_lengths, lengths, sizeof(lengths));
  return true;
}

// Copies a match anywhere in the window, wrapping at its end. The window is not cleared when
// allocated: bytes it never received (a damaged distance early in the stream) read as zero.
void CopyMatchWrapping(uint8_t* window, uint32_t& unp, uint32_t length, uint32_t distance,
                       uint32_t& filled) {
  uint32_t src = unp - distance;
  for (; length > 0; length--, src++) {
    uint32_t at = src & kRar29WindowMask;
    window[unp] = at < filled ? window[at] : 0;
    if (unp >= filled) filled = unp + 1;
    unp = (unp + 1) & kRar29WindowMask;
  }
}

// Writes the first n bytes (1..7) of `value`, as memcpy would store them, and keeps the bytes
// after them.
inline void StorePartial(uint8_t* d, uint64_t value, uint32_t n) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  uint64_t kept;
  memcpy(&kept, d, 8);
  const uint64_t mask = (uint64_t{1} << (8 * n)) - 1;
  const uint64_t merged = (value & mask) | (kept & ~mask);
  memcpy(d, &merged, 8);
#else
  uint8_t bytes[8];
  memcpy(bytes, &value, 8);
  memcpy(d, bytes, n);
#endif
}

// Copies a match whose source and destination lie inside the window without wrapping, the
// common case; false leaves the match to CopyMatchWrapping. Copies go in 8-byte steps. Until the
// window has wrapped the bytes past a match's end are not history yet, so the last step may run
// over them (the window's spare bytes take what runs past its end). Once live history lies
// ahead (kExactEnd), the last partial step is merged into the bytes it meets: an overrun there
// would replace bytes that a match at almost the window's distance still reads.
template <bool kExactEnd>
inline bool CopyMatchInWindow(uint8_t* window, uint32_t& unp, uint32_t length, uint32_t distance) {
  if (distance - 1 >= unp || unp + length >= kRar29WindowSize) return false;  // also distance 0
  uint8_t* d = window + unp;
  const uint8_t* p = d - distance;
  unp += length;
  const uint32_t steps = kExactEnd ? length & ~7u : length;
  uint32_t i = 0;
  uint64_t piece;
  if (distance >= 8) {
    for (; i < steps; i += 8) memcpy(d + i, p + i, 8);
    if (kExactEnd && i < length) {
      memcpy(&piece, p + i, 8);  // source bytes lie at least 8 back: all written already
      StorePartial(d + i, piece, length - i);
    }
    return true;
  }
  // Short distances repeat a pattern: after 8 single bytes, each 8-byte step copies from a
  // whole number of periods back (at least 8 bytes). On audio and image data, where such
  // runs are common, the byte loop took a third of the decoding time.
  static constexpr uint8_t kPeriodsStep[8] = {0, 8, 8, 9, 8, 10, 12, 14};
  if (kExactEnd && length < 8) {
    for (; i < length; i++) d[i] = p[i];
    return true;
  }
  for (; i < 8; i++) d[i] = p[i];
  const uint32_t step = kPeriodsStep[distance];
  for (; i < steps; i += 8) memcpy(d + i, d + i - step, 8);
  if (kExactEnd && i < length) {
    memcpy(&piece, d + i - step, 8);
    StorePartial(d + i, piece, length - i);
  }
  return true;
}

void InsertOldDistance(Rar29State* s, uint32_t distance) {
  s->old_dist[3] = s->old_dist[2];
  s->old_dist[2] = s->old_dist[1];
  s->old_dist[1] = s->old_dist[0];
  s->old_dist[0] = distance;
}

enum class LzEvent { kService, kEndOfBlock, kFilter };

// Bytes that may be decoded before the next write-out is due: until the oldest unwritten byte
// is less than kWindowReserve ahead, or, while writing is stalled, until kWindowReserve bytes
// after the stall.
uint32_t DecodeBudget(const Rar29State* s) {
  uint32_t space = (s->wr_ptr - s->unp_ptr) & kRar29WindowMask;
  if (space == 0) return kRar29WindowSize - kWindowReserve;
  if (space >= kWindowReserve) return space - kWindowReserve + 1;
  if (!s->write_stalled) return 0;
  uint32_t since = (s->unp_ptr - s->stalled_at) & kRar29WindowMask;
  return since < kWindowReserve ? kWindowReserve - since : 0;
}

// Writes the window out when the budget is spent. 0 or the write-out's error.
int WriteOutWhenDue(Rar29State* s) {
  if (DecodeBudget(s) > 0) return kExtractOk;
  int result = Rar29WriteOut(s);
  uint32_t space = (s->wr_ptr - s->unp_ptr) & kRar29WindowMask;
  s->write_stalled = space != 0 && space < kWindowReserve;
  s->stalled_at = s->unp_ptr;
  return result;
}

inline uint32_t DecodeFast(const HuffmanTable& table, RegisterBits& in) {
  // The quick table is indexed straight from the register, and the register shifted by the
  // entry: a shift, a load and a shift on the symbol chain.
  uint32_t entry = table.quick[in.bits >> (64 - kHuffmanQuickBits)];
  if (__builtin_expect(entry != 0, 1)) {
    in.bits <<= entry & 63;
    in.count -= entry & 15;
    return entry >> kHuffmanSymbolShift;
  }
  uint32_t field = in.Peek16() & 0xFFFE;
  BitInput counter;
  counter.Reset(nullptr);
  uint32_t symbol = HuffmanDecodeSlow(table, counter, field);
  in.Skip(counter.addr * 8 + counter.bit);
  return symbol;
}

// Decodes LZ symbols until the input or window needs service or a block end or filter
// definition comes. Reader and positions live in locals: window stores through a byte pointer
// would otherwise force the compiler to reload them after every byte.
template <bool kExactEnd>
LzEvent DecodeLzRunCopying(Rar29State* s) {
  const uint8_t* const base = s->input;
  RegisterBits in{0, 0, base + s->in.addr};
  in.Refill();
  in.Skip(s->in.bit);
  uint8_t* const window = s->window;
  uint32_t unp = s->unp_ptr & kRar29WindowMask;
  const uint32_t start = unp;
  const uint32_t budget_end = DecodeBudget(s);
  uint32_t produced = 0;
  const uint8_t* const fast_limit = base + s->input_border;
  const uint32_t border_bits = s->input_border * 8;
  LzEvent event = LzEvent::kService;
  for (;;) {
    if (produced >= budget_end) break;
    // The reader runs up to 8 bytes ahead of what it consumed; only near the border is the
    // exact position worth computing.
    if (in.next > fast_limit && in.Position(base) >= border_bits + 8) break;
    // Literals refill only when a code might not fit, which keeps the load off the chain from
    // one symbol to the next (10% more on literal-heavy data); every other symbol refills after
    // its first code.
    if (in.count < 16) in.Refill();
    uint32_t symbol = DecodeFast(s->main_table, in);
    if (symbol < kRar29SymbolEndOfBlock) {
      window[unp] = uint8_t(symbol);
      unp = (unp + 1) & kRar29WindowMask;
      produced++;
      continue;
    }
    in.Refill();
    uint32_t length, distance;
    if (symbol >= kRar29SymbolMatch) {
      symbol -= kRar29SymbolMatch;
      length = kLengthBase[symbol] + 3;
      if (uint32_t bits = kLengthBits[symbol]) length += in.Take(bits);
      uint32_t slot = DecodeFast(s->dist_table, in);
      in.Refill();
      distance = kRar29Distance.base[slot] + 1;
      uint32_t bits = kRar29Distance.bits[slot];
      if (slot > 9) {
        if (bits > 4) distance += in.Take(bits - 4) << 4;
        if (s->low_dist_repeat > 0) {
          s->low_dist_repeat--;
          distance += s->prev_low_dist;
        } else {
          uint32_t low = DecodeFast(s->low_dist_table, in);
          if (low == 16) {
            s->low_dist_repeat = kLowDistRepeats - 1;
            distance += s->prev_low_dist;
          } else {
            distance += low;
            s->prev_low_dist = low;
          }
        }
      } else if (bits > 0) {
        distance += in.Take(bits);
      }
      if (distance >= 0x2000) {
        length++;
        if (distance >= 0x40000) length++;
      }
      InsertOldDistance(s, distance);
    } else if (symbol == kRar29SymbolEndOfBlock) {
      event = LzEvent::kEndOfBlock;
      break;
    } else if (symbol == kRar29SymbolFilter) {
      event = LzEvent::kFilter;
      break;
    } else if (symbol == kRar29SymbolRepeatLast) {
      if (s->last_length == 0) continue;
      length = s->last_length;
      distance = s->old_dist[0];
    } else if (symbol < kRar29SymbolShortDist) {
      uint32_t index = symbol - kRar29SymbolOldDistance;
      distance = s->old_dist[index];
      for (; index > 0; index--) s->old_dist[index] = s->old_dist[index - 1];
      s->old_dist[0] = distance;
      uint32_t slot = DecodeFast(s->rep_length_table, in);
      length = kLengthBase[slot] + 2;
      if (uint32_t bits = kLengthBits[slot]) length += in.Take(bits);
    } else {
      symbol -= kRar29SymbolShortDist;
      distance = kShortDistBase[symbol] + 1;
      if (uint32_t bits = kShortDistBits[symbol]) distance += in.Take(bits);
      length = 2;
      InsertOldDistance(s, distance);
    }
    s->last_length = length;
    if (!CopyMatchInWindow<kExactEnd>(window, unp, length, distance)) {
      uint32_t filled = start + produced >= kRar29WindowSize ? kRar29WindowSize
                        : unp > s->window_filled             ? unp
                                                             : s->window_filled;
      CopyMatchWrapping(window, unp, length, distance, filled);
      s->window_filled = filled;
    }
    produced += length;
  }
  if (start + produced >= kRar29WindowSize) {
    s->window_filled = kRar29WindowSize;
  } else if (unp > s->window_filled) {
    s->window_filled = unp;
  }
  uint32_t position = in.Position(base);
  s->in.addr = position >> 3;
  s->in.bit = position & 7;
  s->unp_ptr = unp;
  return event;
}

// Before the window has wrapped nothing ahead of the decode position is history yet, and a run
// that cannot wrap it takes the copies that may run over a match's end; every other run copies
// exact ends. Deciding once per run keeps the check off the match path.
LzEvent DecodeLzRun(Rar29State* s) {
  const uint32_t start = s->unp_ptr & kRar29WindowMask;
  // The last match of a run starts before its budget is spent.
  const bool wraps = s->window_filled > start ||
                     uint64_t{start} + DecodeBudget(s) + kLongestMatch >= kRar29WindowSize;
  return wraps ? DecodeLzRunCopying<true>(s) : DecodeLzRunCopying<false>(s);
}

enum class Step { kContinue, kStop, kEndOfFile };

// A block end: a set bit means new tables follow; otherwise the file ends, and the next bit says
// whether the next solid entry starts with new tables.
Step ReadEndOfBlock(Rar29State* s, StreamReader* packed, PpmdSourceContext* ppmd_source) {
  uint32_t field = s->in.Peek16();
  bool new_table, new_file = false;
  if (field & 0x8000) {
    new_table = true;
    s->in.Skip(1);
  } else {
    new_file = true;
    new_table = (field & 0x4000) != 0;
    s->in.Skip(2);
  }
  s->tables_read = !new_table;
  if (new_file) return Step::kEndOfFile;
  return ReadTables(s, packed, ppmd_source) ? Step::kContinue : Step::kStop;
}

// Fills the definition buffer with `size` bytes from `next` (the first kRar29InputSize kept).
template <typename NextByte>
bool ReadDefinitionBytes(Rar29State* s, uint32_t size, NextByte next) {
  for (uint32_t i = 0; i < size; i++) {
    int byte = next();
    if (byte < 0) return false;
    if (i < kRar29InputSize) s->definition[i] = uint8_t(byte);
  }
  uint32_t kept = size < kRar29InputSize ? size : kRar29InputSize;
  memset(s->definition + kept, 0, kRar29InputSpare);
  return true;
}

// A filter definition from the LZ stream: a flags byte, the definition's size, its bytes.
int ReadFilterLz(Rar29State* s, StreamReader* packed) {
  BitInput& in = s->in;
  uint32_t first = in.Bits(8);
  uint32_t size = (first & 7) + 1;
  if (size == 7) {
    size = in.Bits(8) + 7;
  } else if (size == 8) {
    size = in.Bits(16);
  }
  bool ok = ReadDefinitionBytes(s, size, [&]() -> int {
    if (in.addr + 3 > s->input_top && !Refill(s, packed)) return -1;
    if (in.addr >= s->input_top) return -1;
    return int(in.Bits(8));
  });
  URAR_RETURN_IF(!ok, kExtractBadData);
  return Rar29DefineFilter(s, first, size);
}

// The same definition coded through PPMd.
int ReadFilterPpmd(Rar29State* s) {
  int first = PpmdDecodeChar(s->ppmd);
  URAR_RETURN_IF(first < 0, kExtractBadData);
  uint32_t size = (uint32_t(first) & 7) + 1;
  if (size == 7) {
    int b = PpmdDecodeChar(s->ppmd);
    URAR_RETURN_IF(b < 0, kExtractBadData);
    size = uint32_t(b) + 7;
  } else if (size == 8) {
    int high = PpmdDecodeChar(s->ppmd);
    URAR_RETURN_IF(high < 0, kExtractBadData);
    int low = PpmdDecodeChar(s->ppmd);
    URAR_RETURN_IF(low < 0, kExtractBadData);
    size = uint32_t(high) * 256 + uint32_t(low);
  }
  URAR_RETURN_IF(!ReadDefinitionBytes(s, size, [&]() { return PpmdDecodeChar(s->ppmd); }),
                 kExtractBadData);
  return Rar29DefineFilter(s, uint32_t(first), size);
}

// The code after an escape character: new tables, end of file, a filter, a match, or the escape
// character itself.
Step DecodePpmdEscape(Rar29State* s, StreamReader* packed, PpmdSourceContext* source, int* result) {
  int code = PpmdDecodeChar(s->ppmd);
  switch (code) {
    case -1: return Step::kStop;
    case 0: return ReadTables(s, packed, source) ? Step::kContinue : Step::kStop;
    case 2: return Step::kEndOfFile;
    case 3: {
      int r = ReadFilterPpmd(s);
      if (r == kExtractNoMemory) *result = r;
      return r == kExtractOk ? Step::kContinue : Step::kStop;
    }
    case 4: {
      uint32_t distance = 0;
      for (int i = 0; i < 3; i++) {
        int b = PpmdDecodeChar(s->ppmd);
        if (b < 0) return Step::kStop;
        distance = (distance << 8) | uint32_t(b);
      }
      int length = PpmdDecodeChar(s->ppmd);
      if (length < 0) return Step::kStop;
      CopyMatchWrapping(s->window, s->unp_ptr, uint32_t(length) + 32, distance + 2,
                        s->window_filled);
      return Step::kContinue;
    }
    case 5: {
      int length = PpmdDecodeChar(s->ppmd);
      if (length < 0) return Step::kStop;
      CopyMatchWrapping(s->window, s->unp_ptr, uint32_t(length) + 4, 1, s->window_filled);
      return Step::kContinue;
    }
    default:  // the escape character itself
      s->window[s->unp_ptr] = uint8_t(s->ppmd_escape);
      if (s->unp_ptr >= s->window_filled) s->window_filled = s->unp_ptr + 1;
      s->unp_ptr = (s->unp_ptr + 1) & kRar29WindowMask;
      return Step::kContinue;
  }
}

// PPMd symbols until the next write-out is due (at least one symbol, as the write-out may be
// stalled), an escape character, or the end of the input, literals straight into the window:
// the stream loop's checks once per symbol took 2% of the instructions on PPMd texts.
Step DecodePpmdRun(Rar29State* s, StreamReader* packed, PpmdSourceContext* source, int* result) {
  const uint32_t start = s->unp_ptr;
  uint32_t unp = start;
  const uint32_t budget = DecodeBudget(s);
  const int ended = PpmdDecodeRun(s->ppmd, s->window, kRar29WindowMask, &unp, budget ? budget : 1,
                                  s->ppmd_escape, &s->input_overrun);
  if (start + ((unp - start) & kRar29WindowMask) >= kRar29WindowSize) {
    s->window_filled = kRar29WindowSize;
  } else if (unp > s->window_filled) {
    s->window_filled = unp;
  }
  s->unp_ptr = unp;
  // An overrun is the stream loop's to report.
  if (ended == kPpmdRunWritten || s->input_overrun) return Step::kContinue;
  if (ended < 0) {
    s->ppmd_block = false;
    return Step::kStop;
  }
  return DecodePpmdEscape(s, packed, source, result);
}

int DecodeStream(Rar29State* s, StreamReader* packed, PpmdSourceContext* source) {
  int result = kExtractOk;
  for (;;) {
    s->unp_ptr &= kRar29WindowMask;
    URAR_RETURN_IF(s->in.addr > s->input_border && !Refill(s, packed), kExtractTruncated);
    URAR_RETURN_IF(s->input_overrun, kExtractTruncated);
    if (int error = WriteOutWhenDue(s)) return error;
    if (s->written_size > s->declared_size) return kExtractOk;
    Step step = Step::kContinue;
    if (s->ppmd_block) {
      step = DecodePpmdRun(s, packed, source, &result);
    } else {
      switch (DecodeLzRun(s)) {
        case LzEvent::kService: break;
        case LzEvent::kEndOfBlock: step = ReadEndOfBlock(s, packed, source); break;
        case LzEvent::kFilter: {
          int r = ReadFilterLz(s, packed);
          if (r == kExtractNoMemory) result = r;
          if (r != kExtractOk) step = Step::kStop;
          break;
        }
      }
    }
    if (step == Step::kContinue) continue;
    if (result != kExtractOk) return result;
    URAR_RETURN_IF(s->input_failed, kExtractTruncated);
    break;
  }
  return Rar29WriteOut(s);
}

void ResetForNewFile(Rar29State* s) {
  s->tables_read = false;
  memset(s->old_dist, 0, sizeof(s->old_dist));
  s->last_length = 0;
  memset(s->old_lengths, 0, sizeof(s->old_lengths));
  // A file that is not solid starts with no history: what earlier files left in the window
  // reads as zero, as in a new window.
  s->unp_ptr = s->wr_ptr = s->window_filled = 0;
  s->write_stalled = false;
  s->ppmd_escape = 2;
  s->ppmd_block = false;
  Rar29ResetFilters(s);
}

Rar29State* CreateState() {
  auto* s = static_cast<Rar29State*>(calloc(1, sizeof(Rar29State)));
  if (s == nullptr) return nullptr;
  // Not cleared: only bytes that were decoded are ever read (see CopyMatchWrapping).
  s->window = static_cast<uint8_t*>(malloc(kRar29WindowSize + kRar29WindowSpare));
  s->input = static_cast<uint8_t*>(malloc(kRar29InputSize + kRar29InputSpare));
  s->definition = static_cast<uint8_t*>(malloc(kRar29InputSize + kRar29InputSpare));
  s->ppmd = PpmdCreate();
  if (s->window == nullptr || s->input == nullptr || s->definition == nullptr ||
      s->ppmd == nullptr) {
    Rar29Destroy(s);
    return nullptr;
  }
  return s;
}

}  // namespace

void Rar29Destroy(Rar29State* s) {
  if (s == nullptr) return;
  Rar29ResetFilters(s);
  free(s->filters);
  free(s->pending);
  VmDestroy(s->vm);
  PpmdDestroy(s->ppmd);
  free(s->window);
  free(s->input);
  free(s->definition);
  free(s);
}

int Rar29Decode(ArchiveReader* reader, bool solid) {
  if (reader->rar29 == nullptr) {
    reader->rar29 = CreateState();
    URAR_RETURN_IF(reader->rar29 == nullptr, kExtractNoMemory);
    solid = false;
  }
  Rar29State* s = reader->rar29;
  s->declared_size = reader->entry.DeclaredSize();
  s->written_size = 0;
  s->writer = &reader->writer;
  s->interpret_all_filters = reader->interpret_all_filters;
  if (!solid) ResetForNewFile(s);

  s->in.Reset(s->input);
  s->input_top = s->input_border = 0;
  s->input_ended = s->input_overrun = s->input_failed = false;
  PpmdSourceContext source{s, &reader->packed};
  URAR_RETURN_IF(!Refill(s, &reader->packed), kExtractTruncated);
  URAR_RETURN_IF((!solid || !s->tables_read) && !ReadTables(s, &reader->packed, &source),
                 kExtractBadData);
  return DecodeStream(s, &reader->packed, &source);
}
