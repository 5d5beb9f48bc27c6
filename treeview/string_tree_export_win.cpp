// The string tree's content for the clipboard: the rows of a node source with
// their texts and the fonts the owner paints them in, handed to the text
// builders of content_export.h.
#include <cstring>

#include "base/ansi_text.h"
#include "treeview/lazy_trees_win.h"
#include "ui/gdi_win.h"

namespace kv {

namespace {

TExportFont ExportFont(HDC dc, HFONT font, COLORREF color) {
  LOGFONTW lf{};
  GetObjectW(font, sizeof lf, &lf);
  TExportFont f;
  f.name.assign(lf.lfFaceName, lf.lfFaceName + wcsnlen(lf.lfFaceName, LF_FACESIZE));
  const int ppi = GetDeviceCaps(dc, LOGPIXELSY);
  const int height = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
  f.size = ppi > 0 ? MulDiv(height, 72, ppi) : height;
  f.bold = lf.lfWeight >= FW_BOLD;
  f.italic = lf.lfItalic != 0;
  f.underline = lf.lfUnderline != 0;
  f.color = color & 0xFFFFFF;
  return f;
}

HGLOBAL GlobalText(const void* bytes, std::size_t size) {
  if (size == 0) return nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, size);
  if (block == nullptr) return nullptr;
  std::memcpy(GlobalLock(block), bytes, size);
  GlobalUnlock(block);
  return block;
}

TExportAlignment ExportAlignment(TLTAlignment a) {
  return a == TLTAlignment::taRightJustify ? TExportAlignment::Right
         : a == TLTAlignment::taCenter     ? TExportAlignment::Center
                                           : TExportAlignment::Left;
}

char16_t ListSeparator() {
  wchar_t buffer[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SLIST, buffer, 8) > 1 && buffer[0] != 0)
    return static_cast<char16_t>(buffer[0]);
  return u',';
}

}  // namespace

void TCustomLazyStringTree::GetRenderStartValues(TLTTextSource source, PLazyNode& node,
                                                 std::function<PLazyNode(PLazyNode)>& next) {
  switch (source) {
    case TLTTextSource::tstInitialized:
      node = GetFirstInitialized();
      next = [this](PLazyNode n) { return GetNextInitialized(n); };
      break;
    case TLTTextSource::tstSelected: {
      // In tree order, not in the order the selection keeps.
      auto nodes = std::make_shared<std::vector<PLazyNode>>(GetSortedSelection(false));
      node = nodes->empty() ? nullptr : nodes->front();
      next = [nodes, i = std::size_t{0}](PLazyNode) mutable {
        return ++i < nodes->size() ? (*nodes)[i] : nullptr;
      };
      break;
    }
    case TLTTextSource::tstCutCopySet:
      node = GetFirstCutCopy();
      next = [this](PLazyNode n) { return GetNextCutCopy(n); };
      break;
    case TLTTextSource::tstVisible:
      node = GetFirstVisible();
      next = [this](PLazyNode n) { return GetNextVisible(n); };
      break;
    default:
      node = GetFirst();
      next = [this](PLazyNode n) { return GetNext(n); };
  }
}

