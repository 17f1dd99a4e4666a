// Unpacks a downloaded archive into a folder through the extraction library, refusing what it
// cannot write safely: the archive is surveyed whole (every name, every declared size, a clean
// end, room on the volume) before the first file is written. The library reads the archive file
// through a window of its own, never whole, and each entry streams into its file as it is
// decoded, so memory stays bounded by the decoder's window and model (a few tens of megabytes)
// whatever the sizes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "unpack/entry_names.h"
#include "unpack/urar_library.h"

// Room left free on the volume beyond the archive's declared total, for the file system's own
// use and cluster slack.
constexpr std::uint64_t kFreeSpaceMargin = 64ull << 20;

// Why an unpacking failed.
enum class UnpackProblem {
  kNone,
  kNotBound,           // no library bound
  kUnreadableArchive,  // the archive file cannot be opened or read
  kNotAnArchive,       // no RAR marker and main header (an error page, an empty body)
  kArchiveCut,         // the archive ends inside a block: a download cut short or damaged
  kVolumeSet,          // the archive is part of a volume set
  kEncryptedHeaders,   // the archive's headers are encrypted
  kNoEntries,          // a whole archive without a single file
  kUnsafeName,         // an entry name that would leave the output folder, that no file can
                       // have, or that names a file of the folder claimed before
  kNameTooLong,        // an entry name longer than the names the library hands out whole
  kEntryTooLarge,      // the declared sizes add up beyond 64 bits
  kNotEnoughSpace,     // the declared total does not fit the output folder's volume
  kEntryFailed,        // the library could not extract an entry (damaged, unsupported)
  kWriteFailed,        // an entry could not be written
  kNoMemory,           // the library ran out of memory for an entry's window or model
  kDiskFull,           // the volume filled up while an entry was written
  kCancelled,          // `cancelled` answered true
};

// What went wrong, for the program to show and log.
struct UnpackReport {
  UnpackProblem problem = UnpackProblem::kNone;
  std::wstring entry;              // the entry concerned, when there is one
  std::int32_t library_code = 0;   // the library's reason (URARGetLastError) for kEntryFailed
  std::uint64_t needed_bytes = 0;  // kNotEnoughSpace: the declared total plus the margin
  std::uint64_t free_bytes = 0;    // kNotEnoughSpace: what the volume has free
};

// Told of each entry once it is written: its name and size.
using EntryWritten = std::function<void(const std::wstring& entry, std::uint64_t size)>;
// Asked between entries and while an entry's bytes are written; true stops the unpacking.
using UnpackCancelled = std::function<bool()>;

// Unpacks every entry of the archive file into `output_folder`. False when the archive is not a
// whole RAR archive with at least one entry, when any entry is refused (name, size, free space)
// or fails to extract or write, or when cancelled; `report`, when given, says why. Each entry
// claims its name in `names` (the folder's files claimed so far: one archive's alone when null),
// and a name claimed before is refused; no file is ever overwritten. Nothing is written unless
// the survey accepts the whole archive; an entry that fails later is deleted (entries written
// before it stay).
bool UnpackArchive(const UrarLibrary& library, const std::wstring& archive_path,
                   const std::wstring& output_folder, UnpackReport* report = nullptr,
                   const EntryWritten& written = nullptr, FolderNames* names = nullptr,
                   const UnpackCancelled& cancelled = nullptr);
