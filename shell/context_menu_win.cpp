#include "shell/context_menu_win.h"

#include <shlobj.h>

#include <memory>

#include "shell/explorer_tree_win.h"

namespace kv {

// ---------------------------------------------------------------- colours --

COLORREF TExplorerColors::GetExplorerColor(int index) const {
  return index >= 0 && index < 3 ? colors_[index] : 0;
}

void TExplorerColors::SetExplorerColor(int index, COLORREF value) {
  if (index < 0 || index >= 3) return;
  colors_[index] = value;
  if (owner_) owner_->Repaint();
}

// ------------------------------------------------------------ menu items --

bool IndexIsSeparator(HMENU menu, int index) {
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE;
  return GetMenuItemInfoW(menu, static_cast<UINT>(index), TRUE, &info) && (info.fType & MFT_SEPARATOR);
}

bool RemoveShortcutItem(HMENU menu, const std::function<std::wstring(UINT id)>& verbOf) {
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    const UINT id = GetMenuItemID(menu, i);
    if (id == 0 || id == UINT(-1) || verbOf(id) != L"link") continue;
    DeleteMenu(menu, static_cast<UINT>(i), MF_BYPOSITION);
    const bool wasLast = i == GetMenuItemCount(menu);
    if (i > 0 && IndexIsSeparator(menu, i - 1) && (wasLast || IndexIsSeparator(menu, i)))
      DeleteMenu(menu, static_cast<UINT>(i - 1), MF_BYPOSITION);
    return true;
  }
  return false;
}

// ------------------------------------------------------ context-menu manager --

void TContextMenuManager::ResetState() {
  activeNode_ = previousSelectedNode_ = previousFocusedNode_ = nullptr;
  isEditingNode_ = rightButtonDown_ = false;
}

void TContextMenuManager::ForgetNode(PLazyNode node) {
  if (activeNode_ == node) activeNode_ = nullptr;
  if (previousSelectedNode_ == node) previousSelectedNode_ = nullptr;
  if (previousFocusedNode_ == node) previousFocusedNode_ = nullptr;
}

void TContextMenuManager::RightClick(int x, int y, bool screenCoordinates, bool buttonUp) {
  if (!owner_) return;
  TCustomLazyExplorerTree& tree = *owner_;
  const bool rightSelect = tree.ExplorerMiscOptions() & toRightButtonSelect;
  if (!buttonUp) {
    ResetState();
    POINT pt{x, y};
    if (screenCoordinates) ScreenToClient(tree.HandleIfAllocated(), &pt);
    TTreeHitInfo hit;
    tree.GetHitTestInfoAt(pt.x, pt.y, true, hit);
    // A node's text in any column, or its normal image.
    if (!hit.HitNode ||
        !(hit.HitPositions.Contains(hpOnItemLabel) || hit.HitPositions.Contains(hpOnNormalIcon)))
      return;
    rightButtonDown_ = true;
    activeNode_ = hit.HitNode;
    previousSelectedNode_ = tree.GetFirstSelected();
    previousFocusedNode_ = previousSelectedNode_ ? previousSelectedNode_ : tree.FocusedNode();
    if (!tree.Selected(hit.HitNode)) {
      if (rightSelect) previousSelectedNode_ = previousFocusedNode_ = hit.HitNode;
      tree.ClearSelection();
      tree.SetSelected(hit.HitNode, true);
      tree.SetFocusedNode(hit.HitNode);
    }
    return;
  }
  if (!isEditingNode_) {
    if (!rightSelect) {
      if (previousSelectedNode_ && !tree.Selected(previousSelectedNode_)) {
        // The right click's selection is undone.
        tree.ClearSelection();
        tree.SetSelected(previousSelectedNode_, true);
        if (previousFocusedNode_) tree.SetFocusedNode(previousFocusedNode_);
      } else if (rightButtonDown_ && !previousSelectedNode_) {
        // Nothing was selected before the press: its selection goes again,
        // so that linked views hear of it, and the focus goes back.
        tree.ClearSelection();
        tree.SetFocusedNode(previousFocusedNode_);
      }
    } else if (PLazyNode first = tree.GetFirstSelected()) {
      tree.BeginUpdate();
      tree.SetSelected(first, false);
      rightButtonDown_ = false;
      tree.SetSelected(first, true);
      tree.EndUpdate();
    }
  }
  ResetState();
}

TNamespace* TContextMenuManager::ActiveNamespace() {
  TNamespace* ns = nullptr;
  return owner_ && owner_->ValidateNamespace(activeNode_, ns) ? ns : nullptr;
}

bool TContextMenuManager::ShowContextMenuOfActiveNode(POINT screenPoint) {
  TNamespace* ns = ActiveNamespace();
  if (!enabled_ || !ns) return false;
  ShowContextMenu(*ns, screenPoint);
  return true;
}

bool TContextMenuManager::ShowContextMenuOfSelectedItem() {
  if (!owner_ || !enabled_) return false;
  PLazyNode node = owner_->GetFirstSelected();
  if (!node) return false;
  const POINT pt = CalculatePopupPoint(node);
  TNamespace* ns = nullptr;
  if (owner_->ValidateNamespace(node, ns)) ShowContextMenu(*ns, pt);
  return true;
}

POINT TContextMenuManager::CalculatePopupPoint(PLazyNode node) {
  if (!owner_ || !node) return POINT{0, 0};
  const TLazyRect r = owner_->GetDisplayRect(node, kNoColumn, true);
  const ui::TImageList* images = owner_->Images();
  const int imageWidth = images ? images->Width() : 0;
  POINT pt{r.Left + imageWidth / 2, r.Top + (r.Bottom - r.Top) / 2};
  ClientToScreen(owner_->HandleIfAllocated(), &pt);
  return pt;
}

