// The RAR 2.0 table header: a mode bit (LZ or audio, with the channel count), a bit that keeps
// the previous code lengths as the base for the new ones, the 19 lengths of the level code in
// 4 bits each, then every code length coded with it as a delta, a repeat, or a run of zeros.
#include <cstring>

#include "urar/rar20/rar20_state.h"

Rar20TablesResult Rar20ReadTables(Rar20State* s) {
  Rar20Input* in = &s->input;
  BitInput& bits = in->bits;
  if (Rar20NeedInput(in)) return kRar20TablesOutOfData;

  uint32_t header = bits.Peek16();
  s->audio_block = (header & 0x8000) != 0;
  if (!(header & 0x4000)) memset(s->old_lengths, 0, sizeof(s->old_lengths));
  bits.Skip(2);

  uint32_t table_size;
  if (s->audio_block) {
    s->channels = ((header >> 12) & 3) + 1;
    if (s->cur_channel >= s->channels) s->cur_channel = 0;
    bits.Skip(2);
    table_size = kRar20AudioSymbols * s->channels;
  } else {
    table_size = kRar20MainSymbols + kRar20DistSymbols + kRar20RepeatSymbols;
  }

  uint8_t level_lengths[kRar20LevelSymbols];
  for (uint32_t i = 0; i < kRar20LevelSymbols; i++) level_lengths[i] = uint8_t(bits.Bits(4));
  HuffmanBuild(&s->level_table, level_lengths, kRar20LevelSymbols);

  uint8_t lengths[kRar20TableLengths];
  uint32_t i = 0;
  while (i < table_size) {
    if (Rar20NeedInput(in)) return kRar20TablesOutOfData;
    uint32_t symbol = HuffmanDecode(s->level_table, bits);
    if (symbol < 16) {
      lengths[i] = uint8_t((symbol + s->old_lengths[i]) & 15);
      i++;
    } else if (symbol == 16) {
      // Repeats the previous length; there is none before the first.
      if (i == 0) return kRar20TablesBad;
      uint32_t n = bits.Bits(2) + 3;
      for (; n > 0 && i < table_size; n--, i++) lengths[i] = lengths[i - 1];
    } else {
      uint32_t n = symbol == 17 ? bits.Bits(3) + 3 : bits.Bits(7) + 11;
      for (; n > 0 && i < table_size; n--, i++) lengths[i] = 0;
    }
  }
  // The last symbol may have been read out of the zeroed spare bytes.
  if (in->exhausted && bits.addr > in->top) return kRar20TablesOutOfData;

  if (s->audio_block) {
    for (uint32_t c = 0; c < s->channels; c++)
      HuffmanBuild(&s->audio_tables[c], lengths + c * kRar20AudioSymbols, kRar20AudioSymbols);
  } else {
    HuffmanBuild(&s->main_table, lengths, kRar20MainSymbols);
    HuffmanBuild(&s->dist_table, lengths + kRar20MainSymbols, kRar20DistSymbols);
    HuffmanBuild(&s->repeat_table, lengths + kRar20MainSymbols + kRar20DistSymbols,
                 kRar20RepeatSymbols);
  }
  memcpy(s->old_lengths, lengths, table_size);
  return kRar20TablesOk;
}
