// The download wrapper: its reading of the user's "ProxyEnable", its owner window, and one
// download end to end. A separate program, because the proxy flag, once set, holds for the
// rest of the process.
#include "download/download_wrapper.h"

#include <gtest/gtest.h>

#include <functional>

#include "download/download_engine.h"
#include "tests/download/http_test_server.h"
#include "tests/download/proxy_settings_override.h"

namespace {

TEST(DownloadWrapper, DownloadsBetweenStartAndStop) {
  TestServer server;
  ASSERT_TRUE(server.running());
  const std::wstring file = TestFilePath(L"wrapped.bin");
  DownloadWrapper wrapper;
  // Not started: nothing is done, and the download has failed.
  EXPECT_FALSE(wrapper.Download(server.url(L"/file/100").c_str(), file.c_str(), nullptr, nullptr));
  EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_TRUE(wrapper.Start(nullptr));
  EXPECT_TRUE(wrapper.Download(server.url(L"/file/70000").c_str(), file.c_str(), nullptr, nullptr));
  EXPECT_EQ(ReadFileBytes(file), PatternBytes(70000));
  EXPECT_FALSE(
      wrapper.Download(server.url(L"/status/404/10").c_str(), file.c_str(), nullptr, nullptr));
  EXPECT_TRUE(wrapper.Stop());
  DeleteFileW(file.c_str());
}

// The proxy flag never drops back to 0 in a process, so the cases run in this order in one test.
TEST(DownloadWrapper, ReadsProxyEnableAndTakesTheDesktopAsOwner) {
  ProxySettingsOverride settings;
  DownloadWrapper wrapper;
  const uint64_t wide = 1;
  struct Case {
    const char* name;
    std::function<void()> arrange;
    int flag_after;
  } cases[] = {
      {"no settings key", [&] { settings.RemoveInternetSettings(); }, 0},
      {"0", [&] { settings.Set(0); }, 0},
      {"2", [&] { settings.Set(2); }, 0},
      {"1 in 8 bytes", [&] { settings.SetRaw(REG_QWORD, &wide, sizeof(wide)); }, 0},
      {"1", [&] { settings.Set(1); }, 1},
      {"0 after 1", [&] { settings.Set(0); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    EXPECT_TRUE(wrapper.Start(nullptr));
    EXPECT_EQ(EngineProxyFlag(), c.flag_after);
    EXPECT_EQ(EngineOwnerWindow(), GetDesktopWindow());
    EXPECT_TRUE(wrapper.Stop());
  }
}

}  // namespace
