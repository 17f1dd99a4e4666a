#include "unpack/unpack_archive.h"

#include <windows.h>

#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <vector>

#include "unpack/entry_names.h"
#include "unpack/folder_files.h"
#include "win/text.h"

namespace {

// Names the library hands out whole: 259 bytes and the terminating zero.
constexpr std::int32_t kNameCapacity = 260;

// One library handle over an archive buffer; finalised before the buffer may go.
class UrarSession {
 public:
  UrarSession(const UrarLibrary& library, const std::vector<std::uint8_t>& archive,
              std::uint32_t sizeLimit)
      : library_(library) {
    // An empty buffer still goes to the library (which finds no archive), never as null.
    static const std::uint8_t kNoBytes = 0;
    handle_ = library.URARInitialize(sizeLimit, archive.empty() ? &kNoBytes : archive.data(),
                                     static_cast<std::int32_t>(archive.size()));
  }
  UrarSession(const UrarSession&) = delete;
  UrarSession& operator=(const UrarSession&) = delete;
  ~UrarSession() {
    if (handle_) library_.URARFinalize(handle_);
  }
  URARHandle* get() const { return handle_; }

 private:
  const UrarLibrary& library_;
  URARHandle* handle_ = nullptr;
};

bool Fail(UnpackReport& report, UnpackProblem problem, std::wstring entry = std::wstring()) {
  report.problem = problem;
  report.entry = std::move(entry);
  return false;
}

// The RAR markers the library reads: RAR 1.5-3.x ("Rar!", and "Rap!" of early versions) and 1.4.
bool StartsWithRarMarker(const std::vector<std::uint8_t>& bytes) {
  static const std::uint8_t kNew[] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
  static const std::uint8_t kEarly[] = {0x52, 0x61, 0x70, 0x21, 0x1A, 0x07, 0x00};
  static const std::uint8_t kOld[] = {0x52, 0x45, 0x7E, 0x5E};
  auto starts = [&](const std::uint8_t* marker, std::size_t size) {
    return bytes.size() >= size && std::memcmp(bytes.data(), marker, size) == 0;
  };
  return starts(kNew, sizeof kNew) || starts(kEarly, sizeof kEarly) || starts(kOld, sizeof kOld);
}

// The current entry's name, refused when the library cannot hand it out whole or when it would
// leave the output folder.
std::optional<std::wstring> EntryName(const UrarLibrary& library, URARHandle* handle,
                                      UnpackReport& report) {
  char buffer[kNameCapacity] = {};
  std::int32_t size = 0;
  if (library.URARGetSizeBuffer(handle, URAR_BUFFER_NAME, &size) != URAR_OK ||
      library.URARGetBuffer(handle, URAR_BUFFER_NAME, buffer, kNameCapacity) != URAR_OK) {
    Fail(report, UnpackProblem::kEntryFailed);
    return std::nullopt;
  }
  std::wstring name = win::Widen(buffer);
  // The library reports the whole name's length; a longer name than it handed out was cut.
  if (std::strlen(buffer) + 1 != static_cast<std::size_t>(size)) {
    Fail(report, UnpackProblem::kNameTooLong, name);
    return std::nullopt;
  }
  if (!IsSafeEntryName(name)) {
    Fail(report, UnpackProblem::kUnsafeName, name);
    return std::nullopt;
  }
  return name;
}

// How the library's walk ended: only a clean end after at least one entry is a whole archive.
bool CheckEnd(const UrarLibrary& library, URARHandle* handle, int entries, UnpackReport& report) {
  switch (library.URARGetLastError(handle)) {
    case URAR_END_CLEAN:
      return entries > 0 || Fail(report, UnpackProblem::kNoEntries);
    case URAR_END_NOT_ARCHIVE: return Fail(report, UnpackProblem::kNotAnArchive);
    case URAR_END_VOLUME: return Fail(report, UnpackProblem::kVolumeSet);
    case URAR_END_ENCRYPTED: return Fail(report, UnpackProblem::kEncryptedHeaders);
    default: return Fail(report, UnpackProblem::kArchiveCut);
  }
}

// The first pass: every entry's name and declared size without extracting any but the tiniest
// (a size limit of 1 makes the library decline the rest), the walk's end, and the free space.
bool Survey(const UrarLibrary& library, const std::vector<std::uint8_t>& archive,
            const std::wstring& outputFolder, FolderNames& names, UnpackReport& report) {
  UrarSession session(library, archive, 1);
  if (!session.get()) return Fail(report, UnpackProblem::kEntryFailed);
  std::uint64_t total = 0;
  int entries = 0;
  for (std::int32_t action; (action = library.URARDoAction(session.get())) != URAR_END; ++entries) {
    std::optional<std::wstring> name = EntryName(library, session.get(), report);
    if (!name) return false;
    if (!names.Claim(*name)) return Fail(report, UnpackProblem::kUnsafeName, *name);
    std::int32_t size = -1;
    library.URARGetSizeBuffer(session.get(), URAR_BUFFER_DATA, &size);
    if (size < 0 || size > kMaxEntrySize) return Fail(report, UnpackProblem::kEntryTooLarge, *name);
    if (action != URAR_OK && action != URAR_TOO_LARGE) {
      report.libraryCode = library.URARGetLastError(session.get());
      return Fail(report, UnpackProblem::kEntryFailed, *name);
    }
    total += static_cast<std::uint64_t>(size);
  }
  if (!CheckEnd(library, session.get(), entries, report)) return false;

  ULARGE_INTEGER available{};
  CreateDirectoryW(outputFolder.c_str(), nullptr);
  if (!GetDiskFreeSpaceExW(outputFolder.c_str(), &available, nullptr, nullptr))
    return Fail(report, UnpackProblem::kWriteFailed);
  report.neededBytes = total + kFreeSpaceMargin;
  report.freeBytes = available.QuadPart;
  if (report.freeBytes < report.neededBytes) return Fail(report, UnpackProblem::kNotEnoughSpace);
  return true;
}

// The second pass: every entry extracted, checked and written.
bool ExtractAll(const UrarLibrary& library, const std::vector<std::uint8_t>& archive,
                const std::wstring& outputFolder, UnpackReport& report,
                const EntryWritten& written) {
  UrarSession session(library, archive, static_cast<std::uint32_t>(kMaxEntrySize));
  if (!session.get()) return Fail(report, UnpackProblem::kEntryFailed);
  std::vector<char> data;
  int entries = 0;
  for (std::int32_t action; (action = library.URARDoAction(session.get())) != URAR_END; ++entries) {
    std::optional<std::wstring> name = EntryName(library, session.get(), report);
    if (!name) return false;
    // A missing, refused or damaged entry fails the whole archive and is not written.
    if (action != URAR_OK) {
      report.libraryCode = library.URARGetLastError(session.get());
      return Fail(report, UnpackProblem::kEntryFailed, *name);
    }
    std::int32_t size = -1;
    library.URARGetSizeBuffer(session.get(), URAR_BUFFER_DATA, &size);
    // The library reports 0 only once it produced the whole declared size, so this allocation
    // follows bytes that really exist.
    try {
      if (static_cast<std::size_t>(size) > data.size()) data.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
      return Fail(report, UnpackProblem::kEntryFailed, *name);
    }
    char none = 0;
    if (library.URARGetBuffer(session.get(), URAR_BUFFER_DATA, data.empty() ? &none : data.data(),
                              size) != URAR_OK)
      return Fail(report, UnpackProblem::kEntryFailed, *name);
    if (!WriteFolderFile(outputFolder, *name, data.data(), static_cast<std::size_t>(size)))
      return Fail(report, UnpackProblem::kWriteFailed, *name);
    if (written) written(*name, static_cast<std::uint64_t>(size));
  }
  return CheckEnd(library, session.get(), entries, report);
}

}  // namespace

bool UnpackArchive(const UrarLibrary& library, const std::wstring& archivePath,
                   const std::wstring& outputFolder, UnpackReport* report,
                   const EntryWritten& written, FolderNames* names) {
  UnpackReport ignored;
  UnpackReport& r = report ? *report : ignored;
  r = UnpackReport();
  if (!library.module) return Fail(r, UnpackProblem::kNotBound);
  std::optional<std::vector<std::uint8_t>> archive = ReadWholeFile(archivePath);
  // The library takes the archive's size as a signed 32-bit count.
  if (!archive || archive->size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max()))
    return Fail(r, UnpackProblem::kUnreadableArchive);
  if (!StartsWithRarMarker(*archive)) return Fail(r, UnpackProblem::kNotAnArchive);
  FolderNames own_names;
  return Survey(library, *archive, outputFolder, names ? *names : own_names, r) &&
         ExtractAll(library, *archive, outputFolder, r, written);
}
