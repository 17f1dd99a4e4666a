// The toolkit's scene model: a retained tree of named controls, built from a declarative window
// description, laid out in window pixels, with visibility, enabled state, opacity, hit-testing,
// hover/press tracking, click events and short colour animations.
//
// The model is portable and knows nothing about drawing: a renderer (the layered window, or the
// offscreen PNG renderer) walks the tree after Layout() and draws each effectively visible
// control from its Style. Input arrives as window-pixel coordinates through the Mouse* calls;
// clicks on enabled buttons, close boxes and clickable groups reach the click handler. Anything
// that changes what would be drawn marks the scene dirty (NeedsRedraw) and calls the change
// handler, so a host window can schedule one redraw. Animations advance only inside Tick(), which
// a host calls from a timer that it keeps running only while Tick() returns true.
//
// A click reaches the scene's click handler, which sees every click, and then the clicked
// control's own handler, where a window binds the control's action.
//
// Keyboard: one control at a time may hold the focus, among those that take mouse input and are
// effectively visible and enabled (a hidden or disabled control loses it). The host hands key
// presses to KeyDown; Tab moves the focus in reading order, and the renderer rings the focused
// control.
//
// Layout: every control has a declared rectangle (x, y, w, h) relative to its parent's content
// box (the parent's bounds less its padding), a Dock mode and margins:
//   None     the declared rectangle as is;
//   StretchX x = margin.left and the width spans the content box less the left/right margins;
//            y and h stay as declared;
//   Top/Left/Right  docked to that edge of what the earlier docked siblings left, in child
//            order, less margins; the other dimension spans the remaining area;
//   Fill     the area the docked siblings left, less margins.
// A control with `outer` set is placed relative to its parent's bounds instead of its content
// box (the close box sits in the frame's caption band, outside the content box).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool Contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
  // The rectangle `scale` times larger (layout units to device pixels), edges rounded.
  Rect Scaled(float scale) const {
    auto at = [scale](int v) { return static_cast<int>(v * scale + 0.5f); };
    return {at(x), at(y), at(x + w) - at(x), at(y + h) - at(y)};
  }
  bool operator==(const Rect& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
  bool operator!=(const Rect& o) const { return !(*this == o); }
};

// Straight (not premultiplied) ARGB, as written in the description: #AARRGGBB.
struct Color {
  uint8_t a = 0, r = 0, g = 0, b = 0;
  bool operator==(const Color& o) const { return a == o.a && r == o.r && g == o.g && b == o.b; }
  bool operator!=(const Color& o) const { return !(*this == o); }
};

// Linear blend from `from` (t = 0) to `to` (t = 1), per channel.
Color Mix(Color from, Color to, float t);

struct Insets {
  int left = 0, top = 0, right = 0, bottom = 0;
};

enum class ControlKind { Frame, Layout, Label, Button, DropDown, Image, ProgressBar, CloseBox };
enum class Dock { None, StretchX, Top, Left, Right, Fill };
enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Center, Bottom };
// How a picture is drawn in its control: at its own size centred, or scaled to fit (aspect kept).
enum class PictureFit { Center, Fit };
// The keys the scene answers; a host maps its platform's key codes onto them.
enum class Key { Tab, Enter, Space, Escape, Up, Down, Left, Right };

// Everything a renderer needs to draw a control; filled from the description, defaults shown.
struct Style {
  std::wstring font_family = L"Tahoma";
  float font_size = 11;  // pixels at 96 dpi
  bool bold = false;
  HAlign halign = HAlign::Center;
  VAlign valign = VAlign::Center;
  bool wrap = true;  // labels break long texts into lines
  Color text_color{0xFF, 0xE0, 0xE0, 0xE0};
  Color fill{0, 0, 0, 0};        // background/fill; the close box's disc colour
  Color hover_fill{0, 0, 0, 0};  // fill while hovered (animated from `fill`)
  float hover_seconds = 0;       // duration of the fill change each way; 0 = immediate
  std::string picture;           // picture resource name (Image)
  PictureFit fit = PictureFit::Fit;
  bool hand_cursor = false;
};

class Scene;

class Control {
 public:
  Control(Scene* scene, ControlKind kind, std::string name);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& Name() const { return name_; }
  ControlKind Kind() const { return kind_; }

  // The shown text, and the English text from the description that translation starts from.
  // A control that draws no text (picture, list, bar, close box) may have one from the
  // description's `alt`: what assistive technology calls it.
  const std::wstring& Text() const { return text_; }
  void SetText(std::wstring text);
  const std::wstring& Key() const { return key_; }

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  float Opacity() const { return opacity_; }
  void SetOpacity(float opacity);  // clamped to [0, 1]

