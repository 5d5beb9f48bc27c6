#pragma once
// The regular-expression compiler (internal to TRegex).
#include <string>
#include <string_view>
#include <vector>

#include "foundation/regex.h"
#include "foundation/regex_program.h"

namespace kv::regex_detail {

// A compile error: its code and the 1-based position in the expression.
struct CompileError {
  RegexErrorCode code;
  int pos;
};

// What the compiler learnt about where a match can start.
struct ProgramFacts {
  ByteSet firstSet{};   // characters at which a match can start
  int firstChar = -1;   // every match starts with this character (exact run first)
  bool anchored = false;  // every match starts at the start of the input
  std::string requiredLiteral;  // every match contains this text
};

// The modifier bit of a letter (either case), 0 for any other character.
uint32_t ModifierBit(char c);

// Compiles `expr` under `modifiers`; `flip` maps each byte to its other case.
// Throws CompileError.
std::vector<uint8_t> CompileProgram(std::string_view expr, uint32_t modifiers, const ClassSets& sets,
                                    const uint8_t* flip);

ProgramFacts Analyse(const std::vector<uint8_t>& code, const ClassSets& sets, const uint8_t* flip);

}  // namespace kv::regex_detail
