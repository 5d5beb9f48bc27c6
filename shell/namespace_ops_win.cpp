// The operations of a shell item beyond reading it: detail columns, the
// shell's context menu with the program's own submenu, verbs on siblings,
// data objects, drop targets, renaming and execution.
#include <algorithm>
#include <array>

#include "base/handle.h"
#include "shell/namespace_win.h"
#include "shell/shell_link_win.h"
#include "shell/shell_utils_win.h"
#include "shell/wide_strings.h"
#include "ui/popup_menu.h"

namespace kv {

namespace {

constexpr int kMaxColumns = 200;
constexpr UINT kFirstCommand = 1, kLastCommand = 0x7FFF;

// Counts answers of `ask` for 0, 1, ... up to the cap; reaching the cap counts as none.
template <class Ask>
int CountColumns(Ask ask) {
  int n = 0;
  while (n < kMaxColumns && ask(n)) ++n;
  return n == kMaxColumns ? 0 : n;
}

HWND ApplicationWindow() { return GetActiveWindow(); }

std::wstring CommandVerb(IContextMenu* menu, UINT offset) {
  wchar_t wide[129] = {};
  if (SUCCEEDED(menu->GetCommandString(offset, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(wide), 128))) {
    wide[128] = 0;
    return wide;
  }
  char ansi[129] = {};
  if (SUCCEEDED(menu->GetCommandString(offset, GCS_VERBA, nullptr, ansi, 128))) {
    ansi[128] = 0;
    int len = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(len > 0 ? len - 1 : 0), L'\0');
    if (len > 1) MultiByteToWideChar(CP_ACP, 0, ansi, -1, out.data(), len);
    return out;
  }
  return {};
}

}  // namespace

bool ChosenCommandVerb(IContextMenu* menu, UINT offset, std::wstring& verb) {
  wchar_t wide[129] = {};
  if (menu && SUCCEEDED(menu->GetCommandString(offset, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(wide), 128))) {
    wide[128] = 0;
    verb = wide;
    return true;
  }
  verb = L"Unknown Command";
  return false;
}

namespace {

HRESULT Invoke(IContextMenu* menu, UINT offset, const wchar_t* verb) {
  CMINVOKECOMMANDINFOEX info{};
  info.cbSize = sizeof info;
  info.fMask = CMIC_MASK_UNICODE;
  info.hwnd = ApplicationWindow();
  info.nShow = SW_SHOWNORMAL;
  std::string ansiVerb;
  if (verb) {
    int len = WideCharToMultiByte(CP_ACP, 0, verb, -1, nullptr, 0, nullptr, nullptr);
    ansiVerb.assign(static_cast<size_t>(len > 0 ? len : 1), '\0');
    if (len > 0) WideCharToMultiByte(CP_ACP, 0, verb, -1, ansiVerb.data(), len, nullptr, nullptr);
    info.lpVerb = ansiVerb.c_str();
    info.lpVerbW = verb;
  } else {
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.lpVerbW = MAKEINTRESOURCEW(offset);
  }
  return menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
}

constexpr int kMaxMenuDepth = 16;

// The highest command ID in the menu and its submenus (0 for none).
UINT HighestMenuID(HMENU menu, int depth = 0) {
  UINT highest = 0;
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      if (depth < kMaxMenuDepth) highest = std::max(highest, HighestMenuID(sub, depth + 1));
    } else if (UINT id = GetMenuItemID(menu, i); id != UINT(-1)) {
      highest = std::max(highest, id);
    }
  }
  return highest;
}

