// The regular-expression compiler: parses the expression twice, first only
// to measure the program, then to emit it into a buffer of exactly that size,
// and derives the start-position facts the matcher uses.
#include "foundation/regex_compile.h"

#include <algorithm>

namespace kv::regex_detail {
namespace {

constexpr size_t kMaxProgramSize = size_t{16} << 20;
constexpr int kMaxBraceDigits = 8;
constexpr int kFirstSetBudget = 10000;  // node visits while computing the first-character set

// Flags a parsed term (an atom and its repeat) reports upwards.
constexpr int kHasWidth = 1;  // always matches at least one character
constexpr int kSimple = 2;    // one single-character node: repeatable without a loop

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int HexValue(char c) {
  if (c <= '9') return c - '0';
  return (c | 0x20) - 'a' + 10;
}

class Compiler {
 public:
  Compiler(std::string_view expr, uint32_t modifiers, const ClassSets& sets, const uint8_t* flip)
      : expr_(expr), mods_(modifiers), sets_(sets), flip_(flip) {}

  // Pass 1 (code == nullptr) measures; pass 2 emits into code[0..capacity).
  size_t Run(uint8_t* code, size_t capacity) {
    code_ = code;
    capacity_ = capacity;
    len_ = 0;
    p_ = 0;
    groups_ = 0;
    groupWidth_.fill(false);
    EmitByte(kProgramCheck);
    int flags = 0;
    ParseReg(false, flags);
    return len_;
  }

 private:
  [[noreturn]] void Error(RegexErrorCode code) { throw CompileError{code, static_cast<int>(p_) + 1}; }

  bool AtEnd() const { return p_ >= expr_.size(); }
  char Peek(size_t ahead = 0) const { return p_ + ahead < expr_.size() ? expr_[p_ + ahead] : '\0'; }
  bool Emitting() const { return code_ != nullptr; }

  // ---------------------------------------------------------------- emit --
  void Grow(size_t n) {
    if (len_ + n > kMaxProgramSize) Error(RegexErrorCode::kTooBig);
    if (Emitting() && len_ + n > capacity_) Error(RegexErrorCode::kInternalUrp);
  }
  void EmitByte(uint8_t b) {
    Grow(1);
    if (Emitting()) code_[len_] = b;
    ++len_;
  }
  void EmitU32(uint32_t v) {
    Grow(4);
    if (Emitting()) WriteU32(code_ + len_, v);
    len_ += 4;
  }
  size_t EmitNode(Op op) {
    const size_t at = len_;
    EmitByte(op);
    EmitU32(0);
    return at;
  }
  // Inserts a node header with `operandSize` zero bytes in front of `at`.
  void InsertNode(Op op, size_t at, size_t operandSize) {
    const size_t n = kHeader + operandSize;
    Grow(n);
    if (Emitting()) {
      std::memmove(code_ + at + n, code_ + at, len_ - at);
      std::memset(code_ + at, 0, n);
      code_[at] = op;
    }
    len_ += n;
  }
  void SetNext(size_t node, size_t target) {
    if (Emitting()) WriteU32(code_ + node + 1, static_cast<uint32_t>(static_cast<int32_t>(target - node)));
  }
  Program View() const { return Program{code_, len_}; }
  // Points the last node of the chain starting at `node` to `target`.
  void Tail(size_t node, size_t target) {
    if (!Emitting()) return;
    const Program prog = View();
    for (size_t next; (next = prog.Next(node)) != 0;) node = next;
    SetNext(node, target);
  }

  // ---------------------------------------------------------- filler --
  // Skips what produces no node: comments "(?#...)", inline modifiers and,
  // with x, white space and "#" comments.
  void SkipFiller() {
    for (;;) {
      SkipXSpace();
      if (Peek() == '(' && Peek(1) == '?') {
        if (Peek(2) == '#') {
          const size_t close = expr_.find(')', p_ + 3);
          if (close == std::string_view::npos) {
            p_ = expr_.size();
            Error(RegexErrorCode::kUnclosedComment);
          }
          p_ = close + 1;
          continue;
        }
        ParseInlineModifiers();
        continue;
      }
      return;
    }
  }

