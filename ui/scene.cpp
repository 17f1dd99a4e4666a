#include "ui/scene.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace ui {

Color Mix(Color from, Color to, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  auto mix = [t](uint8_t a, uint8_t b) {
    return static_cast<uint8_t>(std::lround(a + (static_cast<float>(b) - a) * t));
  };
  return {mix(from.a, to.a), mix(from.r, to.r), mix(from.g, to.g), mix(from.b, to.b)};
}

// ---- Control ----

Control::Control(Scene* scene, ControlKind kind, std::string name)
    : scene_(scene), kind_(kind), name_(std::move(name)) {
  hit_testable_ =
      kind == ControlKind::Button || kind == ControlKind::DropDown || kind == ControlKind::CloseBox;
}

Control::~Control() {
  if (scene_) scene_->ForgetControl(this);
}

void Control::Changed() {
  if (scene_) scene_->MarkChanged();
}

void Control::SetText(std::wstring text) {
  if (text == text_) return;
  text_ = std::move(text);
  Changed();
}

void Control::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (!visible && scene_) {
    // A hidden control loses hover, press and an open list, here and below.
    for (Control* c = scene_->hovered_; c; c = c->parent_)
      if (c == this) scene_->SetHovered(nullptr);
    for (Control* c = scene_->pressed_; c; c = c->parent_)
      if (c == this) scene_->pressed_ = nullptr;
    if (DropDown* open = scene_->OpenDropDown(); open && !open->EffectivelyVisible())
      open->SetOpen(false);
    scene_->CheckFocus();
  }
  Changed();
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (!enabled && scene_) {
    if (scene_->hovered_ && !scene_->hovered_->EffectivelyEnabled()) scene_->SetHovered(nullptr);
    if (scene_->pressed_ && !scene_->pressed_->EffectivelyEnabled()) scene_->pressed_ = nullptr;
    if (DropDown* open = scene_->OpenDropDown(); open && !open->EffectivelyEnabled())
      open->SetOpen(false);
    scene_->CheckFocus();
  }
  Changed();
}

void Control::SetOpacity(float opacity) {
  opacity = std::clamp(opacity, 0.0f, 1.0f);
  if (opacity == opacity_) return;
  opacity_ = opacity;
  Changed();
}

bool Control::EffectivelyVisible() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

bool Control::EffectivelyEnabled() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->enabled_) return false;
  return true;
}

float Control::EffectiveOpacity() const {
  float o = 1;
  for (const Control* c = this; c; c = c->parent_) o *= c->opacity_;
  return o;
}

bool Control::Hovered() const { return scene_ && scene_->hovered_ == this; }
bool Control::Pressed() const { return scene_ && scene_->pressed_ == this; }
bool Control::Focused() const { return scene_ && scene_->focused_ == this; }

// ---- Frame ----

Rect Frame::Panel() const {
  Rect b = Bounds();
  return {b.x + panel_inset_, b.y + panel_inset_, std::max(0, b.w - 2 * panel_inset_),
          std::max(0, b.h - 2 * panel_inset_)};
}

Rect Frame::CaptionBand() const {
  Rect p = Panel();
  return {p.x, p.y, p.w, std::min(caption_height_, p.h)};
}

// ---- DropDown ----

void DropDown::ClearItems() {
  if (items_.empty() && selected_ < 0) return;
  items_.clear();
  selected_ = -1;
  open_ = false;
  Changed();
}

void DropDown::AddItem(std::wstring text, std::wstring value) {
  items_.push_back({std::move(text), std::move(value)});
  Changed();
}

void DropDown::SetSelected(int index) {
  if (index < 0 || index >= ItemCount()) index = -1;
  if (index == selected_) return;
  selected_ = index;
  Changed();
  if (on_select_) on_select_();
}

void DropDown::SetOpen(bool open) {
  if (open && items_.empty()) open = false;
  if (open == open_) return;
  open_ = open;
  hovered_item_ = -1;
  Changed();
}

Rect DropDown::ListBounds() const {
  Rect b = Bounds();
  return {b.x, b.y + b.h, b.w, ItemHeight() * ItemCount()};
}

Rect DropDown::ItemBounds(int index) const {
  Rect l = ListBounds();
  return {l.x, l.y + index * ItemHeight(), l.w, ItemHeight()};
}

// ---- ProgressBar ----

void ProgressBar::SetValue(double percent) {
  if (std::isnan(percent)) percent = 0;
  percent = std::clamp(percent, 0.0, max_);
  if (percent == value_) return;
  value_ = percent;
  Changed();
}

