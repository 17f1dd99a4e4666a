// Throughput of the download engine against a plain blocking WinINet loop, same URL, same
// prefix, same 8096-byte buffer and the same kind of file writes. Rounds alternate between the
// two so that a busy machine slows both alike; the best and the median round of each count.
//   download_bench URL [ROUNDS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "download/download_engine.h"
#include "win/internet_handle.h"

namespace {

uint64_t FileSize(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
  return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

double Seconds(LARGE_INTEGER start, LARGE_INTEGER end) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

bool EngineDownload(const wchar_t* url, const wchar_t* file) {
  DownloadEngine engine(nullptr, false);
  int chunks = 0;
  return engine.Download(url, file, [&chunks](const DownloadProgress&) { ++chunks; });
}

bool BlockingDownload(const wchar_t* url, const wchar_t* file) {
  win::UniqueInternet session(
      InternetOpenW(L"TScourlet", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return false;
  win::UniqueInternet request(InternetOpenUrlW(
      session.get(), url, nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
  if (!request) return false;
  win::UniqueFile out(
      CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return false;
  static BYTE buffer[8096];
  DWORD read = 0, written = 0;
  while (InternetReadFile(request.get(), buffer, sizeof(buffer), &read) && read > 0)
    if (!WriteFile(out.get(), buffer, read, &written, nullptr)) return false;
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || (argc > 2 && _wtoi(argv[2]) < 1)) {
    fprintf(stderr, "usage: download_bench URL [ROUNDS]\n");
    return 2;
  }
  const wchar_t* url = argv[1];
  const int rounds = argc > 2 ? _wtoi(argv[2]) : 3;
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"DLB", 0, file);

  std::vector<double> times[2];
  uint64_t bytes[2] = {0, 0};
  for (int round = 0; round < rounds; ++round) {
    for (int which = 0; which < 2; ++which) {
      LARGE_INTEGER start, end;
      QueryPerformanceCounter(&start);
      const bool ok = which == 0 ? EngineDownload(url, file) : BlockingDownload(url, file);
      QueryPerformanceCounter(&end);
      if (!ok) {
        fprintf(stderr, "%s download failed\n", which == 0 ? "engine" : "blocking");
        DeleteFileW(file);
        return 1;
      }
      bytes[which] = FileSize(file);
      const double s = Seconds(start, end);
      fprintf(stderr, "round %d %-8s %.3f s\n", round + 1, which == 0 ? "engine" : "blocking", s);
      times[which].push_back(s);
    }
  }
  DeleteFileW(file);
  if (bytes[0] != bytes[1] || bytes[0] == 0) {
    fprintf(stderr, "sizes differ: engine %llu, blocking %llu\n", (unsigned long long)bytes[0],
            (unsigned long long)bytes[1]);
    return 1;
  }
  double best[2], median[2];
  for (int which = 0; which < 2; ++which) {
    std::sort(times[which].begin(), times[which].end());
    best[which] = times[which].front();
    median[which] = times[which][times[which].size() / 2];
  }
  const double mb = double(bytes[0]) / (1024.0 * 1024.0);
  printf("size:     %.1f MiB, %d rounds each\n", mb, rounds);
  printf("engine:   best %.1f MiB/s, median %.1f MiB/s\n", mb / best[0], mb / median[0]);
  printf("blocking: best %.1f MiB/s, median %.1f MiB/s\n", mb / best[1], mb / median[1]);
  printf("ratio:    best %.2f, median %.2f (engine / blocking; target 0.90 or better)\n",
         best[1] / best[0], median[1] / median[0]);
  return 0;
}