  void ParseInlineModifiers() {
    p_ += 2;
    bool on = true;
    for (;;) {
      if (AtEnd()) Error(RegexErrorCode::kUnknownModifier);
      const char c = Peek();
      if (c == ')') break;
      if (c == '-') {
        on = false;
      } else {
        const uint32_t bit = ModifierBit(c);
        if (bit == 0) Error(RegexErrorCode::kUnknownModifier);
        mods_ = on ? (mods_ | bit) : (mods_ & ~bit);
      }
      ++p_;
    }
    ++p_;
  }

  // Is a repeat operator at p_ (a "{" only when it forms a well-formed brace)?
  bool AtRepeat() const {
    const char c = Peek();
    if (AtEnd()) return false;
    if (c == '*' || c == '+' || c == '?') return true;
    return c == '{' && BraceLength(p_) != 0;
  }
  // Length of "{n}", "{n,}" or "{n,m}" at `at`, 0 when not well-formed.
  size_t BraceLength(size_t at) const {
    size_t q = at + 1;
    auto digits = [&] {
      const size_t from = q;
      while (q < expr_.size() && expr_[q] >= '0' && expr_[q] <= '9') ++q;
      return q - from;
    };
    if (digits() == 0) return 0;
    if (q < expr_.size() && expr_[q] == ',') {
      ++q;
      digits();
    }
    if (q >= expr_.size() || expr_[q] != '}') return 0;
    return q + 1 - at;
  }
  uint32_t BraceNumber() {
    uint32_t v = 0;
    int n = 0;
    while (Peek() >= '0' && Peek() <= '9') {
      if (++n > kMaxBraceDigits) Error(RegexErrorCode::kBraceArgumentTooBig);
      v = v * 10 + static_cast<uint32_t>(Peek() - '0');
      ++p_;
    }
    return v;
  }

  // ----------------------------------------------------------- parse --
  size_t ParseReg(bool paren, int& flags) {
    flags = kHasWidth;
    size_t ret = 0;
    int group = 0;
    if (paren) {
      if (groups_ >= kMaxGroups) Error(RegexErrorCode::kTooManyGroups);
      group = ++groups_;
      ret = EmitNode(kOpen);
      EmitByte(static_cast<uint8_t>(group));
    }
    int branchFlags = 0;
    const size_t first = ParseBranch(branchFlags);
    if (ret) Tail(ret, first); else ret = first;
    if (!(branchFlags & kHasWidth)) flags &= ~kHasWidth;
    SkipFiller();
    while (Peek() == '|' && !AtEnd()) {
      ++p_;
      const size_t br = ParseBranch(branchFlags);
      Tail(ret, br);
      if (!(branchFlags & kHasWidth)) flags &= ~kHasWidth;
      SkipFiller();
    }
    size_t ender;
    if (paren) {
      ender = EmitNode(kClose);
      EmitByte(static_cast<uint8_t>(group));
    } else {
      ender = EmitNode(kEnd);
    }
    Tail(ret, ender);
    if (Emitting()) {
      const Program prog = View();
      for (size_t br = ret; br != 0 && br != ender; br = prog.Next(br)) {
        if (prog.OpAt(br) == kBranch) Tail(prog.OperandNode(br), ender);
      }
    }
    if (paren) {
      if (AtEnd() || Peek() != ')') Error(RegexErrorCode::kUnmatchedOpen);
      ++p_;
      groupWidth_[static_cast<size_t>(group)] = (flags & kHasWidth) != 0;
    } else if (!AtEnd()) {
      Error(Peek() == ')' ? RegexErrorCode::kUnmatchedClose : RegexErrorCode::kJunkOnEnd);
    }
    return ret;
  }

  size_t ParseBranch(int& flags) {
    flags = 0;
    const size_t ret = EmitNode(kBranch);
    size_t prev = 0;
    for (;;) {
      SkipFiller();
      if (AtEnd() || Peek() == '|' || Peek() == ')') break;
      int termFlags = 0;
      const size_t term = ParseTerm(termFlags);
      flags |= termFlags & kHasWidth;
      if (prev != 0) Tail(prev, term);
      prev = term;
    }
    if (prev == 0) EmitNode(kNothing);
    return ret;
  }

