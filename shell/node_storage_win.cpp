#include "shell/node_storage_win.h"

#include "shell/id_list_win.h"
#include "shell/namespace_win.h"
#include "shell/wide_string_list_win.h"

namespace kv {

namespace {

struct TShellNodeFolder : TNodeFolder {
  ComPtr<IShellFolder> folder;
};

LPCITEMIDLIST AsList(std::span<const uint8_t> bytes) { return reinterpret_cast<LPCITEMIDLIST>(bytes.data()); }

ComPtr<IShellFolder> BindFromDesktop(LPCITEMIDLIST absolute) {
  ComPtr<IShellFolder> desktop;
  if (FAILED(SHGetDesktopFolder(desktop.Put()))) return {};
  if (IsDesktopIDList(absolute)) return desktop;
  ComPtr<IShellFolder> folder;
  if (FAILED(desktop->BindToObject(absolute, nullptr, IID_IShellFolder, folder.PutVoid()))) return {};
  return folder;
}

}  // namespace

IShellFolder* TShellNodeStorageShell::GetShellFolder(TNodeStorage& node) {
  if (auto* held = dynamic_cast<TShellNodeFolder*>(node.ShellFolder.get())) return held->folder.Get();
  ComPtr<IShellFolder> folder;
  if (!node.ParentNode()) {
    folder = BindFromDesktop(AsList(node.AbsolutePIDL()));
  } else if (IShellFolder* parent = GetShellFolder(*node.ParentNode())) {
    if (FAILED(parent->BindToObject(AsList(node.RelativePIDL()), nullptr, IID_IShellFolder, folder.PutVoid())))
      folder = {};
  }
  if (!folder) return nullptr;
  auto held = std::make_unique<TShellNodeFolder>();
  held->folder = folder;
  node.ShellFolder = std::move(held);
  return folder.Get();
}

bool TShellNodeStorageShell::CompareIDs(TNodeStorage& parent, std::span<const uint8_t> first,
                                        std::span<const uint8_t> second, int& order) {
  IShellFolder* folder = GetShellFolder(parent);
  if (!folder) return false;
  HRESULT hr = folder->CompareIDs(0, AsList(first), AsList(second));
  order = CompareIDsResult(hr, IDItemBytes(first.data()), IDItemBytes(second.data()));
  return true;
}

bool TShellNodeStorageShell::ChildExists(const TNodeStorage& child) {
  LPCITEMIDLIST absolute = AsList(child.AbsolutePIDL());
  if (Validator) return Validator(absolute);
  TPidl parentList = TPIDLManager::CopyPIDL(absolute);
  if (!parentList) return false;
  TPIDLManager::StripLastID(parentList.get());
  ComPtr<IShellFolder> parent = BindFromDesktop(parentList.get());
  if (!parent) return false;
  LPCITEMIDLIST last = AsList(child.RelativePIDL());
  SFGAOF attributes = SFGAO_FOLDER | SFGAO_VALIDATE;
  return SUCCEEDED(parent->GetAttributesOf(1, &last, &attributes));
}

std::u16string TShellNodeStorageShell::FileSystemPath(const TNodeStorage& node) {
  // The desktop too: it is a folder of the file system where the shell says so.
  LPCITEMIDLIST list = AsList(node.AbsolutePIDL());
  auto item = TNamespace::CreateShared(const_cast<LPITEMIDLIST>(list));
  if (!item || !item->GetFileSystem()) return {};
  std::wstring path = item->GetNameForParsing();
  return std::u16string(path.begin(), path.end());
}

bool TShellNodeStorageShell::PathExists(const std::u16string& path) {
  return GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str())) != INVALID_FILE_ATTRIBUTES;
}

std::u16string TShellNodeStorageShell::UpperCase(std::u16string_view text) {
  std::u16string out(text);
  if (!out.empty()) CharUpperBuffW(reinterpret_cast<wchar_t*>(out.data()), static_cast<DWORD>(out.size()));
  return out;
}

void TShellNodeStorageShell::SortPaths(std::vector<std::u16string>& paths) {
  TWideStringList list;
  for (const std::u16string& path : paths) list.Add(std::wstring(path.begin(), path.end()));
  list.Sort();
  for (int i = 0; i < list.Count(); ++i) {
    const std::wstring text = list.Get(i);
    paths[static_cast<size_t>(i)].assign(text.begin(), text.end());
  }
}

void TShellNodeStorageShell::BeginPathTests() {
  oldErrorMode_ = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}
void TShellNodeStorageShell::EndPathTests() { SetErrorMode(oldErrorMode_); }

std::unique_ptr<TRootNodeStorage> MakeShellNodeStorage() {
  std::vector<uint8_t> desktop{0, 0};
  LPITEMIDLIST list = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &list)) && list) {
    TPidl owner(list);
    auto bytes = StorageBytes(list);
    desktop.assign(bytes.begin(), bytes.end());
  }
  return std::make_unique<TRootNodeStorage>(std::make_unique<TShellNodeStorageShell>(), std::move(desktop));
}

}  // namespace kv
