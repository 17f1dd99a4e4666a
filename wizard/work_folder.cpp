#include "work_folder.h"

#include <windows.h>
#include <shellapi.h>

#include "unpack/folder_files.h"
#include "win/resource.h"

std::wstring WorkFolderFromTempPath(const std::wstring& temp_path) {
  std::wstring folder = temp_path;
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder + L"USBWizard\\";
}

std::wstring WorkFolderPath() {
  wchar_t temp[MAX_PATH + 1] = L"";
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  return WorkFolderFromTempPath(length <= MAX_PATH ? std::wstring(temp, length) : std::wstring());
}

void ResetWorkFolder(const std::wstring& folder) {
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  // The shell takes a list of paths, each ended by a zero, the list by a second one.
  std::wstring source = folder;
  source.append(2, L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = source.c_str();
  operation.fFlags = FOF_NOCONFIRMATION | FOF_SILENT;
  SHFileOperationW(&operation);
}

void ExtractUrarLibrary(const std::wstring& folder) {
  const std::string_view library = win::ResourceBytes(nullptr, L"URAR");
  if (!library.empty()) WriteFolderFile(folder, L"zevurar.dll", library.data(), library.size());
}
