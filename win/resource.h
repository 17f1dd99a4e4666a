// The program's own data resources (RCDATA), as the bytes the module image holds.
#pragma once

#include <windows.h>

#include <string_view>

namespace win {

// The bytes of RCDATA resource `name` of `module` (null: the program itself), in any language;
// empty when there is none. Resources belong to the module image: nothing is to be freed, and
// the bytes stay valid as long as the module is loaded.
std::string_view ResourceBytes(HMODULE module, const wchar_t* name);

}  // namespace win
