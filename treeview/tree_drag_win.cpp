// Drag and drop of nodes: the drag manager (OLE drop source and target), the
// start of a drag with its image, the drop target's steps (drop target node,
// drop mode and mark, auto-expand and auto-scroll, the suggested effect).
#include <algorithm>

#include "base/scope_guard.h"
#include "treeview/base_lazy_tree_win.h"
#include "treeview/data_object_win.h"
#include "treeview/drag_image_win.h"
#include "ui/application_win.h"

namespace kv {

namespace {

using RegionObject = Handle<ui::GdiObjectOf<HRGN>>;

// Formats a drop offers at most; an enumerator that never ends is cut there.
constexpr int kMaxDropFormats = 1000;

TShiftState KeysToShift(DWORD keyState) {
  TShiftState shift = 0;
  if (keyState & MK_SHIFT) shift |= ssShift;
  if (keyState & MK_CONTROL) shift |= ssCtrl;
  if (keyState & MK_ALT) shift |= ssAlt;
  return shift;
}

RECT ToRect(const TLazyRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

}  // namespace

// ------------------------------------------------------------ drag manager --

TLTDragManager::TLTDragManager(TBaseLazyTree& owner) : ownerSerial_(owner.Serial()) {
  if (FAILED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTargetHelper,
                              helper_.PutVoid())))
    helper_.Reset();
}

TBaseLazyTree* TLTDragManager::Owner() const { return TBaseLazyTree::FromSerial(ownerSerial_); }

TBaseLazyTree* TLTDragManager::GetDragSource() const {
  return sourceSerial_ != 0 ? TBaseLazyTree::FromSerial(sourceSerial_) : nullptr;
}

HRESULT TLTDragManager::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
    *object = static_cast<IDropTarget*>(this);
  } else if (IsEqualIID(riid, IID_IDropSource)) {
    *object = static_cast<IDropSource*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG TLTDragManager::AddRef() { return ++refs_; }

ULONG TLTDragManager::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT TLTDragManager::DragEnter(IDataObject* dataObject, DWORD keyState, POINTL pt, DWORD* effect) {
  if (effect == nullptr) return E_INVALIDARG;
  try {
    TBaseLazyTree* owner = Owner();
    if (owner == nullptr) {
      *effect = DROPEFFECT_NONE;
      return E_UNEXPECTED;
    }
    dataObject_ = ComPtr<IDataObject>(dataObject);
    isDropTarget_ = true;
    BOOL full = FALSE;
    SystemParametersInfoW(SPI_GETDRAGFULLWINDOWS, 0, &full, 0);
    fullDragging_ = full != FALSE;
    if (!fullDragging_) LockWindowUpdate(nullptr);
    POINT p{pt.x, pt.y};
    // A helper that refuses (Wine's answers E_NOTIMPL) counts as missing.
    if (UseHelper() && FAILED(helper_->DragEnter(owner->Handle(), dataObject, &p, *effect))) helper_.Reset();
    TBaseLazyTree* source = TBaseLazyTree::GetTreeFromDataObject(dataObject);
    sourceSerial_ = source != nullptr ? source->Serial() : 0;
    return owner->DragEnter(keyState, p, *effect);
  } catch (...) {
    *effect = DROPEFFECT_NONE;
    return E_UNEXPECTED;
  }
}

HRESULT TLTDragManager::DragOver(DWORD keyState, POINTL pt, DWORD* effect) {
  if (effect == nullptr) return E_INVALIDARG;
  try {
    TBaseLazyTree* owner = Owner();
    if (owner == nullptr) {
      *effect = DROPEFFECT_NONE;
      return E_UNEXPECTED;
    }
    POINT p{pt.x, pt.y};
    if (UseHelper()) helper_->DragOver(&p, *effect);
    return owner->DragOver(GetDragSource(), keyState, TDragState::dsDragMove, p, *effect);
  } catch (...) {
    *effect = DROPEFFECT_NONE;
    return E_UNEXPECTED;
  }
}

HRESULT TLTDragManager::DragLeave() {
  try {
    if (UseHelper()) helper_->DragLeave();
    if (TBaseLazyTree* owner = Owner()) owner->DragLeave();
  } catch (...) {
    ui::Application().HandleException(std::current_exception());
  }
  sourceSerial_ = 0;
  isDropTarget_ = false;
  dataObject_.Reset();
  return S_OK;
}

HRESULT TLTDragManager::Drop(IDataObject* dataObject, DWORD keyState, POINTL pt, DWORD* effect) {
  if (effect == nullptr) return E_INVALIDARG;
  HRESULT result = E_UNEXPECTED;
  try {
    POINT p{pt.x, pt.y};
    if (UseHelper()) helper_->Drop(dataObject, &p, *effect);
    if (TBaseLazyTree* owner = Owner())
      result = owner->DragDrop(dataObject, keyState, p, *effect);
    else
      *effect = DROPEFFECT_NONE;
  } catch (...) {
    *effect = DROPEFFECT_NONE;
    result = E_UNEXPECTED;
  }
  isDropTarget_ = false;
  dataObject_.Reset();
  return result;
}

HRESULT TLTDragManager::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
  const bool left = (keyState & MK_LBUTTON) != 0, right = (keyState & MK_RBUTTON) != 0;
  if (escapePressed || (left && right)) return DRAGDROP_S_CANCEL;
  return left || right ? S_OK : DRAGDROP_S_DROP;
}

