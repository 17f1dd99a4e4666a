// The wizard's scene in a real layered window on an X display: placement and style, mouse
// input (hover animation, clicks, caption drag), the Enter key, the application's message hook
// and the MSAA tree a screen reader would read.
#include <gtest/gtest.h>

#include <oleacc.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ui/layered_window_win.h"

namespace {

// Runs the window's messages until `done` holds or `seconds` pass.
template <class F>
bool PumpUntil(const F& done, double seconds = 3) {
  ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  while (!done()) {
    if (GetTickCount64() > end) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

class LayeredWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    scene_ = ui::LoadSceneResource(GetModuleHandleW(nullptr), L"WINDOW_UI", &error);
    ASSERT_TRUE(scene_) << error;
    scene_->SetClickHandler([this](ui::Control& c) { clicks_.push_back(c.Name()); });
    window_ = std::make_unique<ui::LayeredWindow>();
    ASSERT_TRUE(window_->Create(GetModuleHandleW(nullptr), L"TovixScourletUSB", *scene_, 613, 429));
    hwnd_ = window_->Handle();
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    PumpUntil([] { return false; }, 0.1);
  }
  void TearDown() override {
    window_.reset();  // destroys the window before the scene it shows
    scene_.reset();
  }
  POINT Centre(const char* name) {
    ui::Rect r = scene_->Find(name)->Bounds();
    return {r.x + r.w / 2, r.y + r.h / 2};
  }
  void ClickAt(POINT p) {
    SendMessageW(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, Point(p.x, p.y));
    SendMessageW(hwnd_, WM_LBUTTONUP, 0, Point(p.x, p.y));
  }
  void ShowPage(const char* page) {
    for (const char* p : {"WelcomePage", "DrivePage", "ProgressPage", "FinishPage"})
      scene_->Find(p)->SetVisible(std::string(p) == page);
  }

  std::unique_ptr<ui::Scene> scene_;
  std::unique_ptr<ui::LayeredWindow> window_;
  HWND hwnd_ = nullptr;
  std::vector<std::string> clicks_;
};

TEST_F(LayeredWindowTest, BorderlessLayeredCentredAndDrawnOnlyWhenChanged) {
  RECT r{};
  GetWindowRect(hwnd_, &r);
  EXPECT_EQ(r.right - r.left, 613);
  EXPECT_EQ(r.bottom - r.top, 429);
  RECT desk{};
  GetWindowRect(GetDesktopWindow(), &desk);
  EXPECT_LE(std::abs((r.left + r.right) - (desk.left + desk.right)), 1);
  EXPECT_LE(std::abs((r.top + r.bottom) - (desk.top + desk.bottom)), 1);
  LONG style = GetWindowLongW(hwnd_, GWL_STYLE), ex = GetWindowLongW(hwnd_, GWL_EXSTYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME));
  EXPECT_TRUE(ex & WS_EX_LAYERED);
  wchar_t title[64] = {};
  GetWindowTextW(hwnd_, title, 64);
  EXPECT_STREQ(title, L"TovixScourletUSB");
  EXPECT_TRUE(IsWindowVisible(hwnd_));

  // On screen: the opaque panel, and in the window's corner whatever lies under it.
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetPixel(screen, r.left + 20, r.top + 410), RGB(0x2F, 0x2F, 0x2F));
  EXPECT_EQ(GetPixel(screen, r.left + 1, r.top + 1), GetPixel(screen, r.left - 3, r.top - 3));

  // A change schedules one redraw, which the message loop carries out on screen.
  EXPECT_FALSE(scene_->NeedsRedraw());
  POINT p = Centre("WelcomePage");
  COLORREF before = GetPixel(screen, r.left + p.x, r.top + p.y);
  scene_->Find("WelcomePage")->SetVisible(false);
  scene_->Find("FinishPage")->SetVisible(true);  // its picture covers the page's centre
  EXPECT_TRUE(scene_->NeedsRedraw());
  EXPECT_TRUE(PumpUntil([&] { return !scene_->NeedsRedraw(); }));
  EXPECT_NE(GetPixel(screen, r.left + p.x, r.top + p.y), before);
  ReleaseDC(nullptr, screen);
}

