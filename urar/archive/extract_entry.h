// Decoding of the current entry into its output stream, and the checksum test.
#pragma once
#include "urar/archive/archive_reader.h"

// Decodes the entry the walk stands on into `output` (attached through reader->writer) and
// compares the checksum. Returns an ExtractResult.
int ExtractEntry(ArchiveReader* reader, MemoryStream* output);

// Window size in bytes for the dictionary bits of a file header's flags.
uint32_t Rar20WindowSize(uint16_t entry_flags);
