// Downloads that break off or stall and resume with range requests, over the real asynchronous
// WinINet against the local test server's /resume paths: what lands in the file, which requests
// the server saw, the progress calls and the outcome.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "download/download_engine.h"
#include "tests/download/http_test_server.h"

namespace {

struct ProgressCall {
  uint64_t length;
  uint64_t total;
  uint64_t file_size_at_call;
};

// A report that the download waits to resume: its try and the counts it gave.
struct ResumeCall {
  uint32_t resume_try;
  uint64_t total;
  uint64_t length;
  bool operator==(const ResumeCall& other) const {
    return resume_try == other.resume_try && total == other.total && length == other.length;
  }
};
void PrintTo(const ResumeCall& call, std::ostream* out) {
  *out << "{try " << call.resume_try << ", " << call.total << " of " << call.length << "}";
}

struct ProgressLog {
  std::mutex mutex;
  std::wstring file_path;
  std::vector<ProgressCall> calls;  // one per chunk
  std::vector<ResumeCall> resume_calls;
  std::atomic<bool> returned{false};
  std::atomic<int> calls_after_return{0};

  DownloadProgressCallback Callback() {
    return [this](const DownloadProgress& progress) {
      if (returned) ++calls_after_return;
      WIN32_FILE_ATTRIBUTE_DATA data = {};
      GetFileAttributesExW(file_path.c_str(), GetFileExInfoStandard, &data);
      std::lock_guard<std::mutex> lock(mutex);
      if (progress.resume_try)
        resume_calls.push_back({progress.resume_try, progress.received, progress.expected});
      else
        calls.push_back({progress.expected, progress.received,
                         (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
    };
  }
  uint64_t last_total() {
    std::lock_guard<std::mutex> lock(mutex);
    return calls.empty() ? 0 : calls.back().total;
  }
};

class DownloadResume : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new TestServer; }
  static void TearDownTestSuite() { delete server_; }
  void SetUp() override {
    ASSERT_TRUE(server_->running());
    log_.file_path = file_;
  }
  void TearDown() override {
    EXPECT_TRUE(engine_->Shutdown());
    DeleteFileW(file_.c_str());
  }

  // Downloads /resume/SIZE with `options` under a key of its own (so that requests() lists
  // only this download's requests), from a fresh file and progress log.
  bool Download(size_t size, const std::string& options, uint32_t stall_limit = 30000) {
    static int downloads = 0;
    key_ = "k" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++downloads);
    log_.calls.clear();
    log_.resume_calls.clear();
    log_.returned = false;
    const std::string query = "?key=" + key_ + (options.empty() ? "" : "&" + options);
    const std::wstring path =
        L"/resume/" + std::to_wstring(size) + std::wstring(query.begin(), query.end());
    const bool ok = engine_->Download(server_->url(path).c_str(), file_.c_str(), log_.Callback(),
                                      &outcome_, {DownloadEngine::kMaxLength, stall_limit});
    log_.returned = true;
    return ok;
  }

