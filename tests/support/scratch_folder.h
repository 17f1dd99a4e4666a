// A folder of a test's own below the temporary folder: named for the test and this process,
// created empty, and deleted with everything in it when the object goes. Tests never work in the
// program's real working folder.
#pragma once

#include <string>

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Ends in a backslash, as the program's working folder does.
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};
