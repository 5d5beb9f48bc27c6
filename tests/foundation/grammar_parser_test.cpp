#include "foundation/grammar_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/foundation/foundation_test_util.h"

namespace kv {
namespace {

// "rule@start+len(children...)" for the start rule's node and everything below it.
std::string Dump(const TAnaTree& node) {
  std::string out = std::to_string(node.Rule) + "@" + std::to_string(node.Start) + "+" + std::to_string(node.Len);
  if (node.Count() > 0) {
    out += "(";
    for (size_t i = 0; i < node.Count(); ++i) out += (i ? " " : "") + Dump(node.Item(i));
    out += ")";
  }
  return out;
}

struct MatchCase {
  const char* rules;
  std::string text;
  const char* tree;  // expected dump, or nullptr when the text must be refused
  int64_t failPos;
  const char* message;
};

TEST(GrammarParser, EveryOperatorMatchesAndFailsAsWritten) {
  const MatchCase cases[] = {
      // literals; white space before a literal is skipped; operator characters escaped
      {"a=ab", "a \t\r\nb", "0@1+6", 0, ""},
      {"a=ab", "ab", "0@1+2", 0, ""},
      {"a=\\[x\\]\\|", "[x]|", "0@1+4", 0, ""},
      {"a=aB", "ab", nullptr, 2, "Syntax error: \"B\" expected"},
      {"a=xy", "x", nullptr, 2, "Syntax error: \"y\" expected"},  // past the end
      {"a=x", "xyz", "0@1+1", 0, ""},                              // the rest is not looked at
      // optional part and repetition
      {"a=x[y]z", "xz", "0@1+2", 0, ""},
      {"a=x[y]z", "xyz", "0@1+3", 0, ""},
      {"a=x{y}z", "xyyyz", "0@1+5", 0, ""},
      {"a=x{y}z", "xyyq", nullptr, 4, "Syntax error: \"z\" expected"},
      {"a={[x]}y", "y", "0@1+1", 0, ""},  // a pass matching nothing ends the repetition
      // alternatives: the first that matches wins
      {"a=(ab|ac|d)", "ac", "0@1+2", 0, ""},
      {"a=(ab|ac|d)", "d", "0@1+1", 0, ""},
      {"a=(ab|ac|d)e", "ae", nullptr, 1, "Syntax error: \"d\" expected"},
      // rule references build the tree; a sub-rule must consume something
      {"s=<w>{,<w>}\r\nw=$", "ab,c1", "0@1+5(1@1+2 1@4+2)", 0, ""},
      {"s=<W>\r\nw=x", "x", "0@1+1(1@1+1)", 0, ""},
      {"a=x<b>\r\nb=[y]", "xz", nullptr, 2, ""},
      {"a=(<b>|<c>)\r\nb=xyz\r\nc=xq", "xyw", nullptr, 3, "Syntax error: \"z\" expected"},  // furthest failure
      // what an abandoned attempt built is dropped again
      {"a=[<b>z]<b>q\r\nb=x", "xq", "0@1+2(1@1+1)", 0, ""},
      // identifier, number, white space
      {"a=$", "a1b2-", "0@1+4", 0, ""},
      {"a=$", "1a", nullptr, 1, "Syntax error: identifier expected"},
      {"a=#", "0123x", "0@1+4", 0, ""},
      {"a=#", "x", nullptr, 1, ""},
      {"a=x y", "x \r\n\ty", "0@1+6", 0, ""},
      {"a=x y", "xy", "0@1+2", 0, ""},
      // runs up to a delimiter
      {"a=^;", "abc;d", "0@1+3", 0, ""},
      {"a=^;", ";", nullptr, 1, "Syntax error: delimiter \";\" not found"},
      {"a=^;", "abc", nullptr, 1, "Syntax error: delimiter \";\" not found"},
      {"a=^;^,", "ab,c;", "0@1+2", 0, ""},
      {"a=^\\n", "ab\r\ncd", "0@1+2", 0, ""},
      {"a=^;(\\)", "ab\\;c;d", "0@1+5", 0, ""},  // an escaped delimiter does not end the run
      // skip to a text; absent: to the end
      {"a=x~end~y", "x..endy", "0@1+7", 0, ""},
      {"a=x~end~", "xabc", "0@1+4", 0, ""},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.rules) + " on " + c.text);
    TAnalyser a;
    a.LoadLang(c.rules);
    if (c.tree) {
      ASSERT_NO_THROW(a.Parse(c.text));
      ASSERT_EQ(a.Tree()->Count(), 1u);
      EXPECT_EQ(Dump(a.Tree()->Item(0)), c.tree);
    } else if (const auto e = ThrownBy<EParseError>([&] { a.Parse(c.text); })) {
      EXPECT_EQ(e->Position(), c.failPos);
      EXPECT_EQ(std::string(e->what()), c.message);
      EXPECT_EQ(a.Tree()->Count(), 0u);  // only the root is left
    }
  }
}

