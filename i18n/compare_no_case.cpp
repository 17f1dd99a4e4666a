#include "i18n/compare_no_case.h"

namespace i18n {
namespace {

wchar_t Fold(wchar_t c) {
  if (c >= L'A' && c <= L'Z') return c + (L'a' - L'A');
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;  // Latin-1 capitals but U+00D7
  return c;
}

}  // namespace

int CompareNoCaseN(const wchar_t* a, const wchar_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const wchar_t x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  return 0;
}

}  // namespace i18n