  // Visible/enabled here and in every ancestor.
  bool EffectivelyVisible() const;
  bool EffectivelyEnabled() const;
  // Product of this control's and its ancestors' opacities.
  float EffectiveOpacity() const;

  // Takes mouse input (buttons, drop-downs, close boxes, clickable groups).
  bool HitTestable() const { return hit_testable_; }
  // The page's button that the Enter key presses.
  bool IsDefault() const { return is_default_; }
  // The page's button that the Escape key presses (a question's "Cancel").
  bool IsCancel() const { return is_cancel_; }

  // Absolute, in window pixels, after Scene::Layout.
  Rect Bounds() const { return bounds_; }
  const Style& GetStyle() const { return style_; }

  Control* Parent() const { return parent_; }
  size_t ChildCount() const { return children_.size(); }
  Control* Child(size_t i) const { return children_[i].get(); }

  // Called when the control is clicked (see Scene::Click).
  void SetClickHandler(std::function<void()> handler) { on_click_ = std::move(handler); }

  // Hover animation position: 0 = normal fill, 1 = hover fill.
  float HoverAmount() const { return hover_amount_; }
  Color CurrentFill() const { return Mix(style_.fill, style_.hover_fill, hover_amount_); }
  bool Hovered() const;
  bool Pressed() const;
  bool Focused() const;

 protected:
  void Changed();

 private:
  friend class Scene;
  friend class DescriptionParser;

  Scene* scene_;
  ControlKind kind_;
  std::string name_;
  std::wstring text_, key_;
  bool visible_ = true, enabled_ = true;
  float opacity_ = 1;
  bool hit_testable_ = false, is_default_ = false, is_cancel_ = false, outer_ = false;
  Rect declared_{}, bounds_{};
  Dock dock_ = Dock::None;
  Insets margins_{}, padding_{};
  Style style_{};
  float hover_amount_ = 0;
  Control* parent_ = nullptr;
  std::vector<std::unique_ptr<Control>> children_;
  std::function<void()> on_click_;
};

// The window frame: a rounded panel inset from the window edges, with a caption band.
class Frame : public Control {
 public:
  Frame(Scene* scene, std::string name) : Control(scene, ControlKind::Frame, std::move(name)) {}
  int PanelInset() const { return panel_inset_; }  // shadow margin around the panel
  int CornerRadius() const { return corner_radius_; }
  int CaptionHeight() const { return caption_height_; }
  Color OutlineColor() const { return outline_; }
  // Window pixels of the panel and of its caption band, after layout.
  Rect Panel() const;
  Rect CaptionBand() const;

 private:
  friend class DescriptionParser;
  int panel_inset_ = 12, corner_radius_ = 9, caption_height_ = 22;
  Color outline_{0x5B, 0, 0, 0};
};

// A drop-down list whose items each show a text and carry a value of their own (what the item
// stands for, which the text may abbreviate).
class DropDown : public Control {
 public:
  DropDown(Scene* scene, std::string name)
      : Control(scene, ControlKind::DropDown, std::move(name)) {}
  void ClearItems();
  void AddItem(std::wstring text, std::wstring value = {});
  int ItemCount() const { return static_cast<int>(items_.size()); }
  const std::wstring& Item(int index) const { return items_.at(static_cast<size_t>(index)).text; }
  const std::wstring& ItemValue(int index) const {
    return items_.at(static_cast<size_t>(index)).value;
  }
  int Selected() const { return selected_; }  // -1: none
  void SetSelected(int index);                // out of range: no selection
  // Called after the selection changed, whether the user or the program changed it.
  void SetSelectHandler(std::function<void()> handler) { on_select_ = std::move(handler); }

  // The popup list, opened by a click on the control and closed by a choice or a click elsewhere.
  bool IsOpen() const { return open_; }
  void SetOpen(bool open);
  // The row under the mouse while the list is open, else -1.
  int HoveredItem() const { return open_ ? hovered_item_ : -1; }
  int ItemHeight() const { return Bounds().h; }
  // Window pixels of the open list (below the control, one row per item).
  Rect ListBounds() const;
  Rect ItemBounds(int index) const;

 private:
  friend class Scene;
  struct ListItem {
    std::wstring text, value;
  };
  std::vector<ListItem> items_;
  std::function<void()> on_select_;
  int selected_ = -1;
  int hovered_item_ = -1;
  bool open_ = false;
};

