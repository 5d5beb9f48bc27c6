#include "foundation/regex.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "base/scope_guard.h"
#include "foundation/regex_compile.h"

namespace kv {

using namespace regex_detail;

namespace {

// Nesting of the matcher's recursion; each level costs one small frame, so
// this stays well inside the 1 MiB that a thread may have.
constexpr int kMaxRecursion = 3000;
constexpr uint64_t kDefaultStepLimit = 20'000'000;

RegexCaseTables MakeCp1252Tables() {
  RegexCaseTables t;
  for (int c = 0; c < 256; ++c) {
    t.upper[static_cast<size_t>(c)] = static_cast<uint8_t>(c);
    t.lower[static_cast<size_t>(c)] = static_cast<uint8_t>(c);
  }
  auto pair = [&](int up, int low) {
    t.upper[static_cast<size_t>(low)] = static_cast<uint8_t>(up);
    t.lower[static_cast<size_t>(up)] = static_cast<uint8_t>(low);
  };
  for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
  for (int c = 0xC0; c <= 0xDE; ++c) {
    if (c != 0xD7) pair(c, c + 32);  // not the multiplication and division signs
  }
  pair(0x8A, 0x9A);  // S caron
  pair(0x8C, 0x9C);  // OE
  pair(0x8E, 0x9E);  // Z caron
  pair(0x9F, 0xFF);  // Y diaeresis
  return t;
}

std::atomic<const RegexCaseTables*> gCaseTables{nullptr};

ClassSets MakeClassSets(const std::string& word, const std::string& space, const std::string& lineBreaks) {
  ClassSets sets;
  for (const char* d = "0123456789"; *d; ++d) AddToSet(sets.digit, static_cast<uint8_t>(*d));
  for (char c : word) AddToSet(sets.word, static_cast<uint8_t>(c));
  for (char c : space) AddToSet(sets.space, static_cast<uint8_t>(c));
  for (char c : lineBreaks) AddToSet(sets.lineBreak, static_cast<uint8_t>(c));
  return sets;
}

const char* ErrorText(int code) {
  using enum RegexErrorCode;
  switch (static_cast<RegexErrorCode>(code)) {
    case kNone: return "No errors";
    case kNullArgument: return "TRegex(comp): Null Argument";
    case kTooBig: return "TRegex(comp): Regexp Too Big";
    case kTooManyGroups: return "TRegex(comp): ParseReg Too Many ()";
    case kUnmatchedOpen: case kUnmatchedClose: return "TRegex(comp): ParseReg Unmatched ()";
    case kJunkOnEnd: return "TRegex(comp): ParseReg Junk On End";
    case kEmptyOperand: return "TRegex(comp): *+ Operand Could Be Empty";
    case kNestedRepeat: return "TRegex(comp): Nested *?+";
    case kBadHexDigit: return "TRegex(comp): Bad Hex Digit";
    case kInvalidRange: return "TRegex(comp): Invalid [] Range";
    case kTrailingBackslashInAtom: return "TRegex(comp): Parse Atom Trailing \\";
    case kNoHexCode: return "TRegex(comp): No Hex Code After \\x";
    case kHexCodeTooBig: return "TRegex(comp): Hex Code After \\x Is Too Big";
    case kUnmatchedBracket: return "TRegex(comp): Unmatched []";
    case kInternalUrp: return "TRegex(comp): Internal Urp";
    case kRepeatFollowsNothing: return "TRegex(comp): ?+*{ Follows Nothing";
    case kTrailingBackslash: return "TRegex(comp): Trailing \\";
    case kAtomInternalDisaster: return "TRegex(comp): RarseAtom Internal Disaster";
    case kBraceArgumentTooBig: return "TRegex(comp): BRACES Argument Too Big";
    case kBraceMinAboveMax: return "TRegex(comp): BRACE Min Param Greater then Max";
    case kUnclosedComment: return "TRegex(comp): Unclosed (?#Comment)";
    case kUnknownModifier: return "TRegex(comp): Urecognized Modifier";
    case kBadPairedSeparator: return "TRegex(comp): LinePairedSeparator must countain two different chars or no chars at all";
    case kRepeatCalledInappropriately: return "TRegex(exec): RegRepeat Called Inappropriately";
    case kMemoryCorruption: return "TRegex(exec): MatchPrim Memory Corruption";
    case kCorruptedPointers: return "TRegex(exec): MatchPrim Corrupted Pointers";
    case kNoExpression: return "TRegex(exec): Not Assigned Expression Property";
    case kCorruptedProgram: return "TRegex(exec): Corrupted Program";
    case kNoInput: return "TRegex(exec): No Inpit String Specified";
    case kOffsetBelowOne: return "TRegex(exec): Offset Must Be Greater Then 0";
    case kExecNextWithoutExec: return "TRegex(exec): ExecNext Without Exec[Pos]";
    case kInputWithoutString: return "TRegex(exec): GetInputString Without InputString";
    case kCorruptedOpcode: return "TRegex(dump): Corrupted Opcode";
    case kLoopStackExceeded: return "TRegex(exec): Loop Stack Exceeded";
    case kLoopWithoutEntry: return "TRegex(exec): Loop Without LoopEntry !";
    case kRecursionTooDeep: return "TRegex(exec): Match Recursion Too Deep";
    case kStepLimit: return "TRegex(exec): Match Step Limit Exceeded";
    default: return "Unknown error";
  }
}

}  // namespace

const RegexCaseTables& Cp1252RegexCaseTables() {
  static const RegexCaseTables tables = MakeCp1252Tables();
  return tables;
}

const RegexCaseTables& CurrentRegexCaseTables() {
  const RegexCaseTables* t = gCaseTables.load(std::memory_order_acquire);
  return t ? *t : Cp1252RegexCaseTables();
}

void SetRegexCaseTables(const RegexCaseTables& tables) { gCaseTables.store(&tables, std::memory_order_release); }

// ------------------------------------------------------------- matcher --
// One run of the program against the input. Sub-match positions live in the
// TRegex (0-based here, -1 for none); the loop stack and the counters here.
class RegexMatcher {
 public:
  RegexMatcher(TRegex& re, const ClassSets& sets, size_t end)
      : re_(re), prog_{re.program_.data(), re.program_.size()}, sets_(sets),
        in_(reinterpret_cast<const uint8_t*>(re.input_.data())), end_(end) {
    if (re.pairedSeparator_.size() == 2) {
      pairFirst_ = static_cast<uint8_t>(re.pairedSeparator_[0]);
      pairSecond_ = static_cast<uint8_t>(re.pairedSeparator_[1]);
      paired_ = true;
    }
  }

