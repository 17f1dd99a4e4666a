// The scene model's behaviour on small descriptions written here: the reader's errors, input
// (hover, press, click, drop-down list), animation, translation and change notification.
#include <gtest/gtest.h>

#include <vector>

#include "ui/scene.h"
#include "ui/utf8.h"

namespace {

const char kTwoButtons[] = R"(
# a frame with two buttons, a clickable group, a drop-down list and a close box
Layout Root {
  rect = 0 0 200 100
  Frame Win {
    dock = fill
    padding = 10 30 10 10
    text = "Title"
    panel-inset = 5
    caption-height = 20
    CloseBox Close {
      outer = yes
      rect = 170 7 17 17
      fill = #A0FFFFFF
      hover-fill = #FFFFFFFF
      hover-seconds = 0.1
    }
    Layout Page {
      dock = fill
      Button Ok {
        rect = 0 0 50 20
        default = yes
        text = "OK"
        fill = #FF101010
        hover-fill = #FF202020
      }
      Button Cancel {
        rect = 60 0 50 20
        text = "Cancel"
      }
      Layout Group {
        rect = 120 0 40 20
        hit = yes
        Label Inside {
          dock = fill
          text = "Caption with \"quotes\" and análisis"
        }
      }
      DropDown List {
        rect = 0 25 30 10
      }
    }
  }
}
)";

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    scene_ = ui::Scene::Load(kTwoButtons, &error);
    ASSERT_TRUE(scene_) << error;
    scene_->Layout(200, 100);
    scene_->SetClickHandler([this](ui::Control& c) { clicks_.push_back(c.Name()); });
  }
  void ClickAt(int x, int y) {
    scene_->MouseDown(x, y);
    scene_->MouseUp(x, y);
  }
  std::unique_ptr<ui::Scene> scene_;
  std::vector<std::string> clicks_;
};

TEST_F(SceneTest, ClicksReachTheHandlerOnlyFromEnabledVisibleTargets) {
  // Page content box starts at (10, 30).
  ClickAt(15, 35);   // Ok
  ClickAt(75, 35);   // Cancel
  ClickAt(140, 35);  // the group, through its label
  ClickAt(178, 15);  // close box, placed relative to the frame itself
  ClickAt(5, 95);    // nothing there
  EXPECT_EQ(clicks_, (std::vector<std::string>{"Ok", "Cancel", "Group", "Close"}));
  clicks_.clear();

  // Pressed on one button, released over another: no click.
  scene_->MouseDown(15, 35);
  scene_->MouseUp(75, 35);
  EXPECT_TRUE(clicks_.empty());

  scene_->Find("Ok")->SetEnabled(false);
  ClickAt(15, 35);
  scene_->Click(*scene_->Find("Ok"));
  EXPECT_EQ(scene_->DefaultButton(), nullptr);
  scene_->Find("Page")->SetVisible(false);
  ClickAt(75, 35);
  scene_->Click(*scene_->Find("Cancel"));
  scene_->Click(*scene_->Find("Inside"));  // labels take no clicks
  EXPECT_TRUE(clicks_.empty());

  scene_->Find("Page")->SetVisible(true);
  scene_->Find("Ok")->SetEnabled(true);
  ASSERT_NE(scene_->DefaultButton(), nullptr);
  scene_->Click(*scene_->DefaultButton());
  EXPECT_EQ(clicks_, (std::vector<std::string>{"Ok"}));
}

// A control's own handler runs after the scene's, and only for clicks the scene lets through.
TEST_F(SceneTest, ControlsRunTheirOwnClickHandlers) {
  std::vector<std::string> actions;
  scene_->SetClickHandler([&](ui::Control& c) { actions.push_back("scene " + c.Name()); });
  scene_->Find("Ok")->SetClickHandler([&] { actions.push_back("ok"); });
  scene_->Find("Group")->SetClickHandler([&] { actions.push_back("group"); });
  ClickAt(15, 35);
  ClickAt(75, 35);   // Cancel has no handler of its own
  ClickAt(140, 35);  // the group, through its label
  scene_->Find("Ok")->SetEnabled(false);
  ClickAt(15, 35);
  scene_->Click(*scene_->Find("Ok"));
  EXPECT_EQ(actions,
            (std::vector<std::string>{"scene Ok", "ok", "scene Cancel", "scene Group", "group"}));
}

