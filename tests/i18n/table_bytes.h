// Builds stored translation tables byte by byte, so tests can state exactly what they feed the
// reader: counted UTF-16LE texts and little-endian counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TableBytes {
 public:
  TableBytes& U32(uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return *this;
  }
  TableBytes& Units(const std::wstring& text) {
    for (wchar_t c : text) {
      bytes_.push_back(static_cast<uint8_t>(c & 0xFF));
      bytes_.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    }
    return *this;
  }
  TableBytes& Text(const std::wstring& text) {
    return U32(static_cast<uint32_t>(text.size())).Units(text);
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};
