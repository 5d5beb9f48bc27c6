#include "shell/explorer_persistent_win.h"

#include <algorithm>
#include <stdexcept>

#include "base/scope_guard.h"
#include "shell/explorer_tree_win.h"
#include "shell/node_storage_win.h"
#include "shell/shell_utils_win.h"
#include "zip/zip_stream.h"

namespace kv {

namespace {

TPidl CopyOf(TCustomLazyExplorerTree& tree, PLazyNode node, bool relative = false) {
  TNamespace* ns = nullptr;
  if (!tree.ValidateNamespace(node, ns)) return nullptr;
  return TPIDLManager::CopyPIDL(relative ? TPIDLManager::GetPointerToLastID(ns->AbsolutePIDL()) : ns->AbsolutePIDL());
}

int64_t BytesLeft(TStream& stream) { return std::max<int64_t>(0, stream.Size() - stream.Position()); }
uint32_t ReadU32(TStream& stream) {
  uint8_t b[4];
  stream.ReadBuffer(b, 4);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
void WriteU32(TStream& stream, uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  stream.WriteBuffer(b, 4);
}
int32_t VersionOf(TStream& stream, int32_t version, bool readVersion) {
  return readVersion ? static_cast<int32_t>(ReadU32(stream)) : version;
}
uint32_t Count(TStream& stream, int64_t itemSize, const char* what) {
  uint32_t n = ReadU32(stream);
  if (static_cast<int64_t>(n) * itemSize > BytesLeft(stream))
    throw ENodeStorage(std::string("Explorer state stream: ") + what + " count beyond the stream");
  return n;
}
// None for a list stored as absent. Older streams stored an absent list as
// the desktop's; those still read as the desktop.
TPidl ReadList(TStream& stream) {
  std::vector<uint8_t> bytes = ReadIDList(stream);
  if (bytes.empty()) return nullptr;
  TPidl list = PidlFromBytes(bytes);
  if (!list) throw std::bad_alloc();
  return list;
}
// Leaves and selected items are only ever stored with their lists.
TPidl ReadPresentList(TStream& stream, const char* what) {
  TPidl list = ReadList(stream);
  if (!list) throw ENodeStorage(std::string("Explorer state stream: ") + what + " without its item-ID list");
  return list;
}
// UTF-16 from version 3 on; before that the bytes of the ANSI code page.
std::wstring ReadText(TStream& stream, int32_t version) {
  if (version < 3) {
    uint32_t n = Count(stream, 1, "path byte");
    std::string bytes(n, '\0');
    if (n) stream.ReadBuffer(bytes.data(), n);
    std::wstring text(n, L'\0');
    int got = n ? MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(n), text.data(), static_cast<int>(n)) : 0;
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
  }
  uint32_t n = Count(stream, 2, "character");
  std::wstring text(n, L'\0');
  std::vector<uint8_t> bytes(size_t(n) * 2);
  if (n) stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  for (uint32_t i = 0; i < n; ++i) text[i] = wchar_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return text;
}
void WriteText(TStream& stream, const std::wstring& text) {
  WriteU32(stream, static_cast<uint32_t>(text.size()));
  std::vector<uint8_t> bytes;
  for (wchar_t c : text) {
    bytes.push_back(uint8_t(c));
    bytes.push_back(uint8_t(c >> 8));
  }
  if (!bytes.empty()) stream.WriteBuffer(bytes);
}

}  // namespace

TExplorerPersistent::TExplorerPersistent() : Storage(MakeShellNodeStorage()) {}
TExplorerPersistent::~TExplorerPersistent() = default;

void TExplorerPersistent::Clear() {
  SelectedPIDLs.clear();
  LeafNodes.clear();
  SelectedFolderPIDL.reset();
  RootFolderCustomPIDL.reset();
  Storage->Clear(false);
}

void TExplorerPersistent::FullInitTree(TCustomLazyExplorerTree& tree, bool init) {
  if (init) {
    tree.InitAllNodes();
    Flags |= 1;
  } else {
    Flags &= uint8_t(~1);
  }
}

void TExplorerPersistent::SaveTree(TCustomLazyExplorerTree& tree, bool saveSelection, bool saveFocus) {
  FullInitTree(tree, true);
  FocusedPIDL.reset();
  TopNodeBeforePIDL = CopyOf(tree, tree.TopNode());
  if (saveFocus) FocusedPIDL = CopyOf(tree, tree.FocusedNode());
  PLazyNode start = (tree.ExplorerFolderOptions() & toHideRootFolder) ? tree.RootNode() : tree.GetFirstNoInit();
  SaveTreeBranch(tree, start, saveSelection);
  TopNodePIDL = CopyOf(tree, tree.TopNode());
  RootFolderCustomPIDL = tree.RootFolderCustomPIDL() ? TPIDLManager::CopyPIDL(tree.RootFolderCustomPIDL()) : nullptr;
  RootFolder = static_cast<int>(tree.RootFolder());
  RootFolderCustomPath = tree.RootFolderCustomPath();
  FullInitTree(tree, false);
}

void TExplorerPersistent::SaveTreeBranch(TCustomLazyExplorerTree& tree, PLazyNode node, bool saveSelection) {
  if (!(Flags & 1)) tree.InitAllChildren(node);
  if (saveSelection) StoreSelectedPIDLs(tree);
  StoreLeafPIDLs(tree, node);
}

void TExplorerPersistent::StoreLeafPIDLs(TCustomLazyExplorerTree& tree, PLazyNode node) {
  LeafNodes.clear();
  if (!node) return;
  // Through expanded nodes only: the deepest expanded ones are enough, as
  // expanding them again expands their ancestors.
  // Children go on the stack last first, so the leaves come in tree order.
  std::vector<PLazyNode> stack;
  if (node == tree.RootNode() || tree.Expanded(node))
    for (PLazyNode c = node->LastChild; c; c = c->PrevSibling) stack.push_back(c);
  std::vector<PLazyNode> leaves;
  while (!stack.empty()) {
    PLazyNode n = stack.back();
    stack.pop_back();
    if (!tree.Expanded(n)) continue;
    bool expandedChild = false;
    for (PLazyNode c = n->LastChild; c; c = c->PrevSibling)
      if (tree.Expanded(c)) {
        expandedChild = true;
        stack.push_back(c);
      }
    if (!expandedChild) leaves.push_back(n);
  }
  for (PLazyNode leaf : leaves)
    if (TPidl list = CopyOf(tree, leaf)) LeafNodes.push_back({true, std::move(list)});
  if (leaves.empty())
    if (TPidl list = CopyOf(tree, node)) LeafNodes.push_back({tree.Expanded(node), std::move(list)});
}

void TExplorerPersistent::ReStoreLeafPIDLs(TCustomLazyExplorerTree& tree) {
  tree.BeginUpdate();
  for (const auto& leaf : LeafNodes) {
    PLazyNode node = tree.WalkPIDLToNode(leaf.PIDL.get(), false, false, true);
    if (node && !(node == tree.RootNode())) tree.SetExpanded(node, leaf.Expanded);
    else if (node && leaf.Expanded) tree.ExpandNamespaceFolder(node);  // the hidden root is read, not expanded
  }
  tree.EndUpdate();
}

void TExplorerPersistent::StoreSelectedPIDLs(TCustomLazyExplorerTree& tree) {
  SelectedPIDLs.clear();
  SelectedFolderPIDL.reset();
  PLazyNode first = tree.GetFirstSelected();
  TNamespace* ns = nullptr;
  if (tree.ValidateNamespace(first, ns) && !ns->IsDesktop()) {
    SelectedFolderPIDL = TPIDLManager::CopyPIDL(ns->AbsolutePIDL());
    TPIDLManager::StripLastID(SelectedFolderPIDL.get());
  }
  for (PLazyNode n = first; n; n = tree.GetNextSelected(n))
    if (TPidl list = CopyOf(tree, n, true)) SelectedPIDLs.push_back(std::move(list));
}

void TExplorerPersistent::ReStoreSelectedPIDLs(TCustomLazyExplorerTree& tree) {
  tree.ClearSelection();
  tree.SetFocusedNode(nullptr);
  tree.BeginUpdate();
  if (!SelectedPIDLs.empty()) {
    if (!SelectedFolderPIDL) {
      if (PLazyNode first = tree.GetFirst()) tree.SetSelected(first, true);
    } else {
      ComPtr<IShellFolder> desktop, folder;
      if (SUCCEEDED(SHGetDesktopFolder(desktop.Put()))) {
        if (IsDesktopIDList(SelectedFolderPIDL.get())) folder = desktop;
        else desktop->BindToObject(SelectedFolderPIDL.get(), nullptr, IID_IShellFolder, folder.PutVoid());
      }
      PLazyNode parent = folder ? tree.WalkPIDLToNode(SelectedFolderPIDL.get(), false, false, true) : nullptr;
      if (parent) {
        auto order = [&](LPCITEMIDLIST a, LPCITEMIDLIST b) {
          return CompareIDsResult(folder->CompareIDs(0, a, b), IDItemBytes(a), IDItemBytes(b));
        };
        std::sort(SelectedPIDLs.begin(), SelectedPIDLs.end(),
                  [&](const TPidl& a, const TPidl& b) { return order(a.get(), b.get()) < 0; });
        // The children are read in the folder's order too: a re-read appends
        // new children unsorted, and a merge over tree order would miss them.
        struct TChild {
          PLazyNode node;
          LPCITEMIDLIST own;
        };
        std::vector<TChild> children;
        for (PLazyNode child = tree.GetFirstChild(parent); child; child = tree.GetNextSibling(child)) {
          TNamespace* ns = nullptr;
          if (tree.ValidateNamespace(child, ns))
            children.push_back({child, TPIDLManager::GetPointerToLastID(ns->AbsolutePIDL())});
        }
        std::stable_sort(children.begin(), children.end(),
                         [&](const TChild& a, const TChild& b) { return order(a.own, b.own) < 0; });
        size_t i = 0;
        for (const TChild& entry : children) {
          if (i >= SelectedPIDLs.size()) break;
          PLazyNode child = entry.node;
          LPCITEMIDLIST own = entry.own;
          // A stored item that no longer exists matches no child: it stays the
          // current entry, and the entries sorted after it are not restored.
          if (order(SelectedPIDLs[i].get(), own) == 0) {
            tree.SetSelected(child, true);
            ++i;
          }
        }
      }
    }
  }
  tree.EndUpdate();
  if (PLazyNode first = tree.GetFirstSelected()) tree.SetFocusedNode(first);
}

void TExplorerPersistent::RestoreTreeBranch(TCustomLazyExplorerTree& tree, PLazyNode /*node*/,
                                            bool restoreSelection) {
  ReStoreLeafPIDLs(tree);
  if (restoreSelection) ReStoreSelectedPIDLs(tree);
}

void TExplorerPersistent::RestoreTree(TCustomLazyExplorerTree& tree, bool restoreSelection, bool restoreTopNode,
                                      bool restoreFocus) {
  tree.BeginUpdate();
  tree.ClearSelection();
  // The custom list is built again even when it is the one shown: that is what a refresh reads anew.
  if (RootFolderCustomPIDL) tree.RefreshRootFolderCustomPIDL(RootFolderCustomPIDL.get());
  else if (!RootFolderCustomPath.empty()) tree.SetRootFolderCustomPath(RootFolderCustomPath);
  else tree.SetRootFolder(static_cast<TRootFolder>(RootFolder));
  RestoreTreeBranch(tree, tree.GetFirst(), restoreSelection);
  PLazyNode top = TopNodePIDL ? tree.WalkPIDLToNode(TopNodePIDL.get(), false, false, true) : nullptr;
  // With the focus restored the focused node is the one to show (none when
  // nothing was focused).
  if (restoreFocus) {
    top = FocusedPIDL ? tree.WalkPIDLToNode(FocusedPIDL.get(), false, false, true) : nullptr;
    if (top) tree.SetFocusedNode(top);
  }
  tree.EndUpdate();
  if (restoreTopNode && TopNodeBeforePIDL) {
    PLazyNode before = tree.WalkPIDLToNode(TopNodeBeforePIDL.get(), false, false, true);
    if (before && !(before == tree.RootNode())) tree.SetTopNode(before);
    return;
  }
  if (top && !(top == tree.RootNode())) tree.SetTopNode(top);
}

void TExplorerPersistent::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
  TStreamableClass::SaveToStream(stream, version, writeVerToStream);
  if (writeVerToStream) WriteU32(stream, static_cast<uint32_t>(version));  // the leaf list
  WriteU32(stream, static_cast<uint32_t>(LeafNodes.size()));
  for (const auto& leaf : LeafNodes) {
    if (writeVerToStream) WriteU32(stream, static_cast<uint32_t>(version));
    uint8_t expanded = leaf.Expanded ? 1 : 0;
    stream.WriteBuffer(&expanded, 1);
    WriteIDList(stream, leaf.PIDL.get());
  }
  WriteIDList(stream, SelectedFolderPIDL.get());
  WriteU32(stream, static_cast<uint32_t>(SelectedPIDLs.size()));
  for (const auto& list : SelectedPIDLs) WriteIDList(stream, list.get());
  WriteIDList(stream, RootFolderCustomPIDL.get());
  WriteIDList(stream, TopNodePIDL.get());
  uint8_t root = static_cast<uint8_t>(RootFolder);
  stream.WriteBuffer(&root, 1);
  if (version < 3) {
    int n = WideCharToMultiByte(CP_ACP, 0, RootFolderCustomPath.c_str(), static_cast<int>(RootFolderCustomPath.size()),
                                nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(std::max(n, 0)), '\0');
    if (n > 0)
      WideCharToMultiByte(CP_ACP, 0, RootFolderCustomPath.c_str(), static_cast<int>(RootFolderCustomPath.size()),
                          bytes.data(), n, nullptr, nullptr);
    WriteU32(stream, static_cast<uint32_t>(bytes.size()));
    if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  } else {
    WriteText(stream, RootFolderCustomPath);
  }
  Storage->SaveToStream(stream, version, writeVerToStream);
}