TEST_F(SceneTest, CaptionBandDragsExceptUnderTheCloseBox) {
  EXPECT_TRUE(scene_->IsCaption(50, 10));    // panel (5,5) + band 20 high
  EXPECT_FALSE(scene_->IsCaption(50, 26));   // below the band
  EXPECT_FALSE(scene_->IsCaption(2, 10));    // shadow margin
  EXPECT_FALSE(scene_->IsCaption(178, 15));  // close box
}

TEST_F(SceneTest, CloseBoxFillAnimatesOnlyWhileTicking) {
  ui::Control* close = scene_->Find("Close");
  const ui::Color normal{0xA0, 0xFF, 0xFF, 0xFF}, hover{0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_FALSE(scene_->Tick(1.0));
  scene_->MouseMove(178, 15);
  EXPECT_TRUE(close->Hovered());
  EXPECT_TRUE(scene_->Animating());
  EXPECT_TRUE(scene_->Tick(10.0));  // start of the change
  EXPECT_TRUE(close->CurrentFill() == normal);
  EXPECT_TRUE(scene_->Tick(10.05));
  EXPECT_NEAR(close->HoverAmount(), 0.5f, 0.01f);
  EXPECT_NEAR(close->CurrentFill().a, 0xD0, 1);
  EXPECT_FALSE(scene_->Tick(10.1));  // done after 0.1 s
  EXPECT_TRUE(close->CurrentFill() == hover);
  EXPECT_FALSE(scene_->Tick(11.0));

  // Leaving halfway back reverses from where it is.
  scene_->MouseMove(5, 95);
  EXPECT_TRUE(scene_->Tick(20.0));
  EXPECT_TRUE(scene_->Tick(20.03));
  EXPECT_NEAR(close->HoverAmount(), 0.7f, 0.01f);
  scene_->MouseMove(178, 15);
  EXPECT_FALSE(scene_->Tick(20.06));  // 0.7 + 0.3 reaches the hover colour again
  EXPECT_TRUE(close->CurrentFill() == hover);

  // Hiding what is hovered drops the hover, and the fill fades back.
  scene_->Find("Win")->SetVisible(false);
  EXPECT_EQ(scene_->HoveredControl(), nullptr);
  scene_->Find("Win")->SetVisible(true);
  EXPECT_TRUE(scene_->Tick(30.0));
  EXPECT_FALSE(scene_->Tick(30.2));
  EXPECT_TRUE(close->CurrentFill() == normal);

  // A button without a hover duration switches at once.
  scene_->MouseMove(15, 35);
  EXPECT_EQ(scene_->Find("Ok")->HoverAmount(), 1.0f);
  EXPECT_FALSE(scene_->Animating());
}

TEST_F(SceneTest, DropDownOpensBelowSelectsAndCloses) {
  auto* list = scene_->FindAs<ui::DropDown>("List");
  ASSERT_NE(list, nullptr);
  ClickAt(15, 57);               // content (10,30) + (0,25): the list control
  EXPECT_FALSE(list->IsOpen());  // nothing to show yet
  list->AddItem(L"E", L"E:\\");
  list->AddItem(L"F");
  EXPECT_EQ(list->Item(0), L"E");
  EXPECT_EQ(list->ItemValue(0), L"E:\\");  // what the item stands for, beside what it shows
  EXPECT_EQ(list->ItemValue(1), L"");
  list->SetSelected(0);
  ClickAt(15, 57);
  ASSERT_TRUE(list->IsOpen());
  EXPECT_TRUE((list->ListBounds() == ui::Rect{10, 65, 30, 20}));
  EXPECT_EQ(scene_->HitTest(15, 77), list);  // the open list lies above everything else
  scene_->MouseMove(15, 77);
  EXPECT_EQ(list->HoveredItem(), 1);
  scene_->MouseMove(15, 70);
  EXPECT_EQ(list->HoveredItem(), 0);
  scene_->MouseMove(100, 90);
  EXPECT_EQ(list->HoveredItem(), -1);
  ClickAt(15, 77);  // second row
  EXPECT_EQ(list->Selected(), 1);
  EXPECT_FALSE(list->IsOpen());

  ClickAt(15, 57);
  ClickAt(75, 35);  // a click elsewhere closes the list and still reaches that button
  EXPECT_FALSE(list->IsOpen());
  EXPECT_EQ(clicks_, (std::vector<std::string>{"Cancel"}));
  EXPECT_TRUE(clicks_.size() == 1);

  // Losing the mouse (deactivation) shuts the list and forgets a press.
  ClickAt(15, 57);
  scene_->MouseDown(75, 35);
  scene_->CancelMouse();
  EXPECT_FALSE(list->IsOpen());
  EXPECT_EQ(scene_->PressedControl(), nullptr);
  scene_->MouseUp(75, 35);
  EXPECT_EQ(clicks_.size(), 1u);

  list->SetSelected(7);
  EXPECT_EQ(list->Selected(), -1);
  list->SetSelected(1);
  ClickAt(15, 57);
  list->SetEnabled(false);
  EXPECT_FALSE(list->IsOpen());
  list->ClearItems();
  EXPECT_EQ(list->ItemCount(), 0);
  EXPECT_EQ(list->Selected(), -1);
}

// Keyboard: the focus visits the controls that take mouse input, in reading order with the close
// box last; hidden or disabled ones are skipped and lose it.
TEST_F(SceneTest, TabWalksReadingOrderWithTheCloseBoxLast) {
  auto names = [this] {
    std::vector<std::string> out;
    for (ui::Control* c : scene_->TabOrder()) out.push_back(c->Name());
    return out;
  };
  EXPECT_EQ(names(), (std::vector<std::string>{"Ok", "Cancel", "Group", "List", "Close"}));
  auto focus_after = [this](bool shift) {
    scene_->MarkDrawn();
    EXPECT_TRUE(scene_->KeyDown(ui::Key::Tab, shift));
    EXPECT_TRUE(scene_->NeedsRedraw());  // the ring moves
    return scene_->Focused()->Name();
  };
  EXPECT_EQ(scene_->Focused(), nullptr);
  EXPECT_EQ(focus_after(false), "Ok");
  EXPECT_TRUE(scene_->Find("Ok")->Focused());
  for (const char* next : {"Cancel", "Group", "List", "Close", "Ok"})
    EXPECT_EQ(focus_after(false), next);
  EXPECT_EQ(focus_after(true), "Close");
  EXPECT_EQ(focus_after(true), "List");
  scene_->SetFocused(nullptr);
  EXPECT_EQ(focus_after(true), "Close");  // from none, Shift+Tab starts at the end

  scene_->Find("Cancel")->SetEnabled(false);
  EXPECT_EQ(names(), (std::vector<std::string>{"Ok", "Group", "List", "Close"}));
  EXPECT_FALSE(scene_->SetFocused(scene_->Find("Cancel")));
  EXPECT_FALSE(scene_->SetFocused(scene_->Find("Inside")));  // a label takes no focus
  EXPECT_TRUE(scene_->SetFocused(scene_->Find("Group")));
  scene_->MarkDrawn();
  scene_->Find("Page")->SetVisible(false);  // the page goes: its focused control loses the focus
  EXPECT_EQ(scene_->Focused(), nullptr);
  EXPECT_EQ(names(), (std::vector<std::string>{"Close"}));
  EXPECT_EQ(focus_after(false), "Close");
  scene_->Find("Close")->SetEnabled(false);
  EXPECT_EQ(scene_->Focused(), nullptr);
  EXPECT_FALSE(scene_->KeyDown(ui::Key::Tab, false));
}

TEST_F(SceneTest, SpaceAndEnterPressTheFocusedControlOrTheDefaultButton) {
  auto* list = scene_->FindAs<ui::DropDown>("List");
  list->AddItem(L"E");
  EXPECT_FALSE(scene_->KeyDown(ui::Key::Space, false));  // nothing focused
  EXPECT_TRUE(scene_->KeyDown(ui::Key::Enter, false));   // the default button, as before
  scene_->SetFocused(scene_->Find("Cancel"));
  EXPECT_TRUE(scene_->KeyDown(ui::Key::Space, false));
  EXPECT_TRUE(scene_->KeyDown(ui::Key::Enter, false));
  scene_->SetFocused(scene_->Find("Group"));
  EXPECT_TRUE(scene_->KeyDown(ui::Key::Space, false));
  EXPECT_EQ(clicks_, (std::vector<std::string>{"Ok", "Cancel", "Cancel", "Group"}));

  // On the list, Space opens and closes it; Enter closes an open list, and on a closed one
  // presses the default button.
  scene_->SetFocused(list);
  EXPECT_TRUE(scene_->KeyDown(ui::Key::Space, false));
  EXPECT_TRUE(list->IsOpen());
  EXPECT_TRUE(scene_->KeyDown(ui::Key::Space, false));
  EXPECT_FALSE(list->IsOpen());
  scene_->KeyDown(ui::Key::Space, false);
  EXPECT_TRUE(scene_->KeyDown(ui::Key::Enter, false));
  EXPECT_FALSE(list->IsOpen());
  EXPECT_EQ(clicks_.size(), 4u);
  scene_->KeyDown(ui::Key::Enter, false);
  EXPECT_EQ(clicks_.back(), "Ok");
}

TEST_F(SceneTest, ArrowsChooseInTheFocusedOrOpenList) {
  auto* list = scene_->FindAs<ui::DropDown>("List");
  for (const wchar_t* item : {L"E", L"F", L"G"}) list->AddItem(item);
  EXPECT_FALSE(scene_->KeyDown(ui::Key::Down, false));  // no list focused or open
  EXPECT_EQ(list->Selected(), -1);
  scene_->SetFocused(list);
  const std::pair<ui::Key, int> steps[] = {
      {ui::Key::Down, 0}, {ui::Key::Down, 1}, {ui::Key::Right, 2}, {ui::Key::Down, 2},
      {ui::Key::Up, 1},   {ui::Key::Left, 0}, {ui::Key::Up, 0}};
  for (const auto& [key, selected] : steps) {
    EXPECT_TRUE(scene_->KeyDown(key, false));
    EXPECT_EQ(list->Selected(), selected);
  }
  // A list opened with the mouse answers the arrows wherever the focus is.
  scene_->SetFocused(scene_->Find("Ok"));
  ClickAt(15, 57);
  ASSERT_TRUE(list->IsOpen());
  EXPECT_TRUE(scene_->KeyDown(ui::Key::Down, false));
  EXPECT_EQ(list->Selected(), 1);
  EXPECT_TRUE(clicks_.empty());
  list->ClearItems();
  scene_->SetFocused(list);
  EXPECT_FALSE(scene_->KeyDown(ui::Key::Down, false));
}

TEST_F(SceneTest, EscapeClosesAnOpenListThenPressesTheCloseBox) {
  auto* list = scene_->FindAs<ui::DropDown>("List");
  list->AddItem(L"E");
  ClickAt(15, 57);
  ASSERT_TRUE(list->IsOpen());
  EXPECT_TRUE(scene_->KeyDown(ui::Key::Escape, false));
  EXPECT_FALSE(list->IsOpen());
  EXPECT_TRUE(clicks_.empty());
  EXPECT_TRUE(scene_->KeyDown(ui::Key::Escape, false));
  EXPECT_EQ(clicks_, (std::vector<std::string>{"Close"}));
  scene_->Find("Close")->SetVisible(false);
  EXPECT_FALSE(scene_->KeyDown(ui::Key::Escape, false));
  EXPECT_EQ(clicks_.size(), 1u);
}

TEST_F(SceneTest, EscapePressesAShownCancelButtonBeforeTheCloseBox) {
  std::string error;
  auto scene = ui::Scene::Load(R"(
Layout Root {
  rect = 0 0 200 100
  CloseBox Close {
    rect = 170 7 17 17
  }
  Layout Question {
    rect = 0 20 200 80
    Button No {
      rect = 0 0 50 20
      default = yes
      cancel = yes
    }
    Button Yes {
      rect = 60 0 50 20
    }
  }
}
)",
                               &error);
  ASSERT_TRUE(scene) << error;
  scene->Layout(200, 100);
  std::vector<std::string> clicks;
  scene->SetClickHandler([&](ui::Control& c) { clicks.push_back(c.Name()); });
  // Escape answers "Cancel" even with "Continue" focused; Enter with nothing focused does too.
  ASSERT_TRUE(scene->SetFocused(scene->Find("Yes")));
  EXPECT_TRUE(scene->KeyDown(ui::Key::Escape, false));
  scene->SetFocused(nullptr);
  EXPECT_TRUE(scene->KeyDown(ui::Key::Enter, false));
  EXPECT_EQ(clicks, (std::vector<std::string>{"No", "No"}));
  // Once the question is gone, Escape is the close box again.
  scene->Find("Question")->SetVisible(false);
  EXPECT_TRUE(scene->KeyDown(ui::Key::Escape, false));
  EXPECT_EQ(clicks.back(), "Close");
}

