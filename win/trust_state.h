// The owner of the state WinVerifyTrust keeps after a verification asked to hold it
// (WTD_STATEACTION_VERIFY): the signer and its chain stay readable until it is closed. Kept apart
// from win/unique_resource.h so that only the installer check pulls in <wintrust.h>.
#pragma once

#include <windows.h>
#include <wintrust.h>
#include <softpub.h>  // WINTRUST_ACTION_GENERIC_VERIFY_V2

#include "win/unique_resource.h"

namespace win {

// Holds the WINTRUST_DATA of a verification with the generic Authenticode action; closing
// asks WinVerifyTrust to release the state it holds in it.
struct TrustStateTraits {
  using Type = WINTRUST_DATA*;
  static Type Empty() { return nullptr; }
  static void Close(Type data) {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    data->dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, data);
  }
};
using UniqueTrustState = UniqueResource<TrustStateTraits>;

}  // namespace win
