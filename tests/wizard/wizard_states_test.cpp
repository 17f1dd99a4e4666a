// The five states against the real window description and translation table.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "test_form.h"
#include "usb_progress_state.h"
#include "usb_wizard_sm.h"

namespace {

constexpr uint32_t kUs = 0x0409, kSpain = 0x0C0A;

struct Wizard {
  explicit Wizard(uint32_t lcid = kUs) : form(lcid) {
    // The pages' logic only: entering the progress page starts no build here.
    StartInstallThread = [](std::unique_ptr<SelfReleasingThread>) { return true; };
    machine.Init();
  }
  // Applies page requests the way the window does when message 1025 arrives.
  void ApplyRequests() {
    for (int index : form.TakeRequests()) machine.SetState(index);
  }
  TestForm form;
  USBWizardSM machine;
};

TEST(WizardStates, InitShowsOnlyTheWelcomePage) {
  Wizard w;
  EXPECT_EQ(w.machine.Current(), Welcome);
  EXPECT_TRUE(w.form.Shown("Layout_Init"));
  for (const char* page : {"Layout_USBSelect", "Layout_Progress", "Layout_Finish"})
    EXPECT_TRUE(w.form.Hidden(page)) << page;
  EXPECT_TRUE(w.form.TakeRequests().empty());
  EXPECT_FALSE(w.form.timer_enabled);
}

// What each state does with each event: the page it requests (-1: none) and whether it closes
// the window.
TEST(WizardStates, EventTable) {
  struct Row {
    int state;
    int requested[5];
    bool closes[5];
  };
  const Row rows[] = {
      {Welcome, {USBSelecting, -1, -1, -1, -1}, {false, false, false, false, true}},
      {USBSelecting, {-1, -1, USBProgress, -1, -1}, {false, false, false, false, true}},
      {USBProgress, {-1, -1, -1, -1, -1}, {false, false, false, false, true}},
      {USBFinishOK, {-1, -1, -1, -1, -1}, {false, false, false, true, true}},
      {USBFinishError, {-1, -1, -1, -1, -1}, {false, false, false, true, true}},
  };
  for (const Row& row : rows) {
    for (int event = Start; event <= WindowClose; ++event) {
      Wizard w;
      w.machine.SetState(row.state);
      w.form.TakeRequests();
      w.machine.DispatchEvent(event);
      const std::vector<int> expected =
          row.requested[event] < 0 ? std::vector<int>{} : std::vector<int>{row.requested[event]};
      EXPECT_EQ(w.form.TakeRequests(), expected) << "state " << row.state << " event " << event;
      EXPECT_EQ(w.form.close_calls, row.closes[event] ? 1 : 0)
          << "state " << row.state << " event " << event;
      EXPECT_EQ(w.machine.Current(), row.state);  // requests apply later, on the window's turn
    }
  }
}

TEST(WizardStates, StartThenDriveSelectionListsTheRemovableDrive) {
  // The shared test prefix has one removable drive, E:, beside fixed C: and Z:.
  Wizard w;
  w.machine.DispatchEvent(Start);
  w.ApplyRequests();
  EXPECT_EQ(w.machine.Current(), USBSelecting);
  EXPECT_TRUE(w.form.Hidden("Layout_Init"));
  EXPECT_TRUE(w.form.Shown("Layout_USBSelect"));
  auto* list = w.form.Scene().FindAs<ui::DropDown>("ComboBox1");
  ASSERT_EQ(list->ItemCount(), 1);
  EXPECT_EQ(list->Item(0), L"E");
  EXPECT_EQ(list->Selected(), 0);
  EXPECT_TRUE(list->Enabled());
  EXPECT_TRUE(w.form.Control("Button2")->Enabled());
  EXPECT_FALSE(w.form.Control("Label14")->Visible());
  EXPECT_EQ(w.form.Control("Image1")->Opacity(), 1.0f);

  // A refresh rebuilds the list rather than appending to it.
  w.machine.DispatchEvent(Refresh);
  EXPECT_EQ(list->ItemCount(), 1);
  EXPECT_EQ(list->Selected(), 0);
}

TEST(WizardStates, DriveItemShowsTheLetterAlone) {
  TestForm form(kUs);
  for (const wchar_t* root : {L"E:\\", L"F:", L"\\\\server\\share\\", L"G"})
    form.AddDriveItem(root);
  auto* list = form.Scene().FindAs<ui::DropDown>("ComboBox1");
  ASSERT_EQ(list->ItemCount(), 4);
  EXPECT_EQ(list->Item(0), L"E");
  EXPECT_EQ(list->Item(1), L"F");
  EXPECT_EQ(list->Item(2), L"\\\\server\\share\\");
  EXPECT_EQ(list->Item(3), L"G");
}

TEST(WizardStates, ProgressPageShowsTheRecordAndRunsTheTimer) {
  for (const auto& [lcid, downloading] :
       {std::pair{kUs, L"Downloading"}, std::pair{kSpain, L"Descargando"}}) {
    Wizard w(lcid);
    auto* bar = w.form.Scene().FindAs<ui::ProgressBar>("ProgressBar1");
    EXPECT_EQ(bar->Value(), 33);  // as the description has it
    w.machine.SetState(USBSelecting);
    w.machine.SetState(USBProgress);
    EXPECT_TRUE(w.form.Shown("Layout_Progress"));
    EXPECT_TRUE(w.form.timer_enabled);
    EXPECT_EQ(bar->Value(), 0);

    auto* state = static_cast<USBProgressState*>(w.machine.State(USBProgress));
    int percent = -1;
    std::wstring status;
    w.machine.GetProgressInfo(percent, status);
    EXPECT_EQ(percent, 0);
    EXPECT_EQ(status, downloading);
    state->Progress()->SetPercent(37);
    w.machine.GetProgressInfo(percent, status);
    EXPECT_EQ(percent, 37);

    w.machine.SetState(USBFinishOK);
    EXPECT_FALSE(w.form.timer_enabled);
    EXPECT_TRUE(w.form.Hidden("Layout_Progress"));
    EXPECT_TRUE(w.form.Shown("Layout_Finish"));
  }
}

TEST(WizardStates, FinishWhileOnTheProgressPageSkipsItsExit) {
  Wizard w;
  w.machine.SetState(USBProgress);
  w.machine.Finish();
  EXPECT_TRUE(w.form.timer_enabled);
  EXPECT_TRUE(w.form.Shown("Layout_Progress"));
}

struct FinishCase {
  uint32_t lcid;
  int state;
  const wchar_t* title;
  const wchar_t* text_start;
  bool ok_image;
  const wchar_t* close_button;
};

TEST(WizardStates, FinishPagesInEnglishAndSpanish) {
  const FinishCase cases[] = {
      {kUs, USBFinishOK, L"Rescue USB drive created correctly", L"Now you can boot up", true,
       L"Close"},
      {kUs, USBFinishError, L"Could not install the rescue USB drive",
       L"There was an error trying", false, L"Close"},
      {kSpain, USBFinishOK, L"USB de an\u00e1lisis generado correctamente",
       L"Ahora puedes arrancar", true, L"Cerrar"},
      {kSpain, USBFinishError, L"No se ha instalado el an\u00e1lisis autoarrancable",
       L"Se ha producido un error", false, L"Cerrar"},
  };
  for (const FinishCase& c : cases) {
    Wizard w(c.lcid);
    w.machine.SetState(c.state);
    EXPECT_EQ(w.form.Control("Label12")->Text(), c.title);
    EXPECT_EQ(w.form.Control("Label13")->Text().rfind(c.text_start, 0), 0u)
        << std::string(w.form.Control("Label13")->Text().begin(),
                       w.form.Control("Label13")->Text().end());
    EXPECT_EQ(w.form.Control("Image_OK")->Visible(), c.ok_image);
    EXPECT_EQ(w.form.Control("Image_Error")->Visible(), !c.ok_image);
    EXPECT_TRUE(w.form.Shown("Layout_Finish"));
    // The lookup's first use selected the language for the window's own texts as well.
    EXPECT_EQ(w.form.Control("Button3")->Text(), c.close_button);
  }
}

TEST(WizardStates, WindowTextsFollowTheLanguageChosenAtLoad) {
  TestForm spanish(kSpain);
  spanish.TranslateAtLoad(L"es");
  EXPECT_EQ(spanish.Control("Button1")->Text(), L"Comenzar");
  EXPECT_EQ(spanish.Control("HudWindow1")->Text(),
            L"Asistente para el USB de an\u00e1lisis de Tovix Scourlet");
  EXPECT_EQ(spanish.Control("Label11")->Text(), L"Descargando");
  EXPECT_EQ(spanish.Control("Button1")->Key(), L"Start");

  TestForm german(0x0407);
  german.TranslateAtLoad(L"de");
  EXPECT_EQ(german.Control("Button1")->Text(), L"Start");
  // The German user's first lookup selects the identity language: still English.
  EXPECT_EQ(german.LookupTranslation(L"Install"), L"Install");
  EXPECT_EQ(german.Control("Button2")->Text(), L"Install");
}

// The table's window-text list names exactly the texts the window description holds.
TEST(WizardStates, WindowTextListMatchesTheDescription) {
  TestForm form(kUs);
  std::vector<std::wstring> texts;
  std::function<void(const ui::Control&)> collect = [&](const ui::Control& control) {
    if (!control.Key().empty()) texts.push_back(control.Key());
    for (size_t i = 0; i < control.ChildCount(); ++i) collect(*control.Child(i));
  };
  collect(*form.Scene().Root());
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, LoadStoredTable().window_texts);
}

}  // namespace
