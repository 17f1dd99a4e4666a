// Binding the real extraction library: every entry point, and only the program's own bytes.
#include "tests/unpack/unpack_fixture.h"

namespace {

TEST_F(UnpackTest, BindsAllNineEntryPointsAndUnbinds) {
  EXPECT_TRUE(library_.module && library_.URARInitialize && library_.URARFinalize &&
              library_.URARDoAction && library_.URARGetSizeBuffer && library_.URARGetBuffer &&
              library_.URARGetLastError && library_.URARDoActionStream &&
              library_.URARGetEntrySize64 && library_.URARInitializeReader);
  FreeUrarLibrary(library_);
  EXPECT_FALSE(library_.module || library_.URARInitialize || library_.URARGetLastError);
  EXPECT_EQ(GetModuleHandleW((work_ + L"zevurar.dll").c_str()), nullptr);
  EXPECT_FALSE(UnpackArchive(library_, WriteArchive({{"a.txt", Bytes("a")}}), out_));
}

TEST_F(UnpackTest, BindingFailsWithoutTheLibraryOrWithAnEntryPointMissing) {
  UrarLibrary other;
  EXPECT_FALSE(LoadUrarLibrary(other, out_, Library()));
  EXPECT_FALSE(other.module || other.URARInitialize);

  std::wstring incomplete = win::Widen(INCOMPLETE_DLL);
  incomplete.resize(incomplete.find_last_of(L"/\\"));
  const auto incomplete_bytes = ReadWholeFile(incomplete + L"\\zevurar.dll");
  ASSERT_TRUE(incomplete_bytes);
  EXPECT_FALSE(LoadUrarLibrary(other, incomplete,
                               std::string(incomplete_bytes->begin(), incomplete_bytes->end())));
  EXPECT_FALSE(other.module || other.URARInitialize || other.URARGetBuffer);
  EXPECT_EQ(GetModuleHandleW((incomplete + L"\\zevurar.dll").c_str()), nullptr);
}

// Only the bytes the program carries load: a library that differs by one byte, or a different
// library, is never loaded; nor is one that someone holds open for writing, as it could change
// between the comparison and the load.
TEST_F(UnpackTest, OnlyTheProgramsOwnLibraryIsLoaded) {
  FreeUrarLibrary(library_);
  std::string changed = Library();
  changed[changed.size() / 2] ^= 1;
  std::wstring incomplete = win::Widen(INCOMPLETE_DLL);
  incomplete.resize(incomplete.find_last_of(L"/\\"));
  UrarLibrary other;
  EXPECT_FALSE(LoadUrarLibrary(other, work_, changed));
  EXPECT_FALSE(LoadUrarLibrary(other, incomplete, Library()));
  EXPECT_FALSE(other.module);
  {
    const win::UniqueFile writer(CreateFileW((work_ + L"zevurar.dll").c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_FALSE(LoadUrarLibrary(other, work_, Library()));
  }
  EXPECT_EQ(GetModuleHandleW((work_ + L"zevurar.dll").c_str()), nullptr);
  EXPECT_TRUE(LoadUrarLibrary(other, work_, Library()));
}

}  // namespace
