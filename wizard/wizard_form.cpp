#include "wizard_form.h"

WizardForm* Form1 = nullptr;

WizardForm::WizardForm(std::unique_ptr<ui::Scene> scene, i18n::TranslationTable table)
    : scene_(std::move(scene)),
      languages_(std::move(table), [this] {
        scene_->TranslateTexts(
            [this](const std::wstring& english) { return languages_.Translate(english); });
      }) {}

WizardForm::~WizardForm() = default;

void WizardForm::TranslateAtLoad(const std::wstring& language_name) {
  languages_.SelectAtLoad(language_name);
}

void WizardForm::AddDriveItem(const wchar_t* root) {
  auto* list = scene_->FindAs<ui::DropDown>("ComboBox1");
  if (!list) return;
  const std::wstring text(root);
  list->AddItem(text.size() >= 2 && text[1] == L':' ? text.substr(0, 1) : text);
}

std::wstring WizardForm::LookupTranslation(const wchar_t* key) {
  return lookup_.Lookup(languages_, UserLCID, key);
}

void ShowControl(std::string_view name, bool shown) {
  if (ui::Control* control = Form1->Control(name)) {
    control->SetVisible(shown);
    control->SetEnabled(shown);
  }
}

void SetControlVisible(std::string_view name, bool visible) {
  if (ui::Control* control = Form1->Control(name)) control->SetVisible(visible);
}

void SetControlText(std::string_view name, const std::wstring& text) {
  if (ui::Control* control = Form1->Control(name)) control->SetText(text);
}
