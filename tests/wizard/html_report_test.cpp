#include "wizard/html_report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace kv {
namespace {

std::unique_ptr<TMP3Info> Record(int32_t tag, std::string artist, std::string title, std::string album = "",
                                 int year = 0, std::string path = "C:\\Music\\a.mp3") {
  auto r = std::make_unique<TMP3Info>();
  r->Tag = tag;
  r->SetTagPartRaw(kTagArtist, std::move(artist));
  r->SetTagPartRaw(kTagTitle, std::move(title));
  r->SetTagPartRaw(kTagAlbum, std::move(album));
  if (year) r->SetTagPartInt(kTagYear, year);
  r->SetTagPartRaw(kTagDisplayPath, std::move(path));
  r->SetPart(kInfoLength, 3725);
  r->SetPart(kInfoSampleRate, 44100);
  r->SetPart(kInfoBitRate, 192);
  r->SetPart(kInfoChannels, kJointStereo);
  return r;
}

TEST(HtmlReport, EscapesMarkupAndControlBytesKeepsHighBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"&amp; \"q\" 'a'", "&amp;amp; &quot;q&quot; 'a'"},
      {std::string("a\x01\x09\x0A\x0D\x1F\x7F" "b"), "a      b"},
      {std::string("\x80\xE9\xFF", 3), std::string("\x80\xE9\xFF", 3)},
      {std::string("a\0b", 3), "a b"},
      {"$Color $Date", "$Color $Date"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(EscapeHtml(in), out) << in;
}

TEST(HtmlReport, TemplatesAreFilledInOnePass) {
  EXPECT_EQ(FillTemplate("$A-$AB-$B-$", {{"$A", "$B"}, {"$AB", "x"}, {"$B", "[$A]"}}), "$B-x-[$A]-$");
  EXPECT_EQ(FillTemplate("", {{"$A", "1"}}), "");
  // A placeholder inside a tag text stays as it is; so does the date's.
  auto r = Record(1, "$Color $Time", "$Date $File $Main", "$Samplerate");
  const std::string row = BuildReportRow(*r);
  EXPECT_NE(row.find("<b>$Color $Time - $Date $File $Main</b>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp; [$Samplerate]"),
            std::string::npos)
      << row;
  const std::vector<const TMP3Info*> rows{r.get()};
  // The title belongs to the page's template: its placeholders are filled,
  // the date's text is not looked at again.
  const std::string page = BuildReportPage("Found $Item on $Date", "$Item", "windows-1252", rows);
  EXPECT_NE(page.find("<TITLE>Found " + row + " on $Item , $Item</TITLE>"), std::string::npos) << page;
  EXPECT_NE(BuildReportPage("Found <i>", "d", "utf-8", {}).find("<TITLE>Found <i> , d</TITLE>"), std::string::npos);
}

TEST(HtmlReport, RowTexts) {
  struct Case {
    int32_t tag;
    const char* album;
    int year;
    int channels;
    const char* main;
    const char* color;
    const char* samplerate;
  };
  const Case cases[] = {
      {1, "", 0, kStereo, "<b>A - T</b>", "odd", "44100Hz Stereo"},
      {2, "Alb", 0, kMono, "<b>A - T</b>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp; [Alb]", "even", "44100Hz Mono"},
      {3, "", 1999, kDualChannel, "<b>A - T</b>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp; [  1999]", "odd", "44100Hz Dual Channel"},
      {-1, "Alb", 2001, 0, "<b>A - T</b>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp; [Alb  2001]", "even", "44100Hz "},
      {100001, "", 0, 9, "<b>A - T</b>", "odd", "44100Hz "},
  };
  for (const Case& c : cases) {
    auto r = Record(c.tag, "A", "T", c.album, c.year);
    r->SetPart(kInfoChannels, c.channels);
    const std::string expected =
        std::string("<TABLE border=0 cellspacing=0><TR class=\"") + c.color +
        "\"><TD colspan=\"4\" class=\"Main\">" + c.main + "</TD></TR><TR class=\"" + c.color +
        "\"><TD class=\"time\">1:02:05</TD><TD class=\"bitrate\">192Kbit</TD><TD class=\"samplerate\">" +
        c.samplerate + "</TD><TD class=\"file\">C:\\Music\\a.mp3</TD></TR></TABLE>";
    EXPECT_EQ(BuildReportRow(*r), expected) << c.tag;
  }
  // Lengths in both forms; a damaged list's negative length as none.
  for (const auto& [seconds, shown] : {std::pair{65, "1:05"}, std::pair{-65, "0:00"}}) {
    auto r = Record(1, "A", "T");
    r->SetPart(kInfoLength, seconds);
    EXPECT_NE(BuildReportRow(*r).find(std::string("<TD class=\"time\">") + shown + "</TD>"), std::string::npos) << seconds;
  }
  EXPECT_EQ(CharsetOfCodePage(1252), "windows-1252");
  EXPECT_EQ(CharsetOfCodePage(932), "shift_jis");
}

TEST(HtmlReport, PageDeclaresItsCharsetAndHoldsTheRowsInOrder) {
  const std::string empty = BuildReportPage("Found mp3 duplicates", "06.12.2026", "windows-1252", {});
  EXPECT_EQ(empty.substr(0, 93),
            "<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\"><TITLE>");
  EXPECT_NE(empty.find("<TITLE>Found mp3 duplicates , 06.12.2026</TITLE>"), std::string::npos);
  EXPECT_NE(empty.find("--></style></HEAD><BODY></BODY></HTML>"), std::string::npos);
  // The system's date text goes in as it stands.
  EXPECT_NE(BuildReportPage("Found", "6 \"oct\" & 2026", "windows-1252", {}).find("<TITLE>Found , 6 \"oct\" & 2026</TITLE>"),
            std::string::npos);
  EXPECT_EQ(empty.find('\n'), std::string::npos);

  auto a = Record(1, "A", "1"), b = Record(2, "B", "2");
  const std::string page = BuildReportPage("t", "d", "windows-1252", {a.get(), nullptr, b.get()});
  EXPECT_NE(page.find("<BODY>" + BuildReportRow(*a) + BuildReportRow(*b) + "</BODY>"), std::string::npos);
}

// Writes a report with hostile tag texts for the checks in real HTML parsers
// (tests/wizard/check_report.py) and the texts each row must show.
TEST(HtmlReport, SampleForHtmlParsers) {
  const std::string hostile[] = {
      "<script>document.title='pwned'</script>", "&amp; &lt;b&gt;", "$Color $Date $Item", "\"quoted\" 'single'",
      std::string("ctl\x01\x02\x1F end"), std::string("high \x80\x93\xE9\xFF bytes"), "<img src=x onerror=alert(1)>",
      "</TD></TR></TABLE><b>broken", "plain"};
  std::vector<std::unique_ptr<TMP3Info>> records;
  std::vector<const TMP3Info*> rows;
  int32_t group = 1;
  for (size_t i = 0; i < std::size(hostile); ++i) {
    if (i % 2 == 0 && i) ++group;
    records.push_back(Record(i == 4 ? -1 : group, hostile[i], hostile[(i + 1) % std::size(hostile)],
                             hostile[(i + 2) % std::size(hostile)], i % 3 ? 1990 + int(i) : 0,
                             "C:\\Music\\" + hostile[(i + 3) % std::size(hostile)] + ".mp3"));
    rows.push_back(records.back().get());
  }
  const std::filesystem::path dir = std::filesystem::path(KV_TEST_BINARY_DIR) / "report";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "sample.htm", std::ios::binary)
      << BuildReportPage("Found mp3 duplicates", "<b>06.12.2026</b>", "windows-1252", rows);
  // Expected texts: one line per row, cells separated by a tab, then the class.
  std::ofstream expected(dir / "sample.expected", std::ios::binary);
  auto shown = [](const std::string& s) {  // what the page shows: control bytes as blanks
    std::string out;
    for (char c : s) out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    return out;
  };
  for (const TMP3Info* r : rows) {
    std::string main = shown(r->GetTagPart(kTagArtist)) + " - " + shown(r->GetTagPart(kTagTitle));
    const int year = r->GetTagPartInt(kTagYear);
    main += "\xA0\xA0\xA0\xA0\xA0 [" + shown(r->GetTagPart(kTagAlbum)) + (year > 0 ? "  " + std::to_string(year) : "") + "]";
    expected << main << '\t' << "1:02:05\t192Kbit\t44100Hz Joint Stereo\t" << shown(r->GetTagPart(kTagDisplayPath))
             << '\t' << (r->Tag % 2 == 1 ? "odd" : "even") << '\n';
  }
  SUCCEED();
}

}  // namespace
}  // namespace kv