// Appends a separator and the caption opening a new submenu filled from
// `popup`, its IDs counted from `firstID`; answers the submenu (owned by
// `menu` from then on) or null.
HMENU InjectCustomSubMenu(HMENU menu, const std::wstring& caption, ui::TPopupMenu& popup, UINT firstID,
                          TMenuItemIDArray& ids) {
  int n = GetMenuItemCount(menu);
  MenuHandle owned(CreatePopupMenu());
  if (!owned) return nullptr;
  InsertMenuW(menu, static_cast<UINT>(n), MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  if (!InsertMenuW(menu, static_cast<UINT>(n + 1), MF_BYPOSITION | MF_POPUP | MF_STRING,
                   reinterpret_cast<UINT_PTR>(owned.Get()), caption.c_str()))
    return nullptr;
  HMENU sub = owned.Release();
  ids.assign(popup.Count(), 0);
  for (size_t i = 0; i < popup.Count(); ++i) ids[i] = firstID + static_cast<UINT>(i);
  for (size_t k = popup.Count(); k-- > 0;) {
    ui::TMenuItem& item = popup.Items(k);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA | MIIM_STRING;
    std::wstring text = item.Caption;
    info.fType = text == L"-" ? MFT_SEPARATOR : MFT_STRING;
    if (text == L"-") info.fMask &= ~MIIM_STRING;
    if (item.RadioItem) info.fType |= MFT_RADIOCHECK;
    if (popup.RightToLeft) info.fType |= MFT_RIGHTJUSTIFY;
    if (item.Break == ui::TMenuBreak::Break) info.fType |= MFT_MENUBREAK;
    if (item.Break == ui::TMenuBreak::BarBreak) info.fType |= MFT_MENUBARBREAK;
    if (item.Checked) info.fState |= MFS_CHECKED;
    if (item.Default) info.fState |= MFS_DEFAULT;
    if (!item.Enabled) info.fState |= MFS_DISABLED | MFS_GRAYED;
    info.wID = ids[k];
    info.dwItemData = reinterpret_cast<ULONG_PTR>(&item);
    info.dwTypeData = text.data();
    InsertMenuItemW(sub, 0, TRUE, &info);
  }
  return sub;
}

}  // namespace

// ------------------------------------------------------------------- columns

int TNamespace::DetailsSupportedColumns() {
  if (cache_.supportedColumns) return *cache_.supportedColumns;
  int count = 0;
  if (ComPtr<IShellFolder2> folder2 = GetShellFolder2()) {
    count = CountColumns([&](int i) {
      SHCOLSTATEF state = 0;
      return folder2->GetDefaultColumnState(static_cast<UINT>(i), &state) == S_OK;
    });
    if (count == 0)
      count = CountColumns([&](int i) {
        SHELLDETAILS d{};
        bool ok = folder2->GetDetailsOf(nullptr, static_cast<UINT>(i), &d) == S_OK;
        if (ok) StrRetToStr(d.str, nullptr);
        return ok;
      });
  }
  if (count == 0)
    if (ComPtr<IShellDetails> details = GetShellDetailsInterface())
      count = CountColumns([&](int i) {
        SHELLDETAILS d{};
        bool ok = details->GetDetailsOf(nullptr, static_cast<UINT>(i), &d) == S_OK;
        if (ok) StrRetToStr(d.str, nullptr);
        return ok;
      });
  if (count == 0) count = DetailsDefaultSupportedColumns();
  cache_.supportedColumns = count;
  return count;
}

std::wstring TNamespace::DetailsColumnTitle(int column) {
  if (!DetailsValidIndex(column)) return {};
  SHELLDETAILS d{};
  if (ComPtr<IShellFolder2> folder2 = GetShellFolder2())
    if (folder2->GetDetailsOf(nullptr, static_cast<UINT>(column), &d) == S_OK) return StrRetToStr(d.str, nullptr);
  if (ComPtr<IShellDetails> details = GetShellDetailsInterface())
    if (details->GetDetailsOf(nullptr, static_cast<UINT>(column), &d) == S_OK) return StrRetToStr(d.str, nullptr);
  return DetailsDefaultColumnTitle(column);
}

