#include "ui/layered_window_win.h"

#include "ui/accessible_win.h"
#include "ui/gdiplus_win.h"
#include "ui/scene_painter_win.h"
#include "win/resource.h"
#include "win/unique_resource.h"

#include <cmath>
#include <optional>
#include <vector>

namespace ui {
namespace {

// Private messages and timers of the host window; the application's own use other numbers.
constexpr UINT kRedrawMessage = WM_APP + 0x3E1;
constexpr UINT_PTR kAnimationTimer = 0x7E11;
constexpr UINT kAnimationIntervalMs = 15;
constexpr wchar_t kClassName[] = L"SceneLayeredWindow";

// A 32-bit top-down DIB section selected into a memory DC: the layered window's back buffer.
class Surface {
 public:
  Surface(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows, as GDI+ writes them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_.reset(CreateCompatibleDC(nullptr));
    if (!dc_) return;
    bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits_, nullptr, 0));
    if (bitmap_) old_ = SelectObject(dc_.get(), bitmap_.get());
  }
  ~Surface() {
    // The bitmap can only be deleted once it is no longer selected into the DC.
    if (old_) SelectObject(dc_.get(), old_);
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;
  bool Ok() const { return bits_ != nullptr; }
  HDC Dc() const { return dc_.get(); }
  BYTE* Bits() const { return static_cast<BYTE*>(bits_); }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  int width_, height_;
  win::UniqueDc dc_;
  win::UniqueGdiObject bitmap_;  // declared after the DC: deleted before it
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

// COM for the window thread, which MSAA needs to hand its object to other processes.
class ComApartment {
 public:
  ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (ok_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool ok_;
};

bool SceneKey(WPARAM virtual_key, Key* key) {
  switch (virtual_key) {
    case VK_TAB: *key = Key::Tab; return true;
    case VK_RETURN: *key = Key::Enter; return true;
    case VK_SPACE: *key = Key::Space; return true;
    case VK_ESCAPE: *key = Key::Escape; return true;
    case VK_UP: *key = Key::Up; return true;
    case VK_DOWN: *key = Key::Down; return true;
    case VK_LEFT: *key = Key::Left; return true;
    case VK_RIGHT: *key = Key::Right; return true;
    default: return false;
  }
}

// The dpi of the screen, or of the monitor a window is on, through the per-monitor functions
// where the system has them (looked up at run time: older systems lack them) and the screen's
// logical pixels otherwise.
UINT SystemDpi() {
  using Function = UINT(WINAPI*)();
  static const auto function = reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForSystem")));
  if (function) return function();
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

UINT WindowDpi(HWND hwnd) {
  using Function = UINT(WINAPI*)(HWND);
  static const auto function = reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  const UINT dpi = function ? function(hwnd) : 0;
  return dpi ? dpi : SystemDpi();
}

bool PngEncoder(CLSID* clsid) {
  UINT count = 0, bytes = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
  std::vector<BYTE> buffer(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].MimeType && wcscmp(codecs[i].MimeType, L"image/png") == 0) {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

}  // namespace

struct LayeredWindow::Impl {
  ComApartment com;
  GdiplusSession gdiplus;
  PaintCache cache{GetModuleHandleW(nullptr)};
  std::unique_ptr<Surface> surface;
  IAccessible* accessible = nullptr;
  bool redraw_pending = false;
  bool animating = false;
  bool tracking_mouse = false;
  // The monitor's dpi: the surface has the scene's laid-out size × dpi / 96 device pixels, and
  // mouse positions are divided back into layout units.
  UINT dpi = USER_DEFAULT_SCREEN_DPI;
  int Device(int layout) const { return MulDiv(layout, dpi, USER_DEFAULT_SCREEN_DPI); }
  int Layout(int device) const { return MulDiv(device, USER_DEFAULT_SCREEN_DPI, dpi); }
  float Scale() const { return static_cast<float>(dpi) / USER_DEFAULT_SCREEN_DPI; }
};

std::unique_ptr<Scene> LoadSceneResource(HMODULE module, const wchar_t* name, std::string* error) {
  const std::string_view description = win::ResourceBytes(module, name);
  if (description.empty()) {
    if (error) *error = "window description resource not found";
    return nullptr;
  }
  return Scene::Load(description, error);
}

LayeredWindow::LayeredWindow() = default;

LayeredWindow::~LayeredWindow() {
  // The owner is being torn down around us: its handler must not see the destruction messages.
  on_message_ = nullptr;
  if (hwnd_) DestroyWindow(hwnd_);
}

bool LayeredWindow::Create(HINSTANCE instance, const wchar_t* title, Scene& scene, int width,
                           int height) {
  if (hwnd_ || width <= 0 || height <= 0) return false;
  impl_ = std::make_unique<Impl>();
  if (!impl_->gdiplus.Ok()) return false;
  scene_ = &scene;
  scene.Layout(width, height);
  impl_->dpi = SystemDpi();

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kClassName;
  if (!GetClassInfoExW(instance, kClassName, &wc) && !RegisterClassExW(&wc)) return false;

  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  auto centred = [&desktop](int extent, int low, int high) {
    return low + (high - low - extent) / 2;
  };
  HWND hwnd = CreateWindowExW(
      WS_EX_LAYERED | WS_EX_APPWINDOW, kClassName, title, WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
      centred(impl_->Device(width), desktop.left, desktop.right),
      centred(impl_->Device(height), desktop.top, desktop.bottom), impl_->Device(width),
      impl_->Device(height), nullptr, nullptr, instance, this);
  if (!hwnd) {
    scene_ = nullptr;
    return false;
  }
  // Made on a monitor of another dpi than the screen's: sized for that one.
  if (const UINT dpi = WindowDpi(hwnd); dpi != impl_->dpi) {
    impl_->dpi = dpi;
    SetWindowPos(hwnd, nullptr, centred(impl_->Device(width), desktop.left, desktop.right),
                 centred(impl_->Device(height), desktop.top, desktop.bottom), impl_->Device(width),
                 impl_->Device(height), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  impl_->surface = std::make_unique<Surface>(impl_->Device(width), impl_->Device(height));
  scene.SetChangeHandler([this] { Invalidate(); });
  Redraw();
  return impl_->surface->Ok();
}

void LayeredWindow::Invalidate() {
  if (!hwnd_ || impl_->redraw_pending) return;
  impl_->redraw_pending = PostMessageW(hwnd_, kRedrawMessage, 0, 0) != FALSE;
}

void LayeredWindow::Redraw() {
  if (!hwnd_ || !scene_ || !impl_->surface || !impl_->surface->Ok()) return;
  Surface& s = *impl_->surface;
  {
    Gdiplus::Bitmap target(s.Width(), s.Height(), s.Width() * 4, PixelFormat32bppPARGB, s.Bits());
    Gdiplus::Graphics g(&target);
    PaintScene(g, *scene_, impl_->cache, impl_->Scale());
  }
  RECT where{};
  GetWindowRect(hwnd_, &where);
  POINT dest{where.left, where.top}, source{0, 0};
  SIZE size{s.Width(), s.Height()};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(hwnd_, nullptr, &dest, &size, s.Dc(), &source, 0, &blend, ULW_ALPHA);
  scene_->MarkDrawn();
}

void LayeredWindow::UpdateAnimationTimer() {
  if (!hwnd_ || impl_->animating || !scene_->Animating()) return;
  impl_->animating = SetTimer(hwnd_, kAnimationTimer, kAnimationIntervalMs, nullptr) != 0;
  if (impl_->animating) scene_->Tick(GetTickCount64() / 1000.0);
}

LRESULT CALLBACK LayeredWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<LayeredWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<LayeredWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  return self->HandleMessage(msg, wp, lp);
}

LRESULT LayeredWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  const HWND hwnd = hwnd_;
  if (msg == WM_NCDESTROY) {
    OnDestroyed(wp, lp);
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  if (on_message_) {
    LRESULT result = 0;
    if (on_message_(msg, wp, lp, &result)) return result;
    if (!hwnd_) return 0;  // the application's handler destroyed the window
  }
  const Handled handled = Dispatch(msg, wp, lp);
  return handled ? *handled : DefWindowProcW(hwnd, msg, wp, lp);
}

// Decodes each message the host handles once, into the typed arguments of its handler.
LayeredWindow::Handled LayeredWindow::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
  const POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  // Mouse positions in layout units (client-area messages only).
  const int x = impl_->Layout(at.x), y = impl_->Layout(at.y);
  switch (msg) {
    case WM_DPICHANGED: return OnDpiChanged(LOWORD(wp), *reinterpret_cast<const RECT*>(lp));
    case kRedrawMessage: return OnRedrawRequest();
    case WM_NCHITTEST: return OnHitTest(at);
    case WM_MOUSEMOVE: return OnMouseMove(x, y);
    case WM_MOUSELEAVE: return OnMouseLeave();
    case WM_NCMOUSEMOVE: return OnCaptionMouseMove();
    case WM_LBUTTONDOWN: return OnLeftButtonDown(x, y);
    case WM_LBUTTONUP: return OnLeftButtonUp(x, y);
    case WM_ACTIVATE: return OnActivate(LOWORD(wp) == WA_INACTIVE);
    case WM_CAPTURECHANGED: return OnCaptureChanged(reinterpret_cast<HWND>(lp));
    case WM_SETCURSOR: return OnSetCursor(LOWORD(lp));
    case WM_KEYDOWN: return OnKeyDown(wp, (lp & (1 << 30)) != 0);
    case WM_TIMER: return OnTimer(wp);
    case WM_GETOBJECT: return OnGetObject(wp, static_cast<LONG>(lp));
    default: return std::nullopt;
  }
}

// The window is going away whatever the application does with the message: the application
// hears of it, the accessibility object lets go of the scene, and the window of this object.
void LayeredWindow::OnDestroyed(WPARAM wp, LPARAM lp) {
  if (on_message_) {
    LRESULT ignored = 0;
    on_message_(WM_NCDESTROY, wp, lp, &ignored);
  }
  if (impl_->accessible) {
    DetachSceneAccessible(impl_->accessible);
    impl_->accessible->Release();
    impl_->accessible = nullptr;
  }
  if (scene_) scene_->SetChangeHandler(nullptr);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
}

// Moved to a monitor of another dpi, or its scale changed: drawn anew at the new size, where
// the system suggests.
LayeredWindow::Handled LayeredWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  impl_->dpi = dpi;
  const Rect laid_out = scene_->Root() ? scene_->Root()->Bounds() : Rect{};
  impl_->surface = std::make_unique<Surface>(impl_->Device(laid_out.w), impl_->Device(laid_out.h));
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, impl_->surface->Width(),
               impl_->surface->Height(), SWP_NOZORDER | SWP_NOACTIVATE);
  Redraw();
  return 0;
}

LayeredWindow::Handled LayeredWindow::OnRedrawRequest() {
  impl_->redraw_pending = false;
  Redraw();
  return 0;
}

// The frame's caption band drags the window; everything else is client area.
LayeredWindow::Handled LayeredWindow::OnHitTest(POINT screen) {
  ScreenToClient(hwnd_, &screen);
  return scene_->IsCaption(impl_->Layout(screen.x), impl_->Layout(screen.y)) ? HTCAPTION : HTCLIENT;
}

LayeredWindow::Handled LayeredWindow::OnMouseMove(int x, int y) {
  if (!impl_->tracking_mouse) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd_, 0};
    impl_->tracking_mouse = TrackMouseEvent(&track) != FALSE;
  }
  scene_->MouseMove(x, y);
  UpdateAnimationTimer();
  return 0;
}

