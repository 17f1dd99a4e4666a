#include "ui/scene_painter_win.h"

#include <shlwapi.h>

#include <cmath>
#include <string>

#include "win/resource.h"
#include "win/text.h"
#include "win/unique_resource.h"

namespace ui {
namespace {

using Gdiplus::GraphicsPath;
using Gdiplus::REAL;
using Gdiplus::RectF;

// A COM stream holds a reference, not a handle: its release is its close function.
struct StreamTraits {
  using Type = IStream*;
  static Type Empty() { return nullptr; }
  static void Close(Type stream) { stream->Release(); }
};
using UniqueStream = win::UniqueResource<StreamTraits>;

// The standard dark look of buttons, lists and bars.
namespace look {
const Color kButtonTop{0xFF, 0x58, 0x58, 0x58}, kButtonBottom{0xFF, 0x36, 0x36, 0x36};
const Color kHoverTop{0xFF, 0x68, 0x68, 0x68}, kHoverBottom{0xFF, 0x42, 0x42, 0x42};
const Color kPressedTop{0xFF, 0x2A, 0x2A, 0x2A}, kPressedBottom{0xFF, 0x3C, 0x3C, 0x3C};
const Color kOutline{0xFF, 0x1A, 0x1A, 0x1A};
const Color kDisabledText{0xFF, 0x8A, 0x8A, 0x8A};
const Color kListBack{0xFF, 0x33, 0x33, 0x33}, kListSelected{0xFF, 0x4A, 0x74, 0xB0};
const Color kListHover{0xFF, 0x48, 0x48, 0x48};
const Color kTrack{0xFF, 0x1C, 0x1C, 0x1C}, kTrackOutline{0xFF, 0x10, 0x10, 0x10};
const Color kBarTop{0xFF, 0x74, 0xB4, 0xF0}, kBarBottom{0xFF, 0x2E, 0x76, 0xC6};
const Color kCaptionTop{0x78, 0, 0, 0}, kCaptionBottom{0x30, 0, 0, 0};
const Color kShadow{0xFF, 0, 0, 0};
const Color kFocus{0xFF, 0x74, 0xB4, 0xF0};
constexpr int kButtonRadius = 3;
constexpr int kFocusGap = 3;  // between a control's edge and its focus ring
}  // namespace look

Gdiplus::Color G(Color c, float opacity = 1) {
  return Gdiplus::Color(static_cast<BYTE>(std::lround(c.a * std::clamp(opacity, 0.0f, 1.0f))), c.r,
                        c.g, c.b);
}

RectF F(Rect r) {
  return RectF(static_cast<REAL>(r.x), static_cast<REAL>(r.y), static_cast<REAL>(r.w),
               static_cast<REAL>(r.h));
}

void RoundRect(GraphicsPath& path, RectF r, REAL radius) {
  REAL d = std::min({radius * 2, r.Width, r.Height});
  if (d <= 0) {
    path.AddRectangle(r);
    return;
  }
  path.AddArc(r.X, r.Y, d, d, 180, 90);
  path.AddArc(r.X + r.Width - d, r.Y, d, d, 270, 90);
  path.AddArc(r.X + r.Width - d, r.Y + r.Height - d, d, d, 0, 90);
  path.AddArc(r.X, r.Y + r.Height - d, d, d, 90, 90);
  path.CloseFigure();
}

void FillGradient(Gdiplus::Graphics& g, RectF r, REAL radius, Color top, Color bottom, float o) {
  GraphicsPath path;
  RoundRect(path, r, radius);
  // The brush spans one pixel more than the shape so its wrap-around never shows at the edge.
  Gdiplus::LinearGradientBrush brush(RectF(r.X, r.Y - 1, r.Width, r.Height + 2), G(top, o),
                                     G(bottom, o), Gdiplus::LinearGradientModeVertical);
  g.FillPath(&brush, &path);
}

void Outline(Gdiplus::Graphics& g, RectF r, REAL radius, Color c, float o) {
  GraphicsPath path;
  RoundRect(path, RectF(r.X + 0.5f, r.Y + 0.5f, r.Width - 1, r.Height - 1), radius);
  Gdiplus::Pen pen(G(c, o), 1);
  g.DrawPath(&pen, &path);
}

// Some GDI+ implementations (Wine's, observed) lay a bold font out at its bold width but draw
// the regular glyphs. Drawing a sample both ways tells: real bold puts down clearly more ink.
bool BoldIsDrawn(const Gdiplus::FontFamily& family, REAL size) {
  static int known = -1;  // drawing happens on one thread at a time
  if (known >= 0) return known == 1;
  auto ink = [&](INT style) {
    Gdiplus::Bitmap canvas(160, 40, PixelFormat32bppARGB);
    Gdiplus::Graphics g(&canvas);
    g.Clear(Gdiplus::Color(0, 0, 0, 0));
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    Gdiplus::Font font(&family, size, style, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush brush(Gdiplus::Color(255, 255, 255, 255));
    g.DrawString(L"Bold ink", -1, &font, Gdiplus::PointF(2, 2), &brush);
    long sum = 0;
    for (UINT y = 0; y < canvas.GetHeight(); ++y)
      for (UINT x = 0; x < canvas.GetWidth(); ++x) {
        Gdiplus::Color c;
        canvas.GetPixel(static_cast<INT>(x), static_cast<INT>(y), &c);
        sum += c.GetA();
      }
    return sum;
  };
  known = ink(Gdiplus::FontStyleBold) * 100 > ink(Gdiplus::FontStyleRegular) * 110 ? 1 : 0;
  return known == 1;
}

void DrawText(Gdiplus::Graphics& g, const std::wstring& text, RectF r, const Style& s, Color color,
              float o, bool single_line = false) {
  if (text.empty()) return;
  Gdiplus::FontFamily family(s.font_family.c_str());
  const Gdiplus::FontFamily* use = &family;
  std::unique_ptr<Gdiplus::FontFamily> fallback;
  if (family.GetLastStatus() != Gdiplus::Ok) {
    fallback.reset(Gdiplus::FontFamily::GenericSansSerif()->Clone());
    use = fallback.get();
  }
  Gdiplus::Font font(use, s.font_size, s.bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular,
                     Gdiplus::UnitPixel);
  Gdiplus::StringFormat format;
  auto align = [](int a) {
    return a == 0   ? Gdiplus::StringAlignmentNear
           : a == 1 ? Gdiplus::StringAlignmentCenter
                    : Gdiplus::StringAlignmentFar;
  };
  format.SetAlignment(align(static_cast<int>(s.halign)));
  format.SetLineAlignment(align(static_cast<int>(s.valign)));
  // Texts longer than their box (translations often are) still show whole rather than cut off.
  INT flags = Gdiplus::StringFormatFlagsNoClip;
  if (!s.wrap || single_line) flags |= Gdiplus::StringFormatFlagsNoWrap;
  format.SetFormatFlags(flags);
  if (single_line) format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
  Gdiplus::SolidBrush brush(G(color, o));
  g.DrawString(text.c_str(), static_cast<INT>(text.size()), &font, r, &format, &brush);
  if (s.bold && !BoldIsDrawn(*use, s.font_size)) {
    // Thicken by a second pass a fraction of a pixel to the right.
    RectF shifted(r.X + 0.6f, r.Y, r.Width, r.Height);
    g.DrawString(text.c_str(), static_cast<INT>(text.size()), &font, shifted, &format, &brush);
  }
}

// Shadow, panel, caption band and outline, in window coordinates.
void PaintFrameBackdrop(Gdiplus::Graphics& g, const Frame& frame, float o) {
  const Rect panel = frame.Panel();
  const int inset = frame.PanelInset();
  const REAL radius = static_cast<REAL>(frame.CornerRadius());
  // Soft shadow: concentric translucent rings, each drawn over the ones inside it, so the
  // darkness builds up toward the panel and fades out at the window edge.
  for (int i = inset; i >= 1; --i) {
    GraphicsPath ring;
    RoundRect(ring,
              RectF(panel.x - i + 0.0f, panel.y - i + 1.0f, panel.w + 2.0f * i, panel.h + 2.0f * i),
              radius + i);
    float t = static_cast<float>(inset - i + 1) / inset;
    Gdiplus::SolidBrush brush(G({static_cast<uint8_t>(4 + 10 * t * t), 0, 0, 0}, o));
    g.FillPath(&brush, &ring);
  }
  GraphicsPath body;
  RoundRect(body, F(panel), radius);
  Gdiplus::SolidBrush fill(G(frame.GetStyle().fill, o));
  g.FillPath(&fill, &body);

  // Caption band, clipped to the panel so its top corners follow the rounding.
  const Rect band = frame.CaptionBand();
  {
    Gdiplus::Region old;
    g.GetClip(&old);
    g.SetClip(&body, Gdiplus::CombineModeIntersect);
    Gdiplus::LinearGradientBrush shade(
        RectF(band.x + 0.0f, band.y - 1.0f, band.w + 0.0f, band.h + 2.0f), G(look::kCaptionTop, o),
        G(look::kCaptionBottom, o), Gdiplus::LinearGradientModeVertical);
    g.FillRectangle(&shade, F(band));
    g.SetClip(&old);
  }
  Outline(g, F(panel), radius - 1, frame.OutlineColor(), o);
}

// The scale of the device pixels the graphics draws into.
REAL ScaleOf(const Gdiplus::Graphics& g) {
  Gdiplus::Matrix m;
  g.GetTransform(&m);
  REAL e[6];
  m.GetElements(e);
  return e[0];
}

void PaintFrame(Gdiplus::Graphics& g, const Frame& frame, PaintCache& cache, float o) {
  const Rect b = frame.Bounds();
  const REAL scale = ScaleOf(g);
  if (Gdiplus::Bitmap* backdrop = cache.FrameBackdrop(frame, o, scale)) {
    // A 1:1 copy in device pixels: no resampling of the cached pixels.
    Gdiplus::Matrix transform;
    g.GetTransform(&transform);
    g.ResetTransform();
    Gdiplus::InterpolationMode mode = g.GetInterpolationMode();
    g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    g.DrawImage(backdrop, static_cast<INT>(std::lround(b.x * scale)),
                static_cast<INT>(std::lround(b.y * scale)), backdrop->GetWidth(),
                backdrop->GetHeight());
    g.SetInterpolationMode(mode);
    g.SetTransform(&transform);
  }

  // The title runs from the band's left to the close box (or the band's end).
  const Rect band = frame.CaptionBand();
  REAL right = static_cast<REAL>(band.x + band.w - 4);
  for (size_t i = 0; i < frame.ChildCount(); ++i) {
    const Control* c = frame.Child(i);
    if (c->Kind() == ControlKind::CloseBox && c->EffectivelyVisible())
      right = std::min(right, static_cast<REAL>(c->Bounds().x - 4));
  }
  RectF title(band.x + 8.0f, static_cast<REAL>(band.y), right - band.x - 8.0f,
              static_cast<REAL>(band.h));
  Style s = frame.GetStyle();
  s.valign = VAlign::Center;
  DrawText(g, frame.Text(), title, s, s.text_color, o, true);
}

void PaintButtonBody(Gdiplus::Graphics& g, const Control& c, float o) {
  const RectF r = F(c.Bounds());
  bool enabled = c.EffectivelyEnabled();
  bool pressed = enabled && c.Pressed() && c.Hovered();
  bool hover = enabled && c.Hovered();
  float body = enabled ? o : o * 0.55f;
  if (pressed)
    FillGradient(g, r, look::kButtonRadius, look::kPressedTop, look::kPressedBottom, body);
  else if (hover)
    FillGradient(g, r, look::kButtonRadius, look::kHoverTop, look::kHoverBottom, body);
  else
    FillGradient(g, r, look::kButtonRadius, look::kButtonTop, look::kButtonBottom, body);
  Outline(g, r, look::kButtonRadius, look::kOutline, body);
}

void PaintImage(Gdiplus::Graphics& g, const Control& c, PaintCache& cache, float o) {
  float rendered_at = 1;
  Gdiplus::Bitmap* picture = cache.Picture(c.GetStyle().picture, ScaleOf(g), &rendered_at);
  if (!picture) return;
  const Rect b = c.Bounds();
  // The picture's own size in layout units: a rendering for 2x has twice the pixels.
  REAL pw = picture->GetWidth() / rendered_at, ph = picture->GetHeight() / rendered_at;
  if (pw <= 0 || ph <= 0) return;
  REAL scale = c.GetStyle().fit == PictureFit::Fit ? std::min(b.w / pw, b.h / ph) : 1.0f;
  REAL w = pw * scale, h = ph * scale;
  RectF dest(b.x + (b.w - w) / 2, b.y + (b.h - h) / 2, w, h);
  if (o >= 1) {
    g.DrawImage(picture, dest);
    return;
  }
  Gdiplus::ColorMatrix fade = {
      {{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, o, 0}, {0, 0, 0, 0, 1}}};
  Gdiplus::ImageAttributes attributes;
  attributes.SetColorMatrix(&fade);
  g.DrawImage(picture, dest, 0, 0, static_cast<REAL>(picture->GetWidth()),
              static_cast<REAL>(picture->GetHeight()), Gdiplus::UnitPixel, &attributes);
}

void PaintProgress(Gdiplus::Graphics& g, const ProgressBar& bar, float o) {
  const RectF r = F(bar.Bounds());
  FillGradient(g, r, 3, look::kTrack, look::kTrack, o);
  Outline(g, r, 3, look::kTrackOutline, o);
  REAL share = static_cast<REAL>(bar.Maximum() > 0 ? bar.Value() / bar.Maximum() : 0);
  REAL w = (r.Width - 2) * share;
  if (w >= 1)
    FillGradient(g, RectF(r.X + 1, r.Y + 1, w, r.Height - 2), 2, look::kBarTop, look::kBarBottom,
                 o);
}

void PaintDropDown(Gdiplus::Graphics& g, const DropDown& dd, float o) {
  PaintButtonBody(g, dd, o);
  const Rect b = dd.Bounds();
  Color text = dd.EffectivelyEnabled() ? dd.GetStyle().text_color : look::kDisabledText;
  // A small arrow at the right end says the list opens below.
  REAL ax = b.x + b.w - 10.0f, ay = b.y + b.h / 2.0f - 1.5f;
  Gdiplus::PointF arrow[3] = {{ax, ay}, {ax + 6, ay}, {ax + 3, ay + 3.5f}};
  Gdiplus::SolidBrush brush(G(text, o));
  g.FillPolygon(&brush, arrow, 3);
  if (dd.Selected() >= 0) {
    Style s = dd.GetStyle();
    s.halign = HAlign::Center;
    s.valign = VAlign::Center;
    DrawText(g, dd.Item(dd.Selected()), RectF(b.x + 2.0f, b.y + 0.0f, b.w - 14.0f, b.h + 0.0f), s,
             text, o, true);
  }
}

void PaintOpenList(Gdiplus::Graphics& g, const DropDown& dd) {
  const Rect list = dd.ListBounds();
  Gdiplus::SolidBrush back(G(look::kListBack));
  g.FillRectangle(&back, F(list));
  Style s = dd.GetStyle();
  s.halign = HAlign::Center;  // drive letters are centred in their rows
  s.valign = VAlign::Center;
  for (int i = 0; i < dd.ItemCount(); ++i) {
    Rect row = dd.ItemBounds(i);
    if (i == dd.Selected() || i == dd.HoveredItem()) {
      Gdiplus::SolidBrush sel(G(i == dd.Selected() ? look::kListSelected : look::kListHover));
      g.FillRectangle(&sel, F(row));
    }
    DrawText(g, dd.Item(i), F(row), s, s.text_color, 1, true);
  }
  Outline(g, F(list), 0, look::kOutline, 1);
}

void PaintCloseBox(Gdiplus::Graphics& g, const Control& c, float o) {
  const Rect b = c.Bounds();
  Gdiplus::SolidBrush disc(G(c.CurrentFill(), o));
  g.FillEllipse(&disc, RectF(b.x + 0.0f, b.y + 0.0f, b.w + 0.0f, b.h + 0.0f));
  Gdiplus::Pen pen(G(c.GetStyle().text_color, o), 1.8f);
  REAL cx = b.x + b.w / 2.0f, cy = b.y + b.h / 2.0f, arm = b.w * 0.2f;
  g.DrawLine(&pen, cx - arm, cy - arm, cx + arm, cy + arm);
  g.DrawLine(&pen, cx - arm, cy + arm, cx + arm, cy - arm);
}

// A 2-pixel ring just outside the focused control; round around the close box.
void PaintFocusRing(Gdiplus::Graphics& g, const Control& c) {
  const Rect b = c.Bounds();
  const REAL gap = look::kFocusGap;
  const RectF ring(b.x - gap, b.y - gap, b.w + 2 * gap, b.h + 2 * gap);
  Gdiplus::Pen pen(G(look::kFocus), 2);
  if (c.Kind() == ControlKind::CloseBox) {
    g.DrawEllipse(&pen, ring);
    return;
  }
  GraphicsPath path;
  RoundRect(path, ring, look::kButtonRadius + gap);
  g.DrawPath(&pen, &path);
}

void PaintControl(Gdiplus::Graphics& g, const Control& c, PaintCache& cache,
                  const DropDown** open_list) {
  if (!c.Visible()) return;
  const float o = c.EffectiveOpacity();
  if (o > 0) {
    switch (c.Kind()) {
      case ControlKind::Frame: PaintFrame(g, static_cast<const Frame&>(c), cache, o); break;
      case ControlKind::Layout:
        if (c.GetStyle().fill.a) {
          Gdiplus::SolidBrush fill(G(c.GetStyle().fill, o));
          g.FillRectangle(&fill, F(c.Bounds()));
        }
        break;
      case ControlKind::Label:
        DrawText(g, c.Text(), F(c.Bounds()), c.GetStyle(), c.GetStyle().text_color, o);
        break;
      case ControlKind::Button: {
        PaintButtonBody(g, c, o);
        Color text = c.EffectivelyEnabled() ? c.GetStyle().text_color : look::kDisabledText;
        DrawText(g, c.Text(), F(c.Bounds()), c.GetStyle(), text, o, true);
        break;
      }
      case ControlKind::DropDown: {
        const auto& dd = static_cast<const DropDown&>(c);
        PaintDropDown(g, dd, o);
        if (dd.IsOpen()) *open_list = &dd;
        break;
      }
      case ControlKind::Image: PaintImage(g, c, cache, o); break;
      case ControlKind::ProgressBar: PaintProgress(g, static_cast<const ProgressBar&>(c), o); break;
      case ControlKind::CloseBox: PaintCloseBox(g, c, o); break;
    }
  }
  for (size_t i = 0; i < c.ChildCount(); ++i) PaintControl(g, *c.Child(i), cache, open_list);
  if (c.Focused()) PaintFocusRing(g, c);
}

}  // namespace

Gdiplus::Bitmap* PaintCache::Picture(const std::string& name, float scale, float* rendered_at) {
  if (name.empty()) return nullptr;
  // Renderings from the smallest that needs no enlarging up to the largest; else the largest.
  struct Rendering {
    const char* suffix;
    float scale;
  };
  static constexpr Rendering kRenderings[] = {{"", 1.0f}, {"_150", 1.5f}, {"_200", 2.0f}};
  Gdiplus::Bitmap* best = nullptr;
  for (const Rendering& r : kRenderings) {
    if (Gdiplus::Bitmap* bitmap = Decoded(name + r.suffix)) {
      best = bitmap;
      *rendered_at = r.scale;
      if (r.scale >= scale - 0.01f) break;
    }
  }
  return best;
}

Gdiplus::Bitmap* PaintCache::Decoded(const std::string& name) {
  auto found = pictures_.find(name);
  if (found != pictures_.end()) return found->second.get();
  std::unique_ptr<Gdiplus::Bitmap>& slot = pictures_[name];  // a miss is remembered as null
  const std::string_view bytes = win::ResourceBytes(module_, win::Widen(name, CP_UTF8).c_str());
  if (bytes.empty()) return nullptr;
  // The memory stream holds a copy; GDI+ decodes from it lazily, so the picture is drawn into
  // a bitmap of our own before the stream goes away.
  const UniqueStream stream(SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                              static_cast<UINT>(bytes.size())));
  if (!stream) return nullptr;
  {
    Gdiplus::Bitmap decoded(stream.get());
    if (decoded.GetLastStatus() == Gdiplus::Ok && decoded.GetWidth() > 0) {
      auto copy = std::make_unique<Gdiplus::Bitmap>(decoded.GetWidth(), decoded.GetHeight(),
                                                    PixelFormat32bppPARGB);
      Gdiplus::Graphics g(copy.get());
      g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
      g.DrawImage(&decoded, 0, 0, decoded.GetWidth(), decoded.GetHeight());
      slot = std::move(copy);
    }
  }
  return slot.get();
}

Gdiplus::Bitmap* PaintCache::FrameBackdrop(const Frame& frame, float opacity, float scale) {
  const Rect b = frame.Bounds();
  BackdropKey key{b,
                  frame.PanelInset(),
                  frame.CornerRadius(),
                  frame.CaptionHeight(),
                  frame.GetStyle().fill,
                  frame.OutlineColor(),
                  opacity,
                  scale};
  if (backdrop_ && key == backdrop_key_) return backdrop_.get();
  backdrop_.reset();
  if (b.w <= 0 || b.h <= 0) return nullptr;
  const INT width = static_cast<INT>(std::lround(b.w * scale));
  const INT height = static_cast<INT>(std::lround(b.h * scale));
  auto bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppPARGB);
  if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
  {
    Gdiplus::Graphics g(bitmap.get());
    g.Clear(Gdiplus::Color(0, 0, 0, 0));
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    g.ScaleTransform(scale, scale);
    g.TranslateTransform(static_cast<REAL>(-b.x), static_cast<REAL>(-b.y));
    PaintFrameBackdrop(g, frame, opacity);
  }
  backdrop_ = std::move(bitmap);
  backdrop_key_ = key;
  return backdrop_.get();
}

void PaintScene(Gdiplus::Graphics& g, const Scene& scene, PaintCache& cache, float scale) {
  g.Clear(Gdiplus::Color(0, 0, 0, 0));
  g.ResetTransform();
  g.ScaleTransform(scale, scale);
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
  // Grey-scale antialiasing: sub-pixel text would leave coloured fringes on a per-pixel
  // transparent window.
  g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
  if (!scene.Root()) return;
  const DropDown* open_list = nullptr;
  PaintControl(g, *scene.Root(), cache, &open_list);
  if (open_list && open_list->EffectivelyVisible()) PaintOpenList(g, *open_list);
}

}  // namespace ui
