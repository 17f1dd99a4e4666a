// The RAR 2.9 decoder's state, shared by its LZ/PPMd loop (rar29_decoder.cpp) and its filter
// handling (rar29_filters.cpp). One state per handle, kept across entries so solid entries
// continue from the window, tables, filters and model of the entry before.
#pragma once
#include <cstdint>

#include "urar/archive/archive_reader.h"
#include "urar/common/bit_input.h"
#include "urar/common/huffman.h"

struct FilterVm;
struct VmProgram;
struct PpmdModel;

constexpr uint32_t kRar29WindowSize = 0x400000;
constexpr uint32_t kRar29WindowMask = kRar29WindowSize - 1;
// Spare bytes past the window let a match copy in 8-byte steps run a little over its end.
constexpr uint32_t kRar29WindowSpare = 16;
constexpr uint32_t kRar29InputSize = 0x8000;
// Zeroed bytes after the valid input: bit reads look ahead of the cursor (the LZ loop by up to
// 8 bytes, plus the bytes of the symbol that crosses the border).
constexpr uint32_t kRar29InputSpare = 64;

// Main-table symbols: 0..255 are literals.
constexpr uint32_t kRar29SymbolEndOfBlock = 256;
constexpr uint32_t kRar29SymbolFilter = 257;       // a filter definition follows
constexpr uint32_t kRar29SymbolRepeatLast = 258;   // the last match again
constexpr uint32_t kRar29SymbolOldDistance = 259;  // 259..262: one of four old distances
constexpr uint32_t kRar29SymbolShortDist = 263;    // 263..270: length 2 at a short distance
constexpr uint32_t kRar29SymbolMatch = 271;        // 271..298: a new match, by length slot

constexpr uint32_t kRar29MainSymbols = 299;
constexpr uint32_t kRar29DistSymbols = 60;
constexpr uint32_t kRar29LowDistSymbols = 17;
constexpr uint32_t kRar29RepLengthSymbols = 28;
constexpr uint32_t kRar29TableSymbols =
    kRar29MainSymbols + kRar29DistSymbols + kRar29LowDistSymbols + kRar29RepLengthSymbols;

constexpr uint32_t kRar29MaxFilterNumber = 1024;    // a new filter numbered above this fails
constexpr uint32_t kRar29MaxPendingFilters = 8192;  // uses waiting for their block, at most

// A filter program as the stream defined it, addressed by its number.
struct Rar29Filter {
  VmProgram* program;
  uint8_t* kept_globals;  // fixed globals + the data the program kept after its last run
  uint32_t kept_size;     // 0, or more than the fixed globals
  uint32_t last_length;   // block length of its last use: the default for the next
  uint32_t exec_count;
};

// One use of a filter on a window block, waiting until the block has been decoded.
struct Rar29PendingFilter {
  uint32_t filter;
  uint32_t block_start;
  uint32_t block_length;
  uint32_t registers[7];
  uint8_t* globals;  // the fixed globals, then the definition's data block if any
  uint32_t global_size;
  bool next_window;  // the block starts beyond the write position: skip one write-out
};

struct Rar29State {
  uint8_t* window;
  uint32_t unp_ptr;        // where the next decoded byte goes
  uint32_t wr_ptr;         // first byte not yet written out
  uint32_t window_filled;  // window bytes that hold decoded data: [0, this), all once wrapped
  // A pending filter's block holds the write position while the window is full: decoding goes
  // on over the unwritten bytes, and the next write-out is tried kWindowReserve bytes later.
  bool write_stalled;
  uint32_t stalled_at;

  BitInput in;
  uint8_t* input;         // kRar29InputSize + kRar29InputSpare
  uint32_t input_top;     // valid bytes in `input`
  uint32_t input_border;  // refill once the cursor passes this
  bool input_ended;       // the packed data have no more bytes
  bool input_overrun;     // a PPMd read asked for bytes past the end of the packed data
  bool input_failed;      // the packed data ran out mid-decode (result 6)
  uint8_t* definition;    // kRar29InputSize + kRar29InputSpare: filter definitions are parsed here

  HuffmanTable main_table, dist_table, low_dist_table, rep_length_table;
  uint8_t old_lengths[kRar29TableSymbols];
  bool tables_read;
  uint32_t old_dist[4];
  uint32_t last_length;
  uint32_t prev_low_dist;
  uint32_t low_dist_repeat;

  bool ppmd_block;
  int ppmd_escape;
  PpmdModel* ppmd;

  FilterVm* vm;
  Rar29Filter* filters;
  uint32_t filter_count;
  uint32_t filter_capacity;
  uint32_t last_filter;
  Rar29PendingFilter* pending;
  uint32_t pending_count;
  uint32_t pending_capacity;
  bool interpret_all_filters;

  uint64_t declared_size;
  uint64_t written_size;  // counts every byte the stream produced, written or not
  StreamWriter* writer;
};

// Filter definitions and the write-out through them (rar29_filters.cpp).
// Parses a definition of `size` bytes (the first kRar29InputSize of them in state->definition)
// and queues its use. 0, kExtractBadData for a definition that cannot be used, or
// kExtractNoMemory.
int Rar29DefineFilter(Rar29State* state, uint32_t first_byte, uint32_t size);
// Writes the decoded window area out, through the pending filters whose blocks are complete.
// 0, or the writer's error, or kExtractNoMemory when a filter cannot be run.
int Rar29WriteOut(Rar29State* state);
// Forgets every defined filter and pending use.
void Rar29ResetFilters(Rar29State* state);
// Hands decoded bytes to the writer, holding the output to the declared size.
int Rar29Emit(Rar29State* state, const uint8_t* data, uint32_t size);
