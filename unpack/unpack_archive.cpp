#include "unpack/unpack_archive.h"

#include <windows.h>

#include <cstring>
#include <optional>

#include "unpack/archive_file.h"
#include "unpack/entry_names.h"
#include "unpack/folder_files.h"
#include "win/text.h"

namespace {

// Names the library hands out whole: 259 bytes and the terminating zero.
constexpr std::int32_t kNameCapacity = 260;
// The library's result for an entry whose window or model could not be allocated.
constexpr std::int32_t kLibraryNoMemory = 1;

// One library handle reading the archive file; finalised before the file may close.
class UrarSession {
 public:
  UrarSession(const UrarLibrary& library, ArchiveFile& archive, std::uint32_t size_limit)
      : library_(library) {
    handle_ = library.URARInitializeReader(size_limit, ArchiveFile::Read, &archive, archive.size());
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
bool StartsWithRarMarker(ArchiveFile& archive) {
  static const std::uint8_t kNew[] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
  static const std::uint8_t kEarly[] = {0x52, 0x61, 0x70, 0x21, 0x1A, 0x07, 0x00};
  static const std::uint8_t kOld[] = {0x52, 0x45, 0x7E, 0x5E};
  std::uint8_t start[sizeof kNew] = {};
  const std::int32_t got = ArchiveFile::Read(&archive, 0, start, sizeof start);
  auto starts = [&](const std::uint8_t* marker, std::int32_t size) {
    return got >= size && std::memcmp(start, marker, static_cast<std::size_t>(size)) == 0;
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
    case URAR_END_CLEAN: return entries > 0 || Fail(report, UnpackProblem::kNoEntries);
    case URAR_END_NOT_ARCHIVE: return Fail(report, UnpackProblem::kNotAnArchive);
    case URAR_END_VOLUME: return Fail(report, UnpackProblem::kVolumeSet);
    case URAR_END_ENCRYPTED: return Fail(report, UnpackProblem::kEncryptedHeaders);
    default: return Fail(report, UnpackProblem::kArchiveCut);
  }
}

// An entry the library could not extract: out of memory is not damage.
bool FailEntry(const UrarLibrary& library, URARHandle* handle, std::int32_t action,
               const std::wstring& name, UnpackReport& report) {
  report.library_code = library.URARGetLastError(handle);
  const bool no_memory = action == URAR_NO_MEMORY || report.library_code == kLibraryNoMemory;
  return Fail(report, no_memory ? UnpackProblem::kNoMemory : UnpackProblem::kEntryFailed, name);
}

// The first pass: every entry's name and declared size without extracting any but the tiniest
// (a size limit of 1 makes the library decline the rest), the walk's end, and the free space.
bool Survey(const UrarLibrary& library, ArchiveFile& archive, const std::wstring& output_folder,
            FolderNames& names, UnpackReport& report, const UnpackCancelled& cancelled) {
  UrarSession session(library, archive, 1);
  if (!session.get()) return Fail(report, UnpackProblem::kNoMemory);
  std::uint64_t total = 0;
  int entries = 0;
  for (std::int32_t action; (action = library.URARDoAction(session.get())) != URAR_END; ++entries) {
    if (cancelled && cancelled()) return Fail(report, UnpackProblem::kCancelled);
    std::optional<std::wstring> name = EntryName(library, session.get(), report);
    if (!name) return false;
    if (!names.Claim(*name)) return Fail(report, UnpackProblem::kUnsafeName, *name);
    std::uint64_t size = 0;
    library.URARGetEntrySize64(session.get(), &size);
    if (action != URAR_OK && action != URAR_TOO_LARGE)
      return FailEntry(library, session.get(), action, *name, report);
    // The total is what the free-space check weighs; it must not wrap.
    if (size > UINT64_MAX - kFreeSpaceMargin - total)
      return Fail(report, UnpackProblem::kEntryTooLarge, *name);
    total += size;
  }
  if (!CheckEnd(library, session.get(), entries, report)) return false;

  ULARGE_INTEGER available{};
  CreateDirectoryW(output_folder.c_str(), nullptr);
  if (!GetDiskFreeSpaceExW(output_folder.c_str(), &available, nullptr, nullptr))
    return Fail(report, UnpackProblem::kWriteFailed);
  report.needed_bytes = total + kFreeSpaceMargin;
  report.free_bytes = available.QuadPart;
  if (report.free_bytes < report.needed_bytes) return Fail(report, UnpackProblem::kNotEnoughSpace);
  return true;
}

// Where one entry's bytes go while the library decodes it: its file, opened at the first byte
// (or after the entry, when it has none), and deleted unless the entry ends whole. The library
// names the entry only once it stands on it, so the name is fetched at the first byte too.
class EntryFile {
 public:
  EntryFile(const UrarLibrary& library, URARHandle* handle, const std::wstring& folder,
            const UnpackCancelled& cancelled, UnpackReport& report)
      : library_(library),
        handle_(handle),
        folder_(folder),
        cancelled_(cancelled),
        report_(report) {}
  EntryFile(const EntryFile&) = delete;
  EntryFile& operator=(const EntryFile&) = delete;
  ~EntryFile() { Discard(); }

  // The library's write callback.
  static std::int32_t Write(void* context, const void* data, std::int32_t size) {
    return static_cast<EntryFile*>(context)->Append(data, size) ? 0 : 1;
  }
  // Forgets the last entry before the library moves to the next one.
  void Begin() {
    Discard();
    name_.reset();
    writeError_ = 0;
    uncheckedBytes_ = 0;
    stopped_ = false;
    refused_ = false;
  }
  // The entry's name, fetched (and checked again) once; false when it is refused (see report).
  bool Name() {
    if (!name_) name_ = EntryName(library_, handle_, report_);
    return name_.has_value();
  }
  const std::wstring& name() const { return *name_; }
  bool stopped() const { return stopped_; }
  bool refused() const { return refused_; }
  DWORD write_error() const { return writeError_; }
  // Closes the file once the library accepted the entry; false when it cannot be made or closed.
  bool Keep() {
    if (!file_ && !Open()) return false;
    // Closing flushes what the system still holds; a failed close is a short write too.
    if (!CloseHandle(file_.release())) {
      writeError_ = GetLastError();
      Discard();
      return false;
    }
    path_.clear();
    return true;
  }
  void Discard() {
    if (!file_) return;
    file_.reset();
    DeleteFileW(path_.c_str());
    path_.clear();
  }

 private:
  bool Open() {
    file_ = CreateFolderFile(folder_, *name_, path_);
    if (!file_) writeError_ = GetLastError();
    return static_cast<bool>(file_);
  }
  bool Append(const void* data, std::int32_t size) {
    // Asked at the first piece and then every kCancelCheckBytes: asking can cost a round trip
    // to the system per call, and pieces are as small as a few kilobytes.
    constexpr std::uint64_t kCancelCheckBytes = 256 * 1024;
    if (uncheckedBytes_ == 0 && cancelled_ && cancelled_()) {
      stopped_ = true;
      return false;
    }
    uncheckedBytes_ += static_cast<std::uint64_t>(size);
    if (uncheckedBytes_ >= kCancelCheckBytes) uncheckedBytes_ = 0;
    if (!Name()) {
      refused_ = true;
      return false;
    }
    if (!file_ && !Open()) return false;
    DWORD written = 0;
    if (!WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
        written != static_cast<DWORD>(size)) {
      writeError_ = GetLastError();
      return false;
    }
    return true;
  }

  const UrarLibrary& library_;
  URARHandle* handle_;
  const std::wstring& folder_;
  const UnpackCancelled& cancelled_;
  UnpackReport& report_;
  std::optional<std::wstring> name_;
  std::wstring path_;
  win::UniqueFile file_;
  DWORD writeError_ = 0;
  std::uint64_t uncheckedBytes_ = 0;  // written since the cancel was last asked
  bool stopped_ = false;
  bool refused_ = false;
};

bool FailWrite(UnpackReport& report, const EntryFile& file) {
  const DWORD error = file.write_error();
  const bool full = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
  return Fail(report, full ? UnpackProblem::kDiskFull : UnpackProblem::kWriteFailed, file.name());
}

// The second pass: every entry decoded straight into its file and checked.
bool ExtractAll(const UrarLibrary& library, ArchiveFile& archive, const std::wstring& output_folder,
                UnpackReport& report, const EntryWritten& written,
                const UnpackCancelled& cancelled) {
  UrarSession session(library, archive, 0);
  if (!session.get()) return Fail(report, UnpackProblem::kNoMemory);
  EntryFile file(library, session.get(), output_folder, cancelled, report);
  int entries = 0;
  for (;; ++entries) {
    if (cancelled && cancelled()) return Fail(report, UnpackProblem::kCancelled);
    file.Begin();
    const std::int32_t action = library.URARDoActionStream(session.get(), EntryFile::Write, &file);
    if (action == URAR_END) break;
    if (file.refused() || !file.Name()) return false;
    // A missing, refused or damaged entry fails the whole archive; what was written is deleted.
    if (file.stopped()) return Fail(report, UnpackProblem::kCancelled, file.name());
    if (file.write_error() != 0) return FailWrite(report, file);
    if (action != URAR_OK) return FailEntry(library, session.get(), action, file.name(), report);
    if (!file.Keep()) return FailWrite(report, file);
    if (written) {
      std::uint64_t size = 0;
      library.URARGetEntrySize64(session.get(), &size);
      written(file.name(), size);
    }
  }
  return CheckEnd(library, session.get(), entries, report);
}

}  // namespace

bool UnpackArchive(const UrarLibrary& library, const std::wstring& archive_path,
                   const std::wstring& output_folder, UnpackReport* report,
                   const EntryWritten& written, FolderNames* names,
                   const UnpackCancelled& cancelled) {
  UnpackReport ignored;
  UnpackReport& r = report ? *report : ignored;
  r = UnpackReport();
  if (!library.module) return Fail(r, UnpackProblem::kNotBound);
  ArchiveFile archive(archive_path);
  if (!archive.opened()) return Fail(r, UnpackProblem::kUnreadableArchive);
  FolderNames own_names;
  const bool unpacked =
      StartsWithRarMarker(archive)
          ? Survey(library, archive, output_folder, names ? *names : own_names, r, cancelled) &&
                ExtractAll(library, archive, output_folder, r, written, cancelled)
          : Fail(r, UnpackProblem::kNotAnArchive);
  // The library takes a read that failed for the archive's end: what looked like a cut or
  // damaged archive was a file that could not be read.
  const bool seen_as_damage =
      r.problem == UnpackProblem::kNotAnArchive || r.problem == UnpackProblem::kArchiveCut ||
      r.problem == UnpackProblem::kNoEntries || r.problem == UnpackProblem::kEntryFailed;
  if (!unpacked && seen_as_damage && archive.read_error() != 0)
    return Fail(r, UnpackProblem::kUnreadableArchive, r.entry);
  return unpacked;
}
