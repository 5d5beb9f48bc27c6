#include "foundation/log.h"

namespace kv {
namespace {

std::string& Text() {
  static std::string text;  // the process-wide log
  return text;
}

}  // namespace

void AddToLog(std::string_view message) {
  Text().append(message);
  Text().append("\r\n");
}

const std::string& LogText() { return Text(); }
void ClearLog() { Text().clear(); }

}  // namespace kv
