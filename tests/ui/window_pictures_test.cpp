// Each page of the wizard window rendered offscreen to PNG (English, and Spanish from the stored
// translation table), read back from the file and checked where it matters: the frame's shape and
// transparency, text where the labels are, pictures where the images are. The PNGs stay in
// build/screenshots/ for a reviewer.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/window_description.h"
#include "i18n/translation.h"
#include "ui/gdiplus_win.h"
#include "ui/layered_window_win.h"
#include "ui/scene_painter_win.h"

namespace {

struct Pixel {
  uint8_t a, r, g, b;
};

// A rendered PNG, decoded back into straight ARGB.
class Picture {
 public:
  bool Load(const std::wstring& path) {
    Gdiplus::Bitmap file(path.c_str());
    if (file.GetLastStatus() != Gdiplus::Ok) return false;
    w_ = static_cast<int>(file.GetWidth());
    h_ = static_cast<int>(file.GetHeight());
    Gdiplus::Rect all(0, 0, w_, h_);
    Gdiplus::BitmapData data{};
    if (file.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok)
      return false;
    px_.resize(static_cast<size_t>(w_) * h_);
    for (int y = 0; y < h_; ++y) {
      auto* row =
          reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride);
      for (int x = 0; x < w_; ++x) {
        uint32_t v = row[x];
        px_[static_cast<size_t>(y) * w_ + x] = {
            static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
      }
    }
    file.UnlockBits(&data);
    return true;
  }
  int Width() const { return w_; }
  int Height() const { return h_; }
  Pixel At(int x, int y) const { return px_[static_cast<size_t>(y) * w_ + x]; }
  int Count(ui::Rect r, const std::function<bool(Pixel)>& match) const {
    int n = 0;
    for (int y = std::max(0, r.y); y < std::min(h_, r.y + r.h); ++y)
      for (int x = std::max(0, r.x); x < std::min(w_, r.x + r.w); ++x) n += match(At(x, y));
    return n;
  }

 private:
  int w_ = 0, h_ = 0;
  std::vector<Pixel> px_;
};

// Light text on the dark panel.
bool TextPixel(Pixel p) { return p.a == 255 && p.r > 0x90 && p.g > 0x90 && p.b > 0x90; }
bool Orange(Pixel p) { return p.r > 0xC0 && p.g > 0x50 && p.g < 0xB8 && p.b < 0x60; }
bool Green(Pixel p) { return p.g > 0x80 && p.g > p.r + 0x30 && p.g > p.b + 0x30; }
bool Red(Pixel p) { return p.r > 0x90 && p.r > p.g + 0x50 && p.r > p.b + 0x50; }
bool Blue(Pixel p) { return p.b > 0x90 && p.b > p.r + 0x40; }
bool PanelGrey(Pixel p) { return p.a == 255 && p.r == 0x2F && p.g == 0x2F && p.b == 0x2F; }

const char* const kPages[] = {"WelcomePage", "DrivePage", "ProgressPage", "FinishPage",
                              "ConfirmPage"};

class WindowPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus_.Ok());
    std::string error;
    scene_ = ui::LoadSceneResource(GetModuleHandleW(nullptr), L"WINDOW_UI", &error);
    ASSERT_TRUE(scene_) << error;
    CreateDirectoryW(L"" PROJECT_SOURCE_DIR "/build", nullptr);
    CreateDirectoryW(L"" PROJECT_SOURCE_DIR "/build/screenshots", nullptr);
  }

  void ShowPage(const char* page) {
    for (const char* p : kPages) scene_->Find(p)->SetVisible(std::string(p) == page);
  }

  // The window's texts in Spanish, as the stored translation table gives them.
  void Spanish() {
    const i18n::TranslationTable table = LoadStoredTranslationTable();
    const i18n::Language* spanish = table.Find(L"es");
    ASSERT_NE(spanish, nullptr);
    scene_->TranslateTexts([spanish](const std::wstring& english) {
      return i18n::TranslateWindowText(spanish, english);
    });
  }

  // Renders to build/screenshots/ui-<name>.png at `scale` device pixels per layout unit and
  // reads the file back.
  Picture Render(const std::string& name, float scale = 1) {
    std::wstring path = L"" PROJECT_SOURCE_DIR "/build/screenshots/ui-" +
                        std::wstring(name.begin(), name.end()) + L".png";
    DeleteFileW(path.c_str());
    Picture picture;
    EXPECT_TRUE(ui::RenderSceneToPng(*scene_, 613, 429, path.c_str(), scale));
    EXPECT_TRUE(picture.Load(path)) << name;
    EXPECT_EQ(picture.Width(), static_cast<int>(613 * scale + 0.5f));
    EXPECT_EQ(picture.Height(), static_cast<int>(429 * scale + 0.5f));
    return picture;
  }

  ui::Rect At(const char* name) { return scene_->Find(name)->Bounds(); }

  // Labels show text inside their own rectangle (a little slack for glyph overhang).
  void ExpectText(const Picture& p, const char* label, int at_least = 40) {
    ui::Rect r = At(label);
    r = {r.x - 2, r.y - 4, r.w + 4, r.h + 8};
    EXPECT_GE(p.Count(r, TextPixel), at_least) << label;
  }

  ui::GdiplusSession gdiplus_;
  std::unique_ptr<ui::Scene> scene_;
};

