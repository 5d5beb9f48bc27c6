#include "ui/layout_parser.h"

#include <gtest/gtest.h>

namespace kv::ui {
namespace {

struct ErrorCase {
  const char* text;
  int line;
  const char* message;
};

// Each text fails with its message, naming the file and the line.
template <size_t N>
void ExpectErrors(const ErrorCase (&cases)[N]) {
  for (const ErrorCase& c : cases) {
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
  const ErrorCase cases[] = {
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
  ExpectErrors(cases);
}

TEST(LayoutParser, ReadsCollectionsOfItems) {
  const TLayoutNode root = ParseLayout(
      "object Main: TForm\n"
      "  Columns = <\n"
      "    item\n"
      "      Text = \"Name\"\n"
      "      Options = [coVisible, coEnabled]\n"
      "    end\n"
      "    item end  # an empty item\n"
      "    item Nested = <item\n"
      "        Width = 3 end>\n"
      "      Width = 7 end>\n"
      "  Empty = <>\n"
      "  Left = 1\n"
      "end\n",
      "items.layout");
  ASSERT_EQ(root.properties.size(), 3u);
  const TLayoutValue& columns = root.properties[0].value;
  EXPECT_EQ(columns.kind, TLayoutValue::Kind::Collection);
  ASSERT_EQ(columns.collection.size(), 3u);
  EXPECT_EQ(columns.collection[0].line, 3);
  const std::vector<TLayoutProperty>& first = columns.collection[0].properties;
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].value.text, "Name");
  EXPECT_EQ(first[1].line, 5);
  EXPECT_EQ(first[1].value.items.size(), 2u);
  EXPECT_TRUE(columns.collection[1].properties.empty());
  const std::vector<TLayoutProperty>& third = columns.collection[2].properties;
  ASSERT_EQ(third.size(), 2u);
  ASSERT_EQ(third[0].value.collection.size(), 1u);
  EXPECT_EQ(third[0].value.collection[0].properties[0].line, 9);
  EXPECT_EQ(third[0].value.collection[0].properties[0].value.number, 3);
  EXPECT_EQ(third[1].value.number, 7);
  EXPECT_TRUE(root.properties[1].value.collection.empty());
  EXPECT_EQ(root.properties[1].value.kind, TLayoutValue::Kind::Collection);
  EXPECT_EQ(root.properties[2].line, 12);
}

TEST(LayoutParser, CollectionErrorsNameTheLine) {
  const ErrorCase cases[] = {
      {"object A: TForm\n  C = <\n    Text = \"x\"\n  >\nend\n", 3, "expected \"item\" or \">\""},
      {"object A: TForm\n  C = <\n    item\n      Text = \"x\"\n", 5, "missing \"end\" of the item"},
      {"object A: TForm\n  C = <item end\nend\n", 3, "expected \"item\" or \">\""},
      {"object A: TForm\n  C = <item\n    Width 5\n  end>\nend\n", 3, "expected \"=\""},
      {"object A: TForm\n  L = (<item end>)\nend\n", 2, "expected a name"},
      {"object A: TForm\n  C = <item\n    object B: TPanel end\n  end>\nend\n", 3, "expected \"=\""},
  };
  ExpectErrors(cases);
}

TEST(LayoutParser, CollectionsAreBounded) {
  // Items holding collections count as nesting, inside nested blocks too.
  std::string deep = "object A: TForm\n", mixed, many = "object A: TForm\n  C = <";
  for (int i = 0; i < kMaxLayoutDepth; ++i) deep += "C = <item\n";
  for (int i = 0; i < kMaxLayoutDepth - 1; ++i) mixed += "object A: TPanel\n";
  mixed += "C = <item C = <item";
  for (size_t i = 0; i < kMaxLayoutItems; ++i) many += "item end ";
  EXPECT_EQ(ParseLayout(many + ">\nend\n", "many.layout").properties[0].value.collection.size(),
            kMaxLayoutItems);
  many += "\nitem end>\nend\n";
  const ErrorCase cases[] = {{deep.c_str(), kMaxLayoutDepth + 1, "nested too deeply"},
                             {mixed.c_str(), kMaxLayoutDepth, "nested too deeply"},
                             {many.c_str(), 3, "items in a collection"}};
  ExpectErrors(cases);
}

TEST(LayoutParser, NestingIsCapped) {
  std::string text;
  for (int i = 0; i <= kMaxLayoutDepth; ++i) text += "object A: TPanel\n";
  EXPECT_THROW(ParseLayout(text, "deep.layout"), ELayoutError);
}

}  // namespace
}  // namespace kv::ui