  // The requests the server saw for the last download: "RANGE IF-RANGE STATUS" each.
  std::vector<std::string> requests() const {
    std::istringstream text(server_->Fetch("/requests/" + key_));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

  static TestServer* server_;
  std::unique_ptr<DownloadEngine> engine_ = std::make_unique<DownloadEngine>(nullptr, false);
  const std::wstring file_ = TestFilePath(L"resumed.bin");
  std::string key_;
  ProgressLog log_;
  DownloadOutcome outcome_;
};
TestServer* DownloadResume::server_ = nullptr;

// A range request as the server logs it, with the first answer's ETag ("v0") in If-Range.
std::string RangeLine(size_t from, const char* if_range, int status) {
  return "bytes=" + std::to_string(from) + "- " + if_range + " " + std::to_string(status);
}
constexpr const char* kETag = "\"v0\"";
constexpr const char* kLastModified = "Sat, 01 Jan 2022 00:00:00 GMT";

// The progress calls of a download that never started over: each a non-empty chunk of at most
// 8096 bytes announced with the whole length, reported before it is written, the totals going
// on from what the file held, never back, up to the whole file.
void ExpectContiguousProgress(const ProgressLog& log, uint64_t size) {
  uint64_t previous = 0;
  for (const ProgressCall& call : log.calls) {
    EXPECT_EQ(call.length, size);
    EXPECT_GT(call.total, previous);
    EXPECT_LE(call.total - previous, 8096u);
    EXPECT_EQ(call.file_size_at_call, previous);
    previous = call.total;
  }
  EXPECT_EQ(previous, size);
}

TEST_F(DownloadResume, DroppedBodyResumesWithOneRangeRequestAndArrivesByteForByte) {
  // If-Range carries the strong ETag, else Last-Modified (a weak ETag may not be used there).
  const struct {
    const char* validator;
    const char* if_range;
  } cases[] = {{"etag", kETag}, {"lastmod", kLastModified}, {"weak", kLastModified}};
  const size_t size = 300007;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.validator);
    ASSERT_TRUE(Download(size, std::string("drop=100000&validator=") + c.validator));
    EXPECT_EQ(ReadFileBytes(file_), PatternBytes(size));
    EXPECT_EQ(requests(),
              (std::vector<std::string>{"- - 200", RangeLine(100000, c.if_range, 206)}));
    ExpectContiguousProgress(log_, size);
    EXPECT_EQ(log_.resume_calls, (std::vector<ResumeCall>{{1, 100000, size}}));
    EXPECT_EQ(outcome_.failure, DownloadFailure::None);
    EXPECT_EQ(outcome_.http_status, 206u);
    EXPECT_EQ(outcome_.resumes, 1u);
    EXPECT_FALSE(outcome_.restarted);
    EXPECT_EQ(outcome_.bytes_received, size);
    EXPECT_EQ(outcome_.content_length, size);
  }
}

TEST_F(DownloadResume, UpToThreeResumesThenTheDownloadFails) {
  // Every cut request sends 50000 bytes more, so each range starts where the last one broke.
  const size_t size = 400000;
  for (int drops : {3, 4}) {
    SCOPED_TRACE(drops);
    const bool ok = Download(size, "drop=50000&drops=" + std::to_string(drops));
    std::vector<std::string> expected = {"- - 200"};
    for (int i = 1; i <= 3; ++i) expected.push_back(RangeLine(50000 * i, kETag, 206));
    EXPECT_EQ(requests(), expected);
    EXPECT_EQ(outcome_.resumes, 3u);
    // Each resume is announced with its try, from what the file held when it broke off.
    EXPECT_EQ(log_.resume_calls,
              (std::vector<ResumeCall>{{1, 50000, size}, {2, 100000, size}, {3, 150000, size}}));
    const std::string got = ReadFileBytes(file_);
    if (drops == 3) {
      EXPECT_TRUE(ok);
      EXPECT_EQ(got, PatternBytes(size));
      ExpectContiguousProgress(log_, size);
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(got, PatternBytes(200000));  // what four cut requests brought
      EXPECT_EQ(outcome_.failure, DownloadFailure::CutOff);
      EXPECT_EQ(outcome_.bytes_received, 200000u);
      EXPECT_EQ(outcome_.content_length, size);
    }
  }
}

TEST_F(DownloadResume, ResumeThatFindsNoAnswerTriesAgain) {
  // A resumed request the server closes unanswered counts as one of the three resumes.
  const size_t size = 150000;
  const std::string range = "bytes=50000- " + std::string(kETag);
  ASSERT_TRUE(Download(size, "drop=50000&unanswered=1"));
  EXPECT_EQ(ReadFileBytes(file_), PatternBytes(size));
  EXPECT_EQ(requests(),
            (std::vector<std::string>{"- - 200", range + " closed", RangeLine(50000, kETag, 206)}));
  EXPECT_EQ(outcome_.resumes, 2u);
  // The unanswered try leaves the caller waiting: the next one is announced as try 2.
  EXPECT_EQ(log_.resume_calls, (std::vector<ResumeCall>{{1, 50000, size}, {2, 50000, size}}));

  EXPECT_FALSE(Download(size, "drop=50000&unanswered=3"));
  EXPECT_EQ(requests(), (std::vector<std::string>{"- - 200", range + " closed", range + " closed",
                                                  range + " closed"}));
  EXPECT_EQ(ReadFileBytes(file_), PatternBytes(50000));
  EXPECT_EQ(outcome_.failure, DownloadFailure::Unreachable);
  EXPECT_EQ(outcome_.resumes, 3u);
}

