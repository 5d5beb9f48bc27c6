#include "diagnostics/exception_log.h"

#include <algorithm>

namespace kv {

std::string ExceptionLogStamp(int width, bool fileWasEmpty, const std::string& dateTime) {
  if (width == 0) width = 100;
  width = std::max(width, 20);
  const auto w = static_cast<size_t>(width);
  std::string stamp = fileWasEmpty ? "" : "\r\n";
  stamp += std::string(w, '=') + "\r\n";
  std::string middle = dateTime;
  if (middle.size() < w - 4) middle.resize(w - 4, ' ');
  stamp += "= " + middle + " =\r\n";
  stamp += std::string(w, '=') + "\r\n";
  return stamp;
}

std::string ExceptionLogLines(const std::string& text, int indent) {
  const std::string blanks(static_cast<size_t>(std::max(indent, 0)), ' ');
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    line.erase(line.find_last_not_of(" \t") + 1);
    out += blanks + line + "\r\n";
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return out;
}

}  // namespace kv
