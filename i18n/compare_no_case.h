// Case-insensitive comparison of at most n UTF-16 characters, stopping at a NUL; negative, 0 or
// positive like wcsncmp. On Windows it is the shell's own comparison (StrCmpNIW); elsewhere
// ASCII and Latin-1 letters are folded, which covers every key of the stored table.
#pragma once

#include <cstddef>

namespace i18n {

int CompareNoCaseN(const wchar_t* a, const wchar_t* b, size_t n);

}  // namespace i18n
