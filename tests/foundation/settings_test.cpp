#include "foundation/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <cstdio>
#include <string>
#include <vector>

#include "base/strings.h"
#include "tests/foundation/foundation_test_util.h"
#include "tests/support/allocation_meter.h"

namespace kv {
namespace {

const std::string kHead = "<?xml version=\"1.0\" encoding=\"Windows-1252\" ?>\r\n<XMLConfig><info>t</info>\r\n";

std::string File(const std::string& body) { return kHead + body + "</XMLConfig>"; }

// A store over text that is never written anywhere.
TXMLConfig Load(const std::string& text) { return TXMLConfig("f.conf.xml", text); }

std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Settings, LookupIgnoresCaseAndOuterDotsAndMissingKeysGiveTheDefault) {
  TXMLConfig c = Load(File("<group name=\"Options\"><group name=\"General\">"
                           "<param name=\"LangFile\">x.lng</param><param name=\"M\xE4rz\">3</param></group></group>"));
  EXPECT_EQ(c.ReadString("options", "General.M\xC4RZ", "d"), "3");  // Ä and ä are one letter
  EXPECT_EQ(c.ReadString("Options", "General.LangFile", "d"), "x.lng");
  EXPECT_EQ(c.ReadString("OPTIONS", "general.langfile", "d"), "x.lng");
  EXPECT_EQ(c.ReadString(".Options.", ".General.LangFile..", "d"), "x.lng");
  EXPECT_EQ(c.ReadString("Options", "General.Other", "d"), "d");
  EXPECT_EQ(c.ReadString("Options", "General.LangFile.Deeper", "d"), "d");  // a param mid-path
  EXPECT_EQ(c.ReadString("Options", "General", "d"), "d");  // a group without an own value
  EXPECT_FALSE(c.Modified);
}

TEST(Settings, AParamGivenAChildBecomesAGroupKeepingItsValue) {
  TXMLConfig c = Load(NewSettingsText("t"));
  c.WriteString("A", "B", "1");
  c.WriteString("A", "B.C", "2");
  EXPECT_EQ(c.ReadString("A", "B", ""), "1");
  EXPECT_EQ(c.ReadString("A", "B.C", ""), "2");
  const std::string text = c.GetXMLText();
  EXPECT_EQ(text, File("<group name=\"A\">\r\n <group name=\"B\">\r\n  <param name=\"\">1</param>\r\n"
                       "  <param name=\"C\">2</param>\r\n </group>\r\n</group>\r\n"));
  TXMLConfig again = Load(text);
  EXPECT_EQ(again.ReadString("a", "b", ""), "1");
  EXPECT_EQ(again.ReadString("a", "b.c", ""), "2");
}

TEST(Settings, ValuesAreEncodedAndReadBack) {
  const struct {
    std::string value, written, readBack;
  } cases[] = {
      // Python's files (settings_oracle.py) cover plain values, <, >, CR LF and "$1".
      {"\r\nx", "\r\n\r\nx", "\r\nx"},
      {"a&b \"q\"", "a&b \"q\"", "a&b \"q\""},
      // A literal entity text comes back as it was (a folder may be named "&lt;").
      {"&lt;", "&amp;lt;", "&lt;"},
      {"C:\\&gt;\\&amp;&\\<&x", "C:\\&amp;gt;\\&amp;amp;&\\&lt;&x", "C:\\&gt;\\&amp;&\\<&x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    TXMLConfig s = Load(NewSettingsText("t"));
    s.WriteString("S", "$1", c.value);
    const std::string text = s.GetXMLText();
    EXPECT_EQ(text, File("<group name=\"S\">\r\n <param name=\"$1\">" + c.written + "</param>\r\n</group>\r\n"));
    EXPECT_EQ(s.ReadString("S", "$1", "missing"), c.value);  // as written, before any save
    EXPECT_EQ(Load(text).ReadString("S", "$1", "missing"), c.readBack);
  }
  // Written by hand (or by an older version): the entities read as their characters.
  EXPECT_EQ(Load(File("<p n=\"v\">&lt;&gt;&amp;&quot;&</p>\r\n")).ReadString("v", "", ""), "<>&&quot;&");
}

TEST(Settings, ShortFormsAndWhiteSpaceInsideTagsAreReadAndWrittenLong) {
  const std::string text =
      "<?xml  version = \"1.0\"\r\nencoding=\"Windows-1252\"?>\t< XMLConfig >< info >i</ info>"
      "<g n=\"S\" ><p\r\nn = \"k\">v</param><param name=\"\"></p>\r\n</group >"
      "<p n=\"top\"> w </p></XMLConfig >trailing text is ignored";
  TXMLConfig c = Load(text);
  EXPECT_EQ(c.Info, "i");
  EXPECT_EQ(c.ReadString("S", "k", ""), "v");
  EXPECT_EQ(c.ReadString("top", "", ""), " w ");  // a top-level param is its own section
  EXPECT_EQ(c.GetXMLText(), "<?xml version=\"1.0\" encoding=\"Windows-1252\" ?>\r\n<XMLConfig><info>i</info>\r\n"
                            "<group name=\"S\">\r\n <param name=\"k\">v</param>\r\n <param name=\"\"></param>\r\n"
                            "</group>\r\n<param name=\"top\"> w </param>\r\n</XMLConfig>");
}

TEST(Settings, LoadErrorsNameTheLineAndColumn) {
  const struct {
    std::string text;
    const char* where;
  } cases[] = {
      {"", "0:0"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<XMLConfig><info>t</info></XMLConfig>", "1:31"},
      {"<?xml version=\"1.0\" encoding=\"Windows-1252\" ?>\r\n<XMLConfig>\r\n<group name=\"a\"></group>"
       "</XMLConfig>", "3:2"},
      {File("<!-- note -->"), "3:2"},
      {File("<group name=\"\"></group>"), "3:14"},  // a group needs a name
      {File("<group name=\"a\"><param name=\"b\">x</group></group>"), "3:36"},
      {kHead + "<group name=\"a\">", "3:17"},  // ends inside the group: just past the end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    if (const auto e = ThrownBy<EParseError>([&] { Load(c.text); })) {
      EXPECT_EQ(std::string(e->what()), std::string("Error in config file \"f.conf.xml\" at position ") + c.where);
    }
  }
}

TEST(Settings, DeletedItemsAreHiddenUntilWrittenAgain) {
  TXMLConfig c = Load(File("<group name=\"S\"><param name=\"a\">1</param><group name=\"G\">"
                           "<param name=\"x\">9</param></group><param name=\"b\">2</param></group>"
                           "<param name=\"top\">3</param><group name=\"T\"></group>"));
  std::vector<std::string> list;
  c.ReadSection("S", list);
  EXPECT_EQ(list, (std::vector<std::string>{"a", "b"}));
  c.ReadSections(list);
  EXPECT_EQ(list, (std::vector<std::string>{"S", "T"}));
  c.ReadSectionValues("s", list);
  EXPECT_EQ(list, (std::vector<std::string>{"a=1", "b=2"}));

  c.DeleteKey("S", "a");
  c.EraseSection("S.G");
  EXPECT_TRUE(c.Modified);
  EXPECT_EQ(c.ReadString("S", "a", "d"), "d");
  EXPECT_EQ(c.ReadString("S", "G.x", "d"), "d");
  c.ReadSection("S", list);
  EXPECT_EQ(list, (std::vector<std::string>{"b"}));
  c.WriteString("S", "G.y", "5");  // revives G, empty
  EXPECT_EQ(c.ReadString("S", "G.x", "d"), "d");
  EXPECT_EQ(c.GetXMLText(), File("<group name=\"S\">\r\n <group name=\"G\">\r\n  <param name=\"y\">5</param>\r\n"
                                 " </group>\r\n <param name=\"b\">2</param>\r\n</group>\r\n"
                                 "<param name=\"top\">3</param>\r\n<group name=\"T\">\r\n</group>\r\n"));
  c.EraseSection("T");
  c.ReadSections(list);
  EXPECT_EQ(list, (std::vector<std::string>{"S"}));
}

TEST(Settings, NamesTheFileCannotHoldAreRefusedAndChangeNothing) {
  const std::string text = File("<group name=\"S\"><param name=\"\">own</param></group>");
  const struct {
    const char* section;
    const char* ident;
  } cases[] = {{"S", "a\"b"}, {"S", "a<b"}, {"S<", "a"}, {"", "a"}, {"S", ".a"}, {"S..x", "a"}};
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.section) + " / " + k.ident);
    TXMLConfig c = Load(text);
    EXPECT_THROW(c.WriteString(k.section, k.ident, "v"), ESettingsError);
    EXPECT_FALSE(c.Modified);
    EXPECT_EQ(c.ReadString("S", "", ""), "own");
    EXPECT_EQ(c.GetXMLText(), File("<group name=\"S\">\r\n <param name=\"\">own</param>\r\n</group>\r\n"));
  }
  TXMLConfig deep = Load(text);
  std::string key = "k";
  for (int i = 0; i < TXMLConfig::kMaxKeyDepth; ++i) key += ".k";
  EXPECT_THROW(deep.WriteString("S", key, "v"), ESettingsError);
  key.resize(key.size() - 4);
  deep.WriteString("S", key, "v");
  EXPECT_EQ(Load(deep.GetXMLText()).ReadString("S", key, ""), "v");
  TXMLConfig arrow = Load(text);  // ">" is well-formed inside the quoted name and reads back
  arrow.WriteString("S>", "a>b", "v");
  EXPECT_EQ(Load(arrow.GetXMLText()).ReadString("S>", "a>b", ""), "v");
}

