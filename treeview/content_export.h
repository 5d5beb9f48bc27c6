#pragma once
// A string tree's content as plain text, Unicode text, CSV, RTF and an HTML
// table, and the clipboard's HTML fragment around such a table. The window
// half collects rows, columns and fonts into a TExportLayout; everything
// here is text building. Window-free.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// A font as the export sees it; colours are 0x00BBGGRR.
struct TExportFont {
  std::u16string name;
  int size = 8;  // points
  bool bold = false, italic = false, underline = false;
  std::uint32_t color = 0;
  bool operator==(const TExportFont&) const = default;
};

enum class TExportAlignment : std::uint8_t { Left, Right, Center };

struct TExportColumn {
  std::u16string caption;
  int width = 0;
  TExportAlignment alignment = TExportAlignment::Left;
  bool rightToLeft = false;
  bool isMain = false;
  // A column that does not take its parent's colour paints with its own.
  bool parentColor = true;
  std::uint32_t color = 0;
};

struct TExportCell {
  std::u16string text;
  TExportFont font;          // the tree's font after the owner's OnPaintText
  bool fontChanged = false;  // whether the owner changed it
};

struct TExportRow {
  int level = 0;
  unsigned height = 0;
  std::vector<TExportCell> cells;  // one per column, or one without columns
};

struct TExportLayout {
  std::vector<TExportColumn> columns;  // visible columns in display order; empty: none
  std::vector<TExportRow> rows;
  TExportFont treeFont, headerFont;
  TExportAlignment treeAlignment = TExportAlignment::Left;
  bool treeRightToLeft = false;
  std::uint32_t treeColor = 0xFFFFFF, buttonFaceColor = 0xC0C0C0;
  int margin = 4, indent = 18, headerHeight = 17, clientWidth = 200, pixelsPerInch = 96;
  bool solidLines = false, horzGridLines = false, vertGridLines = false;
  bool border = false;
  int borderWidth = 0;

  int MaxLevel() const;
};

// UTF-16 to UTF-8. A high surrogate followed by a low one is a pair; any
// other surrogate unit is dropped.
std::string UTF16ToUTF8(std::u16string_view text);
// Text and attribute values for HTML (& < > " ').
std::string EscapeHTML(std::string_view utf8);
// The clipboard's HTML block: the description with the offsets (97 bytes for
// blocks below 100,000,000 bytes), the document around the fragment, the fragment.
std::string MakeFragment(std::string_view html);
// The description heading a CF_HTML block whose fragment is `htmlSize` bytes
// (offset fields of 8 digits, wider for blocks past 99,999,999 bytes).
std::string FragmentDescription(std::uint64_t htmlSize);

// Rows end with CR LF. Plain text is in the ANSI code page; cells holding the
// separator or a double quote are quoted with doubled quotes.
std::string ContentToText(const TExportLayout& layout, char separator);
// Like plain text in UTF-16; only a separator makes a cell quoted, and quotes
// stay as they are.
std::u16string ContentToUnicode(const TExportLayout& layout, char16_t separator);
std::string ContentToRTF(const TExportLayout& layout);
std::string ContentToHTML(const TExportLayout& layout, std::u16string_view caption = {});

}  // namespace kv