HRESULT TLTDragManager::GiveFeedback(DWORD /*effect*/) { return DRAGDROP_S_USEDEFAULTCURSORS; }

void TLTDragManager::ForceDragLeave() {
  if (UseHelper()) helper_->DragLeave();
}

ComPtr<IDataObject> TLTDragManager::GetDataObject() {
  if (isDropTarget_) return dataObject_;
  TBaseLazyTree* owner = Owner();
  if (owner == nullptr) return {};
  ComPtr<IDataObject> object = owner->DoCreateDataObject();
  if (!object) {
    ComPtr<TLTDataObject> own = MakeComObject<TLTDataObject>(*owner, false);
    object = ComPtr<IDataObject>(own.Get());
  }
  return object;
}

// -------------------------------------------------------- tree: the source --

ComPtr<ILTDragManager> TBaseLazyTree::DoCreateDragManager() {
  ComPtr<ILTDragManager> manager;
  if (OnCreateDragManager) OnCreateDragManager(*this, manager);
  return manager;
}

ILTDragManager& TBaseLazyTree::GetDragManager() {
  if (!dragManager_) {
    dragManager_ = DoCreateDragManager();
    if (!dragManager_) {
      ComPtr<TLTDragManager> own = MakeComObject<TLTDragManager>(*this);
      dragManager_ = ComPtr<ILTDragManager>(own.Get());
    }
  }
  return *dragManager_.Get();
}

TLTDragImage& TBaseLazyTree::DragImage() {
  if (!dragImage_) dragImage_ = std::make_unique<TLTDragImage>(HandleIfAllocated());
  return *dragImage_;
}

bool TBaseLazyTree::IsDropTarget() const { return dragManager_ && dragManager_->GetIsDropTarget(); }

void TBaseLazyTree::RegisterDropTarget() {
  HWND hwnd = HandleIfAllocated();
  if (dropTargetRegistered_ || hwnd == nullptr) return;
  dropTargetRegistered_ = RegisterDragDrop(hwnd, &GetDragManager()) == S_OK;
}

void TBaseLazyTree::RevokeDropTarget() {
  if (!dropTargetRegistered_) return;
  if (HWND hwnd = HandleIfAllocated()) RevokeDragDrop(hwnd);
  dropTargetRegistered_ = false;
}

bool TBaseLazyTree::DoBeforeDrag(PLazyNode node, TColumnIndex column) {
  bool allowed = false;
  if (OnDragAllowed) OnDragAllowed(*this, node, column, allowed);
  return allowed;
}

void TBaseLazyTree::DoStartDrag() {
  if (OnStartDrag) OnStartDrag(*this);
}

void TBaseLazyTree::DoEndDrag(POINT client) {
  if (OnEndDrag) OnEndDrag(*this, client);
}

void TBaseLazyTree::BeginDrag(bool immediate, int threshold) {
  if (Dragging()) return;
  dragThreshold_ = threshold < 0 ? std::max(GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG)) : threshold;
  if (dragType_ == TLTDragType::dtNative) {
    if (immediate)
      RunNativeDrag();
    else
      DoStateChange({tsControlDragPending});
  } else if (immediate) {
    DoDragging(lastClickPos_);
  } else {
    DoStateChange({tsDragPending});
  }
}