  size_t ParseTerm(int& flags) {
    int atomFlags = 0;
    const size_t atom = ParseAtom(atomFlags);
    SkipFiller();
    if (!AtRepeat()) {
      flags = atomFlags;
      return atom;
    }
    const char op = Peek();
    if ((op == '*' || op == '+') && !(atomFlags & kHasWidth)) Error(RegexErrorCode::kEmptyOperand);
    uint32_t min = 0, max = kInfinite;
    if (op == '{') {
      ++p_;
      min = BraceNumber();
      max = min;
      if (Peek() == ',') {
        ++p_;
        max = (Peek() >= '0' && Peek() <= '9') ? BraceNumber() : kInfinite;
      }
      ++p_;  // '}', known to be there
      if (min > max) Error(RegexErrorCode::kBraceMinAboveMax);
    } else {
      ++p_;
      if (op == '+') min = 1;
      if (op == '?') max = 1;
    }
    bool greedy = (mods_ & kModGBit) != 0;
    if (Peek() == '?' && !AtEnd()) {
      ++p_;
      greedy = false;
    }
    flags = min > 0 ? (atomFlags & kHasWidth) : 0;
    if (atomFlags & kSimple) {
      if (op == '*') {
        InsertNode(greedy ? kStar : kStarNg, atom, 0);
      } else if (op == '+') {
        InsertNode(greedy ? kPlus : kPlusNg, atom, 0);
      } else {
        InsertNode(greedy ? kBraces : kBracesNg, atom, 8);
        if (Emitting()) {
          WriteU32(code_ + atom + kHeader, min);
          WriteU32(code_ + atom + kHeader + 4, max);
        }
      }
    } else {
      InsertNode(kLoopEntry, atom, 4);
      const size_t body = atom + kHeader + 4;
      const size_t loop = EmitNode(greedy ? kLoop : kLoopNg);
      EmitU32(min);
      EmitU32(max);
      EmitU32(static_cast<uint32_t>(loop - atom));
      if (Emitting()) {
        Tail(body, loop);
        SetNext(atom, body);
        WriteU32(code_ + atom + kHeader, static_cast<uint32_t>(loop - atom));
      }
    }
    SkipFiller();
    if (AtRepeat()) Error(RegexErrorCode::kNestedRepeat);
    return atom;
  }

  size_t ParseAtom(int& flags) {
    flags = 0;
    const char c = Peek();
    switch (c) {
      case '^':
        ++p_;
        return EmitNode((mods_ & kModMBit) ? kBolMl : kBol);
      case '$':
        ++p_;
        return EmitNode((mods_ & kModMBit) ? kEolMl : kEol);
      case '.':
        ++p_;
        flags = kHasWidth | kSimple;
        return EmitNode((mods_ & kModSBit) ? kAny : kAnyMl);
      case '[':
        ++p_;
        flags = kHasWidth | kSimple;
        return ParseSet();
      case '(': {
        ++p_;
        int groupFlags = 0;
        const size_t ret = ParseReg(true, groupFlags);
        flags = groupFlags & kHasWidth;
        return ret;
      }
      case '|':
      case ')':
        Error(RegexErrorCode::kAtomInternalDisaster);  // the branch loop stops before these
      case '?':
      case '+':
      case '*':
        Error(RegexErrorCode::kRepeatFollowsNothing);
      case '{':
        if (BraceLength(p_) != 0) Error(RegexErrorCode::kRepeatFollowsNothing);
        break;
      case '\\': {
        if (p_ + 1 >= expr_.size()) {
          ++p_;
          Error(RegexErrorCode::kTrailingBackslash);
        }
        const char e = Peek(1);
        Op op = kOpLimit;
        switch (e) {
          case 'd': op = kDigit; break;
          case 'D': op = kNotDigit; break;
          case 'w': op = kWord; break;
          case 'W': op = kNotWord; break;
          case 's': op = kSpace; break;
          case 'S': op = kNotSpace; break;
          case 'A': p_ += 2; return EmitNode(kBol);
          case 'Z': p_ += 2; return EmitNode(kEol);
          default: break;
        }
        if (op != kOpLimit) {
          p_ += 2;
          flags = kHasWidth | kSimple;
          return EmitNode(op);
        }
        if (e >= '1' && e <= '9') {
          p_ += 2;
          const int group = e - '0';
          // Only a closed group whose every match has width makes the reference non-empty.
          if (group <= kMaxGroups && groupWidth_[static_cast<size_t>(group)]) flags = kHasWidth;
          const size_t ret = EmitNode((mods_ & kModIBit) ? kBackrefCi : kBackref);
          EmitByte(static_cast<uint8_t>(group));
          return ret;
        }
        break;
      }
      default:
        break;
    }
    return ParseRun(flags);
  }

