#include "foundation/translate.h"

#include <algorithm>

#include "base/strings.h"
#include "foundation/md5.h"

namespace kv {
namespace {

std::unique_ptr<TLanguage>& Current() {
  static std::unique_ptr<TLanguage> language;  // process-wide, freed at finalisation
  return language;
}

// Splits at CR LF; stops when both the current line and the rest are
// empty, so an empty middle line counts and a final CR LF adds none.
std::vector<std::string> ParamLines(std::string_view params) {
  std::vector<std::string> lines;
  std::string rest(params), line, next;
  while (true) {
    SeparFirst(rest, "\r\n", line, next);
    if (line.empty() && next.empty()) break;
    lines.push_back(line);
    rest = next;
  }
  return lines;
}

}  // namespace

TLanguage::TLanguage(std::string languageFile, const std::vector<std::string>& sectionLines)
    : languageFile_(std::move(languageFile)) {
  for (const std::string& line : sectionLines) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    table_.emplace_back(AsciiUpper(TrimSymbol(line.substr(0, eq), ' ')), line.substr(eq + 1));
  }
  std::stable_sort(table_.begin(), table_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
}

std::string TLanguage::TranslateUserMessage(std::string_view key) const {
  const std::string k = AsciiUpper(key);
  auto it = std::lower_bound(table_.begin(), table_.end(), k,
                             [](const auto& entry, const std::string& want) { return entry.first < want; });
  return it != table_.end() && it->first == k ? it->second : std::string();
}

TLanguage* Language() { return Current().get(); }
void SetLanguage(std::unique_ptr<TLanguage> language) { Current() = std::move(language); }

void ReplaceParams(std::string& text, std::string_view params) {
  if (params.empty()) return;
  const std::vector<std::string> lines = ParamLines(params);
  if (lines.empty()) return;
  // One pass: inserted parameter texts are never scanned again, so a value
  // holding "$2" stays as it is. "$" followed by digits takes the longest
  // digit prefix that names an existing parameter ("$10" is the tenth line
  // when there are ten, else the first line followed by "0"). Parameters are
  // counted from 1 and written without leading zeros, so "$0" and "$01"
  // name none.
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '$' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      size_t end = i + 1;
      while (end < text.size() && text[end] >= '0' && text[end] <= '9' && end - i <= 9) ++end;
      bool replaced = false;
      for (size_t len = end - i - 1; len >= 1 && !replaced; --len) {
        const size_t n = std::stoul(text.substr(i + 1, len));
        if (n >= 1 && n <= lines.size()) {
          out += lines[n - 1];
          i += 1 + len;
          replaced = true;
        }
      }
      if (replaced) continue;
    }
    out.push_back(text[i]);
    ++i;
  }
  text = std::move(out);
}

std::string Translate(std::string_view text, std::string_view params) {
  std::string result(text);
  if (const TLanguage* language = Language()) {
    std::string translated = language->TranslateUserMessage(ToHex(GetMD5(text)));
    if (!translated.empty()) result = std::move(translated);
  }
  ReplaceParams(result, params);
  return result;
}

}  // namespace kv