void TContextMenuManager::ShowContextMenu(TNamespace& ns, POINT screenPoint) {
  if (!owner_) return;
  TCustomLazyExplorerTree& tree = *owner_;
  auto onShow = [&tree](TNamespace& item, HMENU menu, bool& allow) {
    if (tree.ExplorerMiscOptions() & toRemoveContextMenuShortCut)
      RemoveShortcutItem(menu, [&item](UINT id) { return item.ContextMenuVerb(id); });
    allow = tree.DoContextMenuShow(item, menu);
  };
  auto onCmd = [&tree](TNamespace& item, const std::wstring& verb, UINT id, bool& handled) {
    handled = tree.DoContextMenuCmd(item, verb, id);
  };
  auto onAfter = [&tree](TNamespace& item, const std::wstring& verb, UINT id, bool ok) {
    tree.DoContextMenuAfterCmd(item, verb, id, ok);
  };
  menuPending_ = true;
  menuNamespace_ = &ns;
  struct Done {
    TContextMenuManager& m;
    ~Done() {
      m.menuPending_ = false;
      m.menuNamespace_ = nullptr;
    }
  } done{*this};
  HWND owner = tree.HandleIfAllocated();
  if (tree.SelectedCount() != 1) {
    const TNamespaceArray items = tree.SelectedNamespaces();
    if (!items.empty()) ns.ShowContextMenuMulti(owner, onCmd, onShow, onAfter, items, &screenPoint, nullptr, {}, false);
  } else {
    ns.ShowContextMenu(owner, onCmd, onShow, onAfter, &screenPoint, nullptr, {});
  }
}

bool TContextMenuManager::HandleContextMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  TNamespace* ns = menuNamespace_ ? menuNamespace_ : ActiveNamespace();
  return ns && ns->HandleContextMenuMsg(msg, wParam, lParam, result);
}

void TContextMenuManager::MenuSelect(WPARAM wParam, LPARAM lParam) {
  TNamespace* ns = menuNamespace_ ? menuNamespace_ : ActiveNamespace();
  if (!menuPending_ || !ns || !owner_) return;
  const UINT flags = HIWORD(wParam);
  const UINT id = LOWORD(wParam);
  HMENU sub = (flags & MF_POPUP) ? GetSubMenu(reinterpret_cast<HMENU>(lParam), static_cast<int>(id)) : nullptr;
  owner_->DoContextMenuSelect(*ns, id, sub, (flags & MF_MOUSESELECT) != 0);
}

// ------------------------------------------------------------ data object --

ComPtr<IDataObject> TExplorerDataObject::Create(ComPtr<IDataObject> shellData, ComPtr<IDataObject> treeData) {
  auto object = std::make_unique<TExplorerDataObject>(Token{}, std::move(shellData), std::move(treeData));
  return ComPtr<IDataObject>::Adopt(object.release());
}

TExplorerDataObject::TExplorerDataObject(Token, ComPtr<IDataObject> shellData, ComPtr<IDataObject> treeData)
    : shell_(std::move(shellData)), tree_(std::move(treeData)) {}

template <typename Call>
HRESULT TExplorerDataObject::TreeFirst(Call call) const {
  if (!tree_) return shell_ ? call(shell_.Get()) : E_NOTIMPL;
  const HRESULT own = call(tree_.Get());
  if (SUCCEEDED(own) || !shell_) return own;
  // Neither answers: the tree's failure stands.
  const HRESULT shell = call(shell_.Get());
  return SUCCEEDED(shell) ? shell : own;
}

IDataObject* TExplorerDataObject::FormatSource() const { return tree_ ? tree_.Get() : shell_.Get(); }

HRESULT TExplorerDataObject::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
    *object = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TExplorerDataObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG TExplorerDataObject::Release() {
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) std::unique_ptr<TExplorerDataObject> last(this);
  return static_cast<ULONG>(left);
}

HRESULT TExplorerDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  return TreeFirst([&](IDataObject* o) { return o->GetData(format, medium); });
}

HRESULT TExplorerDataObject::GetDataHere(FORMATETC* format, STGMEDIUM* medium) {
  return TreeFirst([&](IDataObject* o) { return o->GetDataHere(format, medium); });
}

HRESULT TExplorerDataObject::QueryGetData(FORMATETC* format) {
  // Asked each time: the tree's list grows with SetData.
  IDataObject* source = FormatSource();
  return source ? source->QueryGetData(format) : DV_E_FORMATETC;
}

HRESULT TExplorerDataObject::GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) {
  return TreeFirst([&](IDataObject* o) { return o->GetCanonicalFormatEtc(in, out); });
}

HRESULT TExplorerDataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
  return TreeFirst([&](IDataObject* o) { return o->SetData(format, medium, release); });
}

HRESULT TExplorerDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  IDataObject* source = FormatSource();
  return source ? source->EnumFormatEtc(direction, out) : E_NOTIMPL;
}

HRESULT TExplorerDataObject::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) {
  return TreeFirst([&](IDataObject* o) { return o->DAdvise(format, flags, sink, connection); });
}

HRESULT TExplorerDataObject::DUnadvise(DWORD connection) {
  return TreeFirst([&](IDataObject* o) { return o->DUnadvise(connection); });
}

HRESULT TExplorerDataObject::EnumDAdvise(IEnumSTATDATA** out) {
  if (!out) return E_POINTER;
  return TreeFirst([&](IDataObject* o) {
    *out = nullptr;
    return o->EnumDAdvise(out);
  });
}

}  // namespace kv