TEST_F(WindowPictures, FrameIsRoundedShadowedAndTransparentOutside) {
  ShowPage("WelcomePage");
  Picture p = Render("frame");
  // Window corners lie outside the rounded panel and its shadow.
  for (auto [x, y] : {std::pair{0, 0}, {612, 0}, {0, 428}, {612, 428}, {3, 3}, {609, 425}})
    EXPECT_EQ(p.At(x, y).a, 0) << x << "," << y;
  // The panel's own corners are rounded: just inside the corner is not opaque panel.
  EXPECT_LT(p.At(12, 12).a, 255);
  EXPECT_LT(p.At(600, 416).a, 255);
  // Soft shadow in the 12-pixel margin: translucent, denser near the panel.
  Pixel outer = p.At(3, 200), inner = p.At(10, 200);
  EXPECT_GT(inner.a, outer.a);
  EXPECT_GT(inner.a, 0);
  EXPECT_LT(inner.a, 255);
  EXPECT_LE(inner.r, 8);
  // Opaque dark grey panel where nothing is drawn, caption band darker than it.
  EXPECT_TRUE(PanelGrey(p.At(20, 410)));
  EXPECT_TRUE(PanelGrey(p.At(590, 60)));
  Pixel band = p.At(400, 16);
  EXPECT_EQ(band.a, 255);
  EXPECT_LT(band.r, 0x2F);
  // Bold white title at the left of the band; nothing light in the band's right part but the box.
  EXPECT_GE(p.Count({20, 12, 260, 22}, [](Pixel q) { return q.r > 0xC0 && q.g > 0xC0; }), 80);
  EXPECT_EQ(p.Count({320, 12, 240, 22}, TextPixel), 0);
  // Close box: a light disc at the right end of the band with a dark cross in its middle.
  ui::Rect box = At("CloseBox");
  EXPECT_GE(p.Count(box, [](Pixel q) { return q.r > 0x90; }), 120);
  Pixel centre = p.At(box.x + box.w / 2, box.y + box.h / 2);
  EXPECT_LT(centre.r, 0x80);
}