  bool Run(size_t pos) {
    loopTop_ = 0;
    depth_ = 0;
    return Match(1, pos);
  }
  size_t MatchEnd() const { return matchEnd_; }

 private:
  struct Frame {
    size_t entry;      // the loop's kLoopEntry node
    uint32_t count;    // iterations completed
    size_t iterStart;  // where the current iteration began
  };

  bool IsLineBreak(uint8_t c) const { return InSet(sets_.lineBreak.data(), c); }
  bool AtLineStart(size_t pos) const {
    if (pos == 0) return true;
    if (!IsLineBreak(in_[pos - 1])) return false;
    // Not between the two characters of a paired separator.
    return !(paired_ && in_[pos - 1] == pairFirst_ && pos < end_ && in_[pos] == pairSecond_);
  }
  bool AtLineEnd(size_t pos) const {
    if (pos == end_) return true;
    if (!IsLineBreak(in_[pos])) return false;
    return !(paired_ && in_[pos] == pairSecond_ && pos > 0 && in_[pos - 1] == pairFirst_);
  }

  // Either character may be the other's other case (the tables need not be symmetric).
  bool SameIgnoringCase(uint8_t a, uint8_t b) const { return a == b || re_.flip_[a] == b || re_.flip_[b] == a; }

  // Does the single-character node `n` accept `c`?
  bool Accepts(size_t n, uint8_t c) const {
    const uint8_t* op = prog_.Operand(n);
    switch (prog_.OpAt(n)) {
      case kAny: return true;
      case kAnyMl: return !IsLineBreak(c);
      case kDigit: return InSet(sets_.digit.data(), c);
      case kNotDigit: return !InSet(sets_.digit.data(), c);
      case kWord: return InSet(sets_.word.data(), c);
      case kNotWord: return !InSet(sets_.word.data(), c);
      case kSpace: return InSet(sets_.space.data(), c);
      case kNotSpace: return !InSet(sets_.space.data(), c);
      case kAnyOf: return InSet(op, c);
      case kExactly: return c == op[1];
      case kExactlyCi: return SameIgnoringCase(c, op[1]);
      default: re_.Fail(RegexErrorCode::kRepeatCalledInappropriately);
    }
  }