TEST(Settings, NumbersAreDecimalOrHexAndAnythingElseGivesTheDefault) {
  const struct {
    const char* text;
    int value;
  } cases[] = {{"-42", -42}, {"0x1F", 31}, {"12a", 7}, {"99999999999", 7}, {"", 7}, {" 1", 7}};
  for (const auto& c : cases) {
    TXMLConfig s = Load(File(std::string("<param name=\"n\">") + c.text + "</param>"));
    EXPECT_EQ(s.ReadInteger("n", "", 7), c.value) << c.text;
    EXPECT_EQ(s.ReadBool("n", "", false), c.value != 7 && c.value != 0) << c.text;
  }
}

TEST(Settings, OnlyAnExplicitUpdateWrites) {
  int writes = 0;
  std::string written;
  auto writer = [&](const std::string& name, std::string_view text) {
    ++writes;
    EXPECT_EQ(name, "f.conf.xml");
    written = std::string(text);
  };
  {
    TXMLConfig c("f.conf.xml", NewSettingsText("t"), true, writer);
    c.WriteString("S", "k", "v");
    c.UpdateFile();
    EXPECT_EQ(writes, 1);
    EXPECT_FALSE(c.Modified);
    EXPECT_EQ(written, c.GetXMLText());
    c.WriteString("S", "k", "w");  // modified at destruction: still not written
  }
  EXPECT_EQ(writes, 1);
  TXMLConfig off("f.conf.xml", NewSettingsText("t"), false, writer);
  off.WriteString("S", "k", "v");
  off.UpdateFile();
  EXPECT_EQ(writes, 1);
  EXPECT_FALSE(off.Modified);
  // A save that fails leaves the changes marked as not yet saved.
  TXMLConfig failing("f.conf.xml", NewSettingsText("t"), true,
                     [](const std::string&, std::string_view) { throw std::runtime_error("disk full"); });
  failing.WriteString("S", "k", "v");
  EXPECT_THROW(failing.UpdateFile(), std::runtime_error);
  EXPECT_TRUE(failing.Modified);
}

