// PPMd variant H's context model: contexts of up to 64 preceding symbols, each with its symbol list
// (or a single symbol, a binary context), escape estimation through SEE contexts, and inherited
// statistics for new contexts; the model restarts from scratch whenever its memory runs out.
// Decoding is written against a range coder given as a template parameter (Scale, Count, Take,
// Binary, Normalize), so the model serves RAR's coder and, in the tests, a second coder that
// checks it against an independent encoder.
#pragma once
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "urar/ppmd/ppmd_memory.h"

namespace ppmd {

constexpr int kMaxOrder = 64;
constexpr int kIntervalBits = 7;
constexpr int kPeriodBits = 7;
constexpr int kTotalBits = kIntervalBits + kPeriodBits;
constexpr uint32_t kInterval = 1u << kIntervalBits;
constexpr uint32_t kBinScale = 1u << kTotalBits;
constexpr uint32_t kMaxFreq = 124;

// A symbol of a context: its frequency and the context that follows it (or, before that context
// exists, the text position after the symbol).
struct __attribute__((may_alias)) State {
  uint8_t symbol;
  uint8_t freq;
  uint16_t successor_low;
  uint16_t successor_high;

  uint32_t Successor() const { return successor_low | (uint32_t{successor_high} << 16); }
  void SetSuccessor(uint32_t v) {
    successor_low = static_cast<uint16_t>(v);
    successor_high = static_cast<uint16_t>(v >> 16);
  }
};
static_assert(sizeof(State) == 6, "two states must fit a unit");

// One unit. A binary context keeps its only symbol in place of summ_freq and stats.
struct __attribute__((may_alias)) Context {
  uint16_t num_stats;
  uint16_t summ_freq;
  uint32_t stats;
  uint32_t suffix;

  State* One() { return reinterpret_cast<State*>(reinterpret_cast<uint8_t*>(this) + 2); }
};
static_assert(sizeof(Context) == kPpmdUnitSize, "a context is one unit");

// Secondary escape estimation: an adaptive escape frequency for a class of contexts.
struct See2 {
  uint16_t summ;
  uint8_t shift;
  uint8_t count;

  void Init(uint32_t value) {
    shift = kPeriodBits - 4;
    summ = static_cast<uint16_t>(value << shift);
    count = 4;
  }
  uint32_t Mean() {
    uint32_t mean = summ >> shift;
    summ = static_cast<uint16_t>(summ - mean);
    return mean + (mean == 0);
  }
  void Update() {
    if (shift < kPeriodBits && --count == 0) {
      summ = static_cast<uint16_t>(summ + summ);
      count = static_cast<uint8_t>(3 << shift++);
    }
  }
};

struct Tables {
  uint8_t ns_to_index[256];     // SEE row of a context by its number of unmasked symbols
  uint8_t ns_to_bs_index[256];  // binary-context column by the suffix's number of symbols
  uint8_t high_bit_flag[256];   // 8 for symbols 0x40 and above
};

constexpr Tables MakeTables() {
  Tables t{};
  t.ns_to_bs_index[0] = 0;
  t.ns_to_bs_index[1] = 2;
  for (int i = 2; i < 11; i++) t.ns_to_bs_index[i] = 4;
  for (int i = 11; i < 256; i++) t.ns_to_bs_index[i] = 6;
  int i = 0;
  for (; i < 3; i++) t.ns_to_index[i] = static_cast<uint8_t>(i);
  for (int m = i, k = 1, step = 1; i < 256; i++) {
    t.ns_to_index[i] = static_cast<uint8_t>(m);
    if (--k == 0) {
      k = ++step;
      m++;
    }
  }
  for (int s = 0; s < 256; s++) t.high_bit_flag[s] = s < 0x40 ? 0 : 8;
  return t;
}
inline constexpr Tables kTables = MakeTables();

inline constexpr uint16_t kInitBinEscape[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                               0x64A1, 0x5ABC, 0x6632, 0x6051};
inline constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

// The model's state; its contexts and symbol lists live in `mem`.
struct ContextModel {
  PpmdMemory mem;

