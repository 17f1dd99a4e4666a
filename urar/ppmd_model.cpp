// PPMd variant H: contexts of up to 64 preceding symbols, each with its symbol list (or a single
// symbol, a binary context), escape estimation through SEE contexts, and inherited statistics for
// new contexts. The model restarts from scratch whenever its memory runs out.
#include "urar/ppmd_model.h"

#include <cstdlib>
#include <new>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "urar/extract_result.h"
#include "urar/ppmd_memory.h"
#include "urar/ppmd_range_decoder.h"

namespace {

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
constexpr Tables kTables = MakeTables();

constexpr uint16_t kInitBinEscape[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                        0x64A1, 0x5ABC, 0x6632, 0x6051};
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

}  // namespace

struct PpmdModel {
  PpmdMemory mem;
  PpmdRangeDecoder rc;
  bool present;  // a model exists that a block may continue

  Context* min_context;
  Context* max_context;
  State* found_state;
  int num_masked;
  int init_esc;
  int order_fall;
  int max_order;
  int run_length;
  int init_rl;
  uint8_t esc_count;
  uint8_t prev_success;
  uint8_t hi_bits_flag;
  uint32_t low_count;   // the symbol's share of the coder's current scale
  uint32_t high_count;

  uint8_t char_mask[256];
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

namespace {

void ClearMask(PpmdModel* m) {
  m->esc_count = 1;
  std::memset(m->char_mask, 0, sizeof(m->char_mask));
}

void RestartModel(PpmdModel* m) {
  std::memset(m->char_mask, 0, sizeof(m->char_mask));
  PpmdMemoryReset(&m->mem);
  m->init_rl = -(m->max_order < 12 ? m->max_order : 12) - 1;
  Context* root = m->Ctx(PpmdAllocContext(&m->mem));
  m->min_context = m->max_context = root;
  root->suffix = 0;
  m->order_fall = m->max_order;
  root->num_stats = 256;
  root->summ_freq = 257;
  root->stats = PpmdAllocUnits(&m->mem, 256 / 2);
  State* s = m->StatesAt(root->stats);
  m->found_state = s;
  for (int i = 0; i < 256; i++) {
    s[i].symbol = static_cast<uint8_t>(i);
    s[i].freq = 1;
    s[i].SetSuccessor(0);
  }
  m->run_length = m->init_rl;
  m->prev_success = 0;
  for (int i = 0; i < 128; i++)
    for (int k = 0; k < 8; k++)
      for (int j = 0; j < 64; j += 8)
        m->bin_summ[i][k + j] = static_cast<uint16_t>(kBinScale - kInitBinEscape[k] / (i + 2));
  for (int i = 0; i < 25; i++)
    for (int k = 0; k < 16; k++) m->see2[i][k].Init(5 * i + 10);
}

void StartModel(PpmdModel* m, int max_order) {
  m->esc_count = 1;
  m->max_order = max_order;
  RestartModel(m);
  m->dummy_see2.shift = kPeriodBits;  // never adapts
}

inline void SwapStates(State* a, State* b) {
  State t = *a;
  *a = *b;
  *b = t;
}

// The state of `symbol` in a list of `count` states that holds it. Eight states at a time where
// the CPU compares sixteen bytes at once: lists of a young model are long and searched on every
// symbol, and the scalar loop's exit was the costliest branch of decoding short texts.
inline State* FindState(State* p, uint32_t count, uint8_t symbol) {
#ifdef __SSE2__
  const __m128i key = _mm_set1_epi8(static_cast<char>(symbol));
  constexpr uint64_t kSymbolBytes = 0x041041041041ull;  // bytes 0, 6, ..., 42: eight symbols
  for (State* const end8 = p + (count & ~7u); p != end8; p += 8) {
    const auto* b = reinterpret_cast<const __m128i*>(p);
    const uint64_t equal =
        static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(b), key))) |
        static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(b + 1), key))) << 16 |
        static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(b + 2), key))) << 32;
    const uint64_t hits = equal & kSymbolBytes;
    if (hits) return p + __builtin_ctzll(hits) / 6;
  }
#else
  (void)count;
#endif
  while (p->symbol != symbol) p++;
  return p;
}

