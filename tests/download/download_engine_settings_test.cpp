// What the engine is made with: the user's "ProxyEnable" as ManualProxyConfigured reads it, and
// the owner window (the desktop when none is given).
#include "download/download_engine.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/download/proxy_settings_override.h"

namespace {

TEST(DownloadEngineSettings, ManualProxyIsProxyEnableOneInFourBytes) {
  ProxySettingsOverride settings;
  const uint64_t wide = 1;
  const struct Case {
    const char* name;
    std::function<void()> arrange;
    bool manual;
  } cases[] = {
      {"no settings key", [&] { settings.RemoveInternetSettings(); }, false},
      {"0", [&] { settings.Set(0); }, false},
      {"2", [&] { settings.Set(2); }, false},
      {"1 in 8 bytes", [&] { settings.SetRaw(REG_QWORD, &wide, sizeof(wide)); }, false},
      {"1", [&] { settings.Set(1); }, true},
      {"0 after 1", [&] { settings.Set(0); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    EXPECT_EQ(ManualProxyConfigured(), c.manual);
  }
}

TEST(DownloadEngineSettings, NoOwnerWindowMeansTheDesktop) {
  EXPECT_EQ(DownloadEngine(nullptr, false).owner_window(), GetDesktopWindow());
  const HWND window = GetShellWindow() ? GetShellWindow() : GetDesktopWindow();
  EXPECT_EQ(DownloadEngine(window, true).owner_window(), window);
}

}  // namespace
