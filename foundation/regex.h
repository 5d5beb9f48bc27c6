#pragma once
// TRegex: a backtracking regular-expression engine over single-byte (ANSI)
// text. The expression is compiled into a node program in two passes (measure,
// then emit) and interpreted by a recursive matcher. The file-name templates
// are its main user; they are data, so the whole dialect must work.
//
// Dialect notes that differ from other engines:
//  - "{" that does not open a well-formed repeat ("{n}", "{n,}", "{n,m}") is
//    an ordinary character; a well-formed one with nothing before it is 115.
//  - Inline modifiers "(?i-s)" hold from that point to the end of the
//    expression, not to the end of the enclosing group.
//  - Inside a set only \d, \s and \w are classes; other escaped letters are
//    the letters themselves.
//  - An unanchored expression is tried at each position before the end of
//    the input, never at the end itself, so "a*" finds nothing in "".
#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// Upper- and lower-case forms of every byte of the ANSI code page.
struct RegexCaseTables {
  std::array<uint8_t, 256> upper;
  std::array<uint8_t, 256> lower;
};

// The Windows-1252 tables, built in.
const RegexCaseTables& Cp1252RegexCaseTables();
// The tables new TRegex objects use; Windows-1252 until replaced.
const RegexCaseTables& CurrentRegexCaseTables();
// Replaces the process-wide tables (start-up, before other threads run). The
// object must outlive every TRegex that uses it.
void SetRegexCaseTables(const RegexCaseTables& tables);
// Windows build only: fills the tables once from CharUpperA/CharLowerA and
// makes them current.
void UseSystemRegexCaseTables();

// The error codes of compiling and running an expression (ERegexError's
// ErrorNumber, LastErrorCode). Codes below 1000 are the compiler's.
enum class RegexErrorCode : int {
  kNone = 0,
  kNullArgument = 100,
  kTooBig = 101,
  kTooManyGroups = 102,
  kUnmatchedOpen = 103,
  kUnmatchedClose = 104,
  kJunkOnEnd = 105,
  kEmptyOperand = 106,
  kNestedRepeat = 107,
  kBadHexDigit = 108,
  kInvalidRange = 109,
  kTrailingBackslashInAtom = 110,
  kNoHexCode = 111,
  kHexCodeTooBig = 112,
  kUnmatchedBracket = 113,
  kInternalUrp = 114,
  kRepeatFollowsNothing = 115,
  kTrailingBackslash = 116,
  kAtomInternalDisaster = 119,
  kBraceArgumentTooBig = 122,
  kBraceMinAboveMax = 124,
  kUnclosedComment = 125,
  kUnknownModifier = 127,
  kBadPairedSeparator = 128,
  kRepeatCalledInappropriately = 1000,
  kMemoryCorruption = 1001,
  kCorruptedPointers = 1002,
  kNoExpression = 1003,
  kCorruptedProgram = 1004,
  kNoInput = 1005,
  kOffsetBelowOne = 1006,
  kExecNextWithoutExec = 1007,
  kInputWithoutString = 1008,
  kCorruptedOpcode = 1011,
  kBadModifierIndex = 1013,  // raised by SetModifier; its message is "Unknown error"
  kLoopStackExceeded = 1014,
  kLoopWithoutEntry = 1015,
  kRecursionTooDeep = 1016,  // input too hard for a backtracking matcher: reported
  kStepLimit = 1017,  // instead of overflowing the stack or hanging
};

class ERegexError : public std::runtime_error {
 public:
  ERegexError(RegexErrorCode errorNumber, int compilerErrorPos, const std::string& message)
      : std::runtime_error(message), ErrorNumber(errorNumber), CompilerErrorPos(compilerErrorPos) {}
  RegexErrorCode ErrorNumber;
  int CompilerErrorPos;  // 1-based position in the expression; 0 for run-time errors
};

class TRegex {
 public:
  static constexpr int kSubExpressions = 15;  // 0 = the whole match
  // Modifier bits.
  static constexpr uint32_t kModI = 1, kModR = 2, kModS = 4, kModG = 8, kModM = 16, kModX = 32;