void TBaseLazyTree::ForgetDragged(PLazyNode node) {
  const auto it = std::find(dragSelection_.begin(), dragSelection_.end(), node);
  if (it != dragSelection_.end()) dragSelection_.erase(it);
}

void TBaseLazyTree::DoNodeMoved(PLazyNode node) {
  // A node moved within the tree, or below a moved node, is no longer where
  // the drag took it from.
  dragSelection_.erase(std::remove_if(dragSelection_.begin(), dragSelection_.end(),
                                      [&](PLazyNode n) { return n == node || HasAsParent(n, node); }),
                       dragSelection_.end());
  TLazyTreeModel::DoNodeMoved(node);
}

// Steps of one drag: the selection is fixed (topmost nodes only), OLE's modal
// loop runs, and a move deletes what is left of the dragged nodes: those a
// drop moved or deleted already left the drag selection. A drop handler's
// exception, stored by the drop target, comes out here once OLE returned.
void TBaseLazyTree::DoDragging(POINT p) {
  const HWND hwnd = HandleIfAllocated();
  if (IsEditing()) CancelEditNode();
  if (PLazyNode hot = HotNode()) {
    InvalidateNode(hot);
    SetHotNode(nullptr);
  }
  if (PLazyNode focused = FocusedNode(); focused != nullptr && !Selected(focused)) {
    AddToSelection(focused);
    InvalidateNode(focused);
  }
  if (hwnd != nullptr) UpdateWindow(hwnd);
  dragSelection_ = GetSortedSelection(true);
  DoStateChange({tsOLEDragging}, {tsDragPending, tsClearPending});
  dropException_ = nullptr;
  const ScopeGuard leave([this] {
    DoStateChange({}, {tsOLEDragging});
    dragSelection_.clear();
  });
  DoStartDrag();
  const ComPtr<ILTDragManager> manager(&GetDragManager());
  const ComPtr<IDataObject> data = manager->GetDataObject();
  PrepareDragImage(p, data.Get());
  lastDropMode_ = TDropMode::dmOnNode;
  DWORD effect = DROPEFFECT_NONE;
  const DWORD allowed = dragOperations_ == 0 ? (doCopy | doMove | doLink) : dragOperations_;
  ::DoDragDrop(data.Get(), manager->DropSource(), allowed, &effect);
  manager->ForceDragLeave();
  POINT cursor{};
  GetCursorPos(&cursor);
  if (hwnd != nullptr) ScreenToClient(hwnd, &cursor);
  DoEndDrag(cursor);
  DragImage().EndDrag();
  if (std::exception_ptr error = std::exchange(dropException_, nullptr)) std::rethrow_exception(error);
  if (effect == DROPEFFECT_MOVE && HasOption(toAutoDeleteMovedNodes)) {
    // Deleting reports each node through ForgetNode, which edits the selection.
    const std::vector<PLazyNode> nodes = std::exchange(dragSelection_, {});
    DeleteNodesOnce(nodes);
  }
}

void TBaseLazyTree::PrepareDragImage(POINT hotSpot, IDataObject* dataObject) {
  const HWND hwnd = HandleIfAllocated();
  if (!CanShowDragImage() || hwnd == nullptr || dragWidth_ <= 0 || dragHeight_ <= 0) return;
  const POINT at{hotSpot.x - OffsetX(), hotSpot.y - OffsetY()};
  const RECT box{at.x - dragWidth_ / 2, at.y - dragHeight_ / 2, at.x + dragWidth_ / 2, at.y + dragHeight_ / 2};
  const int width = box.right - box.left, height = box.bottom - box.top;
  if (width <= 0 || height <= 0) return;
  RECT paint = box;
  POINT target{0, 0};
  if (paint.left < 0) {
    target.x = -paint.left;
    paint.left = 0;
  }
  if (paint.top < 0) {
    target.y = -paint.top;
    paint.top = 0;
  }
  const COLORREF background = ui::ColorToRGB(Color());
  ui::BitmapObject bitmap;
  {
    const ui::WindowDc screen = ui::GetClientDc(nullptr);
    bitmap = ui::BitmapObject(CreateCompatibleBitmap(screen.Get(), width, height));
    if (!bitmap) return;
    ui::MemoryDc dc = ui::CreateMemoryDc(screen.Get());
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), bitmap.Get());
    const ui::BrushObject brush = ui::MakeSolidBrush(background);
    const RECT all{0, 0, width, height};
    FillRect(dc.Get(), &all, brush.Get());
    std::uint32_t options = poDrawSelection | poSelectedOnly;
    if (dragImageKind_ == TLTDragImageKind::diMainColumnOnly) options |= poMainOnly;
    PaintTree(dc.Get(), paint, target, options);
  }
  POINT imagePosition{box.left + OffsetX(), box.top + OffsetY()};
  ClientToScreen(hwnd, &imagePosition);
  POINT hot = hotSpot;
  ClientToScreen(hwnd, &hot);
  TLTDragImage& image = DragImage();
  image.SetColorKey(background);
  image.PrepareDrag(bitmap.Get(), imagePosition, hot, dataObject);
}

