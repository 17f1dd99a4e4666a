// What the program carries, read from the source and build trees: its window description
// (app/window.ui) and its stored translation table (the build writes it from i18n/).
#pragma once

#include <memory>
#include <string>

#include "i18n/translation_table.h"
#include "ui/scene.h"

std::string WindowDescriptionText();
// The description parsed and laid out at its own size; throws std::runtime_error when it cannot
// be read or parsed.
std::unique_ptr<ui::Scene> LoadWindowDescription();
// Throws std::runtime_error when the table cannot be read.
i18n::TranslationTable LoadStoredTranslationTable();