  TRegex();
  TRegex(TRegex&&) noexcept = default;
  TRegex& operator=(TRegex&&) noexcept = default;

  const std::string& Expression() const { return expression_; }
  // A different text invalidates the program.
  void SetExpression(std::string_view expression);

  uint32_t ModifierBits() const { return modifiers_; }
  void SetModifierBits(uint32_t bits);
  // index 1..6 = i, r, s, g, m, x; any other index raises kBadModifierIndex.
  void SetModifier(int index, bool on);
  bool Modifier(int index) const;
  // Letters i r s g m x (either case) switch bits on, after "-" off; false
  // for any other character (bits are then left partly changed).
  static bool ParseModifiersStr(std::string_view text, uint32_t& bits);

  const std::string& SpaceCharacters() const { return spaceChars_; }
  void SetSpaceCharacters(std::string_view chars);
  const std::string& WordCharacters() const { return wordChars_; }
  void SetWordCharacters(std::string_view chars);
  const std::string& LineBreakChars() const { return lineBreaks_; }
  void SetLineBreakChars(std::string_view chars);
  const std::string& LinePairedSeparator() const { return pairedSeparator_; }
  // Two different characters or none, else kBadPairedSeparator.
  void SetLinePairedSeparator(std::string_view chars);
  // Case tables used with the i modifier (default: the current process-wide ones).
  void SetCaseTables(const RegexCaseTables& tables);
  // Upper-case form when it differs, else the lower-case form.
  uint8_t InvertCase(uint8_t c) const;
  // The case flip used with the i modifier, asked once for each of the 256
  // characters when it is set; an empty function restores InvertCaseFunction.
  using TCaseFlip = std::function<uint8_t(uint8_t)>;
  void SetCaseFlip(TCaseFlip flip);
  const TCaseFlip& CaseFlip() const { return caseFlip_; }
  // The default flip, by the current process-wide case tables (the system
  // locale's once the foundation has initialised).
  static uint8_t InvertCaseFunction(uint8_t c);

  // Backtracking budget per run; exceeding it raises kStepLimit.
  void SetStepLimit(uint64_t steps) { stepLimit_ = steps; }

  void Compile();
  bool Exec(std::string_view input);
  bool ExecPrim(int offset);  // from 1

  // Sub-match text; empty for an index out of range, no input, or a
  // sub-expression that took no part.
  std::string GetMatch(int index) const;
  // 1-based position and length of a sub-match; -1 when there is none.
  int MatchPos(int index) const;
  int MatchLen(int index) const;

  RegexErrorCode LastErrorCode() const { return lastError_; }
  // The position of the last error raised (1-based; 0 for run-time errors).
  int CompilerErrorPos() const { return lastErrorPos_; }
  // The message of a code; "Unknown error" for a number without one.
  static std::string ErrorMsg(int code);
  static std::string ErrorMsg(RegexErrorCode code) { return ErrorMsg(static_cast<int>(code)); }

 private:
  friend class RegexMatcher;
  [[noreturn]] void Fail(RegexErrorCode code, int pos = 0);
  void CompileProgram();
  void Invalidate() { program_.clear(); }

  std::string expression_;
  uint32_t modifiers_;
  std::string spaceChars_;
  std::string wordChars_;
  std::string lineBreaks_;
  std::string pairedSeparator_;
  const RegexCaseTables* caseTables_;
  std::array<uint8_t, 256> flip_{};  // InvertCase of every byte
  TCaseFlip caseFlip_;
  uint64_t stepLimit_;

  // Compiled program and what the compiler learnt about it.
  std::vector<uint8_t> program_;
  std::array<uint8_t, 32> firstSet_{};
  int firstChar_ = -1;
  bool anchored_ = false;
  std::string requiredLiteral_;

  // The last run.
  std::string input_;
  bool hasInput_ = false;
  std::array<int, kSubExpressions> startp_{};
  std::array<int, kSubExpressions> endp_{};
  RegexErrorCode lastError_ = RegexErrorCode::kNone;
  int lastErrorPos_ = 0;
};

}  // namespace kv
