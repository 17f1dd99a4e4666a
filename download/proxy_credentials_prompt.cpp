#include "download/proxy_credentials_prompt.h"

DWORD ShowProxyCredentialsDialog(HINTERNET request) {
  return InternetErrorDlg(GetDesktopWindow(), request, ERROR_INTERNET_INCORRECT_PASSWORD,
                          FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                              FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                          nullptr);
}
