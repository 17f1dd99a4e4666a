// Draws a laid-out scene with GDI+ in the toolkit's dark look. Shared by the layered window and
// the offscreen PNG renderer, so both show exactly the same picture.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "ui/gdiplus_win.h"
#include "ui/scene.h"

namespace ui {

// The PNG pictures a description names, read from RCDATA resources of `module` on first use and
// kept decoded (premultiplied, ready to draw).
class PictureSet {
 public:
  explicit PictureSet(HMODULE module) : module_(module) {}
  // Null when the resource is missing or is not a picture GDI+ can read.
  Gdiplus::Bitmap* Get(const std::string& name);

 private:
  HMODULE module_;
  std::map<std::string, std::unique_ptr<Gdiplus::Bitmap>> cache_;
};

// Paints every effectively visible control over a cleared (fully transparent) surface.
void PaintScene(Gdiplus::Graphics& graphics, const Scene& scene, PictureSet& pictures);

}  // namespace ui
