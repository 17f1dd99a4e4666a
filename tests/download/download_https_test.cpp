// HTTPS over the real asynchronous WinINet with full certificate checks (chain, name and
// revocation), against the local test server answering TLS with a certificate for 127.0.0.1
// from a test root of its own: trusted and named right it downloads; an untrusted root or
// another host name fails before any request is sent.
#include <windows.h>

#include <wincrypt.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <functional>

#include "download/download_engine.h"
#include "tests/download/http_test_server.h"

namespace {

// A root of the user's root store for as long as this object lives. The store is a registry
// store, so each change is committed at once. Wine's chain engine reads the root store when a
// process first builds a chain and keeps that view, so the root is trusted before any download
// of the process and stays trusted until its end; a root left behind by a crash is harmless
// (made for one run, expiring in two days, its key gone with the server).
class TrustedRoot {
 public:
  explicit TrustedRoot(const std::wstring& der_file) {
    const std::string der = ReadFileBytes(der_file);
    store_ = CertOpenSystemStoreW(0, L"ROOT");
    if (!store_ || der.empty() ||
        !CertAddEncodedCertificateToStore(
            store_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
            static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, &added_) ||
        !CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr))
      ADD_FAILURE() << "cannot trust the test root: " << GetLastError();
  }
  ~TrustedRoot() {
    if (added_) CertDeleteCertificateFromStore(added_);  // frees the context too
    if (store_) {
      CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
      CertCloseStore(store_, 0);
    }
  }
  TrustedRoot(const TrustedRoot&) = delete;
  TrustedRoot& operator=(const TrustedRoot&) = delete;

 private:
  HCERTSTORE store_ = nullptr;
  PCCERT_CONTEXT added_ = nullptr;
};

// Two servers, each with a root of its own: one root is trusted, the other never is.
class DownloadHttps : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::wstring trusted_folder = TestFilePath(L"tls-trusted");
    trusted_ = new TestServer(trusted_folder);
    untrusted_ = new TestServer(TestFilePath(L"tls-untrusted"));
    root_ = new TrustedRoot(trusted_folder + L"\\root.der");
  }
  static void TearDownTestSuite() {
    delete root_;
    delete trusted_;
    delete untrusted_;
  }
  void SetUp() override { ASSERT_TRUE(trusted_->running() && untrusted_->running()); }
  void TearDown() override {
    EXPECT_TRUE(engine_.Shutdown());
    DeleteFileW(file_.c_str());
  }
  bool Download(const TestServer& server, const std::wstring& host, size_t size) {
    const std::wstring url = server.url(L"/file/" + std::to_wstring(size), L"https", host);
    return engine_.Download(url.c_str(), file_.c_str(), nullptr, &outcome_);
  }

  static TestServer* trusted_;
  static TestServer* untrusted_;
  static TrustedRoot* root_;
  DownloadEngine engine_{nullptr, false};
  const std::wstring file_ = TestFilePath(L"secure.bin");
  DownloadOutcome outcome_;
};
TestServer* DownloadHttps::trusted_ = nullptr;
TestServer* DownloadHttps::untrusted_ = nullptr;
TrustedRoot* DownloadHttps::root_ = nullptr;

TEST_F(DownloadHttps, TrustedCertificateForTheHostDownloadsByteForByte) {
  const int before = trusted_->counter("https");
  ASSERT_TRUE(Download(*trusted_, L"127.0.0.1", 300001));
  EXPECT_EQ(ReadFileBytes(file_), PatternBytes(300001));
  EXPECT_EQ(outcome_.failure, DownloadFailure::None);
  EXPECT_EQ(trusted_->counter("https"), before + 1);
}

// The connection is refused after the handshake, before a request is sent over it.
void ExpectRefusedBeforeAnyRequest(const std::function<bool()>& download, const TestServer& server,
                                   const DownloadOutcome& outcome, const std::wstring& file) {
  const int handshakes = server.counter("tls");
  const int requests = server.counter("https");
  EXPECT_FALSE(download());
  EXPECT_EQ(outcome.failure, DownloadFailure::Unreachable);
  EXPECT_GT(server.counter("tls"), handshakes);
  EXPECT_EQ(server.counter("https"), requests);
  EXPECT_TRUE(ReadFileBytes(file).empty());
}

TEST_F(DownloadHttps, AnotherHostNameIsRefused) {
  ExpectRefusedBeforeAnyRequest([this] { return Download(*trusted_, L"localhost", 1000); },
                                *trusted_, outcome_, file_);
  EXPECT_EQ(outcome_.error, DWORD(ERROR_INTERNET_SEC_CERT_CN_INVALID));
}

TEST_F(DownloadHttps, UntrustedRootIsRefused) {
  ExpectRefusedBeforeAnyRequest([this] { return Download(*untrusted_, L"127.0.0.1", 1000); },
                                *untrusted_, outcome_, file_);
  // A chain that reaches no trusted root cannot be checked for revocation either, and that is
  // the error WinINet names first (as Wine's own tests of Windows show).
  EXPECT_TRUE(outcome_.error == ERROR_INTERNET_SEC_CERT_REV_FAILED ||
              outcome_.error == ERROR_INTERNET_INVALID_CA)
      << outcome_.error;
}

}  // namespace
