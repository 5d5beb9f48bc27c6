#include "wizard/html_report.h"

#include "base/ansi_text.h"
#include "base/strings.h"

namespace kv {

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
    }
  }
  return out;
}

std::string FillTemplate(std::string_view pattern, const std::vector<std::pair<std::string, std::string>>& values) {
  std::string out;
  out.reserve(pattern.size());
  size_t i = 0;
  while (i < pattern.size()) {
    const size_t dollar = pattern.find('$', i);
    if (dollar == std::string_view::npos) {
      out.append(pattern.substr(i));
      break;
    }
    out.append(pattern.substr(i, dollar - i));
    const std::pair<std::string, std::string>* best = nullptr;
    for (const auto& v : values)
      if (pattern.compare(dollar, v.first.size(), v.first) == 0 && (!best || v.first.size() > best->first.size()))
        best = &v;
    if (best) {
      out += best->second;
      i = dollar + best->first.size();
    } else {
      out += '$';
      i = dollar + 1;
    }
  }
  return out;
}

std::string CharsetOfCodePage(unsigned codePage) {
  switch (codePage) {
    case 874: return "windows-874";
    case 932: return "shift_jis";
    case 936: return "gbk";
    case 949: return "euc-kr";
    case 950: return "big5";
    case 65001: return "utf-8";
    default: return "windows-" + std::to_string(codePage);
  }
}

namespace {

constexpr std::string_view kRowTemplate =
    "<TABLE border=0 cellspacing=0><TR class=\"$Color\"><TD colspan=\"4\" class=\"Main\">$Main</TD></TR>"
    "<TR class=\"$Color\"><TD class=\"time\">$Time</TD><TD class=\"bitrate\">$Bitrate</TD>"
    "<TD class=\"samplerate\">$Samplerate</TD><TD class=\"file\">$File</TD></TR></TABLE>";

// The full wide path in the page's single-byte text: the ANSI letters as
// they are, every other character (a surrogate pair as one) as a numeric
// character reference, so that a browser shows the exact name.
std::string PathHtml(const std::u16string& path) {
  std::string out;
  for (size_t i = 0; i < path.size();) {
    size_t n = 1;
    uint32_t cp = path[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (path[i + 1] - 0xDC00);
      n = 2;
    }
    const std::u16string_view piece(path.data() + i, n);
    const std::string ansi = WideToAnsi(piece);
    out += AnsiToWide(ansi) == piece ? EscapeHtml(ansi) : "&#" + std::to_string(cp) + ";";
    i += n;
  }
  return out;
}

std::string ChannelName(int code) {
  switch (code) {
    case kStereo: return "Stereo";
    case kJointStereo: return "Joint Stereo";
    case kDualChannel: return "Dual Channel";
    case kMono: return "Mono";
    default: return "";
  }
}

}  // namespace

std::string BuildReportRow(const TMP3Info& record) {
  std::string main = "<b>" + EscapeHtml(record.GetTagPart(kTagArtist)) + " - " +
                     EscapeHtml(record.GetTagPart(kTagTitle)) + "</b>";
  const int year = record.GetTagPartInt(kTagYear);
  const std::string album = record.GetTagPart(kTagAlbum);
  if (year > 0 || !album.empty()) {
    main += "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp; [" + EscapeHtml(album);
    if (year > 0) main += "  " + std::to_string(year);
    main += "]";
  }
  // A damaged list's negative length shows as 0:00 rather than as "0:0-5".
  const int32_t length = record.GetInfoPart(kInfoLength);
  return FillTemplate(
      kRowTemplate,
      {{"$Main", main},
       {"$File", PathHtml(record.ShownPath())},
       {"$Time", SecondsToStr(length < 0 ? 0 : length)},
       {"$Bitrate", std::to_string(record.GetInfoPart(kInfoBitRate)) + "Kbit"},
       {"$Samplerate", std::to_string(record.GetInfoPart(kInfoSampleRate)) + "Hz " +
                           ChannelName(record.GetChannels(kInfoChannels))},
       {"$Color", record.Tag % 2 == 1 ? "odd" : "even"}});
}

std::string BuildReportPage(std::string_view title, std::string_view date, std::string_view charset,
                            const std::vector<const TMP3Info*>& rows) {
  // The charset is declared: without it a browser reads the code page's
  // letters by its own default and may show every accented or non-Latin tag
  // text garbled. The title is the program's own translated text and part
  // of the page's template. Date and rows are filled in one pass: no inserted text is
  // looked at again.
  const std::string page = "<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset=" +
                           EscapeHtml(charset) + "\"><TITLE>" + std::string(title) +
                           " , $Date</TITLE><style type=\"text/css\"><!--"
                           ".time{width:60px}"
                           ".bitrate{width:80px}"
                           ".samplerate{width:160px}"
                           ".file{}"
                           "TABLE {width:100%;border:solid black 1px;font-size:10pt;font-family: MS Sans Serif}"
                           ".Main{}"
                           ".odd{background-color:#F0FFF0;color:#008000}"
                           ".even{background-color:#F0F0FF;color:#000080}"
                           "--></style></HEAD><BODY>$Item</BODY></HTML>";
  std::string items;
  for (const TMP3Info* row : rows)
    if (row) items += BuildReportRow(*row);
  // The date is the system's own text and goes in as it stands.
  return FillTemplate(page, {{"$Date", std::string(date)}, {"$Item", items}});
}

}  // namespace kv