// ---- Scene ----

Scene::~Scene() {
  // Controls report their destruction to the scene; the tree goes first while the scene is whole.
  root_.reset();
}

void Scene::ForgetControl(const Control* gone) {
  if (hovered_ == gone) hovered_ = nullptr;
  if (pressed_ == gone) pressed_ = nullptr;
  if (focused_ == gone) focused_ = nullptr;
}

namespace {
template <class F>
Control* FindDepthFirst(Control* c, const F& match) {
  if (!c) return nullptr;
  if (match(*c)) return c;
  for (size_t i = 0; i < c->ChildCount(); ++i)
    if (Control* found = FindDepthFirst(c->Child(i), match)) return found;
  return nullptr;
}

template <class F>
void ForEach(Control* c, const F& f) {
  if (!c) return;
  f(*c);
  for (size_t i = 0; i < c->ChildCount(); ++i) ForEach(c->Child(i), f);
}
}  // namespace

Control* Scene::Find(std::string_view name) const {
  return FindDepthFirst(root_.get(), [name](const Control& c) { return c.Name() == name; });
}

Frame* Scene::GetFrame() const {
  return static_cast<Frame*>(
      FindDepthFirst(root_.get(), [](const Control& c) { return c.Kind() == ControlKind::Frame; }));
}

int Scene::Width() const { return root_ ? root_->declared_.w : 0; }
int Scene::Height() const { return root_ ? root_->declared_.h : 0; }

DropDown* Scene::OpenDropDown() const {
  return static_cast<DropDown*>(FindDepthFirst(root_.get(), [](const Control& c) {
    return c.Kind() == ControlKind::DropDown && static_cast<const DropDown&>(c).IsOpen();
  }));
}

void Scene::MarkChanged() {
  if (dirty_) return;
  dirty_ = true;
  if (on_change_) on_change_();
}

void Scene::TranslateTexts(
    const std::function<std::wstring(const std::wstring& english)>& translate) {
  ForEach(root_.get(), [&](Control& c) {
    if (c.key_.empty()) return;
    std::wstring shown = translate(c.key_);
    c.SetText(shown.empty() ? c.key_ : std::move(shown));
  });
}

void Scene::Layout(int width, int height) {
  if (!root_) return;
  Rect old = root_->bounds_;
  root_->bounds_ = {0, 0, width, height};
  std::vector<Rect> before;
  ForEach(root_.get(), [&](Control& c) { before.push_back(c.bounds_); });
  LayoutChildren(*root_);
  size_t i = 0;
  bool moved = old != root_->bounds_;
  ForEach(root_.get(), [&](Control& c) { moved = moved || before[i++] != c.bounds_; });
  if (moved) MarkChanged();
}

void Scene::LayoutChildren(Control& parent) {
  const Rect pb = parent.bounds_;
  const Insets& pad = parent.padding_;
  const Rect content{pb.x + pad.left, pb.y + pad.top, std::max(0, pb.w - pad.left - pad.right),
                     std::max(0, pb.h - pad.top - pad.bottom)};
  Rect free = content;  // what edge-docked siblings have not taken yet
  auto place = [](Rect area, const Insets& m) {
    return Rect{area.x + m.left, area.y + m.top, std::max(0, area.w - m.left - m.right),
                std::max(0, area.h - m.top - m.bottom)};
  };

  // Edge-docked and fixed children first, in order; fill children take what remains.
  for (auto& child : parent.children_) {
    Control& c = *child;
    const Rect d = c.declared_;
    const Insets& m = c.margins_;
    const Rect base = c.outer_ ? pb : content;
    switch (c.dock_) {
      case Dock::None: c.bounds_ = {base.x + d.x, base.y + d.y, d.w, d.h}; break;
      case Dock::StretchX:
        c.bounds_ = {base.x + m.left, base.y + d.y, std::max(0, base.w - m.left - m.right), d.h};
        break;
      case Dock::Top: {
        int h = std::min(d.h + m.top + m.bottom, free.h);
        c.bounds_ = place({free.x, free.y, free.w, h}, m);
        free.y += h;
        free.h -= h;
        break;
      }
      case Dock::Left: {
        int w = std::min(d.w + m.left + m.right, free.w);
        c.bounds_ = place({free.x, free.y, w, free.h}, m);
        free.x += w;
        free.w -= w;
        break;
      }
      case Dock::Right: {
        int w = std::min(d.w + m.left + m.right, free.w);
        c.bounds_ = place({free.x + free.w - w, free.y, w, free.h}, m);
        free.w -= w;
        break;
      }
      case Dock::Fill: break;
    }
  }
  for (auto& child : parent.children_)
    if (child->dock_ == Dock::Fill) child->bounds_ = place(free, child->margins_);
  for (auto& child : parent.children_) LayoutChildren(*child);
}

