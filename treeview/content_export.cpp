#include "treeview/content_export.h"

#include <algorithm>
#include <cstdio>

#include "base/ansi_text.h"

namespace kv {

namespace {

constexpr std::string_view kCrLf = "\r\n";

TExportAlignment Mirrored(TExportAlignment a, bool rightToLeft) {
  if (!rightToLeft) return a;
  if (a == TExportAlignment::Left) return TExportAlignment::Right;
  if (a == TExportAlignment::Right) return TExportAlignment::Left;
  return a;
}

template <class S>
void AppendQuoted(S& out, const S& text, bool doubleQuotes) {
  using C = typename S::value_type;
  out += C('"');
  for (C c : text) {
    out += c;
    if (doubleQuotes && c == C('"')) out += c;
  }
  out += C('"');
}

// Quoting of a cell: with `doubleQuotes` a quote inside is a reason to quote
// and is doubled; otherwise only the separator is.
template <class S>
void AppendCell(S& out, const S& text, typename S::value_type separator, bool doubleQuotes) {
  using C = typename S::value_type;
  const bool hasSeparator = text.find(separator) != S::npos;
  const bool hasQuote = doubleQuotes && text.find(C('"')) != S::npos;
  if (!hasSeparator && !hasQuote) {
    out += text;
    return;
  }
  AppendQuoted(out, text, doubleQuotes);
}

// A row's one cell without columns: the text as it stands, unless a
// separator or a line break inside it would be read as a level or a new row.
template <class S>
void AppendLineCell(S& out, const S& text, typename S::value_type separator, bool doubleQuotes) {
  using C = typename S::value_type;
  const C breaking[] = {separator, C('\r'), C('\n')};
  if (text.find_first_of(breaking, 0, 3) == S::npos)
    out += text;
  else
    AppendQuoted(out, text, doubleQuotes);
}

// The text layout shared by plain and Unicode text.
template <class S, class Convert>
S BuildText(const TExportLayout& layout, typename S::value_type separator, bool doubleQuotes,
            Convert convert) {
  using C = typename S::value_type;
  const int maxLevel = layout.MaxLevel();
  const S levelTabs(static_cast<std::size_t>(maxLevel), separator);
  const S newLine{C('\r'), C('\n')};
  S out;
  const std::size_t columns = layout.columns.size();
  if (columns > 0) {
    for (std::size_t i = 0; i < columns; ++i) {
      out += convert(layout.columns[i].caption);
      if (i + 1 < columns) {
        if (layout.columns[i].isMain) out += levelTabs;
        out += separator;
      }
    }
    out += newLine;
  }
  for (const TExportRow& row : layout.rows) {
    const auto level = static_cast<std::size_t>(std::max(row.level, 0));
    if (columns == 0) {
      out.append(levelTabs, 0, level);
      if (!row.cells.empty()) AppendLineCell(out, convert(row.cells[0].text), separator, doubleQuotes);
    } else {
      for (std::size_t i = 0; i < columns && i < row.cells.size(); ++i) {
        const S text = convert(row.cells[i].text);
        if (layout.columns[i].isMain) {
          out.append(levelTabs, 0, level);
          AppendCell(out, text, separator, doubleQuotes);
          out.append(levelTabs, 0, levelTabs.size() - std::min(level, levelTabs.size()));
        } else {
          AppendCell(out, text, separator, doubleQuotes);
        }
        if (i + 1 < columns) out += separator;
      }
    }
    out += newLine;
  }
  return out;
}

// 1440 * pixels / ppi, rounded half to even.
long long Twips(long long pixels, int pixelsPerInch) {
  const long long ppi = pixelsPerInch > 0 ? pixelsPerInch : 96;
  const long long n = 1440 * pixels;
  long long q = n / ppi, r = n % ppi;
  if (r < 0) {
    r += ppi;
    --q;
  }
  if (2 * r > ppi || (2 * r == ppi && (q & 1) != 0)) ++q;
  return q;
}

class RtfWriter {
 public:
  void Text(std::u16string_view text, const TExportFont& font) {
    if (text.empty()) return;
    if (font.underline) body_ += "\\ul";
    if (font.italic) body_ += "\\i";
    if (font.bold) body_ += "\\b";
    const int fontIndex = IndexOf(fonts_, font.name);
    if (fontIndex != currentFont_) {
      body_ += "\\f" + std::to_string(fontIndex);
      currentFont_ = fontIndex;
    }
    const int colorIndex = IndexOf(colors_, font.color);
    if (colorIndex != currentColor_) {
      body_ += "\\cf" + std::to_string(colorIndex + 1);
      currentColor_ = colorIndex;
    }
    if (font.size != currentSize_) {
      body_ += "\\fs" + std::to_string(2 * font.size);
      currentSize_ = font.size;
    }
    body_ += ' ';
    for (char16_t unit : text) {
      body_ += "\\u" + std::to_string(static_cast<std::int16_t>(unit));
      body_ += "\\'3f";
    }
    if (font.underline) body_ += "\\ul0";
    if (font.italic) body_ += "\\i0";
    if (font.bold) body_ += "\\b0";
  }
  std::string& Body() { return body_; }
  std::string Finish() const {
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl";
    for (std::size_t i = 0; i < fonts_.size(); ++i)
      out += "{\\f" + std::to_string(i) + " " + WideToAnsi(fonts_[i]) + ";}";
    out += "}{\\colortbl;";
    for (std::uint32_t c : colors_)
      out += "\\red" + std::to_string(c & 0xFF) + "\\green" + std::to_string((c >> 8) & 0xFF) + "\\blue" +
             std::to_string((c >> 16) & 0xFF) + ";";
    out += "}";
    out += body_;
    out += "}";
    return out;
  }