  // How many characters from `pos` the single-character node `n` accepts, up to `max`.
  size_t CountAccepted(size_t n, size_t pos, size_t max) const {
    const size_t limit = std::min(end_ - pos, max);
    if (prog_.OpAt(n) == kAny) return limit;
    size_t k = 0;
    while (k < limit && Accepts(n, in_[pos + k])) ++k;
    return k;
  }

  void Step() {
    if (++steps_ > re_.stepLimit_) re_.Fail(RegexErrorCode::kStepLimit);
  }

  bool SimpleRepeat(size_t n, size_t pos) {
    const Op op = prog_.OpAt(n);
    size_t operand = prog_.OperandNode(n);
    size_t min = 0, max = SIZE_MAX;
    if (op == kPlus || op == kPlusNg) min = 1;
    if (op == kBraces || op == kBracesNg) {
      min = ReadU32(prog_.Operand(n));
      const uint32_t m = ReadU32(prog_.Operand(n) + 4);
      max = m == kInfinite ? SIZE_MAX : m;
      operand += 8;
    }
    const size_t next = prog_.Next(n);
    // A literal next lets us skip counts that cannot be followed by it.
    const int nextChar = (next != 0 && prog_.OpAt(next) == kExactly) ? prog_.Operand(next)[1] : -1;
    auto tryNext = [&](size_t at) {
      if (nextChar >= 0 && (at >= end_ || in_[at] != nextChar)) return false;
      return Match(next, at);
    };
    if (op == kStar || op == kPlus || op == kBraces) {
      size_t count = CountAccepted(operand, pos, max);
      if (count < min) return false;
      for (;; --count) {
        Step();
        if (tryNext(pos + count)) return true;
        if (count == min) return false;
      }
    }
    size_t count = CountAccepted(operand, pos, min);
    if (count < min) return false;
    for (;;) {
      Step();
      if (tryNext(pos + count)) return true;
      if (count >= max || pos + count >= end_ || !Accepts(operand, in_[pos + count])) return false;
      ++count;
    }
  }

  // At a loop's kLoop node: decide between another iteration and leaving.
  bool LoopStep(size_t loop, size_t pos, bool afterIteration) {
    const uint8_t* op = prog_.Operand(loop);
    const uint32_t min = ReadU32(op), max = ReadU32(op + 4);
    const size_t entry = loop - ReadU32(op + 8);
    if (loopTop_ == 0 || loops_[loopTop_ - 1].entry != entry) re_.Fail(RegexErrorCode::kLoopWithoutEntry);
    Frame& f = loops_[loopTop_ - 1];
    const Frame saved = f;
    bool empty = false;
    if (afterIteration) {
      ++f.count;
      // An iteration that consumed nothing would repeat for ever: it counts
      // as all the iterations still required, and no further one starts.
      empty = pos == f.iterStart;
    }
    const bool mayRepeat = !empty && (max == kInfinite || f.count < max);
    const bool mayLeave = empty || f.count >= min;
    const bool greedy = prog_.OpAt(loop) == kLoop;
    auto iterate = [&] {
      if (!mayRepeat) return false;
      const Frame before = loops_[loopTop_ - 1];
      loops_[loopTop_ - 1].iterStart = pos;
      if (Match(prog_.Next(entry), pos)) return true;
      loops_[loopTop_ - 1] = before;
      return false;
    };
    auto leave = [&] {
      if (!mayLeave) return false;
      const Frame popped = loops_[--loopTop_];
      if (Match(prog_.Next(loop), pos)) return true;
      loops_[loopTop_++] = popped;
      return false;
    };
    const bool ok = greedy ? (iterate() || leave()) : (leave() || iterate());
    if (!ok) loops_[loopTop_ - 1] = saved;
    return ok;
  }

