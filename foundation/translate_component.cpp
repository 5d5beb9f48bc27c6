#include "foundation/translate_component.h"

#include <utility>

#include "foundation/translate.h"

namespace kv {

namespace {
constexpr size_t kMaxTranslatedLength = 100;

// In descending alphabetical order, as the texts are visited.
constexpr std::pair<TTranslatedProperty, const char*> kProperties[] = {
    {tpTitle, "Title"}, {tpText, "Text"}, {tpHint, "Hint"}, {tpCaption, "Caption"}};

void TranslateTree(ui::TComponent& component, unsigned properties) {
  for (const auto& [bit, property] : kProperties) {
    if (!(properties & bit)) continue;
    std::string text;
    if (!component.GetTextProperty(property, text)) continue;
    if (text.empty() || text.size() > kMaxTranslatedLength) continue;
    component.SetTextProperty(property, Translate(text, ""));
  }
  for (size_t i = component.ComponentCount(); i-- > 0;) TranslateTree(*component.Components(i), properties);
}
}  // namespace

void TLanguage::TranslateComponent(ui::TComponent& component, unsigned properties) const {
  TranslateTree(component, properties);
}

void TranslateComponent(ui::TComponent& component) {
  if (const TLanguage* language = Language()) language->TranslateComponent(component, tpCaption | tpTitle | tpHint);
}

}  // namespace kv
