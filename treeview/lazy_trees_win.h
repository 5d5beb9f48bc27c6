#pragma once
// The published trees: the owner-draw tree (the results list) and the string
// tree (shell trees, column dialog). Their painting and texts arrive with the
// painting and string tree work; here they are the frame with its options.

#include "treeview/base_lazy_tree_win.h"
#include "treeview/content_export.h"

#include <string>

namespace kv {

class TCustomLazyDrawTree : public TBaseLazyTree {
 public:
  explicit TCustomLazyDrawTree(std::unique_ptr<TCustomLazyTreeOptions> options = nullptr)
      : TBaseLazyTree(options ? std::move(options) : std::make_unique<TLazyTreeOptions>()) {}
  ~TCustomLazyDrawTree() override { DestroyNodes(); }
  const char* ClassName() const override { return "TCustomLazyDrawTree"; }

  // The owner draws each node's content and tells its width.
  std::function<void(TBaseLazyTree&, TLTPaintInfo&)> OnDrawNode;
  std::function<void(TBaseLazyTree&, HDC, PLazyNode, TColumnIndex, int& width)> OnGetNodeWidth;
  // Node hints are the owner's: their size (an empty one shows none) and their picture.
  std::function<void(TBaseLazyTree&, PLazyNode, TColumnIndex, RECT& r)> OnGetHintSize;
  std::function<void(TBaseLazyTree&, HDC, PLazyNode, const RECT& r, TColumnIndex)> OnDrawHint;

 protected:
  bool DrawsOwnHints() const override { return true; }
  void DoGetHintSize(PLazyNode node, TColumnIndex column, RECT& r) override {
    if (OnGetHintSize) OnGetHintSize(*this, node, column, r);
  }
  void DoDrawHint(HDC canvas, PLazyNode node, const RECT& r, TColumnIndex column) override {
    if (OnDrawHint) OnDrawHint(*this, canvas, node, r, column);
  }
  void DoPaintNode(TLTPaintInfo& info) override {
    if (OnDrawNode) OnDrawNode(*this, info);
  }
  // Outside painting the owner measures on the tree's own canvas: a device
  // context of its window (the screen's before it has one) with its font.
  int DoGetNodeWidth(PLazyNode node, TColumnIndex column) override;
};

class TLazyDrawTree : public TCustomLazyDrawTree {
 public:
  ~TLazyDrawTree() override { DestroyNodes(); }
  const char* ClassName() const override { return "TLazyDrawTree"; }
};

enum class TLSTTextType : std::uint8_t { ttNormal, ttStatic };
// Which nodes an export takes.
enum class TLTTextSource : std::uint8_t { tstAll, tstInitialized, tstSelected, tstCutCopySet, tstVisible };

class TCustomLazyStringTree : public TBaseLazyTree {
 public:
  explicit TCustomLazyStringTree(std::unique_ptr<TCustomStringTreeOptions> options = nullptr);
  ~TCustomLazyStringTree() override { DestroyNodes(); }
  const char* ClassName() const override { return "TCustomLazyStringTree"; }
  TCustomStringTreeOptions& GetOptions() {
    return static_cast<TCustomStringTreeOptions&>(TreeOptions());
  }
  void SetOptions(const TCustomStringTreeOptions& options) { options.AssignTo(GetOptions()); }

  // The text a cell has before OnGetText changes it.
  const std::wstring& DefaultText() const { return defaultText_; }
  void SetDefaultText(std::wstring text);
  std::wstring GetText(PLazyNode node, TColumnIndex column);
  using TBaseLazyTree::SetText;  // the window text stays reachable
  void SetText(PLazyNode node, TColumnIndex column, const std::wstring& text);
  // Width of the text with the margins, as painted (the font OnPaintText sets included).
  int CalculateTextWidth(HDC canvas, PLazyNode node, const std::wstring& text, TColumnIndex column);
  // The height a multi-line node needs for its word-wrapped text (its current
  // height for other nodes); for OnMeasureItem.
  int ComputeNodeHeight(HDC canvas, PLazyNode node, TColumnIndex column);
  TLazyRect InvalidateNode(PLazyNode node) override;
  void ReinitNode(PLazyNode node, bool recursive) override;
  // Node streams carry the main column's text (with toSaveCaptions).
  void WriteChunks(TNodeStream& stream, PLazyNode node) override;
  bool ReadChunk(TNodeStream& stream, int version, PLazyNode node, std::uint32_t chunkType,
                 std::uint32_t chunkSize) override;