TEST(GrammarParser, MalformedRulesAreRefusedWithTheirMessage) {
  const struct {
    const char* rules;
    const char* text;  // parsed when the error only shows while matching
    const char* message;
  } cases[] = {
      {"a=<b", nullptr, "Error in syntax definition : \">\" not found"},
      {"a=<b>", nullptr, "Error in syntax definition : element not found (b)"},
      {"a=~abc", nullptr, "Error in syntax definition : second \"~\" not found"},
      {"a=x^", nullptr, "Error in syntax definition : delimiter after \"^\" not found"},
      {"a=[x", "y", "Error in syntax definition : close item is absent"},
      {"a=(x|y", "x", "Error in syntax definition : close item is absent"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rules);
    TAnalyser a;
    const auto e = ThrownBy<ESyntaxDefinitionError>([&] {
      a.LoadLang(c.rules);
      if (c.text) a.Parse(c.text);
    });
    if (e) {
      EXPECT_EQ(std::string(e->what()), c.message);
    }
  }
}

TEST(GrammarParser, NestingIsCappedInsteadOfOverflowingTheStack) {
  TAnalyser a;
  a.LoadLang("a=x[<a>]");
  EXPECT_NO_THROW(a.Parse(std::string(TAnalyser::kMaxDepth, 'x')));
  if (const auto e = ThrownBy<EParseError>([&] { a.Parse(std::string(100000, 'x')); })) {
    EXPECT_EQ(e->Position(), TAnalyser::kMaxDepth + 1);
    EXPECT_EQ(a.Tree()->Count(), 0u);
  }
}

TEST(GrammarParser, NoRulesParsesNothingAndRulesCanBeReplaced) {
  TAnalyser a;
  EXPECT_NO_THROW(a.Parse("anything"));
  EXPECT_EQ(a.Tree(), nullptr);
  a.LoadLang("a=x\r\nb=y");
  a.Parse("y", 1);
  EXPECT_EQ(Dump(a.Tree()->Item(0)), "1@1+1");
  a.LoadLang("c=z");
  EXPECT_THROW(a.Parse("y"), EParseError);
  EXPECT_THROW(a.Tree()->Remove(0), std::out_of_range);
}

// Tells in a shared log when the node carrying it is freed.
class TFreeLog : public TNodeData {
 public:
  TFreeLog(std::string& log, char name) : log_(log), name_(name) {}
  ~TFreeLog() override { log_ += name_; }

 private:
  std::string& log_;
  char name_;
};

TEST(GrammarParser, TreeNodesLinkAndUnlinkAndFreeTheirChildrenLastFirst) {
  std::string freed;
  auto root = std::make_unique<TAnaTree>();
  for (char name : std::string("abcd")) {
    TAnaTree& child = TAnaTree::Create(*root, int64_t{name}, uint8_t{0});
    EXPECT_EQ(child.Parent, root.get());
    child.Data = std::make_unique<TFreeLog>(freed, name);
    TAnaTree::Create(child, int64_t{1}, uint8_t{1}).Data = std::make_unique<TFreeLog>(freed, 'x');
  }
  ASSERT_EQ(root->Count(), 4u);
  std::unique_ptr<TAnaTree> b = root->Remove(1);
  EXPECT_EQ(b->Parent, nullptr);
  EXPECT_EQ(root->Item(1).Start, 'c');  // the gap is closed
  EXPECT_EQ(freed, "");
  root->Delete(0);
  EXPECT_EQ(freed, "ax");
  b.reset();
  EXPECT_EQ(freed, "axbx");
  root.reset();  // its own data first, then c and d, d before c
  EXPECT_EQ(freed, "axbxdxcx");
  TAnaTree empty;
  EXPECT_THROW(empty.Delete(0), std::out_of_range);
}

// Rule names are found whatever their letter case; of two alike the first counts.
TEST(GrammarParser, RuleNamesIgnoreCaseAndTheFirstOfTwoAlikeIsReferenced) {
  TAnalyser a;
  a.LoadLang("s=<Zeta><alpha>\r\nALPHA=x\r\nzeta=y\r\nAlpha=z");
  a.Parse("yx");
  EXPECT_EQ(Dump(a.Tree()->Item(0)), "0@1+2(2@1+1 1@2+1)");
  EXPECT_THROW(a.Parse("yz"), EParseError);
}

}  // namespace
}  // namespace kv
