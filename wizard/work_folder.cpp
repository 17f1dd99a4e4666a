#include "work_folder.h"

#include <windows.h>
#include <shellapi.h>

#include "unpack/folder_files.h"

std::wstring WorkFolderFromTempPath(const std::wstring& tempPath) {
  std::wstring folder = tempPath;
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
  HRSRC resource = FindResourceW(nullptr, L"URAR", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!resource) return;
  const DWORD size = SizeofResource(nullptr, resource);
  HGLOBAL loaded = size ? LoadResource(nullptr, resource) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (bytes) WriteFolderFile(folder, L"zevurar.dll", bytes, size);
  // Resources belong to the module image: there is nothing to free.
}