std::wstring TNamespace::DetailsDefaultColumnTitle(int column) {
  if (column == -1) column = 0;
  if (column < 0 || column > 9) return {};
  return DefaultDetailColumnTitles()[static_cast<size_t>(column)];
}

std::wstring TNamespace::DetailsOf(int column) {
  if (IsDesktop() || !GetParentShellFolder() || !parent_ || !parent_->DetailsValidIndex(column)) return {};
  SHELLDETAILS d{};
  if (ComPtr<IShellFolder2> folder2 = GetParentShellFolder2()) {
    if (folder2->GetDetailsOf(relative_, static_cast<UINT>(column), &d) == S_OK) return StrRetToStr(d.str, relative_);
    if (ComPtr<IShellDetails> details = GetParentShellDetailsInterface()) {
      if (details->GetDetailsOf(relative_, static_cast<UINT>(column), &d) == S_OK) return StrRetToStr(d.str, relative_);
      return DetailsDefaultOf(column);
    }
    return {};
  }
  if (ComPtr<IShellDetails> details = GetParentShellDetailsInterface()) {
    if (details->GetDetailsOf(relative_, static_cast<UINT>(column), &d) == S_OK) return StrRetToStr(d.str, relative_);
    return {};
  }
  return DetailsDefaultOf(column);
}

std::wstring TNamespace::DetailsDefaultOf(int column) {
  const WIN32_FIND_DATAW* data = FindData();
  bool plainFile = data && data->cFileName[0] != 0 && data->cFileName[0] != 8 && GetFileSystem();
  switch (column) {
    case -1:
    case 0: return GetNameInFolder();
    case 1: return GetSizeOfFileKB();
    case 2: return plainFile ? GetFileType() : L"System Folder";
    case 3: return GetLastWriteTime();
    case 4: return GetAttributesString();
    default: return {};
  }
}

uint16_t TNamespace::DetailsGetDefaultColumnState(int column) {
  if (!DetailsValidIndex(column)) return 0;
  auto onByDefault = static_cast<uint16_t>(TShellColumnState::OnByDefault);
  ComPtr<IShellFolder2> folder2 = GetShellFolder2();
  SHCOLSTATEF flags = 0;
  if (!folder2 || folder2->GetDefaultColumnState(static_cast<UINT>(column), &flags) != S_OK) return onByDefault;
  uint16_t set = 0;
  switch (flags & 0xF) {
    case 1: set |= static_cast<uint16_t>(TShellColumnState::TypeString); break;
    case 2: set |= static_cast<uint16_t>(TShellColumnState::TypeInteger); break;
    case 3: set |= static_cast<uint16_t>(TShellColumnState::TypeDate); break;
    default: break;
  }
  if (flags & 0x10) set |= onByDefault;
  if (flags & 0x20) set |= static_cast<uint16_t>(TShellColumnState::Slow);
  if (flags & 0x40) set |= static_cast<uint16_t>(TShellColumnState::Extended);
  if (flags & 0x80) set |= static_cast<uint16_t>(TShellColumnState::SecondaryUI);
  if (flags & 0x100) set |= static_cast<uint16_t>(TShellColumnState::Hidden);
  return set;
}

// -------------------------------------------------------------- context menu

ComPtr<IContextMenu> TNamespace::InternalGetContextMenuInterface(const TPIDLArray& pidls) {
  currentContextMenu2_.Reset();
  currentContextMenu3_.Reset();
  if (pidls.empty()) return nullptr;
  ComPtr<IContextMenu> menu;
  if (ComPtr<IShellFolder> parent = GetParentShellFolder()) {
    std::vector<LPCITEMIDLIST> lists(pidls.begin(), pidls.end());
    if (SUCCEEDED(parent->GetUIObjectOf(nullptr, static_cast<UINT>(lists.size()), lists.data(), IID_IContextMenu,
                                        nullptr, menu.PutVoid())) && menu)
      return menu;
  }
  if (pidls.size() == 1)
    if (ComPtr<IShellFolder> folder = GetShellFolder())
      if (folder->CreateViewObject(nullptr, IID_IContextMenu, menu.PutVoid()) == S_OK && menu) return menu;
  return nullptr;
}

