// Differential test against PCRE2 on the part of the dialect both read the
// same way: generated patterns over a small alphabet, compared on whether
// they match and on the span of the whole match. Native build only.
#ifndef _WIN32

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "foundation/regex.h"

namespace kv {
namespace {

// Builds one pattern in both spellings (they differ only in "\Z", which
// PCRE2 spells "\z" for the very end of the subject).
class PatternGen {
 public:
  explicit PatternGen(uint32_t seed) : rng_(seed) {}

  void Make() {
    ours_.clear();
    theirs_.clear();
    closedGroups_ = 0;
    openGroups_ = 0;
    afterBackref_ = false;
    topAlternatives_ = 1;
    Alternation(0);
  }
  const std::string& Ours() const { return ours_; }
  const std::string& Theirs() const { return theirs_; }
  // Does every match start at the start of the input (a single top-level
  // branch that begins with an anchor)?
  bool Anchored() const {
    std::string_view p = ours_;
    while (p.rfind("(?i)", 0) == 0 || p.rfind("(?-i)", 0) == 0) p.remove_prefix(p.find(')') + 1);
    return topAlternatives_ == 1 && (p.rfind("^", 0) == 0 || p.rfind("\\A", 0) == 0);
  }

  std::string Subject() {
    static const char kChars[] = "aabbcAB1 _.";
    std::string s;
    const int len = Pick(11);
    for (int i = 0; i < len; ++i) s.push_back(kChars[Pick(sizeof kChars - 1)]);
    return s;
  }

 private:
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
  void Put(const std::string& both) { Put(both, both); }
  void Put(const std::string& ours, const std::string& theirs) {
    afterBackref_ = false;
    ours_ += ours;
    theirs_ += theirs;
  }

  // Each generator returns whether what it wrote can match the empty text.
  bool Alternation(int depth) {
    bool empty = Sequence(depth);
    while (Pick(depth == 0 ? 5 : 4) == 0) {
      Put("|");
      if (depth == 0) ++topAlternatives_;
      empty = Sequence(depth) || empty;
    }
    return empty;
  }

  bool Sequence(int depth) {
    const int terms = Pick(4) + (depth == 0 ? 1 : 0);
    bool empty = true;
    for (int i = 0; i < terms; ++i) empty = Term(depth) && empty;
    return empty;
  }

  bool Term(int depth) {
    if (depth == 0 && Pick(25) == 0) {  // at the top level both read these up to the end
      Put(Pick(2) ? "(?i)" : "(?-i)");
      return true;
    }
    if (Pick(10) == 0) {  // anchors, never repeated
      static const char* const kAnchors[] = {"^", "$", "\\A"};
      const int k = Pick(4);
      if (k < 3) Put(kAnchors[k]); else Put("\\Z", "\\z");
      return true;
    }
    const bool empty = Atom(depth);
    if (Pick(2) == 0) return empty;
    // Over something that can match empty, this dialect ends a loop after an
    // empty iteration, so only repeats of at most one iteration read the same.
    static const char* const kRepeats[] = {"?", "{0,1}", "*", "+", "{2}", "{0,2}", "{1,}", "{2,3}"};
    const int r = Pick(empty ? 2 : 8);
    Put(kRepeats[r]);
    if (Pick(3) == 0) Put("?");
    return empty || r < 2 || r == 2 || r == 5;
  }

  bool Atom(int depth) {
    const int k = Pick(depth < 3 ? 14 : 11);
    switch (k) {
      case 0: case 1: case 2: case 3: {
        static const char* const kLiterals[] = {"a", "b", "c", "A", "1", " ", "\\.", "\\x61", "_", "\\x{62}", "\\t"};
        const std::string lit = kLiterals[Pick(11)];
        Put(afterBackref_ && lit == "1" ? "\\x31" : lit);  // "\11" would be another reference
        return false;
      }
      case 4: Put("."); return false;
      case 5: {
        static const char* const kSets[] = {"[ab]", "[^a]", "[a-c]", "[\\d_]", "[]a]", "[a-]",
                                            "[^\\s]", "[.]", "[\\]a]", "[a-\\x63]", "[\\w.]"};
        Put(kSets[Pick(11)]);
        return false;
      }
      case 6: {
        static const char* const kClasses[] = {"\\d", "\\D", "\\w", "\\W", "\\s", "\\S"};
        Put(kClasses[Pick(6)]);
        return false;
      }
      case 7:
        if (closedGroups_ > 0) {
          Put("\\" + std::to_string(1 + Pick(closedGroups_)));
          afterBackref_ = true;
          return true;  // the group may have matched empty
        }
        Put("b");
        return false;
      case 8: Put("ab"); return false;
      case 9: Put("ba"); return false;
      case 10: Put("c"); return false;
      default: {
        if (CountGroups() >= 14) {
          Put("a");
          return false;
        }
        ++openGroups_;
        Put("(");
        const bool empty = Alternation(depth + 1);
        Put(")");
        // Numbered by the opening parenthesis, so only count it closed once
        // every group opened before it has closed too.
        --openGroups_;
        if (openGroups_ == 0) closedGroups_ = CountGroups();
        return empty;
      }
    }
  }

