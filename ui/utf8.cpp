#include "ui/utf8.h"

namespace ui {

std::wstring Utf8ToWide(std::string_view s) {
  std::wstring out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    char32_t cp;
    size_t len;
    if (b < 0x80)
      cp = b, len = 1;
    else if ((b & 0xE0) == 0xC0)
      cp = b & 0x1F, len = 2;
    else if ((b & 0xF0) == 0xE0)
      cp = b & 0x0F, len = 3;
    else if ((b & 0xF8) == 0xF0)
      cp = b & 0x07, len = 4;
    else
      cp = 0xFFFD, len = 0;
    bool ok = len > 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      unsigned char c = static_cast<unsigned char>(s[i + k]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(L'\xFFFD');
      ++i;
      continue;
    }
    i += len;
    if constexpr (sizeof(wchar_t) == 2) {
      if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        continue;
      }
    }
    out.push_back(static_cast<wchar_t>(cp));
  }
  return out;
}

}  // namespace ui
