// urar_cli: lists, tests or extracts a RAR archive through the library's streaming exports: the
// library reads the archive through a callback and each entry's bytes go to their file (or are
// only checked) as they are decoded, so memory stays bounded by the decoder's window whatever
// the sizes.
//   urar_cli l <archive>            entries with declared sizes and results
//   urar_cli t <archive>            decode and check every entry
//   urar_cli x <archive> <folder>   extract into a folder (names as stored; unsafe names refused)
// Exit status: 0 when every entry extracted cleanly and the archive was whole, 1 when any entry
// failed or the archive was cut, foreign or part of a volume set, 2 on a usage or I/O error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>
#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "urar/urar.h"

namespace {

// An entry's outcome: the action's own text unless the extraction failed, then the library's
// reason for it.
const char* ResultText(int32_t action, int32_t last_error) {
  return action == URAR_FAILED ? URARResultName(last_error) : URARActionName(action);
}

// The archive file, read for the library through its read callback: only the library's window
// of it is ever in memory, and each piece is checked and written while it is still in cache.
class ArchiveFile {
 public:
  explicit ArchiveFile(const char* path) {
#ifdef _WIN32
    file_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    LARGE_INTEGER size{};
    if (file_ != INVALID_HANDLE_VALUE && GetFileSizeEx(file_, &size)) {
      size_ = uint64_t(size.QuadPart);
      opened_ = true;
    }
#else
    fd_ = open(path, O_RDONLY);
    struct stat st {};
    if (fd_ >= 0 && fstat(fd_, &st) == 0) {
      size_ = uint64_t(st.st_size);
      opened_ = true;
      posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
#endif
  }
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;
  ~ArchiveFile() {
#ifdef _WIN32
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
#else
    if (fd_ >= 0) close(fd_);
#endif
  }
  bool opened() const { return opened_; }
  uint64_t size() const { return size_; }
  // The system's reason for the first read that failed, or null.
  const char* read_error() const { return read_error_ ? strerror(read_error_) : nullptr; }

  static int32_t Read(void* context, uint64_t offset, void* destination, int32_t size) {
    auto* a = static_cast<ArchiveFile*>(context);
#ifdef _WIN32
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    if (ReadFile(a->file_, destination, DWORD(size), &got, &at)) return int32_t(got);
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    a->read_error_ = EIO;
#else
    for (;;) {
      ssize_t got = pread(a->fd_, destination, size_t(size), off_t(offset));
      if (got >= 0) return int32_t(got);
      if (errno == EINTR) continue;
      a->read_error_ = errno;
      break;
    }
#endif
    return -1;
  }

 private:
#ifdef _WIN32
  HANDLE file_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
  uint64_t size_ = 0;
  bool opened_ = false;
  int read_error_ = 0;
};

// A stored name is safe to create below the output folder when it is relative and never climbs.
bool SafeName(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\' || name.find(':') != std::string::npos)
    return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] != '/') continue;
    std::string part = path.substr(0, i);
#ifdef _WIN32
    int rc = _mkdir(part.c_str());
#else
    int rc = mkdir(part.c_str(), 0755);
#endif
    if (rc != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string NameOf(URARHandle* h) {
  int32_t name_size = 0;
  URARGetSizeBuffer(h, URAR_BUFFER_NAME, &name_size);
  std::string name(size_t(name_size), '\0');
  URARGetBuffer(h, URAR_BUFFER_NAME, &name[0], name_size);
  name.resize(strlen(name.c_str()));
  return name;
}

// Where one entry's bytes go while the library decodes it. With no folder (l, t) they are only
// counted; with one (x) the file is created at the first byte, once the library stands on the
// entry and can name it, and removed again unless the entry ends whole.
class EntryOutput {
 public:
  EntryOutput(URARHandle* h, const char* folder) : h_(h), folder_(folder) {}
  EntryOutput(const EntryOutput&) = delete;
  EntryOutput& operator=(const EntryOutput&) = delete;
  ~EntryOutput() { Discard(); }

  static int32_t Write(void* context, const void* data, int32_t size) {
    return static_cast<EntryOutput*>(context)->Append(data, size) ? 0 : 1;
  }
  void Begin() {
    Discard();
    refused_ = failed_ = false;
  }
  // The problem that stopped the entry on this side, or null.
  const char* problem() const {
    return refused_ ? "unsafe name, not written" : failed_ ? "cannot write" : nullptr;
  }
  // Closes the entry's file (creating it when the entry had no bytes); false when that fails.
  bool Keep() {
    if (folder_ == nullptr) return true;
    if (!file_ && !Open()) return false;
    const bool closed = fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) {
      failed_ = true;
      remove(path_.c_str());
    }
    return closed;
  }
  void Discard() {
    if (file_ == nullptr) return;
    fclose(file_);
    file_ = nullptr;
    remove(path_.c_str());
  }

 private:
  bool Open() {
    std::string name = NameOf(h_);
    if (!SafeName(name)) {
      refused_ = true;
      return false;
    }
    for (char& c : name)
      if (c == '\\') c = '/';
    path_ = std::string(folder_) + "/" + name;
    file_ = MakeFolders(path_) ? fopen(path_.c_str(), "wb") : nullptr;
    failed_ = file_ == nullptr;
    if (file_) setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    return file_ != nullptr;
  }
  bool Append(const void* data, int32_t size) {
    if (folder_ == nullptr) return true;
    if (!file_ && !Open()) return false;
    failed_ = fwrite(data, 1, size_t(size), file_) != size_t(size);
    return !failed_;
  }

  URARHandle* h_;
  const char* folder_;
  std::string path_;
  FILE* file_ = nullptr;
  bool refused_ = false;
  bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || strlen(argv[1]) != 1 || !strchr("ltx", argv[1][0]) ||
      (argv[1][0] == 'x') != (argc == 4)) {
    fprintf(stderr, "usage: urar_cli l|t <archive>\n       urar_cli x <archive> <folder>\n");
    return 2;
  }
  const char mode = argv[1][0];
  ArchiveFile archive(argv[2]);
  if (!archive.opened()) {
    fprintf(stderr, "urar_cli: cannot read %s: %s\n", argv[2], strerror(errno));
    return 2;
  }
  URARHandle* h = URARInitializeReader(0, ArchiveFile::Read, &archive, archive.size());
  if (h == nullptr) {
    fprintf(stderr, "urar_cli: out of memory\n");
    return 2;
  }
  int failures = 0, entries = 0;
  {
    EntryOutput output(h, mode == 'x' ? argv[3] : nullptr);
    for (;;) {
      output.Begin();
      const int32_t action = URARDoActionStream(h, EntryOutput::Write, &output);
      if (action == URAR_END) break;
      ++entries;
      const std::string name = NameOf(h);
      uint64_t size = 0;
      URARGetEntrySize64(h, &size);
      const char* result = output.problem();
      if (result == nullptr) result = ResultText(action, URARGetLastError(h));
      bool ok = action == URAR_OK && output.Keep();
      if (!ok && output.problem()) result = output.problem();
      if (!ok) ++failures;
      if (mode == 'l') {
        printf("%11llu  %-7s %s\n", static_cast<unsigned long long>(size), ok ? "ok" : "FAILED",
               name.c_str());
        if (!ok) printf("             %s\n", result);
      } else if (!ok) {
        fprintf(stderr, "%s: %s\n", name.c_str(), result);
      }
    }
  }
  if (int32_t end = URARGetLastError(h); end != URAR_END_CLEAN) {
    fprintf(stderr, "urar_cli: %s\n", URARResultName(end));
    ++failures;
  }
  // A read that failed looks to the library like the archive ending there: say why it ended.
  if (const char* error = archive.read_error()) {
    fprintf(stderr, "urar_cli: cannot read %s: %s\n", argv[2], error);
    URARFinalize(h);
    return 2;
  }
  URARFinalize(h);
  if (mode != 'l') printf("%d entries, %d failed\n", entries, failures);
  return failures ? 1 : 0;
}