TEST_F(LayeredWindowTest, HoverAnimatesTheCloseBoxAndClicksReachTheHandler) {
  ui::Control* close = scene_->Find("CloseBox");
  POINT box = Centre("CloseBox");
  ULONGLONG start = GetTickCount64();
  PostMessageW(hwnd_, WM_MOUSEMOVE, 0, Point(box.x, box.y));
  ASSERT_TRUE(PumpUntil([&] { return close->HoverAmount() == 1.0f; }));
  ULONGLONG took = GetTickCount64() - start;
  EXPECT_GE(took, 80u);  // a 0.1 s fade, not a jump
  EXPECT_TRUE(PumpUntil([&] { return !scene_->Animating(); }));
  EXPECT_TRUE(close->CurrentFill() == close->GetStyle().hover_fill);
  PumpUntil([] { return false; }, 0.1);
  EXPECT_FALSE(KillTimer(hwnd_, 0x7E11));  // the animation timer stopped with the animation

  // Leaving fades back.
  SendMessageW(hwnd_, WM_MOUSELEAVE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return close->HoverAmount() == 0.0f; }));

  ClickAt(box);
  ClickAt(Centre("StartButton"));
  ClickAt(Centre("WelcomeTitle"));  // labels take no clicks
  EXPECT_EQ(clicks_, (std::vector<std::string>{"CloseBox", "StartButton"}));

  // The caption band drags the window; controls and the page do not.
  RECT w{};
  GetWindowRect(hwnd_, &w);
  auto hit = [&](int x, int y) {
    return SendMessageW(hwnd_, WM_NCHITTEST, 0, Point(w.left + x, w.top + y));
  };
  EXPECT_EQ(hit(200, 20), HTCAPTION);
  EXPECT_EQ(hit(box.x, box.y), HTCLIENT);
  EXPECT_EQ(hit(200, 100), HTCLIENT);

  // The clickable refresh group shows the hand cursor; the rest the arrow.
  ShowPage("DrivePage");
  auto cursor_at = [&](POINT p) {
    SendMessageW(hwnd_, WM_MOUSEMOVE, 0, Point(p.x, p.y));
    SendMessageW(hwnd_, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd_),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  EXPECT_EQ(cursor_at(Centre("RefreshLabel")),
            LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // hand
  EXPECT_EQ(cursor_at(Centre("DriveTitle")),
            LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));  // arrow
  ClickAt(Centre("RefreshIcon"));
  EXPECT_EQ(clicks_.back(), "RefreshLink");
}

// Real input through the system: a press on the caption band, a move and a release. The drag's
// modal loop runs inside this thread's message handling, so another thread moves the mouse.
RECT DragFrom(HWND hwnd, POINT from, int dx, int dy) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  std::thread hand([&] {
    auto button = [](DWORD flags) {
      INPUT in{};
      in.type = INPUT_MOUSE;
      in.mi.dwFlags = flags;
      SendInput(1, &in, sizeof(in));
    };
    SetCursorPos(r.left + from.x, r.top + from.y);
    Sleep(100);
    button(MOUSEEVENTF_LEFTDOWN);
    Sleep(100);
    for (int i = 1; i <= 10; ++i) {
      SetCursorPos(r.left + from.x + dx * i / 10, r.top + from.y + dy * i / 10);
      Sleep(30);
    }
    button(MOUSEEVENTF_LEFTUP);
    Sleep(100);
  });
  PumpUntil([] { return false; }, 1.5);
  hand.join();
  PumpUntil([] { return false; }, 0.2);
  RECT after{};
  GetWindowRect(hwnd, &after);
  return {after.left - r.left, after.top - r.top, 0, 0};
}

TEST_F(LayeredWindowTest, DraggingTheCaptionBandMovesTheWindow) {
  RECT moved = DragFrom(hwnd_, {200, 20}, 50, 30);
  EXPECT_EQ(moved.left, 50);
  EXPECT_EQ(moved.top, 30);
  // The page below the band does not drag.
  moved = DragFrom(hwnd_, {200, 120}, 40, 20);
  EXPECT_EQ(moved.left, 0);
  EXPECT_EQ(moved.top, 0);
}

