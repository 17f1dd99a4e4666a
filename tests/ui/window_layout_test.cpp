// The wizard window's description, laid out at 613 x 429: every control lands on the rectangle
// the window's layout tables give, relative to its parent there.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "tests/support/window_description.h"
#include "ui/scene.h"

namespace {

struct Expected {
  const char* name;
  const char* parent;  // rectangle below is relative to this row's control ("" = window)
  ui::ControlKind kind;
  ui::Rect rect;
};

using K = ui::ControlKind;
const Expected kTable[] = {
    {"WindowRoot", "", K::Layout, {0, 0, 613, 429}},
    {"WindowFrame", "", K::Frame, {0, 0, 613, 429}},
    {"WelcomePage", "", K::Layout, {12, 33, 589, 384}},
    {"DrivePage", "", K::Layout, {12, 33, 589, 384}},
    {"ProgressPage", "", K::Layout, {12, 33, 589, 384}},
    {"FinishPage", "", K::Layout, {12, 33, 589, 384}},
    {"ConfirmPage", "", K::Layout, {12, 33, 589, 384}},
    // Welcome page.
    {"WelcomeTitle", "WelcomePage", K::Label, {0, 21, 589, 32}},
    {"WelcomeText", "WelcomePage", K::Label, {20, 83, 549, 32}},
    {"StartButton", "WelcomePage", K::Button, {232, 338, 124, 28}},
    {"StepsPanel", "WelcomePage", K::Layout, {0, 155, 589, 145}},
    {"StepsPictureRow", "StepsPanel", K::Layout, {0, 0, 589, 95}},
    {"StepsPicture", "StepsPictureRow", K::Image, {0, 0, 589, 95}},
    {"InsertStep", "StepsPanel", K::Layout, {0, 95, 182, 50}},
    {"InsertStepCaption", "InsertStep", K::Label, {20, 0, 142, 50}},
    {"InstallStep", "StepsPanel", K::Layout, {182, 95, 221, 50}},
    {"InstallStepCaption", "InstallStep", K::Label, {30, 0, 161, 50}},
    {"BootStep", "StepsPanel", K::Layout, {403, 95, 186, 50}},
    {"BootStepCaption", "BootStep", K::Label, {15, 0, 156, 50}},
    // Drive selection.
    {"InstallButton", "DrivePage", K::Button, {232, 338, 124, 28}},
    {"DriveTitle", "DrivePage", K::Label, {0, 21, 589, 32}},
    {"DriveText", "DrivePage", K::Label, {20, 83, 549, 32}},
    {"DrivePicture", "DrivePage", K::Image, {269, 158, 50, 100}},
    {"RefreshLink", "DrivePage", K::Layout, {254, 264, 93, 24}},
    {"RefreshIcon", "RefreshLink", K::Image, {0, 0, 24, 24}},
    {"RefreshLabel", "RefreshLink", K::Label, {24, 0, 69, 24}},
    {"DriveList", "DrivePage", K::DropDown, {144, 127, 300, 27}},
    {"NoDriveNotice", "DrivePage", K::Label, {0, 196, 589, 25}},
    {"DriveProblemNotice", "DrivePage", K::Label, {20, 292, 549, 40}},
    // The question before a build: "Cancel" where "Install" was.
    {"CancelButton", "ConfirmPage", K::Button, {232, 338, 124, 28}},
    {"ContinueButton", "ConfirmPage", K::Button, {370, 338, 124, 28}},
    {"ConfirmTitle", "ConfirmPage", K::Label, {0, 21, 589, 32}},
    {"ConfirmDrive", "ConfirmPage", K::Label, {20, 80, 549, 24}},
    {"ConfirmContents", "ConfirmPage", K::Label, {20, 106, 549, 24}},
    {"ConfirmWarning", "ConfirmPage", K::Label, {20, 146, 549, 56}},
    {"ConfirmDiskWarning", "ConfirmPage", K::Label, {20, 212, 549, 76}},
    // Progress.
    {"ProgressTitle", "ProgressPage", K::Label, {0, 21, 589, 32}},
    {"ProgressText", "ProgressPage", K::Label, {20, 83, 549, 32}},
    {"StepLabel", "ProgressPage", K::Label, {0, 160, 589, 24}},
    {"StatusLabel", "ProgressPage", K::Label, {0, 199, 589, 32}},
    {"FiguresLabel", "ProgressPage", K::Label, {20, 278, 549, 24}},
    {"ProgressBar", "ProgressPage", K::ProgressBar, {66, 248, 457, 20}},
    // Finish.
    {"CloseButton", "FinishPage", K::Button, {232, 338, 124, 28}},
    {"SuccessPicture", "FinishPage", K::Image, {262, 140, 64, 64}},
    {"FinishText", "FinishPage", K::Label, {20, 79, 549, 59}},
    {"ErrorPicture", "FinishPage", K::Image, {262, 140, 64, 64}},
    {"FinishTitle", "FinishPage", K::Label, {0, 21, 589, 32}},
    // The error page's lines and buttons, between the picture and Close.
    {"ErrorLines", "FinishPage", K::Layout, {0, 0, 589, 384}},
    {"FinishReason", "ErrorLines", K::Label, {20, 208, 549, 34}},
    {"FinishAdvice", "ErrorLines", K::Label, {20, 244, 549, 34}},
    {"FinishDetails", "ErrorLines", K::Label, {20, 280, 549, 17}},
    {"OpenLogButton", "ErrorLines", K::Button, {168, 300, 124, 24}},
    {"CopyLogButton", "ErrorLines", K::Button, {297, 300, 124, 24}},
    {"TryAgainButton", "ErrorLines", K::Button, {96, 338, 124, 28}},
    // The success page's.
    {"SuccessLines", "FinishPage", K::Layout, {0, 0, 589, 384}},
    {"NextStepRemove", "SuccessLines", K::Label, {20, 208, 549, 30}},
    {"NextStepBoot", "SuccessLines", K::Label, {20, 238, 549, 30}},
    {"NextStepSecureBoot", "SuccessLines", K::Label, {20, 268, 549, 30}},
    {"EjectNote", "SuccessLines", K::Label, {20, 300, 549, 32}},
    {"SafelyRemoveButton", "SuccessLines", K::Button, {96, 338, 124, 28}},
    {"MakeAnotherButton", "SuccessLines", K::Button, {368, 338, 124, 28}},
};

class WindowDescription : public ::testing::Test {
 protected:
  void SetUp() override {
    scene_ = LoadWindowDescription();
    ASSERT_EQ(scene_->Width(), 613);
    ASSERT_EQ(scene_->Height(), 429);
  }
  std::unique_ptr<ui::Scene> scene_;
};

TEST_F(WindowDescription, EveryControlLandsOnItsTableRectangle) {
  std::map<std::string, ui::Rect> absolute;
  for (const Expected& e : kTable) {
    ui::Rect want = e.rect;
    if (*e.parent) {
      ASSERT_TRUE(absolute.count(e.parent)) << e.parent;
      const ui::Rect& p = absolute[e.parent];
      want.x += p.x;
      want.y += p.y;
      ui::Control* c = scene_->Find(e.name);
      ASSERT_NE(c, nullptr) << e.name;
      EXPECT_EQ(c->Parent()->Name(), e.parent) << e.name;
    }
    absolute[e.name] = want;
    ui::Control* c = scene_->Find(e.name);
    ASSERT_NE(c, nullptr) << e.name;
    EXPECT_EQ(c->Kind(), e.kind) << e.name;
    ui::Rect got = c->Bounds();
    EXPECT_TRUE(got == want) << e.name << ": got (" << got.x << "," << got.y << ") " << got.w << "x"
                             << got.h << ", want (" << want.x << "," << want.y << ") " << want.w
                             << "x" << want.h;
  }
}

TEST_F(WindowDescription, FrameStartStateFontsAndTexts) {
  ui::Frame* frame = scene_->GetFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->Name(), "WindowFrame");
  EXPECT_EQ(frame->Text(), L"Create Tovix Scourlet rescue USB drive");
  EXPECT_TRUE(frame->GetStyle().bold);
  EXPECT_EQ(frame->GetStyle().halign, ui::HAlign::Left);
  EXPECT_TRUE((frame->GetStyle().fill == ui::Color{0xFF, 0x2F, 0x2F, 0x2F}));
  EXPECT_TRUE((frame->Panel() == ui::Rect{12, 12, 589, 405}));
  EXPECT_FALSE(frame->HitTestable());

