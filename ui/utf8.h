// UTF-8 to the platform's wide text (UTF-16 on Windows, UTF-32 elsewhere). Malformed input
// becomes U+FFFD rather than an error: a description typo must not lose a whole text.
#pragma once

#include <string>
#include <string_view>

namespace ui {

std::wstring Utf8ToWide(std::string_view utf8);

}  // namespace ui