  Context* min_context;
  Context* max_context;
  State* found_state;
  int num_masked;
  int init_esc;
  int order_fall;
  int max_order;
  int run_length;
  int init_rl;
  uint8_t prev_success;
  uint8_t hi_bits_flag;
  uint32_t low_count;  // the symbol's share of the coder's current scale
  uint32_t high_count;

  // Symbols still codable in the current escape chain hold 0xFF, masked ones esc_count (0), so a
  // frequency ANDed with its symbol's byte counts only when unmasked.
  uint8_t char_mask[256];
  static constexpr uint8_t esc_count = 0;
  // The order-0 context, which holds every symbol, and its frequencies by symbol (0 for a symbol
  // it lost), kept in step with its list: an escape down to it sums the unmasked frequencies
  // from these 256 bytes instead of walking its 256 states.
  const Context* root;
  uint8_t root_freq[256];
  See2 see2[25][16];
  See2 dummy_see2;
  uint16_t bin_summ[128][64];

  Context* Ctx(uint32_t offset) { return reinterpret_cast<Context*>(mem.base + offset); }
  State* StatesAt(uint32_t offset) { return reinterpret_cast<State*>(mem.base + offset); }
  uint32_t Offset(const void* p) const {
    return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - mem.base);
  }
  // A context the decoder may enter: above the text and inside the model memory.
  bool ValidContext(uint32_t offset) const {
    return offset > mem.text && offset <= mem.size - kPpmdUnitSize;
  }
};

// Starts an empty model of the given order in memory that PpmdMemoryStart has provided.
void StartModel(ContextModel* m, int max_order);
// Halves the frequencies of a context whose found symbol grew too frequent.
void Rescale(ContextModel* m, Context* c);
// After a symbol was found: adds it to the contexts it escaped from and moves to the next context.
void UpdateModel(ContextModel* m);

inline void SwapStates(State* a, State* b) {
  State t = *a;
  *a = *b;
  *b = t;
}

// Keeps root_freq in step after the frequency of state `p` of context `c` changed.
inline void NoteFreq(ContextModel* m, const Context* c, const State* p) {
  if (c == m->root) m->root_freq[p->symbol] = p->freq;
}

// The root's frequencies of the symbols not masked.
inline uint32_t RootUnmaskedSum(const ContextModel* m) {
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  __m128i sum = zero;
  for (int i = 0; i < 256; i += 16) {
    const __m128i freq = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m->root_freq + i));
    const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m->char_mask + i));
    sum = _mm_add_epi64(sum, _mm_sad_epu8(_mm_and_si128(freq, mask), zero));
  }
  return static_cast<uint32_t>(_mm_cvtsi128_si32(sum) + _mm_cvtsi128_si32(_mm_srli_si128(sum, 8)));
#else
  uint32_t sum = 0;
  for (int i = 0; i < 256; i++) sum += m->root_freq[i] & m->char_mask[i];
  return sum;
#endif
}

// The first context of a symbol escaped: every symbol but the ones it held is codable again.
inline void StartEscapes(ContextModel* m) { std::memset(m->char_mask, 0xFF, sizeof(m->char_mask)); }

// The symbol found in the first context, not its leading one: it moves up if now more frequent.
inline void Update1(ContextModel* m, Context* c, State* p) {
  m->found_state = p;
  p->freq = static_cast<uint8_t>(p->freq + 4);
  NoteFreq(m, c, p);
  c->summ_freq = static_cast<uint16_t>(c->summ_freq + 4);
  if (p[0].freq > p[-1].freq) {
    SwapStates(&p[0], &p[-1]);
    m->found_state = --p;
    if (p->freq > kMaxFreq) Rescale(m, c);
  }
}

// The symbol found in a context reached by escapes.
inline void Update2(ContextModel* m, Context* c, State* p) {
  m->found_state = p;
  p->freq = static_cast<uint8_t>(p->freq + 4);
  NoteFreq(m, c, p);
  c->summ_freq = static_cast<uint16_t>(c->summ_freq + 4);
  if (p->freq > kMaxFreq) Rescale(m, c);
  m->run_length = m->init_rl;
}