void TExplorerPersistent::ReadState(TStream& stream, int32_t version, bool readVerFromStream, TExplorerPersistent& into) {
  version = VersionOf(stream, version, readVerFromStream);
  int32_t listVersion = VersionOf(stream, version, readVerFromStream);
  (void)listVersion;
  // Everything goes into locals first; only a whole stream replaces the state.
  std::vector<TLeafNode> leaves;
  uint32_t n = Count(stream, 1 + 6, "leaf");
  for (uint32_t i = 0; i < n; ++i) {
    VersionOf(stream, version, readVerFromStream);
    uint8_t expanded = 0;
    stream.ReadBuffer(&expanded, 1);
    if (expanded > 1) throw ENodeStorage("Explorer state stream: an expanded flag is neither 0 nor 1");
    leaves.push_back({expanded == 1, ReadPresentList(stream, "a leaf")});
  }
  TPidl selectedFolder = ReadList(stream);
  std::vector<TPidl> selected;
  for (auto& bytes : ReadIDLists(stream)) {
    if (bytes.empty()) throw ENodeStorage("Explorer state stream: a selected item without its item-ID list");
    selected.push_back(PidlFromBytes(bytes));
    if (!selected.back()) throw std::bad_alloc();
  }
  TPidl customPIDL = ReadList(stream);
  TPidl top = ReadList(stream);
  uint8_t root = 0;
  stream.ReadBuffer(&root, 1);
  std::wstring path = ReadText(stream, version);
  auto storage = MakeShellNodeStorage();
  storage->LoadFromStream(stream, version, readVerFromStream);
  into.TStreamableClass::LoadFromStream(stream, version, false);
  into.LeafNodes = std::move(leaves);
  into.SelectedFolderPIDL = std::move(selectedFolder);
  into.SelectedPIDLs = std::move(selected);
  into.RootFolderCustomPIDL = std::move(customPIDL);
  into.TopNodePIDL = std::move(top);
  into.RootFolder = static_cast<int8_t>(root);
  into.RootFolderCustomPath = std::move(path);
  into.Storage = std::move(storage);
}

