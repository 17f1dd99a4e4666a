#include "usb_progress_state.h"

#include "usb_wizard_sm.h"
#include "wizard_form.h"
#include "work_folder.h"

USBProgressState::USBProgressState(USBWizardSM* owner) : StateBase(owner, USBProgress) {
  owner->RegisterState(index, this);
  job = CreateInstallJob(progress);
  InstallThread = std::make_unique<TThread_ThreadDoInstall>(job);
}

void USBProgressState::Enter() {
  // The first translation lookup happens here, on the window thread: it may re-translate the
  // window's texts.
  progress->SetStatusText(Form1->LookupTranslation(L"Downloading"));
  ExtractUrarLibrary(job->WorkFolder);
  progress->SetPercent(0);
  // What the worker needs of the window is taken here, on the window thread.
  job->window = Form1->Handle();
  job->InstallingText = Form1->LookupTranslation(L"Installing the rescue USB drive");
  auto* drives = Form1->Scene().FindAs<ui::DropDown>("ComboBox1");
  if (drives && drives->Selected() >= 0) job->DriveLetter = drives->Item(drives->Selected());
  if (InstallThread) StartInstallThread(std::move(InstallThread));
  if (auto* bar = Form1->Scene().FindAs<ui::ProgressBar>("ProgressBar1")) bar->SetValue(0);
  ShowControl("Layout_Progress", true);
  Form1->SetProgressTimerEnabled(true);
}

void USBProgressState::Exit() {
  ResetWorkFolder(job->WorkFolder);
  Form1->SetProgressTimerEnabled(false);
  ShowControl("Layout_Progress", false);
}

void USBProgressState::HandleEvent(int event) {
  if (event == WindowClose) Form1->Close();
}

void USBProgressState::GetProgressInfo(int& percent, std::wstring& status) {
  percent = progress->GetPercent();
  status = progress->GetStatusText();
}