ComPtr<IContextMenu> TNamespace::GetContextMenuInterface() { return InternalGetContextMenuInterface({relative_}); }

ComPtr<IContextMenu> TNamespace::ContextMenuFor(const TPIDLArray& pidls, bool absolute) {
  if (!absolute) return InternalGetContextMenuInterface(pidls);
  ComPtr<IShellFolder> desktop;
  if (FAILED(SHGetDesktopFolder(desktop.Put()))) return nullptr;
  std::vector<LPCITEMIDLIST> lists(pidls.begin(), pidls.end());
  ComPtr<IContextMenu> menu;
  if (FAILED(desktop->GetUIObjectOf(nullptr, static_cast<UINT>(lists.size()), lists.data(), IID_IContextMenu, nullptr,
                                    menu.PutVoid())))
    return nullptr;
  return menu;
}

bool TNamespace::ShowContextMenu(HWND owner, const TContextMenuCmdCallback& cmd, const TContextMenuShowCallback& show,
                                 const TContextMenuAfterCmdCallback& after, const POINT* position,
                                 ui::TPopupMenu* customShellSubMenu, const std::wstring& customSubMenuCaption) {
  return ShowMenu(owner, cmd, show, after, {relative_}, false, position, customShellSubMenu, customSubMenuCaption);
}

bool TNamespace::ShowContextMenuMulti(HWND owner, const TContextMenuCmdCallback& cmd,
                                      const TContextMenuShowCallback& show, const TContextMenuAfterCmdCallback& after,
                                      const TNamespaceArray& items, const POINT* position,
                                      ui::TPopupMenu* customShellSubMenu, const std::wstring& customSubMenuCaption,
                                      bool absolutePIDLs) {
  TPIDLArray pidls = absolutePIDLs ? NamespaceToAbsolutePIDLArray(items) : NamespaceToRelativePIDLArray(items);
  return ShowMenu(owner, cmd, show, after, pidls, absolutePIDLs, position, customShellSubMenu, customSubMenuCaption);
}