TEST_F(WindowPictures, PagesInEnglishAndSpanish) {
  for (bool spanish : {false, true}) {
    SCOPED_TRACE(spanish ? "Spanish" : "English");
    if (spanish) Spanish();
    const std::string lang = spanish ? "-es" : "-en";

    ShowPage("WelcomePage");
    Picture welcome = Render("welcome" + lang);
    for (const char* l : {"WelcomeTitle", "WelcomeText", "InsertStepCaption", "InstallStepCaption",
                          "BootStepCaption"})
      ExpectText(welcome, l);
    ExpectText(welcome, "StartButton", 30);
    // The illustration: stick on the left, progress bar in the middle, tower with a green badge
    // on the right, each over its caption column.
    EXPECT_GE(welcome.Count({At("InsertStep").x, At("StepsPictureRow").y, 182, 95}, Orange), 300);
    EXPECT_GE(welcome.Count({At("InstallStep").x, At("StepsPictureRow").y, 221, 95}, Blue), 200);
    EXPECT_GE(welcome.Count({At("BootStep").x, At("StepsPictureRow").y, 186, 95}, Green), 100);
    EXPECT_EQ(welcome.Count({At("InstallStep").x, At("StepsPictureRow").y, 221, 95}, Orange), 0);
    // Nothing between the heading rows and the illustration.
    EXPECT_EQ(welcome.Count({12, 33 + 124, 589, 10}, TextPixel), 0);

    ShowPage("DrivePage");
    auto* combo = scene_->FindAs<ui::DropDown>("DriveList");
    combo->ClearItems();
    combo->AddItem(L"E");
    combo->AddItem(L"F");
    combo->SetSelected(0);
    Picture drives = Render("drives" + lang);
    for (const char* l : {"DriveTitle", "DriveText", "RefreshLabel"}) ExpectText(drives, l);
    ExpectText(drives, "InstallButton", 30);
    EXPECT_GE(drives.Count(At("DriveList"), TextPixel), 10);  // the selected letter
    EXPECT_GE(drives.Count(At("DrivePicture"), Orange), 600);
    EXPECT_GE(drives.Count(At("RefreshIcon"), [](Pixel q) { return q.r > 0x90 && q.r < 0xD0; }),
              20);
    // The notice is hidden while a drive is listed (its row crosses the picture: look beside it).
    ui::Rect notice = At("NoDriveNotice");
    EXPECT_EQ(
        drives.Count({notice.x, notice.y, At("DrivePicture").x - notice.x, notice.h}, TextPixel),
        0);

    // No drive: the notice over the dimmed, disabled picture; Install disabled.
    combo->ClearItems();
    combo->SetEnabled(false);
    scene_->Find("InstallButton")->SetEnabled(false);
    scene_->Find("DrivePicture")->SetEnabled(false);
    scene_->Find("DrivePicture")->SetOpacity(0.5f);
    scene_->Find("NoDriveNotice")->SetVisible(true);
    Picture empty = Render("drives-none" + lang);
    ExpectText(empty, "NoDriveNotice");
    EXPECT_EQ(empty.Count(At("DriveList"), TextPixel), 0);
    EXPECT_EQ(empty.Count(At("DrivePicture"), Orange), 0);  // half-blended into the panel
    EXPECT_GE(
        empty.Count(At("DrivePicture"), [](Pixel q) { return q.r > 0x70 && q.r > q.b + 0x30; }),
        300);
    EXPECT_LT(empty.Count(At("InstallButton"), TextPixel),
              drives.Count(At("InstallButton"), TextPixel));
    for (const char* c : {"DriveList", "InstallButton", "DrivePicture"})
      scene_->Find(c)->SetEnabled(true);
    scene_->Find("DrivePicture")->SetOpacity(1.0f);
    scene_->Find("NoDriveNotice")->SetVisible(false);

    ShowPage("ProgressPage");
    scene_->FindAs<ui::ProgressBar>("ProgressBar")->SetValue(50);
    Picture progress = Render("progress" + lang);
    for (const char* l : {"ProgressTitle", "ProgressText", "StatusLabel"}) ExpectText(progress, l);
    ui::Rect bar = At("ProgressBar");
    EXPECT_GE(progress.Count({bar.x, bar.y, bar.w / 2 - 4, bar.h}, Blue),
              (bar.w / 2 - 10) * (bar.h - 6));
    EXPECT_EQ(progress.Count({bar.x + bar.w / 2 + 4, bar.y, bar.w / 2 - 4, bar.h}, Blue), 0);

    // The finish pages with their own lines: the next steps and an eject's outcome after a
    // success; the reason, the advice and the log's line after a failure (two lines each).
    ShowPage("FinishPage");
    scene_->Find("ErrorPicture")->SetVisible(false);
    scene_->Find("SuccessPicture")->SetVisible(true);
    scene_->Find("SuccessLines")->SetVisible(true);
    // The lines the program sets at run time, in the page's language.
    scene_->Find("EjectNote")
        ->SetText(spanish ? L"Este equipo no puede expulsar E:. Descon\u00e9ctala cuando su luz "
                            L"deje de parpadear."
                          : L"This computer cannot eject E:. Unplug it once its light stops "
                            L"blinking.");
    scene_->Find("EjectNote")->SetVisible(true);
    Picture ok = Render("finish-ok" + lang);
    for (const char* l : {"FinishTitle", "FinishText", "NextStepRemove", "NextStepBoot",
                          "NextStepSecureBoot", "EjectNote"})
      ExpectText(ok, l);
    for (const char* b : {"CloseButton", "SafelyRemoveButton", "MakeAnotherButton"})
      ExpectText(ok, b, 30);
    // The 94-pixel disc drawn in 64 pixels.
    EXPECT_GE(ok.Count(At("SuccessPicture"), Green), 2500);
    EXPECT_EQ(ok.Count(At("SuccessPicture"), Red), 0);
    scene_->Find("SuccessLines")->SetVisible(false);
    scene_->Find("ErrorPicture")->SetVisible(true);
    scene_->Find("SuccessPicture")->SetVisible(false);
    scene_->Find("ErrorLines")->SetVisible(true);
    const std::pair<const char*, const wchar_t*> english_lines[] = {
        {"FinishTitle", L"Could not install the rescue USB drive"},
        {"FinishText",
         L"There was an error trying to create the rescue USB drive. Please try again."},
        {"FinishReason",
         L"Unpacking: system.zip was refused to protect this computer, because of its entry "
         L"..\\escaped.txt"},
        {"FinishAdvice",
         L"Try again later. If it keeps failing, ask support for help and send them the log."},
        {"FinishDetails",
         L"Details in C:\\users\\me\\AppData\\Local\\USBWizard\\last-build.log"}};
    const std::pair<const char*, const wchar_t*> spanish_lines[] = {
        {"FinishTitle", L"No se ha instalado el an\u00e1lisis autoarrancable"},
        {"FinishText",
         L"Se ha producido un error y no se ha podido crear el USB de an\u00e1lisis "
         L"autoarrancable. Por favor, int\u00e9ntalo de nuevo."},
        {"FinishReason",
         L"Descompresi\u00f3n: se ha rechazado system.zip para proteger este equipo, por su "
         L"elemento ..\\escaped.txt"},
        {"FinishAdvice",
         L"Vuelve a intentarlo m\u00e1s tarde. Si sigue fallando, pide ayuda al soporte "
         L"t\u00e9cnico y env\u00edale el registro."},
        {"FinishDetails",
         L"Detalles en C:\\users\\me\\AppData\\Local\\USBWizard\\last-build.log"}};
    for (const auto& [label, text] : spanish ? spanish_lines : english_lines) {
      scene_->Find(label)->SetText(text);
      scene_->Find(label)->SetVisible(true);
    }
    Picture failed = Render("finish-error" + lang);
    for (const char* l : {"FinishReason", "FinishAdvice", "FinishDetails"}) ExpectText(failed, l);
    for (const char* b : {"CloseButton", "TryAgainButton", "OpenLogButton", "CopyLogButton"})
      ExpectText(failed, b, 30);
    // Each two-line text keeps to its own rows: nothing drawn in the gaps between them.
    for (const auto& [above, below] :
         {std::pair{"FinishReason", "FinishAdvice"}, std::pair{"FinishAdvice", "FinishDetails"}}) {
      const ui::Rect a = At(above), b = At(below);
      EXPECT_EQ(failed.Count({a.x, a.y + a.h, a.w, b.y - a.y - a.h}, TextPixel), 0)
          << above << " runs into " << below;
    }
    EXPECT_GE(failed.Count(At("ErrorPicture"), Red), 2500);
    EXPECT_EQ(failed.Count(At("ErrorPicture"), Green), 0);
    scene_->Find("ErrorLines")->SetVisible(false);
  }
}

