// How the wizard moves to another page: a state, or the install worker, posts message 1025 to the
// main window with the state to enter, and the window hands it to the state machine when the
// message arrives. A change therefore never happens inside the handler that asked for it, and two
// requests apply in the order posted.
#pragma once

#include <windows.h>

#include "wizard/wizard_ids.h"

constexpr UINT WM_WIZARD_SETSTATE = WM_USER + 1;  // 1025; wParam: the state index

// Posts the request; whether the post worked is not checked (a window that has closed meanwhile
// simply never sees it).
inline void RequestState(HWND window, WizardState state) {
  PostMessageA(window, WM_WIZARD_SETSTATE, static_cast<WPARAM>(Index(state)), 0);
}