// A context with a symbol list the decoder can walk: its list lies inside the model memory.
inline bool ValidList(const ContextModel* m, const Context* c) {
  return c->num_stats <= 256 && c->stats > m->mem.text &&
         c->stats + c->num_stats * 6u <= m->mem.size;
}

// Binary context: its only symbol or an escape, with probabilities from bin_summ. False when the
// coder's range has collapsed (damaged data).
template <class Coder>
bool DecodeBinSymbol(ContextModel* m, Context* c, Coder& rc) {
  State* rs = c->One();
  m->hi_bits_flag = kTables.high_bit_flag[m->found_state->symbol];
  const Context* suffix = m->Ctx(c->suffix);
  uint16_t& bs =
      m->bin_summ[(rs->freq - 1) & 127][m->prev_success +
                                        kTables.ns_to_bs_index[(suffix->num_stats - 1) & 255] +
                                        m->hi_bits_flag + 2 * kTables.high_bit_flag[rs->symbol] +
                                        ((static_cast<uint32_t>(m->run_length) >> 26) & 0x20)];
  const uint32_t mean = (bs + (1u << (kPeriodBits - 2))) >> kPeriodBits;
  const int hit = rc.Binary(bs);
  if (hit < 0) return false;
  if (hit) {
    m->found_state = rs;
    rs->freq = static_cast<uint8_t>(rs->freq + (rs->freq < 128));
    bs = static_cast<uint16_t>(bs + kInterval - mean);
    m->prev_success = 1;
    m->run_length++;
  } else {
    bs = static_cast<uint16_t>(bs - mean);
    m->init_esc = kExpEscape[bs >> 10];
    m->num_masked = 1;
    StartEscapes(m);
    m->char_mask[rs->symbol] = m->esc_count;
    m->prev_success = 0;
    m->found_state = nullptr;
  }
  return true;
}

// The first context of a symbol, none of its symbols masked. False on damaged data.
template <class Coder>
bool DecodeSymbol1(ContextModel* m, Context* c, Coder& rc) {
  const uint32_t scale = c->summ_freq;
  if (!rc.Scale(scale)) return false;
  const uint32_t count = rc.Count();
  if (count >= scale) return false;
  State* p = m->StatesAt(c->stats);
  uint32_t hi = p->freq;
  if (count < hi) {
    m->high_count = hi;
    m->prev_success = 2 * hi > scale;
    m->run_length += m->prev_success;
    m->found_state = p;
    hi += 4;
    p->freq = static_cast<uint8_t>(hi);
    NoteFreq(m, c, p);
    c->summ_freq = static_cast<uint16_t>(c->summ_freq + 4);
    if (hi > kMaxFreq) Rescale(m, c);
    m->low_count = 0;
    return true;
  }
  m->prev_success = 0;
  int i = c->num_stats - 1;
  while ((hi += (++p)->freq) <= count) {
    if (--i == 0) {
      m->hi_bits_flag = kTables.high_bit_flag[m->found_state->symbol];
      m->low_count = hi;
      m->high_count = scale;
      m->num_masked = c->num_stats;
      m->found_state = nullptr;
      StartEscapes(m);
      for (State* s = m->StatesAt(c->stats); s <= p; s++) m->char_mask[s->symbol] = m->esc_count;
      return true;
    }
  }
  m->high_count = hi;
  m->low_count = hi - p->freq;
  Update1(m, c, p);
  return true;
}

