// The regular expressions' case tables from the system's ANSI code page.
#include <windows.h>

#include "foundation/regex.h"

namespace kv {
namespace {

RegexCaseTables SystemTables() {
  RegexCaseTables t;
  for (size_t c = 0; c < 256; ++c) {
    // CharUpperA/CharLowerA treat a pointer below 0x10000 as one character
    // in its low word and return the converted character the same way.
    const auto ch = static_cast<unsigned char>(c);
    t.upper[c] = static_cast<uint8_t>(reinterpret_cast<uintptr_t>(CharUpperA(reinterpret_cast<LPSTR>(uintptr_t{ch}))));
    t.lower[c] = static_cast<uint8_t>(reinterpret_cast<uintptr_t>(CharLowerA(reinterpret_cast<LPSTR>(uintptr_t{ch}))));
  }
  t.upper[0] = t.lower[0] = 0;  // a null pointer is not a character
  return t;
}

}  // namespace

void UseSystemRegexCaseTables() {
  static const RegexCaseTables tables = SystemTables();
  SetRegexCaseTables(tables);
}

}  // namespace kv
