#include "urar/archive/archive_walk.h"

#include <cstring>

#include "urar/archive/archive_input.h"

namespace {

constexpr uint8_t kMarkerRar[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr uint8_t kMarkerRap[7] = {0x52, 0x61, 0x70, 0x21, 0x1A, 0x07, 0x00};
constexpr uint8_t kMarkerOld[4] = {0x52, 0x45, 0x7E, 0x5E};

constexpr uint8_t kMainHeader = 0x73;
constexpr uint8_t kFileHeader = 0x74;
constexpr uint8_t kWalkStopper = 0x78;
constexpr uint8_t kEndOfArchive = 0x7B;

inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The bytes at [position, position + size) of the archive, or null when they are not all there;
// valid until the next read.
const uint8_t* At(const ArchiveReader* r, uint64_t position, uint32_t size) {
  return InputAt(r->input, position, size);
}

// Keeps the first kMaxStoredName bytes of the name field at `position` and measures the whole
// name: it ends at its first zero byte (the Unicode part follows it) or with its field, or with
// the archive. False when not even the kept part is in the archive.
bool StoreName(ArchiveReader* r, uint64_t position, uint32_t size) {
  uint32_t kept = size < kMaxStoredName ? size : kMaxStoredName;
  if (position > r->input->length) return false;
  uint64_t in_archive = r->input->length - position;
  uint32_t field = in_archive < size ? uint32_t(in_archive) : size;
  if (field < kept) return false;
  const uint8_t* name = At(r, position, field);
  if (name == nullptr) return false;
  memcpy(r->name, name, kept);
  r->name[kept] = '\0';
  const void* zero = memchr(name, 0, field);
  r->name_length = zero ? uint32_t(static_cast<const uint8_t*>(zero) - name) : field;
  return true;
}

enum class Block { kFile, kMain, kOther, kStop, kUnreadable };

Block ReadNewBlock(ArchiveReader* r) {
  // The base header is 7 bytes; only blocks that carry ADD_SIZE (and file headers) need more.
  const uint8_t* base = At(r, r->block_position, 7);
  if (base == nullptr) return Block::kUnreadable;
  uint8_t type = base[2];
  r->block_flags = Get16(base + 3);
  uint16_t header_size = Get16(base + 5);
  r->block_header_size = header_size < 7 ? 7 : header_size;
  r->block_data_size = 0;
  if (type == kWalkStopper || type == kEndOfArchive) return Block::kStop;
  if ((r->block_flags & kBlockHasAddSize) || type == kFileHeader) {
    base = At(r, r->block_position, 11);
    if (base == nullptr) return Block::kUnreadable;
    if (r->block_flags & kBlockHasAddSize) r->block_data_size = Get32(base + 7);
  }
  if (type == kMainHeader) return Block::kMain;
  if (type != kFileHeader) return Block::kOther;

  // A file header cut off inside its fixed fields has nothing sound to offer: end there.
  const uint8_t* h = At(r, r->block_position, 32);
  if (h == nullptr) return Block::kUnreadable;
  EntryHeader& e = r->entry;
  e.flags = r->block_flags;
  e.pack_size = Get32(h + 7);
  e.unp_size = Get32(h + 11);
  e.host_os = h[15];
  e.file_crc = Get32(h + 16);
  e.unp_ver = h[24];
  e.method = h[25];
  e.name_size = Get16(h + 26);
  e.attr = Get32(h + 28);
  uint32_t name_offset = 32;
  e.high_pack_size = e.high_unp_size = 0;
  if (e.flags & kEntryLargeSizes) {
    const uint8_t* high = At(r, r->block_position + 32, 8);
    if (high == nullptr) return Block::kUnreadable;
    e.high_pack_size = Get32(high);
    e.high_unp_size = Get32(high + 4);
    name_offset = 40;
    if (r->block_flags & kBlockHasAddSize) r->block_data_size = e.PackedSize();
  }
  if (!StoreName(r, r->block_position + name_offset, e.name_size)) return Block::kUnreadable;
  return Block::kFile;
}

Block ReadOldFileHeader(ArchiveReader* r) {
  const uint8_t* h = At(r, r->block_position, 21);
  if (h == nullptr) return Block::kUnreadable;
  EntryHeader& e = r->entry;
  e.pack_size = Get32(h);
  e.unp_size = Get32(h + 4);
  e.file_crc = Get16(h + 8);
  r->block_header_size = Get16(h + 10);
  r->block_data_size = e.pack_size;
  e.attr = h[16];
  e.flags = uint16_t(h[17] | kBlockHasAddSize);
  r->block_flags = e.flags;
  e.unp_ver = h[18] == 2 ? 13 : 10;
  e.name_size = h[19];
  e.method = uint8_t(0x30 + h[20]);
  e.high_pack_size = e.high_unp_size = 0;
  e.host_os = 0;
  if (!StoreName(r, r->block_position + 21, e.name_size)) return Block::kUnreadable;
  return Block::kFile;
}

Block ReadBlock(ArchiveReader* r) {
  return r->kind == ArchiveKind::kOld ? ReadOldFileHeader(r) : ReadNewBlock(r);
}

// Moves past the current block to the next file header. Positions are computed without wrap and
// every block must lie beyond the one before it, so a hostile size cannot make the walk revisit
// blocks without end. The walk ends cleanly only at an end block or exactly at the end of the
// buffer; anything else is an archive cut short or damaged.
int MoveToNextFileHeader(ArchiveReader* r) {
  for (;;) {
    // No wrap: the position is below 2^63 (it lies in the buffer) and the sizes below 2^64.
    if (r->block_data_size > UINT64_MAX - r->block_position - r->block_header_size) return kWalkCut;
    uint64_t next = r->block_position + r->block_header_size + r->block_data_size;
    if (next <= r->block_position || next > r->input->length) return kWalkCut;
    if (next == r->input->length) return kWalkCleanEnd;
    r->block_position = next;
    switch (ReadBlock(r)) {
      case Block::kFile: return kWalkOk;
      case Block::kMain:
      case Block::kOther: continue;
      case Block::kStop: return kWalkCleanEnd;
      case Block::kUnreadable: return kWalkCut;
    }
  }
}

bool IsDirectory(const ArchiveReader* r) {
  const EntryHeader& e = r->entry;
  if ((e.flags & kEntryDictionaryBits) == kEntryDictionaryBits) return true;
  constexpr uint32_t kDosDirectory = 0x10;
  return r->kind == ArchiveKind::kNew && e.unp_ver < 20 && (e.attr & kDosDirectory);
}

// Passes over directories; a directory that continues in the next volume ends the walk.
int SkipDirectories(ArchiveReader* r) {
  while (IsDirectory(r)) {
    if (r->entry.ContinuesInNextVolume()) return kWalkVolumeBoundary;
    if (int end = MoveToNextFileHeader(r)) return end;
  }
  return kWalkOk;
}

}  // namespace

int WalkFirstEntry(ArchiveReader* r) {
  const uint8_t* marker = At(r, 0, 7);
  if (marker == nullptr) return kWalkNoMarker;
  if (!memcmp(marker, kMarkerRar, 7) || !memcmp(marker, kMarkerRap, 7)) {
    r->kind = ArchiveKind::kNew;
    r->block_position = 7;
  } else if (!memcmp(marker, kMarkerOld, 4)) {
    r->kind = ArchiveKind::kOld;
    r->block_position = 0;
  } else {
    // No marker: still read as new-format blocks from the start.
    r->kind = ArchiveKind::kNone;
    r->block_position = 0;
  }
  if (r->kind == ArchiveKind::kOld) {
    r->archive_flags = 0;
    r->block_header_size = Get16(marker + 4);
    r->block_data_size = 0;
  } else {
    if (ReadNewBlock(r) != Block::kMain) return kWalkNoMainHeader;
    r->archive_flags = r->block_flags;
    if (r->archive_flags & kArchiveEncryptedHeaders) return kWalkEncryptedHeaders;
  }
  if (int end = MoveToNextFileHeader(r)) return end;
  if (int end = SkipDirectories(r)) return end;
  if (r->entry.flags & kEntryFromPreviousVolume) return kWalkContinuedEntry;
  return kWalkOk;
}

int WalkNextEntry(ArchiveReader* r) {
  if (r->entry.ContinuesInNextVolume()) return kWalkVolumeBoundary;
  if (int end = MoveToNextFileHeader(r)) return end;
  return SkipDirectories(r);
}

int32_t WalkEntrySize(const ArchiveReader* r) {
  return r->entry.high_unp_size != 0 ? -1 : int32_t(r->entry.unp_size);
}
