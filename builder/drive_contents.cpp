#include "builder/drive_contents.h"

#include <deque>

DriveContents CountContents(const std::wstring& root, const ListFolder& list,
                            std::chrono::steady_clock::time_point deadline, uint64_t max_files) {
  DriveContents contents;
  std::deque<std::wstring> folders{root};
  std::vector<FolderEntry> entries;
  while (!folders.empty()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      contents.more = true;
      return contents;
    }
    const std::wstring folder = std::move(folders.front());
    folders.pop_front();
    entries.clear();
    if (!list(folder, entries)) continue;
    for (const FolderEntry& entry : entries) {
      if (entry.folder && !entry.link) {
        folders.push_back(folder + entry.name + L'\\');
        continue;
      }
      if (contents.files == max_files) {
        contents.more = true;
        return contents;
      }
      ++contents.files;
      contents.bytes += entry.size;
    }
  }
  return contents;
}
