#include "i18n/translation_table.h"

namespace i18n {
namespace {

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), left_(size) {}

  bool U32(uint32_t* value) {
    if (left_ < 4) return false;
    *value = uint32_t{data_[0]} | uint32_t{data_[1]} << 8 | uint32_t{data_[2]} << 16 |
             uint32_t{data_[3]} << 24;
    Skip(4);
    return true;
  }

  // A counted UTF-16LE text. The count is checked against the bytes left before anything is
  // allocated, so a corrupt count cannot ask for more memory than the table's own size.
  bool Text(std::wstring* text) {
    uint32_t units = 0;
    if (!U32(&units) || units > left_ / 2) return false;
    text->resize(units);
    for (uint32_t i = 0; i < units; ++i)
      (*text)[i] = static_cast<wchar_t>(data_[2 * i] | data_[2 * i + 1] << 8);
    Skip(size_t{units} * 2);
    return true;
  }

  bool AtEnd() const { return left_ == 0; }

 private:
  void Skip(size_t n) {
    data_ += n;
    left_ -= n;
  }
  const uint8_t* data_;
  size_t left_;
};

// Splits a block of lines, each ended by CR LF. A last line without its CR LF still counts.
std::vector<std::wstring> SplitLines(const std::wstring& block) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start < block.size()) {
    size_t end = block.find(L"\r\n", start);
    if (end == std::wstring::npos) end = block.size();
    lines.push_back(block.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

}  // namespace

const Language* TranslationTable::Find(const std::wstring& name) const {
  for (const Language& language : languages)
    if (language.name == name) return &language;
  return nullptr;
}

bool ReadTranslationTable(const uint8_t* data, size_t size, TranslationTable* table) {
  *table = TranslationTable();
  Reader reader(data, size);
  TranslationTable read;
  std::wstring block;
  if (!reader.Text(&block)) return false;
  read.window_texts = SplitLines(block);
  uint32_t count = 0;
  if (!reader.U32(&count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    Language language;
    if (!reader.Text(&language.name) || !reader.Text(&block)) return false;
    language.lines = SplitLines(block);
    read.languages.push_back(std::move(language));
  }
  if (!reader.AtEnd()) return false;
  *table = std::move(read);
  return true;
}

}  // namespace i18n
