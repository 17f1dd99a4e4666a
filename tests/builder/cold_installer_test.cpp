// The installer stage with a real process: the probe program, copied into a working folder as
// ColdInstall.exe, reports how it was started, signals the named event as planned and exits with
// the planned code.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "builder/cold_installer.h"
#include "tests/support/files.h"
#include "tests/support/scratch_folder.h"
#include "win/text.h"

namespace {

// The process id the probe writes as its report's fourth line once it runs; empty when no report
// names one within half a minute.
std::wstring WaitForProbePid(const std::wstring& report_path) {
  for (int i = 0; i < 3000; ++i) {
    const std::string bytes = ReadFileBytes(report_path);
    std::wistringstream report(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                                            bytes.size() / sizeof(wchar_t)));
    std::wstring line;
    for (int n = 0; n < 4 && std::getline(report, line); ++n) {
      if (n == 3) return line;
    }
    Sleep(10);
  }
  return {};
}

class ColdInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override { Prepare(); }

  // A fresh context, as after a complete download and unpacking.
  void Prepare() {
    context_ = std::make_shared<ColdInstallContext>();
    context_->work_folder = work_.Path();
    CreateInstallerEvents(*context_);
    ASSERT_TRUE(context_->installer_event && context_->stop_event);
    context_->progress.SetPercent(49);
  }

  std::wstring File(const wchar_t* name) const { return work_.Path() + name; }

  void PlaceProbe(unsigned signals, unsigned exit_code) {
    ASSERT_TRUE(CopyFileW(win::Widen(PROBE_EXE).c_str(), File(L"ColdInstall.exe").c_str(), FALSE));
    std::ofstream(std::filesystem::path(File(L"probe_plan.txt"))) << signals << ' ' << exit_code;
  }

  // The monitor holds the context while it runs; it has returned once ours is the only hold.
  bool MonitorEnded() {
    for (int i = 0; i < 2000 && context_.use_count() > 1; ++i) Sleep(5);
    return context_.use_count() == 1;
  }

  int32_t Percent() const { return context_->progress.Snapshot().percent; }

  // A space in the path: the command line must quote it.
  ScratchFolder work_{L"cold installer test"};
  std::shared_ptr<ColdInstallContext> context_;
};

TEST(ColdInstallCommandLine, QuotesThePathAndPutsTheDriveRightAfterP) {
  EXPECT_EQ(ColdInstallCommandLine(L"C:\\Temp\\USBWizard\\", L"E:\\"),
            L"\"C:\\Temp\\USBWizard\\ColdInstall.exe\" /S /PE:");
  EXPECT_EQ(ColdInstallCommandLine(L"C:\\Documents and Settings\\x\\USBWizard\\", L"F:\\"),
            L"\"C:\\Documents and Settings\\x\\USBWizard\\ColdInstall.exe\" /S /PF:");
}

// Every second signal is one point; the result is the exit code's alone: non-zero succeeds,
// except NTSTATUS errors (an access violation, a kill's status) from 0xC0000000 up.
TEST_F(ColdInstallerTest, CountsSignalsAndJudgesByTheExitCode) {
  const struct {
    unsigned signals, exit_code;
    bool success;
    int percent;
  } cases[] = {{0, 0, false, 49},          {1, 1, true, 49},           {2, 7, true, 50},
               {5, 1, true, 51},           {4, 0, false, 51},          {0, 0xBFFFFFFF, true, 49},
               {0, 0xC0000000, false, 49}, {2, 0xC0000005, false, 50}, {0, 0xFFFFFFFF, false, 49}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.signals << " signals, exit code " << c.exit_code);
    Prepare();
    PlaceProbe(c.signals, c.exit_code);

    EXPECT_EQ(RunColdInstall(context_, L"G:\\", L"Installing the rescue USB drive"), c.success);
    EXPECT_EQ(WaitForSingleObject(context_->stop_event.get(), 0), WAIT_OBJECT_0);
    ASSERT_TRUE(MonitorEnded());
    EXPECT_EQ(Percent(), c.percent);
    EXPECT_EQ(context_->progress.Snapshot().status, L"Installing the rescue USB drive");
  }
}

TEST_F(ColdInstallerTest, StartsTheInstallerAsTheContractSays) {
  PlaceProbe(0, 1);
  // An inheritable handle the wizard holds while the installer starts, with a count no other
  // semaphore has: the probe reports what it finds at the same handle value.
  const win::UniqueHandle held(CreateSemaphoreW(nullptr, 0, 4242, nullptr));
  SetHandleInformation(held.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  std::ofstream(std::filesystem::path(File(L"probe_handle.txt")))
      << reinterpret_cast<uintptr_t>(held.get());
  ASSERT_TRUE(RunColdInstall(context_, L"E:\\", L"status"));
  ASSERT_TRUE(MonitorEnded());

  const std::string bytes = ReadFileBytes(File(L"probe_report.txt"));
  std::wistringstream report(
      std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t)));
  std::wstring command_line, flags, current, pid, inherited;
  std::getline(report, command_line);
  std::getline(report, flags);
  std::getline(report, current);
  std::getline(report, pid);
  std::getline(report, inherited);
  EXPECT_EQ(command_line, L"\"" + work_.Path() + L"ColdInstall.exe\" /S /PE:");
  // (Wine starts every child at normal priority whatever the creation flags ask, so the
  // priority class cannot be observed here.)
  EXPECT_TRUE(std::stoul(flags) & STARTF_FORCEOFFFEEDBACK);
  // Its own folder, the working folder (reported without the final backslash).
  EXPECT_EQ(current + L"\\", work_.Path());
  EXPECT_EQ(inherited, L"0") << "the installer inherited the wizard's handle";
}

