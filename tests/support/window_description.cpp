#include "tests/support/window_description.h"

#include <stdexcept>

#include "tests/support/files.h"

std::string WindowDescriptionText() { return ReadFileBytes(SourcePath("app/window.ui")); }

std::unique_ptr<ui::Scene> LoadWindowDescription() {
  std::string error;
  auto scene = ui::Scene::Load(WindowDescriptionText(), &error);
  if (!scene) throw std::runtime_error("app/window.ui: " + error);
  scene->Layout(scene->Width(), scene->Height());
  return scene;
}

i18n::TranslationTable LoadStoredTranslationTable() {
  const std::string bytes = ReadFileBytes(BuildPath("i18n/translations.bin"));
  i18n::TranslationTable table;
  if (!i18n::ReadTranslationTable(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  &table))
    throw std::runtime_error("the stored translation table cannot be read");
  return table;
}