void TExplorerPersistent::Take(TExplorerPersistent& from) {
  TStreamableClass::LoadFromStream(*std::make_unique<TMemoryStream>(), from.StreamVersion(), false);
  LeafNodes = std::move(from.LeafNodes);
  SelectedFolderPIDL = std::move(from.SelectedFolderPIDL);
  SelectedPIDLs = std::move(from.SelectedPIDLs);
  RootFolderCustomPIDL = std::move(from.RootFolderCustomPIDL);
  TopNodePIDL = std::move(from.TopNodePIDL);
  RootFolder = from.RootFolder;
  RootFolderCustomPath = std::move(from.RootFolderCustomPath);
  Storage = std::move(from.Storage);
}

void TExplorerPersistent::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
  TExplorerPersistent fresh;
  ReadState(stream, version, readVerFromStream, fresh);
  Take(fresh);
}


void TView::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
  TExplorerPersistent::SaveToStream(stream, version, writeVerToStream);
  WriteText(stream, ViewName);
}

void TView::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
  TExplorerPersistent fresh;
  ReadState(stream, version, readVerFromStream, fresh);
  std::wstring name = ReadText(stream, 3);
  Take(fresh);
  ViewName = std::move(name);
}

void TViewManager::Clear() {
  while (!Views.empty()) Views.pop_back();
}