  // One character that stands for itself at p_ (plain or escaped); advances.
  // Returns -1 without advancing when p_ holds no such character.
  int LiteralChar() {
    const char c = Peek();
    if (AtEnd()) return -1;
    switch (c) {
      case '^': case '$': case '.': case '[': case '(': case ')': case '|':
      case '?': case '+': case '*':
        return -1;
      case '{':
        if (BraceLength(p_) != 0) return -1;
        break;
      case '#': case ' ': case '\t': case '\n': case '\r':
        if (mods_ & kModXBit) return -1;
        break;
      case '\\': {
        if (p_ + 1 >= expr_.size()) return -1;
        const char e = Peek(1);
        if (std::string_view("dDwWsSAZ123456789").find(e) != std::string_view::npos) return -1;
        ++p_;
        return EscapedChar();
      }
      default:
        break;
    }
    ++p_;
    return static_cast<uint8_t>(c);
  }

  // The character of the escape whose letter is at p_; advances past it.
  int EscapedChar() {
    const char e = Peek();
    ++p_;
    switch (e) {
      case 't': return '\t';
      case 'n': return '\n';
      case 'r': return '\r';
      case 'f': return '\f';
      case 'a': return 7;
      case 'e': return 27;
      case 'x': return HexEscape();
      default: return static_cast<uint8_t>(e);
    }
  }

  int HexEscape() {
    if (Peek() == '{' && !AtEnd()) {
      ++p_;
      int v = 0, n = 0;
      while (!AtEnd() && Peek() != '}') {
        if (!IsHex(Peek())) Error(RegexErrorCode::kBadHexDigit);
        v = v * 16 + HexValue(Peek());
        if (v > 255) Error(RegexErrorCode::kHexCodeTooBig);
        ++n;
        ++p_;
      }
      if (AtEnd()) Error(RegexErrorCode::kBadHexDigit);
      if (n == 0) Error(RegexErrorCode::kNoHexCode);
      ++p_;
      return v;
    }
    if (AtEnd() || !IsHex(Peek())) Error(RegexErrorCode::kNoHexCode);
    const int hi = HexValue(Peek());
    ++p_;
    if (AtEnd() || !IsHex(Peek())) Error(RegexErrorCode::kBadHexDigit);
    const int lo = HexValue(Peek());
    ++p_;
    return hi * 16 + lo;
  }

  // A run of literal characters. The last one is left for its own node when
  // a repeat follows it, so that the repeat applies to one character only.
  size_t ParseRun(int& flags) {
    std::string run;
    for (;;) {
      const size_t before = p_;
      const int c = LiteralChar();
      if (c < 0) break;
      if (!run.empty()) {
        const size_t after = p_;
        SkipXSpace();
        const bool repeatFollows = AtRepeat();
        p_ = after;
        if (repeatFollows) {
          p_ = before;
          break;
        }
      }
      run.push_back(static_cast<char>(c));
      if (run.size() == 255) break;
      SkipXSpace();
    }
    if (run.empty()) Error(RegexErrorCode::kAtomInternalDisaster);
    flags = kHasWidth | (run.size() == 1 ? kSimple : 0);
    const size_t ret = EmitNode((mods_ & kModIBit) ? kExactlyCi : kExactly);
    EmitByte(static_cast<uint8_t>(run.size()));
    for (char ch : run) EmitByte(static_cast<uint8_t>(ch));
    return ret;
  }
  // Blanks, tabs, line breaks and "#" comments, with the x modifier only.
  void SkipXSpace() {
    if (!(mods_ & kModXBit)) return;
    for (;;) {
      const char c = Peek();
      if (AtEnd()) return;
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        ++p_;
      } else if (c == '#') {
        while (!AtEnd() && Peek() != '\n' && Peek() != '\r') ++p_;
      } else {
        return;
      }
    }
  }