bool TNamespace::ShowMenu(HWND owner, const TContextMenuCmdCallback& cmd, const TContextMenuShowCallback& show,
                          const TContextMenuAfterCmdCallback& after, const TPIDLArray& pidls, bool absolute,
                          const POINT* position, ui::TPopupMenu* sub, const std::wstring& caption) {
  if (pidls.empty()) return false;
  POINT pt{};
  if (position) pt = *position;
  else GetCursorPos(&pt);
  // The interfaces live for the menu only, whatever way it ends. Declared in
  // reverse: the menu goes first, then the error mode, then the interfaces.
  struct Release {
    TNamespace& item;
    ~Release() {
      item.currentContextMenu3_.Reset();
      item.currentContextMenu2_.Reset();
      item.currentContextMenu_.Reset();
    }
  } release{*this};
  const ErrorModeScope quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);  // no system error boxes
  const MenuHandle menu(CreatePopupMenu());
  if (!menu) return false;

  UINT flags = CMF_EXPLORE;
  if (cmd && pidls.size() == 1) flags |= CMF_CANRENAME;
  if (GetKeyState(VK_SHIFT) < 0) flags |= CMF_EXTENDEDVERBS;
  currentContextMenu_ = ContextMenuFor(pidls, absolute);
  if (!currentContextMenu_) return false;
  currentContextMenu3_ = currentContextMenu_.As<IContextMenu3>(IID_IContextMenu3);
  if (!currentContextMenu3_) currentContextMenu2_ = currentContextMenu_.As<IContextMenu2>(IID_IContextMenu2);
  IContextMenu* best = currentContextMenu3_ ? currentContextMenu3_.Get()
                       : currentContextMenu2_ ? static_cast<IContextMenu*>(currentContextMenu2_.Get())
                                              : currentContextMenu_.Get();
  const HRESULT queried = best->QueryContextMenu(menu.Get(), 0, kFirstCommand, kLastCommand, flags);

  // Our IDs go above every ID the shell used, its submenus' included (the
  // answer's code is the highest offset plus one; the menu itself is checked too).
  UINT firstFree = kFirstCommand + (SUCCEEDED(queried) ? HRESULT_CODE(queried) : 0);
  firstFree = std::max(firstFree, HighestMenuID(menu.Get()) + 1);
  TMenuItemIDArray ids;
  HMENU subMenu = sub ? InjectCustomSubMenu(menu.Get(), caption, *sub, firstFree, ids) : nullptr;
  bool allow = true;
  if (show) show(*this, menu.Get(), allow);
  UINT command = 0;
  if (allow)
    command = static_cast<UINT>(TrackPopupMenuEx(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, owner, nullptr));
  if (command == 0) return false;

  std::wstring verb;
  bool verbRead = ChosenCommandVerb(best, command - kFirstCommand, verb);
  bool handled = false;
  if (subMenu) {
    for (size_t i = 0; i < ids.size(); ++i)
      if (ids[i] == command) {
        handled = true;
        sub->Items(i).Click();
        break;
      }
  }
  if (!handled && cmd) cmd(*this, verb, command, handled);
  if (handled) return verbRead;
  bool ok = SUCCEEDED(Invoke(best, command - kFirstCommand, nullptr));
  if (after) after(*this, verb, command, ok);
  return ok;
}

bool TNamespace::HandleContextMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (currentContextMenu3_) return SUCCEEDED(currentContextMenu3_->HandleMenuMsg2(msg, wParam, lParam, &result));
  if (currentContextMenu2_) return SUCCEEDED(currentContextMenu2_->HandleMenuMsg(msg, wParam, lParam));
  return false;
}

std::wstring TNamespace::ContextMenuVerb(UINT menuItemId) {
  if (!currentContextMenu_ || menuItemId == 0 || menuItemId == UINT(-1)) return {};
  return CommandVerb(currentContextMenu_.Get(), menuItemId - kFirstCommand);
}

bool TNamespace::ExecuteContextMenuVerb(const std::wstring& verb, const TPIDLArray& pidls) {
  if (!GetParentShellFolder() || pidls.empty()) return false;
  ComPtr<IContextMenu> menu = InternalGetContextMenuInterface(pidls);
  if (!menu) return false;
  ComPtr<IContextMenu2> menu2 = menu.As<IContextMenu2>(IID_IContextMenu2);
  IContextMenu* best = menu2 ? static_cast<IContextMenu*>(menu2.Get()) : menu.Get();
  const MenuHandle popup(CreatePopupMenu());
  if (!popup) return false;
  best->QueryContextMenu(popup.Get(), 0, kFirstCommand, kLastCommand, CMF_EXPLORE);
  int count = GetMenuItemCount(popup.Get());
  for (int i = 0; i < count; ++i) {
    UINT id = GetMenuItemID(popup.Get(), i);
    if (id == 0 || id == UINT(-1)) continue;
    std::wstring text = CommandVerb(best, id - kFirstCommand);
    if (!text.empty() && lstrcmpiW(text.c_str(), verb.c_str()) == 0)
      return SUCCEEDED(Invoke(best, id - kFirstCommand, nullptr));
  }
  return SUCCEEDED(Invoke(best, 0, verb.c_str()));
}

// --------------------------------------------------------------------- verbs

bool TNamespace::CanDeleteAll(const TNamespaceArray& items) {
  if (items.empty()) return false;
  for (TNamespace* n : items)
    if (!n->GetCanDelete()) return false;
  return true;
}

