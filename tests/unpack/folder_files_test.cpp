// Writing and reading files below a folder.
#include "tests/unpack/unpack_fixture.h"

namespace {

TEST(FolderFile, ReadsBackWhatItWroteAndRefusesUnsafeNames) {
  ScratchFolder scratch(L"folder_file_test");
  const std::wstring folder = scratch.Path() + L"inner";
  const auto data = Pattern(70000, 11);
  ASSERT_TRUE(WriteFolderFile(folder, L"x\\y/z.bin", data.data(), data.size()));
  EXPECT_EQ(ReadWholeFile(folder + L"\\x\\y\\z.bin"), data);
  EXPECT_EQ(ReadWholeFile(folder + L"\\missing"), std::nullopt);
  EXPECT_FALSE(WriteFolderFile(folder, L"..\\outside.bin", data.data(), data.size()));
  EXPECT_FALSE(Exists(scratch.Path() + L"outside.bin"));
}

}  // namespace
