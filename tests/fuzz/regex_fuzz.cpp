// Fuzz target for the regular expressions. Input: one byte whose low six bits
// are the modifiers, the expression up to the first NUL, then the subject
// (at most 64 bytes, NULs included).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/regex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto* text = reinterpret_cast<const char*>(data + 1);
  const size_t rest = size - 1;
  const void* nul = std::memchr(text, 0, rest);
  const size_t patternLen = nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : rest;
  const std::string pattern(text, patternLen);
  std::string subject;
  if (patternLen < rest) subject.assign(text + patternLen + 1, std::min<size_t>(rest - patternLen - 1, 64));

  kv::TRegex re;
  re.SetStepLimit(200000);  // exponential backtracking must end in an error, not a hang
  re.SetModifierBits(data[0] & 63);
  re.SetExpression(pattern);
  try {
    if (re.Exec(subject)) {
      for (int i = 0; i <= kv::TRegex::kSubExpressions; ++i) {
        const std::string m = re.GetMatch(i);
        if (re.MatchPos(i) > 0 && m.size() != static_cast<size_t>(re.MatchLen(i))) __builtin_trap();
      }
    }
    re.ExecPrim(2);
    re.SetModifier(1, !re.Modifier(1));
    re.Exec(subject);
  } catch (const kv::ERegexError&) {
  }
  return 0;
}