TEST_F(LayeredWindowTest, EnterPressesTheVisiblePagesEnabledButtonAfterTheAppsHook) {
  SendMessageW(hwnd_, WM_KEYDOWN, VK_RETURN, 0);
  ShowPage("DrivePage");
  SendMessageW(hwnd_, WM_KEYDOWN, VK_RETURN, 0);
  scene_->Find("InstallButton")->SetEnabled(false);
  SendMessageW(hwnd_, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(clicks_, (std::vector<std::string>{"StartButton", "InstallButton"}));

  // The application sees messages first and may keep them from the toolkit.
  std::vector<UINT> seen;
  window_->SetMessageHandler([&](UINT msg, WPARAM wp, LPARAM, LRESULT* result) {
    seen.push_back(msg);
    if (msg == WM_KEYDOWN && wp == VK_RETURN) return *result = 0, true;
    return false;
  });
  scene_->Find("InstallButton")->SetEnabled(true);
  SendMessageW(hwnd_, WM_KEYDOWN, VK_RETURN, 0);
  SendMessageW(hwnd_, WM_USER + 1, 3, 0);
  EXPECT_EQ(clicks_.size(), 2u);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_KEYDOWN, WM_USER + 1}));

  // A handler that closes the window from a click leaves the toolkit standing.
  window_->SetMessageHandler(nullptr);
  scene_->SetClickHandler([this](ui::Control&) { DestroyWindow(hwnd_); });
  ClickAt(Centre("InstallButton"));
  EXPECT_FALSE(IsWindow(hwnd_));
  EXPECT_EQ(window_->Handle(), nullptr);
}

struct Child {
  long id;
  std::wstring control, name, description, value;
  long role, state;
  long x, y, w, h;
};

std::vector<Child> ReadTree(IAccessible* acc) {
  std::vector<Child> out;
  long count = 0;
  if (FAILED(acc->get_accChildCount(&count))) return out;
  for (long id = 1; id <= count; ++id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    Child c{id, {}, {}, {}, {}, 0, 0, 0, 0, 0, 0};
    BSTR s = nullptr;
    long topic = 0;
    if (acc->get_accHelpTopic(&s, v, &topic) == S_OK) c.control = s;
    SysFreeString(s);
    s = nullptr;
    if (acc->get_accName(v, &s) == S_OK) c.name = s;
    SysFreeString(s);
    s = nullptr;
    if (acc->get_accDescription(v, &s) == S_OK) c.description = s;
    SysFreeString(s);
    s = nullptr;
    if (acc->get_accValue(v, &s) == S_OK) c.value = s;
    SysFreeString(s);
    VARIANT r;
    VariantInit(&r);
    if (acc->get_accRole(v, &r) == S_OK) c.role = r.lVal;
    if (acc->get_accState(v, &r) == S_OK) c.state = r.lVal;
    acc->accLocation(&c.x, &c.y, &c.w, &c.h, v);
    out.push_back(c);
  }
  return out;
}

const Child* ByControl(const std::vector<Child>& tree, const wchar_t* control_name) {
  for (const Child& c : tree)
    if (c.control == control_name && c.role != ROLE_SYSTEM_LISTITEM) return &c;
  return nullptr;
}

