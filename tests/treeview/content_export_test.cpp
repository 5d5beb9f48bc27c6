// Text building of the tree's exports and the tree references of the clipboard.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "treeview/content_export.h"
#include "treeview/tree_registry.h"

namespace kv {
namespace {

TEST(ContentExport, Utf16ToUtf8TakesOnlyHighLowPairs) {
  struct Case {
    std::u16string in;
    std::string out;
  } cases[] = {
      {u"", ""},
      {u"A\u00E9\u20AC", "A\xC3\xA9\xE2\x82\xAC"},
      {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
      {u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
      {u"x\xD83D", "x"},                          // high at the end
      {u"\xD83D" u"a", "a"},                          // high without low
      {u"\xDE00" u"b", "b"},                      // lone low
      {u"\xDC00\xD800", ""},                      // low before high is no pair
      {u"\xDE00\xD83D\xDE00", "\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) EXPECT_EQ(UTF16ToUTF8(c.in), c.out);
}

TEST(ContentExport, FragmentOffsetsPointAtTheFragment) {
  for (const std::string& html : {std::string(), std::string("<table>\xC3\xA9</table>")}) {
    const std::string block = MakeFragment(html);
    auto offset = [&](const std::string& key) {
      return std::stoul(block.substr(block.find(key + ":") + key.size() + 1, 8));
    };
    EXPECT_EQ(block.find("<!DOCTYPE"), 97u);
    EXPECT_EQ(offset("StartHTML"), 97u);
    EXPECT_EQ(offset("StartFragment"), 269u);
    EXPECT_EQ(offset("EndFragment"), 269u + html.size());
    EXPECT_EQ(offset("EndHTML"), 301u + html.size());
    EXPECT_EQ(block.size(), offset("EndHTML"));
    EXPECT_EQ(block.substr(269, html.size()), html);
  }
}

// Past 99,999,999 bytes the offset fields grow; every offset still names
// its place (the document after the description, the fragment, the end).
TEST(ContentExport, FragmentOffsetsOfHugeBlocks) {
  const std::uint64_t fixed = 97 + 172 + 32;  // description, document head, tail at 8 digits
  const std::uint64_t sizes[] = {0, 99'999'999 - fixed, 99'999'999 - fixed + 1, 5'000'000'000ULL,
                                 999'999'999'999ULL};
  for (std::uint64_t size : sizes) {
    SCOPED_TRACE(size);
    const std::string d = FragmentDescription(size);
    auto field = [&](const std::string& key) {
      const std::size_t at = d.find(key + ":") + key.size() + 1;
      const std::size_t end = d.find("\r\n", at);
      return std::pair{std::stoull(d.substr(at, end - at)), end - at};
    };
    const auto [startHtml, width] = field("StartHTML");
    EXPECT_EQ(startHtml, d.size());
    EXPECT_EQ(field("StartFragment").first, d.size() + 172);
    EXPECT_EQ(field("EndFragment").first, d.size() + 172 + size);
    EXPECT_EQ(field("EndHTML").first, d.size() + 172 + size + 32);
    for (const char* key : {"EndHTML", "StartFragment", "EndFragment"}) EXPECT_EQ(field(key).second, width);
    EXPECT_EQ(width, std::max<std::size_t>(8, std::to_string(field("EndHTML").first).size()));
  }
  EXPECT_EQ(FragmentDescription(99'999'999 - fixed).size(), 97u);
  EXPECT_EQ(FragmentDescription(99'999'999 - fixed + 1).size(), 101u);
}

TExportLayout TwoLevels(bool columns) {
  TExportLayout layout;
  auto row = [](int level, std::u16string a, std::u16string b) {
    TExportRow r;
    r.level = level;
    r.height = 18;
    r.cells.push_back({std::move(a), {}, false});
    r.cells.push_back({std::move(b), {}, false});
    return r;
  };
  layout.rows = {row(0, u"top", u"a,b"), row(1, u"say \"hi\"", u"\u20AC"), row(0, u"<x&y>", u"")};
  if (columns) {
    layout.columns = {{u"Name", 100, TExportAlignment::Left, false, true},
                      {u"Value", 50, TExportAlignment::Right, false, false}};
  } else {
    for (auto& r : layout.rows) r.cells.resize(1);
  }
  return layout;
}

TEST(ContentExport, TextUnicodeAndCsvLayouts) {
  // Without columns a row is its level tabs and the text as it stands.
  EXPECT_EQ(ContentToText(TwoLevels(false), '\t'), "top\r\n\tsay \"hi\"\r\n<x&y>\r\n");
  EXPECT_EQ(ContentToUnicode(TwoLevels(false), u'\t'), u"top\r\n\tsay \"hi\"\r\n<x&y>\r\n");
  // Only a separator or a line break inside the text, which would read as a
  // level or a new row, makes it quoted.
  TExportLayout breaking = TwoLevels(false);
  breaking.rows[0].cells[0].text = u"a\tb";
  breaking.rows[1].cells[0].text = u"two\r\n\"lines\"";
  breaking.rows[2].cells[0].text = u"x,y";
  EXPECT_EQ(ContentToText(breaking, '\t'), "\"a\tb\"\r\n\t\"two\r\n\"\"lines\"\"\"\r\nx,y\r\n");
  EXPECT_EQ(ContentToUnicode(breaking, u','), u"a\tb\r\n,\"two\r\n\"lines\"\"\r\n\"x,y\"\r\n");
  EXPECT_EQ(ContentToText(TwoLevels(true), ','),
            "Name,,Value\r\n"
            "top,,\"a,b\"\r\n"
            ",\"say \"\"hi\"\"\",\x80\r\n"
            "<x&y>,,\r\n");
  EXPECT_EQ(ContentToUnicode(TwoLevels(true), u','),
            u"Name,,Value\r\n"
            u"top,,\"a,b\"\r\n"
            u",say \"hi\",\u20AC\r\n"
            u"<x&y>,,\r\n");
}

TEST(ContentExport, RtfWritesEveryUnitAsSignedEscape) {
  TExportLayout layout = TwoLevels(false);
  layout.rows.resize(1);
  layout.treeFont = {u"Tahoma", 8, true, false, false, 0x0000FF};
  for (auto& r : layout.rows) r.cells[0].font = layout.treeFont;
  layout.rows[0].cells[0].text = u"\u20AC\uFFFD{\\";
  const std::string rtf = ContentToRTF(layout);
  EXPECT_EQ(rtf,
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl{\\f0 Tahoma;}}{\\colortbl;\\red255\\green0\\blue0;}"
            "\\uc1\\trowd\\trgaph70\\cellx3000\\pard\\intbl\\b\\f0\\cf1\\fs16 "
            "\\u8364\\'3f\\u-3\\'3f\\u123\\'3f\\u92\\'3f\\b0\\cell\\row\\pard\\par}");
}

TEST(ContentExport, HtmlEscapesTextsAndAttributes) {
  TExportLayout layout = TwoLevels(true);
  layout.rows[0].cells[0].fontChanged = true;
  layout.rows[0].cells[0].font.name = u"A\"B";
  const std::string html = ContentToHTML(layout, u"c<\"d\">");
  EXPECT_NE(html.find("caption=\"c&lt;&quot;d&quot;&gt;\""), std::string::npos);
  EXPECT_NE(html.find(">&lt;x&amp;y&gt;</td>"), std::string::npos);
  EXPECT_NE(html.find(">say &quot;hi&quot;</td>"), std::string::npos);
  EXPECT_NE(html.find("style=\"{font: 8pt &quot;A&quot;B&quot;;color:#000000;}\""), std::string::npos);
  EXPECT_EQ(html.find("<x"), std::string::npos);
  EXPECT_EQ(html.substr(html.size() - 8), "</table>");
}

TEST(TreeRegistry, ReferencesNameLiveTreesOfThisProcessOnly) {
  int tree = 0;
  auto registration = std::make_unique<TLiveTreeRegistration>(&tree);
  const std::uint32_t serial = registration->Serial();
  std::uint8_t block[kTreeReferenceSize];
  MakeTreeReference(1234, serial, block);
  EXPECT_EQ(ParseTreeReference(block, sizeof block, 1234), serial);
  EXPECT_EQ(FindLiveTree(serial), &tree);
  EXPECT_FALSE(ParseTreeReference(block, sizeof block, 1235));
  EXPECT_FALSE(ParseTreeReference(block, 7, 1234));
  EXPECT_FALSE(ParseTreeReference(nullptr, 8, 1234));
  registration.reset();
  EXPECT_EQ(FindLiveTree(serial), nullptr);
  TLiveTreeRegistration next(&tree);
  EXPECT_NE(next.Serial(), serial);
}

}  // namespace
}  // namespace kv