bool TNamespace::CanShowPropertiesOfAll(const TNamespaceArray& items) {
  if (items.empty()) return false;
  for (TNamespace* n : items)
    if (!n->GetHasPropSheet()) return false;
  return true;
}

bool TNamespace::VerifyPIDLRelationship(const TNamespaceArray& items) {
  // An item made from a path learns its parent on first use of the parent
  // folder; it counts as having one from the start.
  if (!parent_ && !IsDesktop()) GetParentShellFolder();
  bool ok = true;
  TNamespace* failed = nullptr;
  for (TNamespace* n : items) {
    if (parent_) ok = ILIsParentSafe(parent_->AbsolutePIDL(), n->AbsolutePIDL(), true);
    else ok = items.size() == 1 && n->IsDesktop();
    if (!ok) {
      failed = n;
      break;
    }
  }
  if (!ok && failed && !failed->IsDesktop())
    ShowWideMessage(ApplicationWindow(), L"Error",
                    L"PIDLs to operate on are not siblings of the Namespace doing the operation.");
  return ok;
}

bool TNamespace::RunVerb(const char* verb, const TNamespaceArray& items) {
  if (!VerifyPIDLRelationship(items)) return false;
  std::wstring wide(verb, verb + strlen(verb));
  return ExecuteContextMenuVerb(wide, NamespaceToRelativePIDLArray(items));
}

bool TNamespace::Copy(const TNamespaceArray& items) { return RunVerb("copy", items); }
bool TNamespace::Cut(const TNamespaceArray& items) { return CanCutAll(items) && RunVerb("cut", items); }
bool TNamespace::Delete(const TNamespaceArray& items) { return CanDeleteAll(items) && RunVerb("delete", items); }
bool TNamespace::ShowPropertySheetMulti(const TNamespaceArray& items) {
  return CanShowPropertiesOfAll(items) && RunVerb("properties", items);
}

bool TNamespace::Paste(const TNamespaceArray& items) {
  if (!CanPasteToAll(items)) return false;
  if (IsDesktop()) {
    if (!PhysicalDesktopFolder()) return false;
    std::vector<std::unique_ptr<TNamespace>> made;
    TNamespaceArray physical;
    for (TNamespace* n : items) {
      TPidl list = PathToPIDL(n->GetNameForParsing());
      if (!list) return false;
      made.push_back(std::make_unique<TNamespace>(std::move(list), nullptr));
      physical.push_back(made.back().get());
    }
    return PhysicalDesktopFolder()->Paste(physical);
  }
  return RunVerb("paste", items);
}

// ------------------------------------------------- clipboard, drag and drop

ComPtr<IDataObject> TNamespace::InternalGetDataObjectInterface(const TPIDLArray& pidls) {
  TPIDLArray lists = pidls.empty() ? TPIDLArray{relative_} : pidls;
  ComPtr<IDataObject> data;
  if (ComPtr<IShellFolder> parent = GetParentShellFolder()) {
    std::vector<LPCITEMIDLIST> c(lists.begin(), lists.end());
    if (SUCCEEDED(parent->GetUIObjectOf(nullptr, static_cast<UINT>(c.size()), c.data(), IID_IDataObject, nullptr,
                                        data.PutVoid())) && data)
      return data;
  }
  if (lists.size() == 1)
    if (ComPtr<IShellFolder> folder = GetShellFolder())
      if (SUCCEEDED(folder->CreateViewObject(nullptr, IID_IDataObject, data.PutVoid())) && data) return data;
  return nullptr;
}

ComPtr<IDataObject> TNamespace::DataObjectMulti(const TNamespaceArray& items) {
  return InternalGetDataObjectInterface(NamespaceToRelativePIDLArray(items));
}

