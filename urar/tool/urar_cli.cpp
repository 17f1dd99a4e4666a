// urar_cli: lists, tests or extracts a RAR archive through the library's six exports only.
//   urar_cli l <archive>            entries with declared sizes and results
//   urar_cli t <archive>            extract in memory and check every entry
//   urar_cli x <archive> <folder>   extract into a folder (names as stored; unsafe names refused)
// Exit status: 0 when every entry extracted cleanly and the archive was whole, 1 when any entry
// failed or the archive was cut, foreign or part of a volume set, 2 on a usage or I/O error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#ifdef _WIN32
#include <direct.h>
#endif

#include "urar/urar.h"

namespace {

// An entry's outcome: the action's own text unless the extraction failed, then the library's
// reason for it.
const char* ResultText(int32_t action, int32_t last_error) {
  return action == URAR_FAILED ? URARResultName(last_error) : URARActionName(action);
}

bool ReadFile(const char* path, std::vector<uint8_t>* bytes) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(fopen(path, "rb"), fclose);
  if (!f) return false;
  if (fseek(f.get(), 0, SEEK_END) != 0) return false;
  long size = ftell(f.get());
  if (size < 0 || size > INT32_MAX) return false;
  rewind(f.get());
  bytes->resize(size_t(size));
  return size == 0 || fread(bytes->data(), 1, bytes->size(), f.get()) == bytes->size();
}

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

bool WriteEntry(const std::string& folder, std::string name, const std::vector<uint8_t>& data) {
  for (char& c : name)
    if (c == '\\') c = '/';
  std::string path = folder + "/" + name;
  if (!MakeFolders(path)) return false;
  std::unique_ptr<FILE, int (*)(FILE*)> f(fopen(path.c_str(), "wb"), fclose);
  return f && (data.empty() || fwrite(data.data(), 1, data.size(), f.get()) == data.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || strlen(argv[1]) != 1 || !strchr("ltx", argv[1][0]) ||
      (argv[1][0] == 'x') != (argc == 4)) {
    fprintf(stderr, "usage: urar_cli l|t <archive>\n       urar_cli x <archive> <folder>\n");
    return 2;
  }
  const char mode = argv[1][0];
  std::vector<uint8_t> archive;
  if (!ReadFile(argv[2], &archive)) {
    fprintf(stderr, "urar_cli: cannot read %s: %s\n", argv[2], strerror(errno));
    return 2;
  }
  URARHandle* h = URARInitialize(0, archive.data(), int32_t(archive.size()));
  if (h == nullptr) {
    fprintf(stderr, "urar_cli: out of memory\n");
    return 2;
  }
  int failures = 0, entries = 0;
  std::vector<uint8_t> data;
  for (int32_t action; (action = URARDoAction(h)) != URAR_END;) {
    ++entries;
    int32_t name_size = 0, data_size = 0;
    URARGetSizeBuffer(h, URAR_BUFFER_NAME, &name_size);
    URARGetSizeBuffer(h, URAR_BUFFER_DATA, &data_size);
    std::string name(size_t(name_size), '\0');
    URARGetBuffer(h, URAR_BUFFER_NAME, &name[0], name_size);
    name.resize(strlen(name.c_str()));
    const char* result = ResultText(action, URARGetLastError(h));
    bool ok = action == URAR_OK;
    if (ok && mode == 'x') {
      data.resize(data_size > 0 ? size_t(data_size) : 0);
      if (!SafeName(name)) {
        result = "unsafe name, not written";
        ok = false;
      } else if (URARGetBuffer(h, URAR_BUFFER_DATA, data.data() ? data.data() : (uint8_t*)"", data_size) != 0 ||
                 !WriteEntry(argv[3], name, data)) {
        result = "cannot write";
        ok = false;
      }
    }
    if (!ok) ++failures;
    if (mode == 'l') {
      printf("%11d  %-7s %s\n", data_size, ok ? "ok" : "FAILED", name.c_str());
      if (!ok) printf("             %s\n", result);
    } else if (!ok) {
      fprintf(stderr, "%s: %s\n", name.c_str(), result);
    }
  }
  if (int32_t end = URARGetLastError(h); end != URAR_END_CLEAN) {
    fprintf(stderr, "urar_cli: %s\n", URARResultName(end));
    ++failures;
  }
  URARFinalize(h);
  if (mode != 'l') printf("%d entries, %d failed\n", entries, failures);
  return failures ? 1 : 0;
}