class ProgressBar : public Control {
 public:
  ProgressBar(Scene* scene, std::string name)
      : Control(scene, ControlKind::ProgressBar, std::move(name)) {}
  void SetValue(double percent);
  double Value() const { return value_; }
  double Maximum() const { return max_; }

 private:
  friend class DescriptionParser;
  double value_ = 0, max_ = 100;
};

class Scene {
 public:
  // Parses a window description (UTF-8 text). On failure returns null and, when `error` is given,
  // a message naming the line.
  static std::unique_ptr<Scene> Load(std::string_view description, std::string* error);
  ~Scene();

  Control* Root() const { return root_.get(); }
  // The first control of that name, depth first; null when there is none.
  Control* Find(std::string_view name) const;
  template <class T>
  T* FindAs(std::string_view name) const {
    return dynamic_cast<T*>(Find(name));
  }
  // The frame control, if the description has one.
  Frame* GetFrame() const;
  // The window size the description asks for (its root's declared size).
  int Width() const;
  int Height() const;

  // Clicks on enabled, visible buttons, close boxes and clickable groups, before the control's
  // own handler.
  void SetClickHandler(std::function<void(Control&)> handler) { on_click_ = std::move(handler); }
  // Called (once per clean→dirty transition) when something changed that needs a redraw.
  void SetChangeHandler(std::function<void()> handler) { on_change_ = std::move(handler); }

  // Sets every text-bearing control's text to translate(its English key). Empty results keep
  // the English text.
  void TranslateTexts(const std::function<std::wstring(const std::wstring& english)>& translate);

  void Layout(int width, int height);

  // Topmost effectively visible and enabled control that takes mouse input at (x, y), including
  // the items of an open drop-down list; null when none.
  Control* HitTest(int x, int y) const;
  // A point on the frame's caption band with no control under it: the window is dragged there.
  bool IsCaption(int x, int y) const;

  void MouseMove(int x, int y);
  void MouseDown(int x, int y);
  void MouseUp(int x, int y);
  void MouseLeave();
  // The window lost the mouse (deactivated, capture taken away): no hover, no press, lists shut.
  void CancelMouse();
  Control* HoveredControl() const { return hovered_; }
  Control* PressedControl() const { return pressed_; }

  // The control with the keyboard focus, or null.
  Control* Focused() const { return focused_; }
  // Focuses `control` when it takes mouse input and is effectively visible and enabled; null
  // clears the focus. False (focus unchanged) for any other control.
  bool SetFocused(Control* control);
  // The controls the focus visits, in order: reading order (top to bottom, then left to right),
  // with controls placed on their parent's bounds (`outer`: the close box in the caption band)
  // after the others.
  std::vector<Control*> TabOrder() const;
  // Answers a key press; true when it did something. Tab and Shift+Tab move the focus, wrapping
  // (from none: to the first or the last). Space presses the focused control (a drop-down list
  // opens or closes). Enter closes an open list, else presses the focused control unless it is a
  // list, else the default button. Up/Left and Down/Right choose the previous or next item of the
  // open list, else of the focused one. Escape closes an open list, else presses the close box.
  // A press may end the window hosting the scene: nothing here touches the scene after one.
  bool KeyDown(Key key, bool shift);

  // Raises a click on `control` as a mouse click would (Enter key, accessibility default action);
  // ignored unless the control takes mouse input and is effectively visible and enabled.
  void Click(Control& control);
  // The effectively visible and enabled default button (the Enter key's target), or null.
  Control* DefaultButton() const;

  // Advances animations to `now_seconds`; true while something still animates.
  bool Tick(double now_seconds);
  bool Animating() const;

  bool NeedsRedraw() const { return dirty_; }
  void MarkDrawn() { dirty_ = false; }
  void MarkChanged();

 private:
  friend class DescriptionParser;
  friend class Control;
  friend class DropDown;
  Scene() = default;
  void LayoutChildren(Control& parent);
  void ForgetControl(const Control* gone);
  void SetHovered(Control* control);
  DropDown* OpenDropDown() const;
  static bool Focusable(const Control& control);
  // Drops the focus from a control that can no longer hold it.
  void CheckFocus();

  std::unique_ptr<Control> root_;
  std::function<void(Control&)> on_click_;
  std::function<void()> on_change_;
  Control* hovered_ = nullptr;
  Control* pressed_ = nullptr;
  Control* focused_ = nullptr;
  double last_tick_ = -1;  // < 0: no animation running
  bool dirty_ = true;
};

}  // namespace ui
