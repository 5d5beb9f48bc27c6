#include "treeview/base_lazy_tree_win.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <ole2.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/scope_guard.h"
#include "treeview/alpha_blend.h"
#include "treeview/check_images_win.h"
#include "treeview/drag_image_win.h"
#include "treeview/theme_services_win.h"
#include "treeview/toggle_animation.h"
#include "treeview/wheel_panning_win.h"
#include "ui/application_win.h"

namespace kv {

namespace {

// Two window classes: with redraw on resize (toFullRepaintOnResize) and without.
const wchar_t* LazyTreeWindowClass(bool fullRepaint) {
  return fullRepaint ? ui::RegisterOwnWindowClass(L"KvLazyTreeRedraw", CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW)
                     : ui::RegisterOwnWindowClass(L"KvLazyTree", CS_DBLCLKS);
}

RECT ToRect(const TLazyRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

// Process-wide resources of the trees, released at exit.
struct GlobalStructures {
  bool oleInitialized = false;
  bool timerPeriod = false;
  UINT treeReferenceFormat = 0;
  ~GlobalStructures() {
    if (timerPeriod) timeEndPeriod(1);
    if (oleInitialized) OleUninitialize();
  }
};

GlobalStructures& Globals() {
  static GlobalStructures globals;
  return globals;
}

}  // namespace

void InitializeGlobalStructures() {
  static const bool done = [] {
    GlobalStructures& g = Globals();
    g.oleInitialized = SUCCEEDED(OleInitialize(nullptr));
    g.treeReferenceFormat = RegisterClipboardFormatW(L"Lazy Tree Reference");
    g.timerPeriod = timeBeginPeriod(1) == TIMERR_NOERROR;
    DetermineMMXAvailability();
    return true;
  }();
  (void)done;
  // The check image lists are made with the first tree, so a missing picture
  // stops its creation rather than its first paint.
  MakeCheckImages();
}

// ------------------------------------------------------------ option objects --

void TScrollBarOptions::SetAlwaysVisible(bool value) {
  if (value == alwaysVisible_) return;
  alwaysVisible_ = value;
  if (!owner_.Loading() && owner_.HandleAllocated()) owner_.RecreateWindow();
}

void TScrollBarOptions::SetScrollBars(TScrollStyle value) {
  if (value == scrollBars_) return;
  scrollBars_ = value;
  if (!owner_.Loading() && owner_.HandleAllocated()) owner_.RecreateWindow();
}

unsigned TScrollBarOptions::HorizontalIncrement() const { return owner_.HorizontalIncrement(); }
void TScrollBarOptions::SetHorizontalIncrement(unsigned value) {
  owner_.SetHorizontalIncrement(std::clamp(value, 1u, 10000u));
}
unsigned TScrollBarOptions::VerticalIncrement() const { return owner_.VerticalIncrement(); }
void TScrollBarOptions::SetVerticalIncrement(unsigned value) {
  owner_.SetVerticalIncrement(std::clamp(value, 1u, 10000u));
}

void TScrollBarOptions::SetScrollBarStyle(TScrollBarStyle value) {
  LazyTreeAssert(value == TScrollBarStyle::sbmRegular, "Flat scroll bar styles are disabled.");
}

void TScrollBarOptions::Assign(const TScrollBarOptions& source) {
  SetAlwaysVisible(source.alwaysVisible_);
  SetHorizontalIncrement(source.HorizontalIncrement());
  SetVerticalIncrement(source.VerticalIncrement());
  SetScrollBars(source.scrollBars_);
  SetScrollBarStyle(source.ScrollBarStyle());
}

TLTColors::TLTColors(TBaseLazyTree& owner)
    : owner_(owner),
      colors_{ui::kSysColor | COLOR_BTNSHADOW, ui::clHighlight,          ui::clHighlight,
              ui::clHighlight,                 ui::clBtnFace,            ui::kSysColor | COLOR_BTNSHADOW,
              ui::clBtnFace,                   ui::clBtnFace,            ui::clWindowText,
              ui::clHighlight,                 ui::clBtnFace,            ui::clHighlight,
              ui::clHighlight,                 ui::clHighlight,          ui::kSysColor | COLOR_BTNSHADOW} {}

void TLTColors::SetColor(Index index, ui::TColor value) {
  if (colors_[index] == value) return;
  colors_[index] = value;
  if (owner_.Loading() || !owner_.HandleAllocated()) return;
  if (index == BorderColor)
    RedrawWindow(owner_.HandleIfAllocated(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
  else if (index == TreeLineColor)
    owner_.ColorsChanged();  // the buttons are framed in it
  else
    owner_.InvalidateClientRect(nullptr);
}

void TLTColors::Assign(const TLTColors& source) {
  colors_ = source.colors_;
  if (owner_.UpdateCount() == 0) owner_.InvalidateClientRect(nullptr);
}

// -------------------------------------------------------------------- tree --

TBaseLazyTree::TBaseLazyTree(std::unique_ptr<TCustomLazyTreeOptions> options)
    : TLazyTreeModel(std::move(options)) {
  InitializeGlobalStructures();
  registration_.emplace(static_cast<void*>(this));
  SetBounds(0, 0, 200, 100);
  SetColor(ui::clWindow);
  SetTabStop(true);
  const auto repaint = [this](ui::TComponent*) {
    if (!Destroying()) InvalidateClientRect(nullptr);
  };
  imagesLink_.OnChange = repaint;
  stateImagesLink_.OnChange = repaint;
  customCheckImagesLink_.OnChange = repaint;
}

TBaseLazyTree::~TBaseLazyTree() {
  alive_.reset();
  editLink_.reset();
  DoStateChange({}, {tsEditing, tsEditPending});
  hintWindow_.reset();
  panning_.reset();
  DestroyNodes();
  // The window goes while the whole tree is still there to answer its last messages.
  DestroyHandle();
  workerTarget_.store(nullptr);
  destroyingWindow_ = true;
}

void TBaseLazyTree::Assign(TBaseLazyTree& source) {
  SetAutoScrollDelay(source.AutoScrollDelay());
  SetAutoScrollInterval(source.AutoScrollInterval());
  SetAutoExpandDelay(source.AutoExpandDelay());
  SetBevels(source.BevelKind(), source.BevelInner(), source.BevelOuter(), source.BevelWidth());
  SetBiDiMode(source.BiDiMode());
  SetBorderStyle(source.BorderStyle());
  SetBorderWidth(source.BorderWidth());
  SetChangeDelay(source.ChangeDelay());
  colors_.Assign(source.colors_);
  SetDefaultNodeHeight(source.DefaultNodeHeight());
  SetIndentAndRepaint(source.Indent());
  SetMarginAndRepaint(source.Margin());
  SetTextMargin(source.TextMargin());
  SetNodeDataSize(source.NodeDataSize());
  SetTreeOptions(source.TreeOptions());
  SetAnimationDuration(source.AnimationDuration());
  SetRootNodeCount(source.RootNodeCount());
  scrollBarOptions_.Assign(source.scrollBarOptions_);
  SetSelectionCurveRadius(source.SelectionCurveRadius());
  SetSelectionBlendFactor(source.SelectionBlendFactor());
  SetWantTabs(source.WantTabs());
  if (source.header_ != nullptr) Header().Assign(*source.header_);
  AssignFrame(source);
}

// The rest of the published settings: placement, pictures, colour and font,
// drag and hint settings, menus and visibility.
void TBaseLazyTree::AssignFrame(TBaseLazyTree& source) {
  SetAlign(source.Align());
  SetAnchors(source.Anchors());
  if (source.ownBackground_ != nullptr)
    SetBackground(source.ownBackground_);
  else
    SetBackground(source.background_);
  SetBackgroundOffset(source.backgroundOffset_.x, source.backgroundOffset_.y);
  SetCheckImageKind(source.CheckImageKind());
  SetCustomCheckImages(source.CustomCheckImages());
  SetColor(source.ParentColor() ? ui::clNone : source.Color());
  if (!source.ParentFont()) SetFont(source.Font());
  SetDefaultPasteMode(source.DefaultPasteMode());
  SetDragOperations(source.DragOperations());
  SetDragImageKind(source.DragImageKind());
  SetDragWidth(source.DragWidth());
  SetDragHeight(source.DragHeight());
  SetDragType(source.DragType());
  SetHint(source.Hint());
  SetHintMode(source.HintMode());
  SetHintAnimation(source.HintAnimation());
  SetHotCursor(source.HotCursor());
  SetImages(source.Images());
  SetStateImages(source.StateImages());
  SetNodeAlignment(source.NodeAlignment());
  SetParentFont(source.ParentFont());
  if (source.ParentShowHint())
    SetParentShowHint(true);
  else
    SetShowHint(source.ShowHint());
  SetPopupMenu(source.PopupMenu());
  if (source.Parent() != nullptr) SetTabOrder(source.TabOrder());
  SetTabStop(source.TabStop().value_or(true));
  SetVisible(source.Visible());
}

void TBaseLazyTree::SetPopupMenu(ui::TPopupMenu* menu) {
  ui::TPopupMenu* before = popupMenu_;
  popupMenu_ = menu;
  ReferenceChanged(before, menu);
}

void TBaseLazyTree::ChangeImageList(ui::TImageList*& slot, ui::TChangeLink& link, ui::TImageList* list) {
  ui::TImageList* before = slot;
  slot = list;
  if (list != nullptr) list->RegisterChanges(link);
  else if (link.Sender() != nullptr) link.Sender()->UnRegisterChanges(link);
  ReferenceChanged(before, list);
}

// One component may fill several slots (the same list as images and state
// images): it is let go only when no slot refers to it any more.
void TBaseLazyTree::ReferenceChanged(ui::TComponent* before, ui::TComponent* after) {
  if (after != nullptr) after->FreeNotification(this);
  if (before != nullptr && before != after && !Refers(before)) before->RemoveFreeNotification(this);
}

bool TBaseLazyTree::Refers(const ui::TComponent* component) const {
  if (component == images_ || component == stateImages_ || component == customCheckImages_ ||
      component == popupMenu_)
    return true;
  return header_ != nullptr && (component == header_->Images() || component == header_->PopupMenu());
}

// The list's own destructor has already unhooked the change links: only the
// references go.
void TBaseLazyTree::Notification(ui::TComponent* component, ui::TOperation operation) {
  TControl::Notification(component, operation);
  if (operation != ui::TOperation::Remove || component == nullptr) return;
  bool repaint = false;
  if (component == images_) {
    images_ = nullptr;
    repaint = true;
  }
  if (component == stateImages_) {
    stateImages_ = nullptr;
    repaint = true;
  }
  if (component == customCheckImages_) {
    customCheckImages_ = nullptr;
    checkImageKind_ = ckLightCheck;
    repaint = true;
  }
  if (component == popupMenu_) popupMenu_ = nullptr;
  if (header_ != nullptr) {
    if (component == header_->Images()) header_->SetImages(nullptr);
    if (component == header_->PopupMenu()) header_->SetPopupMenu(nullptr);
  }
  if (repaint && !Destroying()) InvalidateClientRect(nullptr);
}

// The buttons are drawn in the tree's colours and font: outside loading they
// are made again, at once when the window exists, else at the next paint.
void TBaseLazyTree::ColorsChanged() {
  if (Loading()) return;
  if (!HandleAllocated()) {
    lineBrush_ = {};
    return;
  }
  PrepareBitmaps(true, false);
  InvalidateClientRect(nullptr);
}

// The widest row was measured with the old font.
void TBaseLazyTree::FontChanged() {
  TControl::FontChanged();
  ResetRangeX();
  if (HandleAllocated() && !Loading()) {
    UpdateScrollBars(true);
    InvalidateClientRect(nullptr);
  }
  if (header_ != nullptr) header_->ParentFontChanged();
}

void TBaseLazyTree::SetBorderStyle(TTreeBorderStyle style) {
  if (style == borderStyle_) return;
  borderStyle_ = style;
  RecreateHandle();
}

void TBaseLazyTree::SetTextMargin(int margin) {
  if (margin == textMargin_) return;
  textMargin_ = margin;
  if (!Loading()) InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetIndentAndRepaint(unsigned indent) {
  if (indent == Indent()) return;
  SetIndent(indent);
  if (HandleAllocated() && UpdateCount() == 0 && !Loading()) {
    UpdateScrollBars(true);
    InvalidateClientRect(nullptr);
  }
}

void TBaseLazyTree::SetMarginAndRepaint(int margin) {
  if (margin == Margin()) return;
  SetMargin(margin);
  if (HandleAllocated() && !Loading()) InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetSelectionCurveRadius(unsigned radius) {
  if (radius == selectionCurveRadius_) return;
  selectionCurveRadius_ = radius;
  if (HandleAllocated() && !Loading()) InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetRootNodeCountLoading(std::uint32_t count) { SetRootNodeCount(count); }

void TBaseLazyTree::Loaded() {
  TControl::Loaded();
  if (states_.Contains(tsRootCountDue)) {
    DoStateChange({}, {tsRootCountDue});
    const std::uint32_t count = RootNode()->ChildCount;
    if (count > 0 && RootNode()->FirstChild == nullptr) {
      const std::uint32_t misc = TreeOptions().MiscOptions();
      TreeOptions().SetMiscOptions(misc & ~toReadOnly);
      RootNode()->ChildCount = 0;
      BeginUpdate();
      SetRootNodeCount(count);
      EndUpdate();
      TreeOptions().SetMiscOptions(misc);
    }
  }
  if (header_ != nullptr) header_->Loaded();
}

void TBaseLazyTree::ChangeScale(int m, int d) {
  if (m == d || m <= 0 || d <= 0 || !HasOption(toAutoChangeScale)) return;
  if (Loading() && !states_.Contains(tsNeedScale)) return;
  const std::int64_t scaled = ScaleHalfEven(DefaultNodeHeight(), m, d);
  SetDefaultNodeHeight(static_cast<std::uint32_t>(std::clamp<std::int64_t>(scaled, 1, 0xFFFF)));
  Header().ChangeScale(m, d);
}

void TBaseLazyTree::ReadOldOptions(const std::vector<std::string>& names) {
  struct Old {
    const char* name;
    TLTOptionSet set;
    std::uint32_t bit;
  };
  static const Old kOld[] = {
      {"voAcceptOLEDrop", TLTOptionSet::Misc, toAcceptOLEDrop},
      {"voCheckSupport", TLTOptionSet::Misc, toCheckSupport},
      {"voEditable", TLTOptionSet::Misc, toEditable},
      {"voGridExtensions", TLTOptionSet::Misc, toGridExtensions},
      {"voInitOnSave", TLTOptionSet::Misc, toInitOnSave},
      {"voToggleOnDblClick", TLTOptionSet::Misc, toToggleOnDblClick},
      {"voAnimatedToggle", TLTOptionSet::Animation, toAnimatedToggle},
      {"voAutoDropExpand", TLTOptionSet::Auto, toAutoDropExpand},
      {"voAutoExpand", TLTOptionSet::Auto, toAutoExpand},
      {"voAutoScroll", TLTOptionSet::Auto, toAutoScroll},
      {"voAutoSort", TLTOptionSet::Auto, toAutoSort},
      {"voAutoSpanColumns", TLTOptionSet::Auto, toAutoSpanColumns},
      {"voAutoTristateTracking", TLTOptionSet::Auto, toAutoTristateTracking},
      {"voDisableDrawSelection", TLTOptionSet::Selection, toDisableDrawSelection},
      {"voExtendedFocus", TLTOptionSet::Selection, toExtendedFocus},
      {"voFullRowSelect", TLTOptionSet::Selection, toFullRowSelect},
      {"voLevelSelectConstraint", TLTOptionSet::Selection, toLevelSelectConstraint},
      {"voMiddleClickSelect", TLTOptionSet::Selection, toMiddleClickSelect},
      {"voMultiSelect", TLTOptionSet::Selection, toMultiSelect},
      {"voRightClickSelect", TLTOptionSet::Selection, toRightClickSelect},
      {"voSiblingSelectConstraint", TLTOptionSet::Selection, toSiblingSelectConstraint},
      {"voHideFocusRect", TLTOptionSet::Paint, toHideFocusRect},
      {"voHideSelection", TLTOptionSet::Paint, toHideSelection},
      {"voHotTrack", TLTOptionSet::Paint, toHotTrack},
      {"voPopupMode", TLTOptionSet::Paint, toPopupMode},
      {"voShowBackground", TLTOptionSet::Paint, toShowBackground},
      {"voShowButtons", TLTOptionSet::Paint, toShowButtons},
      {"voShowDropmark", TLTOptionSet::Paint, toShowDropmark},
      {"voShowHorzGridLines", TLTOptionSet::Paint, toShowHorzGridLines},
      {"voShowRoot", TLTOptionSet::Paint, toShowRoot},
      {"voShowTreeLines", TLTOptionSet::Paint, toShowTreeLines},
      {"voShowVertGridLines", TLTOptionSet::Paint, toShowVertGridLines},
  };
  std::uint32_t sets[5] = {};  // paint, animation, auto, selection, misc
  for (const std::string& name : names)
    for (const Old& o : kOld)
      if (name == o.name) sets[static_cast<int>(o.set)] |= o.bit;
  TCustomLazyTreeOptions& options = TreeOptions();
  options.SetPaintOptions(sets[0]);
  options.SetAnimationOptions(sets[1]);
  options.SetAutoOptions(sets[2]);
  options.SetSelectionOptions(sets[3]);
  options.SetMiscOptions(sets[4]);
}

UINT_PTR TBaseLazyTree::WindowClassStyle() const {
  return HandleAllocated() ? GetClassLongPtrW(HandleIfAllocated(), GCL_STYLE) : 0;
}

void TBaseLazyTree::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = LazyTreeWindowClass(HasOption(toFullRepaintOnResize));
  params.style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP;
  const TScrollStyle bars = scrollBarOptions_.ScrollBars();
  if (bars == TScrollStyle::ssVertical || bars == TScrollStyle::ssBoth) params.style |= WS_VSCROLL;
  if (bars == TScrollStyle::ssHorizontal || bars == TScrollStyle::ssBoth) params.style |= WS_HSCROLL;
  if (borderStyle_ == TTreeBorderStyle::bsSingle) params.exStyle |= WS_EX_CLIENTEDGE;
  if (bidiMode_ != TLTBidiMode::bdLeftToRight) params.exStyle |= WS_EX_LEFTSCROLLBAR;
}

void TBaseLazyTree::CreateHandle() {
  if (HandleAllocated()) return;
  DoStateChange({tsWindowCreating});
  try {
    TControl::CreateHandle();
  } catch (...) {
    DoStateChange({}, {tsWindowCreating});
    throw;
  }
  // A window not made (no parent window yet) leaves the state too.
  DoStateChange({}, {tsWindowCreating});
}

bool TBaseLazyTree::CanAutoScroll() const {
  if (header_ != nullptr && (header_->States() & (hstDragging | hstTracking)) != 0) return false;
  return TLazyTreeModel::CanAutoScroll();
}

void TBaseLazyTree::InitHandle() {
  TControl::InitHandle();
  DoStateChange({tsWindowCreating});
  HWND hwnd = HandleIfAllocated();
  workerTarget_.store(hwnd);
  if (HasOption(toThemeAware) && ui::VisualStylesEnabled())
    DoStateChange({tsUseThemes});
  else
    DoStateChange({}, {tsUseThemes});
  PrepareBitmaps(true, true);
  if (HasOption(toAcceptOLEDrop)) RegisterDropTarget();
  RECT client{};
  GetClientRect(hwnd, &client);
  SetViewSize(client.right, client.bottom);
  UpdateScrollBars(true);
  DoStateChange({}, {tsWindowCreating});
}

// ------------------------------------------------------------ window hooks --

void TBaseLazyTree::InvalidateClientRect(const TLazyRect* rect) {
  HWND hwnd = HandleIfAllocated();
  // The end of an update repaints everything: a bulk change (a cut of 100k
  // nodes) asks for no repaint per node.
  if (hwnd == nullptr || states_.Contains(tsUpdating)) return;
  if (rect == nullptr) {
    InvalidateRect(hwnd, nullptr, FALSE);
  } else {
    RECT r = ToRect(*rect);
    InvalidateRect(hwnd, &r, FALSE);
  }
}

void TBaseLazyTree::RedrawRectNow(const TLazyRect& rect) {
  if (HWND hwnd = HandleIfAllocated()) {
    RECT r = ToRect(rect);
    RedrawWindow(hwnd, &r, nullptr, RDW_INVALIDATE | RDW_VALIDATE | RDW_NOERASE | RDW_NOCHILDREN |
                                        RDW_UPDATENOW);
  }
}

// The control's own visibility decides: WM_SETREDRAW FALSE clears WS_VISIBLE,
// so asking the window would keep redraw off for good after a nested update.
void TBaseLazyTree::SetUpdateState(bool updating) {
  if (TControl::Visible() && HandleAllocated())
    SendMessageW(HandleIfAllocated(), WM_SETREDRAW, updating ? FALSE : TRUE, 0);
}

bool TBaseLazyTree::StartTimer(unsigned id, unsigned ms) {
  if (!HandleAllocated() || SetTimer(HandleIfAllocated(), id, ms, nullptr) == 0) return false;
  if (id < 32) runningTimers_ |= 1u << id;
  return true;
}

// Bulk changes stop the change timers once per node: only a timer that runs
// costs a call to the system.
void TBaseLazyTree::StopTimer(unsigned id) {
  if (!HandleAllocated()) return;
  if (id < 32) {
    if ((runningTimers_ & (1u << id)) == 0) return;
    runningTimers_ &= ~(1u << id);
  }
  KillTimer(HandleIfAllocated(), id);
}

void TBaseLazyTree::ScrollClient(int dx, int dy, const TLazyRect* clip) {
  HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return;
  // Over a background picture the whole client is painted again: only the
  // child windows move with the rows, in one batch.
  if (HasOption(toShowBackground) && background_ != nullptr) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
      children.push_back(child);
    if (HDWP batch = children.empty() ? nullptr : BeginDeferWindowPos(static_cast<int>(children.size()))) {
      for (HWND child : children) {
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
        batch = DeferWindowPos(batch, child, nullptr, r.left + dx, r.top + dy, 0, 0,
                               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (batch == nullptr) break;
      }
      if (batch != nullptr) EndDeferWindowPos(batch);
    }
    InvalidateRect(hwnd, nullptr, FALSE);
    return;
  }
  if (clip != nullptr) {
    RECT r = ToRect(*clip);
    ScrollWindow(HandleIfAllocated(), dx, dy, nullptr, &r);
  } else {
    ScrollWindow(HandleIfAllocated(), dx, dy, nullptr, nullptr);
  }
}

bool TBaseLazyTree::PointOverTree(int x, int y) const {
  HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return false;
  POINT p{x, y};
  ClientToScreen(hwnd, &p);
  return WindowFromPoint(p) == hwnd;
}

bool TBaseLazyTree::MouseButtonHeld() const {
  return states_.Contains(tsLeftButtonDown) || states_.Contains(tsMiddleButtonDown) ||
         states_.Contains(tsRightButtonDown);
}

void TBaseLazyTree::UpdateBar(int bar, std::uint32_t range, int page, int offset) {
  HWND hwnd = HandleIfAllocated();
  const bool always = scrollBarOptions_.AlwaysVisible();
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  if (std::int64_t{page} < range || always) {
    si.fMask = SIF_ALL | (always ? SIF_DISABLENOSCROLL : 0);
    si.nMin = 0;
    si.nMax = static_cast<int>(std::min<std::uint32_t>(range, INT32_MAX));
    si.nPage = static_cast<UINT>(std::max(page + 1, 0));
    si.nPos = -offset;
    ShowScrollBar(hwnd, bar, TRUE);
    SetScrollInfo(hwnd, bar, &si, TRUE);
    if (always) EnableScrollBar(hwnd, bar, std::int64_t{page} < range ? ESB_ENABLE_BOTH : ESB_DISABLE_BOTH);
  } else {
    si.fMask = SIF_RANGE | SIF_POS;
    SetScrollInfo(hwnd, bar, &si, FALSE);
    ShowScrollBar(hwnd, bar, FALSE);
  }
}

// The bars are always drawn at once, whatever `repaint` asks: the end of an
// update and a paint set them without a repaint, and what repaints then is
// the client area only, so the bar would keep showing its old thumb.
void TBaseLazyTree::ApplyScrollBars(bool /*repaint*/, bool vertical, bool horizontal) {
  HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return;
  if (horizontal) barRangeX_ = RangeX();
  const TScrollStyle bars = scrollBarOptions_.ScrollBars();
  if (vertical) {
    if (bars == TScrollStyle::ssVertical || bars == TScrollStyle::ssBoth)
      UpdateBar(SB_VERT, RangeY(), ViewHeight(), OffsetY());
    else
      ShowScrollBar(hwnd, SB_VERT, FALSE);
  }
  if (horizontal) {
    if (bars == TScrollStyle::ssHorizontal || bars == TScrollStyle::ssBoth)
      UpdateBar(SB_HORZ, RangeX(), ViewWidth(), OffsetX());
    else
      ShowScrollBar(hwnd, SB_HORZ, FALSE);
  }
}

void TBaseLazyTree::UpdateWindowNow() {
  if (HWND hwnd = HandleIfAllocated()) UpdateWindow(hwnd);
}

bool TBaseLazyTree::HideOwnDragImage() {
  if (dragImage_ == nullptr || !dragImage_->Visible()) return false;
  dragImage_->HideDragImage();
  return true;
}

void TBaseLazyTree::ShowOwnDragImage() {
  if (dragImage_ != nullptr) dragImage_->ShowDragImage();
}

void TBaseLazyTree::InvalidateHeader() {
  if (header_ != nullptr && header_->HasOption(hoVisible)) header_->Invalidate(-1);
}

// Slides the rows below the node: each step moves the area by the step size
// and clears the stripe it uncovered (Animate keeps the timing).
void TBaseLazyTree::AnimateToggle(int top, bool expanding, int distance) {
  const unsigned duration = AnimationDuration();
  if (distance <= 0 || duration == 0 || states_.Contains(tsInAnimation) || !HandleAllocated()) return;
  HWND hwnd = HandleIfAllocated();
  DoStateChange({tsInAnimation});
  struct Leave {
    TBaseLazyTree& tree;
    ~Leave() { tree.DoStateChange({}, {tsCancelHintAnimation, tsInAnimation}); }
  } leave{*this};
  HDC dc = GetDC(hwnd);
  if (dc == nullptr) return;
  struct Release {
    HWND hwnd;
    HDC dc;
    ~Release() { ReleaseDC(hwnd, dc); }
  } release{hwnd, dc};
  const TToggleAnimationData data{dc, RECT{0, std::max(top, -ViewHeight()), ViewWidth(), ViewHeight()}, expanding};
  Animate(
      distance, duration, [] { return static_cast<std::uint32_t>(timeGetTime()); },
      [&](int step, int stepSize) { return ToggleCallback(step, stepSize, data); },
      [] { return ui::Application().Terminated(); });
}

bool TBaseLazyTree::ToggleCallback(int /*step*/, int stepSize, const TToggleAnimationData& data) {
  if (stepSize <= 0) return true;
  RECT area = data.area;
  ScrollDC(data.dc, 0, data.expanding ? stepSize : -stepSize, &area, &area, nullptr, nullptr);
  EraseLine(data.dc, data.expanding ? RECT{area.left, area.top, area.right, area.top + stepSize}
                                    : RECT{area.left, area.bottom - stepSize, area.right, area.bottom});
  return true;
}

void TBaseLazyTree::EraseLine(HDC dc, const RECT& stripe) {
  FillRect(dc, &stripe, BackgroundBrush());
  if (header_ == nullptr || !HeaderUsesColumns()) return;
  const TLazyTreeColumns& columns = header_->Columns();
  for (TColumnIndex index : columns.GetVisibleColumns()) {
    const TLazyTreeColumn& c = columns.Items(index);
    if (c.HasOption(coParentColor)) continue;
    RECT part{std::max<LONG>(stripe.left, c.Left() + OffsetX()), stripe.top,
              std::min<LONG>(stripe.right, c.Left() + c.Width() + OffsetX()), stripe.bottom};
    if (part.left >= part.right) continue;
    ui::BrushObject brush = ui::MakeSolidBrush(ui::ColorToRGB(c.Color()));
    FillRect(dc, &part, brush.Get());
  }
}

void TBaseLazyTree::WorkerStateChange(unsigned enter, unsigned leave) {
  HWND target = workerTarget_.load();
  // Delivered through the window so that states change on its thread; without
  // a window (or when it went meanwhile) the report waits in the mailbox.
  if (target == nullptr || SendMessageW(target, WM_CHANGESTATE, enter, leave) != 1)
    TLazyTreeModel::WorkerStateChange(enter, leave);
}

// Waits for the worker to leave the tree while delivering the messages other
// threads send (the worker's state reports); posted input, paints and timers
// stay queued, so nothing re-enters the tree meanwhile, and a quit message is
// left for the message loop.
void TBaseLazyTree::WaitForWorker() {
  TWorkerThread::StopAndWait(*this, [] {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_SENDMESSAGE);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  });
  DeliverWorkerStates();
}

void TBaseLazyTree::OptionsChanged(TLTOptionSet which, std::uint32_t oldValue, std::uint32_t newValue) {
  TLazyTreeModel::OptionsChanged(which, oldValue, newValue);
  if (Destroying() || Loading() || !HandleAllocated()) return;
  const std::uint32_t changed = oldValue ^ newValue;
  switch (which) {
    case TLTOptionSet::Auto:
      if (changed & toAutoSpanColumns) InvalidateClientRect(nullptr);
      break;
    case TLTOptionSet::Misc:
      if (changed & toCheckSupport) InvalidateClientRect(nullptr);
      if (changed & toFullRepaintOnResize) RecreateHandle();
      if ((changed & toAcceptOLEDrop) && (newValue & toAcceptOLEDrop)) RegisterDropTarget();
      if ((changed & toAcceptOLEDrop) && !(newValue & toAcceptOLEDrop)) RevokeDropTarget();
      break;
    case TLTOptionSet::Paint:
      if (changed & toThemeAware) {
        if ((newValue & toThemeAware) && ui::VisualStylesEnabled())
          DoStateChange({tsUseThemes});
        else
          DoStateChange({}, {tsUseThemes});
        RedrawWindow(HandleIfAllocated(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
      } else {
        InvalidateClientRect(nullptr);
      }
      break;
    case TLTOptionSet::String:
      if (changed & toShowStaticText) InvalidateClientRect(nullptr);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- messages --

void TBaseLazyTree::Paint(HDC copy) {
  // The drag image of an in-process drag lies over the windows: it is hidden
  // while the tree paints under it, and shown again after.
  const bool libraryDrag = states_.Contains(tsControlDragging);
  if (libraryDrag) ImageList_DragShowNolock(FALSE);
  const ScopeGuard reshow([libraryDrag] {
    if (libraryDrag) ImageList_DragShowNolock(TRUE);
  });
  auto paintArea = [this](HDC dc, RECT window) {
    if (IsRectEmpty(&window)) return;
    const POINT at{window.left, window.top};
    OffsetRect(&window, -OffsetX(), -OffsetY());
    PaintTree(dc, window, at, kPaintRequestOptions);
  };
  const std::uint32_t rangeBefore = RangeX();
  RECT client{};
  GetClientRect(HandleIfAllocated(), &client);
  RECT painted = client;
  if (copy != nullptr) {
    paintArea(copy, client);
  } else {
    const ui::PaintDc paint = ui::BeginPaintDc(HandleIfAllocated());
    painted = paint.PaintRect();
    paintArea(paint.Get(), painted);
  }
  if (HeaderUsesColumns()) return;
  // Right-aligned, centred and right-to-left rows outside a partial paint were
  // placed from the old edge of a range the paint widened: they are placed again.
  if (RangeX() != rangeBefore && !EqualRect(&painted, &client) &&
      std::max<std::int64_t>(ViewWidth(), RangeX()) != std::max<std::int64_t>(ViewWidth(), rangeBefore) &&
      (alignment_ != TLTAlignment::taLeftJustify || bidiMode_ != TLTBidiMode::bdLeftToRight))
    InvalidateClientRect(nullptr);
  // Without columns the painted rows measure the horizontal range; the bar
  // follows once the paint is over. A paint the new bar causes measures the
  // same rows, so it leaves the bar alone.
  if ((RangeX() != barRangeX_ || RangeXDue()) && UpdateCount() == 0 && !TreeStates().Contains(tsSizing))
    UpdateScrollBars(false);
}

void TBaseLazyTree::HandleSize() {
  RECT client{};
  GetClientRect(HandleIfAllocated(), &client);
  if (states_.Contains(tsSizing) || client.bottom <= 0) return;
  DoStateChange({tsSizing});
  SetViewSize(client.right, client.bottom);
  // The header strip is measured from the window whenever it is used and the
  // frame was just computed by the resize: of its layout only the spring
  // columns are due.
  if (header_ != nullptr) header_->UpdateSpringColumns();
  UpdateScrollBars(true);
  // With columns the header's layout moves the editor.
  if (IsEditing() && !HeaderUsesColumns()) UpdateEditBounds();
  DoStateChange({}, {tsSizing});
}

// After a scroll the hint no longer belongs where it shows, and the node under
// the resting mouse changed: the hot node follows it (the hot check box too,
// without hot tracking).
void TBaseLazyTree::OffsetsMoved() {
  CancelHint();
  POINT p;
  RECT client;
  HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr || !GetCursorPos(&p) || !ScreenToClient(hwnd, &p)) return;
  GetClientRect(hwnd, &client);
  if (PtInRect(&client, p)) HandleHotTrack(p.x, p.y);
}

int TBaseLazyTree::HorizontalBarDueHeight() const {
  HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr || HeaderUsesColumns()) return 0;
  const TScrollStyle bars = scrollBarOptions_.ScrollBars();
  if (bars != TScrollStyle::ssHorizontal && bars != TScrollStyle::ssBoth) return 0;
  const bool shown = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_HSCROLL) != 0;
  return !shown && ViewWidth() < static_cast<int>(RangeX()) ? GetSystemMetrics(SM_CYHSCROLL) : 0;
}

bool TBaseLazyTree::HandleScroll(ui::TMessage& m, bool vertical) {
  if (m.lParam != 0) return false;  // a scroll bar control of a child
  HWND hwnd = HandleIfAllocated();
  const int bar = vertical ? SB_VERT : SB_HORZ;
  const int increment = static_cast<int>(vertical ? VerticalIncrement() : HorizontalIncrement());
  const int page = vertical ? ViewHeight() : ViewWidth();
  const int current = vertical ? OffsetY() : OffsetX();
  auto set = [&](int offset) { vertical ? SetOffsetY(offset) : SetOffsetX(offset); };
  switch (LOWORD(m.wParam)) {
    case SB_LINEUP: set(current + increment); break;
    case SB_LINEDOWN: set(current - increment); break;
    case SB_PAGEUP: set(current + page); break;
    case SB_PAGEDOWN: set(current - page); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
      DoStateChange({tsThumbTracking});
      // The 32-bit track position; the message carries only 16 bits.
      SCROLLINFO si{};
      si.cbSize = sizeof si;
      si.fMask = SIF_TRACKPOS;
      GetScrollInfo(hwnd, bar, &si);
      set(-si.nTrackPos);
      break;
    }
    case SB_TOP: set(0); break;
    case SB_BOTTOM: set(-static_cast<int>(vertical ? RootNode()->TotalHeight : RangeX())); break;
    case SB_ENDSCROLL:
      DoStateChange({}, {tsThumbTracking});
      if (vertical) {
        UpdateScrollBars(true);
        RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
      } else {
        ApplyScrollBars(true, false, true);
      }
      break;
  }
  m.result = 0;
  return true;
}

// One auto-scroll tick. While panning each direction moves by the mouse's
// distance from the panning origin beyond the dead zone, so the view runs
// faster the further the mouse goes; otherwise by the scroll increments,
// which grow with the distance while a band is drawn with the mouse outside
// the client area. The band follows.
void TBaseLazyTree::DoTimerScroll() {
  HWND hwnd = HandleIfAllocated();
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(hwnd, &p);
  const int width = ViewWidth(), height = ViewHeight();
  const bool inside = p.x >= 0 && p.y >= 0 && p.x < width && p.y < height;
  const bool panning = states_.Contains(tsPanningHeld) || states_.Contains(tsPanningSticky);
  const bool banding = states_.Contains(tsDrawSelecting);
  unsigned directions = AutoScrollDirections();
  if (banding || panning || inside) {
    const int vertical = std::min<int>(static_cast<int>(VerticalIncrement()), std::max(height, 1));
    const int horizontal = static_cast<int>(HorizontalIncrement());
    // The step towards one side: `distance` is how far the mouse lies beyond
    // the client edge on that side, `fromOrigin` how far from the panning origin.
    auto step = [&](int increment, int distance, int fromOrigin) {
      if (panning) return std::max(std::abs(fromOrigin) - kPanningDeadZone, 0);
      return inside ? increment : increment * std::max(distance, 1);
    };
    int dx = 0, dy = 0;
    if ((directions & 1) && OffsetX() == 0) directions &= ~1u;
    if ((directions & 2) && OffsetY() == 0) directions &= ~2u;
    if ((directions & 4) && std::int64_t{width} - OffsetX() >= RangeX()) directions &= ~4u;
    if ((directions & 8) && std::int64_t{height} - OffsetY() >= RangeY()) directions &= ~8u;
    const int fromX = p.x - PanningX(), fromY = p.y - PanningY();
    if (directions & 1) dx += step(horizontal, -p.x, fromX);
    if (directions & 4) dx -= step(horizontal, p.x - width, fromX);
    if (directions & 2) dy += step(vertical, -p.y, fromY);
    if (directions & 8) dy -= step(vertical, p.y - height, fromY);
    if (banding) {
      DoSetOffsetXY(OffsetX() + dx, OffsetY() + dy, kSoAllScrollOptions);
      // The scrolled pixels carry the old band's edges along: the old and
      // the new band are painted again (the uncovered strip already is).
      CalculateSelectionRect(p.x, p.y);
      InvalidateBand(HandleDrawSelection());
    } else if (!IsDropTarget()) {
      DoSetOffsetXY(OffsetX() + dx, OffsetY() + dy, kSoAllScrollOptions);
    }
    UpdateWindow(hwnd);
  }
  if (directions == 0 && !panning) {
    StopTimer(kScrollTimer);
    DoStateChange({}, {tsScrollPending, tsScrolling});
  }
}

void TBaseLazyTree::InvalidateBand(bool selectionChanged) {
  HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return;
  if (selectionChanged) {
    InvalidateRect(hwnd, nullptr, FALSE);
    return;
  }
  const TLazyRect from = OrderRect(OldSelectionRect()), to = OrderRect(SelectionRect());
  RECT band{std::min(from.Left, to.Left), std::min(from.Top, to.Top), std::max(from.Right, to.Right),
            std::max(from.Bottom, to.Bottom)};
  OffsetRect(&band, OffsetX(), OffsetY());
  InvalidateRect(hwnd, &band, FALSE);
}

void TBaseLazyTree::WndProc(ui::TMessage& m) {
  if (header_ != nullptr) {
    if (HeaderFrameMessage(m)) return;
    if ((m.msg == WM_NCLBUTTONDOWN || m.msg == WM_NCRBUTTONDOWN || m.msg == WM_NCMBUTTONDOWN) &&
        GetFocus() != HandleIfAllocated() && Enabled() && TControl::Visible())
      SetFocus(HandleIfAllocated());
    if (header_->HandleMessage(m)) {
      // Focus lost while the header drags or tracks: the search ends as well.
      if (m.msg == WM_KILLFOCUS) EndSearch();
      return;
    }
  }
  if (HintMessage(m) || EditMessage(m) || PanningMessage(m) || MouseMessage(m) || KeyMessage(m) || ClipboardMessage(m)) return;
  switch (m.msg) {
    case WM_CHANGESTATE:
      WMChangeState(static_cast<unsigned>(m.wParam), static_cast<unsigned>(m.lParam));
      m.result = 1;
      return;
    case WM_PAINT:
      Paint(reinterpret_cast<HDC>(m.wParam));
      m.result = 0;
      return;
    case WM_ERASEBKGND:
      m.result = 1;  // painting covers every pixel
      return;
    case WM_NCPAINT:
      PaintNonClient(m);
      return;
    case ui::CM_DENYSUBCLASSING:
      m.result = 1;  // the tree paints itself
      return;
    case WM_SYSCOLORCHANGE:
    case ui::CM_SYSCOLORCHANGE:
      RecolorCheckImages();
      ColorsChanged();
      TControl::WndProc(m);
      return;
    case ui::CM_COLORCHANGED:
      if (header_ != nullptr) header_->Columns().ParentColorChanged();
      ColorsChanged();
      return;
    case ui::CM_FONTCHANGED:
      ColorsChanged();
      return;
    case WM_PRINTCLIENT:
      PrintClient(reinterpret_cast<HDC>(m.wParam), m.lParam);
      m.result = 0;
      return;
    case WM_SIZE:
      TControl::WndProc(m);
      HandleSize();
      return;
    case WM_VSCROLL:
    case WM_HSCROLL:
      if (HandleScroll(m, m.msg == WM_VSCROLL)) return;
      break;
    case WM_TIMER:
      if (m.wParam == kChangeTimer || m.wParam == kStructureChangeTimer) {
        ChangeTimerExpired(static_cast<unsigned>(m.wParam));
        return;
      }
      if (m.wParam == kScrollTimer) {
        if (states_.Contains(tsScrollPending)) {
          // The delay has passed: from now on at the scroll interval.
          HideHint();
          DoStateChange({tsScrolling}, {tsScrollPending});
          StartTimer(kScrollTimer, AutoScrollInterval());
        }
        DoTimerScroll();
        return;
      }
      if (m.wParam == kEditTimer) return;
      if (m.wParam == kExpandTimer) {
        DoDragExpand();
        return;
      }
      break;
    case WM_DESTROY:
      // The worker's reports go to the mailbox from now on; its pending
      // report is delivered before the window goes.
      StopCacheBuild();
      workerTarget_.store(nullptr);
      break;
    case WM_NCDESTROY:
      StopTimer(kChangeTimer);
      StopTimer(kStructureChangeTimer);
      runningTimers_ = 0;  // the window's timers go with it
      RevokeDropTarget();
      break;
    case WM_THEMECHANGED:
      TControl::WndProc(m);
      if (HasOption(toThemeAware) && ui::VisualStylesEnabled())
        DoStateChange({tsUseThemes});
      else
        DoStateChange({}, {tsUseThemes});
      RedrawWindow(HandleIfAllocated(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN);
      return;
    case WM_ENABLE:
      TControl::WndProc(m);
      RedrawWindow(HandleIfAllocated(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN);
      return;
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
      if (GetFocus() != HandleIfAllocated() && Enabled() && TControl::Visible())
        SetFocus(HandleIfAllocated());
      break;
    case TVM_GETNEXTITEM:
    case TVM_GETITEMRECT:
    case TVM_GETITEMA:
      m.result = TreeViewMessage(m.msg, m.wParam, m.lParam);
      return;
  }
  TControl::WndProc(m);
}

// The common tree-view protocol, for accessibility tools. An item handle is a
// node pointer; one that is not a live node of this tree answers 0 and is
// never dereferenced (the caller may hold a handle of a node freed since).
LRESULT TBaseLazyTree::TreeViewMessage(UINT msg, WPARAM w, LPARAM l) {
  auto live = [this](const void* item) -> PLazyNode {
    return IsLiveNode(item) ? static_cast<PLazyNode>(const_cast<void*>(item)) : nullptr;
  };
  auto answer = [](PLazyNode n) { return reinterpret_cast<LRESULT>(n); };
  switch (msg) {
    case TVM_GETNEXTITEM: {
      PLazyNode item = live(reinterpret_cast<const void*>(l));
      switch (w) {
        case TVGN_ROOT: return answer(GetFirst());
        case TVGN_NEXT: return item ? answer(GetNextSibling(item)) : 0;
        case TVGN_PREVIOUS: return item ? answer(GetPreviousSibling(item)) : 0;
        case TVGN_PARENT: return item && item->Parent != RootNode() ? answer(item->Parent) : 0;
        case TVGN_CHILD: return item ? answer(GetFirstChild(item)) : 0;
        case TVGN_FIRSTVISIBLE: return answer(GetFirstVisible());
        case TVGN_NEXTVISIBLE: return item ? answer(GetNextVisible(item)) : 0;
        case TVGN_PREVIOUSVISIBLE:
          if (item == nullptr) return 0;
          if (!item->States.Contains(nsInitialized)) InitNode(item);
          return answer(GetPreviousVisible(item));
        case TVGN_DROPHILITE: return answer(DropTargetNode());
        case TVGN_CARET: return answer(FocusedNode());
        case TVGN_LASTVISIBLE: return answer(GetLastVisible());
        default: return 0;
      }
    }
    case TVM_GETITEMRECT: {
      auto* rect = reinterpret_cast<RECT*>(l);
      if (rect == nullptr) return 0;
      void* handle = nullptr;
      std::memcpy(&handle, rect, sizeof handle);
      PLazyNode item = live(handle);
      if (item == nullptr || !FullyVisible(item)) return 0;
      // All columns (the whole row), or the main column's text only.
      const TColumnIndex column = w != 0 && HeaderUsesColumns() ? HeaderMainColumn() : kNoColumn;
      const TLazyRect r = GetDisplayRect(item, column, w != 0);
      *rect = ToRect(r);
      return 1;
    }
    case TVM_GETITEMA: {
      auto* tv = reinterpret_cast<TVITEMA*>(l);
      if (tv == nullptr || !(tv->mask & TVIF_HANDLE)) return 0;
      PLazyNode item = live(tv->hItem);
      if (item == nullptr) return 0;
      if (tv->mask & TVIF_CHILDREN) tv->cChildren = static_cast<int>(item->ChildCount);
      const TColumnIndex main = HeaderUsesColumns() ? HeaderMainColumn() : kNoColumn;
      auto image = [&](TLTImageKind kind) {
        bool ghosted = false;
        return ImageIndex(item, kind, main, ghosted);
      };
      if (tv->mask & TVIF_IMAGE) tv->iImage = image(TLTImageKind::ikNormal);
      if (tv->mask & TVIF_SELECTEDIMAGE) tv->iSelectedImage = image(TLTImageKind::ikSelected);
      if (tv->mask & TVIF_STATE) {
        tv->stateMask = 0xFF2F;
        UINT state = 0;
        if (item == FocusedNode()) state |= 0x0001;  // focused
        if (item->States.Contains(nsSelected)) state |= TVIS_SELECTED;
        if (item->States.Contains(nsCutCopyMarked)) state |= TVIS_CUT;
        if (item == DropTargetNode()) state |= TVIS_DROPHILITED;
        if (item->States.Contains(nsExpanded)) state |= TVIS_EXPANDED;
        // State image and overlay indexes + 1 (0: none) in their standard fields.
        state |= INDEXTOSTATEIMAGEMASK(std::max(image(TLTImageKind::ikState) + 1, 0) & 0xF);
        state |= INDEXTOOVERLAYMASK(std::max(image(TLTImageKind::ikOverlay) + 1, 0) & 0xF);
        tv->state = state;
      }
      if ((tv->mask & TVIF_TEXT) && tv->pszText != nullptr && tv->cchTextMax > 0) {
        const std::string text = ItemText(item);
        const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(tv->cchTextMax) - 1);
        std::memcpy(tv->pszText, text.data(), n);
        tv->pszText[n] = '\0';
      }
      return 1;
    }
  }
  return 0;
}

}  // namespace kv