TEST_F(LayeredWindowTest, AccessibilityTreeShowsTheVisibleControls) {
  IAccessible* acc = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(hwnd_, static_cast<DWORD>(OBJID_CLIENT),
                                       __uuidof(IAccessible), reinterpret_cast<void**>(&acc)),
            S_OK);
  ASSERT_NE(acc, nullptr);
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  VARIANT role;
  VariantInit(&role);
  ASSERT_EQ(acc->get_accRole(self, &role), S_OK);
  EXPECT_EQ(role.lVal, ROLE_SYSTEM_CLIENT);

  std::vector<Child> tree = ReadTree(acc);
  const Child* start = ByControl(tree, L"StartButton");
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(start->name, L"Start");
  EXPECT_EQ(start->role, ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_FALSE(start->state & STATE_SYSTEM_UNAVAILABLE);
  RECT w{};
  GetWindowRect(hwnd_, &w);
  ui::Rect b = scene_->Find("StartButton")->Bounds();
  EXPECT_EQ(start->x, w.left + b.x);
  EXPECT_EQ(start->y, w.top + b.y);
  EXPECT_EQ(start->w, 124);
  EXPECT_EQ(start->h, 28);
  const Child* heading = ByControl(tree, L"WelcomeTitle");
  ASSERT_NE(heading, nullptr);
  EXPECT_EQ(heading->name, L"Create rescue USB drive");
  EXPECT_EQ(heading->role, ROLE_SYSTEM_STATICTEXT);
  ASSERT_NE(ByControl(tree, L"WindowFrame"), nullptr);
  EXPECT_EQ(ByControl(tree, L"WindowFrame")->name, L"Create Tovix Scourlet rescue USB drive");
  ASSERT_NE(ByControl(tree, L"StepsPicture"), nullptr);
  EXPECT_EQ(ByControl(tree, L"StepsPicture")->role, ROLE_SYSTEM_GRAPHIC);
  EXPECT_EQ(ByControl(tree, L"StepsPicture")->name,
            L"Steps: insert a USB drive, create the rescue drive, boot from it");
  ASSERT_NE(ByControl(tree, L"CloseBox"), nullptr);
  EXPECT_EQ(ByControl(tree, L"CloseBox")->name, L"Close");
  EXPECT_EQ(ByControl(tree, L"InstallButton"), nullptr);  // hidden page

  // Pressing through the accessibility object is a click; hit-testing finds the button.
  VARIANT child;
  VariantInit(&child);
  child.vt = VT_I4;
  child.lVal = start->id;
  EXPECT_EQ(acc->accDoDefaultAction(child), S_OK);
  EXPECT_EQ(clicks_, (std::vector<std::string>{"StartButton"}));
  VARIANT found;
  VariantInit(&found);
  ASSERT_EQ(acc->accHitTest(w.left + b.x + 5, w.top + b.y + 5, &found), S_OK);
  EXPECT_EQ(found.lVal, start->id);

  // The drive page: the list's items are readable without opening it, in order, with the
  // selection; a disabled button says so.
  ShowPage("DrivePage");
  auto* combo = scene_->FindAs<ui::DropDown>("DriveList");
  combo->AddItem(L"F");
  combo->AddItem(L"G");
  combo->SetSelected(0);
  scene_->Find("InstallButton")->SetEnabled(false);
  tree = ReadTree(acc);
  const Child* list = ByControl(tree, L"DriveList");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->role, ROLE_SYSTEM_COMBOBOX);
  EXPECT_EQ(list->value, L"F");
  std::vector<std::wstring> items;
  for (const Child& c : tree)
    if (c.role == ROLE_SYSTEM_LISTITEM)
      items.push_back(c.name + ((c.state & STATE_SYSTEM_SELECTED) ? L"*" : L""));
  EXPECT_EQ(items, (std::vector<std::wstring>{L"F*", L"G"}));
  ASSERT_NE(ByControl(tree, L"InstallButton"), nullptr);
  EXPECT_TRUE(ByControl(tree, L"InstallButton")->state & STATE_SYSTEM_UNAVAILABLE);
  EXPECT_EQ(ByControl(tree, L"NoDriveNotice"), nullptr);
  EXPECT_EQ(ByControl(tree, L"StartButton"), nullptr);
  // The refresh link is a button that reads as its label says.
  const Child* refresh = ByControl(tree, L"RefreshLink");
  ASSERT_NE(refresh, nullptr);
  EXPECT_EQ(refresh->role, ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_EQ(refresh->name, L"Refresh");
  EXPECT_EQ(ByControl(tree, L"RefreshLabel"), nullptr);  // a part of the link, not said twice
  EXPECT_EQ(ByControl(tree, L"RefreshIcon"), nullptr);
  EXPECT_EQ(list->name, L"USB drive");

  // After the window is gone the object answers without touching the scene.
  window_.reset();
  long count = 0;
  EXPECT_EQ(acc->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
  acc->Release();
}

// What a reader says is what the user sees: no child of any page is named or described by an
// internal identifier, and controls without a name of their own (layout groups, the refresh
// link's parts) are not listed.
TEST_F(LayeredWindowTest, AccessibleNamesAreVisibleTextsNeverControlNames) {
  IAccessible* acc = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(hwnd_, static_cast<DWORD>(OBJID_CLIENT),
                                       __uuidof(IAccessible), reinterpret_cast<void**>(&acc)),
            S_OK);
  scene_->FindAs<ui::DropDown>("DriveList")->AddItem(L"E:  RESCUE  14.9 GB", L"E:\\");
  std::vector<std::wstring> all_names;
  std::function<void(const ui::Control&)> collect = [&](const ui::Control& c) {
    all_names.push_back(std::wstring(c.Name().begin(), c.Name().end()));
    for (size_t i = 0; i < c.ChildCount(); ++i) collect(*c.Child(i));
  };
  collect(*scene_->Root());
  for (const char* page : {"WelcomePage", "DrivePage", "ProgressPage", "FinishPage"}) {
    SCOPED_TRACE(page);
    ShowPage(page);
    const std::vector<Child> tree = ReadTree(acc);
    ASSERT_FALSE(tree.empty());
    for (const Child& c : tree) {
      EXPECT_FALSE(c.name.empty()) << std::string(c.control.begin(), c.control.end());
      EXPECT_TRUE(c.description.empty());
      for (const std::wstring& internal : all_names) EXPECT_NE(c.name, internal);
      EXPECT_NE(c.control, L"") << "every child can still be addressed by its control";
    }
    for (const wchar_t* unlisted : {L"WindowRoot", L"WelcomePage", L"DrivePage", L"StepsPanel",
                                    L"RefreshLabel", L"RefreshIcon"})
      EXPECT_EQ(ByControl(tree, unlisted), nullptr);
  }
  ShowPage("FinishPage");
  const std::vector<Child> finish = ReadTree(acc);
  ASSERT_NE(ByControl(finish, L"ErrorPicture"), nullptr);
  EXPECT_EQ(ByControl(finish, L"ErrorPicture")->name, L"Error");
  EXPECT_EQ(ByControl(finish, L"SuccessPicture")->name, L"Success");
  ShowPage("ProgressPage");
  EXPECT_EQ(ByControl(ReadTree(acc), L"ProgressBar")->name, L"Progress");
  acc->Release();
}

