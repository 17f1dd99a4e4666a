// The RAR reader context behind one handle: where the walk stands, the current entry's header
// fields, and the decoder states that live as long as the handle (windows, tables, models).
#pragma once
#include <cstdint>

#include "urar/archive/stream_io.h"

struct ArchiveInput;
struct Rar20State;
struct Rar29State;

enum class ArchiveKind : uint8_t { kNone, kNew, kOld };

// HEAD_FLAGS bits of a file header.
enum EntryFlag : uint16_t {
  kEntryFromPreviousVolume = 0x01,
  kEntryToNextVolume = 0x02,
  kEntryEncrypted = 0x04,
  kEntrySolid = 0x10,
  kEntryDictionaryBits = 0xE0,  // dictionary size; all three bits set mark a directory
  kEntryLargeSizes = 0x100,     // high halves of the sizes follow the fixed fields
  kBlockHasAddSize = 0x8000,    // every block: a 32-bit data size follows the base header
};
constexpr int kEntryDictionaryShift = 5;

// Flags of the main header (the archive's flags).
enum ArchiveFlag : uint16_t {
  kArchiveSolid = 0x08,  // looked at for entries of the RAR 1.4 layout only
  kArchiveEncryptedHeaders = 0x80,
};

// Header fields of the current file entry.
struct EntryHeader {
  uint16_t flags;  // HEAD_FLAGS (EntryFlag); old format: its flags | kBlockHasAddSize
  uint32_t pack_size;
  uint32_t unp_size;
  uint32_t high_pack_size;
  uint32_t high_unp_size;
  uint32_t file_crc;  // CRC-32, or the 16-bit sum of the old format
  uint8_t host_os;
  uint8_t unp_ver;
  uint8_t method;  // 0x30 = stored
  uint16_t name_size;
  uint32_t attr;

  uint64_t DeclaredSize() const { return (uint64_t{high_unp_size} << 32) | unp_size; }
  uint64_t PackedSize() const { return (uint64_t{high_pack_size} << 32) | pack_size; }
  bool Solid() const { return (flags & kEntrySolid) != 0; }
  bool ContinuesInNextVolume() const { return (flags & kEntryToNextVolume) != 0; }
};

// The RAR 2.0 window: a power of two in size, reused across entries (see EnsureRar20Window).
struct Rar20Window {
  uint8_t* data;
  uint32_t size;
  uint32_t mask;
};

constexpr uint32_t kMaxStoredName = 259;

struct ArchiveReader {
  StreamReader packed;
  StreamWriter writer;
  ArchiveInput* input;
  ArchiveKind kind;
  uint16_t archive_flags;

  // The block the walk stands on.
  uint64_t block_position;
  uint16_t block_header_size;
  uint64_t block_data_size;  // ADD_SIZE; for a file entry all 64 bits of its packed size
  uint16_t block_flags;

  EntryHeader entry;
  char name[kMaxStoredName + 1];  // the name's first bytes, zero-terminated
  uint32_t name_length;           // the whole name's length, which may exceed kMaxStoredName
  uint32_t checksum;              // running CRC-32 or 16-bit sum of the entry's output

  Rar20Window window20;
  Rar20State* rar20;           // created with the context
  Rar29State* rar29;           // created at the first RAR 2.9 entry
  bool interpret_all_filters;  // test seam: standard filter programs are interpreted, not run
                               // natively
};
