// The scene's host on Windows: a borderless per-pixel-transparent window that GDI+ draws into a
// 32-bit premultiplied bitmap pushed with UpdateLayeredWindow, and the offscreen renderer that
// writes the same picture to a PNG file.
//
// The window redraws only when the scene reports a change (or Invalidate is called), runs a
// short timer only while the scene animates, drags by the frame's caption band, hands Tab,
// Enter, Space, Escape and the arrows to the scene's keyboard handling (Scene::KeyDown), and
// answers WM_GETOBJECT with an IAccessible tree of the visible controls, told when the focus
// moves. Pictures named in the description are RCDATA
// resources of the executable, looked up by name.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ui/scene.h"

namespace ui {

// Loads and parses the window description stored as RCDATA resource `name` of `module`.
std::unique_ptr<Scene> LoadSceneResource(HMODULE module, const wchar_t* name, std::string* error);

class LayeredWindow {
 public:
  LayeredWindow();
  ~LayeredWindow();  // destroys the window if it still exists, without calling the handler
  LayeredWindow(const LayeredWindow&) = delete;
  LayeredWindow& operator=(const LayeredWindow&) = delete;

  // Creates the window (hidden; the caller shows it), centred on the screen, lays the scene out at
  // width × height layout units and draws it. The window itself has width × height device pixels
  // at 96 dpi and scales with its monitor's dpi (the program is per-monitor dpi aware): shapes and
  // text are drawn at the monitor's scale, and WM_DPICHANGED redraws them at the new one. `scene`
  // must outlive the window. False on failure.
  bool Create(HINSTANCE instance, const wchar_t* title, Scene& scene, int width, int height);
  HWND Handle() const { return hwnd_; }

  // Schedules one redraw (coalesced; the scene's own changes do this by themselves).
  void Invalidate();

  // Sees every message first; returning true with *result set stops the default handling.
  void SetMessageHandler(std::function<bool(UINT, WPARAM, LPARAM, LRESULT*)> handler) {
    on_message_ = std::move(handler);
  }

  // Draws the scene now and pushes it to the screen (used by Invalidate's deferred redraw).
  void Redraw();

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void UpdateAnimationTimer();

  // Each message the window handles goes to a handler of its own, its parameters decoded;
  // nullopt leaves the message to the default window procedure.
  using Handled = std::optional<LRESULT>;
  Handled Dispatch(UINT msg, WPARAM wp, LPARAM lp);
  void OnDestroyed(WPARAM wp, LPARAM lp);
  Handled OnDpiChanged(UINT dpi, const RECT& suggested);
  Handled OnRedrawRequest();
  Handled OnHitTest(POINT screen);
  Handled OnMouseMove(int x, int y);
  Handled OnMouseLeave();
  Handled OnCaptionMouseMove();
  Handled OnLeftButtonDown(int x, int y);
  Handled OnLeftButtonUp(int x, int y);
  Handled OnActivate(bool inactive);
  Handled OnCaptureChanged(HWND gaining);
  Handled OnSetCursor(UINT hit);
  Handled OnKeyDown(WPARAM virtual_key, bool repeat);
  Handled OnTimer(UINT_PTR id);
  Handled OnGetObject(WPARAM flags, LONG object_id);

  struct Impl;
  std::unique_ptr<Impl> impl_;
  HWND hwnd_ = nullptr;
  Scene* scene_ = nullptr;
  std::function<bool(UINT, WPARAM, LPARAM, LRESULT*)> on_message_;
};

// Lays `scene` out at width × height, draws it offscreen at `scale` device pixels per layout unit
// and saves a 32-bit PNG with alpha.
bool RenderSceneToPng(Scene& scene, int width, int height, const wchar_t* path, float scale = 1);

}  // namespace ui