  int CountGroups() const {
    int n = 0;
    for (size_t i = 0; i < ours_.size(); ++i) {
      if (ours_[i] == '\\') ++i;
      else if (ours_[i] == '(' && (i + 1 == ours_.size() || ours_[i + 1] != '?')) ++n;
    }
    return n;
  }

  std::mt19937 rng_;
  std::string ours_, theirs_;
  int closedGroups_ = 0;
  int openGroups_ = 0;
  int topAlternatives_ = 1;
  bool afterBackref_ = false;
};

TEST(RegexDifferential, AgreesWithPcre2OnTheCommonSubset) {
  constexpr int kPatterns = 10000;
  constexpr int kSubjectsEach = 6;
  PatternGen gen(20261206);
  int compared = 0, matched = 0, skippedEmptyOperand = 0, tooHard = 0, failures = 0;
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> md(pcre2_match_data_create(16, nullptr),
                                                                          pcre2_match_data_free);
  for (int p = 0; p < kPatterns && failures < 20; ++p) {
    gen.Make();
    const bool caseless = p % 5 == 0;
    TRegex ours;
    ours.SetStepLimit(1'000'000);  // about where PCRE2's own match limit lies
    ours.SetModifier(1, caseless);
    ours.SetExpression(gen.Ours());
    try {
      ours.Compile();
    } catch (const ERegexError& e) {
      // "*" and "+" over something that can match empty are refused here.
      ASSERT_EQ(e.ErrorNumber, RegexErrorCode::kEmptyOperand) << gen.Ours() << ": " << e.what();
      ++skippedEmptyOperand;
      continue;
    }
    int err = 0;
    PCRE2_SIZE errOffset = 0;
    const uint32_t options = PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY | (caseless ? PCRE2_CASELESS : 0);
    std::unique_ptr<pcre2_code, decltype(&pcre2_code_free)> theirs(
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(gen.Theirs().c_str()), gen.Theirs().size(), options, &err,
                      &errOffset, nullptr),
        pcre2_code_free);
    ASSERT_TRUE(theirs) << "PCRE2 refused " << gen.Theirs();

    for (int s = 0; s < kSubjectsEach; ++s) {
      const std::string subject = gen.Subject();
      const int rc = pcre2_match(theirs.get(), reinterpret_cast<PCRE2_SPTR>(subject.c_str()), subject.size(), 0, 0,
                                 md.get(), nullptr);
      if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT) {
        ++tooHard;  // exponential backtracking: nothing to compare
        continue;
      }
      ASSERT_TRUE(rc > 0 || rc == PCRE2_ERROR_NOMATCH) << rc;
      long wantStart = -1, wantEnd = -1;
      if (rc > 0) {
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.get());
        wantStart = static_cast<long>(ov[0]);
        wantEnd = static_cast<long>(ov[1]);
        // An unanchored expression is never tried at the end of the input.
        if (wantStart == static_cast<long>(subject.size()) && !(gen.Anchored() && subject.empty())) {
          wantStart = wantEnd = -1;
        }
      }
      bool found = false;
      try {
        found = ours.Exec(subject);
      } catch (const ERegexError& e) {
        ASSERT_TRUE(e.ErrorNumber == RegexErrorCode::kStepLimit || e.ErrorNumber == RegexErrorCode::kRecursionTooDeep)
            << gen.Ours() << ": " << e.what();
        ++tooHard;
        continue;
      }
      const long gotStart = found ? ours.MatchPos(0) - 1 : -1;
      const long gotEnd = found ? gotStart + ours.MatchLen(0) : -1;
      ++compared;
      if (found) ++matched;
      if (gotStart != wantStart || gotEnd != wantEnd) {
        ++failures;
        ADD_FAILURE() << "pattern /" << gen.Ours() << "/" << (caseless ? "i" : "") << " subject \"" << subject
                      << "\": ours [" << gotStart << "," << gotEnd << ") PCRE2 [" << wantStart << "," << wantEnd
                      << ")";
      }
    }
  }
  // The generator must keep producing work for both sides.
  EXPECT_GT(compared, 40000);
  EXPECT_GT(matched, compared / 4);
  EXPECT_LT(skippedEmptyOperand, kPatterns / 3);
  EXPECT_LT(tooHard, compared / 100);
}

}  // namespace
}  // namespace kv

#endif  // _WIN32