// A cancelled build ends the installer through its job (a probe that would stay a minute), fails
// the stage and has joined the monitor by the time the stage returns.
TEST_F(ColdInstallerTest, ACancelEndsTheInstallerAndFailsTheStage) {
  PlaceProbe(0, 1);
  std::ofstream(std::filesystem::path(File(L"probe_plan.txt"))) << "0 1 60000";
  std::wstring pid;
  std::thread canceller([&] {
    pid = WaitForProbePid(File(L"probe_report.txt"));
    SetEvent(context_->cancel_event.get());
  });
  const bool succeeded = RunColdInstall(context_, L"E:\\", L"status");
  canceller.join();
  EXPECT_FALSE(succeeded);
  EXPECT_EQ(context_.use_count(), 1) << "the monitor still runs";
  ASSERT_FALSE(pid.empty()) << "the installer never started";
  const win::UniqueHandle installer(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(pid)));
  EXPECT_TRUE(!installer || WaitForSingleObject(installer.get(), 0) == WAIT_OBJECT_0);
}

// An installer never outlives the wizard: this test program, run again as the wizard's stand-in
// (the test below, selected by the variable COLD_INSTALLER_CHILD_FOLDER), starts a probe that
// stays a minute, and is ended while the probe runs; the probe ends with it.
TEST(ColdInstallerLifetime, TheInstallerEndsWithTheWizard) {
  ScratchFolder work(L"cold installer lifetime");
  ASSERT_TRUE(
      CopyFileW(win::Widen(PROBE_EXE).c_str(), (work.Path() + L"ColdInstall.exe").c_str(), FALSE));
  std::ofstream(std::filesystem::path(work.Path() + L"probe_plan.txt")) << "0 1 60000";
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command_line =
      L"\"" + std::wstring(self) + L"\" --gtest_filter=ColdInstallerLifetime.ChildRunsTheInstaller";
  SetEnvironmentVariableW(L"COLD_INSTALLER_CHILD_FOLDER", work.Path().c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &started));
  SetEnvironmentVariableW(L"COLD_INSTALLER_CHILD_FOLDER", nullptr);
  const win::UniqueHandle child(started.hProcess), child_thread(started.hThread);

  const std::wstring pid = WaitForProbePid(work.Path() + L"probe_report.txt");
  ASSERT_FALSE(pid.empty()) << "the installer never started";
  const win::UniqueHandle installer(
      OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, std::stoul(pid)));
  ASSERT_TRUE(installer);
  EXPECT_EQ(WaitForSingleObject(installer.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  TerminateProcess(child.get(), 3);
  WaitForSingleObject(child.get(), INFINITE);
  const DWORD ended = WaitForSingleObject(installer.get(), 30000);
  if (ended != WAIT_OBJECT_0) TerminateProcess(installer.get(), 0);
  EXPECT_EQ(ended, static_cast<DWORD>(WAIT_OBJECT_0)) << "the installer outlived the wizard";
}

// The wizard's stand-in for the test above; does nothing when run on its own.
TEST(ColdInstallerLifetime, ChildRunsTheInstaller) {
  wchar_t folder[MAX_PATH] = L"";
  if (!GetEnvironmentVariableW(L"COLD_INSTALLER_CHILD_FOLDER", folder, MAX_PATH)) return;
  auto context = std::make_shared<ColdInstallContext>();
  context->work_folder = folder;
  CreateInstallerEvents(*context);
  RunColdInstall(context, L"E:\\", L"status");
}

TEST_F(ColdInstallerTest, AnInstallerThatCannotStartFailsAndStopsTheMonitor) {
  EXPECT_FALSE(RunColdInstall(context_, L"E:\\", L"status"));
  EXPECT_EQ(WaitForSingleObject(context_->stop_event.get(), 0), WAIT_OBJECT_0);
  EXPECT_TRUE(MonitorEnded());
  EXPECT_EQ(Percent(), 49);

  // A file that is no program.
  std::ofstream(std::filesystem::path(File(L"ColdInstall.exe"))) << "not a program";
  Prepare();
  EXPECT_FALSE(RunColdInstall(context_, L"E:\\", L"status"));
  EXPECT_TRUE(MonitorEnded());
}

// A "COLDINSTALL_EVENT" someone else made first could fake the installer's signals: the stage
// fails without starting the installer instead of sharing the event.
TEST_F(ColdInstallerTest, AnInstallerEventThatExistsAlreadyFailsTheStage) {
  context_.reset();  // the fixture's own event goes first
  {
    const win::UniqueHandle planted(CreateEventW(nullptr, FALSE, FALSE, L"COLDINSTALL_EVENT"));
    ASSERT_TRUE(planted);
    auto context = std::make_shared<ColdInstallContext>();
    context->work_folder = work_.Path();
    CreateInstallerEvents(*context);
    EXPECT_TRUE(context->installer_event_taken);
    EXPECT_FALSE(context->installer_event);
    PlaceProbe(3, 1);
    EXPECT_FALSE(RunColdInstall(context, L"E:\\", L"status"));
    EXPECT_EQ(GetFileAttributesW(File(L"probe_report.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  }
  // Once the other holder has let go, the next build makes the event afresh.
  Prepare();
  EXPECT_FALSE(context_->installer_event_taken);
  EXPECT_TRUE(RunColdInstall(context_, L"E:\\", L"status"));
}

// Without its events the monitor has nothing to wait on: it ends at once instead of spinning.
TEST(MonitorInstallerSignals, EndsAtOnceWithoutItsEvents) {
  ColdInstallContext context;
  context.progress.SetPercent(49);
  MonitorInstallerSignals(context);
  context.stop_event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  MonitorInstallerSignals(context);
  EXPECT_EQ(context.progress.Snapshot().percent, 49);
}

}  // namespace