LayeredWindow::Handled LayeredWindow::OnMouseLeave() {
  impl_->tracking_mouse = false;
  if (GetCapture() != hwnd_) scene_->MouseLeave();
  UpdateAnimationTimer();
  return 0;
}

// Over the caption band no control is under the mouse; the system still moves the window.
LayeredWindow::Handled LayeredWindow::OnCaptionMouseMove() {
  scene_->MouseLeave();
  UpdateAnimationTimer();
  return std::nullopt;
}

LayeredWindow::Handled LayeredWindow::OnLeftButtonDown(int x, int y) {
  SetCapture(hwnd_);
  scene_->MouseDown(x, y);
  UpdateAnimationTimer();
  return 0;
}

// The click first, then the capture: releasing it sends WM_CAPTURECHANGED, which would cancel
// the press. A click handler may close and destroy the window; nothing here touches it
// afterwards (destroying it releases the capture too).
LayeredWindow::Handled LayeredWindow::OnLeftButtonUp(int x, int y) {
  const HWND hwnd = hwnd_;
  scene_->MouseUp(x, y);
  if (!hwnd_) return 0;
  if (GetCapture() == hwnd) ReleaseCapture();
  UpdateAnimationTimer();
  return 0;
}

LayeredWindow::Handled LayeredWindow::OnActivate(bool inactive) {
  if (inactive) scene_->CancelMouse();
  UpdateAnimationTimer();
  return std::nullopt;
}