// A large settings file costs a bounded multiple of its size to load (4 MB is
// the most the program reads), whether written by the program or by hand in
// the short tag forms, where every value is only a few bytes.
TEST(Settings, LoadingTakesLessThanTenTimesTheFilesSizeInMemory) {
  struct Form {
    const char* open;
    const char* param;
    const char* close;
    const char* eol;
  };
  const Form forms[] = {{"<group name=\"", " <param name=\"", "</param>", "\r\n"}, {"<g n=\"", "<p n=\"", "</p>", ""}};
  for (const Form& form : forms) {
    SCOPED_TRACE(form.param);
    std::string body;
    for (int i = 0; body.size() < (3u << 20); ++i) {
      body += form.open + std::to_string(i) + "\">" + form.eol;
      for (int k = 0; k < 20; ++k) {
        body += form.param + std::to_string(k) + "\">" + std::to_string(k) + form.close + form.eol;
      }
      body += std::string(form.close[1] == 'p' && form.close[2] == '>' ? "</g>" : "</group>") + form.eol;
    }
    std::string text = NewSettingsText("i");
    text.insert(text.size() - 12, body);
    const size_t size = text.size();
    test::AllocationMeter meter;
    TXMLConfig config("x", std::move(text));
    EXPECT_LT(meter.Peak(), 10 * size) << static_cast<double>(meter.Peak()) / size;
    EXPECT_EQ(config.ReadString("77", "19", ""), "19");
  }  // The smallest items the grammar has: empty groups and empty params.
  for (const std::string item :
       {"<g n=\"a\"></g>", "<p n=\"a\"></p>", "<p n=\"\"></p>", "<g n=\"c\"><g n=\"b\"></g></g>"}) {
    SCOPED_TRACE(item);
    std::string text = NewSettingsText("i");
    std::string body;
    while (body.size() < (2u << 20)) body += item;
    text.insert(text.size() - 12, body + "<g n=\"last\"><p n=\"k\">v</p></g>");
    const size_t size = text.size();
    test::AllocationMeter meter;
    TXMLConfig config("x", std::move(text));
    EXPECT_LT(meter.Peak(), 10 * size) << static_cast<double>(meter.Peak()) / size;
    EXPECT_EQ(config.ReadString("last", "k", ""), "v");
  }
}

