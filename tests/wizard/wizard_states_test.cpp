// The five states against the real view, window description and translation table, building in
// a scratch folder of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

#include "builder/cold_installer.h"
#include "win/clipboard.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/test_window_view.h"
#include "tests/support/window_description.h"
#include "wizard/wizard_state_machine.h"

namespace {

constexpr uint32_t kUs = 0x0409, kSpain = 0x0C0A;

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A stand-in worker that runs until its build is cancelled.
DWORD WINAPI RunUntilCancelled(void* cancel_event) {
  WaitForSingleObject(cancel_event, INFINITE);
  return 0;
}

// The wizard with its pages' logic only: entering the progress page hands the build over here
// instead of starting a worker, or starts the stand-in worker.
struct Wizard {
  explicit Wizard(uint32_t lcid = kUs) : view(lcid) { machine.Init(); }
  // Applies page requests the way the window does when message 1025 arrives.
  void ApplyRequests() {
    for (int index : view.TakeRequests()) machine.SetState(index);
  }
  ScratchFolder work{L"wizard states"};
  TestWindowView view;
  std::vector<std::shared_ptr<InstallJob>> started;
  bool stand_in_worker = false;
  WizardStateMachine machine{
      view,
      {[this] { return work.Path(); },
       [this](std::shared_ptr<InstallJob> job) {
         started.push_back(job);
         if (!stand_in_worker) return win::UniqueHandle();
         return win::UniqueHandle(
             CreateThread(nullptr, 0, RunUntilCancelled, job->cancel_event.get(), 0, nullptr));
       }}};
};

TEST(WizardStates, InitShowsOnlyTheWelcomePage) {
  Wizard w;
  EXPECT_EQ(w.machine.Current(), Index(WizardState::Welcome));
  EXPECT_TRUE(w.view.Shown("WelcomePage"));
  for (const char* page : {"DrivePage", "ProgressPage", "FinishPage"})
    EXPECT_TRUE(w.view.Hidden(page)) << page;
  EXPECT_TRUE(w.view.TakeRequests().empty());
  EXPECT_FALSE(w.view.timer_enabled);
}

// What each state does with each event: the state it requests (-1: none) and whether it closes
// the window.
TEST(WizardStates, EventTable) {
  struct Row {
    WizardState state;
    int requested[kWizardEventCount];
    bool closes[kWizardEventCount];
  };
  // Events: Start, Refresh, Install, Close, WindowClose, DrivesChanged, Continue, Cancel, Again,
  // SafelyRemove, OpenLog, CopyLog. "Install" asks first (no request); "Continue" and "Cancel"
  // do nothing before it has asked.
  const Row rows[] = {
      {WizardState::Welcome, {1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}, {0, 0, 0, 0, 1}},
      {WizardState::DriveSelection,
       {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
       {0, 0, 0, 0, 1}},
      {WizardState::Progress, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}, {0, 0, 0, 0, 1}},
      // "Try again" and "Make another" lead back to the drive page.
      {WizardState::FinishedOk, {-1, -1, -1, -1, -1, -1, -1, -1, 1, -1, -1, -1}, {0, 0, 0, 1, 1}},
      {WizardState::FinishedError,
       {-1, -1, -1, -1, -1, -1, -1, -1, 1, -1, -1, -1},
       {0, 0, 0, 1, 1}},
  };
  for (const Row& row : rows) {
    for (int event = 0; event < kWizardEventCount; ++event) {
      SCOPED_TRACE(testing::Message() << "state " << Index(row.state) << " event " << event);
      Wizard w;
      w.machine.SetState(Index(row.state));
      w.view.TakeRequests();
      w.machine.DispatchEvent(static_cast<WizardEvent>(event));
      const std::vector<int> expected =
          row.requested[event] < 0 ? std::vector<int>{} : std::vector<int>{row.requested[event]};
      EXPECT_EQ(w.view.TakeRequests(), expected);
      EXPECT_EQ(w.view.close_calls, row.closes[event] ? 1 : 0);
      EXPECT_EQ(w.machine.Current(),
                Index(row.state));  // requests apply later, on the window's turn
    }
  }
}

// The drive chosen in the list reaches the build as its root, and the installer's command line
// names it.
TEST(WizardStates, TheSelectedDriveReachesTheInstallerCommandLine) {
  // The test prefix has one removable drive, E:, beside fixed C: and Z:.
  Wizard w;
  w.machine.DispatchEvent(WizardEvent::Start);
  w.ApplyRequests();
  EXPECT_EQ(w.machine.Current(), Index(WizardState::DriveSelection));
  EXPECT_TRUE(w.view.Hidden("WelcomePage"));
  EXPECT_TRUE(w.view.Shown("DrivePage"));
  auto* list = w.view.Scene().FindAs<ui::DropDown>("DriveList");
  ASSERT_EQ(list->ItemCount(), 1);
  EXPECT_EQ(list->Item(0).substr(0, 4), L"E:  ");  // then its size: the prefix's E: has no label
  EXPECT_EQ(list->ItemValue(0), L"E:\\");
  EXPECT_EQ(list->Selected(), 0);

  // A refresh rebuilds the list rather than appending to it.
  w.machine.DispatchEvent(WizardEvent::Refresh);
  EXPECT_EQ(list->ItemCount(), 1);
  EXPECT_EQ(list->Selected(), 0);

  w.machine.DispatchEvent(WizardEvent::Install);
  w.machine.DispatchEvent(WizardEvent::Continue);
  w.ApplyRequests();
  ASSERT_EQ(w.started.size(), 1u);
  const InstallJob& job = *w.started[0];
  EXPECT_EQ(job.drive_root, L"E:\\");
  EXPECT_EQ(job.window, w.view.Window());
  EXPECT_EQ(job.work_folder, w.work.Path());
  EXPECT_EQ(ColdInstallCommandLine(job.work_folder, job.drive_root),
            L"\"" + w.work.Path() + L"ColdInstall.exe\" /S /PE:");
}

TEST(WizardStates, DriveListShowsNamesLabelsAndSizesAndKeepsRoots) {
  TestWindowView view(kUs);
  auto* list = view.Scene().FindAs<ui::DropDown>("DriveList");
  view.SetDrives({{L"F:\\", L"RESCUE", 15'931'539'456},
                  {L"G:\\", L"", 0},
                  {L"\\\\server\\share\\", L"Share", 512'000'000}},
                 L"");
  ASSERT_EQ(list->ItemCount(), 3);
  EXPECT_EQ(list->Item(0), L"F:  RESCUE  15.9 GB");
  EXPECT_EQ(list->Item(1), L"G:");  // no medium: no label, no size
  EXPECT_EQ(list->Item(2), L"\\\\server\\share\\  Share  512.0 MB");  // no drive colon: whole
  EXPECT_EQ(view.SelectedDrive(), L"F:\\");
  list->SetSelected(1);
  EXPECT_EQ(view.SelectedDrive(), L"G:\\");
  EXPECT_TRUE(view.Control("InstallButton")->Enabled());
  EXPECT_TRUE(list->Enabled());
  EXPECT_FALSE(view.Control("NoDriveNotice")->Visible());
  EXPECT_EQ(view.Control("DrivePicture")->Opacity(), 1.0f);

  // The list again with the chosen drive kept where it still is, else the first; an open list
  // stays open over its new rows.
  list->SetOpen(true);
  view.SetDrives({{L"E:\\", L"", 0}, {L"G:\\", L"", 0}}, L"G:\\");
  EXPECT_EQ(view.SelectedDrive(), L"G:\\");
  EXPECT_TRUE(list->IsOpen());
  view.SetDrives({{L"E:\\", L"", 0}, {L"H:\\", L"", 0}}, L"G:\\");
  EXPECT_EQ(view.SelectedDrive(), L"E:\\");

  // The drive pulled out: the list empties and closes, "Install" is disabled, the notice shows
  // over the dimmed picture.
  view.SetDrives({}, L"E:\\");
  EXPECT_EQ(list->ItemCount(), 0);
  EXPECT_FALSE(list->IsOpen());
  EXPECT_EQ(view.SelectedDrive(), L"");
  EXPECT_FALSE(list->Enabled());
  EXPECT_FALSE(view.Control("InstallButton")->Enabled());
  EXPECT_FALSE(view.Control("DrivePicture")->Enabled());
  EXPECT_TRUE(view.Control("NoDriveNotice")->Visible());
  EXPECT_EQ(view.Control("DrivePicture")->Opacity(), 0.5f);
}

// A Spanish user reads sizes with a decimal comma.
TEST(WizardStates, DriveSizesUseTheUsersDecimalMark) {
  TestWindowView view(kSpain);
  view.SetDrives({{L"E:\\", L"USB", 7'750'000'000}}, L"");
  EXPECT_EQ(view.Scene().FindAs<ui::DropDown>("DriveList")->Item(0), L"E:  USB  7,8 GB");
}

// A USB disk is marked; a drive that cannot take the rescue system says why in the list, keeps
// Install disabled while chosen, and the page says what to do about it.
TEST(WizardStates, DriveProblemsDisableInstallAndSayWhatToDo) {
  TestWindowView view(kSpain);
  auto* list = view.Scene().FindAs<ui::DropDown>("DriveList");
  auto* install = view.Control("InstallButton");
  auto* notice = view.Control("DriveProblemNotice");
  const uint64_t big = 16'000'000'000;
  view.SetDrives({{L"E:\\", L"", 0, false, DriveProblem::NoMedium},
                  {L"F:\\", L"LOCKED", big, false, DriveProblem::WriteProtected},
                  {L"G:\\", L"OLD", 128'000'000, false, DriveProblem::TooSmall},
                  {L"H:\\", L"SSD", big, true, DriveProblem::None}},
                 L"");
  const struct {
    const wchar_t* item;
    std::wstring advice;  // empty: Install is enabled and the notice hidden
  } cases[] = {
      {L"E:  (sin medio)",
       L"Esta unidad no tiene ning\u00fan medio: inserta uno y pulsa Actualizar."},
      {L"F:  LOCKED  16,0 GB  (protegida contra escritura)",
       L"Esta unidad est\u00e1 protegida contra escritura: desbloquea su interruptor o elige otra "
       L"unidad."},
      {L"G:  OLD  128,0 MB  (demasiado peque\u00f1a)",
       L"Esta unidad es demasiado peque\u00f1a: elige una de al menos " +
           SizeText(RequiredDriveBytes(), L',') + L"."},
      {L"H:  SSD  16,0 GB  Disco USB", L""},
  };
  ASSERT_EQ(list->ItemCount(), 4);
  // Walk down the list and back up: each choice sets Install and the advice afresh.
  for (int index : {0, 1, 2, 3, 2, 1, 0, 3}) {
    list->SetSelected(index);
    const auto& c = cases[index];
    EXPECT_EQ(list->Item(index), c.item);
    EXPECT_EQ(install->Enabled(), c.advice.empty()) << index;
    EXPECT_EQ(notice->Visible(), !c.advice.empty()) << index;
    EXPECT_EQ(notice->Text(), c.advice) << index;
  }
  // Listed again, a drive with a problem keeps Install disabled; an empty list drops the advice.
  view.SetDrives({{L"E:\\", L"", 0, false, DriveProblem::NoMedium}}, L"E:\\");
  EXPECT_FALSE(install->Enabled());
  EXPECT_TRUE(notice->Visible());
  view.SetDrives({}, L"");
  EXPECT_FALSE(notice->Visible());
}

// "Install" asks first, on a page of the window's own: the drive, what it holds and that it may
// be lost. "Cancel" goes back to the list; only "Continue" starts the build.
TEST(WizardStates, InstallAsksBeforeTheBuildStarts) {
  Wizard w;
  w.machine.SetState(Index(WizardState::DriveSelection));
  w.machine.DispatchEvent(WizardEvent::Install);
  EXPECT_TRUE(w.view.TakeRequests().empty());
  EXPECT_TRUE(w.view.Hidden("DrivePage"));
  EXPECT_TRUE(w.view.Shown("ConfirmPage"));
  EXPECT_EQ(w.view.Control("ConfirmDrive")->Text().substr(0, 4), L"E:  ");  // the test prefix's E:
  EXPECT_FALSE(w.view.Control("ConfirmContents")->Text().empty());
  EXPECT_FALSE(w.view.Control("ConfirmDiskWarning")->Visible());
  // While the question is shown, a second "Install", a refresh or another drive coming or
  // going changes nothing as long as the drive asked about is still there.
  w.machine.DispatchEvent(WizardEvent::Install);
  w.machine.DispatchEvent(WizardEvent::Refresh);
  w.machine.DispatchEvent(WizardEvent::DrivesChanged);
  EXPECT_TRUE(w.view.Shown("ConfirmPage"));
  EXPECT_TRUE(w.view.Hidden("DrivePage"));

  w.machine.DispatchEvent(WizardEvent::Cancel);
  EXPECT_TRUE(w.view.Shown("DrivePage"));
  EXPECT_TRUE(w.view.Hidden("ConfirmPage"));
  EXPECT_TRUE(w.view.TakeRequests().empty());
  w.machine.DispatchEvent(WizardEvent::Continue);  // the question is gone: nothing to continue
  EXPECT_TRUE(w.view.TakeRequests().empty());

  w.machine.DispatchEvent(WizardEvent::Install);
  w.machine.DispatchEvent(WizardEvent::Continue);
  EXPECT_EQ(w.view.TakeRequests(), std::vector<int>{Index(WizardState::Progress)});
  w.ApplyRequests();
  w.machine.SetState(Index(WizardState::Progress));
  EXPECT_TRUE(w.view.Hidden("ConfirmPage"));
  EXPECT_TRUE(w.view.Hidden("DrivePage"));
}

// The question's lines in both languages: the drive as the list names it, what it holds (capped
// counts say "more than"), and the firmer warning for a USB disk only.
TEST(WizardStates, TheQuestionNamesTheDriveAndWhatItHolds) {
  const RemovableDrive stick{L"E:\\", L"RESCUE", 15'931'539'456, false, DriveProblem::None};
  const RemovableDrive disk{L"F:\\", L"BACKUP", 500'107'862'016, true, DriveProblem::None};
  const struct {
    uint32_t lcid;
    RemovableDrive drive;
    DriveContents contents;
    const wchar_t* line;
    const wchar_t* holds;
  } cases[] = {
      {kUs, stick, {0, 0, false}, L"E:  RESCUE  15.9 GB", L"It holds no files."},
      {kUs, stick, {1, 2'500'000, false}, L"E:  RESCUE  15.9 GB", L"It holds 1 file (2.5 MB)."},
      {kUs, stick, {3, 120, false}, L"E:  RESCUE  15.9 GB", L"It holds 3 files (< 0.1 MB)."},
      {kUs,
       disk,
       {10000, 7'340'000'000, true},
       L"F:  BACKUP  500.1 GB  USB disk",
       L"It holds more than 10000 files (7.3 GB)."},
      {kSpain,
       stick,
       {42, 1'250'000'000, false},
       L"E:  RESCUE  15,9 GB",
       L"Contiene 42 archivos (1,3 GB)."},
      {kSpain,
       disk,
       {10000, 60'000, true},
       L"F:  BACKUP  500,1 GB  Disco USB",
       L"Contiene m\u00e1s de 10000 archivos (< 0,1 MB)."},
  };
  for (const auto& c : cases) {
    TestWindowView view(c.lcid);
    view.SetConfirmation(c.drive, c.contents);
    EXPECT_EQ(view.Control("ConfirmDrive")->Text(), c.line);
    EXPECT_EQ(view.Control("ConfirmContents")->Text(), c.holds);
    EXPECT_EQ(view.Control("ConfirmDiskWarning")->Visible(), c.drive.usb_disk) << c.line;
  }
}

// A volume arriving or leaving lists the drives again on the drive page only, keeping the choice;
// "Refresh" still selects the first drive.
TEST(WizardStates, DrivesChangedRefreshesOnlyTheDrivePage) {
  Wizard w;
  auto* list = w.view.Scene().FindAs<ui::DropDown>("DriveList");
  w.machine.DispatchEvent(WizardEvent::DrivesChanged);
  EXPECT_EQ(list->ItemCount(), 0);  // the welcome page does not list drives
  w.machine.SetState(Index(WizardState::DriveSelection));
  ASSERT_EQ(list->ItemCount(), 1);  // the test prefix's E:
  list->ClearItems();
  w.machine.DispatchEvent(WizardEvent::DrivesChanged);
  ASSERT_EQ(list->ItemCount(), 1);
  EXPECT_EQ(w.view.SelectedDrive(), L"E:\\");
}

TEST(WizardStates, ProgressPageShowsTheRecordAndRunsTheTimer) {
  for (const auto& [lcid, downloading] :
       {std::pair{kUs, L"Downloading"}, std::pair{kSpain, L"Descargando"}}) {
    Wizard w(lcid);
    auto* bar = w.view.Scene().FindAs<ui::ProgressBar>("ProgressBar");
    EXPECT_EQ(bar->Value(), 33);  // as the description has it
    w.machine.SetState(Index(WizardState::DriveSelection));
    w.machine.SetState(Index(WizardState::Progress));
    EXPECT_TRUE(w.view.Shown("ProgressPage"));
    EXPECT_TRUE(w.view.timer_enabled);
    EXPECT_EQ(bar->Value(), 0);
    EXPECT_EQ(w.view.Control("StatusLabel")->Text(), downloading);
    EXPECT_TRUE(Exists(w.work.Path()));
    ASSERT_EQ(w.started.size(), 1u);

    ProgressSnapshot progress;
    w.machine.GetProgressInfo(progress);
    EXPECT_EQ(progress.percent, 0);
    EXPECT_EQ(progress.status, downloading);
    w.started[0]->progress.SetPercent(37);
    w.machine.GetProgressInfo(progress);
    EXPECT_EQ(progress.percent, 37);

    // Leaving the page deletes the working folder.
    w.machine.SetState(Index(WizardState::FinishedOk));
    EXPECT_FALSE(w.view.timer_enabled);
    EXPECT_TRUE(w.view.Hidden("ProgressPage"));
    EXPECT_TRUE(w.view.Shown("FinishPage"));
    EXPECT_FALSE(Exists(w.work.Path()));
  }
}

// What an earlier run left in the working folder goes when the wizard starts.
// Starting makes the working folder new; a folder someone left at its path is neither taken over
// nor emptied.
TEST(WizardStates, StartingMakesTheWorkingFolderNewAndNeverTakesOneOver) {
  TestWindowView view(kUs);
  ScratchFolder scratch(L"wizard leftovers");
  const std::wstring fresh = scratch.Path() + L"fresh\\";
  {
    WizardStateMachine machine(
        view,
        {[&] { return fresh; }, [](std::shared_ptr<InstallJob>) { return win::UniqueHandle(); }});
    machine.Init();
    EXPECT_TRUE(Exists(fresh));
  }
  const std::wstring leftover = scratch.Path() + L"scanner.zip";
  CloseHandle(CreateFileW(leftover.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(Exists(leftover));
  WizardStateMachine machine(view,
                             {[&] { return scratch.Path(); },
                              [](std::shared_ptr<InstallJob>) { return win::UniqueHandle(); }});
  machine.Init();
  EXPECT_TRUE(Exists(leftover));
}

// Closing asks only while a build runs: "no" keeps it running with its folder; "yes" cancels it,
// joins its worker and removes the working folder before the window may go.
TEST(WizardStates, CloseDuringABuildAsksFirst) {
  const struct {
    WizardState state;
    bool worker_runs;
    bool answer;
    bool closes;
    bool folder_stays;
  } cases[] = {
      {WizardState::Welcome, false, false, true, true},
      {WizardState::Progress, false, false, true, true},  // the worker has ended
      {WizardState::Progress, true, false, false, true},
      {WizardState::Progress, true, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << Index(c.state) << c.worker_runs << c.answer);
    Wizard w;
    w.stand_in_worker = c.worker_runs;
    w.view.stop_answer = c.answer;
    w.machine.SetState(Index(c.state));
    EXPECT_EQ(w.machine.ConfirmClose(), c.closes);
    EXPECT_EQ(w.view.stop_questions, c.worker_runs ? 1 : 0);
    EXPECT_EQ(Exists(w.work.Path()), c.folder_stays);
    if (!c.worker_runs) continue;
    const HANDLE cancel = w.started[0]->cancel_event.get();
    EXPECT_EQ(WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0, c.answer);
    // Asked again, "yes" ends the build that "no" kept; nothing is asked once it has ended.
    w.view.stop_answer = true;
    EXPECT_TRUE(w.machine.ConfirmClose());
    EXPECT_FALSE(Exists(w.work.Path()));
    EXPECT_TRUE(w.machine.ConfirmClose());
    EXPECT_EQ(w.view.stop_questions, c.answer ? 1 : 2);
  }
}

TEST(WizardStates, FinishWhileOnTheProgressPageSkipsItsExit) {
  Wizard w;
  w.machine.SetState(Index(WizardState::Progress));
  w.machine.Finish();
  EXPECT_TRUE(w.view.timer_enabled);
  EXPECT_TRUE(w.view.Shown("ProgressPage"));
  EXPECT_TRUE(Exists(w.work.Path()));
}

TEST(WizardStates, FinishPagesInEnglishAndSpanish) {
  const struct {
    uint32_t lcid;
    WizardState state;
    const wchar_t* title;
    const wchar_t* text_start;
    bool success_picture;
    const wchar_t* close_button;
  } cases[] = {
      {kUs, WizardState::FinishedOk, L"Rescue USB drive created correctly", L"Now you can boot up",
       true, L"Close"},
      {kUs, WizardState::FinishedError, L"Could not install the rescue USB drive",
       L"There was an error trying", false, L"Close"},
      {kSpain, WizardState::FinishedOk, L"USB de an\u00e1lisis generado correctamente",
       L"Ahora puedes arrancar", true, L"Cerrar"},
      {kSpain, WizardState::FinishedError, L"No se ha instalado el an\u00e1lisis autoarrancable",
       L"Se ha producido un error", false, L"Cerrar"},
  };
  for (const auto& c : cases) {
    Wizard w(c.lcid);
    w.machine.SetState(Index(c.state));
    EXPECT_EQ(w.view.Control("FinishTitle")->Text(), c.title);
    EXPECT_EQ(w.view.Control("FinishText")->Text().rfind(c.text_start, 0), 0u);
    EXPECT_EQ(w.view.Control("SuccessPicture")->Visible(), c.success_picture);
    EXPECT_EQ(w.view.Control("ErrorPicture")->Visible(), !c.success_picture);
    EXPECT_TRUE(w.view.Shown("FinishPage"));
    // The lookup's first use selected the language for the window's own texts as well.
    EXPECT_EQ(w.view.Control("CloseButton")->Text(), c.close_button);
  }
}

// The error page's lines under its message name the failed step and its reason with the
// failure's details, and what to do about it, through the real translation table; the next line
// names the build's log.
TEST(WizardStates, TheErrorPageNamesTheFailureInEnglishAndSpanish) {
  auto failure = [](FailureReason reason, const wchar_t* file = L"", std::uint32_t number = 0,
                    const wchar_t* entry = L"", const wchar_t* volume = L"") {
    return BuildFailure{reason, file, volume, entry, number};
  };
  const wchar_t* const later_en =
      L"Try again later. If it keeps failing, ask support for help and send them the log.";
  const wchar_t* const later_es =
      L"Vuelve a intentarlo m\u00e1s tarde. Si sigue fallando, pide ayuda al soporte t\u00e9cnico "
      L"y env\u00edale el registro.";
  const struct {
    BuildFailure failure;
    const wchar_t* english;
    const wchar_t* spanish;
    const wchar_t* advice_english;
    const wchar_t* advice_spanish;
  } cases[] = {
      {failure(FailureReason::kServerUnreachable, L"scanner.zip"),
       L"Download: the server could not be reached.",
       L"Descarga: no se ha podido conectar con el servidor.",
       L"Check the internet connection, then click Try again.",
       L"Comprueba la conexi\u00f3n a Internet y pulsa Reintentar."},
      {failure(FailureReason::kHttpStatus, L"system.zip", 404),
       L"Download: the server did not send system.zip (status 404).",
       L"Descarga: el servidor no ha enviado system.zip (estado 404).", later_en, later_es},
      {failure(FailureReason::kDownloadCutOff, L"scanner.zip"),
       L"Download: the download of scanner.zip was cut off.",
       L"Descarga: la descarga de scanner.zip se ha cortado.",
       L"Check the internet connection, then click Try again.",
       L"Comprueba la conexi\u00f3n a Internet y pulsa Reintentar."},
      {failure(FailureReason::kNotEnoughSpace, L"system.zip", 0, L"", L"C:"),
       L"Unpacking: not enough free space on C:.",
       L"Descompresi\u00f3n: no hay espacio libre suficiente en C:.",
       L"Free some space on C:, then click Try again.",
       L"Libera espacio en C: y pulsa Reintentar."},
      {failure(FailureReason::kArchiveDamaged, L"scanner.zip"),
       L"Unpacking: the archive scanner.zip is damaged.",
       L"Descompresi\u00f3n: el archivo scanner.zip est\u00e1 da\u00f1ado.", later_en, later_es},
      // A name from the archive that looks like a placeholder is shown as it is.
      {failure(FailureReason::kEntryRefused, L"system.zip", 7, L"..\\{code}{file}.txt"),
       L"Unpacking: system.zip was refused to protect this computer, because of its entry "
       L"..\\{code}{file}.txt",
       L"Descompresi\u00f3n: se ha rechazado system.zip para proteger este equipo, por su "
       L"elemento ..\\{code}{file}.txt",
       later_en, later_es},
      {failure(FailureReason::kLibrary), L"Unpacking: the extraction library could not be loaded.",
       L"Descompresi\u00f3n: no se ha podido cargar la biblioteca de extracci\u00f3n.",
       L"Download this program again from its publisher and run the new copy.",
       L"Vuelve a descargar este programa de su editor y ejecuta la copia nueva."},
      {failure(FailureReason::kInstallerNotAuthentic),
       L"Installing: the installer is not authentic.",
       L"Instalaci\u00f3n: el instalador no es aut\u00e9ntico.", later_en, later_es},
      // The installer's own failure reads as one, whatever its code.
      {failure(FailureReason::kInstallerExitCode, L"", 0),
       L"Installing: the installer failed (code 0).",
       L"Instalaci\u00f3n: el instalador ha fallado (c\u00f3digo 0).",
       L"Use another USB drive, or check this one in another computer, then click Try again.",
       L"Usa otra llave USB, o comprueba esta en otro equipo, y pulsa Reintentar."},
      // A crash or a kill: an NTSTATUS value, in hex.
      {failure(FailureReason::kInstallerExitCode, L"", 0xC0000005),
       L"Installing: the installer failed (code 0xC0000005).",
       L"Instalaci\u00f3n: el instalador ha fallado (c\u00f3digo 0xC0000005).",
       L"Use another USB drive, or check this one in another computer, then click Try again.",
       L"Usa otra llave USB, o comprueba esta en otro equipo, y pulsa Reintentar."},
      {failure(FailureReason::kAnotherBuild), L"Installing: another build is running.",
       L"Instalaci\u00f3n: ya se est\u00e1 creando otro USB de an\u00e1lisis.",
       L"Close the other program that is creating a rescue USB drive, then click Try again.",
       L"Cierra el otro programa que est\u00e1 creando un USB de an\u00e1lisis y pulsa "
       L"Reintentar."},
      {failure(FailureReason::kWorkFolder),
       L"Preparing: the working folder could not be made ready.",
       L"Preparaci\u00f3n: no se ha podido preparar la carpeta de trabajo.",
       L"Restart the computer, then click Try again. If it keeps failing, ask support for help "
       L"and send them the log.",
       L"Reinicia el equipo y pulsa Reintentar. Si sigue fallando, pide ayuda al soporte "
       L"t\u00e9cnico y env\u00edale el registro."},
  };
  const std::wstring log = L"C:\\users\\me\\AppData\\Local\\USBWizard\\last-build.log";
  for (const auto& c : cases) {
    for (const auto& [lcid, line, advice, details, try_again] :
         {std::tuple{kUs, c.english, c.advice_english, L"Details in ", L"Try again"},
          std::tuple{kSpain, c.spanish, c.advice_spanish, L"Detalles en ", L"Reintentar"}}) {
      SCOPED_TRACE(testing::Message() << lcid << " " << c.english);
      Wizard w(lcid);
      w.machine.SetReport({c.failure, log});
      w.machine.SetState(Index(WizardState::FinishedError));
      EXPECT_EQ(w.view.Control("FinishReason")->Text(), line);
      EXPECT_EQ(w.view.Control("FinishAdvice")->Text(), advice);
      EXPECT_EQ(w.view.Control("FinishDetails")->Text(), details + log);
      for (const char* name : {"FinishReason", "FinishAdvice", "FinishDetails"})
        EXPECT_TRUE(w.view.Control(name)->EffectivelyVisible()) << name;
      for (const char* name : {"TryAgainButton", "OpenLogButton", "CopyLogButton", "CloseButton"})
        EXPECT_TRUE(w.view.Shown(name) && w.view.Control(name)->EffectivelyVisible()) << name;
      EXPECT_EQ(w.view.Control("TryAgainButton")->Text(), try_again);
      EXPECT_FALSE(w.view.Control("SafelyRemoveButton")->EffectivelyVisible());
    }
  }
}

// Every reason has its Spanish line and advice, with the same placeholders.
TEST(WizardStates, EveryFailureReasonIsTranslated) {
  TestWindowView spanish(kSpain);
  for (int i = static_cast<int>(FailureReason::kWorkFolder);
       i <= static_cast<int>(FailureReason::kOlderRelease); ++i) {
    const auto reason = static_cast<FailureReason>(i);
    for (const wchar_t* key : {FailureLineKey(reason), FailureAdviceKey(reason)}) {
      SCOPED_TRACE(testing::Message() << i);
      ASSERT_NE(*key, L'\0');
      const std::wstring translated = spanish.LookupTranslation(key);
      EXPECT_NE(translated, key);
      for (const wchar_t* placeholder :
           {L"{file}", L"{status}", L"{volume}", L"{entry}", L"{code}"})
        EXPECT_EQ(std::wstring(key).find(placeholder) == std::wstring::npos,
                  translated.find(placeholder) == std::wstring::npos)
            << translated;
    }
  }
}

// The worker's failure travels with the page change; a success hides both lines, a build
// without a log the second.
TEST(WizardStates, TheProgressPageHandsItsFailureToTheFinishPage) {
  for (const WizardState finish : {WizardState::FinishedError, WizardState::FinishedOk}) {
    Wizard w;
    w.machine.SetState(Index(WizardState::Progress));
    ASSERT_EQ(w.started.size(), 1u);
    w.started[0]->failure = BuildFailure{FailureReason::kHttpStatus, L"scanner.zip"};
    w.started[0]->failure.number = 503;
    w.machine.SetState(Index(finish));
    const bool failed = finish == WizardState::FinishedError;
    EXPECT_EQ(w.view.Control("FinishReason")->Text(),
              failed ? L"Download: the server did not send scanner.zip (status 503)." : L"");
    EXPECT_EQ(w.view.Control("FinishReason")->Visible(), failed);
    EXPECT_EQ(w.view.Control("FinishDetails")->Text(), L"");
    EXPECT_FALSE(w.view.Control("FinishDetails")->Visible());
  }
}

// "Try again" after a failure and "Make another" after a success lead back to the drive page,
// and "Install" (then "Continue") there starts another build with a job of its own: new events, a
// new progress record, the working folder made afresh, nothing of the last build's failure.
TEST(WizardStates, TryAgainAndMakeAnotherBuildAgainWithAFreshJob) {
  Wizard w;
  int builds = 0;
  w.machine.SetState(Index(WizardState::DriveSelection));
  for (const WizardState finish :
       {WizardState::FinishedError, WizardState::FinishedOk, WizardState::FinishedError}) {
    w.machine.DispatchEvent(WizardEvent::Install);  // asks first
    w.machine.DispatchEvent(WizardEvent::Continue);
    w.ApplyRequests();
    ASSERT_EQ(w.machine.Current(), Index(WizardState::Progress));
    const std::shared_ptr<InstallJob> job = w.started.back();
    ++builds;
    EXPECT_EQ(job->failure.reason, FailureReason::kNone);
    // The installer's event is the job's own: the last build no longer holds it.
    EXPECT_FALSE(job->installer_event_taken);
    EXPECT_EQ(WaitForSingleObject(job->cancel_event.get(), 0), WAIT_TIMEOUT);
    EXPECT_EQ(job->progress.Snapshot().percent, 0);
    // The scratch folder is there before the first build, so the wizard does not take it over;
    // each later build makes it afresh after the finish page removed the last one's.
    EXPECT_EQ(job->work_folder_ready, builds > 1);
    EXPECT_TRUE(Exists(w.work.Path()));
    // The build ends on its page: failed, or not.
    if (finish == WizardState::FinishedError)
      job->failure = BuildFailure{FailureReason::kArchiveDamaged, L"system.zip"};
    job->progress.SetPercent(61);
    SetEvent(job->cancel_event.get());
    w.machine.SetState(Index(finish));
    EXPECT_FALSE(Exists(w.work.Path()));
    const bool failed = finish == WizardState::FinishedError;
    EXPECT_EQ(w.view.Control("TryAgainButton")->EffectivelyVisible(), failed);
    EXPECT_EQ(w.view.Control("SafelyRemoveButton")->EffectivelyVisible(), !failed);
    EXPECT_EQ(w.view.Control("MakeAnotherButton")->EffectivelyVisible(), !failed);
    EXPECT_EQ(w.machine.Report().drive_root, L"E:\\");

    w.machine.DispatchEvent(WizardEvent::Again);
    w.ApplyRequests();
    EXPECT_EQ(w.machine.Current(), Index(WizardState::DriveSelection));
    EXPECT_TRUE(w.view.Hidden("FinishPage"));
    EXPECT_TRUE(w.view.Shown("DrivePage"));
    EXPECT_EQ(w.view.SelectedDrive(), L"E:\\");
    // The worker lets go of its job when it ends; so does this stand-in.
    w.started.clear();
  }
  w.machine.DispatchEvent(WizardEvent::Install);
  w.machine.DispatchEvent(WizardEvent::Continue);
  w.ApplyRequests();
  ASSERT_EQ(w.started.size(), 1u);
  EXPECT_FALSE(w.started[0]->installer_event_taken);
  EXPECT_EQ(w.started[0]->progress.Snapshot().percent, 0);
  EXPECT_TRUE(w.started[0]->work_folder_ready);
}

// "Copy" puts the log's place on the clipboard and says so on the log's line, in the user's
// language.
TEST(WizardStates, CopyPutsTheLogsPlaceOnTheClipboard) {
  const std::wstring log = L"C:\\users\\me\\AppData\\Local\\USBWizard\\last-build.log";
  for (const auto& [lcid, note] : {std::pair{kUs, L"Copied to the clipboard: "},
                                   std::pair{kSpain, L"Copiado al portapapeles: "}}) {
    Wizard w(lcid);
    ASSERT_TRUE(win::CopyTextToClipboard(w.view.Window(), L"something else"));
    w.machine.SetReport({BuildFailure{FailureReason::kServerUnreachable}, log});
    w.machine.SetState(Index(WizardState::FinishedError));
    w.machine.DispatchEvent(WizardEvent::CopyLog);
    EXPECT_EQ(win::ClipboardText(w.view.Window()), log);
    EXPECT_EQ(w.view.Control("FinishDetails")->Text(), note + log);
  }
}

TEST(WizardStates, WindowTextsFollowTheLanguageChosenAtLoad) {
  TestWindowView spanish(kSpain);
  spanish.TranslateAtLoad(L"es");
  EXPECT_EQ(spanish.Control("StartButton")->Text(), L"Comenzar");
  EXPECT_EQ(spanish.Control("WindowFrame")->Text(),
            L"Asistente para el USB de an\u00e1lisis de Tovix Scourlet");
  EXPECT_EQ(spanish.Control("StatusLabel")->Text(), L"Descargando");
  EXPECT_EQ(spanish.Control("StartButton")->Key(), L"Start");

  TestWindowView german(0x0407);
  german.TranslateAtLoad(L"de");
  EXPECT_EQ(german.Control("StartButton")->Text(), L"Start");
  // The German user's first lookup selects the identity language: still English.
  EXPECT_EQ(german.LookupTranslation(L"Install"), L"Install");
  EXPECT_EQ(german.Control("InstallButton")->Text(), L"Install");
}

// The table's window-text list names exactly the texts the window description holds.
TEST(WizardStates, WindowTextListMatchesTheDescription) {
  TestWindowView view(kUs);
  std::vector<std::wstring> texts;
  std::function<void(const ui::Control&)> collect = [&](const ui::Control& control) {
    if (!control.Key().empty()) texts.push_back(control.Key());
    for (size_t i = 0; i < control.ChildCount(); ++i) collect(*control.Child(i));
  };
  collect(*view.Scene().Root());
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());  // "Close": button and box
  EXPECT_EQ(texts, LoadStoredTranslationTable().window_texts);
}

}  // namespace