// Halves the frequencies of a context whose leading symbol grew too frequent, keeps the list
// sorted, and drops symbols whose frequency reached zero.
void Rescale(PpmdModel* m, Context* c) {
  int old_ns = c->num_stats;
  State* stats = m->StatesAt(c->stats);
  State* p = m->found_state;
  for (; p != stats; p--) SwapStates(&p[0], &p[-1]);
  stats->freq = static_cast<uint8_t>(stats->freq + 4);
  c->summ_freq = static_cast<uint16_t>(c->summ_freq + 4);
  int esc_freq = c->summ_freq - p->freq;
  int adder = m->order_fall != 0;
  p->freq = static_cast<uint8_t>((p->freq + adder) >> 1);
  int summ = p->freq;
  for (int i = old_ns - 1; i > 0; i--) {
    ++p;
    esc_freq -= p->freq;
    p->freq = static_cast<uint8_t>((p->freq + adder) >> 1);
    summ += p->freq;
    if (p[0].freq > p[-1].freq) {
      State tmp = *p;
      State* q = p;
      do {
        q[0] = q[-1];
      } while (--q != stats && tmp.freq > q[-1].freq);
      *q = tmp;
    }
  }
  if (p->freq == 0) {
    int zeros = 0;
    do {
      zeros++;
    } while ((--p)->freq == 0);
    esc_freq += zeros;
    c->num_stats = static_cast<uint16_t>(c->num_stats - zeros);
    if (c->num_stats == 1) {
      State tmp = *stats;
      do {
        tmp.freq = static_cast<uint8_t>(tmp.freq - (tmp.freq >> 1));
        esc_freq >>= 1;
      } while (esc_freq > 1);
      PpmdFreeUnits(&m->mem, c->stats, (old_ns + 1) >> 1);
      *(m->found_state = c->One()) = tmp;
      return;
    }
  }
  esc_freq -= esc_freq >> 1;
  c->summ_freq = static_cast<uint16_t>(summ + esc_freq);
  uint32_t n0 = (old_ns + 1) >> 1, n1 = (c->num_stats + 1) >> 1;
  if (n0 != n1) c->stats = PpmdShrinkUnits(&m->mem, c->stats, n0, n1);
  m->found_state = m->StatesAt(c->stats);
}

// Creates the chain of contexts that follow the found symbol in the contexts from the current one
// down to the first that already has a successor for it. Null when memory runs out.
Context* CreateSuccessors(PpmdModel* m, bool skip, State* p1) {
  Context* pc = m->min_context;
  const uint32_t up_branch = m->found_state->Successor();
  const uint8_t symbol = m->found_state->symbol;
  State* ps[kMaxOrder];
  int n = 0;
  State* p;
  if (!skip) {
    ps[n++] = m->found_state;
    if (!pc->suffix) goto no_loop;
  }
  if (p1) {
    p = p1;
    pc = m->Ctx(pc->suffix);
    goto loop_entry;
  }
  do {
    pc = m->Ctx(pc->suffix);
    if (pc->num_stats != 1) {
      p = FindState(m->StatesAt(pc->stats), pc->num_stats, symbol);
    } else {
      p = pc->One();
    }
  loop_entry:
    if (p->Successor() != up_branch) {
      pc = m->Ctx(p->Successor());
      break;
    }
    if (n == kMaxOrder) return nullptr;
    ps[n++] = p;
  } while (pc->suffix);
no_loop:
  if (n == 0) return pc;
  State up;
  // Only a real context can lend its statistics; a text position here means a damaged model.
  if (m->Offset(pc) <= m->mem.text) return nullptr;
  up.symbol = m->mem.base[up_branch];
  up.SetSuccessor(up_branch + 1);
  if (pc->num_stats != 1) {
    p = FindState(m->StatesAt(pc->stats), pc->num_stats, up.symbol);
    uint32_t cf = p->freq - 1u;
    uint32_t s0 = pc->summ_freq - pc->num_stats - cf;
    if (s0 == 0) return nullptr;
    up.freq = static_cast<uint8_t>(
        1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((2 * cf + 3 * s0 - 1) / (2 * s0))));
  } else {
    up.freq = pc->One()->freq;
  }
  do {
    uint32_t child_offset = PpmdAllocContext(&m->mem);
    if (!child_offset) return nullptr;
    Context* child = m->Ctx(child_offset);
    child->num_stats = 1;
    *child->One() = up;
    child->suffix = m->Offset(pc);
    ps[--n]->SetSuccessor(child_offset);
    pc = child;
  } while (n != 0);
  return pc;
}

