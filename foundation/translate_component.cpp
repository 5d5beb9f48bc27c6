#include "foundation/translate_component.h"

#include "foundation/translate.h"

namespace kv {

namespace {
constexpr size_t kMaxTranslatedLength = 100;
constexpr int kMaxOwnerDepth = 64;

void TranslateTree(ui::TComponent& component, int depth) {
  for (const char* property : {"Caption", "Title", "Hint"}) {
    std::string text;
    if (!component.GetTextProperty(property, text)) continue;
    if (text.empty() || text.size() > kMaxTranslatedLength) continue;
    std::string translated = Translate(text, "");
    if (translated != text) component.SetTextProperty(property, translated);
  }
  if (depth >= kMaxOwnerDepth) return;
  for (size_t i = 0; i < component.ComponentCount(); ++i)
    TranslateTree(*component.Components(i), depth + 1);
}
}  // namespace

void TranslateComponent(ui::TComponent& component) { TranslateTree(component, 0); }

}  // namespace kv
