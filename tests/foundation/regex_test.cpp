#include "foundation/regex.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/foundation/foundation_test_util.h"

namespace kv {
namespace {

// Sets `pattern` under the modifier letters `mods` ("" = defaults).
void Prepare(TRegex& re, const std::string& pattern, const std::string& mods) {
  uint32_t bits = re.ModifierBits();
  EXPECT_TRUE(TRegex::ParseModifiersStr(mods, bits)) << mods;
  re.SetModifierBits(bits);
  re.SetExpression(pattern);
}

using E = RegexErrorCode;

// Compiles `pattern` and returns the error code, kNone when it compiles.
E CompileCode(const std::string& pattern, const std::string& mods = "", int* pos = nullptr) {
  TRegex re;
  Prepare(re, pattern, mods);
  try {
    re.Compile();
    return E::kNone;
  } catch (const ERegexError& e) {
    EXPECT_EQ(re.LastErrorCode(), e.ErrorNumber);
    EXPECT_EQ(re.CompilerErrorPos(), e.CompilerErrorPos);
    if (pos) *pos = e.CompilerErrorPos;
    return e.ErrorNumber;
  }
}

// Runs `pattern` on `subject`; returns the whole match or "<none>".
std::string MatchOf(const std::string& pattern, const std::string& subject, const std::string& mods) {
  TRegex re;
  Prepare(re, pattern, mods);
  return re.Exec(subject) ? re.GetMatch(0) : "<none>";
}

TEST(Regex, CompileErrorsCarryTheirCode) {
  struct Case {
    const char* pattern;
    const char* mods;
    E code;
  } const cases[] = {
      {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)(m)(n)(o)", "", E::kTooManyGroups},
      {"(a", "", E::kUnmatchedOpen},
      {"((a)", "", E::kUnmatchedOpen},
      {"a)", "", E::kUnmatchedClose},
      {"(a*)*", "", E::kEmptyOperand},
      {"(^)+", "", E::kEmptyOperand},
      {"()*", "", E::kEmptyOperand},
      {"(a|)+", "", E::kEmptyOperand},
      {"a**", "", E::kNestedRepeat},
      {"a{2}*", "", E::kNestedRepeat},
      {"a*??", "", E::kNestedRepeat},
      {"(ab)+{2}", "", E::kNestedRepeat},
      {"\\x4g", "", E::kBadHexDigit},
      {"\\x{4g}", "", E::kBadHexDigit},
      {"\\x{41", "", E::kBadHexDigit},
      {"[z-a]", "", E::kInvalidRange},
      {"[\xE0-\xDF]", "-r", E::kInvalidRange},
      {"[\xE1-\xDF]", "", E::kInvalidRange},
      {"\\xg1", "", E::kNoHexCode},
      {"\\x{}", "", E::kNoHexCode},
      {"\\x", "", E::kNoHexCode},
      {"\\x{100}", "", E::kHexCodeTooBig},
      {"[abc", "", E::kUnmatchedBracket},
      {"[a\\", "", E::kUnmatchedBracket},
      {"*a", "", E::kRepeatFollowsNothing},
      {"a|+b", "", E::kRepeatFollowsNothing},
      {"(?b)", "", E::kUnknownModifier},
      {"{2}", "", E::kRepeatFollowsNothing},
      {"(?i)*", "", E::kRepeatFollowsNothing},
      {"a\\", "", E::kTrailingBackslash},
      {"a{123456789}", "", E::kBraceArgumentTooBig},
      {"a{1,123456789}", "", E::kBraceArgumentTooBig},
      {"a{3,2}", "", E::kBraceMinAboveMax},
      {"(?#abc", "", E::kUnclosedComment},
      {"(?i:a)", "", E::kUnknownModifier},
      {"(?i", "", E::kUnknownModifier},
      {"[ ]", "x", E::kUnmatchedBracket},  // with x the blank is dropped: "[]" opens a set holding "]"
  };
  for (const Case& c : cases) EXPECT_EQ(CompileCode(c.pattern, c.mods), c.code) << c.pattern;

  // Things that look close to the errors above but are valid.
  for (const char* ok : {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)(m)(n)", "(a*){2,}", "(a*)?", "a{2}?",
                         "a{,2}", "a{x}", "}", "]", "[]a]", "[a-]", "\\x{ff}", "a{12345678}", "(?#c)a",
                         "(?-i)a", "[\xE0-\xDF]", "a|", "()", "\\1"}) {
    EXPECT_EQ(CompileCode(ok), E::kNone) << ok;
  }
}

TEST(Regex, ErrorMessagesAndPositions) {
  if (const auto e = ThrownBy<ERegexError>([] { TRegex re; re.SetExpression("ab{3,2}"); re.Compile(); })) {
    EXPECT_EQ(e->ErrorNumber, E::kBraceMinAboveMax);
    EXPECT_STREQ(e->what(), ("TRegex(comp): BRACE Min Param Greater then Max (pos " +
                             std::to_string(e->CompilerErrorPos) + ")").c_str());
  }
  int pos = 0;
  EXPECT_EQ(CompileCode("ab)", "", &pos), E::kUnmatchedClose);
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(CompileCode("*", "", &pos), E::kRepeatFollowsNothing);
  EXPECT_EQ(pos, 1);

  for (int code : {1013, 117, 999, -1}) EXPECT_EQ(TRegex::ErrorMsg(code), "Unknown error") << code;
}

TEST(Regex, RunTimeErrors) {
  auto codeOf = [](auto&& action) {
    TRegex re;
    try {
      action(re);
    } catch (const ERegexError& e) {
      EXPECT_EQ(e.CompilerErrorPos, 0);
      if (static_cast<int>(e.ErrorNumber) >= 1000) {
        EXPECT_EQ(e.what(), TRegex::ErrorMsg(e.ErrorNumber));  // no position suffix
      }
      return e.ErrorNumber;
    }
    return E::kNone;
  };
  EXPECT_EQ(codeOf([](TRegex& re) { re.Compile(); }), E::kNoExpression);
  EXPECT_EQ(codeOf([](TRegex& re) { re.Exec("abc"); }), E::kNoExpression);
  EXPECT_EQ(codeOf([](TRegex& re) { re.SetExpression("a"); re.ExecPrim(1); }), E::kNoInput);
  EXPECT_EQ(codeOf([](TRegex& re) { re.SetExpression("a"); re.Exec("a"); re.ExecPrim(0); }), E::kOffsetBelowOne);
  EXPECT_EQ(codeOf([](TRegex& re) { re.SetModifier(7, true); }), E::kBadModifierIndex);
  EXPECT_EQ(codeOf([](TRegex& re) { re.SetModifier(0, true); }), E::kBadModifierIndex);
  EXPECT_EQ(codeOf([](TRegex& re) { re.SetLinePairedSeparator("\r\r"); }), E::kBadPairedSeparator);
  EXPECT_EQ(codeOf([](TRegex& re) { re.SetLinePairedSeparator("\r\n\f"); }), E::kBadPairedSeparator);
  EXPECT_EQ(codeOf([](TRegex& re) { re.SetLinePairedSeparator(""); }), E::kNone);
  // Eleven nested loops overflow the loop stack.
  EXPECT_EQ(codeOf([](TRegex& re) {
              re.SetExpression("((((((((((((ab){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2})");
              re.Exec("ab");
            }),
            E::kLoopStackExceeded);
  EXPECT_EQ(codeOf([](TRegex& re) {
              re.SetExpression("(((((((((((ab){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2})");
              EXPECT_TRUE(re.Exec("ab"));
            }),
            E::kNone);
}

TEST(Regex, MatchesOfTheDialectAndEachModifier) {
  struct Case {
    const char* pattern;
    std::string subject;
    const char* mods;
    const char* match;  // whole match, or "<none>"
  } const cases[] = {
      // Ordinary matching is compared with PCRE2 in regex_pcre_test.cpp; here
      // the parts of the dialect that read differently, and the cases the
      // start-position shortcuts could get wrong.
      {"x[\\D]", "xD x1", "", "xD"},  // only \d, \s, \w are classes in a set
      {"\\a\\e\\f\\q", "\x07\x1b\x0cq", "", "\x07\x1b\x0cq"},
      {"a{x}", "a{x}", "", "a{x}"},
      {"abc$", "abc\n", "", "<none>"},  // $ is the end of the input only
      {"b\\Z", "ab\n", "", "<none>"},
      {"a*", "", "", "<none>"},  // no start position before the terminating NUL (more in the differential)
      {"a*bc", "abd aabc", "", "aabc"},  // required literal found past a false start
      {"(a*){2,}", "aaa", "", "aaa"},  // a loop over something that can match empty ends
      {"(a*){2,}b", "b", "", "b"},
      {"(a*|b){3,5}c", "abc", "", "abc"},
      // Matching stops at the first NUL.
      {"ab", std::string("a\0ab", 4), "", "<none>"},
      {"a.", std::string("a\0ab", 4), "", "<none>"},
      {"a", std::string("\0ab", 3), "", "<none>"},
      // i: code-page letters (ASCII caseless matching is in the differential).
      {"\xE9t\xE9", "\xC9T\xC9", "i", "\xC9T\xC9"},  // Windows-1252 letters
      {"\x9A", "\x8A", "i", "\x8A"},
      {"\xDF", "SS", "i", "<none>"},
      // r: the Cyrillic ranges of Windows-1251 take YO.
      {"[\xE0-\xFF]+", "\xB8\xE0\xFF\xA8", "", "\xB8\xE0\xFF"},
      {"[\xE0-\xFF]+", "\xB8\xE0\xFF\xA8", "-r", "\xE0\xFF"},
      {"[\xC0-\xDF]+", "\xB8\xA8\xC0\xDF", "", "\xA8\xC0\xDF"},
      {"[\xE0-\xDF]+", "\xB8\xA8\xC0\xFF\xBF", "", "\xB8\xA8\xC0\xFF"},
      // s: dot and line separators.
      {"a.b", "a\rb", "", "a\rb"},
      {"a.b", "a\rb", "-s", "<none>"},
      {"a.b", "a\nb", "-s", "<none>"},
      {"a.+", "abc\ndef", "-s", "abc"},
      // g: greedy or not.
      {"a+", "aaa", "-g", "a"},
      {"a{2,}", "aaa", "-g", "aa"},
      {"(a|b)*c", "abc", "-g", "abc"},
      // m: line anchors.
      {"^b", "a\nb", "m", "b"},
      {"a$", "a\nb", "m", "a"},
      {"a$", "a\r\nb", "m", "a"},
      {"^\\n", "a\r\nb", "m", "<none>"},  // never between CR and LF
      {"\\r$", "a\r\nb", "m", "<none>"},
      {"^x", "a\rx", "m", "x"},
      {"\\Ab", "a\nb", "m", "<none>"},
      // x: white space and comments.
      {"a b # note\n c", "abc", "x", "abc"},
      {"a b", "a b", "x", "<none>"},
      {"a\\ b", "a b", "x", "a b"},
      {"a +", "aaa", "x", "aaa"},
      {"[a b]+", "x b a", "x", "b"},  // blanks in a set are dropped too
      {"[a\\ ]+", "xa a", "x", "a a"},
      {"[a - c]+", "x-bc", "x", "bc"},
      {"[^ a]+", "aa b", "x", " b"},
      {"[a#b\n]+", "#ab", "x", "a"},
      // Inline modifiers hold from their position on (more in the differential).
      {"(?i-g)A+", "aaa", "", "a"},
      {"(?x) a b", "ab", "", "ab"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchOf(c.pattern, c.subject, c.mods), c.match) << c.pattern << " /" << c.mods;
  }
}

TEST(Regex, ModifierControl) {
  TRegex re;
  EXPECT_FALSE(re.Modifier(9));
  uint32_t bits = 0;
  EXPECT_TRUE(TRegex::ParseModifiersStr("IrS-g", bits));
  EXPECT_EQ(bits, TRegex::kModI | TRegex::kModR | TRegex::kModS);
  EXPECT_FALSE(TRegex::ParseModifiersStr("iq", bits));

  // A modifier change recompiles an already compiled expression.
  re.SetModifier(1, false);
  re.SetExpression("ab");
  EXPECT_FALSE(re.Exec("AB"));
  re.SetModifier(1, true);
  EXPECT_TRUE(re.Exec("AB"));
  re.SetModifierBits(TRegex::kModR);
  EXPECT_FALSE(re.Exec("AB"));
}

TEST(Regex, SubMatchesAndOffsets) {
  TRegex re;
  re.SetExpression("(\\w+) - (\\w+)(x)?");
  ASSERT_TRUE(re.Exec("c:/music/Artist - Title.mp3"));
  EXPECT_EQ(re.GetMatch(0), "Artist - Title");
  EXPECT_EQ(re.GetMatch(1), "Artist");
  EXPECT_EQ(re.GetMatch(2), "Title");
  EXPECT_EQ(re.GetMatch(3), "");
  EXPECT_EQ(re.MatchPos(3), -1);
  EXPECT_EQ(re.GetMatch(15), "");
  EXPECT_EQ(re.GetMatch(-1), "");

  // Fourteen groups, the last one reachable.
  re.SetExpression("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)(m)(n)");
  ASSERT_TRUE(re.Exec("abcdefghijklmn"));
  EXPECT_EQ(re.GetMatch(14), "n");

  // A group inside a loop keeps its last iteration.
  re.SetExpression("(\\d)+!");
  ASSERT_TRUE(re.Exec("123!"));
  EXPECT_EQ(re.GetMatch(1), "3");

  re.SetExpression("a.");
  ASSERT_TRUE(re.Exec("a1a2a3"));
  EXPECT_TRUE(re.ExecPrim(2));
  EXPECT_EQ(re.GetMatch(0), "a2");
  EXPECT_EQ(re.MatchPos(0), 3);
  EXPECT_FALSE(re.ExecPrim(6));
  EXPECT_FALSE(re.ExecPrim(8));  // beyond the input: no match, no error
  EXPECT_EQ(re.GetMatch(0), "");
}

TEST(Regex, CustomCharacterClassesAndCaseTables) {
  TRegex re;
  re.SetWordCharacters("ab");
  re.SetExpression("\\w+");
  ASSERT_TRUE(re.Exec("xyzabba"));
  EXPECT_EQ(re.GetMatch(0), "abba");
  re.SetSpaceCharacters("_");
  re.SetExpression("\\s");
  ASSERT_TRUE(re.Exec("a b_c"));
  EXPECT_EQ(re.MatchPos(0), 4);

  // Windows-1251 case pairs, injected: upper C0-DF, lower E0-FF, YO A8/B8.
  RegexCaseTables cyr{};
  for (int c = 0; c < 256; ++c) {
    cyr.upper[static_cast<size_t>(c)] = static_cast<uint8_t>(c);
    cyr.lower[static_cast<size_t>(c)] = static_cast<uint8_t>(c);
  }
  for (int c = 0xE0; c <= 0xFF; ++c) {
    cyr.upper[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 32);
    cyr.lower[static_cast<size_t>(c - 32)] = static_cast<uint8_t>(c);
  }
  cyr.upper[0xB8] = 0xA8;
  cyr.lower[0xA8] = 0xB8;
  TRegex ru;
  ru.SetCaseTables(cyr);
  ru.SetModifier(1, true);
  EXPECT_EQ(ru.InvertCase(0xB8), 0xA8);
  EXPECT_EQ(ru.InvertCase('a'), 'a');  // these tables know no Latin letters
  ru.SetExpression("\xEC\xF3\xE7\xFB\xEA\xE0");
  EXPECT_TRUE(ru.Exec("\xCC\xD3\xC7\xDB\xCA\xC0"));
  ru.SetExpression("[\xE0-\xFF]+");
  ASSERT_TRUE(ru.Exec("\xA8\xCB\xCA\xC0"));
  EXPECT_EQ(ru.GetMatch(0), "\xA8\xCB\xCA\xC0");

  // Tables need not be symmetric: micro's upper case is a letter whose lower
  // case is another one. Every spelling must find every other.
  RegexCaseTables odd = Cp1252RegexCaseTables();
  odd.upper[0xB5] = 0xCC;
  TRegex micro;
  micro.SetCaseTables(odd);
  micro.SetModifier(1, true);
  for (const char* pattern : {"\xB5", "\xCC", "[\xCC]", "[\xB5]", "x*\xCC"}) {
    micro.SetExpression(pattern);
    for (const char* subject : {"-\xB5", "-\xCC"}) EXPECT_TRUE(micro.Exec(subject)) << pattern << " " << subject;
  }
  micro.SetExpression("\xB5");
  EXPECT_FALSE(micro.Exec("\xEC"));

  // A flip function of one's own: x and y are each other's other case.
  EXPECT_EQ(TRegex::InvertCaseFunction('a'), 'A');
  EXPECT_EQ(TRegex::InvertCaseFunction('A'), 'a');
  EXPECT_EQ(TRegex::InvertCaseFunction('1'), '1');
  TRegex swap;
  swap.SetModifier(1, true);
  swap.SetExpression("x[x]");
  ASSERT_TRUE(swap.Exec("xX"));
  swap.SetCaseFlip([](uint8_t c) -> uint8_t { return c == 'x' ? 'y' : c == 'y' ? 'x' : c; });
  EXPECT_FALSE(swap.Exec("xX"));
  ASSERT_TRUE(swap.Exec("yxy"));
  EXPECT_EQ(swap.GetMatch(0), "yx");
  swap.SetCaseFlip(nullptr);
  ASSERT_TRUE(swap.Exec("xX"));
  EXPECT_EQ(swap.CaseFlip()('b'), 'B');
}

TEST(Regex, PathologicalPatternsEndWithAnError) {
  // Deep recursion: a loop whose every iteration nests one level deeper.
  TRegex deep;
  deep.SetExpression("(a|b){1,100000}c");
  if (const auto e = ThrownBy<ERegexError>([&] { deep.Exec(std::string(100000, 'a') + "-c"); })) {
    EXPECT_EQ(e->ErrorNumber, E::kRecursionTooDeep);
  }
  // Short enough: still found.
  deep.SetExpression("(a|b){1,100000}c");
  EXPECT_TRUE(deep.Exec(std::string(200, 'a') + "c"));

  // Exponential backtracking runs into the step budget.
  TRegex slow;
  slow.SetStepLimit(100000);
  slow.SetExpression("(a|a)*c");
  if (const auto e = ThrownBy<ERegexError>([&] { slow.Exec(std::string(30, 'a') + "bc"); })) {
    EXPECT_EQ(e->ErrorNumber, E::kStepLimit);
  }

  // A name without the literal every match needs is turned away before any
  // backtracking, also when the pattern opens with a group.
  for (const char* pattern : {"(.*) - (.*)", "((.*)) - (.*)", "(.+) - (.+)"}) {
    TRegex name;
    name.SetStepLimit(1000);
    name.SetExpression(pattern);
    EXPECT_FALSE(name.Exec(std::string(5000, 'x'))) << pattern;
    ASSERT_TRUE(name.Exec("Artist - Title")) << pattern;
    EXPECT_EQ(name.GetMatch(name.GetMatch(2) == "Artist" ? 3 : 2), "Title") << pattern;
  }
}

}  // namespace
}  // namespace kv
