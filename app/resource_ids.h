// Names of the program's own RCDATA resources (app.rc and the build write the same names).
#pragma once

constexpr wchar_t kWindowDescriptionResource[] = L"WINDOW_UI";
constexpr wchar_t kTranslationTableResource[] = L"TRANSLATIONS";
