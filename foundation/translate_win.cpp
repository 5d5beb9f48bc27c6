#include "foundation/translate.h"

#include <windows.h>

#include <vector>

namespace kv {

namespace {

std::vector<std::string> MessageLines(const std::string& languageFile) {
  // The section comes back as NUL-separated lines; a result of size - 2 means
  // the buffer was too small.
  constexpr DWORD kMaxSection = 64u << 20;
  std::vector<char> buffer(1 << 16);
  DWORD n = 0;
  while (true) {
    n = GetPrivateProfileSectionA("Messages", buffer.data(), static_cast<DWORD>(buffer.size()), languageFile.c_str());
    if (n + 2 < buffer.size() || buffer.size() >= kMaxSection) break;
    buffer.resize(buffer.size() * 2);
  }
  std::vector<std::string> lines;
  for (size_t i = 0; i < n;) {
    const std::string line(buffer.data() + i);
    i += line.size() + 1;
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

TLanguage::TLanguage(const std::string& languageFile) : TLanguage(languageFile, MessageLines(languageFile)) {}

}  // namespace kv
