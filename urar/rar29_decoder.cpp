// Placeholder until the RAR 2.9 decoder lands: every RAR 2.9 entry is refused with a defined code.
#include "urar/rar29_decoder.h"

#include "urar/extract_result.h"

void Rar29Destroy(Rar29State*) {}
int Rar29Decode(ArchiveReader*, bool) { return kExtractUnsupported; }