TExportLayout TCustomLazyStringTree::CollectExportLayout(TLTTextSource source) {
  TExportLayout layout;
  const ui::WindowDc screen = ui::GetClientDc(nullptr);
  ui::MemoryDc dc = ui::CreateMemoryDc(screen.Get());
  const COLORREF fontColor = ui::ColorToRGB(Font().color);
  layout.treeFont = ExportFont(dc.Get(), FontHandle(), fontColor);
  layout.treeColor = ui::ColorToRGB(Color()) & 0xFFFFFF;
  layout.buttonFaceColor = ui::ColorToRGB(ui::clBtnFace) & 0xFFFFFF;
  layout.treeAlignment = ExportAlignment(Alignment());
  layout.treeRightToLeft = BiDiMode() != TLTBidiMode::bdLeftToRight;
  layout.margin = Margin();
  layout.indent = static_cast<int>(Indent());
  layout.clientWidth = ViewWidth();
  layout.pixelsPerInch = GetDeviceCaps(dc.Get(), LOGPIXELSX);
  layout.solidLines = LineStyle() == TLTLineStyle::lsSolid;
  layout.horzGridLines = HasOption(toShowHorzGridLines);
  layout.vertGridLines = HasOption(toShowVertGridLines);
  layout.border = BorderStyle() != TTreeBorderStyle::bsNone;
  layout.borderWidth = BorderWidth();
  // With columns every visible one in display order; without, the one cell of column -1.
  std::vector<TColumnIndex> cellColumns{kNoColumn};
  if (HeaderUsesColumns()) {
    const TLazyTreeColumns& columns = Header().Columns();
    cellColumns = columns.GetVisibleColumns();
    for (TColumnIndex index : cellColumns) {
      const TLazyTreeColumn& c = columns.Items(index);
      TExportColumn column;
      column.caption.assign(c.Text().begin(), c.Text().end());
      column.width = c.Width();
      column.alignment = ExportAlignment(c.Alignment());
      column.rightToLeft = c.UseRightToLeftReading();
      column.isMain = index == HeaderMainColumn();
      column.parentColor = c.HasOption(coParentColor);
      column.color = ui::ColorToRGB(c.Color()) & 0xFFFFFF;
      layout.columns.push_back(std::move(column));
    }
    layout.headerHeight = Header().Height();
  }
  // The header's style is the header's font, with columns or without.
  const ui::TFontSpec headerSpec = Header().CaptionFont();
  const ui::FontObject headerFont = ui::MakeFont(headerSpec);
  layout.headerFont = ExportFont(dc.Get(), headerFont.Get(), ui::ColorToRGB(headerSpec.color));

  PLazyNode node = nullptr;
  std::function<PLazyNode(PLazyNode)> next;
  GetRenderStartValues(source, node, next);
  for (; node != nullptr; node = next(node)) {
    TExportRow row;
    row.level = GetNodeLevel(node);
    row.height = NodeHeight(node);
    for (TColumnIndex column : cellColumns) {
      TExportCell cell;
      const std::wstring text = GetText(node, column);
      cell.text.assign(text.begin(), text.end());
      // The owner may paint the cell in another font or colour.
      const int saved = SaveDC(dc.Get());
      SelectObject(dc.Get(), FontHandle());
      SetTextColor(dc.Get(), fontColor);
      DoPaintText(node, dc.Get(), column, TLSTTextType::ttNormal);
      cell.font = ExportFont(dc.Get(), static_cast<HFONT>(GetCurrentObject(dc.Get(), OBJ_FONT)),
                             GetTextColor(dc.Get()));
      RestoreDC(dc.Get(), saved);
      cell.fontChanged = !(cell.font == layout.treeFont);
      row.cells.push_back(std::move(cell));
    }
    layout.rows.push_back(std::move(row));
  }
  return layout;
}

std::string TCustomLazyStringTree::ContentToHTML(TLTTextSource source, const std::wstring& caption) {
  return kv::ContentToHTML(CollectExportLayout(source), std::u16string(caption.begin(), caption.end()));
}

std::string TCustomLazyStringTree::ContentToRTF(TLTTextSource source) {
  return kv::ContentToRTF(CollectExportLayout(source));
}

std::string TCustomLazyStringTree::ContentToText(TLTTextSource source, char separator) {
  return kv::ContentToText(CollectExportLayout(source), separator);
}

std::u16string TCustomLazyStringTree::ContentToUnicode(TLTTextSource source, char16_t separator) {
  return kv::ContentToUnicode(CollectExportLayout(source), separator);
}

HGLOBAL TCustomLazyStringTree::ContentToClipboard(CLIPFORMAT format, TLTTextSource source) {
  std::string text;
  if (format == CF_TEXT) {
    text = ContentToText(source, '\t');
  } else if (format == CF_UNICODETEXT) {
    std::u16string wide = ContentToUnicode(source, u'\t');
    wide += u'\0';
    return GlobalText(wide.data(), wide.size() * sizeof(char16_t));
  } else if (format == CF_CSV()) {
    const std::string separator = WideToAnsi(std::u16string(1, ListSeparator()));
    text = ContentToText(source, separator.empty() ? ',' : separator[0]);
  } else if (format == CF_RTF() || format == CF_RTFNOOBJS()) {
    text = ContentToRTF(source);
  } else if (format == CF_HTML()) {
    text = MakeFragment(ContentToHTML(source));
  } else {
    return nullptr;
  }
  text += '\0';
  return GlobalText(text.data(), text.size());
}

HRESULT TCustomLazyStringTree::RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard) {
  const HRESULT result = TBaseLazyTree::RenderOLEData(formatEtcIn, medium, forClipboard);
  // Any success of the owner's stands, with its medium.
  if (SUCCEEDED(result) || (formatEtcIn.tymed & TYMED_HGLOBAL) == 0) return result;
  HGLOBAL block = ContentToClipboard(
      formatEtcIn.cfFormat, forClipboard ? TLTTextSource::tstCutCopySet : TLTTextSource::tstSelected);
  if (block == nullptr) return result;
  medium = STGMEDIUM{};
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block;
  return S_OK;
}

}  // namespace kv
