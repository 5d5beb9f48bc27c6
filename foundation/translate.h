#pragma once
// Translation of the program's English texts through the language file: an
// INI file whose section "Messages" maps the upper-case hexadecimal MD5 of
// an English text (its ANSI bytes) to the translated text.
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kv {

namespace ui {
class TComponent;
}

class TLanguage {
 public:
  // Builds the table from the section's "key=value" lines; lines without "=" are ignored.
  TLanguage(std::string languageFile, const std::vector<std::string>& sectionLines);
  // Reads section "Messages" of the language file (Windows build only); a
  // missing, empty or unreadable file gives an empty table.
  explicit TLanguage(const std::string& languageFile);

  const std::string& LanguageFile() const { return languageFile_; }
  // The value stored under the key (letter case ignored), or empty.
  std::string TranslateUserMessage(std::string_view key) const;
  size_t Count() const { return table_.size(); }
  // Translates the chosen texts (TTranslatedProperty bits) of 1 to 100
  // characters of the component and of every component it owns, recursively
  // (owned components last to first). Defined with the components.
  void TranslateComponent(ui::TComponent& component, unsigned properties) const;

 private:
  std::string languageFile_;
  std::vector<std::pair<std::string, std::string>> table_;  // sorted by upper-cased key
};

// The process-wide language table: null until the settings store creates it.
TLanguage* Language();
void SetLanguage(std::unique_ptr<TLanguage> language);

// The translated text with "$1", "$2", ... filled from the CR LF lines of params.
std::string Translate(std::string_view text, std::string_view params = {});
// Fills the placeholders of text from the lines of params, in one left-to-right pass.
void ReplaceParams(std::string& text, std::string_view params);

}  // namespace kv