// The keyboard on the real window: Tab and Shift+Tab move a visible ring through the page's
// controls, reported as the accessible focus; Space presses the focused control; Escape presses
// the close box.
TEST_F(LayeredWindowTest, KeyboardMovesAVisibleFocusAndPresses) {
  IAccessible* acc = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(hwnd_, static_cast<DWORD>(OBJID_CLIENT),
                                       __uuidof(IAccessible), reinterpret_cast<void**>(&acc)),
            S_OK);
  ShowPage("DrivePage");
  auto* list = scene_->FindAs<ui::DropDown>("DriveList");
  list->AddItem(L"E:  RESCUE  14.9 GB", L"E:\\");
  list->AddItem(L"F:  DATA  2.0 GB", L"F:\\");
  list->SetSelected(0);
  PumpUntil([&] { return !scene_->NeedsRedraw(); });
  RECT w{};
  GetWindowRect(hwnd_, &w);
  HDC screen = GetDC(nullptr);
  const ui::Rect install = scene_->Find("InstallButton")->Bounds();
  // Just left of the button, where the ring runs.
  auto ring_pixel = [&] {
    return GetPixel(screen, w.left + install.x - 3, w.top + install.y + 14);
  };
  const COLORREF unfocused = ring_pixel();

  auto key = [&](WPARAM vk) {
    SendMessageW(hwnd_, WM_KEYDOWN, vk, 1);
    SendMessageW(hwnd_, WM_KEYUP, vk, 0xC0000001);
  };
  auto focused = [&] {
    VARIANT v;
    VariantInit(&v);
    std::wstring name;
    if (acc->get_accFocus(&v) == S_OK && v.vt == VT_I4 && v.lVal != CHILDID_SELF) {
      for (const Child& c : ReadTree(acc))
        if (c.id == v.lVal && (c.state & STATE_SYSTEM_FOCUSED)) name = c.control;
    }
    return name;
  };
  std::vector<std::wstring> visited;
  for (int i = 0; i < 5; ++i) {
    key(VK_TAB);
    visited.push_back(focused());
  }
  EXPECT_EQ(visited, (std::vector<std::wstring>{L"DriveList", L"RefreshLink", L"InstallButton",
                                                L"CloseBox", L"DriveList"}));
  // Shift+Tab goes back; the ring is drawn on screen.
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_SHIFT] = 0x80;
  SetKeyboardState(keys);
  key(VK_TAB);
  key(VK_TAB);
  keys[VK_SHIFT] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(focused(), L"InstallButton");
  ASSERT_TRUE(PumpUntil([&] { return !scene_->NeedsRedraw(); }));
  EXPECT_NE(ring_pixel(), unfocused);
  EXPECT_EQ(ring_pixel(), RGB(0x74, 0xB4, 0xF0));

  // Space presses it; arrows change the drive when the list has the focus; Escape is the close
  // box.
  key(VK_SPACE);
  EXPECT_EQ(clicks_, (std::vector<std::string>{"InstallButton"}));
  key(VK_TAB);
  key(VK_TAB);  // past the close box, round to the list
  EXPECT_EQ(focused(), L"DriveList");
  key(VK_DOWN);
  EXPECT_EQ(list->Selected(), 1);
  key(VK_UP);
  EXPECT_EQ(list->Selected(), 0);
  key(VK_ESCAPE);
  EXPECT_EQ(clicks_, (std::vector<std::string>{"InstallButton", "CloseBox"}));

  // A page change takes the focus away with the control; the ring goes with it.
  key(VK_TAB);
  key(VK_TAB);
  EXPECT_EQ(focused(), L"InstallButton");
  ShowPage("WelcomePage");
  EXPECT_EQ(focused(), L"");
  ReleaseDC(nullptr, screen);
  acc->Release();
}

}  // namespace
