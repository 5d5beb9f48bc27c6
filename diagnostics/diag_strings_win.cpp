#include "diagnostics/diag_strings_win.h"

#include <windows.h>

namespace kv {
namespace {

TDiagCharTables MakeCharTables() {
  TDiagCharTables t;
  char all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
  WORD types[256] = {};
  // Byte 0 ends nothing here: the lengths are given.
  if (GetStringTypeExA(LOCALE_USER_DEFAULT, CT_CTYPE1, all, 256, types))
    for (int i = 0; i < 256; ++i) t.types[static_cast<size_t>(i)] = types[i];
  for (int i = 0; i < 256; ++i) t.lower[static_cast<size_t>(i)] = t.upper[static_cast<size_t>(i)] = all[i];
  CharLowerBuffA(t.lower.data(), 256);
  CharUpperBuffA(t.upper.data(), 256);
  for (size_t i = 0; i < 256; ++i) {
    const bool isUpper = (t.types[i] & C1_UPPER) != 0, isLower = (t.types[i] & C1_LOWER) != 0;
    t.swapped[i] = isUpper ? t.lower[i] : isLower ? t.upper[i] : static_cast<char>(i);
  }
  return t;
}

// Process-wide by design: the locale's tables, made at module initialisation.
const TDiagCharTables gCharTables = MakeCharTables();

}  // namespace

const TDiagCharTables& DiagCharTables() { return gCharTables; }

}  // namespace kv