TEST(Settings, DeeplyNestedGroupsAreRefusedNotOverflowingTheStack) {
  const std::string text =
      ReadAll(std::string(KV_TEST_SOURCE_DIR) + "/tests/corpus/settings/regress/stack_overflow_deep_groups.conf.xml");
  ASSERT_GT(text.size(), 50000u);
  if (const auto e = ThrownBy<EParseError>([&] { Load(text); })) {
    EXPECT_NE(std::string(e->what()).find("at position 2:"), std::string::npos) << e->what();
  }
}

// ---- files exchanged with Python's xml.etree and xmllint (tests/foundation/settings.cmake) ----

// One line per param in file order: section, ident and value in hexadecimal
// ("-" when empty); the Python side writes and reads the same lines.
struct Setting {
  std::string section, ident, value;
};

std::string Hex(const std::string& s) { return s.empty() ? "-" : ToHex(s); }
std::string Unhex(const std::string& s) {
  std::string out;
  for (size_t i = 0; s != "-" && i + 1 < s.size(); i += 2) out += static_cast<char>(std::stoi(s.substr(i, 2), nullptr, 16));
  return out;
}

TEST(SettingsOracle, PythonWrittenFilesLoadAndTheirSettingsAreWrittenForPython) {
  const std::filesystem::path dir = std::filesystem::path(KV_TEST_BINARY_DIR) / "settings_oracle";
  std::filesystem::create_directories(dir / "kv");
  const std::string kSuffix = ".conf.xml";
  int pythonFiles = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "py", ec)) {
    const std::string file = entry.path().filename().string();
    if (!file.ends_with(kSuffix)) continue;
    SCOPED_TRACE(file);
    ++pythonFiles;
    const std::string base = file.substr(0, file.size() - kSuffix.size());
    std::vector<Setting> settings;
    std::istringstream dump(ReadAll(dir / "py" / (base + ".dump")));
    for (std::string s, i, v; dump >> s >> i >> v;) settings.push_back({Unhex(s), Unhex(i), Unhex(v)});
    ASSERT_FALSE(settings.empty());

    // Python's file loads, gives every value and is written back byte for byte.
    const std::string text = ReadAll(entry.path());
    TXMLConfig loaded = Load(text);
    for (const Setting& t : settings) EXPECT_EQ(loaded.ReadString(t.section, t.ident, "<missing>"), t.value);
    EXPECT_EQ(loaded.GetXMLText(), text);

    // The same settings written by the store, for xmllint and xml.etree to read
    // back (settings.cmake checks them afterwards).
    TXMLConfig written = Load(NewSettingsText("kelvarin config file"));
    for (const Setting& t : settings) written.WriteString(t.section, t.ident, t.value);
    std::string lines;
    for (const Setting& t : settings) {
      ASSERT_EQ(written.ReadString(t.section, t.ident, "<missing>"), t.value);
      lines += Hex(t.section) + " " + Hex(t.ident) + " " + Hex(t.value) + "\n";
    }
    std::ofstream(dir / "kv" / file, std::ios::binary) << written.GetXMLText();
    std::ofstream(dir / "kv" / (base + ".dump"), std::ios::binary) << lines;
  }
  if (pythonFiles == 0) std::printf("settings oracle: no Python files in %s (run through ctest)\n", dir.string().c_str());
}

}  // namespace
}  // namespace kv
