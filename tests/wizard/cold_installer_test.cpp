// The installer stage with a real process: the probe program, copied into a working folder as
// ColdInstall.exe, reports how it was started, signals the named event as planned and exits with
// the planned code.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "cold_installer.h"

namespace {

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }
std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += static_cast<char>(c);
  return narrow;
}

class ColdInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    // A space in the path: the command line must quote it.
    work_ = std::wstring(temp) + L"cold installer test " + std::to_wstring(GetCurrentProcessId()) +
            L"\\";
    CreateDirectoryW(work_.c_str(), nullptr);
    context_->WorkFolder = work_;
    CreateInstallerEvents(*context_);
    ASSERT_TRUE(context_->ColdInstallEvent && context_->StopEvent);
    // As after a complete download and unpacking.
    context_->progress->SetPercent(49);
  }
  void TearDown() override {
    for (const wchar_t* name : {L"ColdInstall.exe", L"probe_plan.txt", L"probe_report.txt"})
      DeleteFileW((work_ + name).c_str());
    RemoveDirectoryW(work_.c_str());
  }

  void PlaceProbe(unsigned signals, unsigned exitCode) {
    ASSERT_TRUE(CopyFileW(Widen(PROBE_EXE).c_str(), (work_ + L"ColdInstall.exe").c_str(), FALSE));
    std::ofstream(Narrow(work_) + "probe_plan.txt") << signals << ' ' << exitCode << '\n';
  }

  // The monitor holds the context while it runs; it has returned once ours is the only hold.
  bool MonitorEnded() {
    for (int i = 0; i < 2000 && context_.use_count() > 1; ++i) Sleep(5);
    return context_.use_count() == 1;
  }

  std::wstring work_;
  std::shared_ptr<ColdInstallContext> context_ = std::make_shared<ColdInstallContext>();
};

TEST(ColdInstallCommandLine, QuotesThePathAndPutsTheLetterRightAfterP) {
  EXPECT_EQ(ColdInstallCommandLine(L"C:\\Temp\\USBWizard\\", L"E"),
            L"\"C:\\Temp\\USBWizard\\ColdInstall.exe\" /S /PE:");
  EXPECT_EQ(ColdInstallCommandLine(L"C:\\Documents and Settings\\x\\USBWizard\\", L"F"),
            L"\"C:\\Documents and Settings\\x\\USBWizard\\ColdInstall.exe\" /S /PF:");
}

// Every second signal is one point; the result is the exit code's alone (non-zero succeeds).
TEST_F(ColdInstallerTest, CountsSignalsAndJudgesByTheExitCode) {
  struct Case {
    unsigned signals, exitCode;
    bool success;
    int percent;
  } cases[] = {{0, 0, false, 49}, {1, 1, true, 49}, {2, 7, true, 50}, {5, 1, true, 51},
               {4, 0, false, 51}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.signals << " signals, exit code " << c.exitCode);
    context_ = std::make_shared<ColdInstallContext>();
    context_->WorkFolder = work_;
    CreateInstallerEvents(*context_);
    context_->progress->SetPercent(49);
    PlaceProbe(c.signals, c.exitCode);

    EXPECT_EQ(RunColdInstall(context_, L"G", L"Installing the rescue USB drive"), c.success);
    EXPECT_EQ(WaitForSingleObject(context_->StopEvent.get(), 0), WAIT_OBJECT_0);
    ASSERT_TRUE(MonitorEnded());
    EXPECT_EQ(context_->progress->GetPercent(), c.percent);
    EXPECT_EQ(context_->progress->GetStatusText(), L"Installing the rescue USB drive");
  }
}

TEST_F(ColdInstallerTest, StartsTheInstallerAsTheContractSays) {
  PlaceProbe(0, 1);
  ASSERT_TRUE(RunColdInstall(context_, L"E", L"status"));
  ASSERT_TRUE(MonitorEnded());

  std::ifstream file(Narrow(work_) + "probe_report.txt", std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::wistringstream report(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                                          bytes.size() / sizeof(wchar_t)));
  std::wstring commandLine, flags, current;
  std::getline(report, commandLine);
  std::getline(report, flags);
  std::getline(report, current);
  EXPECT_EQ(commandLine, L"\"" + work_ + L"ColdInstall.exe\" /S /PE:");
  // (Wine starts every child at normal priority whatever the creation flags ask, so the
  // priority class cannot be observed here.)
  EXPECT_TRUE(std::stoul(flags) & STARTF_FORCEOFFFEEDBACK) << Narrow(flags);
  // The wizard's own current folder, not the working folder.
  wchar_t ours[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, ours);
  EXPECT_EQ(current, ours);
}

TEST_F(ColdInstallerTest, AnInstallerThatCannotStartFailsAndStopsTheMonitor) {
  EXPECT_FALSE(RunColdInstall(context_, L"E", L"status"));
  EXPECT_EQ(WaitForSingleObject(context_->StopEvent.get(), 0), WAIT_OBJECT_0);
  EXPECT_TRUE(MonitorEnded());
  EXPECT_EQ(context_->progress->GetPercent(), 49);

  // A file that is no program.
  std::ofstream(Narrow(work_) + "ColdInstall.exe") << "not a program";
  context_ = std::make_shared<ColdInstallContext>();
  context_->WorkFolder = work_;
  CreateInstallerEvents(*context_);
  EXPECT_FALSE(RunColdInstall(context_, L"E", L"status"));
  EXPECT_TRUE(MonitorEnded());
}

// Without its events the monitor has nothing to wait on: it ends at once instead of spinning.
TEST(ColdInstallerProgress, EndsAtOnceWithoutItsEvents) {
  ColdInstallContext context;
  context.progress->SetPercent(49);
  ColdInstallerProgress(context);
  context.StopEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ColdInstallerProgress(context);
  EXPECT_EQ(context.progress->GetPercent(), 49);
}

}  // namespace