// The question before a build for a USB disk: its firmer warning in its own colour, every line
// inside its row without touching the next, in both languages and at 96 and 144 dpi.
TEST_F(WindowPictures, TheQuestionForAUsbDiskWarnsInItsOwnColour) {
  ShowPage("ConfirmPage");
  scene_->Find("ConfirmDrive")->SetText(L"F:  BACKUP  500.1 GB  USB disk");
  scene_->Find("ConfirmContents")->SetText(L"It holds more than 10000 files (7.3 GB).");
  scene_->Find("ConfirmDiskWarning")->SetVisible(true);
  for (bool spanish : {false, true}) {
    SCOPED_TRACE(spanish ? "Spanish" : "English");
    if (spanish) Spanish();
    const std::string lang = spanish ? "-es" : "-en";
    Picture question = Render("confirm-usb-disk" + lang);
    for (const char* l : {"ConfirmTitle", "ConfirmDrive", "ConfirmContents", "ConfirmWarning"})
      ExpectText(question, l);
    ExpectText(question, "CancelButton", 30);
    ExpectText(question, "ContinueButton", 30);
    const ui::Rect warning = At("ConfirmDiskWarning");
    EXPECT_GE(question.Count(warning, Orange), 300);
    EXPECT_EQ(question.Count(At("ConfirmWarning"), Orange), 0);
    // Between the warning and the buttons the panel is bare.
    const int below = warning.y + warning.h;
    EXPECT_EQ(question.Count({warning.x, below, warning.w, At("CancelButton").y - below - 4},
                             [](Pixel q) { return !PanelGrey(q); }),
              0);
    Picture large = Render("confirm-usb-disk" + lang + "-144dpi", 1.5f);
    const ui::Rect scaled = warning.Scaled(1.5f);
    EXPECT_GE(large.Count(scaled, Orange), 600);
  }
}

