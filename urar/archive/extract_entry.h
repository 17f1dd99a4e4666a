// Decoding of the current entry into its output stream, and the checksum test.
#pragma once
#include "urar/archive/archive_reader.h"

// Decodes the entry the walk stands on into `output` (attached through reader->writer) and
// compares the checksum. Returns an ExtractResult.
int ExtractEntry(ArchiveReader* reader, MemoryStream* output);
// The same with the bytes handed to `sink` as they are decoded (see StreamWriter::sink); the
// entry must produce its whole declared size, 64 bits of it.
int ExtractEntryTo(ArchiveReader* reader, int32_t (*sink)(void*, const void*, int32_t),
                   void* sink_context);

// Window size in bytes for the dictionary bits of a file header's flags.
uint32_t Rar20WindowSize(uint16_t entry_flags);