// -------------------------------------------------------- tree: the target --

DWORD TBaseLazyTree::SuggestDropEffect(TBaseLazyTree* source, TShiftState shift, POINT /*pt*/, DWORD allowed) {
  DWORD result = allowed;
  if (source == this) {
    if (allowed & DROPEFFECT_MOVE) result = DROPEFFECT_MOVE;
  } else if (allowed & DROPEFFECT_COPY) {
    result = DROPEFFECT_COPY;
  }
  const bool ctrl = (shift & ssCtrl) != 0, shiftKey = (shift & ssShift) != 0, alt = (shift & ssAlt) != 0;
  DWORD wanted = DROPEFFECT_NONE;
  if (ctrl && !shiftKey)
    wanted = DROPEFFECT_COPY;
  else if (shiftKey && !ctrl)
    wanted = DROPEFFECT_MOVE;
  else if ((ctrl && shiftKey) || alt)
    wanted = DROPEFFECT_LINK;
  if (wanted != DROPEFFECT_NONE && (allowed & wanted)) result = wanted;
  return result;
}

bool TBaseLazyTree::DoDragOver(TBaseLazyTree* source, TShiftState shift, TDragState state, POINT pt, TDropMode mode,
                               DWORD& effect) {
  bool accept = false;
  if (OnDragOver) OnDragOver(*this, source, shift, state, pt, mode, effect, accept);
  return accept;
}

void TBaseLazyTree::DoDragDrop(TBaseLazyTree* source, IDataObject* dataObject, const std::vector<CLIPFORMAT>& formats,
                               TShiftState shift, POINT pt, DWORD& effect, TDropMode mode) {
  if (OnDragDrop) OnDragDrop(*this, source, dataObject, formats, shift, pt, effect, mode);
}

HRESULT TBaseLazyTree::DragEnter(DWORD keyState, POINT pt, DWORD& effect) {
  // A drag that left through a scrolling edge does not make this one scroll at once.
  ResetScrollStart();
  try {
    const HWND hwnd = HandleIfAllocated();
    ILTDragManager& manager = GetDragManager();
    TBaseLazyTree* source = manager.GetDragSource();
    const TShiftState shift = KeysToShift(keyState);
    POINT p = pt;
    ScreenToClient(hwnd, &p);
    effect = SuggestDropEffect(source, shift, p, effect);
    if (!DoDragOver(source, shift, TDragState::dsDragEnter, p, lastDropMode_, effect)) {
      effect = DROPEFFECT_NONE;
    } else {
      TTreeHitInfo hit;
      GetHitTestInfoAt(p.x, p.y, true, hit);
      SetDropTargetNode(hit.HitNode);
      if (hit.HitNode == nullptr) {
        lastDropMode_ = TDropMode::dmNowhere;
      } else if (hit.HitPositions.Contains(hpOnItemLabel)) {
        lastDropMode_ = TDropMode::dmOnNode;
      } else {
        const TLazyRect r = GetDisplayRect(hit.HitNode, HeaderMainColumn(), false);
        lastDropMode_ = (r.Top + r.Bottom) / 2 > p.y ? TDropMode::dmAbove : TDropMode::dmBelow;
      }
    }
    // The target entered on waits its delay like any later one.
    if (HasOption(toAutoDropExpand) && DropTargetNode() != nullptr && HasChildren(DropTargetNode()))
      StartTimer(kExpandTimer, AutoExpandDelay());
    TBaseLazyTree* imageOwner = !manager.GetDropTargetHelperSupported() ? source : nullptr;
    if (imageOwner != nullptr) imageOwner->DragImage().ShowDragImage();
    if (DropTargetNode() != nullptr)
      RepaintDropArea(imageOwner, ToRect(GetDisplayRect(DropTargetNode(), kNoColumn, false)), false, false);
    return S_OK;
  } catch (...) {
    effect = DROPEFFECT_NONE;
    return E_UNEXPECTED;
  }
}

