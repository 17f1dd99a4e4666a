// The RAR 2.0 decoder's packed-data buffer: refilled from the entry's packed data while they
// last, with zeroed spare bytes after the valid ones so that decoding reads no bounds.
#include <cstring>

#include "urar/common/extract_result.h"
#include "urar/rar20/rar20_state.h"

namespace {

void SetRefillPoint(Rar20Input* in) {
  if (in->exhausted)
    in->refill_at = in->top;  // from here on every read is past the data
  else
    in->refill_at = in->top > kRar20RefillMargin ? in->top - kRar20RefillMargin + 1 : 0;
}

}  // namespace

int Rar20StartInput(Rar20Input* in, StreamReader* packed) {
  in->packed = packed;
  in->top = 0;
  in->exhausted = false;
  in->bits.Reset(in->bytes);
  return Rar20Refill(in);
}

int Rar20Refill(Rar20Input* in) {
  BitInput& bits = in->bits;
  if (!in->exhausted) {
    uint32_t unread = bits.addr < in->top ? in->top - bits.addr : 0;
    memmove(in->bytes, in->bytes + bits.addr, unread);
    bits.addr -= in->top - unread;  // 0, or past the data by as much as before
    in->top = unread;
    int32_t got = StreamRead(in->packed, in->bytes + in->top, kRar20InputSize - in->top);
    URAR_RETURN_IF(got < 0, kExtractTruncated);
    in->top += uint32_t(got);
    in->exhausted = got == 0;
    memset(in->bytes + in->top, 0, kRar20InputSpare);
    SetRefillPoint(in);
  }
  URAR_RETURN_IF(in->exhausted && bits.addr >= in->top, kExtractTruncated);
  return kExtractOk;
}
