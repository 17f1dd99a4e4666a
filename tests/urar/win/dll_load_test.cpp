// The built zevurar.dll as the program uses it: loaded with LoadLibraryW, its six entry points
// bound by name, a real archive walked and extracted. Also checks what the DLL exports and imports.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "urar/urar.h"
#include "win/unique_resource.h"

namespace {

struct Exports {
  decltype(&URARInitialize) Initialize;
  decltype(&URARFinalize) Finalize;
  decltype(&URARDoAction) DoAction;
  decltype(&URARGetSizeBuffer) GetSizeBuffer;
  decltype(&URARGetBuffer) GetBuffer;
  decltype(&URARGetLastError) GetLastError;
};

template <class F>
void Bind(HMODULE m, const char* name, F* f) {
  *f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
  ASSERT_NE(*f, nullptr) << name;
}

const IMAGE_NT_HEADERS* NtHeaders(HMODULE m) {
  auto base = reinterpret_cast<const BYTE*>(m);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
}

std::set<std::string> ExportedNames(HMODULE m) {
  auto base = reinterpret_cast<const BYTE*>(m);
  const auto& dir = NtHeaders(m)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto names = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
  std::set<std::string> out;
  for (DWORD i = 0; i < exp->NumberOfNames; ++i)
    out.insert(reinterpret_cast<const char*>(base + names[i]));
  EXPECT_EQ(exp->NumberOfFunctions, exp->NumberOfNames) << "nothing exported by ordinal only";
  return out;
}

std::set<std::string> ImportedModules(HMODULE m) {
  auto base = reinterpret_cast<const BYTE*>(m);
  const auto& dir = NtHeaders(m)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::set<std::string> out;
  for (auto d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
       d->Name; ++d) {
    std::string name = reinterpret_cast<const char*>(base + d->Name);
    for (char& c : name) c = char(tolower(c));
    out.insert(name);
  }
  return out;
}

}  // namespace

TEST(ZevurarDll, ExportsExactlyTheSixNamesAndTheStreamingOnesAndNeedsOnlyTheCRuntime) {
  win::UniqueModule dll(LoadLibraryW(ZEVURAR_DLL_PATH));
  ASSERT_TRUE(dll) << "LoadLibraryW failed: " << GetLastError();
  EXPECT_EQ(
      ExportedNames(dll.get()),
      (std::set<std::string>{"URARDoAction", "URARFinalize", "URARGetBuffer", "URARGetLastError",
                             "URARGetSizeBuffer", "URARInitialize", "URARDoActionStream",
                             "URARGetEntrySize64", "URARInitialize64", "URARInitializeReader"}));
  // The mingw C runtime lives in msvcrt.dll and reaches the system through kernel32 only.
  for (const std::string& module : ImportedModules(dll.get()))
    EXPECT_TRUE(module == "msvcrt.dll" || module == "kernel32.dll") << module;
}

TEST(ZevurarDll, WalksAndExtractsARealArchive) {
  win::UniqueModule dll(LoadLibraryW(ZEVURAR_DLL_PATH));
  ASSERT_TRUE(dll);
  Exports x{};
  Bind(dll.get(), "URARInitialize", &x.Initialize);
  Bind(dll.get(), "URARFinalize", &x.Finalize);
  Bind(dll.get(), "URARDoAction", &x.DoAction);
  Bind(dll.get(), "URARGetSizeBuffer", &x.GetSizeBuffer);
  Bind(dll.get(), "URARGetBuffer", &x.GetBuffer);
  Bind(dll.get(), "URARGetLastError", &x.GetLastError);

  const std::string archive =
      ReadFileBytes(SourcePath("tests/fixtures/rar/junrar-BoatModernEnglish-regular-unpack30.rar"));
  ASSERT_FALSE(archive.empty());
  URARHandle* h = x.Initialize(0, archive.data(), int32_t(archive.size()));
  ASSERT_NE(h, nullptr);
  std::vector<std::string> names;
  std::string license;
  for (int32_t action; (action = x.DoAction(h)) != URAR_END;) {
    char name[260];
    ASSERT_EQ(x.GetBuffer(h, URAR_BUFFER_NAME, name, sizeof name), 0);
    names.push_back(name);
    if (names.back() == "LICENSE.txt") {
      EXPECT_EQ(action, URAR_OK);
      int32_t size = 0;
      ASSERT_EQ(x.GetSizeBuffer(h, URAR_BUFFER_DATA, &size), 0);
      ASSERT_EQ(size, 107);
      license.resize(size_t(size));
      EXPECT_EQ(x.GetBuffer(h, URAR_BUFFER_DATA, &license[0], size), 0);
      EXPECT_EQ(x.GetLastError(h), 0);
    }
  }
  EXPECT_EQ(x.DoAction(h), URAR_END);
  EXPECT_EQ(x.Finalize(h), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"BoatModernEnglish.wav", "LICENSE.txt"}));
  EXPECT_NE(license.find("CC BY-SA 4.0"), std::string::npos) << license;
}