  bool Match(size_t n, size_t pos) {
    if (depth_ >= kMaxRecursion) re_.Fail(RegexErrorCode::kRecursionTooDeep);
    ++depth_;
    ScopeGuard ascend([this] { --depth_; });
    auto& startp = re_.startp_;
    auto& endp = re_.endp_;
    while (n != 0) {
      Step();
      if (n >= prog_.size) re_.Fail(RegexErrorCode::kCorruptedPointers);
      size_t next = prog_.Next(n);
      const uint8_t* op = prog_.Operand(n);
      switch (prog_.OpAt(n)) {
        case kEnd:
          matchEnd_ = pos;
          return true;
        case kBol: if (pos != 0) return false; break;
        case kEol: if (pos != end_) return false; break;
        case kBolMl: if (!AtLineStart(pos)) return false; break;
        case kEolMl: if (!AtLineEnd(pos)) return false; break;
        case kAny: case kAnyMl: case kDigit: case kNotDigit: case kWord: case kNotWord:
        case kSpace: case kNotSpace: case kAnyOf:
          if (pos >= end_ || !Accepts(n, in_[pos])) return false;
          ++pos;
          break;
        case kExactly: {
          const size_t len = op[0];
          if (end_ - pos < len || std::memcmp(in_ + pos, op + 1, len) != 0) return false;
          pos += len;
          break;
        }
        case kExactlyCi: {
          const size_t len = op[0];
          if (end_ - pos < len) return false;
          for (size_t i = 0; i < len; ++i) {
            if (!SameIgnoringCase(in_[pos + i], op[1 + i])) return false;
          }
          pos += len;
          break;
        }
        case kNothing:
          break;
        case kBranch:
          if (next == 0 || prog_.OpAt(next) != kBranch) {
            next = prog_.OperandNode(n);  // a single alternative: no choice to remember
            break;
          }
          for (size_t br = n; br != 0 && prog_.OpAt(br) == kBranch; br = prog_.Next(br)) {
            if (Match(prog_.OperandNode(br), pos)) return true;
          }
          return false;
        case kStar: case kStarNg: case kPlus: case kPlusNg: case kBraces: case kBracesNg:
          return SimpleRepeat(n, pos);
        case kOpen: case kClose: {
          auto& slot = prog_.OpAt(n) == kOpen ? startp : endp;
          const int old = slot[op[0]];
          slot[op[0]] = static_cast<int>(pos);
          if (Match(next, pos)) return true;
          slot[op[0]] = old;
          return false;
        }
        case kBackref: case kBackrefCi: {
          const int g = op[0];
          if (g >= TRegex::kSubExpressions || startp[g] < 0 || endp[g] < startp[g]) return false;
          const size_t from = static_cast<size_t>(startp[g]);
          const size_t len = static_cast<size_t>(endp[g]) - from;
          if (end_ - pos < len) return false;
          const bool ci = prog_.OpAt(n) == kBackrefCi;
          for (size_t i = 0; i < len; ++i) {
            const uint8_t a = in_[pos + i], b = in_[from + i];
            if (ci ? !SameIgnoringCase(a, b) : a != b) return false;
          }
          pos += len;
          break;
        }
        case kLoopEntry: {
          if (loopTop_ >= kMaxLoopNesting) re_.Fail(RegexErrorCode::kLoopStackExceeded);
          loops_[loopTop_++] = Frame{n, 0, pos};
          if (LoopStep(n + ReadU32(op), pos, false)) return true;
          --loopTop_;
          return false;
        }
        case kLoop: case kLoopNg:
          return LoopStep(n, pos, true);
        default:
          re_.Fail(RegexErrorCode::kMemoryCorruption);
      }
      n = next;
    }
    re_.Fail(RegexErrorCode::kCorruptedPointers);
  }

