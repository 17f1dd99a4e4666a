// Between narrow text and the platform's UTF-16: the system's ANSI code page (what the C runtime
// and the extraction library's entry names use) or UTF-8.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace win {

// Bytes the code page cannot map become U+FFFD, as the system converts them; an empty text (or
// one the system refuses) gives an empty result.
std::wstring Widen(std::string_view text, UINT code_page = CP_ACP);
// The reverse, UTF-8 by default; unpaired surrogates become U+FFFD.
std::string Narrow(std::wstring_view text, UINT code_page = CP_UTF8);

}  // namespace win
