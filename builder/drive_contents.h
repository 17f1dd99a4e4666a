// What a drive holds, counted before the user is asked whether it may be overwritten: how many
// files and how many bytes. A stick can hold millions of files, so the count stops at a file cap
// or a deadline and then says "more than" what it reached; the question must come at once.
//
// The walk is portable and reads folders through a listing function, so tests can feed it a
// tree; drive_contents_win.cpp lists real folders.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct DriveContents {
  uint64_t files = 0;
  uint64_t bytes = 0;
  bool more = false;  // the count stopped at its cap or deadline: there are at least this many
};

struct FolderEntry {
  std::wstring name;
  bool folder = false;
  bool link = false;  // a reparse point: not followed, it may lead off the drive or round a loop
  uint64_t size = 0;
};

// Lists one folder ("E:\", "E:\Photos\") into `entries`; false when it cannot be read, which the
// count skips (a "System Volume Information" folder, say) and goes on.
using ListFolder =
    std::function<bool(const std::wstring& folder, std::vector<FolderEntry>& entries)>;

constexpr uint64_t kMaxCountedFiles = 10000;

// Counts the files under `root` (a path ending in a separator), breadth first; links count as
// entries but are not entered. Stops, with `more` set, once `max_files` files are counted and
// more remain, or when `deadline` has passed before the walk is done.
DriveContents CountContents(const std::wstring& root, const ListFolder& list,
                            std::chrono::steady_clock::time_point deadline,
                            uint64_t max_files = kMaxCountedFiles);

// The real drive's contents, with a one-second deadline.
DriveContents CountDriveContents(const std::wstring& root);
