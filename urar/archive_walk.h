// The walk over an archive's blocks that finds its file entries (RAR 1.5-3.x and 1.4 layouts).
#pragma once
#include <cstdint>

#include "urar/archive_reader.h"

// Why a walk ended (never reported past the interface, kept for tests and the driver).
enum WalkEnd : int {
  kWalkOk = 0,
  kWalkNoMarker = 1,        // fewer than 7 bytes
  kWalkNoMainHeader = 2,    // the first block is not a main header
  kWalkEncryptedHeaders = 3,
  kWalkNoMoreEntries = 4,   // end of buffer, unreadable or non-advancing block, block type 0x78
  kWalkVolumeBoundary = 5,  // the entry left continues in the next volume
  kWalkContinuedEntry = 6,  // the first entry continues from a previous volume
};

int WalkFirstEntry(ArchiveReader* r);
int WalkNextEntry(ArchiveReader* r);
int32_t WalkEntrySize(const ArchiveReader* r);
