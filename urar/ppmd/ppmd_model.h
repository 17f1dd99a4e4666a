// PPMd variant H with the range decoder and block header of RAR 2.9 archives. The model lives in
// one memory block that is kept across blocks and entries while later blocks ask for the same size.
#pragma once
#include <cstdint>

// Bytes for the range decoder come from the RAR 2.9 decoder's input buffer (it refills it).
struct PpmdByteSource {
  uint8_t (*next)(void* context);  // returns 0 once the input is exhausted; the caller detects that
  void* context;
};

struct PpmdModel;

PpmdModel* PpmdCreate();             // the model record only; memory comes with the first new model
void PpmdDestroy(PpmdModel* model);  // accepts null; frees the model memory

// Reads a PPMd block header through `source` (the header byte; with 0x20 the memory byte m and a
// new model of (m + 1) MB, allocated as one block of (size / 12 + 2) * 12 bytes and kept while
// later blocks ask for the same size; order (header & 0x1F) + 1, above 16 -> 16 + 3 * (order - 16),
// order 1 fails; with 0x40 a new escape character stored to *escape_char), then starts the range
// decoder. Returns 0, kExtractNoMemory when the model memory cannot be had (the old memory is
// released, the model marked absent, the handle stays usable), or kExtractBadData for a bad header
// or a block that continues a model that does not exist.
int PpmdDecodeInit(PpmdModel* model, PpmdByteSource source, int* escape_char);

// Decodes one byte (0..255) or returns -1 when the model data are damaged.
int PpmdDecodeChar(PpmdModel* model);

// What PpmdDecodeRun returns when it wrote every byte asked for or the input overran.
constexpr int kPpmdRunWritten = 256;
// Decodes bytes into `window` from *pos on (wrapping by `mask`, *pos left after the last byte)
// until `count` (at least 1) bytes are written, or *overrun (the byte source's flag for reads
// past its input) is set, or a byte equals `stop`, which is not written. Returns `stop` or -1
// (damaged data) when that ended the run, else kPpmdRunWritten.
int PpmdDecodeRun(PpmdModel* model, uint8_t* window, uint32_t mask, uint32_t* pos, uint32_t count,
                  int stop, const bool* overrun);
