// The walk over an archive's blocks that finds its file entries (RAR 1.5-3.x and 1.4 layouts).
#pragma once
#include <cstdint>

#include "urar/archive/archive_reader.h"

// Why a walk ended. The interface layer reports it through URARGetLastError once the walk is
// over, so a client can tell a whole archive from a cut or foreign one.
enum WalkEnd : int {
  kWalkOk = 0,
  kWalkNoMarker = 1,      // fewer than 7 bytes
  kWalkNoMainHeader = 2,  // the first block is not a main header
  kWalkEncryptedHeaders = 3,
  kWalkCleanEnd = 4,        // an end-of-archive block or block 0x78, or the buffer ends right
                            // after a complete block
  kWalkVolumeBoundary = 5,  // the entry left continues in the next volume
  kWalkContinuedEntry = 6,  // the first entry continues from a previous volume
  kWalkCut = 7,             // a block cut short, lying beyond the buffer, or not advancing
};

int WalkFirstEntry(ArchiveReader* r);
int WalkNextEntry(ArchiveReader* r);
int32_t WalkEntrySize(const ArchiveReader* r);