ComPtr<IDropTarget> TNamespace::GetDropTargetInterface() {
  if (dropTarget_) return dropTarget_;
  if (IsDesktop()) {
    if (PhysicalDesktopFolder() && PhysicalDesktopFolder() != this) dropTarget_ = PhysicalDesktopFolder()->GetDropTargetInterface();
    return dropTarget_;
  }
  if (ComPtr<IShellFolder> parent = GetParentShellFolder()) {
    LPCITEMIDLIST item = relative_;
    if (FAILED(parent->GetUIObjectOf(nullptr, 1, &item, IID_IDropTarget, nullptr, dropTarget_.PutVoid())))
      dropTarget_.Reset();
  }
  return dropTarget_;
}

HRESULT TNamespace::DragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD& effect) {
  ComPtr<IDropTarget> target = GetDropTarget() ? GetDropTargetInterface() : nullptr;
  if (!target) { effect = DROPEFFECT_NONE; return S_OK; }
  return target->DragEnter(data, keyState, pt, &effect);
}
HRESULT TNamespace::DragOver(DWORD keyState, POINTL pt, DWORD& effect) {
  ComPtr<IDropTarget> target = GetDropTarget() ? GetDropTargetInterface() : nullptr;
  if (!target) { effect = DROPEFFECT_NONE; return S_OK; }
  return target->DragOver(keyState, pt, &effect);
}
HRESULT TNamespace::DragLeave() {
  ComPtr<IDropTarget> target = GetDropTarget() ? GetDropTargetInterface() : nullptr;
  return target ? target->DragLeave() : S_OK;
}
HRESULT TNamespace::Drop(IDataObject* data, DWORD keyState, POINTL pt, DWORD& effect) {
  ComPtr<IDropTarget> target = GetDropTarget() ? GetDropTargetInterface() : nullptr;
  if (!target) { effect = DROPEFFECT_NONE; return S_OK; }
  return target->Drop(data, keyState, pt, &effect);
}

// --------------------------------------------------------- rename, execute

bool TNamespace::SetNameOf(const std::wstring& newName) {
  ComPtr<IShellFolder> parent = GetParentShellFolder();
  if (!GetCanRename() || !parent) return false;
  HCURSOR old = SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514))  /* the hourglass */);
  LPITEMIDLIST fresh = nullptr;
  HRESULT hr = parent->SetNameOf(nullptr, relative_, newName.c_str(), SHGDN_INFOLDER | SHGDN_FOREDITING, &fresh);
  SetCursor(old);
  TPidl owner(fresh);
  if (FAILED(hr) || !owner) return false;
  TPidl head = TPIDLManager::CopyPIDL(absolute_);
  if (!head) return false;
  TPIDLManager::StripLastID(head.get());
  TPidl combined = TPIDLManager::AppendPIDL(head.get(), owner.get());
  if (!combined) return false;
  if (freePidl_) CoTaskMemFree(absolute_);
  freePidl_ = true;
  SetLists(combined.release());
  return true;
}

bool TNamespace::ShellExecuteNamespace(const std::wstring& workingDir, const std::wstring& cmdLineArguments,
                                       bool executeFolder, bool executeFolderShortCut) {
  bool run = executeFolder || !GetFolder();
  if (!executeFolderShortCut && run && GetLink()) {
    TLazyShellLink link;
    if (link.ReadLink(GetNameParseAddress())) run = !DirExistsW(link.TargetPath);
  }
  if (!run) return false;
  std::wstring directory = DirExistsW(workingDir) ? workingDir : ExtractFileDirW<wchar_t>(GetNameParseAddress());
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = ApplicationWindow();
  info.nShow = SW_SHOWNORMAL;
  info.lpIDList = absolute_;
  info.lpParameters = cmdLineArguments.empty() ? nullptr : cmdLineArguments.c_str();
  info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
  bool ok = ShellExecuteExW(&info) != FALSE;
  // The process handle was asked for; nothing here waits on it.
  if (info.hProcess) CloseHandle(info.hProcess);
  return ok;
}

}  // namespace kv