  TRegex& re_;
  Program prog_;
  const ClassSets& sets_;
  const uint8_t* in_;
  size_t end_;
  bool paired_ = false;
  uint8_t pairFirst_ = 0, pairSecond_ = 0;
  std::array<Frame, kMaxLoopNesting> loops_{};
  size_t loopTop_ = 0;
  int depth_ = 0;
  uint64_t steps_ = 0;
  size_t matchEnd_ = 0;
};

// ----------------------------------------------------------------- TRegex --
TRegex::TRegex()
    : modifiers_(kModR | kModS | kModG),
      spaceChars_(" \t\n\r\f"),
      wordChars_("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_"),
      lineBreaks_("\r\n"),
      pairedSeparator_("\r\n"),
      caseTables_(&CurrentRegexCaseTables()),
      stepLimit_(kDefaultStepLimit) {
  SetCaseFlip(nullptr);  // InvertCaseFunction
  startp_.fill(-1);
  endp_.fill(-1);
}

void TRegex::Fail(RegexErrorCode code, int pos) {
  lastError_ = code;
  lastErrorPos_ = pos;
  std::string message = ErrorMsg(code);
  if (static_cast<int>(code) < 1000) message += " (pos " + std::to_string(pos) + ")";
  throw ERegexError(code, pos, message);
}

std::string TRegex::ErrorMsg(int code) { return ErrorText(code); }

void TRegex::SetExpression(std::string_view expression) {
  if (expression == expression_ && !program_.empty()) return;
  expression_.assign(expression);
  Invalidate();
}

void TRegex::SetModifierBits(uint32_t bits) {
  bits &= 63;
  if (bits != modifiers_) Invalidate();
  modifiers_ = bits;
}

void TRegex::SetModifier(int index, bool on) {
  if (index < 1 || index > 6) Fail(RegexErrorCode::kBadModifierIndex);
  const uint32_t bit = 1u << (index - 1);
  SetModifierBits(on ? (modifiers_ | bit) : (modifiers_ & ~bit));
}

bool TRegex::Modifier(int index) const {
  return index >= 1 && index <= 6 && (modifiers_ >> (index - 1)) & 1;
}

bool TRegex::ParseModifiersStr(std::string_view text, uint32_t& bits) {
  bool on = true;
  for (char c : text) {
    if (c == '-') {
      on = false;
      continue;
    }
    const uint32_t bit = ModifierBit(c);
    if (bit == 0) return false;
    bits = on ? (bits | bit) : (bits & ~bit);
  }
  return true;
}

void TRegex::SetSpaceCharacters(std::string_view chars) { spaceChars_.assign(chars); Invalidate(); }
void TRegex::SetWordCharacters(std::string_view chars) { wordChars_.assign(chars); Invalidate(); }
void TRegex::SetLineBreakChars(std::string_view chars) { lineBreaks_.assign(chars); Invalidate(); }

void TRegex::SetLinePairedSeparator(std::string_view chars) {
  if (!chars.empty() && (chars.size() != 2 || chars[0] == chars[1])) Fail(RegexErrorCode::kBadPairedSeparator);
  pairedSeparator_ = std::string(chars);  // (assign from a view trips a -Wrestrict false positive)
}

void TRegex::SetCaseTables(const RegexCaseTables& tables) {
  caseTables_ = &tables;
  caseFlip_ = [&tables](uint8_t c) -> uint8_t {
    const uint8_t up = tables.upper[c];
    return up != c ? up : tables.lower[c];
  };
  for (size_t c = 0; c < 256; ++c) flip_[c] = caseFlip_(static_cast<uint8_t>(c));
  Invalidate();
}

void TRegex::SetCaseFlip(TCaseFlip flip) {
  caseFlip_ = flip ? std::move(flip) : TCaseFlip(&TRegex::InvertCaseFunction);
  for (size_t c = 0; c < 256; ++c) flip_[c] = caseFlip_(static_cast<uint8_t>(c));
  Invalidate();
}

uint8_t TRegex::InvertCaseFunction(uint8_t c) {
  const RegexCaseTables& tables = CurrentRegexCaseTables();
  const uint8_t up = tables.upper[c];
  return up != c ? up : tables.lower[c];
}

uint8_t TRegex::InvertCase(uint8_t c) const { return flip_[c]; }

void TRegex::CompileProgram() {
  if (expression_.empty()) Fail(RegexErrorCode::kNullArgument);
  const ClassSets sets = MakeClassSets(wordChars_, spaceChars_, lineBreaks_);
  try {
    program_ = regex_detail::CompileProgram(expression_, modifiers_, sets, flip_.data());
  } catch (const CompileError& e) {
    program_.clear();
    Fail(e.code, e.pos);
  }
  const ProgramFacts facts = Analyse(program_, sets, flip_.data());
  firstSet_ = facts.firstSet;
  firstChar_ = facts.firstChar;
  anchored_ = facts.anchored;
  requiredLiteral_ = facts.requiredLiteral;
}

void TRegex::Compile() {
  if (expression_.empty()) Fail(RegexErrorCode::kNoExpression);
  CompileProgram();
}

bool TRegex::Exec(std::string_view input) {
  input_.assign(input);
  hasInput_ = true;
  return ExecPrim(1);
}

bool TRegex::ExecPrim(int offset) {
  if (program_.empty()) Compile();
  if (program_[0] != kProgramCheck) Fail(RegexErrorCode::kCorruptedProgram);
  if (!hasInput_) Fail(RegexErrorCode::kNoInput);
  if (offset < 1) Fail(RegexErrorCode::kOffsetBelowOne);
  startp_.fill(-1);
  endp_.fill(-1);
  if (static_cast<size_t>(offset) > input_.size() + 1) return false;
  // Matching stops at the first NUL.
  const size_t end = std::min(input_.size(), std::strlen(input_.c_str()));
  size_t pos = static_cast<size_t>(offset) - 1;
  if (pos > end) return false;
  const std::string_view text(input_.data(), end);
  if (!requiredLiteral_.empty() && text.find(requiredLiteral_, pos) == std::string_view::npos) return false;

  const ClassSets sets = MakeClassSets(wordChars_, spaceChars_, lineBreaks_);
  RegexMatcher matcher(*this, sets, end);
  auto tryAt = [&](size_t at) {
    startp_.fill(-1);
    endp_.fill(-1);
    if (!matcher.Run(at)) return false;
    startp_[0] = static_cast<int>(at);
    endp_[0] = static_cast<int>(matcher.MatchEnd());
    return true;
  };
  // Start positions: only the offset when anchored; otherwise each position
  // before the end holding the required first character, or one of the
  // characters a match can start with.
  bool found = false;
  if (anchored_) {
    found = tryAt(pos);
  } else if (firstChar_ >= 0) {
    for (; !found && (pos = text.find(static_cast<char>(firstChar_), pos)) != std::string_view::npos; ++pos) {
      found = tryAt(pos);
    }
  } else {
    for (; !found && pos < end; ++pos) {
      found = InSet(firstSet_.data(), static_cast<uint8_t>(text[pos])) && tryAt(pos);
    }
  }
  if (!found) {
    startp_.fill(-1);
    endp_.fill(-1);
  }
  return found;
}

std::string TRegex::GetMatch(int index) const {
  const int pos = MatchPos(index);
  if (pos < 0) return {};
  return input_.substr(static_cast<size_t>(pos - 1), static_cast<size_t>(MatchLen(index)));
}

int TRegex::MatchPos(int index) const {
  if (index < 0 || index >= kSubExpressions || !hasInput_) return -1;
  const auto i = static_cast<size_t>(index);
  if (startp_[i] < 0 || endp_[i] < startp_[i]) return -1;
  return startp_[i] + 1;
}

int TRegex::MatchLen(int index) const {
  if (MatchPos(index) < 0) return -1;
  const auto i = static_cast<size_t>(index);
  return endp_[i] - startp_[i];
}

}  // namespace kv
