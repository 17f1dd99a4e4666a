#include "ProxyCredentialsPrompt.h"

#include <atomic>

namespace {
std::atomic<ProxyCredentialsPrompt> currentPrompt{&ShowProxyCredentialsDialog};
}

DWORD ShowProxyCredentialsDialog(HINTERNET request) {
    return InternetErrorDlg(GetDesktopWindow(), request, ERROR_INTERNET_INCORRECT_PASSWORD,
                            FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                            nullptr);
}

ProxyCredentialsPrompt SetProxyCredentialsPrompt(ProxyCredentialsPrompt prompt) {
    return currentPrompt.exchange(prompt ? prompt : &ShowProxyCredentialsDialog);
}

DWORD PromptForProxyCredentials(HINTERNET request) { return currentPrompt.load()(request); }
