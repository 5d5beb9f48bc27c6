#include "foundation/translate_component.h"

#include <utility>

#include "foundation/translate.h"

namespace kv {

namespace {
constexpr size_t kMaxTranslatedLength = 100;
constexpr int kMaxOwnerDepth = 64;

// In descending alphabetical order, as the texts are visited.
constexpr std::pair<TTranslatedProperty, const char*> kProperties[] = {
    {tpTitle, "Title"}, {tpText, "Text"}, {tpHint, "Hint"}, {tpCaption, "Caption"}};

void TranslateTree(ui::TComponent& component, unsigned properties, int depth) {
  bool textDone = false;  // a control's Caption and Text are one text: translated once
  for (const auto& [bit, property] : kProperties) {
    if (!(properties & bit)) continue;
    const bool isText = bit == tpText || bit == tpCaption;
    if (isText && textDone) continue;
    std::string text;
    if (!component.GetTextProperty(property, text)) continue;
    textDone = textDone || isText;
    if (text.empty() || text.size() > kMaxTranslatedLength) continue;
    std::string translated = Translate(text, "");
    if (translated != text) component.SetTextProperty(property, translated);
  }
  if (depth >= kMaxOwnerDepth) return;
  for (size_t i = component.ComponentCount(); i-- > 0;) TranslateTree(*component.Components(i), properties, depth + 1);
}
}  // namespace

void TranslateComponent(ui::TComponent& component, unsigned properties) { TranslateTree(component, properties, 0); }

void TranslateComponent(ui::TComponent& component) { TranslateComponent(component, tpCaption | tpTitle | tpHint); }

}  // namespace kv