  // The close box: 17 x 17 at the right end of the caption band, white disc fading in 0.1 s.
  ui::Control* close = scene_->Find("CloseBox");
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(close->Kind(), ui::ControlKind::CloseBox);
  ui::Rect cb = close->Bounds(), band = frame->CaptionBand();
  EXPECT_EQ(cb.w, 17);
  EXPECT_EQ(cb.h, 17);
  EXPECT_EQ(band.h, 22);
  EXPECT_GE(cb.y, band.y);
  EXPECT_LE(cb.y + cb.h, band.y + band.h);
  EXPECT_GT(cb.x, band.x + band.w - 30);
  EXPECT_LE(cb.x + cb.w, band.x + band.w);
  EXPECT_TRUE((close->GetStyle().fill == ui::Color{0xA0, 0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE((close->GetStyle().hover_fill == ui::Color{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_FLOAT_EQ(close->GetStyle().hover_seconds, 0.1f);

  EXPECT_TRUE(scene_->Find("WelcomePage")->Visible());
  for (const char* hidden : {"DrivePage", "ProgressPage", "FinishPage", "NoDriveNotice",
                             "DriveProblemNotice", "ConfirmPage", "ConfirmDiskWarning"})
    EXPECT_FALSE(scene_->Find(hidden)->Visible()) << hidden;
  EXPECT_TRUE(scene_->Find("SuccessPicture")->Visible());
  EXPECT_TRUE(scene_->Find("ErrorPicture")->Visible());

  struct Font {
    const char* name;
    float size;
    bool bold;
    ui::HAlign h;
    ui::VAlign v;
  };
  const Font fonts[] = {
      {"WelcomeTitle", 25, false, ui::HAlign::Center, ui::VAlign::Center},
      {"WelcomeText", 14, false, ui::HAlign::Center, ui::VAlign::Center},
      {"InsertStepCaption", 14, false, ui::HAlign::Center, ui::VAlign::Top},
      {"RefreshLabel", 14, false, ui::HAlign::Left, ui::VAlign::Center},
      {"StatusLabel", 18, false, ui::HAlign::Center, ui::VAlign::Center},
      {"FinishText", 14, false, ui::HAlign::Center, ui::VAlign::Top},
      {"StartButton", 12, true, ui::HAlign::Center, ui::VAlign::Center},
      {"CloseButton", 12, true, ui::HAlign::Center, ui::VAlign::Center},
      // Legible beside the page's 14-pixel message: the reason in bold.
      {"FinishReason", 13, true, ui::HAlign::Center, ui::VAlign::Top},
      {"FinishAdvice", 13, false, ui::HAlign::Center, ui::VAlign::Top},
      {"NextStepBoot", 12, false, ui::HAlign::Center, ui::VAlign::Top},
      {"DriveList", 11, false, ui::HAlign::Center, ui::VAlign::Center},
  };
  for (const Font& f : fonts) {
    const ui::Style& s = scene_->Find(f.name)->GetStyle();
    EXPECT_EQ(s.font_family, L"Tahoma") << f.name;
    EXPECT_FLOAT_EQ(s.font_size, f.size) << f.name;
    EXPECT_EQ(s.bold, f.bold) << f.name;
    EXPECT_EQ(s.halign, f.h) << f.name;
    EXPECT_EQ(s.valign, f.v) << f.name;
    EXPECT_TRUE((s.text_color == ui::Color{0xFF, 0xE0, 0xE0, 0xE0})) << f.name;
  }

  // The 38 translatable window texts: 20 labels, 10 buttons and the title, and the alternative
  // texts of the 4 pictures, the list, the bar and the close box, which are never drawn.
  int texts = 0;
  std::function<void(ui::Control*)> count = [&](ui::Control* c) {
    if (!c->Key().empty()) ++texts;
    for (size_t i = 0; i < c->ChildCount(); ++i) count(c->Child(i));
  };
  count(scene_->Root());
  EXPECT_EQ(texts, 38);
  EXPECT_EQ(scene_->Find("StepsPicture")->Text(),
            L"Steps: insert a USB drive, create the rescue drive, boot from it");

  auto* bar = scene_->FindAs<ui::ProgressBar>("ProgressBar");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->Maximum(), 100);
  EXPECT_EQ(bar->Value(), 33);
  auto* combo = scene_->FindAs<ui::DropDown>("DriveList");
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->ItemCount(), 0);
  EXPECT_EQ(combo->Selected(), -1);
}

TEST_F(WindowDescription, OnlyTheVisiblePagesControlsTakeInput) {
  // Welcome page: Start is the Enter key's target; the drive page's Install is hidden.
  ASSERT_NE(scene_->DefaultButton(), nullptr);
  EXPECT_EQ(scene_->DefaultButton()->Name(), "StartButton");
  ui::Rect start = scene_->Find("StartButton")->Bounds();
  EXPECT_EQ(scene_->HitTest(start.x + 5, start.y + 5)->Name(), "StartButton");
  ui::Rect picture = scene_->Find("StepsPicture")->Bounds();
  EXPECT_EQ(scene_->HitTest(picture.x + 100, picture.y + 50), nullptr);
  EXPECT_TRUE(scene_->IsCaption(100, 20));   // the caption band drags the window
  EXPECT_FALSE(scene_->IsCaption(100, 60));  // the panel below it does not
  ui::Rect close = scene_->Find("CloseBox")->Bounds();
  EXPECT_FALSE(scene_->IsCaption(close.x + 8, close.y + 8));

  scene_->Find("WelcomePage")->SetVisible(false);
  scene_->Find("DrivePage")->SetVisible(true);
  EXPECT_EQ(scene_->DefaultButton()->Name(), "InstallButton");
  ui::Rect refresh = scene_->Find("RefreshLink")->Bounds();
  // The refresh icon and its text both belong to the clickable group.
  EXPECT_EQ(scene_->HitTest(refresh.x + 3, refresh.y + 3)->Name(), "RefreshLink");
  EXPECT_EQ(scene_->HitTest(refresh.x + 60, refresh.y + 12)->Name(), "RefreshLink");
  EXPECT_TRUE(scene_->Find("RefreshLink")->GetStyle().hand_cursor);
  scene_->Find("InstallButton")->SetEnabled(false);
  EXPECT_EQ(scene_->DefaultButton(), nullptr);

  // The question before a build: Enter and Escape both answer "Cancel".
  scene_->Find("DrivePage")->SetVisible(false);
  scene_->Find("ConfirmPage")->SetVisible(true);
  EXPECT_EQ(scene_->DefaultButton()->Name(), "CancelButton");
  EXPECT_TRUE(scene_->Find("CancelButton")->IsCancel());
  EXPECT_FALSE(scene_->Find("ContinueButton")->IsDefault());
}

// The reader on damaged descriptions: every truncation and a spread of single-byte changes of
// the real one either load or fail with a message, never crash (run under the sanitizers).
TEST(WindowDescriptionDamage, TruncatedOrAlteredTextsFailCleanly) {
  const std::string text = WindowDescriptionText();
  ASSERT_FALSE(text.empty());
  int loaded = 0;
  const size_t last_brace = text.rfind('}');
  for (size_t cut = 0; cut <= last_brace; cut += 3) {
    std::string error;
    auto scene = ui::Scene::Load(text.substr(0, cut), &error);
    if (scene) {
      ++loaded;
      scene->Layout(613, 429);
    } else {
      EXPECT_FALSE(error.empty()) << cut;
    }
  }
  EXPECT_EQ(loaded, 0);  // nothing short of the closing brace is a whole description
  const char replacements[] = {'{', '}', '"', '=', '\\', '\n', '#', '\0', '\xC3', '9'};
  for (size_t at = 0; at < text.size(); at += 7) {
    for (char c : replacements) {
      std::string damaged = text;
      damaged[at] = c;
      std::string error;
      if (auto scene = ui::Scene::Load(damaged, &error))
        scene->Layout(613, 429);
      else
        EXPECT_FALSE(error.empty());
    }
  }
}

}  // namespace
