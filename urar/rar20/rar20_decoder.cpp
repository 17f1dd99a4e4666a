#include "urar/rar20/rar20_decoder.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "urar/common/extract_result.h"
#include "urar/rar29/lz_tables.h"
#include "urar/rar20/rar20_state.h"
#include "urar/common/register_bits.h"

namespace {

// Long distances: a base from the symbol plus that many extra bits.
constexpr uint32_t kDistBase[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
constexpr uint8_t kDistBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                   7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                   15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};

constexpr uint32_t kSymbolRepeatLast = 256;  // the last match again; 257..260: an old distance
constexpr uint32_t kSymbolShortDist = 261;   // 261..268: length 2 at a short distance
constexpr uint32_t kSymbolNewTables = 269;
constexpr uint32_t kSymbolMatch = 270;  // 270..297: a new match
constexpr uint32_t kAudioNewTables = 256;

// Pending output leaves the window once more than this has gathered. A longest match adds at
// most 260 bytes, so pending output stays below 8 KB, far below the smallest window.
constexpr uint32_t kWriteThreshold = 7932;

void ResetState(Rar20State* s) {
  memset(static_cast<void*>(s), 0, sizeof(*s));
  s->channels = 1;
  s->started_fresh = true;
}

struct Decoder {
  Rar20State* s;
  uint8_t* window;
  uint32_t mask;
  StreamWriter* writer;

  // Hands the window between the write and decode positions to the writer.
  int WritePending() {
    uint32_t from = s->wr_ptr, to = s->unp_ptr;
    s->wr_ptr = to;
    if (to < from) {
      if (int error = WriterPut(writer, window + from, mask + 1 - from)) return error;
      from = 0;
    }
    return WriterPut(writer, window + from, to - from);
  }

  int Run(uint64_t size);
};

// The hot loop keeps the reader, the positions and the match history in locals: every window
// store may alias the state, so fields read through `s` would be reloaded after each byte.
// The locals go back to the state around each out-of-line step (refill, write, tables).
int Decoder::Run(uint64_t size) {
  Rar20Input* in = &s->input;
  RegisterBits bits;
  bits.From(in->bits);
  const uint8_t* base = in->bits.buffer;
  uint32_t refill_at = in->refill_at;
  uint32_t ptr = s->unp_ptr, wr = s->wr_ptr;
  uint32_t old_dist[4] = {s->old_dist[0], s->old_dist[1], s->old_dist[2], s->old_dist[3]};
  uint32_t old_dist_ptr = s->old_dist_ptr, last_dist = s->last_dist, last_length = s->last_length;
  bool audio = s->audio_block;
  const uint32_t window_size = mask + 1;
  uint64_t produced = 0;
  int result = kExtractOk;

  auto save = [&] {
    bits.To(&in->bits);
    s->unp_ptr = ptr;
  };
  auto load = [&] {
    bits.From(in->bits);
    base = in->bits.buffer;
    refill_at = in->refill_at;
    ptr = s->unp_ptr;
    wr = s->wr_ptr;
    audio = s->audio_block;
  };
  // Reads a table header met inside the data; false ends the loop.
  auto new_tables = [&] {
    save();
    Rar20TablesResult r = Rar20ReadTables(s);
    load();
    if (r == kRar20TablesOutOfData) result = kExtractTruncated;
    return r == kRar20TablesOk;
  };

  while (produced < size) {
    if ((bits.Position(base) >> 3) >= refill_at || ((ptr - wr) & mask) > kWriteThreshold) {
      save();
      result = Rar20NeedInput(in);
      if (result == kExtractOk && ((ptr - wr) & mask) > kWriteThreshold) result = WritePending();
      load();
      if (result != kExtractOk) break;
    }
    bits.Refill();

    if (audio) {
      uint32_t symbol = HuffmanDecode(s->audio_tables[s->cur_channel], bits);
      if (symbol == kAudioNewTables) {
        if (!new_tables()) break;
        continue;
      }
      window[ptr] = Rar20DecodeAudio(&s->audio[s->cur_channel], &s->channel_delta, symbol);
      ptr = (ptr + 1) & mask;
      if (++s->cur_channel == s->channels) s->cur_channel = 0;
      produced++;
      continue;
    }

    uint32_t symbol = HuffmanDecode(s->main_table, bits);
    if (symbol < 256) {
      window[ptr] = uint8_t(symbol);
      ptr = (ptr + 1) & mask;
      produced++;
      continue;
    }

    uint32_t length, distance;
    if (symbol >= kSymbolMatch) {
      uint32_t slot = symbol - kSymbolMatch;
      length = kLengthBase[slot] + 3 + bits.Bits(kLengthBits[slot]);
      uint32_t dist_slot = HuffmanDecode(s->dist_table, bits);
      distance = kDistBase[dist_slot] + 1 + bits.Bits(kDistBits[dist_slot]);
      if (distance >= 0x2000) {
        length++;
        if (distance >= 0x40000) length++;
      }
    } else if (symbol == kSymbolNewTables) {
      if (!new_tables()) break;
      continue;
    } else if (symbol == kSymbolRepeatLast) {
      length = last_length;
      distance = last_dist;
    } else if (symbol < kSymbolShortDist) {
      distance = old_dist[(old_dist_ptr - (symbol - kSymbolRepeatLast)) & 3];
      uint32_t slot = HuffmanDecode(s->repeat_table, bits);
      length = kLengthBase[slot] + 2 + bits.Bits(kLengthBits[slot]);
      if (distance >= 0x101) {
        length++;
        if (distance >= 0x2000) {
          length++;
          if (distance >= 0x40000) length++;
        }
      }
    } else {
      uint32_t slot = symbol - kSymbolShortDist;
      distance = kShortDistBase[slot] + 1 + bits.Bits(kShortDistBits[slot]);
      length = 2;
    }

    old_dist[old_dist_ptr++ & 3] = distance;
    last_dist = distance;
    last_length = length;
    produced += length;
    uint32_t src = (ptr - distance) & mask;
    if (src + length <= window_size && ptr + length <= window_size) {
      // Neither side wraps. Eight bytes at a time when the source lies at least that far
      // back (or ahead), so no piece reads what it writes; byte by byte otherwise, which repeats
      // the pattern of a close overlap. Nothing is written past the match: the bytes ahead
      // are history that later matches may still reach.
      uint8_t* d = window + ptr;
      const uint8_t* p = window + src;
      uint32_t i = 0;
      if (distance >= 8)
        for (; i + 8 <= length; i += 8) {
          uint64_t piece;
          memcpy(&piece, p + i, 8);
          memcpy(d + i, &piece, 8);
        }
      for (; i < length; i++) d[i] = p[i];
    } else {
      for (uint32_t i = 0; i < length; i++) window[(ptr + i) & mask] = window[(src + i) & mask];
    }
    ptr = (ptr + length) & mask;
  }

  save();
  memcpy(s->old_dist, old_dist, sizeof(old_dist));
  s->old_dist_ptr = old_dist_ptr;
  s->last_dist = last_dist;
  s->last_length = last_length;
  return result;
}

}  // namespace