TEST_F(WindowPictures, OpenDriveListDrawsItsRowsAboveThePage) {
  ShowPage("DrivePage");
  auto* combo = scene_->FindAs<ui::DropDown>("DriveList");
  combo->AddItem(L"E:  RESCUE  14.9 GB");
  combo->AddItem(L"F:");
  combo->AddItem(L"G:  A LABEL FAR LONGER THAN ANY LIST COULD SHOW WHOLE  64.0 GB");
  combo->SetSelected(1);
  combo->SetOpen(true);
  Picture open = Render("drives-open");
  ASSERT_TRUE((combo->ListBounds() == ui::Rect{156, 187, 300, 81}));
  ui::Rect first = combo->ItemBounds(0), second = combo->ItemBounds(1),
           third = combo->ItemBounds(2);
  // Every row shows; the selected row is highlighted; the list hides the picture under it.
  EXPECT_GE(open.Count(first, TextPixel), 10);
  EXPECT_GE(open.Count(second, TextPixel), 10);
  EXPECT_GE(open.Count(third, TextPixel), 10);
  EXPECT_GE(open.Count(second, Blue), second.w * second.h / 2);
  EXPECT_EQ(open.Count(first, Blue), 0);
  EXPECT_EQ(open.Count(combo->ListBounds(), Orange), 0);
  // A long label is cut short inside its row, not drawn across the page beside the list.
  for (const ui::Rect beside : {ui::Rect{third.x - 40, third.y, 40, third.h},
                                ui::Rect{third.x + third.w, third.y, 40, third.h}})
    EXPECT_EQ(open.Count(beside, TextPixel), 0);
  // The closed list shows the chosen drive whole.
  combo->SetOpen(false);
  combo->SetSelected(0);
  Picture closed = Render("drives-labels");
  const ui::Rect list = combo->Bounds();
  EXPECT_GE(closed.Count(list, TextPixel), 60);
}

