// How a request that a proxy answered 407 asks for credentials.
#pragma once

#include <windows.h>
#include <wininet.h>

// Asks for proxy credentials for `request` and sets them on it. ERROR_INTERNET_FORCE_RETRY
// means the request is to be sent again; any other result leaves the 407 answer as the result.
// Runs on a WinINet thread while the request's transfer waits.
using ProxyCredentialsPrompt = DWORD (*)(HINTERNET request);

// The real prompt: WinINet's own credentials dialog, modal, with the desktop as parent.
DWORD ShowProxyCredentialsDialog(HINTERNET request);
