// The owner of a WinINet handle (session, connection, request). Kept apart from
// win/unique_resource.h so that only the download engine pulls in <wininet.h>.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "win/unique_resource.h"

namespace win {

struct InternetHandleTraits {
  using Type = HINTERNET;
  static Type Empty() { return nullptr; }
  static void Close(Type handle) { InternetCloseHandle(handle); }
};
using UniqueInternet = UniqueResource<InternetHandleTraits>;

}  // namespace win