// A context reached by escapes: the symbols masked by the contexts before are skipped, and the
// escape frequency comes from a SEE context. False on damaged data.
template <class Coder>
bool DecodeSymbol2(ContextModel* m, Context* c, Coder& rc) {
  const int num_stats = c->num_stats;
  const int unmasked = num_stats - m->num_masked;
  See2* see;
  uint32_t scale;
  if (num_stats != 256) {
    const Context* suffix = m->Ctx(c->suffix);
    see =
        &m->see2[kTables.ns_to_index[unmasked - 1]]
                [(unmasked < suffix->num_stats - num_stats) + 2 * (c->summ_freq < 11 * num_stats) +
                 4 * (m->num_masked > unmasked) + m->hi_bits_flag];
    scale = see->Mean();
  } else {
    see = &m->dummy_see2;
    scale = 1;
  }
  // The unmasked frequencies are summed through the mask, without branches on it: which symbols
  // are masked follows no pattern, and a branch on the mask missed often enough to cost a
  // quarter of the time on short texts. A list is summed whole, in two sums that halve the chain
  // of adds; the root's sum comes from its frequencies by symbol. The later walk to the symbol
  // (or over the list to mask it) goes through the mask again, so no list of pointers is built.
  const uint8_t* const mask = m->char_mask;
  State* const stats = m->StatesAt(c->stats);
  State* const end = stats + num_stats;
  State* p = stats;
  uint32_t hi;
  if (c == m->root) {
    hi = RootUnmaskedSum(m);
  } else {
    uint32_t hi0 = 0, hi1 = 0;
    for (int pairs = num_stats >> 1; pairs != 0; pairs--, p += 2) {
      hi0 += p[0].freq & mask[p[0].symbol];
      hi1 += p[1].freq & mask[p[1].symbol];
    }
    if (num_stats & 1) hi0 += p->freq & mask[p->symbol];
    hi = hi0 + hi1;
  }
  scale += hi;
  if (!rc.Scale(scale)) return false;
  const uint32_t count = rc.Count();
  if (count >= scale) return false;
  if (count < hi) {
    // The symbol: the first whose unmasked sum passes count (only an unmasked symbol raises the
    // sum). Four states a step, then one at a time to the symbol; the walk stops at the list's
    // end should the root's frequencies disagree with its list.
    uint32_t sum = 0;
    p = stats;
    for (int steps = num_stats >> 2; steps != 0; steps--, p += 4) {
      const uint32_t next = sum + (p[0].freq & mask[p[0].symbol]) +
                            (p[1].freq & mask[p[1].symbol]) + (p[2].freq & mask[p[2].symbol]) +
                            (p[3].freq & mask[p[3].symbol]);
      if (next > count) break;
      sum = next;
    }
    for (;; p++) {
      if (p == end) return false;
      sum += p->freq & mask[p->symbol];
      if (sum > count) break;
    }
    m->high_count = sum;
    m->low_count = sum - p->freq;
    see->Update();
    Update2(m, c, p);
  } else {
    m->low_count = hi;
    m->high_count = scale;
    for (p = stats; p != end; p++) m->char_mask[p->symbol] = m->esc_count;
    see->summ = static_cast<uint16_t>(see->summ + scale);
    m->num_masked = num_stats;
  }
  return true;
}

// Decodes one symbol through `rc` and updates the model; -1 on damaged data. Always inlined:
// a caller's loop over symbols then keeps no call per symbol.
template <class Coder>
__attribute__((always_inline)) inline int DecodeSymbol(ContextModel* m, Coder& rc) {
  Context* c = m->min_context;
  if (!m->ValidContext(m->Offset(c))) return -1;
  __builtin_prefetch(m->mem.base + c->suffix);  // young models escape often
  if (c->num_stats != 1) {
    if (!ValidList(m, c) || !DecodeSymbol1(m, c, rc)) return -1;
    rc.Take(m->low_count, m->high_count);
  } else if (!DecodeBinSymbol(m, c, rc)) {
    return -1;
  }
  while (!m->found_state) {
    rc.Normalize();
    do {
      m->order_fall++;
      if (!m->ValidContext(c->suffix)) return -1;
      c = m->Ctx(c->suffix);
    } while (c->num_stats == m->num_masked);
    if (c->num_stats < m->num_masked || !ValidList(m, c)) return -1;
    m->min_context = c;
    if (!DecodeSymbol2(m, c, rc)) return -1;
    rc.Take(m->low_count, m->high_count);
  }
  m->min_context = c;
  const int symbol = m->found_state->symbol;
  const uint32_t successor = m->found_state->Successor();
  __builtin_prefetch(m->mem.base + successor);  // most often the next symbol's context
  if (!m->order_fall && successor > m->mem.text) {
    m->min_context = m->max_context = m->Ctx(successor);
  } else {
    UpdateModel(m);
  }
  rc.Normalize();
  return symbol;
}

}  // namespace ppmd
