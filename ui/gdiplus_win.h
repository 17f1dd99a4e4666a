// GDI+ for the toolkit's Windows side, with its start-up as an RAII owner.
//
// mingw-w64's GDI+ headers need <windows.h> (with its min/max macros suppressed, since the C++
// standard library's std::min/max are used everywhere) and <objidl.h> for IStream first.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objidl.h>
#include <algorithm>
using std::max;  // GDI+ headers call unqualified min/max
using std::min;
#include <gdiplus.h>

namespace ui {

// Keeps GDI+ started for its lifetime. Start-ups nest, so every user may own one.
class GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiplusSession() {
    if (ok_) Gdiplus::GdiplusShutdown(token_);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool Ok() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

}  // namespace ui