 private:
  template <class T>
  static int IndexOf(std::vector<T>& list, const T& value) {
    auto it = std::find(list.begin(), list.end(), value);
    if (it == list.end()) {
      list.push_back(value);
      return static_cast<int>(list.size() - 1);
    }
    return static_cast<int>(it - list.begin());
  }
  std::string body_;
  std::vector<std::u16string> fonts_;
  std::vector<std::uint32_t> colors_;
  int currentFont_ = -1, currentColor_ = -1, currentSize_ = -1;
};

void AppendRtfAlignment(std::string& out, TExportAlignment a) {
  if (a == TExportAlignment::Right) out += "\\qr";
  if (a == TExportAlignment::Center) out += "\\qc";
}

std::string HtmlColor(std::uint32_t c) {
  char b[8];
  std::snprintf(b, sizeof b, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  return b;
}

std::string FontStyle(const TExportFont& font) {
  std::string s = "{font:";
  if (font.underline) s += " underline";
  if (font.italic) s += " italic";
  if (font.bold) s += " bold";
  s += " " + std::to_string(font.size) + "pt \"" + UTF16ToUTF8(font.name) + "\";";
  s += "color:" + HtmlColor(font.color) + ";}";
  return s;
}

std::string HtmlAlignment(TExportAlignment a, bool rightToLeft) {
  std::string s = rightToLeft ? " dir=\"rtl\"" : "";
  switch (Mirrored(a, rightToLeft)) {
    case TExportAlignment::Right: return s + " align=right";
    case TExportAlignment::Center: return s + " align=center";
    default: return s + " align=left";
  }
}

}  // namespace

int TExportLayout::MaxLevel() const {
  int level = 0;
  for (const TExportRow& row : rows) level = std::max(level, row.level);
  return level;
}

std::string UTF16ToUTF8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0xD800 || unit > 0xDFFF) {
      AppendUtf8(out, unit);
    } else if (unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800u) << 10) + (text[i + 1] - 0xDC00u));
      ++i;
    }
    // Any other surrogate unit is dropped.
  }
  return out;
}

