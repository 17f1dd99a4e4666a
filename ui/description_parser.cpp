// Reader of the window description, a small declarative text (UTF-8):
//
//   # comment line
//   Kind Name {
//     property = value ...
//     Kind ChildName { ... }
//   }
//
// One root control; kinds are Frame, Layout, Label, Button, DropDown, Image, ProgressBar,
// CloseBox. Texts are double-quoted with \" and \\ escapes. Every control name is unique.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <set>

#include "ui/scene.h"
#include "ui/utf8.h"

namespace ui {

class DescriptionParser {
 public:
  explicit DescriptionParser(std::string_view text) : text_(text) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;  // editors may save a byte-order mark
  }

  std::unique_ptr<Scene> Parse(std::string* error) {
    std::unique_ptr<Scene> scene(new Scene());
    scene_ = scene.get();
    bool ok = ParseAll(scene.get());
    if (!ok) {
      if (error) *error = "line " + std::to_string(line_) + ": " + error_;
      return nullptr;
    }
    scene->dirty_ = true;
    return scene;
  }

 private:
  // Tokens: words (kinds, names, keys, numbers, colours), quoted strings, '{', '}', '=' and
  // end of line, which ends a property.
  enum class Tok { Word, String, Open, Close, Equals, EndLine, End, Bad };