TView* TViewManager::GetView(const std::wstring& name) {
  for (auto it = Views.rbegin(); it != Views.rend(); ++it)
    if (StrICompW((*it)->ViewName, name) == 0) return it->get();
  return nullptr;
}

void TViewManager::Snapshot(const std::wstring& name, TCustomLazyExplorerTree& tree) {
  TView* view = GetView(name);
  if (!view) {
    Views.push_back(std::make_unique<TView>());
    view = Views.back().get();
    view->ViewName = name;
  }
  view->SaveTree(tree, true, true);
}

void TViewManager::ShowView(const std::wstring& name, TCustomLazyExplorerTree& tree) {
  tree.WaitCursor(true);
  const ScopeGuard hide([&tree] { tree.WaitCursor(false); });
  if (TView* view = GetView(name)) view->RestoreTree(tree, true, false, true);
}

void TViewManager::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
  TStreamableClass::SaveToStream(stream, version, writeVerToStream);
  if (writeVerToStream) WriteU32(stream, static_cast<uint32_t>(version));
  WriteU32(stream, static_cast<uint32_t>(Views.size()));
  for (const auto& view : Views) view->SaveToStream(stream, version, writeVerToStream);
}

void TViewManager::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
  version = VersionOf(stream, version, readVerFromStream);
  int32_t listVersion = VersionOf(stream, version, readVerFromStream);
  // The smallest view: its lists, flags, empty texts and storage take well over 40 bytes.
  uint32_t n = Count(stream, 40, "view");
  std::vector<std::unique_ptr<TView>> views;
  for (uint32_t i = 0; i < n; ++i) {
    views.push_back(std::make_unique<TView>());
    views.back()->LoadFromStream(stream, listVersion, readVerFromStream);
  }
  TStreamableClass::LoadFromStream(stream, version, false);
  Clear();
  Views = std::move(views);
}

