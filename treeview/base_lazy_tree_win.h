#pragma once
// The window half of the lazy tree control: TBaseLazyTree is a control of the
// GUI layer with a window class of its own, and the node model underneath.
// It answers the model's window hooks (invalidation, timers, update locking,
// scroll bars, the toggle animation, the worker's state reports) and the
// window messages the tree handles itself (scrolling, sizing, the tree-view
// protocol for accessibility tools). Painting of nodes arrives later; until
// then the window paints its background.

#include <windows.h>

#include <array>
#include <atomic>
#include <exception>
#include <memory>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/com_ptr_win.h"
#include "treeview/clipboard_formats_win.h"
#include "treeview/drag_manager_win.h"
#include "treeview/edit_link_win.h"
#include "treeview/header_win.h"
#include "treeview/hint_window_win.h"
#include "treeview/hit_test.h"
#include "treeview/incremental_search.h"
#include "treeview/lazy_tree_model.h"
#include "treeview/lazy_tree_paint_win.h"
#include "treeview/tree_registry.h"
#include "ui/gdi_win.h"
#include "ui/control_win.h"
#include "ui/popup_menu.h"
#include "ui/toolbar_win.h"

namespace kv {

// Sent by the cache worker to a tree's window: the word parameter holds the
// states to enter, the long parameter those to leave (1 stop validation,
// 2 use cache, 4 validating, 8 validation needed). Answered 1.
inline constexpr UINT WM_CHANGESTATE = WM_APP + 0x20;

// The window timer that opens a drop target with children.
inline constexpr unsigned kExpandTimer = 1;

enum class TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
enum class TTreeBorderStyle : std::uint8_t { bsNone, bsSingle };
enum class TBevelKind : std::uint8_t { bkNone, bkTile, bkSoft, bkFlat };
enum class TBevelCut : std::uint8_t { bvNone, bvLowered, bvRaised, bvSpace };

class TBaseLazyTree;
namespace ui {
struct TLayoutProperty;
class TLayoutContext;
}  // namespace ui
class TLTDataObject;
class TLTDragImage;
class TWheelPanning;

// Scroll bar settings; changing which bars exist remakes the window.
enum class TScrollBarStyle : std::uint8_t { sbmRegular, sbmFlat, sbm3D };

class TScrollBarOptions {
 public:
  explicit TScrollBarOptions(TBaseLazyTree& owner) : owner_(owner) {}
  bool AlwaysVisible() const { return alwaysVisible_; }
  void SetAlwaysVisible(bool value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);
  unsigned HorizontalIncrement() const;
  void SetHorizontalIncrement(unsigned value);
  unsigned VerticalIncrement() const;
  void SetVerticalIncrement(unsigned value);
  // Only the regular style exists; another value is refused (an assertion).
  TScrollBarStyle ScrollBarStyle() const { return TScrollBarStyle::sbmRegular; }
  void SetScrollBarStyle(TScrollBarStyle value);
  void Assign(const TScrollBarOptions& source);

 private:
  TBaseLazyTree& owner_;
  bool alwaysVisible_ = false;
  TScrollStyle scrollBars_ = TScrollStyle::ssBoth;
};

// The tree's fifteen colours, by index.
class TLTColors {
 public:
  enum Index {
    DisabledColor, DropMarkColor, DropTargetColor, FocusedSelectionColor, GridLineColor,
    TreeLineColor, UnfocusedSelectionColor, BorderColor, HotColor, FocusedSelectionBorderColor,
    UnfocusedSelectionBorderColor, DropTargetBorderColor, SelectionRectangleBlendColor,
    SelectionRectangleBorderColor, HeaderHotColor, kCount
  };
  explicit TLTColors(TBaseLazyTree& owner);
  ui::TColor Color(Index index) const { return colors_[index]; }
  void SetColor(Index index, ui::TColor value);
  void Assign(const TLTColors& source);

 private:
  TBaseLazyTree& owner_;
  std::array<ui::TColor, kCount> colors_;
};

class TBaseLazyTree : public ui::TControl, public TLazyTreeModel {
 public:
  explicit TBaseLazyTree(std::unique_ptr<TCustomLazyTreeOptions> options = nullptr);
  ~TBaseLazyTree() override;
  const char* ClassName() const override { return "TBaseLazyTree"; }

  // Both bases name a Visible: the control's and a node's.
  using TControl::Visible;
  using TLazyTreeModel::Visible;