Control* Scene::HitTest(int x, int y) const {
  if (DropDown* open = OpenDropDown(); open && open->ListBounds().Contains(x, y)) return open;
  // Later children are drawn above earlier ones, so search them first.
  std::function<Control*(Control*)> search = [&](Control* c) -> Control* {
    if (!c->visible_ || !c->enabled_) return nullptr;
    for (size_t i = c->ChildCount(); i-- > 0;)
      if (Control* hit = search(c->Child(i))) return hit;
    return c->hit_testable_ && c->bounds_.Contains(x, y) ? c : nullptr;
  };
  return root_ ? search(root_.get()) : nullptr;
}

bool Scene::IsCaption(int x, int y) const {
  Frame* frame = GetFrame();
  return frame && frame->EffectivelyVisible() && frame->CaptionBand().Contains(x, y) &&
         !HitTest(x, y);
}

void Scene::SetHovered(Control* control) {
  if (control == hovered_) return;
  Control* old = hovered_;
  hovered_ = control;
  // Fills with a hover colour animate; the others change at once (and only need a redraw).
  for (Control* c : {old, control}) {
    if (!c) continue;
    if (c->style_.hover_seconds > 0 && c->style_.hover_fill != c->style_.fill) continue;
    c->hover_amount_ = c == hovered_ ? 1.0f : 0.0f;
  }
  MarkChanged();
}

void Scene::MouseMove(int x, int y) {
  if (DropDown* open = OpenDropDown()) {
    Rect list = open->ListBounds();
    int row = list.Contains(x, y) ? (y - list.y) / std::max(1, open->ItemHeight()) : -1;
    if (row != open->hovered_item_) {
      open->hovered_item_ = row;
      MarkChanged();
    }
  }
  SetHovered(HitTest(x, y));
}

void Scene::MouseLeave() { SetHovered(nullptr); }

void Scene::CancelMouse() {
  if (DropDown* open = OpenDropDown()) open->SetOpen(false);
  if (pressed_) MarkChanged();
  pressed_ = nullptr;
  SetHovered(nullptr);
}

void Scene::MouseDown(int x, int y) {
  Control* hit = HitTest(x, y);
  DropDown* open = OpenDropDown();
  if (open && hit != open) open->SetOpen(false);  // a click elsewhere closes the list
  pressed_ = hit;
  SetHovered(hit);
  MarkChanged();
}

void Scene::MouseUp(int x, int y) {
  Control* was_pressed = pressed_;
  pressed_ = nullptr;
  Control* hit = HitTest(x, y);
  MarkChanged();
  if (!was_pressed || hit != was_pressed) return;
  if (hit->Kind() == ControlKind::DropDown) {
    auto* dd = static_cast<DropDown*>(hit);
    if (dd->IsOpen() && dd->ListBounds().Contains(x, y)) {
      dd->SetSelected((y - dd->ListBounds().y) / std::max(1, dd->ItemHeight()));
      dd->SetOpen(false);
    } else {
      dd->SetOpen(!dd->IsOpen());
    }
    return;
  }
  Click(*hit);
}

void Scene::Click(Control& control) {
  if (!control.hit_testable_ || !control.EffectivelyVisible() || !control.EffectivelyEnabled())
    return;
  if (control.Kind() == ControlKind::DropDown) {
    auto& dd = static_cast<DropDown&>(control);
    dd.SetOpen(!dd.IsOpen());
    return;
  }
  // The control's handler last: its action may end the window that hosts the scene.
  if (on_click_) on_click_(control);
  if (control.on_click_) control.on_click_();
}

bool Scene::Focusable(const Control& control) {
  return control.hit_testable_ && control.EffectivelyVisible() && control.EffectivelyEnabled();
}

void Scene::CheckFocus() {
  if (!focused_ || Focusable(*focused_)) return;
  focused_ = nullptr;
  MarkChanged();
}

bool Scene::SetFocused(Control* control) {
  if (control && !Focusable(*control)) return false;
  if (control != focused_) {
    focused_ = control;
    MarkChanged();
  }
  return true;
}