void TGlobalViewManager::Snapshot(const std::wstring& name, TCustomLazyExplorerTree& tree) {
  TView* view = GetView(name);
  if (!view) {
    Views.push_back(std::make_unique<TView>());
    view = Views.back().get();
    view->ViewName = name;
  }
  view->Clear();
  view->SaveTree(tree, true, true);
  view->Storage->Assign(*tree.GetNewStorage());
}

void TGlobalViewManager::ShowView(const std::wstring& name, TCustomLazyExplorerTree& tree) {
  tree.WaitCursor(true);
  const ScopeGuard hide([&tree] { tree.WaitCursor(false); });
  TView* view = GetView(name);
  if (!view) return;
  tree.GetNewStorage()->Assign(*view->Storage);
  view->RestoreTree(tree, true, false, true);
  tree.InitAllNodes();
}

void TGlobalViewManager::LoadFromStream(TStream& stream, int32_t /*version*/, bool /*readVerFromStream*/) {
  TViewManager::LoadFromStream(stream, 0, true);
}

void TGlobalViewManager::SaveToStream(TStream& stream, int32_t /*version*/, bool /*writeVerToStream*/) {
  TViewManager::SaveToStream(stream, 3, true);
}

namespace {
std::unique_ptr<TGlobalViewManager> gViewManager;
}

void CreateGlobalViewManager() {
  if (!gViewManager) gViewManager = std::make_unique<TGlobalViewManager>();
}

void FreeGlobalViewManager() { gViewManager.reset(); }

TGlobalViewManager& GlobalViewManager() {
  if (!gViewManager) throw std::logic_error("the view manager exists from ShellInitialize to ShellFinalize");
  return *gViewManager;
}

}  // namespace kv