TEST_F(SceneTest, TranslationStartsFromTheEnglishKeys) {
  scene_->TranslateTexts([](const std::wstring& en) {
    return en == L"OK" ? L"Aceptar" : en == L"Title" ? L"" : L"[" + en + L"]";
  });
  EXPECT_EQ(scene_->Find("Ok")->Text(), L"Aceptar");
  EXPECT_EQ(scene_->Find("Ok")->Key(), L"OK");
  EXPECT_EQ(scene_->Find("Win")->Text(), L"Title");  // empty translation keeps English
  EXPECT_EQ(scene_->Find("Cancel")->Text(), L"[Cancel]");
  EXPECT_EQ(scene_->Find("Inside")->Text(), L"[Caption with \"quotes\" and an\u00e1lisis]");
  EXPECT_EQ(scene_->Find("Page")->Text(), L"");  // controls without text stay without

  scene_->TranslateTexts([](const std::wstring& en) { return en; });
  EXPECT_EQ(scene_->Find("Ok")->Text(), L"OK");
  EXPECT_EQ(scene_->Find("Cancel")->Text(), L"Cancel");
}

TEST_F(SceneTest, ChangesNotifyOncePerRedraw) {
  int notices = 0;
  scene_->SetChangeHandler([&] { ++notices; });
  scene_->MarkDrawn();
  scene_->Find("Ok")->SetText(L"OK");  // unchanged: nothing to redraw
  scene_->Find("Ok")->SetOpacity(1.0f);
  EXPECT_FALSE(scene_->NeedsRedraw());
  EXPECT_EQ(notices, 0);
  scene_->Find("Ok")->SetText(L"Go");
  scene_->Find("Cancel")->SetVisible(false);
  EXPECT_TRUE(scene_->NeedsRedraw());
  EXPECT_EQ(notices, 1);
  scene_->MarkDrawn();
  scene_->Find("Page")->SetOpacity(0.5f);
  EXPECT_EQ(notices, 2);
  EXPECT_FLOAT_EQ(scene_->Find("Ok")->EffectiveOpacity(), 0.5f);
  scene_->Find("Page")->SetOpacity(7.0f);
  EXPECT_FLOAT_EQ(scene_->Find("Page")->Opacity(), 1.0f);
  EXPECT_FALSE(scene_->Find("Cancel")->EffectivelyVisible());
  scene_->Find("Page")->SetEnabled(false);
  EXPECT_FALSE(scene_->Find("Ok")->EffectivelyEnabled());
  EXPECT_TRUE(scene_->Find("Ok")->Enabled());
}