TEST_F(DownloadResume, StalledBodyResumesAfterTheStallLimit) {
  const size_t size = 200000;
  const ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(Download(size, "stall=70000", 1500));
  EXPECT_GE(GetTickCount64() - start, 1500u);
  EXPECT_EQ(ReadFileBytes(file_), PatternBytes(size));
  EXPECT_EQ(requests(), (std::vector<std::string>{"- - 200", RangeLine(70000, kETag, 206)}));
  ExpectContiguousProgress(log_, size);
  EXPECT_EQ(log_.resume_calls, (std::vector<ResumeCall>{{1, 70000, size}}));
  EXPECT_EQ(outcome_.resumes, 1u);
}

TEST_F(DownloadResume, WholeBodyAnsweringTheRangeRestartsFromZeroOnce) {
  // The server ignores the range, or the file changed (its ETag is no longer the one sent).
  const size_t size = 250000;
  for (const char* options : {"norange=1", "changing=1"}) {
    SCOPED_TRACE(options);
    ASSERT_TRUE(Download(size, std::string("drop=90000&") + options));
    EXPECT_EQ(ReadFileBytes(file_), PatternBytes(size));
    EXPECT_EQ(requests(), (std::vector<std::string>{"- - 200", RangeLine(90000, kETag, 200)}));
    EXPECT_TRUE(outcome_.restarted);
    EXPECT_EQ(outcome_.resumes, 1u);
    // The refilled 90000 bytes are not reported again: the totals go up to the length, no more.
    uint64_t previous = 0;
    for (const ProgressCall& call : log_.calls) {
      EXPECT_GT(call.total, previous);
      EXPECT_EQ(call.length, size);
      previous = call.total;
    }
    EXPECT_EQ(previous, size);
  }

  // A second whole body is not taken: the file stays with what the restart brought.
  EXPECT_FALSE(Download(size, "drop=90000&drops=2&norange=1"));
  EXPECT_EQ(requests(), (std::vector<std::string>{"- - 200", RangeLine(90000, kETag, 200),
                                                  RangeLine(90000, kETag, 200)}));
  EXPECT_EQ(ReadFileBytes(file_), PatternBytes(90000));
  EXPECT_EQ(outcome_.failure, DownloadFailure::CutOff);
  EXPECT_EQ(outcome_.resumes, 2u);
}

TEST_F(DownloadResume, BrokenBodyThatCannotResumeFails) {
  // Without a validator no range is asked for; a 206 for another range than the rest of the
  // file, or an answer that is not a success, ends the download with what was stored.
  const size_t size = 100000;
  const struct {
    const char* options;
    std::vector<std::string> requests;
    DownloadFailure failure;
  } cases[] = {
      {"validator=none", {"- - 200"}, DownloadFailure::CutOff},
      {"skew=1", {"- - 200", RangeLine(30000, kETag, 206)}, DownloadFailure::CutOff},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    EXPECT_FALSE(Download(size, std::string("drop=30000&") + c.options));
    EXPECT_EQ(requests(), c.requests);
    EXPECT_EQ(ReadFileBytes(file_), PatternBytes(30000));
    EXPECT_EQ(outcome_.failure, c.failure);
    EXPECT_EQ(outcome_.bytes_received, 30000u);
  }
}

TEST_F(DownloadResume, CancelWhileResumingEndsAtOnce) {
  // Shut down in the pause after the drop, or while the resumed request waits on a server that
  // stalls after 1000 bytes; the stall limit is far away either way.
  for (size_t wait_for : {size_t{100000}, size_t{101000}}) {
    SCOPED_TRACE(wait_for);
    engine_ = std::make_unique<DownloadEngine>(nullptr, false);
    bool ok = true;
    std::thread download([&] { ok = Download(300000, "drop=100000&stall=1000&stalls=2", 60000); });
    for (int i = 0; i < 800 && log_.last_total() < wait_for; ++i) Sleep(25);
    ASSERT_GE(log_.last_total(), wait_for);
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(engine_->Shutdown());
    download.join();
    EXPECT_LT(GetTickCount64() - start, 3000u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(outcome_.failure, DownloadFailure::Cancelled);
    const std::string got = ReadFileBytes(file_);
    EXPECT_EQ(got, PatternBytes(got.size()));
    Sleep(50);
    EXPECT_EQ(log_.calls_after_return, 0);
  }
}

}  // namespace
