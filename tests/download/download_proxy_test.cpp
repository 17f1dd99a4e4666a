// A proxy that answers 407 until credentials come, reached through this process's own Internet
// Settings (the session is opened with the preconfigured proxy: the proxy flag stays 0 here).
#include <gtest/gtest.h>

#include <atomic>

#include "download/download_engine.h"
#include "tests/download/http_test_server.h"
#include "tests/download/proxy_settings_override.h"

namespace {

std::atomic<int> prompt_calls{0};

DWORD AnswerWithCredentials(HINTERNET request) {
  ++prompt_calls;
  wchar_t user[] = L"proxyuser", password[] = L"proxypass";
  InternetSetOptionW(request, INTERNET_OPTION_PROXY_USERNAME, user, ARRAYSIZE(user));
  InternetSetOptionW(request, INTERNET_OPTION_PROXY_PASSWORD, password, ARRAYSIZE(password));
  return ERROR_INTERNET_FORCE_RETRY;
}

// A user who takes a while over the dialog.
DWORD AnswerSlowly(HINTERNET request) {
  Sleep(1500);
  return AnswerWithCredentials(request);
}

DWORD Decline(HINTERNET) {
  ++prompt_calls;
  return ERROR_CANCELLED;
}

struct Totals {
  std::vector<uint64_t> values;
  DownloadProgressCallback Callback() {
    return [this](const DownloadProgress& progress) { values.push_back(progress.received); };
  }
};

class DownloadThroughProxy : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new TestServer; }
  static void TearDownTestSuite() { delete server_; }
  void SetUp() override {
    ASSERT_TRUE(server_->running());
    settings_.Set(1, L"127.0.0.1:" + std::to_wstring(server_->port()));
    prompt_calls = 0;
  }
  void TearDown() override { DeleteFileW(file_.c_str()); }

  static TestServer* server_;
  ProxySettingsOverride settings_;
  const std::wstring file_ = TestFilePath(L"proxied.bin");
};
TestServer* DownloadThroughProxy::server_ = nullptr;

const std::string kRefusal = "proxy says no";

TEST_F(DownloadThroughProxy, CredentialsFromThePromptRetryTheRequest) {
  DownloadEngine engine(nullptr, false, &AnswerWithCredentials);
  Totals totals;
  // The host is only a name for the proxy, which serves every path itself.
  EXPECT_TRUE(engine.Download(L"http://rescue.example.invalid/file/30000", file_.c_str(),
                              totals.Callback()));
  EXPECT_TRUE(engine.Shutdown());

  EXPECT_EQ(prompt_calls, 1);
  EXPECT_EQ(ReadFileBytes(file_), PatternBytes(30000));  // only the final body
  // The refusal's 13 bytes were counted first, and the total goes on from there.
  ASSERT_GE(totals.values.size(), 2u);
  EXPECT_EQ(totals.values.front(), kRefusal.size());
  EXPECT_EQ(totals.values.back(), kRefusal.size() + 30000);
}

TEST_F(DownloadThroughProxy, TimeAtThePromptIsNoStall) {
  // The stall limit is a third of the time the prompt takes; the download still arrives.
  DownloadEngine engine(nullptr, false, &AnswerSlowly);
  EXPECT_TRUE(engine.Download(L"http://rescue.example.invalid/file/30000", file_.c_str(), nullptr,
                              nullptr, {DownloadEngine::kMaxLength, 500}));
  EXPECT_TRUE(engine.Shutdown());
  EXPECT_EQ(prompt_calls, 1);
  EXPECT_EQ(ReadFileBytes(file_), PatternBytes(30000));
}

TEST_F(DownloadThroughProxy, DeclinedPromptLeavesTheRefusalAndFails) {
  DownloadEngine engine(nullptr, false, &Decline);
  EXPECT_FALSE(engine.Download(L"http://rescue.example.invalid/file/100", file_.c_str(), nullptr));
  EXPECT_TRUE(engine.Shutdown());
  EXPECT_EQ(prompt_calls, 1);
  EXPECT_EQ(ReadFileBytes(file_), kRefusal);
}

}  // namespace
