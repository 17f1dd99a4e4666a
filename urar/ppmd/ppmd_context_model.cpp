#include "urar/ppmd/ppmd_context_model.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ppmd {

namespace {

// The binary contexts' starting probabilities by frequency row and escape column, made at
// compile time: a thousand divisions at every model start were 3% of the instructions of
// decoding a 3 kB text.
struct InitBinSumm {
  uint16_t row[128][8];
};
constexpr InitBinSumm MakeInitBinSumm() {
  InitBinSumm t{};
  for (int i = 0; i < 128; i++)
    for (int k = 0; k < 8; k++)
      t.row[i][k] = static_cast<uint16_t>(kBinScale - kInitBinEscape[k] / (i + 2));
  return t;
}
constexpr InitBinSumm kInitBinSumm = MakeInitBinSumm();

void RestartModel(ContextModel* m) {
  PpmdMemoryReset(&m->mem);
  m->init_rl = -(m->max_order < 12 ? m->max_order : 12) - 1;
  Context* root = m->Ctx(PpmdAllocContext(&m->mem));
  m->root = root;
  std::memset(m->root_freq, 1, sizeof(m->root_freq));
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
    for (int j = 0; j < 64; j += 8) std::memcpy(&m->bin_summ[i][j], kInitBinSumm.row[i], 16);
  for (int i = 0; i < 25; i++)
    for (int k = 0; k < 16; k++) m->see2[i][k].Init(5 * i + 10);
}

}  // namespace

void StartModel(ContextModel* m, int max_order) {
  m->max_order = max_order;
  RestartModel(m);
  m->dummy_see2.shift = kPeriodBits;  // never adapts
}

namespace {

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
        static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(b + 1), key)))
            << 16 |
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

}  // namespace

namespace {

// The root's frequencies by symbol again, after its `count` states at `states` changed together.
void RefreshRootFreq(ContextModel* m, const State* states, uint32_t count) {
  std::memset(m->root_freq, 0, sizeof(m->root_freq));
  for (uint32_t i = 0; i < count; i++) m->root_freq[states[i].symbol] = states[i].freq;
}

}  // namespace

// Keeps the list sorted and drops symbols whose frequency reached zero.
void Rescale(ContextModel* m, Context* c) {
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
      if (c == m->root) RefreshRootFreq(m, c->One(), 1);
      return;
    }
  }
  esc_freq -= esc_freq >> 1;
  c->summ_freq = static_cast<uint16_t>(summ + esc_freq);
  uint32_t n0 = (old_ns + 1) >> 1, n1 = (c->num_stats + 1) >> 1;
  if (n0 != n1) c->stats = PpmdShrinkUnits(&m->mem, c->stats, n0, n1);
  m->found_state = m->StatesAt(c->stats);
  if (c == m->root) RefreshRootFreq(m, m->found_state, c->num_stats);
}

namespace {

// Creates the chain of contexts that follow the found symbol in the contexts from the current one
// down to the first that already has a successor for it. Null when memory runs out.
Context* CreateSuccessors(ContextModel* m, bool skip, State* p1) {
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
  // The chain is written with the memory's base and free gap in locals: each store into a new
  // context may alias anything, and reloading them cost 7% of this function.
  PpmdMemory& mem = m->mem;
  uint8_t* const base = mem.base;
  uint32_t hi_unit = mem.hi_unit;
  uint32_t suffix = m->Offset(pc);
  do {
    uint32_t child_offset;
    if (hi_unit != mem.lo_unit) {
      child_offset = hi_unit -= kPpmdUnitSize;
    } else {
      mem.hi_unit = hi_unit;
      child_offset = PpmdAllocContext(&mem);
      if (!child_offset) return nullptr;
    }
    Context* child = reinterpret_cast<Context*>(base + child_offset);
    child->num_stats = 1;
    *child->One() = up;
    child->suffix = suffix;
    ps[--n]->SetSuccessor(child_offset);
    suffix = child_offset;
  } while (n != 0);
  mem.hi_unit = hi_unit;
  return reinterpret_cast<Context*>(base + suffix);
}

// After a symbol was decoded: update its frequency in the suffix context, add it to every
// context between the longest one and the one it was found in, and move to the next context.
// Returns false when memory ran out and the model restarted.
bool UpdateModelOrRestart(ContextModel* m) {
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
        NoteFreq(m, pc, p);
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
      pc->summ_freq = static_cast<uint16_t>(pc->summ_freq + (2 * ns1 < ns) +
                                            2 * ((4 * ns1 <= ns) & (pc->summ_freq <= 8 * ns1)));
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

}  // namespace

void UpdateModel(ContextModel* m) {
  if (!UpdateModelOrRestart(m)) RestartModel(m);
}

}  // namespace ppmd
