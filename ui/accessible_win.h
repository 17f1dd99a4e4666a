// The scene as seen by assistive technology: an MSAA IAccessible for the window's client area
// whose children are the effectively visible controls that have a name (depth first, in drawing
// order) as simple elements, followed after each drop-down list by its items. A child's name is
// what the user sees: its text, for a control that draws none its alternative text from the
// description, for a clickable group the text it holds (its parts are not listed apart); layout
// groups and decorative pictures have none and are left out. Each child also has a role, a state
// (with the keyboard focus), a location in screen pixels and, as its help topic, its control name,
// which tools can address it by and readers do not speak; a drop-down's value is its selected
// item.
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
// Tells assistive technology that the scene's focus moved to its focused control.
void NotifySceneFocus(HWND window, const Scene& scene);

}  // namespace ui
