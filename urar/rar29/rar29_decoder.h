// RAR 2.9 decoding (UNP_VER 29 and up): LZ77 with a 4 MB window, PPMd blocks and the filter
// machine. The state is created at the first RAR 2.9 entry of a handle and kept until close.
#pragma once
#include "urar/archive/archive_reader.h"

void Rar29Destroy(Rar29State* state);  // accepts null

// Decodes the current entry; `solid` is the entry's solid flag. Returns an ExtractResult.
int Rar29Decode(ArchiveReader* reader, bool solid);
