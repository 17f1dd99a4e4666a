#include "tests/support/scratch_folder.h"

#include <windows.h>

#include <filesystem>
#include <system_error>

ScratchFolder::ScratchFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH + 1] = L"";
  GetTempPathW(MAX_PATH + 1, temp);
  path_ = std::wstring(temp) + name + L" " + std::to_wstring(GetCurrentProcessId()) + L"\\";
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);  // what a crashed run of this process left
  std::filesystem::create_directories(path_, ignored);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
