// Placeholder until the RAR 2.0 decoder lands: every RAR 2.0 entry is refused with a defined code.
#include "urar/rar20_decoder.h"

#include <cstdlib>

#include "urar/extract_result.h"

struct Rar20State {
  int unused;
};

Rar20State* Rar20Create() { return static_cast<Rar20State*>(calloc(1, sizeof(Rar20State))); }
void Rar20Destroy(Rar20State* state) { free(state); }
int Rar20Decode(ArchiveReader*, bool) { return kExtractUnsupported; }
