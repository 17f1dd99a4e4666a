#include "download/proxy_credentials_prompt.h"

#include <atomic>

namespace {
std::atomic<ProxyCredentialsPrompt> current_prompt{&ShowProxyCredentialsDialog};
}

DWORD ShowProxyCredentialsDialog(HINTERNET request) {
  return InternetErrorDlg(GetDesktopWindow(), request, ERROR_INTERNET_INCORRECT_PASSWORD,
                          FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                              FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                          nullptr);
}

ProxyCredentialsPrompt SetProxyCredentialsPrompt(ProxyCredentialsPrompt prompt) {
  return current_prompt.exchange(prompt ? prompt : &ShowProxyCredentialsDialog);
}

DWORD PromptForProxyCredentials(HINTERNET request) { return current_prompt.load()(request); }