// After a symbol was decoded: update its frequency in the suffix context, add it to every
// context between the longest one and the one it was found in, and move to the next context.
// Returns false when memory ran out and the model restarted.
bool UpdateModelOrRestart(PpmdModel* m) {
  const State fs = *m->found_state;
  State* p = nullptr;
  Context* pc;
  if (fs.freq < kMaxFreq / 4 && m->min_context->suffix) {
    pc = m->Ctx(m->min_context->suffix);
    if (pc->num_stats != 1) {
      p = m->StatesAt(pc->stats);
      if (p->symbol != fs.symbol) {
        p = FindState(p + 1, pc->num_stats - 1u, fs.symbol);
        if (p[0].freq >= p[-1].freq) {
          SwapStates(&p[0], &p[-1]);
          p--;
        }
      }
      if (p->freq < kMaxFreq - 9) {
        p->freq = static_cast<uint8_t>(p->freq + 2);
        pc->summ_freq = static_cast<uint16_t>(pc->summ_freq + 2);
      }
    } else {
      p = pc->One();
      p->freq = static_cast<uint8_t>(p->freq + (p->freq < 32));
    }
  }
  if (!m->order_fall) {
    Context* next = CreateSuccessors(m, true, p);
    if (!next) return false;
    m->found_state->SetSuccessor(m->Offset(next));
    m->min_context = m->max_context = next;
    return true;
  }
  m->mem.base[m->mem.text++] = fs.symbol;
  uint32_t successor = m->mem.text;
  if (m->mem.text >= m->mem.units_start) return false;
  uint32_t fs_successor = fs.Successor();
  if (fs_successor) {
    if (fs_successor <= m->mem.text) {
      Context* created = CreateSuccessors(m, false, p);
      if (!created) return false;
      fs_successor = m->Offset(created);
    }
    if (--m->order_fall == 0) {
      successor = fs_successor;
      m->mem.text -= (m->max_context != m->min_context);
    }
  } else {
    m->found_state->SetSuccessor(successor);
    fs_successor = m->Offset(m->min_context);
  }
  const uint32_t ns = m->min_context->num_stats;
  const uint32_t s0 = m->min_context->summ_freq - ns - (fs.freq - 1u);
  for (pc = m->max_context; pc != m->min_context; pc = m->Ctx(pc->suffix)) {
    uint32_t ns1 = pc->num_stats;
    if (ns1 != 1) {
      if ((ns1 & 1) == 0) {
        uint32_t grown = PpmdExpandUnits(&m->mem, pc->stats, ns1 >> 1);
        if (!grown) return false;
        pc->stats = grown;
      }
      pc->summ_freq = static_cast<uint16_t>(
          pc->summ_freq + (2 * ns1 < ns) + 2 * ((4 * ns1 <= ns) & (pc->summ_freq <= 8 * ns1)));
    } else {
      uint32_t list = PpmdAllocUnits(&m->mem, 1);
      if (!list) return false;
      State* first = m->StatesAt(list);
      *first = *pc->One();
      pc->stats = list;
      if (first->freq < kMaxFreq / 4 - 1)
        first->freq = static_cast<uint8_t>(first->freq * 2);
      else
        first->freq = kMaxFreq - 4;
      pc->summ_freq = static_cast<uint16_t>(first->freq + m->init_esc + (ns > 3));
    }
    uint32_t cf = 2 * fs.freq * (pc->summ_freq + 6u);
    uint32_t sf = s0 + pc->summ_freq;
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf) + (cf >= 4 * sf);
      pc->summ_freq = static_cast<uint16_t>(pc->summ_freq + 3);
    } else {
      cf = 4 + (cf >= 9 * sf) + (cf >= 12 * sf) + (cf >= 15 * sf);
      pc->summ_freq = static_cast<uint16_t>(pc->summ_freq + cf);
    }
    State* added = m->StatesAt(pc->stats) + ns1;
    added->SetSuccessor(successor);
    added->symbol = fs.symbol;
    added->freq = static_cast<uint8_t>(cf);
    pc->num_stats = static_cast<uint16_t>(ns1 + 1);
  }
  m->max_context = m->min_context = m->Ctx(fs_successor);
  return true;
}

