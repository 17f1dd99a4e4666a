// The stand-in installer under Wine: started by the wizard's installer stage it copies the
// rescue system onto drive E: (the prefix's virtual removable drive) byte for byte, signals once
// per file, and exits 1; every malformed command line or failed copy exits 0.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "builder/cold_installer.h"
#include "tests/support/files.h"
#include "win/unique_resource.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<fs::path, std::string>;

Files FilesBelow(const fs::path& root) {
  Files files;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (item.is_regular_file()) files[fs::relative(item.path(), root)] = ReadFileBytes(item.path());
  }
  return files;
}

class StandInInstaller : public ::testing::Test {
 protected:
  void SetUp() override {
    work_ =
        fs::temp_directory_path() / ("stand-in installer " + std::to_string(GetCurrentProcessId()));
    fs::remove_all(work_);
    fs::create_directories(work_);
    fs::copy_file(COLDINSTALL_EXE, work_ / "ColdInstall.exe");
    // What the two archives unpack to: both parts' "rescue" folders, merged.
    for (const char* part : {"scanner", "system"})
      fs::copy(tree_ / part, work_, fs::copy_options::recursive | fs::copy_options::skip_existing);
    ASSERT_EQ(GetDriveTypeW(L"E:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
    RemoveInstalled();
  }
  void TearDown() override {
    RemoveInstalled();
    fs::remove_all(work_);
  }

  // Only what the installer puts on the drive: whatever else is there stays.
  void RemoveInstalled() {
    std::error_code ignored;
    for (const char* part : {"scanner", "system"})
      for (const auto& item : fs::directory_iterator(tree_ / part / "rescue"))
        fs::remove_all(fs::path(L"E:\\") / item.path().filename(), ignored);
  }

  DWORD RunDirectly(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + (work_ / "ColdInstall.exe").wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    EXPECT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &started));
    const win::UniqueHandle process(started.hProcess), thread(started.hThread);
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 99;
    GetExitCodeProcess(process.get(), &code);
    return code;
  }

  fs::path work_;
  const fs::path tree_ = fs::path(PROJECT_SOURCE_DIR) / "standins" / "rescue_disk";
};

TEST_F(StandInInstaller, CopiesTheRescueSystemAndSignalsOncePerFile) {
  auto context = std::make_shared<ColdInstallContext>();
  context->work_folder = work_.wstring() + L"\\";
  CreateInstallerEvents(*context);
  context->progress.SetPercent(49);

  ASSERT_TRUE(RunColdInstall(context, L"E:\\", L"Installing the rescue USB drive"));
  const Files expected = FilesBelow(work_ / "rescue");
  EXPECT_EQ(FilesBelow(L"E:\\"), expected);
  // The monitor holds the context until it has counted the last signal and seen the stop.
  for (int i = 0; i < 2000 && context.use_count() > 1; ++i) Sleep(5);
  EXPECT_EQ(context->progress.Snapshot().percent, 49 + static_cast<int>(expected.size()) / 2);
}

TEST_F(StandInInstaller, FailsWithZeroOnABadCommandLineOrAFailedCopy) {
  for (const wchar_t* arguments :
       {L"", L"/S", L"/S /PE", L"/S /P:", L"/S /P1:", L"/S /PE:\\", L"/S /PE: /PF:", L"/X /PE:"}) {
    EXPECT_EQ(RunDirectly(arguments), 0u) << std::string(arguments, arguments + wcslen(arguments));
  }
  EXPECT_FALSE(fs::exists(L"E:\\autorun.inf"));

  // A file where the installer needs a folder.
  std::ofstream(L"E:\\boot") << "in the way";
  EXPECT_EQ(RunDirectly(L"/S /PE:"), 0u);
  fs::remove(L"E:\\boot");

  fs::remove_all(work_ / "rescue");
  EXPECT_EQ(RunDirectly(L"/S /PE:"), 0u);
}

}  // namespace
