// The PPMd model as RAR 2.9 blocks drive it: the block header, the model memory kept by size, and
// RAR's range decoder under the context model.
#include "urar/ppmd/ppmd_model.h"

#include <cassert>
#include <cstdlib>

#include "urar/common/extract_result.h"
#include "urar/ppmd/ppmd_context_model.h"
#include "urar/ppmd/ppmd_range_decoder.h"

struct PpmdModel {
  ppmd::ContextModel model;
  PpmdRangeDecoder rc;
  bool present;  // a model exists that a block may continue
};

PpmdModel* PpmdCreate() { return static_cast<PpmdModel*>(std::calloc(1, sizeof(PpmdModel))); }

void PpmdDestroy(PpmdModel* model) {
  if (!model) return;
  PpmdMemoryStop(&model->model.mem);
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
  if (order == 1) PpmdMemoryStop(&m->model.mem);
  URAR_RETURN_IF(order == 1, kExtractBadData);
  URAR_RETURN_IF(!PpmdMemoryStart(&m->model.mem, megabytes << 20), kExtractNoMemory);
  ppmd::StartModel(&m->model, order);
  m->present = true;
  return kExtractOk;
}

int PpmdDecodeChar(PpmdModel* m) {
  if (!m->present) return -1;
  const int symbol = ppmd::DecodeSymbol(&m->model, m->rc);
  // A model left halfway through a symbol is not one a later block may continue.
  if (symbol < 0) m->present = false;
  return symbol;
}

// The model's decode is inlined into this loop: a call per byte from the stream's loop, with its
// checks, cost 5% of the instructions on a 1 MB text.
int PpmdDecodeRun(PpmdModel* m, uint8_t* window, uint32_t mask, uint32_t* pos, uint32_t count,
                  int stop, const bool* overrun) {
  assert(count > 0);
  if (!m->present) return -1;
  uint32_t at = *pos;
  int ended = kPpmdRunWritten;
  do {
    const int symbol = ppmd::DecodeSymbol(&m->model, m->rc);
    if (symbol < 0) m->present = false;
    if (symbol < 0 || symbol == stop) {
      ended = symbol;
      break;
    }
    if (*overrun) break;
    window[at] = static_cast<uint8_t>(symbol);
    at = (at + 1) & mask;
  } while (--count != 0);
  *pos = at;
  return ended;
}