void UpdateModel(PpmdModel* m) {
  if (!UpdateModelOrRestart(m)) {
    RestartModel(m);
    m->esc_count = 0;
  }
}

// Binary context: the only symbol or an escape, with probabilities from bin_summ.
void DecodeBinSymbol(PpmdModel* m, Context* c) {
  State* rs = c->One();
  m->hi_bits_flag = kTables.high_bit_flag[m->found_state->symbol];
  const Context* suffix = m->Ctx(c->suffix);
  uint16_t& bs = m->bin_summ[(rs->freq - 1) & 127]
                            [m->prev_success + kTables.ns_to_bs_index[(suffix->num_stats - 1) & 255] +
                             m->hi_bits_flag + 2 * kTables.high_bit_flag[rs->symbol] +
                             ((static_cast<uint32_t>(m->run_length) >> 26) & 0x20)];
  const uint32_t mean = (bs + (1u << (kPeriodBits - 2))) >> kPeriodBits;
  if (m->rc.Count() < bs) {
    m->found_state = rs;
    rs->freq = static_cast<uint8_t>(rs->freq + (rs->freq < 128));
    m->low_count = 0;
    m->high_count = bs;
    bs = static_cast<uint16_t>(bs + kInterval - mean);
    m->prev_success = 1;
    m->run_length++;
  } else {
    m->low_count = bs;
    bs = static_cast<uint16_t>(bs - mean);
    m->high_count = kBinScale;
    m->init_esc = kExpEscape[bs >> 10];
    m->num_masked = 1;
    m->char_mask[rs->symbol] = m->esc_count;
    m->prev_success = 0;
    m->found_state = nullptr;
  }
}

void Update1(PpmdModel* m, Context* c, State* p) {
  m->found_state = p;
  p->freq = static_cast<uint8_t>(p->freq + 4);
  c->summ_freq = static_cast<uint16_t>(c->summ_freq + 4);
  if (p[0].freq > p[-1].freq) {
    SwapStates(&p[0], &p[-1]);
    m->found_state = --p;
    if (p->freq > kMaxFreq) Rescale(m, c);
  }
}

// The first context of a symbol, none of its symbols masked. False on damaged data.
bool DecodeSymbol1(PpmdModel* m, Context* c) {
  const uint32_t scale = c->summ_freq;
  if (!m->rc.Scale(scale)) return false;
  const uint32_t count = m->rc.Count();
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
      const uint8_t esc = m->esc_count;
      for (State* s = m->StatesAt(c->stats); s <= p; s++) m->char_mask[s->symbol] = esc;
      return true;
    }
  }
  m->high_count = hi;
  m->low_count = hi - p->freq;
  Update1(m, c, p);
  return true;
}

void Update2(PpmdModel* m, Context* c, State* p) {
  m->found_state = p;
  p->freq = static_cast<uint8_t>(p->freq + 4);
  c->summ_freq = static_cast<uint16_t>(c->summ_freq + 4);
  if (p->freq > kMaxFreq) Rescale(m, c);
  m->esc_count++;
  m->run_length = m->init_rl;
}

// A context reached by escapes: the symbols masked by the contexts before are skipped, and the
// escape frequency comes from a SEE context. False on damaged data.
bool DecodeSymbol2(PpmdModel* m, Context* c) {
  const int num_stats = c->num_stats;
  const int unmasked = num_stats - m->num_masked;
  See2* see;
  uint32_t scale;
  if (num_stats != 256) {
    const Context* suffix = m->Ctx(c->suffix);
    see = &m->see2[kTables.ns_to_index[unmasked - 1]]
                  [(unmasked < suffix->num_stats - num_stats) + 2 * (c->summ_freq < 11 * num_stats) +
                   4 * (m->num_masked > unmasked) + m->hi_bits_flag];
    scale = see->Mean();
  } else {
    see = &m->dummy_see2;
    scale = 1;
  }
  // Collects the first `unmasked` symbols not masked. Without branches on the mask: which
  // symbols are masked follows no pattern, and the branch missed often enough to cost a quarter
  // of the time on short texts.
  State* ps[256];
  int n = 0;
  uint32_t hi = 0;
  const uint8_t esc = m->esc_count;
  State* p = m->StatesAt(c->stats);
  State* const end = p + num_stats;
  do {
    const uint32_t keep = m->char_mask[p->symbol] != esc;
    ps[n] = p;
    n += keep;
    hi += p->freq & (0u - keep);
  } while (++p != end && n < unmasked);
  if (n != unmasked) return false;
  scale += hi;
  if (!m->rc.Scale(scale)) return false;
  const uint32_t count = m->rc.Count();
  if (count >= scale) return false;
  if (count < hi) {
    State** pp = ps;
    p = *pp;
    uint32_t sum = p->freq;
    while (sum <= count) {
      p = *++pp;
      sum += p->freq;
    }
    m->high_count = sum;
    m->low_count = sum - p->freq;
    see->Update();
    Update2(m, c, p);
  } else {
    m->low_count = hi;
    m->high_count = scale;
    for (int i = 0; i < n; i++) m->char_mask[ps[i]->symbol] = esc;
    see->summ = static_cast<uint16_t>(see->summ + scale);
    m->num_masked = num_stats;
  }
  return true;
}