LayeredWindow::Handled LayeredWindow::OnCaptureChanged(HWND gaining) {
  if (gaining != hwnd_ && scene_->PressedControl()) scene_->CancelMouse();
  UpdateAnimationTimer();
  return 0;
}

LayeredWindow::Handled LayeredWindow::OnSetCursor(UINT hit) {
  if (hit != HTCLIENT) return std::nullopt;
  const Control* hover = scene_->HoveredControl();
  const bool hand = hover && hover->GetStyle().hand_cursor;
  // IDC_HAND / IDC_ARROW as numbers: the macros are narrow unless UNICODE is defined.
  SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(hand ? 32649 : 32512)));
  return TRUE;
}

LayeredWindow::Handled LayeredWindow::OnKeyDown(WPARAM virtual_key, bool repeat) {
  Key key;
  if (!SceneKey(virtual_key, &key)) return std::nullopt;
  // A held Space, Enter or Escape presses once; held Tab and arrows repeat.
  if (repeat && (key == Key::Space || key == Key::Enter || key == Key::Escape)) return 0;
  const Control* focused = scene_->Focused();
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  // A press may close and destroy the window; then nothing more is done here.
  if (!scene_->KeyDown(key, shift) || !hwnd_) return 0;
  if (scene_->Focused() != focused) NotifySceneFocus(hwnd_, *scene_);
  UpdateAnimationTimer();
  return 0;
}

