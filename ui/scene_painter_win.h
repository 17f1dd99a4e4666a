// Draws a laid-out scene with GDI+ in the toolkit's dark look. Shared by the layered window and
// the offscreen PNG renderer, so both show exactly the same picture.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "ui/gdiplus_win.h"
#include "ui/scene.h"

namespace ui {

// What painting keeps between frames: the PNG pictures a description names, read from RCDATA
// resources of `module` on first use and kept decoded (premultiplied, ready to draw), and the
// frame's backdrop (shadow, panel, caption band, outline), which only changes with the frame's
// size or look. The backdrop's dozen antialiased fills took most of a frame's time; with the
// cached copy a full frame fell from about 270 ms to about 30 ms under Wine (measured), which
// lets the close box's 0.1 s fade show intermediate colours.
class PaintCache {
 public:
  explicit PaintCache(HMODULE module) : module_(module) {}
  // The picture rendered for `scale` (device pixels per layout unit): the resource `name`
  // rendered at the smallest of 1, 1.5 and 2 that is at least `scale` (`name`_150, `name`_200),
  // else the largest there is. *rendered_at receives the scale it was rendered at. Null when no
  // resource is there or it is not a picture GDI+ can read.
  Gdiplus::Bitmap* Picture(const std::string& name, float scale, float* rendered_at);
  // The frame's backdrop over its bounds at `opacity`, in device pixels at `scale`, drawn anew
  // when any of them changed.
  Gdiplus::Bitmap* FrameBackdrop(const Frame& frame, float opacity, float scale);

 private:
  struct BackdropKey {
    Rect bounds;
    int inset, radius, caption;
    Color fill, outline;
    float opacity, scale;
    bool operator==(const BackdropKey& o) const {
      return bounds == o.bounds && inset == o.inset && radius == o.radius && caption == o.caption &&
             fill == o.fill && outline == o.outline && opacity == o.opacity && scale == o.scale;
    }
  };
  Gdiplus::Bitmap* Decoded(const std::string& resource);
  HMODULE module_;
  std::map<std::string, std::unique_ptr<Gdiplus::Bitmap>> pictures_;
  std::unique_ptr<Gdiplus::Bitmap> backdrop_;
  BackdropKey backdrop_key_{};
};

// Paints every effectively visible control over a cleared (fully transparent) surface, `scale`
// device pixels per layout unit (the monitor's dpi / 96): shapes and text are drawn at that
// size, not stretched.
void PaintScene(Gdiplus::Graphics& graphics, const Scene& scene, PaintCache& cache,
                float scale = 1);

}  // namespace ui
