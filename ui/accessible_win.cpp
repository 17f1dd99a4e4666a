#include "ui/accessible_win.h"

#include <string>
#include <vector>

#include "ui/scene.h"
#include "win/text.h"

namespace ui {
namespace {

BSTR Bstr(const std::wstring& s) {
  return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

// Control names are written in the description, which is UTF-8.
std::wstring Wide(const std::string& s) { return win::Widen(s, CP_UTF8); }

// The first control below `group`, depth first, that shows a text; null when none does.
const Control* FirstText(const Control& group) {
  for (size_t i = 0; i < group.ChildCount(); ++i) {
    const Control* child = group.Child(i);
    if (!child->Text().empty()) return child;
    if (const Control* below = FirstText(*child)) return below;
  }
  return nullptr;
}

// One child of the client object: a control, or one item of a drop-down list (item >= 0).
struct Entry {
  Control* control = nullptr;
  int item = -1;
};

// What a reader calls a control: its text (for one that draws none, its alternative text from
// the description); a clickable group reads as the text it holds. Empty for pure layout and
// decorative pictures, which are not listed.
std::wstring NameOf(const Control& control) {
  if (!control.Text().empty()) return control.Text();
  if (control.HitTestable())
    if (const Control* labelled = FirstText(control)) return labelled->Text();
  return {};
}

// The visible controls that have a name, in drawing order; items follow their list, open or
// closed, so a reader sees the drives without opening it. A clickable group is one button: its
// parts are not listed apart.
std::vector<Entry> Entries(const Scene* scene) {
  std::vector<Entry> out;
  if (!scene || !scene->Root() || !scene->Root()->Visible()) return out;
  auto walk = [&out](Control* c, auto& self) -> void {
    if (!c->Visible()) return;
    if (!NameOf(*c).empty()) out.push_back({c, -1});
    if (c->Kind() == ControlKind::DropDown) {
      auto* dd = static_cast<DropDown*>(c);
      for (int i = 0; i < dd->ItemCount(); ++i) out.push_back({c, i});
    }
    if (c->Kind() == ControlKind::Layout && c->HitTestable()) return;
    for (size_t i = 0; i < c->ChildCount(); ++i) self(c->Child(i), self);
  };
  Control* root = scene->Root();
  for (size_t i = 0; i < root->ChildCount(); ++i) walk(root->Child(i), walk);
  return out;
}

// The focused control's child id; CHILDID_SELF when no listed control has the focus.
long FocusedChild(const Scene* scene) {
  const std::vector<Entry> entries = Entries(scene);
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].item < 0 && entries[i].control->Focused()) return static_cast<long>(i) + 1;
  return CHILDID_SELF;
}

class SceneAccessible final : public IAccessible {
 public:
  SceneAccessible(HWND window, Scene* scene) : window_(window), scene_(scene) {}
  void Detach() { scene_ = nullptr, window_ = nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

  // IDispatch: MSAA clients call the IAccessible methods directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    if (!scene_) return CO_E_OBJNOTCONNECTED;
    return CreateStdAccessibleObject(window_, OBJID_WINDOW, IID_IDispatch,
                                     reinterpret_cast<void**>(parent));
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    if (!scene_) return CO_E_OBJNOTCONNECTED;
    *count = static_cast<long>(Entries(scene_).size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    Entry e;
    bool self;
    HRESULT hr = Resolve(child, &e, &self);
    if (FAILED(hr)) return hr;
    return self ? E_INVALIDARG : S_FALSE;  // children are simple elements, not objects
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return Text(child, name, [this](bool self, const Entry& e) -> std::wstring {
      if (self) {
        wchar_t title[256] = {};
        GetWindowTextW(window_, title, 256);
        return title;
      }
      if (e.item >= 0) return static_cast<DropDown*>(e.control)->Item(e.item);
      return NameOf(*e.control);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return Text(child, value, [](bool self, const Entry& e) -> std::wstring {
      if (self || e.item >= 0) return {};
      if (e.control->Kind() == ControlKind::DropDown) {
        auto* dd = static_cast<DropDown*>(e.control);
        return dd->Selected() >= 0 ? dd->Item(dd->Selected()) : std::wstring();
      }
      if (e.control->Kind() == ControlKind::ProgressBar)
        return std::to_wstring(static_cast<int>(static_cast<ProgressBar*>(e.control)->Value()));
      return {};
    });
  }
  // Readers speak the description after the name: the name says it all.
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    return Text(child, description, [](bool, const Entry&) { return std::wstring(); });
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!role) return E_POINTER;
    VariantInit(role);
    Entry e;
    bool self;
    HRESULT hr = Resolve(child, &e, &self);
    if (FAILED(hr)) return hr;
    role->vt = VT_I4;
    role->lVal = self ? ROLE_SYSTEM_CLIENT : RoleOf(e);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!state) return E_POINTER;
    VariantInit(state);
    Entry e;
    bool self;
    HRESULT hr = Resolve(child, &e, &self);
    if (FAILED(hr)) return hr;
    long s = 0;
    if (self) {
      if (GetForegroundWindow() == window_ && !scene_->Focused()) s |= STATE_SYSTEM_FOCUSED;
    } else if (e.item >= 0) {
      s |= STATE_SYSTEM_SELECTABLE;
      if (static_cast<DropDown*>(e.control)->Selected() == e.item) s |= STATE_SYSTEM_SELECTED;
    } else {
      if (!e.control->EffectivelyEnabled()) s |= STATE_SYSTEM_UNAVAILABLE;
      if (e.control->Hovered()) s |= STATE_SYSTEM_HOTTRACKED;
      if (e.control->Pressed()) s |= STATE_SYSTEM_PRESSED;
      if (e.control->HitTestable()) s |= STATE_SYSTEM_FOCUSABLE;
      if (e.control->Focused()) s |= STATE_SYSTEM_FOCUSED;
      if (e.control->IsDefault()) s |= STATE_SYSTEM_DEFAULT;
      if (e.control->Kind() == ControlKind::DropDown && static_cast<DropDown*>(e.control)->IsOpen())
        s |= STATE_SYSTEM_EXPANDED;
      else if (e.control->Kind() == ControlKind::DropDown)
        s |= STATE_SYSTEM_COLLAPSED;
    }
    state->vt = VT_I4;
    state->lVal = s;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override {
    if (help) *help = nullptr;
    return scene_ ? S_FALSE : CO_E_OBJNOTCONNECTED;
  }
  // The control's name in the description, for tools that address controls by it (the tests'
  // probe): readers do not speak a help topic.
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    if (topic) *topic = 0;
    return Text(child, file, [](bool self, const Entry& e) -> std::wstring {
      return self ? std::wstring() : Wide(e.control->Name());
    });
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    return Text(child, shortcut, [](bool self, const Entry& e) -> std::wstring {
      if (self || e.item >= 0) return L"";
      return e.control->IsDefault() ? L"Enter" : e.control->IsCancel() ? L"Esc" : L"";
    });
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (!focus) return E_POINTER;
    VariantInit(focus);
    if (!scene_) return CO_E_OBJNOTCONNECTED;
    if (GetFocus() == window_) focus->vt = VT_I4, focus->lVal = FocusedChild(scene_);
    return focus->vt == VT_EMPTY ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (!selection) return E_POINTER;
    VariantInit(selection);
    return scene_ ? S_FALSE : CO_E_OBJNOTCONNECTED;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return Text(child, action, [](bool self, const Entry& e) -> std::wstring {
      if (self) return {};
      if (e.item >= 0) return L"Select";
      if (e.control->Kind() == ControlKind::DropDown)
        return static_cast<DropDown*>(e.control)->IsOpen() ? L"Close" : L"Open";
      return e.control->HitTestable() ? L"Press" : L"";
    });
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    Entry e;
    bool self;
    HRESULT hr = Resolve(child, &e, &self);
    if (FAILED(hr)) return hr;
    if (self || e.item < 0 || !(flags & SELFLAG_TAKESELECTION)) return E_NOTIMPL;
    if (!e.control->EffectivelyEnabled()) return E_FAIL;
    static_cast<DropDown*>(e.control)->SetSelected(e.item);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h,
                                        VARIANT child) override {
    if (!x || !y || !w || !h) return E_POINTER;
    Entry e;
    bool self;
    HRESULT hr = Resolve(child, &e, &self);
    if (FAILED(hr)) return hr;
    RECT client{};
    GetClientRect(window_, &client);
    const float scale = Scale();
    Rect r = self ? Rect{0, 0, client.right, client.bottom}
                  : (e.item >= 0 ? static_cast<DropDown*>(e.control)->ItemBounds(e.item)
                                 : e.control->Bounds())
                        .Scaled(scale);
    POINT origin{r.x, r.y};
    ClientToScreen(window_, &origin);
    *x = origin.x, *y = origin.y, *w = r.w, *h = r.h;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    if (!end) return E_POINTER;
    VariantInit(end);
    Entry e;
    bool self;
    HRESULT hr = Resolve(start, &e, &self);
    if (FAILED(hr)) return hr;
    long count = static_cast<long>(Entries(scene_).size());
    long from = self ? 0 : start.lVal, to = 0;
    switch (direction) {
      case NAVDIR_FIRSTCHILD: to = self ? 1 : 0; break;
      case NAVDIR_LASTCHILD: to = self ? count : 0; break;
      case NAVDIR_NEXT: to = self ? 0 : from + 1; break;
      case NAVDIR_PREVIOUS: to = self ? 0 : from - 1; break;
      default: return E_NOTIMPL;
    }
    if (to < 1 || to > count) return S_FALSE;
    end->vt = VT_I4;
    end->lVal = to;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long screen_x, long screen_y, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    if (!scene_) return CO_E_OBJNOTCONNECTED;
    POINT p{screen_x, screen_y};
    ScreenToClient(window_, &p);
    RECT client{};
    GetClientRect(window_, &client);
    if (!PtInRect(&client, p)) return S_FALSE;
    const float scale = Scale();
    p.x = static_cast<LONG>(p.x / scale), p.y = static_cast<LONG>(p.y / scale);
    // The last entry containing the point is the one drawn on top (open lists come last).
    std::vector<Entry> entries = Entries(scene_);
    long best = CHILDID_SELF;
    int best_open_item = -1;
    for (size_t i = 0; i < entries.size(); ++i) {
      const Entry& e = entries[i];
      bool inside = e.item >= 0
                        ? static_cast<DropDown*>(e.control)->ItemBounds(e.item).Contains(p.x, p.y)
                        : e.control->Bounds().Contains(p.x, p.y);
      if (!inside) continue;
      if (e.item >= 0)
        best_open_item = static_cast<int>(i) + 1;
      else
        best = static_cast<long>(i) + 1;
    }
    out->vt = VT_I4;
    out->lVal = best_open_item > 0 ? best_open_item : best;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    Entry e;
    bool self;
    HRESULT hr = Resolve(child, &e, &self);
    if (FAILED(hr)) return hr;
    if (self) return DISP_E_MEMBERNOTFOUND;
    if (e.item >= 0) {
      auto* dd = static_cast<DropDown*>(e.control);
      if (!dd->EffectivelyEnabled()) return E_FAIL;
      dd->SetSelected(e.item);
      dd->SetOpen(false);
      return S_OK;
    }
    if (!e.control->HitTestable()) return DISP_E_MEMBERNOTFOUND;
    scene_->Click(*e.control);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  HRESULT Resolve(const VARIANT& child, Entry* e, bool* self) const {
    if (!scene_) return CO_E_OBJNOTCONNECTED;
    if (child.vt != VT_I4) return E_INVALIDARG;
    *self = child.lVal == CHILDID_SELF;
    if (*self) return S_OK;
    std::vector<Entry> entries = Entries(scene_);
    if (child.lVal < 1 || child.lVal > static_cast<long>(entries.size())) return E_INVALIDARG;
    *e = entries[static_cast<size_t>(child.lVal - 1)];
    return S_OK;
  }

  template <class F>
  HRESULT Text(const VARIANT& child, BSTR* out, const F& make) const {
    if (!out) return E_POINTER;
    *out = nullptr;
    Entry e;
    bool self;
    HRESULT hr = Resolve(child, &e, &self);
    if (FAILED(hr)) return hr;
    std::wstring text = make(self, e);
    if (text.empty()) return S_FALSE;
    *out = Bstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  static long RoleOf(const Entry& e) {
    if (e.item >= 0) return ROLE_SYSTEM_LISTITEM;
    switch (e.control->Kind()) {
      case ControlKind::Frame: return ROLE_SYSTEM_WINDOW;
      case ControlKind::Layout:
        return e.control->HitTestable() ? ROLE_SYSTEM_PUSHBUTTON : ROLE_SYSTEM_GROUPING;
      case ControlKind::Label: return ROLE_SYSTEM_STATICTEXT;
      case ControlKind::Button: return ROLE_SYSTEM_PUSHBUTTON;
      case ControlKind::DropDown: return ROLE_SYSTEM_COMBOBOX;
      case ControlKind::Image: return ROLE_SYSTEM_GRAPHIC;
      case ControlKind::ProgressBar: return ROLE_SYSTEM_PROGRESSBAR;
      case ControlKind::CloseBox: return ROLE_SYSTEM_PUSHBUTTON;
    }
    return ROLE_SYSTEM_CLIENT;
  }

  // Device pixels per layout unit: the window's client area is the scene's root scaled to the
  // monitor's dpi.
  float Scale() const {
    RECT client{};
    GetClientRect(window_, &client);
    const int width = scene_ && scene_->Root() ? scene_->Root()->Bounds().w : 0;
    return width > 0 && client.right > 0 ? static_cast<float>(client.right) / width : 1.0f;
  }

  LONG refs_ = 1;
  HWND window_;
  Scene* scene_;
};

}  // namespace

IAccessible* CreateSceneAccessible(HWND window, Scene* scene) {
  return new SceneAccessible(window, scene);
}

void NotifySceneFocus(HWND window, const Scene& scene) {
  const long child = FocusedChild(&scene);
  if (child != CHILDID_SELF) NotifyWinEvent(EVENT_OBJECT_FOCUS, window, OBJID_CLIENT, child);
}

void DetachSceneAccessible(IAccessible* accessible) {
  if (accessible) static_cast<SceneAccessible*>(accessible)->Detach();
}

}  // namespace ui