void TBaseLazyTree::RepaintDropArea(TBaseLazyTree* imageOwner, RECT r, bool scrolled, bool willMove) {
  const HWND hwnd = HandleIfAllocated();
  if (imageOwner != nullptr && imageOwner->DragImage().Visible()) {
    if (scrolled) GetClientRect(hwnd, &r);
    UpdateWindowAndDragImage(*imageOwner, r, scrolled, !willMove);
  } else {
    InvalidateRect(hwnd, &r, FALSE);
  }
}

HRESULT TBaseLazyTree::DragOver(TBaseLazyTree* source, DWORD keyState, TDragState state, POINT pt, DWORD& effect) {
  try {
    const HWND hwnd = HandleIfAllocated();
    ILTDragManager& manager = GetDragManager();
    // Only an image actually on screen counts: a source that shows none (no
    // drag image prepared) would otherwise stop the scrolling below from
    // moving the client area while nothing repaints it.
    TBaseLazyTree* imageOwner =
        !manager.GetDropTargetHelperSupported() && source != nullptr && source->DragImage().Visible() ? source
                                                                                                     : nullptr;
    POINT p = pt;
    ScreenToClient(hwnd, &p);

    // Auto-scroll towards the edge the mouse rests at.
    unsigned directions = DetermineScrollDirections(p.x, p.y);
    const int vertical = std::min(static_cast<int>(VerticalIncrement()), ViewHeight());
    const int horizontal = static_cast<int>(HorizontalIncrement());
    if ((directions & 2) && OffsetY() == 0) directions &= ~2u;
    if ((directions & 8) && std::int64_t{ViewHeight()} - OffsetY() == RangeY()) directions &= ~8u;
    if ((directions & 1) && OffsetX() == 0) directions &= ~1u;
    if ((directions & 4) && std::int64_t{ViewWidth()} - OffsetX() == RangeX()) directions &= ~4u;
    int dx = 0, dy = 0;
    if (directions & 2) dy = vertical;
    if (directions & 8) dy = -vertical;
    if (directions & 1) dx = horizontal;
    if (directions & 4) dx = -horizontal;
    bool scrolled = false;
    if (directions != 0) {
      // Under an own drag image the client area is repainted below, around the image.
      const unsigned options = imageOwner != nullptr ? kSoAllScrollOptions & ~kSoScrollClient : kSoAllScrollOptions;
      scrolled = DoSetOffsetXY(OffsetX() + dx, OffsetY() + dy, options);
    }

    const TShiftState shift = KeysToShift(keyState);
    TTreeHitInfo hit;
    GetHitTestInfoAt(p.x, p.y, true, hit);
    const bool onText = hit.HitPositions.Contains(hpOnItemLabel);
    const bool onImage = hit.HitPositions.Contains(hpOnNormalIcon) || hit.HitPositions.Contains(hpOnStateIcon);
    PLazyNode node = hit.HitNode;
    if (HasOption(toReportMode) && !((onText || onImage) && hit.HitColumn == HeaderMainColumn())) node = nullptr;
    TDropMode mode = TDropMode::dmNowhere;
    if (node != nullptr) {
      if (onText || onImage || !HasOption(toShowDropmark)) {
        mode = TDropMode::dmOnNode;
      } else {
        const TLazyRect r = GetDisplayRect(node, kNoColumn, false);
        mode = (r.Top + r.Bottom) / 2 > p.y ? TDropMode::dmAbove : TDropMode::dmBelow;
      }
    }
    const bool willMove = imageOwner != nullptr && imageOwner->DragImage().WillMove(pt);

    if (node != DropTargetNode() || mode != lastDropMode_) {
      lastDropMode_ = mode;
      if (node != DropTargetNode()) {
        StopTimer(kExpandTimer);
        const PLazyNode old = DropTargetNode();
        SetDropTargetNode(node);
        if (FocusedColumn() < 0 && HeaderUsesColumns()) SetFocusedColumn(HeaderMainColumn());
        RECT area{};
        if (old != nullptr) area = ToRect(GetDisplayRect(old, kNoColumn, false));
        if (node != nullptr) {
          const RECT added = ToRect(GetDisplayRect(node, kNoColumn, false));
          if (old != nullptr)
            UnionRect(&area, &area, &added);
          else
            area = added;
        }
        if (old != nullptr || node != nullptr || scrolled) RepaintDropArea(imageOwner, area, scrolled, willMove);
        if (HasOption(toAutoDropExpand) && node != nullptr && HasChildren(node))
          StartTimer(kExpandTimer, AutoExpandDelay());
      } else if (node != nullptr || scrolled) {
        const RECT area = node != nullptr ? ToRect(GetDisplayRect(node, kNoColumn, false)) : RECT{};
        RepaintDropArea(imageOwner, area, scrolled, willMove);
      }
    } else if ((dx != 0 || dy != 0) && imageOwner != nullptr) {
      RECT client{};
      GetClientRect(hwnd, &client);
      UpdateWindowAndDragImage(*imageOwner, client, scrolled, !willMove);
    }
    UpdateWindow(hwnd);
    if (willMove) imageOwner->DragImage().DragTo(pt, false);

    effect = SuggestDropEffect(source, shift, p, effect);
    if (!DoDragOver(source, shift, state, p, lastDropMode_, effect)) effect = DROPEFFECT_NONE;
    if (scrolled) effect |= kDropEffectScroll;
    return S_OK;
  } catch (...) {
    effect = DROPEFFECT_NONE;
    return E_UNEXPECTED;
  }
}