  size_t ParseSet() {
    ByteSet set{};
    bool negate = false;
    // With x, unescaped white space and "#" comments are dropped inside a
    // set as well: "[a b]" holds "a" and "b"; "\ " is a blank.
    SkipXSpace();
    if (Peek() == '^' && !AtEnd()) {
      negate = true;
      ++p_;
    }
    bool first = true;
    for (;;) {
      SkipXSpace();
      if (AtEnd()) Error(RegexErrorCode::kUnmatchedBracket);
      if (Peek() == ']' && !first) break;
      first = false;
      int lo;
      if (!SetChar(set, lo)) continue;  // a class was added
      SkipXSpace();
      if (Peek() == '-' && !AtEnd() && DashOpensRange()) {
        const size_t dash = p_;
        ++p_;
        SkipXSpace();
        int hi;
        if (!SetChar(set, hi)) {  // "a-\d": the dash is a character
          AddToSet(set, static_cast<uint8_t>(lo));
          AddToSet(set, '-');
          continue;
        }
        AddRange(set, lo, hi, dash);
      } else {
        AddToSet(set, static_cast<uint8_t>(lo));
      }
    }
    ++p_;  // ']'
    if (mods_ & kModIBit) {
      const ByteSet plain = set;
      // Case tables need not be symmetric: take c when it or its other case is in the set.
      for (int c = 0; c < 256; ++c) {
        if (InSet(plain.data(), static_cast<uint8_t>(c))) AddToSet(set, flip_[c]);
        if (InSet(plain.data(), flip_[c])) AddToSet(set, static_cast<uint8_t>(c));
      }
    }
    if (negate) {
      for (auto& b : set) b = static_cast<uint8_t>(~b);
    }
    const size_t ret = EmitNode(kAnyOf);
    for (uint8_t b : set) EmitByte(b);
    return ret;
  }

  // Whether the "-" at p_ stands between two set members (else it is one):
  // something other than the closing "]" follows it.
  bool DashOpensRange() {
    const size_t dash = p_;
    ++p_;
    SkipXSpace();
    const bool range = !AtEnd() && Peek() != ']';
    p_ = dash;
    return range;
  }

  // One set member at p_: false when it was a class (already added), else
  // true with the character in `c`.
  bool SetChar(ByteSet& set, int& c) {
    if (Peek() != '\\') {
      c = static_cast<uint8_t>(Peek());
      ++p_;
      return true;
    }
    if (p_ + 1 >= expr_.size()) {
      ++p_;
      Error(RegexErrorCode::kUnmatchedBracket);
    }
    const char e = Peek(1);
    const ByteSet* cls = e == 'd' ? &sets_.digit : e == 's' ? &sets_.space : e == 'w' ? &sets_.word : nullptr;
    if (cls) {
      p_ += 2;
      for (size_t i = 0; i < set.size(); ++i) set[i] |= (*cls)[i];
      return false;
    }
    ++p_;
    c = EscapedChar();
    return true;
  }