Rar20State* Rar20Create() { return static_cast<Rar20State*>(calloc(1, sizeof(Rar20State))); }

void Rar20Destroy(Rar20State* state) { free(state); }

int Rar20Decode(ArchiveReader* reader, bool solid) {
  Rar20State* s = reader->rar20;
  assert(s != nullptr && reader->window20.data != nullptr);
  // Continuing needs a history that some earlier entry started.
  solid = solid && s->started_fresh;
  if (!solid) ResetState(s);

  Decoder d{s, reader->window20.data, reader->window20.mask, &reader->writer};
  // The window may have been replaced since the last entry; positions stay inside it.
  s->unp_ptr &= d.mask;
  s->wr_ptr = s->unp_ptr;

  Rar20Input* in = &s->input;
  uint64_t size = reader->entry.DeclaredSize();
  // An empty entry without packed data has nothing to decode, not even tables.
  if (size == 0 && reader->packed.left == 0 && !reader->packed.continues) return kExtractOk;
  if (int error = Rar20StartInput(in, &reader->packed)) return error;
  if (!solid) {
    Rar20TablesResult r = Rar20ReadTables(s);
    URAR_RETURN_IF(r == kRar20TablesOutOfData, kExtractTruncated);
    if (r == kRar20TablesBad) return kExtractOk;  // nothing decoded: the checksum decides
  }

  int result = d.Run(size);
  if (result == kExtractOk) {
    // A solid successor's tables may follow the entry's last symbol.
    if (in->top >= in->bits.addr + 5) {
      uint32_t symbol = s->audio_block ? HuffmanDecode(s->audio_tables[s->cur_channel], in->bits)
                                       : HuffmanDecode(s->main_table, in->bits);
      if (symbol == (s->audio_block ? kAudioNewTables : kSymbolNewTables)) Rar20ReadTables(s);
    }
  }
  int written = d.WritePending();
  return result != kExtractOk ? result : written;
}