  Tok Next(std::string* value) {
    value->clear();
    for (;;) {
      while (pos_ < text_.size() &&
             (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r'))
        ++pos_;
      if (pos_ >= text_.size()) return Tok::End;
      char ch = text_[pos_];
      if (ch == '#' && at_line_start_) {  // a comment runs to the end of its line
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
        continue;
      }
      if (ch == '\n') {
        ++pos_;
        bool was_start = at_line_start_;
        at_line_start_ = true;
        ++line_;
        if (was_start) continue;  // blank lines are not property ends
        return Tok::EndLine;
      }
      at_line_start_ = false;
      if (ch == '{') return ++pos_, Tok::Open;
      if (ch == '}') return ++pos_, Tok::Close;
      if (ch == '=') return ++pos_, Tok::Equals;
      if (ch == '"') {
        ++pos_;
        while (pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != '\n') {
          if (text_[pos_] == '\\' && pos_ + 1 < text_.size() &&
              (text_[pos_ + 1] == '"' || text_[pos_ + 1] == '\\'))
            ++pos_;
          value->push_back(text_[pos_++]);
        }
        if (pos_ >= text_.size() || text_[pos_] != '"') return Fail("unterminated text"), Tok::Bad;
        ++pos_;
        return Tok::String;
      }
      while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])) &&
             text_[pos_] != '{' && text_[pos_] != '}' && text_[pos_] != '=' && text_[pos_] != '"')
        value->push_back(text_[pos_++]);
      return Tok::Word;
    }
  }

  bool Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }

  bool ParseAll(Scene* scene) {
    std::string word;
    Tok t = Next(&word);
    while (t == Tok::EndLine) t = Next(&word);
    if (t != Tok::Word) return Fail("expected the root control");
    if (!ParseControl(word, nullptr, &scene->root_, 0)) return false;
    for (t = Next(&word); t == Tok::EndLine; t = Next(&word)) {
    }
    if (t != Tok::End) return Fail("text after the root control");
    if (scene->root_->declared_.w <= 0 || scene->root_->declared_.h <= 0)
      return Fail("the root control needs a size");
    return true;
  }

  std::unique_ptr<Control> Make(const std::string& kind, const std::string& name) {
    if (kind == "Frame") return std::make_unique<Frame>(scene_, name);
    if (kind == "DropDown") return std::make_unique<DropDown>(scene_, name);
    if (kind == "ProgressBar") return std::make_unique<ProgressBar>(scene_, name);
    static const std::pair<const char*, ControlKind> plain[] = {
        {"Layout", ControlKind::Layout},
        {"Label", ControlKind::Label},
        {"Button", ControlKind::Button},
        {"Image", ControlKind::Image},
        {"CloseBox", ControlKind::CloseBox}};
    for (const auto& [k, v] : plain)
      if (kind == k) return std::make_unique<Control>(scene_, v, name);
    return nullptr;
  }

  bool ParseControl(const std::string& kind, Control* parent, std::unique_ptr<Control>* out,
                    int depth) {
    if (depth > 32) return Fail("controls nested too deeply");
    std::string name;
    if (Next(&name) != Tok::Word) return Fail("expected a name after " + kind);
    if (!names_.insert(name).second) return Fail("duplicate control name " + name);
    std::unique_ptr<Control> control = Make(kind, name);
    if (!control) return Fail("unknown control kind " + kind);
    control->parent_ = parent;
    if (parent) control->style_ = Inherited(parent->style_);
    std::string word;
    if (Next(&word) != Tok::Open) return Fail("expected { after " + name);
    for (;;) {
      Tok t = Next(&word);
      if (t == Tok::EndLine) continue;
      if (t == Tok::Close) break;
      if (t != Tok::Word)
        return Fail(t == Tok::End ? "missing } for " + name : "expected a property or control");
      std::string after;
      Tok t2 = Next(&after);
      if (t2 == Tok::Equals) {
        if (!ParseProperty(*control, word)) return false;
      } else if (t2 == Tok::Word) {
        // A child control: the name was read already; step back over it.
        pos_ -= after.size();
        std::unique_ptr<Control> child;
        if (!ParseControl(word, control.get(), &child, depth + 1)) return false;
        control->children_.push_back(std::move(child));
      } else {
        return Fail("expected = or a control name after " + word);
      }
    }
    *out = std::move(control);
    return true;
  }

  // The font family and size carry over from the parent (the toolkit-wide default font); weight
  // and colours are each control's own, so the frame's bold white title does not leak into pages.
  static Style Inherited(const Style& parent) {
    Style s;
    s.font_family = parent.font_family;
    s.font_size = parent.font_size;
    return s;
  }

  // The values of a property, up to the end of its line.
  bool Values(std::vector<std::pair<Tok, std::string>>* values) {
    for (;;) {
      std::string v;
      Tok t = Next(&v);
      if (t == Tok::EndLine || t == Tok::End) return true;
      if (t != Tok::Word && t != Tok::String) return Fail("bad property value");
      values->emplace_back(t, std::move(v));
    }
  }

  static bool Number(const std::string& s, double* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    *out = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && std::isfinite(*out) && std::fabs(*out) < 1e6;
  }

  bool Ints(const std::vector<std::pair<Tok, std::string>>& v, size_t n, int* out) {
    if (v.size() != n) return Fail("expected " + std::to_string(n) + " numbers");
    for (size_t i = 0; i < n; ++i) {
      double d;
      if (v[i].first != Tok::Word || !Number(v[i].second, &d) || d != std::floor(d))
        return Fail("bad whole number " + v[i].second);
      out[i] = static_cast<int>(d);
    }
    return true;
  }

  bool One(const std::vector<std::pair<Tok, std::string>>& v, std::string* out) {
    if (v.size() != 1) return Fail("expected one value");
    *out = v[0].second;
    return true;
  }

  bool Real(const std::vector<std::pair<Tok, std::string>>& v, double lo, double hi, double* out) {
    std::string s;
    if (!One(v, &s)) return false;
    if (!Number(s, out) || *out < lo || *out > hi) return Fail("bad number " + s);
    return true;
  }

  bool Flag(const std::vector<std::pair<Tok, std::string>>& v, bool* out) {
    std::string s;
    if (!One(v, &s)) return false;
    if (s != "yes" && s != "no") return Fail("expected yes or no");
    *out = s == "yes";
    return true;
  }

  bool ColorValue(const std::vector<std::pair<Tok, std::string>>& v, Color* out) {
    std::string s;
    if (!One(v, &s)) return false;
    if (s.size() != 9 || s[0] != '#') return Fail("expected a colour #AARRGGBB");
    char* end = nullptr;
    unsigned long argb = std::strtoul(s.c_str() + 1, &end, 16);
    if (end != s.c_str() + s.size()) return Fail("expected a colour #AARRGGBB");
    *out = {static_cast<uint8_t>(argb >> 24), static_cast<uint8_t>(argb >> 16),
            static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb)};
    return true;
  }

  template <class E>
  bool Choice(const std::vector<std::pair<Tok, std::string>>& v,
              std::initializer_list<std::pair<const char*, E>> choices, E* out) {
    std::string s;
    if (!One(v, &s)) return false;
    for (const auto& [k, e] : choices)
      if (s == k) return *out = e, true;
    return Fail("unknown value " + s);
  }

  bool ParseProperty(Control& c, const std::string& key) {
    std::vector<std::pair<Tok, std::string>> v;
    if (!Values(&v)) return false;
    Style& s = c.style_;
    double d = 0;
    if (key == "rect") return Ints(v, 4, &c.declared_.x);
    if (key == "margins") return Ints(v, 4, &c.margins_.left);
    if (key == "padding") return Ints(v, 4, &c.padding_.left);
    if (key == "dock")
      return Choice<Dock>(v,
                          {{"none", Dock::None},
                           {"stretch-x", Dock::StretchX},
                           {"top", Dock::Top},
                           {"left", Dock::Left},
                           {"right", Dock::Right},
                           {"fill", Dock::Fill}},
                          &c.dock_);
    if (key == "text" || key == "alt") {
      // `alt` names a control that draws no text of its own for assistive technology; it is
      // kept and translated as the control's text, which such a control never draws.
      const bool draws_text = c.kind_ == ControlKind::Frame || c.kind_ == ControlKind::Label ||
                              c.kind_ == ControlKind::Button;
      if (key == "alt" && draws_text) return Fail("alt is for controls that draw no text");
      if (v.size() != 1 || v[0].first != Tok::String) return Fail("expected a quoted text");
      c.key_ = c.text_ = Utf8ToWide(v[0].second);
      return true;
    }
    if (key == "font") {
      if (v.empty() || v.size() > 2 || !Number(v[0].second, &d) || d < 1 || d > 200)
        return Fail("expected font = size [bold]");
      s.font_size = static_cast<float>(d);
      s.bold = v.size() == 2;
      if (s.bold && v[1].second != "bold") return Fail("expected font = size [bold]");
      return true;
    }
    if (key == "font-family") {
      std::string f;
      if (!One(v, &f)) return false;
      s.font_family = Utf8ToWide(f);
      return true;
    }
    if (key == "halign")
      return Choice<HAlign>(
          v, {{"left", HAlign::Left}, {"center", HAlign::Center}, {"right", HAlign::Right}},
          &s.halign);
    if (key == "valign")
      return Choice<VAlign>(
          v, {{"top", VAlign::Top}, {"center", VAlign::Center}, {"bottom", VAlign::Bottom}},
          &s.valign);
    if (key == "wrap") return Flag(v, &s.wrap);
    if (key == "text-color") return ColorValue(v, &s.text_color);
    if (key == "fill") {
      if (!ColorValue(v, &s.fill)) return false;
      if (s.hover_seconds == 0) s.hover_fill = s.fill;
      return true;
    }
    if (key == "hover-fill") return ColorValue(v, &s.hover_fill);
    if (key == "hover-seconds") {
      if (!Real(v, 0, 10, &d)) return false;
      s.hover_seconds = static_cast<float>(d);
      return true;
    }
    if (key == "picture") return One(v, &s.picture);
    if (key == "fit")
      return Choice<PictureFit>(v, {{"center", PictureFit::Center}, {"fit", PictureFit::Fit}},
                                &s.fit);
    if (key == "cursor") {
      std::string cur;
      if (!One(v, &cur) || (cur != "hand" && cur != "arrow")) return Fail("expected hand or arrow");
      s.hand_cursor = cur == "hand";
      return true;
    }
    if (key == "hit") return Flag(v, &c.hit_testable_);
    if (key == "default") return Flag(v, &c.is_default_);
    if (key == "cancel") return Flag(v, &c.is_cancel_);
    if (key == "outer") return Flag(v, &c.outer_);
    if (key == "visible") return Flag(v, &c.visible_);
    if (key == "enabled") return Flag(v, &c.enabled_);
    if (key == "opacity") {
      if (!Real(v, 0, 1, &d)) return false;
      c.opacity_ = static_cast<float>(d);
      return true;
    }
    if (auto* bar = dynamic_cast<ProgressBar*>(&c)) {
      if (key == "max") {
        if (!Real(v, 1, 1e6, &d)) return false;
        bar->max_ = d;
        return true;
      }
      if (key == "value") {
        if (!Real(v, 0, bar->max_, &d)) return false;
        bar->value_ = d;
        return true;
      }
    }
    if (auto* frame = dynamic_cast<Frame*>(&c)) {
      if (key == "panel-inset") return Ints(v, 1, &frame->panel_inset_);
      if (key == "corner-radius") return Ints(v, 1, &frame->corner_radius_);
      if (key == "caption-height") return Ints(v, 1, &frame->caption_height_);
      if (key == "outline") return ColorValue(v, &frame->outline_);
    }
    return Fail("unknown property " + key + " for " + c.Name());
  }

  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
  bool at_line_start_ = true;
  std::string error_;
  std::set<std::string> names_;
  Scene* scene_ = nullptr;
};

std::unique_ptr<Scene> Scene::Load(std::string_view description, std::string* error) {
  return DescriptionParser(description).Parse(error);
}

}  // namespace ui
