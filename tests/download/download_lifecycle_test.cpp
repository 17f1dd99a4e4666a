// Shutdowns, cancellations and stall limits racing transfers that are in flight: every download
// ends promptly, and nothing touches a request (or the caller's progress context) after its
// download call has returned.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "download/download_engine.h"
#include "tests/download/http_test_server.h"

namespace {

struct Watch {
  std::atomic<int> calls{0};
  std::atomic<bool> returned{false};
  std::atomic<int> calls_after_return{0};
  std::atomic<ULONGLONG> last_call_tick{0};
  HANDLE first_call = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~Watch() { CloseHandle(first_call); }
  DownloadProgressCallback Callback() {
    return [this](const DownloadProgress&) {
      if (returned) ++calls_after_return;
      ++calls;
      last_call_tick = GetTickCount64();
      SetEvent(first_call);
    };
  }
};

class DownloadLifecycle : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new TestServer; }
  static void TearDownTestSuite() { delete server_; }
  void SetUp() override { ASSERT_TRUE(server_->running()); }

  // Waits (bounded) until the server has seen `target` requests for /hang.
  static bool AwaitHangs(int target) {
    for (int i = 0; i < 400; ++i) {
      if (server_->counter("hang") >= target) return true;
      Sleep(25);
    }
    return false;
  }

  static TestServer* server_;
};
TestServer* DownloadLifecycle::server_ = nullptr;

TEST_F(DownloadLifecycle, ShutdownFromAnotherThreadEndsRunningDownloads) {
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    DownloadEngine engine(nullptr, false);
    const std::wstring slow_file = TestFilePath(L"slow.bin"), hang_file = TestFilePath(L"hang.bin");
    Watch watch;
    bool slow_result = true, hang_result = true;
    const int hangs_before = server_->counter("hang");
    // One download streams (reads pending and completing), one waits on a silent server
    // (a send that never completes).
    std::thread slow([&] {
      slow_result = engine.Download(server_->url(L"/slow/5000000").c_str(), slow_file.c_str(),
                                    watch.Callback());
      watch.returned = true;
    });
    std::thread hang([&] {
      hang_result = engine.Download(server_->url(L"/hang").c_str(), hang_file.c_str(), nullptr);
    });
    ASSERT_EQ(WaitForSingleObject(watch.first_call, 20000), WAIT_OBJECT_0);
    ASSERT_TRUE(AwaitHangs(hangs_before + 1));

    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(engine.Shutdown());
    slow.join();
    hang.join();
    EXPECT_LT(GetTickCount64() - start, 5000u);
    EXPECT_FALSE(slow_result);
    EXPECT_FALSE(hang_result);
    // What arrived before the cancel is in the file, in order.
    const std::string got = ReadFileBytes(slow_file);
    EXPECT_FALSE(got.empty());
    EXPECT_EQ(got, PatternBytes(got.size()));
    Sleep(50);
    EXPECT_EQ(watch.calls_after_return, 0);
    DeleteFileW(slow_file.c_str());
    DeleteFileW(hang_file.c_str());
  }
}

TEST_F(DownloadLifecycle, CancelledFastBodyEndsWithoutWaitingForTheRest) {
  // Closing a request with much of its body unread delays its closing notice (Wine reads the
  // rest off the connection first); the cancelled download must not wait for that.
  DownloadEngine engine(nullptr, false);
  Watch watch;
  bool result = true;
  std::thread download([&] {
    result = engine.Download(server_->url(L"/file/400000000").c_str(), L"", watch.Callback());
  });
  ASSERT_EQ(WaitForSingleObject(watch.first_call, 20000), WAIT_OBJECT_0);
  const ULONGLONG start = GetTickCount64();
  EXPECT_TRUE(engine.Shutdown());
  download.join();
  EXPECT_LT(GetTickCount64() - start, 3000u);
  EXPECT_FALSE(result);
}

TEST_F(DownloadLifecycle, StallLimitsCutTransfersAtEveryPoint) {
  // Limits from 1 to 120 ms end attempts while connecting, waiting for the answer or between
  // chunks (the slow sender pauses 20 ms between its chunks).
  DownloadEngine engine(nullptr, false);
  std::vector<std::unique_ptr<Watch>> watches;
  const std::wstring file = TestFilePath(L"cut.bin");
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    watches.push_back(std::make_unique<Watch>());
    Watch& watch = *watches.back();
    const bool slow = round % 2 == 0;
    const std::wstring path = slow ? L"/slow/20000" : L"/file/2000000";
    const size_t size = slow ? 20000 : 2000000;
    const DWORD limit = 1 + (round * 7) % 120;
    const ULONGLONG start = GetTickCount64();
    const bool ok = engine.Download(server_->url(path).c_str(), file.c_str(), watch.Callback(),
                                    nullptr, {DownloadEngine::kMaxLength, limit});
    const ULONGLONG end = GetTickCount64();
    watch.returned = true;
    // A stalled download ends soon after its last chunk (or its start, without one).
    if (!ok)
      EXPECT_LT(end - (watch.calls > 0 ? ULONGLONG(watch.last_call_tick) : start), limit + 1000u);
    const std::string got = ReadFileBytes(file);
    EXPECT_EQ(got, PatternBytes(got.size()));
    if (ok) EXPECT_EQ(got.size(), size);
  }
  Sleep(300);  // room for late completions of the abandoned reads
  for (const auto& watch : watches) EXPECT_EQ(watch->calls_after_return, 0);
  EXPECT_TRUE(engine.Shutdown());
  DeleteFileW(file.c_str());
}

TEST_F(DownloadLifecycle, ParallelDownloadsAllArriveWhole) {
  DownloadEngine engine(nullptr, false);
  constexpr int kThreads = 4;
  std::vector<std::wstring> files;
  bool results[kThreads] = {};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) files.push_back(TestFilePath(L"parallel.bin"));
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      results[i] =
          engine.Download(server_->url(L"/file/3000000").c_str(), files[i].c_str(), nullptr);
    });
  for (auto& t : threads) t.join();
  EXPECT_TRUE(engine.Shutdown());
  const std::string expected = PatternBytes(3000000);
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_TRUE(results[i]);
    EXPECT_EQ(ReadFileBytes(files[i]), expected);
    DeleteFileW(files[i].c_str());
  }
}

TEST_F(DownloadLifecycle, ShutdownRacesDownloadsThatAreStarting) {
  // Downloads begin while the engine shuts down: each one either does nothing (the engine was
  // already shut down), is cancelled, or was never in danger; none hangs or crashes.
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    DownloadEngine engine(nullptr, false);
    std::vector<std::thread> threads;
    std::atomic<int> finished{0};
    for (int i = 0; i < 3; ++i)
      threads.emplace_back([&] {
        engine.Download(server_->url(L"/slow/1000000").c_str(), L"", nullptr);
        ++finished;
      });
    Sleep(round % 10);
    const ULONGLONG start = GetTickCount64();
    engine.Shutdown();
    for (auto& t : threads) t.join();
    EXPECT_LT(GetTickCount64() - start, 5000u);
    EXPECT_EQ(finished, 3);
  }
}

}  // namespace
