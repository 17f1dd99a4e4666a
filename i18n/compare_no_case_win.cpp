#include "i18n/compare_no_case.h"

#include <windows.h>
#include <shlwapi.h>

#include <climits>

namespace i18n {

int CompareNoCaseN(const wchar_t* a, const wchar_t* b, size_t n) {
  return StrCmpNIW(a, b, n > INT_MAX ? INT_MAX : static_cast<int>(n));
}

}  // namespace i18n