  // ------------------------------------------------------ export (string_tree_export_win.cpp) --
  HRESULT RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard) override;
  // A global block with the content in `format`, or null for a format the tree does not write.
  HGLOBAL ContentToClipboard(CLIPFORMAT format, TLTTextSource source);
  std::string ContentToHTML(TLTTextSource source, const std::wstring& caption = {});
  std::string ContentToRTF(TLTTextSource source);
  std::string ContentToText(TLTTextSource source, char separator);
  std::u16string ContentToUnicode(TLTTextSource source, char16_t separator);
  // The first node of a source and the step to the next.
  void GetRenderStartValues(TLTTextSource source, PLazyNode& node, std::function<PLazyNode(PLazyNode)>& next);
  // Rows, columns and fonts of the nodes of `source`, as the exports write them.
  TExportLayout CollectExportLayout(TLTTextSource source);

  std::function<void(TBaseLazyTree&, PLazyNode, TColumnIndex, TLSTTextType, std::wstring& text)> OnGetText;
  std::function<void(TBaseLazyTree&, PLazyNode, TColumnIndex, const std::wstring& text)> OnNewText;
  // The owner may change the canvas's font and colour before a text is drawn or measured;
  // the text is drawn transparent unless it sets the background mode OPAQUE.
  std::function<void(TBaseLazyTree&, HDC, PLazyNode, TColumnIndex, TLSTTextType)> OnPaintText;
  std::function<void(TBaseLazyTree&, HDC, PLazyNode, TColumnIndex, const std::wstring& text, int width,
                     std::wstring& result, bool& done)>
      OnShortenString;
  // The owner's node hint (hint modes other than tooltips).
  std::function<void(TBaseLazyTree&, PLazyNode, TColumnIndex, TLSTTextType, std::wstring& text)> OnGetHint;
  void GetTextInfo(PLazyNode node, TColumnIndex column, LOGFONTW& font, RECT& r, std::wstring& text) override;

 protected:
  void FontChanged() override;
  virtual void DoGetText(PLazyNode node, TColumnIndex column, TLSTTextType type, std::wstring& text);
  virtual void DoNewText(PLazyNode node, TColumnIndex column, const std::wstring& text);
  virtual void DoPaintText(PLazyNode node, HDC canvas, TColumnIndex column, TLSTTextType type);
  virtual std::wstring DoShortenString(HDC canvas, PLazyNode node, TColumnIndex column,
                                       const std::wstring& text, int width, bool rightToLeft,
                                       int ellipsisWidth);
  int DoGetNodeWidth(PLazyNode node, TColumnIndex column) override;
  // A cell with text is never empty; for the others the owner decides.
  bool ColumnIsEmpty(PLazyNode node, TColumnIndex column) override;
  // Under toAutoSpanColumns a left-to-right cell takes over the following
  // empty columns (SpanEmptyColumns).
  void AdjustPaintCellRect(TLTPaintInfo& info, TColumnIndex& nextColumn) override;
  // The main column's widths are cached: a new main column measures anew.
  void MainColumnChanged() override;
  void DoPaintNode(TLTPaintInfo& info) override;
  int DoIncrementalSearch(PLazyNode node, const std::u16string& text) override;
  PLTEditLink DoCreateEditor(PLazyNode node, TColumnIndex column) override;
  void DoGetNodeHint(PLazyNode node, TColumnIndex column, std::wstring& text) override;
  void DoGetNodeTooltip(PLazyNode node, TColumnIndex column, std::wstring& text) override;
  std::string ItemText(PLazyNode node) override;

 private:
  void PaintNormalText(TLTPaintInfo& info, const std::wstring& text);
  void PaintStaticText(TLTPaintInfo& info, const std::wstring& text);
  void SetTextColors(const TLTPaintInfo& info, HDC dc);
  void MeasureFont();
  void ResetWidthCaches();
  std::uint32_t& CachedWidth(PLazyNode node);
  std::wstring defaultText_ = L"Node";
  std::uint32_t widthCacheOffset_ = 0;
  int textHeight_ = 0;
  int ellipsisWidth_ = 0;
};

class TLazyStringTree : public TCustomLazyStringTree {
 public:
  ~TLazyStringTree() override { DestroyNodes(); }
  const char* ClassName() const override { return "TLazyStringTree"; }
};

}  // namespace kv
