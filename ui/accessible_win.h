// The scene as seen by assistive technology: an MSAA IAccessible for the window's client area
// whose children are the effectively visible controls (depth first, in drawing order) as simple
// elements, followed after each drop-down list by its items. Each child has a name (its text; for
// a clickable group without one, the text it holds; else its control name), a role, a state, a
// location in screen pixels and, as its description, its control name; a drop-down's value is its
// selected item.
#pragma once

#include <windows.h>
#include <oleacc.h>

// Name the interface as __uuidof(IAccessible), never IID_IAccessible: mingw-w64's oleacc import
// library defines that symbol as a code thunk, and when it links before libuuid the "IID" is
// the thunk's bytes (marshaling then fails with E_NOINTERFACE).

namespace ui {

class Scene;

// Creates the object with one reference, for WM_GETOBJECT / LresultFromObject. The window
// calls DetachSceneAccessible when it goes away; clients still holding the object then get
// CO_E_OBJNOTCONNECTED from every call instead of touching freed memory.
IAccessible* CreateSceneAccessible(HWND window, Scene* scene);
void DetachSceneAccessible(IAccessible* accessible);

}  // namespace ui
