// The wizard window's description, laid out at 613 x 429: every control lands on the rectangle
// the window's layout tables give, relative to its parent there.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "ui/scene.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Expected {
  const char* name;
  const char* parent;  // rectangle below is relative to this row's control ("" = window)
  ui::ControlKind kind;
  ui::Rect rect;
};

using K = ui::ControlKind;
const Expected kTable[] = {
    {"Root1", "", K::Layout, {0, 0, 613, 429}},
    {"HudWindow1", "", K::Frame, {0, 0, 613, 429}},
    {"Layout_Init", "", K::Layout, {12, 33, 589, 384}},
    {"Layout_USBSelect", "", K::Layout, {12, 33, 589, 384}},
    {"Layout_Progress", "", K::Layout, {12, 33, 589, 384}},
    {"Layout_Finish", "", K::Layout, {12, 33, 589, 384}},
    // Welcome page.
    {"Label1", "Layout_Init", K::Label, {0, 21, 589, 32}},
    {"Label2", "Layout_Init", K::Label, {20, 83, 549, 32}},
    {"Button1", "Layout_Init", K::Button, {232, 338, 124, 28}},
    {"Layout1", "Layout_Init", K::Layout, {0, 155, 589, 145}},
    {"Layout2", "Layout1", K::Layout, {0, 0, 589, 95}},
    {"BitmapStateButton1", "Layout2", K::Image, {0, 0, 589, 95}},
    {"Layout3", "Layout1", K::Layout, {0, 95, 182, 50}},
    {"Label3", "Layout3", K::Label, {20, 0, 142, 50}},
    {"Layout5", "Layout1", K::Layout, {182, 95, 221, 50}},
    {"Label4", "Layout5", K::Label, {30, 0, 161, 50}},
    {"Layout4", "Layout1", K::Layout, {403, 95, 186, 50}},
    {"Label5", "Layout4", K::Label, {15, 0, 156, 50}},
    // Drive selection.
    {"Button2", "Layout_USBSelect", K::Button, {232, 338, 124, 28}},
    {"Label6", "Layout_USBSelect", K::Label, {0, 21, 589, 32}},
    {"Label7", "Layout_USBSelect", K::Label, {20, 83, 549, 32}},
    {"Image1", "Layout_USBSelect", K::Image, {269, 158, 50, 100}},
    {"Layout6", "Layout_USBSelect", K::Layout, {254, 264, 93, 24}},
    {"Image2", "Layout6", K::Image, {0, 0, 24, 24}},
    {"Label8", "Layout6", K::Label, {24, 0, 69, 24}},
    {"ComboBox1", "Layout_USBSelect", K::DropDown, {269, 127, 50, 27}},
    {"Label14", "Layout_USBSelect", K::Label, {0, 196, 589, 25}},
    // Progress.
    {"Label9", "Layout_Progress", K::Label, {0, 21, 589, 32}},
    {"Label10", "Layout_Progress", K::Label, {20, 83, 549, 32}},
    {"Label11", "Layout_Progress", K::Label, {0, 199, 589, 32}},
    {"ProgressBar1", "Layout_Progress", K::ProgressBar, {66, 248, 457, 20}},
    // Finish.
    {"Button3", "Layout_Finish", K::Button, {232, 338, 124, 28}},
    {"Image_OK", "Layout_Finish", K::Image, {236, 165, 117, 114}},
    {"Label13", "Layout_Finish", K::Label, {20, 79, 549, 59}},
    {"Image_Error", "Layout_Finish", K::Image, {236, 165, 117, 114}},
    {"Label12", "Layout_Finish", K::Label, {0, 21, 589, 32}},
};

class WindowDescription : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    scene_ = ui::Scene::Load(ReadFile(PROJECT_SOURCE_DIR "/app/window.ui"), &error);
    ASSERT_TRUE(scene_) << error;
    ASSERT_EQ(scene_->Width(), 613);
    ASSERT_EQ(scene_->Height(), 429);
    scene_->Layout(613, 429);
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
    EXPECT_TRUE(got == want) << e.name << ": got (" << got.x << "," << got.y << ") " << got.w
                             << "x" << got.h << ", want (" << want.x << "," << want.y << ") "
                             << want.w << "x" << want.h;
  }
}