std::string EscapeHTML(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

namespace {

constexpr std::string_view kFragmentDocType =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">";
constexpr std::string_view kFragmentHead =
    "<html><head><META http-equiv=Content-Type content=\"text/html; charset=utf-8\"></head><body>"
    "<!--StartFragment-->";
constexpr std::string_view kFragmentTail = "<!--EndFragment--></body></html>";

std::string Digits(std::uint64_t value, std::size_t width) {
  std::string text = std::to_string(value);
  if (text.size() < width) text.insert(0, width - text.size(), '0');
  return text;
}

}  // namespace

// The four offsets share one field width: 8 digits, or more when the block
// is 100,000,000 bytes or longer. A wider field lengthens the description and
// so every offset, hence the loop (it ends at once or after one widening).
std::string FragmentDescription(std::uint64_t htmlSize) {
  std::size_t width = 8;
  for (;;) {
    const std::uint64_t description = 65 + 4 * width;  // the fixed text and four fields
    const std::uint64_t startFragment = description + kFragmentDocType.size() + kFragmentHead.size();
    const std::uint64_t endFragment = startFragment + htmlSize;
    const std::uint64_t endHtml = endFragment + kFragmentTail.size();
    if (std::to_string(endHtml).size() > width) {
      width = std::to_string(endHtml).size();
      continue;
    }
    std::string out = "Version:1.0\r\nStartHTML:" + Digits(description, width) + "\r\nEndHTML:" +
                      Digits(endHtml, width) + "\r\nStartFragment:" + Digits(startFragment, width) +
                      "\r\nEndFragment:" + Digits(endFragment, width) + "\r\n";
    return out;
  }
}

std::string MakeFragment(std::string_view html) {
  const std::string description = FragmentDescription(html.size());
  std::string out;
  out.reserve(description.size() + kFragmentDocType.size() + kFragmentHead.size() + html.size() +
              kFragmentTail.size());
  out += description;
  out += kFragmentDocType;
  out += kFragmentHead;
  out += html;
  out += kFragmentTail;
  return out;
}

std::string ContentToText(const TExportLayout& layout, char separator) {
  return BuildText<std::string>(layout, separator, true, [](const std::u16string& s) { return WideToAnsi(s); });
}

std::u16string ContentToUnicode(const TExportLayout& layout, char16_t separator) {
  return BuildText<std::u16string>(layout, separator, false, [](const std::u16string& s) { return s; });
}

std::string ContentToRTF(const TExportLayout& layout) {
  RtfWriter rtf;
  std::string& body = rtf.Body();
  body += "\\uc1\\trowd\\trgaph70";
  const bool columns = !layout.columns.empty();
  if (columns) {
    long long sum = 0;
    for (const TExportColumn& c : layout.columns) {
      sum += c.width;
      body += "\\cellx" + std::to_string(Twips(sum, layout.pixelsPerInch));
    }
    body += "\\pard\\intbl";
    for (const TExportColumn& c : layout.columns) {
      AppendRtfAlignment(body, Mirrored(c.alignment, c.rightToLeft));
      rtf.Text(c.caption, layout.headerFont);
      body += "\\cell";
    }
    body += "\\row";
  } else {
    body += "\\cellx" + std::to_string(Twips(layout.clientWidth, layout.pixelsPerInch));
  }
  for (const TExportRow& row : layout.rows) {
    const std::size_t count = columns ? layout.columns.size() : 1;
    for (std::size_t i = 0; i < count && i < row.cells.size(); ++i) {
      body += "\\pard\\intbl";
      if (columns)
        AppendRtfAlignment(body, Mirrored(layout.columns[i].alignment, layout.columns[i].rightToLeft));
      else
        AppendRtfAlignment(body, Mirrored(layout.treeAlignment, layout.treeRightToLeft));
      if ((!columns || layout.columns[i].isMain) && row.level > 0) {
        for (int l = 0; l < row.level; ++l) body += "\\tab";
        body += ' ';
      }
      rtf.Text(row.cells[i].text, row.cells[i].font);
      body += "\\cell";
    }
    body += "\\row";
  }
  body += "\\pard\\par";
  return rtf.Finish();
}

std::string ContentToHTML(const TExportLayout& layout, std::u16string_view caption) {
  const std::string margin = std::to_string(layout.margin);
  const std::string cellPadding = "padding-left:" + margin + "px;padding-right:" + margin + "px;";
  std::string attributes = " ";
  if (!caption.empty()) attributes += "caption=\"" + EscapeHTML(UTF16ToUTF8(caption)) + "\"";
  if (layout.border) {
    if (!caption.empty()) attributes += ' ';
    attributes += "border=\"" + std::to_string(layout.borderWidth + 1) + "\" frame=box";
  }
  const bool columns = !layout.columns.empty();
  const int maxLevel = layout.MaxLevel();
  std::string out;
  out += "<style type=\"text/css\">\r\n";
  out += ".default" + FontStyle(layout.treeFont) + "\r\n";
  out += ".header" + FontStyle(layout.headerFont) + "\r\n";
  const std::string lineStyle = layout.solidLines ? "solid;" : "dotted;";
  if (layout.horzGridLines)
    out += ".noborder{border-style:" + lineStyle + " border-bottom:1;border-left:0;border-right:0; border-top:0;" +
           cellPadding + "}";
  else
    out += ".noborder{border-style:none;" + cellPadding + "}";
  out += kCrLf;
  out += ".normalborder {border-top:none; border-left:none; ";
  out += layout.vertGridLines ? "border-right:1 " + lineStyle : std::string("border-right:none;");
  out += layout.horzGridLines ? "border-bottom:1 " + lineStyle : std::string("border-bottom:none;");
  out += cellPadding + "}</style>\r\n";
  out += "<table class=\"default\" bgcolor=" + HtmlColor(layout.treeColor) + attributes +
         " cellspacing=\"0\" cellpadding=" + margin + ">\r\n";
  if (columns) {
    out += "<tr class=\"header\" style=\"" + cellPadding + "\">\r\n";
    for (const TExportColumn& c : layout.columns) {
      out += "<th height=\"" + std::to_string(layout.headerHeight) + "px\"";
      out += HtmlAlignment(c.alignment, c.rightToLeft);
      if (c.isMain && maxLevel > 0) out += " colspan=\"" + std::to_string(maxLevel + 1) + "\"";
      out += " bgcolor=" + HtmlColor(layout.buttonFaceColor) + " width=\"" + std::to_string(c.width) + "px\">";
      out += EscapeHTML(UTF16ToUTF8(c.caption));
      out += "</th>";
    }
    out += "</tr>\r\n";
  }
  out.reserve(out.size() + layout.rows.size() * 96);
  for (const TExportRow& row : layout.rows) {
    const std::string height = std::to_string(row.height);
    out += " <tr class=\"default\">\r\n";
    const std::size_t count = columns ? layout.columns.size() : 1;
    for (std::size_t i = 0; i < count && i < row.cells.size(); ++i) {
      const TExportColumn* column = columns ? &layout.columns[i] : nullptr;
      const bool ownColor = column != nullptr && !column->parentColor;
      if (column == nullptr || column->isMain) {
        for (int l = 0; l < row.level; ++l) {
          if (ownColor)
            out += "<td class=\"noborder\" width=\"" + std::to_string(layout.indent) + "\" height=\"" + height +
                   "px\" bgcolor=" + HtmlColor(column->color) + ">&nbsp;</td>";
          else if (l == 0)
            out += " <td height=\"" + height + "px\">&nbsp;</td>";
          else
            out += " <td>&nbsp;</td>";
        }
      }
      const TExportCell& cell = row.cells[i];
      if (cell.fontChanged)
        out += " <td class=\"normalborder\"  style=\"" + EscapeHTML(FontStyle(cell.font)) + "\" height=\"" +
               height + "px\"";
      else
        out += " <td class=\"normalborder\"  height=\"" + height + "px\"";
      if (column != nullptr)
        out += HtmlAlignment(column->alignment, column->rightToLeft);
      else
        out += HtmlAlignment(layout.treeAlignment, layout.treeRightToLeft);
      if ((column == nullptr || column->isMain) && maxLevel > 0 && row.level < maxLevel)
        out += " colspan=\"" + std::to_string(maxLevel - row.level + 1) + "\"";
      if (ownColor) out += " bgcolor=" + HtmlColor(column->color);
      out += '>';
      out += EscapeHTML(UTF16ToUTF8(cell.text));
      out += "</td>";
    }
    out += " </tr>\r\n";
  }
  out += "</table>";
  return out;
}

}  // namespace kv