std::vector<Control*> Scene::TabOrder() const {
  std::vector<Control*> order;
  ForEach(root_.get(), [&](Control& c) {
    if (Focusable(c)) order.push_back(&c);
  });
  std::stable_sort(order.begin(), order.end(), [](const Control* a, const Control* b) {
    const Rect ra = a->Bounds(), rb = b->Bounds();
    return std::tie(a->outer_, ra.y, ra.x) < std::tie(b->outer_, rb.y, rb.x);
  });
  return order;
}

bool Scene::KeyDown(Key key, bool shift) {
  DropDown* open = OpenDropDown();
  switch (key) {
    case Key::Tab: {
      const std::vector<Control*> order = TabOrder();
      if (order.empty()) return false;
      const auto at = std::find(order.begin(), order.end(), focused_);
      const size_t n = order.size();
      size_t next = shift ? n - 1 : 0;
      if (at != order.end()) {
        const size_t i = static_cast<size_t>(at - order.begin());
        next = shift ? (i + n - 1) % n : (i + 1) % n;
      }
      if (open) open->SetOpen(false);
      return SetFocused(order[next]);
    }
    case Key::Space:
      if (!focused_) return false;
      Click(*focused_);
      return true;
    case Key::Enter: {
      if (open) {
        open->SetOpen(false);
        return true;
      }
      Control* target =
          focused_ && focused_->Kind() != ControlKind::DropDown ? focused_ : DefaultButton();
      if (!target) return false;
      Click(*target);
      return true;
    }
    case Key::Escape: {
      if (open) {
        open->SetOpen(false);
        return true;
      }
      // A shown question's "Cancel" answers Escape before the window's close box does.
      Control* close = FindDepthFirst(
          root_.get(), [](const Control& c) { return c.is_cancel_ && Focusable(c); });
      if (!close)
        close = FindDepthFirst(root_.get(), [](const Control& c) {
          return c.Kind() == ControlKind::CloseBox && Focusable(c);
        });
      if (!close) return false;
      Click(*close);
      return true;
    }
    case Key::Up:
    case Key::Left:
    case Key::Down:
    case Key::Right: {
      DropDown* list = open;
      if (!list && focused_ && focused_->Kind() == ControlKind::DropDown)
        list = static_cast<DropDown*>(focused_);
      if (!list || list->ItemCount() == 0) return false;
      const int step = key == Key::Up || key == Key::Left ? -1 : 1;
      // With nothing chosen yet, Down chooses the first item and Up the last.
      const int none = step > 0 ? -1 : list->ItemCount();
      const int from = list->Selected() < 0 ? none : list->Selected();
      list->SetSelected(std::clamp(from + step, 0, list->ItemCount() - 1));
      return true;
    }
  }
  return false;
}

Control* Scene::DefaultButton() const {
  return FindDepthFirst(root_.get(), [](const Control& c) {
    return c.is_default_ && c.EffectivelyVisible() && c.EffectivelyEnabled();
  });
}

bool Scene::Animating() const {
  return FindDepthFirst(root_.get(), [this](const Control& c) {
           float target = &c == hovered_ ? 1.0f : 0.0f;
           return c.hover_amount_ != target;
         }) != nullptr;
}

bool Scene::Tick(double now_seconds) {
  if (!Animating()) {
    last_tick_ = -1;
    return false;
  }
  // The first tick of an animation only records its start; later ticks move each fill toward
  // its target by the elapsed share of its duration.
  double elapsed = last_tick_ < 0 ? 0.0 : std::max(0.0, now_seconds - last_tick_);
  last_tick_ = now_seconds;
  ForEach(root_.get(), [&](Control& c) {
    float target = &c == hovered_ ? 1.0f : 0.0f;
    if (c.hover_amount_ == target) return;
    float step =
        c.style_.hover_seconds > 0 ? static_cast<float>(elapsed / c.style_.hover_seconds) : 1.0f;
    c.hover_amount_ = target > c.hover_amount_ ? std::min(target, c.hover_amount_ + step)
                                               : std::max(target, c.hover_amount_ - step);
    // Elapsed/duration rounding must not leave a fill a hair short of its end colour.
    if (std::fabs(c.hover_amount_ - target) < 1e-3f) c.hover_amount_ = target;
    MarkChanged();
  });
  if (Animating()) return true;
  last_tick_ = -1;
  return false;
}

}  // namespace ui