TEST_F(WindowDescription, FrameStartStateFontsAndTexts) {
  ui::Frame* frame = scene_->GetFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->Name(), "HudWindow1");
  EXPECT_EQ(frame->Text(), L"Create Tovix Scourlet rescue USB drive");
  EXPECT_TRUE(frame->GetStyle().bold);
  EXPECT_EQ(frame->GetStyle().halign, ui::HAlign::Left);
  EXPECT_TRUE((frame->GetStyle().fill == ui::Color{0xFF, 0x2F, 0x2F, 0x2F}));
  EXPECT_TRUE((frame->Panel() == ui::Rect{12, 12, 589, 405}));
  EXPECT_FALSE(frame->HitTestable());

  // The close box: 17 x 17 at the right end of the caption band, white disc fading in 0.1 s.
  ui::Control* close = scene_->Find("HudWindow1CloseBox");
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

  EXPECT_TRUE(scene_->Find("Layout_Init")->Visible());
  for (const char* hidden : {"Layout_USBSelect", "Layout_Progress", "Layout_Finish", "Label14"})
    EXPECT_FALSE(scene_->Find(hidden)->Visible()) << hidden;
  EXPECT_TRUE(scene_->Find("Image_OK")->Visible());
  EXPECT_TRUE(scene_->Find("Image_Error")->Visible());

  struct Font { const char* name; float size; bool bold; ui::HAlign h; ui::VAlign v; };
  const Font fonts[] = {
      {"Label1", 25, false, ui::HAlign::Center, ui::VAlign::Center},
      {"Label2", 14, false, ui::HAlign::Center, ui::VAlign::Center},
      {"Label3", 14, false, ui::HAlign::Center, ui::VAlign::Top},
      {"Label8", 14, false, ui::HAlign::Left, ui::VAlign::Center},
      {"Label11", 18, false, ui::HAlign::Center, ui::VAlign::Center},
      {"Label13", 14, false, ui::HAlign::Center, ui::VAlign::Top},
      {"Button1", 12, true, ui::HAlign::Center, ui::VAlign::Center},
      {"Button3", 12, true, ui::HAlign::Center, ui::VAlign::Center},
      {"ComboBox1", 11, false, ui::HAlign::Center, ui::VAlign::Center},
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

  // The 18 translatable window texts: 14 labels, 3 buttons and the title.
  int texts = 0;
  std::function<void(ui::Control*)> count = [&](ui::Control* c) {
    if (!c->Key().empty()) ++texts;
    for (size_t i = 0; i < c->ChildCount(); ++i) count(c->Child(i));
  };
  count(scene_->Root());
  EXPECT_EQ(texts, 18);
  EXPECT_EQ(scene_->Find("BitmapStateButton1")->Text(), L"");

  auto* bar = scene_->FindAs<ui::ProgressBar>("ProgressBar1");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->Maximum(), 100);
  EXPECT_EQ(bar->Value(), 33);
  auto* combo = scene_->FindAs<ui::DropDown>("ComboBox1");
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->ItemCount(), 0);
  EXPECT_EQ(combo->Selected(), -1);
}

TEST_F(WindowDescription, OnlyTheVisiblePagesControlsTakeInput) {
  // Welcome page: Start is the Enter key's target; the drive page's Install is hidden.
  ASSERT_NE(scene_->DefaultButton(), nullptr);
  EXPECT_EQ(scene_->DefaultButton()->Name(), "Button1");
  ui::Rect start = scene_->Find("Button1")->Bounds();
  EXPECT_EQ(scene_->HitTest(start.x + 5, start.y + 5)->Name(), "Button1");
  ui::Rect picture = scene_->Find("BitmapStateButton1")->Bounds();
  EXPECT_EQ(scene_->HitTest(picture.x + 100, picture.y + 50), nullptr);
  EXPECT_TRUE(scene_->IsCaption(100, 20));   // the caption band drags the window
  EXPECT_FALSE(scene_->IsCaption(100, 60));  // the panel below it does not
  ui::Rect close = scene_->Find("HudWindow1CloseBox")->Bounds();
  EXPECT_FALSE(scene_->IsCaption(close.x + 8, close.y + 8));

  scene_->Find("Layout_Init")->SetVisible(false);
  scene_->Find("Layout_USBSelect")->SetVisible(true);
  EXPECT_EQ(scene_->DefaultButton()->Name(), "Button2");
  ui::Rect refresh = scene_->Find("Layout6")->Bounds();
  // The refresh icon and its text both belong to the clickable group.
  EXPECT_EQ(scene_->HitTest(refresh.x + 3, refresh.y + 3)->Name(), "Layout6");
  EXPECT_EQ(scene_->HitTest(refresh.x + 60, refresh.y + 12)->Name(), "Layout6");
  EXPECT_TRUE(scene_->Find("Layout6")->GetStyle().hand_cursor);
  scene_->Find("Button2")->SetEnabled(false);
  EXPECT_EQ(scene_->DefaultButton(), nullptr);
}

// The reader on damaged descriptions: every truncation and a spread of single-byte changes of
// the real one either load or fail with a message, never crash (run under the sanitizers).
TEST(WindowDescriptionDamage, TruncatedOrAlteredTextsFailCleanly) {
  const std::string text = ReadFile(PROJECT_SOURCE_DIR "/app/window.ui");
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
      if (auto scene = ui::Scene::Load(damaged, &error)) scene->Layout(613, 429);
      else EXPECT_FALSE(error.empty());
    }
  }
}

}  // namespace