LayeredWindow::Handled LayeredWindow::OnTimer(UINT_PTR id) {
  if (id != kAnimationTimer) return std::nullopt;
  if (!scene_->Tick(GetTickCount64() / 1000.0)) {
    KillTimer(hwnd_, kAnimationTimer);
    impl_->animating = false;
  }
  return 0;
}

LayeredWindow::Handled LayeredWindow::OnGetObject(WPARAM flags, LONG object_id) {
  if (object_id != static_cast<LONG>(OBJID_CLIENT)) return std::nullopt;
  if (!impl_->accessible) impl_->accessible = CreateSceneAccessible(hwnd_, scene_);
  return LresultFromObject(__uuidof(IAccessible), flags, impl_->accessible);
}

bool RenderSceneToPng(Scene& scene, int width, int height, const wchar_t* path, float scale) {
  if (width <= 0 || height <= 0 || !path || !(scale > 0)) return false;
  GdiplusSession gdiplus;
  CLSID png{};
  if (!gdiplus.Ok() || !PngEncoder(&png)) return false;
  scene.Layout(width, height);
  Gdiplus::Bitmap canvas(static_cast<INT>(std::lround(width * scale)),
                         static_cast<INT>(std::lround(height * scale)), PixelFormat32bppPARGB);
  if (canvas.GetLastStatus() != Gdiplus::Ok) return false;
  {
    Gdiplus::Graphics g(&canvas);
    PaintCache cache(GetModuleHandleW(nullptr));
    PaintScene(g, scene, cache, scale);
  }
  return canvas.Save(path, &png, nullptr) == Gdiplus::Ok;
}

}  // namespace ui