// A context with a symbol list the decoder can walk: its list lies inside the model memory.
bool ValidList(const PpmdModel* m, const Context* c) {
  return c->num_stats <= 256 && c->stats > m->mem.text &&
         c->stats + c->num_stats * 6u <= m->mem.size;
}

int DecodeSymbol(PpmdModel* m) {
  Context* c = m->min_context;
  if (!m->ValidContext(m->Offset(c))) return -1;
  __builtin_prefetch(m->mem.base + c->suffix);  // young models escape often
  if (c->num_stats != 1) {
    if (!ValidList(m, c) || !DecodeSymbol1(m, c)) return -1;
  } else {
    if (!m->rc.ScaleShift(kTotalBits)) return -1;
    DecodeBinSymbol(m, c);
  }
  m->rc.Take(m->low_count, m->high_count);
  while (!m->found_state) {
    m->rc.Normalize();
    do {
      m->order_fall++;
      if (!m->ValidContext(c->suffix)) return -1;
      c = m->Ctx(c->suffix);
    } while (c->num_stats == m->num_masked);
    if (c->num_stats < m->num_masked || !ValidList(m, c)) return -1;
    m->min_context = c;
    if (!DecodeSymbol2(m, c)) return -1;
    m->rc.Take(m->low_count, m->high_count);
  }
  m->min_context = c;
  const int symbol = m->found_state->symbol;
  const uint32_t successor = m->found_state->Successor();
  __builtin_prefetch(m->mem.base + successor);  // most often the next symbol's context
  if (!m->order_fall && successor > m->mem.text) {
    m->min_context = m->max_context = m->Ctx(successor);
  } else {
    UpdateModel(m);
    if (m->esc_count == 0) ClearMask(m);
  }
  m->rc.Normalize();
  return symbol;
}

}  // namespace

PpmdModel* PpmdCreate() {
  PpmdModel* m = static_cast<PpmdModel*>(std::calloc(1, sizeof(PpmdModel)));
  return m;
}

void PpmdDestroy(PpmdModel* model) {
  if (!model) return;
  PpmdMemoryStop(&model->mem);
  std::free(model);
}

int PpmdDecodeInit(PpmdModel* m, PpmdByteSource source, int* escape_char) {
  const int header = source.next(source.context);
  const bool reset = (header & 0x20) != 0;
  uint32_t megabytes = 0;
  if (reset)
    megabytes = source.next(source.context) + 1u;
  else
    URAR_RETURN_IF(!m->present, kExtractBadData);
  if (header & 0x40) *escape_char = source.next(source.context);
  m->rc.Start(source);
  if (!reset) return kExtractOk;
  int order = (header & 0x1F) + 1;
  if (order > 16) order = 16 + (order - 16) * 3;
  m->present = false;
  if (order == 1) PpmdMemoryStop(&m->mem);
  URAR_RETURN_IF(order == 1, kExtractBadData);
  URAR_RETURN_IF(!PpmdMemoryStart(&m->mem, megabytes << 20), kExtractNoMemory);
  StartModel(m, order);
  m->present = true;
  return kExtractOk;
}

int PpmdDecodeChar(PpmdModel* m) {
  if (!m->present) return -1;
  const int symbol = DecodeSymbol(m);
  // A model left halfway through a symbol is not one a later block may continue.
  if (symbol < 0) m->present = false;
  return symbol;
}
