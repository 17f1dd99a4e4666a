// The RAR 2.0 decoder's state, kept by the reader across the entries of one handle, and the
// pieces its files share: the packed-data input buffer and the table reader.
#pragma once
#include <cstdint>

#include "urar/common/bit_input.h"
#include "urar/common/huffman.h"
#include "urar/rar20/rar20_audio.h"
#include "urar/archive/stream_io.h"

constexpr uint32_t kRar20MainSymbols = 298;  // literals, repeats, table switch, lengths
constexpr uint32_t kRar20DistSymbols = 48;
constexpr uint32_t kRar20RepeatSymbols = 28;  // lengths of matches at an old distance
constexpr uint32_t kRar20AudioSymbols = 257;  // byte deltas and a table switch
constexpr uint32_t kRar20LevelSymbols = 19;   // code lengths of the tables themselves
constexpr uint32_t kRar20TableLengths = kRar20AudioSymbols * 4;

constexpr uint32_t kRar20InputSize = 2048;
// Zeroed bytes after the valid input: a symbol with its extra bits, or the code lengths of the
// level table, may be read this far past the last cursor check.
constexpr uint32_t kRar20InputSpare = 32;
// While more packed data may follow, the buffer is refilled once fewer than this many bytes
// are left unread, so the decode loop and the table reader never run past valid data.
constexpr uint32_t kRar20RefillMargin = 30;

struct Rar20Input {
  uint8_t bytes[kRar20InputSize + kRar20InputSpare];
  uint32_t top;        // valid bytes in `bytes`
  uint32_t refill_at;  // the cursor position at which Rar20Refill must run
  bool exhausted;      // the packed data have ended: `top` is all there is
  BitInput bits;
  StreamReader* packed;
};

// Starts reading the packed data from `packed`. kExtractOk or kExtractTruncated.
int Rar20StartInput(Rar20Input* in, StreamReader* packed);
// Tops the buffer up; kExtractTruncated when a read fails or the cursor is past the last byte
// of the packed data.
int Rar20Refill(Rar20Input* in);

inline int Rar20NeedInput(Rar20Input* in) {
  return in->bits.addr >= in->refill_at ? Rar20Refill(in) : 0;
}

struct Rar20State {
  Rar20Input input;

  // Window positions: the next byte to decode and the first byte not yet written out.
  uint32_t unp_ptr;
  uint32_t wr_ptr;

  uint32_t old_dist[4];
  uint32_t old_dist_ptr;
  uint32_t last_dist;
  uint32_t last_length;

  bool audio_block;
  uint32_t channels;
  uint32_t cur_channel;
  int channel_delta;
  Rar20AudioChannel audio[4];

  uint8_t old_lengths[kRar20TableLengths];  // the tables' code lengths are coded as deltas
  HuffmanTable main_table;
  HuffmanTable dist_table;
  HuffmanTable repeat_table;
  HuffmanTable audio_tables[4];
  HuffmanTable level_table;

  bool started_fresh;  // some RAR 2.0 entry of this handle began from a reset state
};

enum Rar20TablesResult { kRar20TablesOk, kRar20TablesOutOfData, kRar20TablesBad };

// Reads a table header and the tables it announces, switching between LZ and audio mode.
Rar20TablesResult Rar20ReadTables(Rar20State* s);
