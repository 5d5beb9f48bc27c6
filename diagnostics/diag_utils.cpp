#include "diagnostics/diag_utils.h"

namespace kv {

namespace {

// Index just after the last "\" or ":" (0 when there is none).
size_t FileNameStart(std::string_view path) {
  const size_t at = path.find_last_of("\\:");
  return at == std::string_view::npos ? 0 : at + 1;
}

}  // namespace

std::string PathAddSeparator(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != '\\') result += '\\';
  return result;
}

std::string PathExtractFileDirFixed(std::string_view path) {
  // The folder part keeps its closing "\" (or ":"), so only a bare name gains one.
  return PathAddSeparator(path.substr(0, FileNameStart(path)));
}

std::string PathRemoveExtension(std::string_view path) {
  const size_t at = path.find_last_of(".:\\");
  if (at != std::string_view::npos && path[at] == '.') return std::string(path.substr(0, at));
  return std::string(path);
}

std::string PathExtractFileName(std::string_view path) { return std::string(path.substr(FileNameStart(path))); }

std::string PathExtractFileNameNoExt(std::string_view path) {
  return PathRemoveExtension(path.substr(FileNameStart(path)));
}

std::string StrEnsureSuffix(std::string_view suffix, std::string_view text) {
  std::string result(text);
  if (!text.ends_with(suffix)) result += suffix;
  return result;
}

std::string StrRepeat(std::string_view text, int count) {
  std::string result;
  if (count <= 0) return result;
  result.reserve(text.size() * static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) result += text;
  return result;
}

void StrResetLength(std::string& text) {
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
}

}  // namespace kv