void TBaseLazyTree::DragLeave() {
  StopTimer(kExpandTimer);
  ILTDragManager& manager = GetDragManager();
  TBaseLazyTree* source = manager.GetDragSource();
  if (!manager.GetDropTargetHelperSupported() && source != nullptr) source->DragImage().HideDragImage();
  if (PLazyNode target = DropTargetNode()) {
    InvalidateNode(target);
    SetDropTargetNode(nullptr);
  }
  if (HWND hwnd = HandleIfAllocated()) UpdateWindow(hwnd);
  DWORD effect = DROPEFFECT_NONE;
  DoDragOver(nullptr, 0, TDragState::dsDragLeave, POINT{0, 0}, lastDropMode_, effect);
}

// The owner's drop handler may throw: OLE's modal loop must not see it. The
// exception goes to the tree whose drag is running in this process (its
// DoDragging rethrows it when OLE returns), else to the application's handler.
HRESULT TBaseLazyTree::DragDrop(IDataObject* dataObject, DWORD keyState, POINT pt, DWORD& effect) {
  StopTimer(kExpandTimer);
  StopTimer(kScrollTimer);
  DoStateChange({}, {tsScrollPending, tsScrolling});
  TBaseLazyTree* source = GetDragManager().GetDragSource();
  HRESULT result = DragOver(source, keyState, TDragState::dsDragMove, pt, effect);
  if (result != S_OK || (effect & ~kDropEffectScroll) == DROPEFFECT_NONE) {
    result = E_FAIL;
    effect = DROPEFFECT_NONE;
  } else {
    effect &= ~kDropEffectScroll;
    try {
      POINT p = pt;
      ScreenToClient(HandleIfAllocated(), &p);
      std::vector<CLIPFORMAT> formats;
      ComPtr<IEnumFORMATETC> enumerator;
      HRESULT listed = dataObject != nullptr ? dataObject->EnumFormatEtc(DATADIR_GET, enumerator.Put()) : E_POINTER;
      if (SUCCEEDED(listed) && !enumerator) listed = E_UNEXPECTED;
      if (SUCCEEDED(listed)) listed = enumerator->Reset();
      if (FAILED(listed)) {
        // Formats that cannot be listed end the drop quietly: nothing was dropped.
        result = listed;
        effect = DROPEFFECT_NONE;
      } else {
        FORMATETC format{};
        while (formats.size() < kMaxDropFormats && enumerator->Next(1, &format, nullptr) == S_OK) {
          formats.push_back(format.cfFormat);
          if (format.ptd != nullptr) CoTaskMemFree(format.ptd);
          format = FORMATETC{};
        }
        DoDragDrop(source, dataObject, formats, KeysToShift(keyState), p, effect, lastDropMode_);
      }
    } catch (...) {
      result = E_UNEXPECTED;
      effect = DROPEFFECT_NONE;
      if (source != nullptr && source->TreeStates().Contains(tsOLEDragging))
        source->dropException_ = std::current_exception();
      else
        ui::Application().HandleException(std::current_exception());
    }
  }
  if (PLazyNode target = DropTargetNode()) {
    InvalidateNode(target);
    SetDropTargetNode(nullptr);
  }
  return result;
}