  // With r, the Cyrillic letter ranges of Windows-1251 also take YO: a-ya
  // (E0-FF) takes yo (B8), A-YA (C0-DF) takes YO (A8), and the reversed range
  // a-YA (E0-DF) means every letter of both cases. Any other reversed range is
  // an error.
  void AddRange(ByteSet& set, int lo, int hi, size_t dash) {
    const bool r = (mods_ & kModRBit) != 0;
    if (r && lo == 0xE0 && hi == 0xDF) {
      for (int c = 0xC0; c <= 0xFF; ++c) AddToSet(set, static_cast<uint8_t>(c));
      AddToSet(set, 0xA8);
      AddToSet(set, 0xB8);
      return;
    }
    if (lo > hi) {
      p_ = dash;
      Error(RegexErrorCode::kInvalidRange);
    }
    for (int c = lo; c <= hi; ++c) AddToSet(set, static_cast<uint8_t>(c));
    if (r && lo == 0xE0 && hi == 0xFF) AddToSet(set, 0xB8);
    if (r && lo == 0xC0 && hi == 0xDF) AddToSet(set, 0xA8);
  }

  static constexpr uint32_t kModIBit = 1, kModRBit = 2, kModSBit = 4, kModGBit = 8, kModMBit = 16, kModXBit = 32;

  std::string_view expr_;
  uint32_t mods_;
  const ClassSets& sets_;
  const uint8_t* flip_;
  uint8_t* code_ = nullptr;
  size_t capacity_ = 0;
  size_t len_ = 0;
  size_t p_ = 0;
  int groups_ = 0;
  std::array<bool, kMaxGroups + 1> groupWidth_{};
};

// ------------------------------------------------------------ analysis --
void AddAll(ByteSet& set) { set.fill(0xFF); }

void AddNodeChars(const Program& prog, size_t n, const ClassSets& sets, const uint8_t* flip, ByteSet& set) {
  auto addSet = [&](const ByteSet& s, bool invert) {
    for (size_t i = 0; i < set.size(); ++i) set[i] |= invert ? static_cast<uint8_t>(~s[i]) : s[i];
  };
  const uint8_t* op = prog.Operand(n);
  switch (prog.OpAt(n)) {
    case kExactly: AddToSet(set, op[1]); break;
    case kExactlyCi:
      AddToSet(set, op[1]);
      AddToSet(set, flip[op[1]]);
      for (int c = 0; c < 256; ++c) {
        if (flip[c] == op[1]) AddToSet(set, static_cast<uint8_t>(c));
      }
      break;
    case kDigit: addSet(sets.digit, false); break;
    case kNotDigit: addSet(sets.digit, true); break;
    case kWord: addSet(sets.word, false); break;
    case kNotWord: addSet(sets.word, true); break;
    case kSpace: addSet(sets.space, false); break;
    case kNotSpace: addSet(sets.space, true); break;
    case kAnyOf: for (size_t i = 0; i < set.size(); ++i) set[i] |= op[i]; break;
    default: AddAll(set); break;  // any character, or something we do not look into
  }
}

// Adds to `set` every character at which the chain from `n` can begin a
// match; a chain that can match empty up to the end adds everything.
void FirstChars(const Program& prog, size_t n, const ClassSets& sets, const uint8_t* flip, ByteSet& set, int& budget) {
  while (n != 0) {
    if (--budget < 0) return AddAll(set);
    const uint8_t* operand = prog.Operand(n);
    switch (prog.OpAt(n)) {
      case kEnd:
      case kBackref:
      case kBackrefCi:
        return AddAll(set);
      case kBranch: {
        const size_t next = prog.Next(n);
        if (next == 0 || prog.OpAt(next) != kBranch) {
          n = prog.OperandNode(n);
          continue;
        }
        for (size_t br = n; br != 0 && prog.OpAt(br) == kBranch; br = prog.Next(br)) {
          FirstChars(prog, prog.OperandNode(br), sets, flip, set, budget);
        }
        return;
      }
      case kStar:
      case kStarNg:
        AddNodeChars(prog, prog.OperandNode(n), sets, flip, set);
        break;
      case kPlus:
      case kPlusNg:
        return AddNodeChars(prog, prog.OperandNode(n), sets, flip, set);
      case kBraces:
      case kBracesNg:
        AddNodeChars(prog, prog.OperandNode(n) + 8, sets, flip, set);
        if (ReadU32(operand) > 0) return;
        break;
      case kLoopEntry: {
        const size_t loop = n + ReadU32(operand);
        if (ReadU32(prog.Operand(loop)) == 0) FirstChars(prog, prog.Next(loop), sets, flip, set, budget);
        break;  // into the body, whose end leads past the loop
      }
      case kBol: case kEol: case kBolMl: case kEolMl: case kNothing:
      case kOpen: case kClose: case kLoop: case kLoopNg:
        break;
      default:
        return AddNodeChars(prog, n, sets, flip, set);
    }
    n = prog.Next(n);
  }
  AddAll(set);
}

}  // namespace