TEST_F(WindowPictures, TranslatedTextsChangeTheDrawnTexts) {
  ShowPage("WelcomePage");
  Picture en = Render("compare-en");
  Spanish();
  Picture es = Render("compare-es");
  for (const char* name : {"WelcomeTitle", "StartButton", "InsertStepCaption"}) {
    ui::Rect r = At(name);
    int differ = 0;
    for (int y = r.y; y < r.y + r.h; ++y)
      for (int x = r.x; x < r.x + r.w; ++x)
        differ += TextPixel(en.At(x, y)) != TextPixel(es.At(x, y));
    EXPECT_GE(differ, 30) << name;
  }
  // The title in the caption band as well; the illustration is the same in both.
  EXPECT_EQ(scene_->Find("WindowFrame")->Text(),
            L"Asistente para el USB de an\u00e1lisis de Tovix Scourlet");
  ui::Rect pic = At("StepsPicture");
  for (int y = pic.y; y < pic.y + pic.h; y += 7)
    for (int x = pic.x; x < pic.x + pic.w; x += 7)
      ASSERT_EQ(en.At(x, y).r, es.At(x, y).r) << x << "," << y;
}

// At 144 and 192 dpi the same layout is drawn at 1.5 and 2 times its size: the window is
// 920 x 644 and 1226 x 858 device pixels, transparent outside the rounded panel, with the texts
// and pictures where their controls are, scaled.
TEST_F(WindowPictures, HigherDpiDrawsTheLayoutAtItsScale) {
  ShowPage("WelcomePage");
  for (float scale : {1.5f, 2.0f}) {
    SCOPED_TRACE(scale);
    Picture p = Render("welcome-en-" + std::to_string(static_cast<int>(scale * 96)) + "dpi", scale);
    auto at = [scale](ui::Rect r) { return r.Scaled(scale); };
    const int w = p.Width(), h = p.Height();
    for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}})
      EXPECT_EQ(p.At(x, y).a, 0) << x << "," << y;
    EXPECT_TRUE(PanelGrey(p.At(static_cast<int>(20 * scale), static_cast<int>(410 * scale))));
    for (const char* label : {"WelcomeTitle", "WelcomeText", "StartButton"})
      EXPECT_GE(p.Count(at(At(label)), TextPixel), static_cast<int>(30 * scale * scale)) << label;
    // The illustration's three parts over their scaled columns.
    const int row_y = At("StepsPictureRow").y;
    EXPECT_GE(p.Count(at({At("InsertStep").x, row_y, 182, 95}), Orange),
              static_cast<int>(300 * scale * scale));
    EXPECT_GE(p.Count(at({At("BootStep").x, row_y, 186, 95}), Green),
              static_cast<int>(100 * scale * scale));
    EXPECT_EQ(p.Count(at({At("InstallStep").x, row_y, 221, 95}), Orange), 0);
  }
}

// Each picture is drawn from the rendering made for the monitor's scale: the smallest that
// needs no enlarging, else the largest; its size in device pixels is its layout size times the
// rendering's scale.
TEST_F(WindowPictures, PicturesComeFromTheRenderingForTheScale) {
  ui::PaintCache cache(GetModuleHandleW(nullptr));
  float at = 0;
  Gdiplus::Bitmap* one = cache.Picture("PIC_OK", 1, &at);
  ASSERT_NE(one, nullptr);
  ASSERT_EQ(at, 1.0f);
  const UINT width = one->GetWidth();
  const struct {
    float scale, rendered;
  } cases[] = {{1.0f, 1.0f},  {1.25f, 1.5f}, {1.5f, 1.5f},
               {1.75f, 2.0f}, {2.0f, 2.0f},  {3.0f, 2.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scale);
    Gdiplus::Bitmap* picture = cache.Picture("PIC_OK", c.scale, &at);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(at, c.rendered);
    EXPECT_NEAR(picture->GetWidth(), width * c.rendered, 1.0);
  }
  EXPECT_EQ(cache.Picture("NO_SUCH_PICTURE", 1.5f, &at), nullptr);
}

}  // namespace
