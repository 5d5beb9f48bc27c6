#include "wizard/stored_paths.h"

#include "base/ansi_text.h"

namespace kv {

std::string StoredPathText(std::u16string_view path) {
  std::string ansi = WideToAnsi(path);
  if (AnsiToWide(ansi) == path) return ansi;
  return std::string(kUtf8Mark) + WideToUtf8(path);
}

bool IsUtf8StoredPath(std::string_view text) { return text.starts_with(kUtf8Mark); }

std::u16string StoredPathValue(std::string_view text) {
  if (IsUtf8StoredPath(text)) return Utf8ToWide(text.substr(kUtf8Mark.size()));
  return AnsiToWide(text);
}

}  // namespace kv