TEST(SceneReader, RejectsBrokenDescriptionsWithTheLine) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"", "expected the root control"},
      {"Layout R {\n rect = 0 0 10 10\n", "missing }"},
      {"Widget R {\n}\n", "unknown control kind"},
      {"Layout R {\n rect = 0 0 10 10\n Label A {\n }\n Label A {\n }\n}\n", "duplicate"},
      {"Layout R {\n rect = 0 0 10\n}\n", "expected 4 numbers"},
      {"Layout R {\n rect = 0 0 10 1.5\n}\n", "whole number"},
      {"Layout R {\n rect = 0 0 10 10\n fill = #FFF\n}\n", "colour"},
      {"Layout R {\n rect = 0 0 10 10\n text = \"open\n}\n", "unterminated"},
      {"Layout R {\n rect = 0 0 10 10\n colour = red\n}\n", "unknown property"},
      {"Layout R {\n rect = 0 0 10 10\n dock = middle\n}\n", "unknown value"},
      {"Layout R {\n rect = 0 0 10 10\n max = 5\n}\n", "unknown property"},
      {"Layout R {\n rect = 0 0 10 10\n}\nLayout S {\n}\n", "text after the root"},
      {"Layout R {\n}\n", "needs a size"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(ui::Scene::Load(c.text, &error), nullptr) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " -> " << error;
    EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
  }
  std::string error;
  EXPECT_NE(ui::Scene::Load("\xEF\xBB\xBFLayout R {\r\n rect = 0 0 9 9\r\n}\r\n", &error), nullptr)
      << error;
  std::string deep = "Layout R {\n rect = 0 0 9 9\n";
  for (int i = 0; i < 40; ++i) deep += "Layout L" + std::to_string(i) + " {\n";
  EXPECT_EQ(ui::Scene::Load(deep, nullptr), nullptr);
}

TEST(Utf8, DecodesTextsAndReplacesMalformedBytes) {
  EXPECT_EQ(ui::Utf8ToWide("a\xC3\xB1\xE2\x82\xAC"), L"a\u00f1\u20ac");
  std::wstring astral = ui::Utf8ToWide("\xF0\x9F\x98\x80");
  EXPECT_EQ(astral.size(), sizeof(wchar_t) == 2 ? 2u : 1u);
  EXPECT_EQ(ui::Utf8ToWide("\xC3"), L"\ufffd");                        // truncated
  EXPECT_EQ(ui::Utf8ToWide("\xC0\xAF"), L"\ufffd\ufffd");              // overlong
  EXPECT_EQ(ui::Utf8ToWide("\xED\xA0\x80x"), L"\ufffd\ufffd\ufffdx");  // surrogate
}

}  // namespace