uint32_t ModifierBit(char c) {
  switch (c | 0x20) {
    case 'i': return 1;
    case 'r': return 2;
    case 's': return 4;
    case 'g': return 8;
    case 'm': return 16;
    case 'x': return 32;
    default: return 0;
  }
}

std::vector<uint8_t> CompileProgram(std::string_view expr, uint32_t modifiers, const ClassSets& sets,
                                    const uint8_t* flip) {
  Compiler measure(expr, modifiers, sets, flip);
  const size_t size = measure.Run(nullptr, 0);
  std::vector<uint8_t> code(size);
  Compiler emit(expr, modifiers, sets, flip);
  if (emit.Run(code.data(), code.size()) != size) throw CompileError{RegexErrorCode::kInternalUrp, 0};
  return code;
}

ProgramFacts Analyse(const std::vector<uint8_t>& code, const ClassSets& sets, const uint8_t* flip) {
  ProgramFacts facts;
  const Program prog{code.data(), code.size()};
  int budget = kFirstSetBudget;
  FirstChars(prog, 1, sets, flip, facts.firstSet, budget);

  const size_t top = 1;
  const size_t after = prog.Next(top);
  if (after == 0 || prog.OpAt(after) != kEnd) return facts;  // several alternatives
  const size_t first = prog.OperandNode(top);
  if (prog.OpAt(first) == kExactly) facts.firstChar = prog.Operand(first)[1];
  if (prog.OpAt(first) == kBol) facts.anchored = true;
  // The first node a match meets, looking into the groups it opens with
  // (the usual file-name template starts "(.*)").
  size_t lead = first;
  for (int hops = 0; hops < 64; ++hops) {
    const Op k = prog.OpAt(lead);
    const size_t next = prog.Next(lead);
    if ((k == kOpen || k == kNothing) && next != 0) {
      lead = next;
    } else if (k == kBranch && (next == 0 || prog.OpAt(next) != kBranch)) {
      lead = prog.OperandNode(lead);  // a single alternative
    } else {
      break;
    }
  }
  const Op op = prog.OpAt(lead);
  const bool startsWithRepeat = op == kStar || op == kStarNg || op == kPlus || op == kPlusNg ||
                                op == kBraces || op == kBracesNg || op == kLoopEntry;
  if (!startsWithRepeat) return facts;
  // Only nodes every match passes through: the top-level chain, entering
  // groups with a single alternative and skipping repeated operands.
  size_t best = 0, bestLen = 0;
  for (size_t n = first; n != 0 && prog.OpAt(n) != kEnd;) {
    const Op k = prog.OpAt(n);
    if (k == kExactly && prog.Operand(n)[0] >= bestLen) {
      best = n;
      bestLen = prog.Operand(n)[0];
    }
    if (k == kBranch) {
      size_t next = prog.Next(n);
      if (next != 0 && prog.OpAt(next) != kBranch) {
        n = prog.OperandNode(n);  // a single alternative
      } else {
        while (next != 0 && prog.OpAt(next) == kBranch) next = prog.Next(next);
        n = next;  // past the alternatives, at their join
      }
    } else if (k == kLoopEntry) {
      n = prog.Next(n + ReadU32(prog.Operand(n)));
    } else {
      n = prog.Next(n);
    }
  }
  if (bestLen > 0) facts.requiredLiteral.assign(reinterpret_cast<const char*>(prog.Operand(best) + 1), bestLen);
  return facts;
}

}  // namespace kv::regex_detail