void TBaseLazyTree::DoDragExpand() {
  StopTimer(kExpandTimer);
  PLazyNode node = DropTargetNode();
  if (node == nullptr || !HasChildren(node) || Expanded(node)) return;
  ILTDragManager& manager = GetDragManager();
  TBaseLazyTree* source = manager.GetDropTargetHelperSupported() ? nullptr : manager.GetDragSource();
  if (source != nullptr) source->DragImage().HideDragImage();
  ToggleNode(node);
  if (HWND hwnd = HandleIfAllocated()) UpdateWindow(hwnd);
  if (source != nullptr) source->DragImage().ShowDragImage();
}

void TBaseLazyTree::DoPaintDropMark(HDC dc, PLazyNode /*node*/, const RECT& r) {
  if (lastDropMode_ != TDropMode::dmAbove && lastDropMode_ != TDropMode::dmBelow) return;
  const ui::BrushObject brush = ui::MakeSolidBrush(ui::ColorToRGB(Colors().Color(TLTColors::DropMarkColor)));
  const ui::SelectedObject pen = ui::SelectInto(dc, GetStockObject(NULL_PEN));
  const ui::SelectedObject selected = ui::SelectInto(dc, brush.Get());
  const LONG l = r.left, t = r.top, rr = r.right, b = r.bottom;
  if (lastDropMode_ == TDropMode::dmAbove) {
    const POINT shape[] = {{l + 2, t}, {rr - 2, t}, {rr - 2, t + 6}, {rr - 6, t + 2}, {l + 6, t + 2}, {l + 2, t + 6}};
    Polygon(dc, shape, 6);
  } else {
    const POINT shape[] = {{l + 2, b - 1}, {rr - 2, b - 1}, {rr - 2, b - 8},
                           {rr - 7, b - 3}, {l + 7, b - 3},  {l + 2, b - 8}};
    Polygon(dc, shape, 6);
  }
}

// Repaints under a drag image without tearing it: the image's background is
// painted again from the tree, the area is redrawn at once and the image put
// back over it. The area under the image is redrawn too: where windows keep
// their own surfaces (Wine) an area left out keeps old pixels once the
// image moves away.
void TBaseLazyTree::UpdateWindowAndDragImage(TBaseLazyTree& tree, RECT treeRect, bool updateNCArea,
                                             bool reshowDragImage) {
  const HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return;
  RECT client{};
  GetClientRect(hwnd, &client);
  if (!IntersectRect(&treeRect, &treeRect, &client)) return;
  TLTDragImage& image = tree.DragImage();
  RegionObject visible(CreateRectRgn(0, 0, 0, 0));
  {
    HDC dc = GetDCEx(hwnd, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS | DCX_CLIPCHILDREN);
    if (dc != nullptr) {
      // The system region comes in screen coordinates on the NT family.
      GetRandomRgn(dc, visible.Get(), SYSRGN);
      ReleaseDC(hwnd, dc);
    }
  }
  image.RecaptureBackground(*this, treeRect, visible.Get(), updateNCArea, false);
  if (updateNCArea) RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOCHILDREN);
  RedrawWindow(hwnd, &treeRect, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOERASE | RDW_NOCHILDREN);
  if (reshowDragImage) image.Reshow();
}

}  // namespace kv
