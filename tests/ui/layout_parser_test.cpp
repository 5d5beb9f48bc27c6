#include "ui/layout_parser.h"

#include <gtest/gtest.h>

namespace kv::ui {
namespace {

TEST(LayoutParser, ReadsBlocksPropertiesAndValues) {
  const TLayoutNode root = ParseLayout(
      "# comment\n"
      "object Main: TForm   # trailing comment\n"
      "  Caption = \"Say \\\"hi\\\" \\x80\\\\\"\n"
      "  Left = -12\n"
      "  Align = alClient\n"
      "  Anchors = [akLeft, akRight]\n"
      "  Empty = []\n"
      "  Items = (\"a\", 2, b)\n"
      "  Font.Style = [fsBold]\n"
      "  object Inner: TPanel\n"
      "    object Deep: TButton\n"
      "    end\n"
      "  end\n"
      "  object Second: TLabel end\n"
      "end\n",
      "main.layout");
  EXPECT_EQ(root.name, "Main");
  EXPECT_EQ(root.className, "TForm");
  ASSERT_EQ(root.properties.size(), 7u);
  EXPECT_EQ(root.properties[0].value.text, "Say \"hi\" \x80\\");
  EXPECT_EQ(root.properties[0].line, 3);
  EXPECT_EQ(root.properties[1].value.number, -12);
  EXPECT_EQ(root.properties[2].value.kind, TLayoutValue::Kind::Ident);
  ASSERT_EQ(root.properties[3].value.items.size(), 2u);
  EXPECT_EQ(root.properties[3].value.items[1].text, "akRight");
  EXPECT_TRUE(root.properties[4].value.items.empty());
  ASSERT_EQ(root.properties[5].value.items.size(), 3u);
  EXPECT_EQ(root.properties[5].value.items[1].number, 2);
  EXPECT_EQ(root.properties[6].name, "Font.Style");
  ASSERT_EQ(root.children.size(), 2u);
  EXPECT_EQ(root.children[0].children[0].name, "Deep");
  EXPECT_EQ(root.children[0].children[0].line, 11);
  EXPECT_EQ(root.children[1].className, "TLabel");
}

TEST(LayoutParser, ErrorsNameFileAndLine) {
  struct Case {
    const char* text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"", 1, "expected \"object\""},
      {"object A: TForm\n  Caption = \"open\nend\n", 2, "unterminated string"},
      {"object A: TForm\n  Left = 12x\nend\n", 2, "malformed number"},
      {"object A: TForm\n  Left = 99999999999\nend\n", 2, "out of range"},
      {"object A: TForm\n  Left 12\nend\n", 2, "expected \"=\""},
      {"object A: TForm\n  Set = [a, 1]\nend\n", 2, "expected a name"},
      {"object A: TForm\n  L = (\"a\", (\"b\"))\nend\n", 2, "expected a name"},
      {"object A: TForm\n  T = \"\\q\"\nend\n", 2, "unknown escape"},
      {"object A: TForm\n  T = \"\\x4\"\nend\n", 2, "two hexadecimal digits"},
      {"object A: TForm\n  object B: TPanel\n", 3, "missing \"end\" of B"},
      {"object A TForm\nend\n", 1, "expected \":\""},
      {"object A: TForm\nend\nobject B: TForm\nend\n", 3, "text after the root block"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ParseLayout(c.text, "bad.layout");
      ADD_FAILURE() << "parsed";
    } catch (const ELayoutError& e) {
      EXPECT_EQ(e.Line(), c.line);
      const std::string what = e.what();
      EXPECT_EQ(what.rfind("bad.layout:" + std::to_string(c.line) + ": ", 0), 0u) << what;
      EXPECT_NE(what.find(c.message), std::string::npos) << what;
    }
  }
}

TEST(LayoutParser, NestingIsCapped) {
  std::string text;
  for (int i = 0; i <= kMaxLayoutDepth; ++i) text += "object A: TPanel\n";
  EXPECT_THROW(ParseLayout(text, "deep.layout"), ELayoutError);
}

}  // namespace
}  // namespace kv::ui
