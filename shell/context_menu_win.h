#pragma once
// Companions of the explorer tree: its text colours, the manager that shows
// the shell's context menu for the clicked or selected items, and the data
// object that hands out the shell's own data of dragged items.
#include <windows.h>
#include <objidl.h>

#include <functional>
#include <string>

#include "shell/com_ptr_win.h"
#include "treeview/lazy_node.h"
#include "treeview/hit_test.h"

namespace kv {

class TCustomLazyExplorerTree;
class TNamespace;

class TExplorerColors {
 public:
  explicit TExplorerColors(TCustomLazyExplorerTree* owner) : owner_(owner) {}
  // 0 compressed items, 1 folders, 2 files; setting one repaints the tree.
  COLORREF GetExplorerColor(int index) const;
  void SetExplorerColor(int index, COLORREF value);
  COLORREF CompressedTextColor() const { return colors_[0]; }
  COLORREF FolderTextColor() const { return colors_[1]; }
  COLORREF FileTextColor() const { return colors_[2]; }

 private:
  TCustomLazyExplorerTree* owner_;
  COLORREF colors_[3] = {RGB(0, 0, 255), RGB(0, 0, 0), RGB(0, 0, 0)};
};

// Deletes the first item whose verb is "link" and, when a separator stood
// before it, that separator too if it would now end the menu or touch another
// separator. Answers whether an item went.
bool RemoveShortcutItem(HMENU menu, const std::function<std::wstring(UINT id)>& verbOf);
bool IndexIsSeparator(HMENU menu, int index);

class TContextMenuManager {
 public:
  explicit TContextMenuManager(TCustomLazyExplorerTree* owner) : owner_(owner) {}

  void ResetState();
  // The right button went down (false) or up (true) at the point.
  void RightClick(int x, int y, bool screenCoordinates, bool buttonUp);
  bool ShowContextMenuOfActiveNode(POINT screenPoint);
  bool ShowContextMenuOfSelectedItem();
  // Screen point for a menu of the node (0, 0 for none).
  POINT CalculatePopupPoint(PLazyNode node);
  void ShowContextMenu(TNamespace& ns, POINT screenPoint);
  bool HandleContextMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void MenuSelect(WPARAM wParam, LPARAM lParam);

  PLazyNode ActiveNode() const { return activeNode_; }
  bool IsEditingNode() const { return isEditingNode_; }
  void SetIsEditingNode(bool value) { isEditingNode_ = value; }
  bool MenuPending() const { return menuPending_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  bool RightButtonDown() const { return rightButtonDown_; }
  // The tree's node goes: forget it.
  void ForgetNode(PLazyNode node);

 private:
  TNamespace* ActiveNamespace();

  TCustomLazyExplorerTree* owner_;
  PLazyNode activeNode_ = nullptr;
  PLazyNode previousSelectedNode_ = nullptr;
  PLazyNode previousFocusedNode_ = nullptr;
  TNamespace* menuNamespace_ = nullptr;  // the item whose menu is showing
  bool isEditingNode_ = false;
  bool menuPending_ = false;
  bool enabled_ = false;
  bool rightButtonDown_ = false;
};

// The tree's data object for dragged items. The format queries answer from
// the tree's own object, whose list holds the shell's formats of the items
// too and grows with what callers store through SetData; every other request
// goes to the tree's own object first and to the shell's only when that fails.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM objects die through Release
class TExplorerDataObject final : public IDataObject {
 public:
  // `treeData` is the tree's own data object, `shellData` the shell's for
  // the same items; either may be null.
  static ComPtr<IDataObject> Create(ComPtr<IDataObject> shellData, ComPtr<IDataObject> treeData = {});

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** out) override;

 private:
  struct Token {};

 public:
  TExplorerDataObject(Token, ComPtr<IDataObject> shellData, ComPtr<IDataObject> treeData);
  virtual ~TExplorerDataObject() = default;

 private:

  LONG refs_ = 1;
  // `call` on the tree's object; on the shell's when that fails. A failure of
  // both answers the tree's code.
  template <typename Call>
  HRESULT TreeFirst(Call call) const;
  // The object the format queries go to: the tree's, the shell's without one.
  IDataObject* FormatSource() const;

  ComPtr<IDataObject> shell_;
  ComPtr<IDataObject> tree_;
};
#pragma GCC diagnostic pop

}  // namespace kv
