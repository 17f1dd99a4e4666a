// Winsock 2 before anything that includes <windows.h>, which would bring in the old winsock.h.
#include <winsock2.h>

#include "tests/download/http_test_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "win/text.h"
#include "win/unique_resource.h"

namespace {

struct WinsockUser {
  WinsockUser() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};

// PROJECT_SOURCE_DIR is "Z:/..." under Wine; the Unix path is the rest.
std::string UnixPath(const std::string& wine_path) {
  std::string path = wine_path;
  if (path.size() > 1 && path[1] == ':') path = path.substr(2);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

SOCKET ConnectLocal(uint16_t port) {
  static WinsockUser winsock;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

bool SendText(SOCKET s, const std::string& text) {
  return send(s, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

}  // namespace

std::wstring TestFilePath(const std::wstring& name) {
  static long counter = 0;
  return win::Widen(PROJECT_BINARY_DIR) + L"\\dl-test-" + std::to_wstring(GetCurrentProcessId()) +
         L"-" + std::to_wstring(InterlockedIncrement(&counter)) + L"-" + name;
}

TestServer::TestServer(const std::wstring& tls_folder) {
  const std::wstring port_file = TestFilePath(L"server.port");
  const std::string script = UnixPath(PROJECT_SOURCE_DIR) + "/tests/download/test_server.py";
  const std::string unix_port_file = UnixPath(std::filesystem::path(port_file).string());
  std::wstring command = L"python3 " + win::Widen(script) + L" " + win::Widen(unix_port_file);
  if (!tls_folder.empty())
    command += L" " + win::Widen(UnixPath(std::filesystem::path(tls_folder).string()));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(L"Z:\\usr\\bin\\python3", &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    ADD_FAILURE() << "cannot start python3: " << GetLastError();
    return;
  }
  // Not needed: the server's life is the lifeline connection's.
  const win::UniqueHandle thread(process.hThread), child(process.hProcess);

  for (int i = 0; i < 400 && !port_; ++i) {  // up to 20 s on a loaded machine
    std::ifstream in{std::filesystem::path(port_file)};
    int value = 0;
    if (in >> value)
      port_ = static_cast<uint16_t>(value);
    else
      Sleep(50);
  }
  DeleteFileW(port_file.c_str());
  if (!port_) {
    ADD_FAILURE() << "the test server did not come up";
    return;
  }
  lifeline_ = ConnectLocal(port_);
  if (lifeline_ == INVALID_SOCKET || !SendText(lifeline_, "GET /lifeline HTTP/1.1\r\n\r\n")) {
    ADD_FAILURE() << "cannot reach the test server";
    port_ = 0;
  }
}

TestServer::~TestServer() {
  if (lifeline_ != INVALID_SOCKET) closesocket(lifeline_);
}

std::wstring TestServer::url(const std::wstring& path, const std::wstring& scheme,
                             const std::wstring& host) const {
  return scheme + L"://" + host + L":" + std::to_wstring(port_) + path;
}

std::string TestServer::Fetch(const std::string& path) const {
  SOCKET s = ConnectLocal(port_);
  if (s == INVALID_SOCKET) return {};
  std::string reply;
  if (SendText(s, "GET " + path + " HTTP/1.1\r\nConnection: close\r\n\r\n")) {
    char buffer[512];
    int n;
    while ((n = recv(s, buffer, sizeof(buffer), 0)) > 0) {
      reply.append(buffer, n);
      const size_t body = reply.find("\r\n\r\n");
      const size_t length_at = reply.find("Content-Length: ");
      if (body != std::string::npos && length_at != std::string::npos &&
          reply.size() >= body + 4 + std::stoul(reply.substr(length_at + 16)))
        break;
    }
  }
  closesocket(s);
  const size_t body = reply.find("\r\n\r\n");
  return body == std::string::npos ? std::string() : reply.substr(body + 4);
}

int TestServer::counter(const char* name) const {
  const std::string text = Fetch(std::string("/count/") + name);
  return text.empty() ? -1 : std::atoi(text.c_str());
}

std::string PatternBytes(size_t count) {
  // Same formula as test_server.py: a prime period, so no chunk boundary lines up with it.
  constexpr size_t kPeriod = 65521;
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) {
    const size_t k = i % kPeriod;
    bytes[i] = static_cast<char>(k * 31 + (k >> 8));
  }
  return bytes;
}

uint16_t UnusedPort() {
  static WinsockUser winsock;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  int size = sizeof(address);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  closesocket(s);
  return ntohs(address.sin_port);
}