  unsigned AutoExpandDelay() const { return autoExpandDelay_; }
  void SetAutoExpandDelay(unsigned ms) { autoExpandDelay_ = ms; }
  TTreeBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TTreeBorderStyle style);
  // The frame inside the system's border, around header and scroll bars: a
  // bevel of BevelKind with its inner and outer cuts BevelWidth wide each,
  // then a ring BorderWidth wide in the border colour.
  TBevelKind BevelKind() const { return bevelKind_; }
  TBevelCut BevelInner() const { return bevelInner_; }
  TBevelCut BevelOuter() const { return bevelOuter_; }
  int BevelWidth() const { return bevelWidth_; }
  int BorderWidth() const { return borderWidth_; }
  void SetBevels(TBevelKind kind, TBevelCut inner, TBevelCut outer, int width = 1);
  void SetBorderWidth(int width);
  int TextMargin() const { return textMargin_; }
  void SetTextMargin(int margin);
  void SetIndentAndRepaint(unsigned indent);
  void SetMarginAndRepaint(int margin);
  unsigned SelectionCurveRadius() const { return selectionCurveRadius_; }
  void SetSelectionCurveRadius(unsigned radius);
  std::uint8_t SelectionBlendFactor() const { return selectionBlendFactor_; }
  void SetSelectionBlendFactor(std::uint8_t factor) { selectionBlendFactor_ = factor; }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool value) { wantTabs_ = value; }
  TScrollBarOptions& ScrollBarOptions() { return scrollBarOptions_; }
  TLTColors& Colors() { return colors_; }
  // While a layout loads, the count is kept and the nodes are made by Loaded.
  void SetRootNodeCountLoading(std::uint32_t count);
  // The older single option set of stored layouts, by element name ("vo...").
  void ReadOldOptions(const std::vector<std::string>& names);
  void Loaded() override;
  // A layout property of a header column that the tree control does not know
  // (a derived tree's column kind); true when taken.
  virtual bool SetColumnLayoutProperty(TLazyTreeColumn&, const ui::TLayoutProperty&, ui::TLayoutContext&) {
    return false;
  }
  // Scales the default node height and the header by m/d under
  // toAutoChangeScale; while a layout loads only when it set the height.
  // Nodes made before keep their heights.
  void ChangeScale(int m, int d);

  // Copies the published settings of another tree; the nodes are not copied,
  // this tree gets as many new top-level nodes as the other has.
  void Assign(TBaseLazyTree& source);
  // The standard edit actions: select all and copy always, cut, paste and
  // delete unless toReadOnly (tree_edit_actions_win.cpp).
  bool ExecuteAction(ui::TBasicAction& action) override;
  // While the tree has the focus: the edit actions' Enabled from the
  // selection, the clipboard formats and toMultiSelect.
  bool UpdateAction(ui::TBasicAction& action) override;
  // -------------------------------------------------------------- painting --
  std::function<void(TBaseLazyTree&, HDC, PLazyNode, const RECT&, COLORREF&, TItemEraseAction&)>
      OnBeforeItemErase;
  std::function<void(TBaseLazyTree&, HDC, PLazyNode, const RECT&)> OnAfterItemErase;
  std::function<void(TBaseLazyTree&, PLazyNode, TLTImageKind, TColumnIndex, bool& ghosted, int& index)>
      OnGetImageIndex;
  std::function<void(TBaseLazyTree&, HDC, PLazyNode, int& height)> OnMeasureItem;
  std::function<void(TBaseLazyTree&, HDC)> OnBeforePaint, OnAfterPaint;
  // Paints the area below the last row (r in dc's coordinates) instead of the tree.
  std::function<void(TBaseLazyTree&, HDC, const RECT& r, bool& handled)> OnPaintBackground;
  std::function<void(TBaseLazyTree&, PLazyNode, TColumnIndex, bool& isEmpty)> OnGetCellIsEmpty;
  std::function<void(TBaseLazyTree&, HDC, PLazyNode, TColumnIndex, const RECT&)> OnBeforeCellPaint,
      OnAfterCellPaint;
  // A whole row (r in dc's coordinates): `customDraw` leaves it to the owner.
  std::function<void(TBaseLazyTree&, HDC, PLazyNode, const RECT& r, bool& customDraw)> OnBeforeItemPaint;
  std::function<void(TBaseLazyTree&, HDC, PLazyNode, const RECT& r)> OnAfterItemPaint;
  // The 8x8 pattern of the tree lines with lsCustomStyle, one byte per row:
  // zero bits are drawn in the line colour, set bits in the tree colour.
  std::function<void(TBaseLazyTree&, std::uint8_t (&pattern)[8])> OnGetLineStyle;
  // Paints the part `window` of the tree area (tree coordinates) onto `target`
  // at `at`. The rows are composed in bitmaps of `pixelFormat`, or of 32 bits
  // where blending needs them (blended selection or rubber band, themes).
  void PaintTree(HDC target, const RECT& window, POINT at, std::uint32_t paintOptions,
                 TPixelFormat pixelFormat = TPixelFormat::pfDevice);
  TLTLineStyle LineStyle() const { return lineStyle_; }
  void SetLineStyle(TLTLineStyle style);
  TLTLineMode LineMode() const { return lineMode_; }
  void SetLineMode(TLTLineMode mode);
  TLTButtonStyle ButtonStyle() const { return buttonStyle_; }
  void SetButtonStyle(TLTButtonStyle style);
  TLTButtonFillMode ButtonFillMode() const { return buttonFillMode_; }
  void SetButtonFillMode(TLTButtonFillMode mode);
  TLTNodeAlignment NodeAlignment() const { return nodeAlignment_; }
  // How the content is placed and read where no column says (column -1);
  // columns with coParentBidiMode follow the reading order.
  TLTAlignment Alignment() const { return alignment_; }
  void SetAlignment(TLTAlignment value);
  TLTBidiMode BiDiMode() const { return bidiMode_; }
  void SetBiDiMode(TLTBidiMode value);
  // The alignment and reading order of a column, or the tree's for -1.
  TLTAlignment CellAlignment(TColumnIndex column) const;
  bool CellRightToLeft(TColumnIndex column) const;
  void SetNodeAlignment(TLTNodeAlignment value);
  // Image lists stay the owner's; the tree repaints when they change and
  // lets go of them when they are freed.
  ui::TImageList* Images() const { return images_; }
  void SetImages(ui::TImageList* list);
  ui::TImageList* StateImages() const { return stateImages_; }
  void SetStateImages(ui::TImageList* list);
  // The tiled background picture (the owner's bitmap) and its offsets.
  HBITMAP Background() const { return background_; }
  void SetBackground(HBITMAP bitmap);
  // A picture the tree keeps itself (read from a layout); trees given it by
  // Assign share it.
  void SetBackground(std::shared_ptr<const ui::BitmapObject> picture);
  POINT BackgroundOffset() const { return backgroundOffset_; }
  void SetBackgroundOffset(int x, int y);
  TLTDrawSelectionMode DrawSelectionMode() const { return drawSelectionMode_; }
  void SetDrawSelectionMode(TLTDrawSelectionMode mode) { drawSelectionMode_ = mode; }
  TCheckImageKind CheckImageKind() const { return checkImageKind_; }
  void SetCheckImageKind(TCheckImageKind kind);
  // The owner's check images, used with ckCustom.
  ui::TImageList* CustomCheckImages() const { return customCheckImages_; }
  void SetCustomCheckImages(ui::TImageList* list);
  // The list the check images are drawn from now (null: none).
  HIMAGELIST CurrentCheckImages() const;
  // Where the plus/minus button of the row being painted sits (for checks).
  int LastButtonX() const { return buttonX_; }
  int LastButtonY() const { return buttonY_; }
  // Rebuilds the plus/minus bitmaps and/or the line brush.
  void PrepareBitmaps(bool needButtons, bool needLines);
  // Colour, font or system colours changed: the buttons are made again.
  void ColorsChanged();

  // ----------------------------------------------------------------- mouse --
  // What lies at the point (client coordinates when `relative`, else tree coordinates).
  void GetHitTestInfoAt(int x, int y, bool relative, TTreeHitInfo& hitInfo);
  // Plain control events: the button (0 left, 1 right, 2 middle), the
  // modifier keys as MK_* flags of the message, and the client point.
  std::function<void(TBaseLazyTree&, int button, unsigned keys, int x, int y)> OnMouseDown, OnMouseUp;
  std::function<void(TBaseLazyTree&, unsigned keys, int x, int y)> OnMouseMove;
  // Keys: the virtual key (set to 0 to swallow it) and, for presses, the character.
  std::function<void(TBaseLazyTree&, WORD& key)> OnKeyDown, OnKeyUp;
  std::function<void(TBaseLazyTree&, wchar_t& key)> OnKeyPress;
  // Asked for every key press before the tree acts on it: may change the key
  // and the modifiers (MK_SHIFT, MK_CONTROL, MK_ALT), or clear `doDefault` to
  // keep the tree from handling the key.
  std::function<void(TBaseLazyTree&, WORD& key, UINT& shift, bool& doDefault)> OnKeyAction;
  std::function<void(TBaseLazyTree&, PLazyNode oldNode, PLazyNode newNode)> OnHotChange;
  // The wheel's lines per notch (tests replace it; null: the system setting).
  void SetWheelLinesProvider(std::function<unsigned()> provider) { wheelLines_ = std::move(provider); }
  // The node whose check box is held down by the mouse or Space (null: none).
  PLazyNode PendingCheckNode() const { return checkNode_; }

  // -------------------------------------------------------------- keyboard --
  TLTIncrementalSearch IncrementalSearch() const { return incrementalSearch_; }
  void SetIncrementalSearch(TLTIncrementalSearch value);
  TLTSearchDirection IncrementalSearchDirection() const { return searchDirection_; }
  void SetIncrementalSearchDirection(TLTSearchDirection value) { searchDirection_ = value; }
  TLTSearchStart IncrementalSearchStart() const { return searchStart_; }
  void SetIncrementalSearchStart(TLTSearchStart value) { searchStart_ = value; }
  unsigned IncrementalSearchTimeout() const { return searchTimeout_; }
  void SetIncrementalSearchTimeout(unsigned ms) { searchTimeout_ = ms; }
  // The text typed so far (empty when no search runs).
  const std::u16string& SearchBuffer() const { return searchBuffer_; }
  // Asked for each candidate: 0 means the node matches the text.
  std::function<void(TBaseLazyTree&, PLazyNode, const std::u16string& text, int& result)> OnIncrementalSearch;
  // Sounded when a search finds nothing (tests replace it; null: the system beep).
  void SetBeepHook(std::function<void()> hook) { beep_ = std::move(hook); }

  // ---------------------------------------------------------------- header --
  // The header and its columns (made on first use).
  TLTHeader& Header();
  // Takes over every setting and column of `header`.
  void SetHeader(const TLTHeaderModel& header) { Header().Assign(header); }
  // The widest content of a column among the visible nodes, with indentation,
  // images and margins.
  int GetMaxColumnWidth(TColumnIndex column);
  // The rightmost edge (tree coordinates) the main column's content reaches
  // among the visible nodes: indentation, images, margin and node width.
  int GetMaxRightExtend();
  void InvalidateColumn(TColumnIndex column);
  // Header events: points are relative to the header's top-left corner;
  // buttons 0 left, 1 right, 2 middle.
  std::function<void(TBaseLazyTree&, TColumnIndex, int button, TShiftState, int x, int y)> OnHeaderClick,
      OnHeaderDblClick;
  std::function<void(TBaseLazyTree&, int button, TShiftState, int x, int y)> OnHeaderMouseDown, OnHeaderMouseUp;
  std::function<void(TBaseLazyTree&, TShiftState, int x, int y)> OnHeaderMouseMove;
  std::function<void(TBaseLazyTree&, TColumnIndex)> OnColumnResize;
  std::function<void(TBaseLazyTree&, TColumnIndex, TShiftState)> OnColumnClick, OnColumnDblClick;
  std::function<void(TBaseLazyTree&, TColumnIndex, bool& allowed)> OnHeaderDragging;
  std::function<void(TBaseLazyTree&, TColumnIndex, int oldPosition)> OnHeaderDragged;
  std::function<void(TBaseLazyTree&, TColumnIndex, POINT screen)> OnHeaderDraggedOut;
  std::function<void(TBaseLazyTree&, HCURSOR&)> OnGetHeaderCursor;
  // Owner drawing of the header (hoOwnerDraw): a vsOwnerDraw column's whole
  // button; for the other buttons, the background (column -1) and the drop
  // mark, the parts the owner claims are left to OnAdvancedHeaderDraw.
  std::function<void(TBaseLazyTree&, HDC, TColumnIndex, const RECT&, bool hot, bool pressed)> OnHeaderDraw;
  std::function<void(TBaseLazyTree&, THeaderPaintInfo&, THeaderPaintElements& elements)> OnHeaderDrawQueryElements;
  std::function<void(TBaseLazyTree&, THeaderPaintInfo&, THeaderPaintElements elements)> OnAdvancedHeaderDraw;
  // ------------------------------------------------------------- exchange --
  // (tree_clipboard_win.cpp) The tree's serial among the live trees; a tree
  // is found again only through it.
  std::uint32_t Serial() const { return registration_ ? registration_->Serial() : 0; }
  static TBaseLazyTree* FromSerial(std::uint32_t serial);
  // The names of the clipboard formats the tree offers (none by default).
  TClipboardFormats& ClipboardFormats() { return clipboardFormats_; }
  TLTNodeAttachMode DefaultPasteMode() const { return defaultPasteMode_; }
  void SetDefaultPasteMode(TLTNodeAttachMode mode) { defaultPasteMode_ = mode; }
  std::function<void(TBaseLazyTree&, std::vector<FORMATETC>& formats)> OnGetUserClipboardFormats;
  std::function<void(TBaseLazyTree&, const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard,
                     HRESULT& result)>
      OnRenderOLEData;
  std::function<void(TBaseLazyTree&, ComPtr<IDataObject>& dataObject)> OnCreateDataObject;
  virtual void GetNativeClipboardFormats(std::vector<FORMATETC>& formats);
  virtual HRESULT RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard);
  virtual bool CopyToClipboard();
  virtual bool CutToClipboard();
  virtual bool PasteFromClipboard();
  // Restores nodes from the native format of `dataObject` at `targetNode`;
  // `optimized` moves the nodes of a cut in this process instead.
  bool ProcessOLEData(TBaseLazyTree* source, IDataObject* dataObject, PLazyNode targetNode,
                      TLTNodeAttachMode mode, bool optimized);
  // The tree of this process a data object comes from, or null.
  static TBaseLazyTree* GetTreeFromDataObject(IDataObject* dataObject);
  virtual ComPtr<IDataObject> DoCreateDataObject();
  // The clipboard's data object of this tree went away.
  void ClipboardObjectGone(const TLTDataObject* object);
  // ------------------------------------------------------- drag and drop --
  // (tree_drag_win.cpp) Bits of TDragOperation; none allows all three.
  std::uint8_t DragOperations() const { return dragOperations_; }
  void SetDragOperations(std::uint8_t operations) { dragOperations_ = operations; }
  TLTDragImageKind DragImageKind() const { return dragImageKind_; }
  void SetDragImageKind(TLTDragImageKind kind) { dragImageKind_ = kind; }
  int DragWidth() const { return dragWidth_; }
  void SetDragWidth(int width) { dragWidth_ = width; }
  int DragHeight() const { return dragHeight_; }
  void SetDragHeight(int height) { dragHeight_ = height; }
  // Whether a drag may start at the node (default: no).
  std::function<void(TBaseLazyTree&, PLazyNode, TColumnIndex, bool& allowed)> OnDragAllowed;
  // Asked while something is dragged over the tree (points in client
  // coordinates); unassigned, nothing is accepted.
  std::function<void(TBaseLazyTree&, TBaseLazyTree* source, TShiftState, TDragState, POINT, TDropMode,
                     DWORD& effect, bool& accept)>
      OnDragOver;
  // The drop: the owner does it and sets the final effect.
  std::function<void(TBaseLazyTree&, TBaseLazyTree* source, IDataObject*, const std::vector<CLIPFORMAT>& formats,
                     TShiftState, POINT, DWORD& effect, TDropMode)>
      OnDragDrop;
  std::function<void(TBaseLazyTree&)> OnStartDrag;
  std::function<void(TBaseLazyTree&, POINT client)> OnEndDrag;
  std::function<void(TBaseLazyTree&, ComPtr<ILTDragManager>& manager)> OnCreateDragManager;
  // The tree's drop source and target (made on first use).
  ILTDragManager& GetDragManager();
  // The tree's own drag image (made on first use).
  TLTDragImage& DragImage();
  // Starts a drag of the selection at the last click position, now or once
  // the mouse moved `threshold` pixels (negative: the system's threshold).
  void BeginDrag(bool immediate, int threshold = -1);
  bool Dragging() const {
    return states_.Contains(tsDragPending) || states_.Contains(tsOLEDragging) ||
           states_.Contains(tsControlDragPending) || states_.Contains(tsControlDragging);
  }
  TLTDragType DragType() const { return dragType_; }
  void SetDragType(TLTDragType type) { dragType_ = type; }
  // (tree_native_drag_win.cpp) The in-process drag (dtNative): the dragging
  // tree holds the mouse and sends the tree under it these messages (`pt` on
  // the screen); answers whether that tree accepts the drop there.
  virtual bool NativeDragMessage(TNativeDragMessage message, TBaseLazyTree* source, POINT pt);
  // The ends of an in-process drag: both leave its states and send the tree
  // the button-up the drag took; a cancelled drag (Escape, lost capture, no
  // accepting tree) ends through DragCanceled.
  virtual void DragFinished();
  virtual void DragCanceled();
  bool CanShowDragImage() const { return dragImageKind_ != TLTDragImageKind::diNoImage; }
  // Runs one OLE drag and returns when it ends; an exception of the drop
  // handler of a tree in this process comes out here.
  virtual void DoDragging(POINT p);
  // The drop-target steps (screen points), called by the drag manager.
  virtual HRESULT DragDrop(IDataObject* dataObject, DWORD keyState, POINT pt, DWORD& effect);
  virtual HRESULT DragEnter(DWORD keyState, POINT pt, DWORD& effect);
  virtual void DragLeave();
  virtual HRESULT DragOver(TBaseLazyTree* source, DWORD keyState, TDragState state, POINT pt, DWORD& effect);
  virtual DWORD SuggestDropEffect(TBaseLazyTree* source, TShiftState shift, POINT pt, DWORD allowedEffects);
  // The expand timer (1) expired: the drop target opens.
  void DoDragExpand();
  TDropMode LastDropMode() const { return lastDropMode_; }
  // The node is the drop target and shows the drop-target colours: dropped on
  // (dmOnNode) or belonging to the selection; beside a drop mark it does not.
  bool ShowsDropTargetColors(PLazyNode node) const {
    return node != nullptr && node == DropTargetNode() &&
           (lastDropMode_ == TDropMode::dmOnNode || Selected(node));
  }
  // The dragged nodes (topmost only) while a drag runs; a node deleted or moved away leaves it.
  const std::vector<PLazyNode>& DragSelection() const { return dragSelection_; }
  // Paints the image of the selected nodes around the client point `hotSpot`.
  void PrepareDragImage(POINT hotSpot, IDataObject* dataObject);
  // Repaints `treeRect` (client coordinates) under the drag image of `tree`.
  void UpdateWindowAndDragImage(TBaseLazyTree& tree, RECT treeRect, bool updateNCArea, bool reshowDragImage);

  // --------------------------------------------- editing, hints, panning --
  // Opens the editor on the cell (focusing the node first); true when an editor is open.
  bool EditNode(PLazyNode node, TColumnIndex column);
  bool EndEditNode();
  bool CancelEditNode();
  bool IsEditing() const { return states_.Contains(tsEditing); }
  // toEditable, enabled, not read-only, and OnEditing agrees.
  virtual bool CanEdit(PLazyNode node, TColumnIndex column);
  unsigned EditDelay() const { return editDelay_; }
  void SetEditDelay(unsigned ms) { editDelay_ = ms; }
  TColumnIndex EditColumn() const { return editColumn_; }
  const PLTEditLink& EditLink() const { return editLink_; }
  std::function<void(TBaseLazyTree&, PLazyNode, TColumnIndex, bool& allowed)> OnEditing;
  std::function<void(TBaseLazyTree&, PLazyNode, TColumnIndex)> OnEdited;
  std::function<void(TBaseLazyTree&, TColumnIndex)> OnEditCancelled;
  // Supplies the editor; an assigned handler that returns none is error 2000.
  std::function<PLTEditLink(TBaseLazyTree&, PLazyNode, TColumnIndex)> OnCreateEditor;
  // Both answer whether the editor closed.
  bool DoEndEdit() override;
  bool DoCancelEdit() override;
  // Frees an editor window once its link let it go (later, from the message loop).
  void ReleaseEditor(ui::TControl* editor);
  // The text of a cell as painted: its rectangle (client coordinates, one
  // text line high), the font it is painted with, and the text.
  virtual void GetTextInfo(PLazyNode node, TColumnIndex column, LOGFONTW& font, RECT& r, std::wstring& text);
  // Answers while the tree object lives; an animation holding it stops when it expires.
  std::weak_ptr<const bool> LivenessToken() const { return alive_; }

  TLTHintMode HintMode() const { return hintMode_; }
  // Outside hmDefault the tree shows the control's Hint itself, not the form.
  void SetHintMode(TLTHintMode mode);
  THintAnimationType HintAnimation() const { return hintAnimation_; }
  void SetHintAnimation(THintAnimationType type) { hintAnimation_ = type; }
  // The hint window showing now (null when none).
  TLazyTreeHintWindow* HintWindow() const { return hintWindow_.get(); }
  void HideHint();
  // The header's hint for a client point (set by the header): true with a
  // text and the area it holds for (client coordinates) when one applies.
  std::function<bool(TBaseLazyTree&, POINT, std::wstring& text, RECT& area)> HeaderHintAt;

  // The cursor shown over hot nodes with toHotTrack (0: the control's).
  int HotCursor() const { return hotCursor_; }
  void SetHotCursor(int cursorId) { hotCursor_ = cursorId; }
  std::function<void(TBaseLazyTree&, HCURSOR& cursor)> OnGetCursor;
  // The menu of a node (column -1 without one); `askParent` goes on to the ancestors.
  std::function<void(TBaseLazyTree&, PLazyNode, TColumnIndex, POINT, bool& askParent, ui::TPopupMenu*& menu)>
      OnGetPopupMenu;
  // The control's own menu (shown for the whole tree; null: none).
  ui::TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(ui::TPopupMenu* menu);
  std::function<void(TBaseLazyTree&, PLazyNode, TColumnIndex, unsigned& helpContext)> OnGetHelpContext;
  // Pops a menu up at a screen point (tests replace it; null: TrackPopupMenu).
  void SetPopupHook(std::function<void(ui::TPopupMenu&, POINT)> hook) { popupHook_ = std::move(hook); }
  bool Panning() const { return states_.Contains(tsPanningHeld) || states_.Contains(tsPanningSticky); }
  // The panning symbol window (null when not panning) and the current direction cursor name.
  HWND PanningWindow() const;
  const char* PanningCursorName() const;

  // Remakes the window (styles a live window cannot take).
  void RecreateWindow() { RecreateHandle(); }
  // The class style of the current window (0 without one).
  UINT_PTR WindowClassStyle() const;

 protected:
  void CreateParams(TCreateParams& params) override;
  // The window is made inside tsWindowCreating, so what its creation messages
  // set off (a size message to the header) sees the state.
  void CreateHandle() override;
  void InitHandle() override;
  void WndProc(ui::TMessage& m) override;
  void FontChanged() override;
  void ShowHintChanged() override;
  // The main column's text for the tree-view protocol (string trees answer it).
  virtual std::string ItemText(PLazyNode /*node*/) { return {}; }
  // Painting steps and dispatchers.
  virtual void DoBeforeItemErase(HDC dc, PLazyNode node, const RECT& r, COLORREF& color,
                                 TItemEraseAction& action);
  virtual void DoAfterItemErase(HDC dc, PLazyNode node, const RECT& r);
  virtual bool DoBeforeItemPaint(HDC dc, PLazyNode node, const RECT& r);
  virtual void DoBeforePaint(HDC dc);
  virtual void DoAfterPaint(HDC dc);
  // True when the area below the last row was painted (OnPaintBackground).
  virtual bool DoPaintBackground(HDC dc, const RECT& r);
  virtual void DoBeforeCellPaint(HDC dc, PLazyNode node, TColumnIndex column, const RECT& cell);
  virtual void DoAfterCellPaint(HDC dc, PLazyNode node, TColumnIndex column, const RECT& cell);
  virtual void DoMeasureItem(HDC dc, PLazyNode node, int& height);
  // Once per node (until it is reinitialised): offers its height to DoMeasureItem.
  void MeasureItemHeight(PLazyNode node) override;
  virtual void DoAfterItemPaint(HDC dc, PLazyNode node, const RECT& r);
  virtual void DoPaintNode(TLTPaintInfo& /*info*/) {}
  // The image of the node's cell: index starts at -1 (none) and ghosted at false.
  virtual void DoGetImageIndex(PLazyNode node, TLTImageKind kind, TColumnIndex column, bool& ghosted,
                               int& index);
  int ImageIndex(PLazyNode node, TLTImageKind kind, TColumnIndex column, bool& ghosted);
  virtual void DoGetLineStyle(std::uint8_t (&pattern)[8]);
  // Whether a cell shows nothing (OnGetCellIsEmpty; without it every cell counts as empty).
  virtual bool ColumnIsEmpty(PLazyNode node, TColumnIndex column);
  // The cell about to be painted and the column painted after it (the next
  // visible one; a cell spanning its neighbours moves it on).
  virtual void AdjustPaintCellRect(TLTPaintInfo& info, TColumnIndex& nextColumn);
  // Under toAutoSpanColumns a left-to-right cell runs over the following
  // visible columns that are empty for the node, up to one that reads right
  // to left: `right` grows by their widths; answers the column after the run.
  // `column` must be valid.
  TColumnIndex SpanEmptyColumns(PLazyNode node, TColumnIndex column, int& right);
  int SpannedCellRight(PLazyNode node, TColumnIndex column, int right) override;
  virtual void PaintCheckImage(TLTPaintInfo& info);
  virtual void PaintImage(TLTPaintInfo& info, TLTImageInfoIndex slot, ui::TImageList& images, bool overlay);
  virtual void PaintNodeButton(HDC dc, PLazyNode node, const RECT& r, int buttonX, int buttonY,
                               TLTBidiMode bidi);
  virtual void PaintTreeLines(TLTPaintInfo& info, int vAlign, int indentSize, const TLTLineType* lineImage);
  // The canvas of the paint running now (null outside painting), for width queries.
  HDC PaintCanvas() const { return paintCanvas_; }
  bool TreeEnabled() const override { return Enabled(); }
  // Hit positions inside a cell, left-to-right and mirrored reading.
  virtual void DetermineHitPositionLTR(TTreeHitInfo& hitInfo, int offset, int right, TLTAlignment alignment);
  virtual void DetermineHitPositionRTL(TTreeHitInfo& hitInfo, int offset, int right, TLTAlignment alignment);
  // Deciders shared by the three buttons.
  virtual void HandleMouseDown(ui::TMessage& m, const TTreeHitInfo& hitInfo);
  virtual void HandleMouseUp(ui::TMessage& m, const TTreeHitInfo& hitInfo);
  virtual void HandleMouseDblClick(ui::TMessage& m, const TTreeHitInfo& hitInfo);
  virtual void DoHotChange(PLazyNode oldNode, PLazyNode newNode);
  bool CanFocus() const;
  void ForgetNode(PLazyNode node) override;
  // Fires OnKeyAction; false stops the tree's own handling of the key.
  virtual bool DoKeyAction(WORD& key, UINT& shift);
  virtual int DoIncrementalSearch(PLazyNode node, const std::u16string& text);
  void HandleIncrementalSearch(char16_t charCode);
  // Header: the header's kind, and the dispatchers it fires through the tree.
  virtual std::unique_ptr<TLTHeader> CreateHeader();
  virtual void DoHeaderClick(TColumnIndex column, int button, TShiftState shift, int x, int y);
  virtual void DoHeaderDblClick(TColumnIndex column, int button, TShiftState shift, int x, int y);
  virtual void DoHeaderMouseDown(int button, TShiftState shift, int x, int y);
  virtual void DoHeaderMouseUp(int button, TShiftState shift, int x, int y);
  virtual void DoHeaderMouseMove(TShiftState shift, int x, int y);
  virtual bool DoHeaderDragging(TColumnIndex column);
  virtual void DoHeaderDragged(TColumnIndex column, int oldPosition);
  virtual void DoHeaderDraggedOut(TColumnIndex column, POINT screen);
  virtual void DoGetHeaderCursor(HCURSOR& cursor);
  virtual void DoHeaderDraw(HDC canvas, TColumnIndex column, const RECT& r, bool hot, bool pressed);
  virtual void DoHeaderDrawQueryElements(THeaderPaintInfo& info, THeaderPaintElements& elements);
  virtual void DoAdvancedHeaderDraw(THeaderPaintInfo& info, THeaderPaintElements elements);
  virtual void DoColumnClick(TColumnIndex column, TShiftState shift);
  virtual void DoColumnDblClick(TColumnIndex column, TShiftState shift);
  virtual void DoColumnResize(TColumnIndex column);
  // The main column moved: the focused column follows, the tree repaints.
  virtual void MainColumnChanged();
  bool HeaderUsesColumns() const override;
  // No automatic scrolling while the header resizes or drags a column.
  bool CanAutoScroll() const override;
  TColumnIndex HeaderMainColumn() const override;
  TColumnIndex HeaderSortColumn() const override;
  TSortDirection HeaderSortDirection() const override;
  bool HeaderColumnBounds(TColumnIndex column, int& left, int& right) const override;
  int HeaderColumnsWidth() const override;
  int HeaderColumnAlignment(TColumnIndex column, bool& rightToLeft) const override;
  TColumnIndex HeaderVisibleColumn(TColumnIndex column) const override;
  virtual HRESULT DoRenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard);
  virtual void DoGetUserClipboardFormats(std::vector<FORMATETC>& formats);
  // Before the nodes go: data of this tree on the clipboard is rendered there.
  void ReleaseExchange() override;
  void EmptyOwnClipboard() override;
  // WM_COPY, WM_CUT, WM_PASTE; true when answered.
  bool ClipboardMessage(ui::TMessage& m);
  // Editing steps: the veto, the editor, opening it, placing it over the cell.
  virtual void DoCanEdit(PLazyNode node, TColumnIndex column, bool& allowed);
  virtual PLTEditLink DoCreateEditor(PLazyNode node, TColumnIndex column);
  void DoEdit();
  void UpdateEditBounds();
  // Hint texts and the animation of the hint window.
  virtual void DoGetNodeHint(PLazyNode node, TColumnIndex column, std::wstring& text);
  virtual void DoGetNodeTooltip(PLazyNode node, TColumnIndex column, std::wstring& text);
  virtual THintAnimationType DoGetAnimationType();
  // Hints the owner draws (the draw tree's): `r` (empty on entry) is the
  // size the owner wants, none: no hint.
  virtual bool DrawsOwnHints() const { return false; }
  virtual void DoGetHintSize(PLazyNode /*node*/, TColumnIndex /*column*/, RECT& /*r*/) {}
  virtual void DoDrawHint(HDC /*canvas*/, PLazyNode /*node*/, const RECT& /*r*/, TColumnIndex /*column*/) {}
  // Popup menus of nodes and the cursor.
  virtual ui::TPopupMenu* DoGetPopupMenu(PLazyNode node, TColumnIndex column, POINT position);
  virtual void DoPopupMenu(PLazyNode node, TColumnIndex column, POINT position);
  virtual bool HasPopupMenu(PLazyNode node, TColumnIndex column, POINT position);
  // The control's own menu for a context-menu request at `client` (client
  // coordinates); a descendant may withhold it where a menu of its own shows.
  virtual ui::TPopupMenu* ContextPopupMenu(POINT /*client*/) { return popupMenu_; }
  virtual void DoGetCursor(HCURSOR& cursor);
  // Drop target registration (toAcceptOLEDrop).
  virtual void RegisterDropTarget();
  virtual void RevokeDropTarget();
  // Drag and drop dispatchers.
  virtual bool DoBeforeDrag(PLazyNode node, TColumnIndex column);
  virtual bool DoDragOver(TBaseLazyTree* source, TShiftState shift, TDragState state, POINT pt, TDropMode mode,
                          DWORD& effect);
  virtual void DoDragDrop(TBaseLazyTree* source, IDataObject* dataObject, const std::vector<CLIPFORMAT>& formats,
                          TShiftState shift, POINT pt, DWORD& effect, TDropMode mode);
  virtual void DoStartDrag();
  virtual void DoEndDrag(POINT client);
  virtual ComPtr<ILTDragManager> DoCreateDragManager();
  // The mark above or below the drop target row `r` (painting calls it).
  virtual void DoPaintDropMark(HDC dc, PLazyNode node, const RECT& r);
  void DoNodeMoved(PLazyNode node) override;
  bool IsDropTarget() const override;

  // Window hooks of the model.
  bool HasWindow() const override { return HandleAllocated(); }
  bool TreeLoading() const override { return Loading(); }
  // Drops image lists and menus of the tree and its header that are freed.
  void Notification(ui::TComponent* component, ui::TOperation operation) override;
  bool Destroying() const override { return TLazyTreeModel::Destroying() || destroyingWindow_; }
  void InvalidateClientRect(const TLazyRect* rect) override;
  void RedrawRectNow(const TLazyRect& rect) override;
  void SetUpdateState(bool updating) override;
  bool StartTimer(unsigned id, unsigned ms) override;
  void StopTimer(unsigned id) override;
  void ScrollClient(int dx, int dy, const TLazyRect* clip) override;
  void ApplyScrollBars(bool repaint, bool vertical, bool horizontal) override;
  bool HideOwnDragImage() override;
  void ShowOwnDragImage() override;
  void InvalidateHeader() override;
  bool MouseButtonHeld() const override;
  bool PointOverTree(int x, int y) const override;
  void AnimateToggle(int top, bool expanding, int distance) override;
  // One step of the toggle slide: the area's pixels move by the step size
  // (down when expanding) and the stripe they uncovered is cleared.
  struct TToggleAnimationData {
    HDC dc;
    RECT area;
    bool expanding;
  };
  bool ToggleCallback(int step, int stepSize, const TToggleAnimationData& data);
  void UpdateWindowNow() override;
  void CancelHint() override { HideHint(); }
  void AssignFrame(TBaseLazyTree& source);
  void OffsetsMoved() override;
  int HorizontalBarDueHeight() const override;
  // Clears a stripe of the client uncovered by the toggle slide: with header
  // columns each visible column's part in its colour, else the tree's brush.
  void EraseLine(HDC dc, const RECT& stripe);
  void WorkerStateChange(unsigned enter, unsigned leave) override;
  void WaitForWorker() override;
  void OptionsChanged(TLTOptionSet which, std::uint32_t oldValue, std::uint32_t newValue) override;

 private:
  friend class TLTHeader;
  friend class TScrollBarOptions;
  friend class TLTColors;
  // Header messages of the window; true when answered.
  bool HeaderFrameMessage(ui::TMessage& m);
  // The system's frame as inflate amounts (negative), and how far the bevel
  // and border ring reach inside it.
  SIZE GetBorderDimensions() const;
  int FrameInset() const;
  // Draws the bevel and border ring into the window's frame context.
  void OriginalWMNCPaint(HDC dc);
  // WM_NCPAINT: the system's frame, then header, bevel, ring and themed
  // border in the frame's update region.
  void PaintNonClient(ui::TMessage& m);
  void InsetClientByFrame(RECT& r) const;
  void FrameChanged();
  void HeaderSortChanged();
  // The column and cell bounds under tree x of a row hit (auto-spanned over
  // empty neighbours); false beyond the last column.
  bool HitColumnBounds(TTreeHitInfo& hitInfo, int x, int& left, int& right);
  // A button on a cell: 0 down (the header's click column), 1 up (column
  // click), 2 double click.
  void ColumnMouse(int phase, TColumnIndex column);
  // The mouse moved over the header (client point): its hint is timed like
  // the rows' hints, its leaving tracked in the frame.
  void HeaderHintMove(POINT p);
  // The pause before a hint shows (over the header or the rows; a hint was
  // visible at the move).
  unsigned HintPause(bool overHeader, bool hadHint) const;
  // A button went down in the header: hints, scrolling and edit wait.
  void HeaderMouseDownStarted();
  friend class TLazyTreeHintWindow;
  friend class TStringEditLink;
  friend class TLTEdit;
  bool HandleScroll(ui::TMessage& m, bool vertical);
  void DoTimerScroll();
  // Repaints what a moved rubber band covers: the old and the new band, or
  // the whole window when the band changed the selection.
  void InvalidateBand(bool selectionChanged);
  void HandleSize();
  LRESULT TreeViewMessage(UINT msg, WPARAM w, LPARAM l);
  // WM_PAINT: the update region on the window, or with a device context
  // (`copy`) the whole client area into that.
  void Paint(HDC copy);
  void PrintClient(HDC dc, LPARAM flags);
  int InitializeLineImageAndSelectLevel(PLazyNode node, std::vector<TLTLineType>& lineImage);
  // `tileOffset`: where the row lies in the tiling of the background.
  void ClearNodeBackground(TLTPaintInfo& info, bool useBackground, POINT tileOffset, RECT r);
  void PrepareCell(TLTPaintInfo& info, int maxWidth);
  void PaintCells(TLTPaintInfo& info, const RECT& row, const RECT& window, int h, int vAlign, int buttonX,
                  int buttonY, int indentSize, const TLTLineType* lineImage, HIMAGELIST checkImages,
                  int checkWidth, int checkHeight, int maxWidth);
  // `originX`: the x at which the area's left edge is drawn.
  void PaintColumnStripes(HDC dc, const RECT& window, int originX, int h, std::uint32_t paintOptions);
  // The focused or unfocused selection colours (fill and frame).
  void SelectionColors(COLORREF& brush, COLORREF& pen) const;
  void CalculateVerticalAlignments(PLazyNode node, int& vAlign, int& buttonY) const;
  void AdjustImageBorder(int width, int height, TLTBidiMode bidi, int vAlign, RECT& r, TLTImageInfo& info) const;
  void DrawLineImage(const TLTPaintInfo& info, int x, int y, int h, int vAlign, TLTLineType style, bool reverse);
  void DrawDottedHLine(const TLTPaintInfo& info, int left, int right, int top);
  void DrawDottedVLine(const TLTPaintInfo& info, int top, int bottom, int left);
  void TileBackground(HDC dc, POINT offset, const RECT& r);
  // The rubber band `band` (canvas coordinates) where it meets `target`.
  void PaintSelectionRectangle(HDC dc, int windowOrgX, const RECT& band, const RECT& target);
  bool PaintFocused() const;
  // A 9x9 button picture drawn through its mask where it meets `cell`.
  void DrawButtonPicture(HDC dc, const std::array<std::uint32_t, kButtonSize * kButtonSize>& pixels, int left,
                         int top, const RECT& cell);
  void UpdateBar(int bar, std::uint32_t range, int page, int offset);

  // Mouse and focus messages; true when the message was answered.
  bool MouseMessage(ui::TMessage& m);
  TCellHitLayout CellLayout(PLazyNode node, TColumnIndex column);
  // The check box and images before a cell's text, each with its gap.
  int ContentImagesWidth(PLazyNode node, TColumnIndex column) override;
  TColumnIndex ClickedColumn(const TTreeHitInfo& hitInfo, bool& columnChange);
  void MouseButtonDown(ui::TMessage& m, TLazyTreeState button);
  void MouseButtonUp(ui::TMessage& m, TLazyTreeState button);
  void MouseWheel(ui::TMessage& m);
  void HandleHotTrack(int x, int y);
  void StopMouseTimers();
  void ShowCheckPressed(PLazyNode node, TCheckState newState);
  bool KeyMessage(ui::TMessage& m);
  void WMKeyDown(ui::TMessage& m);
  void WMKeyUp(ui::TMessage& m);
  void WMChar(ui::TMessage& m);
  void WMGetDlgCode(ui::TMessage& m);
  void KeyDown(WORD key, UINT shiftState);
  void ExtendSelectionByKey(WORD key, PLazyNode previous, PLazyNode lastFocused, PLazyNode now, bool rangeRefresh,
                            bool addFocused);
  // Tab, Home/End and Left/Right across columns; true when the key was used.
  bool ColumnKey(WORD key, bool shift, bool ctrl, PLazyNode& target, TColumnIndex& column);
  void KeyUp(WORD key);
  void EndSearch();
  using TSearchStep = std::function<PLazyNode(PLazyNode)>;
  TSearchStep SetupNavigation(PLazyNode& start, bool forward, bool moveStart);
  TLTIncrementalSearch incrementalSearch_ = TLTIncrementalSearch::isNone;
  TLTSearchDirection searchDirection_ = TLTSearchDirection::sdForward;
  TLTSearchStart searchStart_ = TLTSearchStart::ssFocusedNode;
  unsigned searchTimeout_ = 1000;
  std::u16string searchBuffer_;
  PLazyNode lastSearchNode_ = nullptr;
  std::function<void()> beep_;
  PLazyNode checkNode_ = nullptr;
  TCheckState pendingCheckState_ = csUncheckedNormal;
  POINT lastClickPos_{};
  std::function<unsigned()> wheelLines_;
  int wheelRest_ = 0;
  std::unique_ptr<TLTHeader> header_;
  TScrollBarOptions scrollBarOptions_{*this};
  TLTColors colors_{*this};
  // The window the worker reports to; written on this thread, read by the worker.
  std::atomic<HWND> workerTarget_{nullptr};
  unsigned autoExpandDelay_ = 1000;
  TTreeBorderStyle borderStyle_ = TTreeBorderStyle::bsSingle;
  TBevelKind bevelKind_ = TBevelKind::bkNone;
  TBevelCut bevelInner_ = TBevelCut::bvRaised, bevelOuter_ = TBevelCut::bvLowered;
  int bevelWidth_ = 1, borderWidth_ = 0;
  int textMargin_ = 4;
  unsigned selectionCurveRadius_ = 0;
  std::uint8_t selectionBlendFactor_ = 128;
  bool wantTabs_ = false;
  bool destroyingWindow_ = false;

  // Editing, hints, popup menus, panning (edit_link_win.cpp, hint_window_win.cpp,
  // wheel_panning_win.cpp).
  bool EditMessage(ui::TMessage& m);
  bool HintMessage(ui::TMessage& m);
  void HintTimerExpired();
  void ClaimHints();
  bool DecideHint(POINT client, THintData& data, RECT& hintArea, POINT& at);
  bool PanningMessage(ui::TMessage& m);
  void StartWheelPanning(POINT position);
  void StopWheelPanning();
  void AdjustPanningCursor(int x, int y);
  bool SetCursorMessage(ui::TMessage& m);
  void ShowHelp();
  void MenuKey();
  bool MenuKeyPoint(POINT& at);
  void PopupAt(ui::TPopupMenu& menu, POINT screen);
  // Points an image list slot (the tree's or the header's) at `list`: the
  // slot's change link and the free notification follow it.
  void ChangeImageList(ui::TImageList*& slot, ui::TChangeLink& link, ui::TImageList* list);
  // Keeps free notification on the components the tree or its header refer to.
  void ReferenceChanged(ui::TComponent* before, ui::TComponent* after);
  bool Refers(const ui::TComponent* component) const;
  std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
  PLTEditLink editLink_;
  TColumnIndex editColumn_ = kNoColumn;
  PLazyNode editNode_ = nullptr;  // the node the open editor edits
  unsigned editDelay_ = 1000;
  TLTHintMode hintMode_ = TLTHintMode::hmDefault;
  THintAnimationType hintAnimation_ = THintAnimationType::hatSystemDefault;
  std::unique_ptr<TLazyTreeHintWindow> hintWindow_;
  RECT lastHintRect_{};
  POINT hintMousePos_{-1, -1};
  int hotCursor_ = 0;
  ui::TPopupMenu* popupMenu_ = nullptr;
  std::function<void(ui::TPopupMenu&, POINT)> popupHook_;
  std::unique_ptr<TWheelPanning> panning_;

  TLTLineStyle lineStyle_ = TLTLineStyle::lsDotted;
  TLTLineMode lineMode_ = TLTLineMode::lmNormal;
  TLTButtonStyle buttonStyle_ = TLTButtonStyle::bsRectangle;
  TLTButtonFillMode buttonFillMode_ = TLTButtonFillMode::fmTreeColor;
  TLTNodeAlignment nodeAlignment_ = TLTNodeAlignment::naProportional;
  TLTAlignment alignment_ = TLTAlignment::taLeftJustify;
  TLTBidiMode bidiMode_ = TLTBidiMode::bdLeftToRight;
  TCheckImageKind checkImageKind_ = ckLightCheck;
  TLTDrawSelectionMode drawSelectionMode_ = TLTDrawSelectionMode::smDottedRectangle;
  ui::TImageList* images_ = nullptr;
  ui::TImageList* stateImages_ = nullptr;
  ui::TImageList* customCheckImages_ = nullptr;
  ui::TChangeLink imagesLink_, stateImagesLink_, customCheckImagesLink_;
  HBITMAP background_ = nullptr;
  std::shared_ptr<const ui::BitmapObject> ownBackground_;
  POINT backgroundOffset_{};
  // The 9x9 plus and minus pictures as 32-bit pixels (fuchsia is transparent).
  std::array<std::uint32_t, kButtonSize * kButtonSize> plusPixels_{}, minusPixels_{};
  // The node bitmap of the paint running now, and its left edge in tree coordinates.
  std::uint32_t* nodeBits_ = nullptr;
  int nodeBitsWidth_ = 0, nodeBitsHeight_ = 0, nodeBitsLeft_ = 0;
  ui::BrushObject lineBrush_;
  HDC paintCanvas_ = nullptr;
  int buttonX_ = 0, buttonY_ = 0;
  bool buttonsThemed_ = false;  // the buttons hold the style's glyphs
  std::uint32_t barRangeX_ = 0;  // the horizontal range the scroll bar last got

  std::optional<TLiveTreeRegistration> registration_;
  TClipboardFormats clipboardFormats_{*this};
  TLTNodeAttachMode defaultPasteMode_ = TLTNodeAttachMode::amAddChildLast;
  const TLTDataObject* clipboardObject_ = nullptr;  // ours on the clipboard, not owned

  // Drag and drop (tree_drag_win.cpp).
  void ForgetDragged(PLazyNode node);
  // Runs one in-process drag of the selection (tree_native_drag_win.cpp).
  void RunNativeDrag();
  // Repaints a changed drop target area, under the drag image of `imageOwner` when there is one.
  void RepaintDropArea(TBaseLazyTree* imageOwner, RECT r, bool scrolled, bool willMove);
  ComPtr<ILTDragManager> dragManager_;
  std::unique_ptr<TLTDragImage> dragImage_;
  std::vector<PLazyNode> dragSelection_;
  std::exception_ptr dropException_;  // from a drop handler, rethrown by DoDragging
  int dragThreshold_ = 0;
  TDropMode lastDropMode_ = TDropMode::dmOnNode;
  std::uint8_t dragOperations_ = doCopy | doMove;
  TLTDragImageKind dragImageKind_ = TLTDragImageKind::diComplete;
  int dragWidth_ = 200, dragHeight_ = 350;
  bool dropTargetRegistered_ = false;
  TLTDragType dragType_ = TLTDragType::dtOLE;
  // The in-process drag's drop target node and effect, as the last message left them.
  PLazyNode nativeDropTarget_ = nullptr;
  DWORD nativeDropEffect_ = DROPEFFECT_NONE;
  std::uint32_t runningTimers_ = 0;  // ids below 32 set on the window and not yet stopped
};

// Once per process, from the first tree: OLE, the tree's clipboard format,
// the millisecond timer resolution. Released at exit.
void InitializeGlobalStructures();

// Adds TLazyDrawTree and TLazyStringTree with their properties to the layout
// class registry (idempotent; the program calls it before loading layouts).
void RegisterLazyTreeClasses();

}  // namespace kv
