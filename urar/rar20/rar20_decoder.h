// RAR 2.0 decoding (UNP_VER 16-28): LZ77 with Huffman coding and the multimedia (audio) mode,
// into the reader's RAR 2.0 window, out through the reader's StreamWriter.
#pragma once
#include "urar/archive/archive_reader.h"

Rar20State* Rar20Create();             // null when memory is short
void Rar20Destroy(Rar20State* state);  // accepts null

// Decodes the current entry (packed data via reader->packed, declared size in reader->entry).
// `solid` is the entry's solid flag; the decoder continues from the previous RAR 2.0 entry only
// when an earlier entry of this handle started from a fresh state. Returns an ExtractResult.
int Rar20Decode(ArchiveReader* reader, bool solid);
