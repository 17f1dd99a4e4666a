// A real HTTP server (and proxy) on 127.0.0.1 for the download tests: tests/download/test_server.py
// run by the system's python3.
//
// How it is started and stopped under Wine: CreateProcessW on the Unix program
// Z:\usr\bin\python3 runs it as a native process (its arguments are passed as written, so they
// are Unix paths). Wine hands such a child neither a process handle nor our pipes, so the server
// writes its ephemeral port into a file that we poll, and it lives exactly as long as a
// "lifeline" connection we hold open: closing it, or this process ending, stops the server.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/files.h"

class TestServer {
 public:
  // Starts the server; fails the current test when it does not come up. Given a folder, it also
  // answers TLS on the same port, with a certificate for 127.0.0.1 from a test root it makes
  // and writes there as root.der (see test_server.py).
  explicit TestServer(const std::wstring& tls_folder = {});
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  uint16_t port() const { return port_; }
  bool running() const { return port_ != 0; }
  // "http://127.0.0.1:PORT" followed by `path`, or with another scheme and host.
  std::wstring url(const std::wstring& path, const std::wstring& scheme = L"http",
                   const std::wstring& host = L"127.0.0.1") const;
  // The body of a GET for `path`, read over a plain socket; empty when there is none.
  std::string Fetch(const std::string& path) const;
  // One of the server's counters (/count/NAME).
  int counter(const char* name) const;

 private:
  uint16_t port_ = 0;
  // A SOCKET (INVALID_SOCKET when none), kept out of this header: winsock2.h must come before
  // windows.h, which the tests include first.
  uintptr_t lifeline_ = ~uintptr_t{0};
};

// The bytes the server sends for a body of `count` bytes.
std::string PatternBytes(size_t count);
// A file path under the build folder, unique to this process and `name`.
std::wstring TestFilePath(const std::wstring& name);
// A 127.0.0.1 port on which nothing listens.
uint16_t UnusedPort();
