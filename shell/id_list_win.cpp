#include "shell/id_list_win.h"

#include <stdexcept>

#include "base/ansi_text_win.h"
#include "base/handle.h"
#include "shell/namespace_win.h"
#include "shell/shell_utils_win.h"
#include "zip/zip_stream.h"

namespace kv {

TPidl PidlFromBytes(std::span<const uint8_t> bytes) {
  TPidl out(static_cast<LPITEMIDLIST>(CoTaskMemAlloc(bytes.size())));
  if (out) std::memcpy(out.get(), bytes.data(), bytes.size());
  return out;
}

TPIDLManager::TPIDLManager() {
  if (FAILED(SHGetMalloc(malloc_.Put()))) throw std::runtime_error("The shell has no task allocator");
}

LPITEMIDLIST TPIDLManager::NextID(LPCITEMIDLIST item) {
  return const_cast<LPITEMIDLIST>(static_cast<LPCITEMIDLIST>(NextIDItem(item)));
}

LPITEMIDLIST TPIDLManager::GetPointerToLastID(LPCITEMIDLIST list) {
  return const_cast<LPITEMIDLIST>(static_cast<LPCITEMIDLIST>(LastIDItem(list)));
}

TPidl TPIDLManager::CopyPIDL(LPCITEMIDLIST list) {
  if (!list) return nullptr;
  return PidlFromBytes(PidlBytes(list));
}

TPidl TPIDLManager::AppendPIDL(LPCITEMIDLIST first, LPCITEMIDLIST second) {
  if (!second) return CopyPIDL(first);
  size_t head = first ? IDListSize(first) - 2 : 0;
  size_t tail = IDListSize(second);
  TPidl out(static_cast<LPITEMIDLIST>(CoTaskMemAlloc(head + tail)));
  if (!out) return nullptr;
  auto p = reinterpret_cast<uint8_t*>(out.get());
  if (head) std::memcpy(p, first, head);
  std::memcpy(p + head, second, tail);
  return out;
}

LPITEMIDLIST TPIDLManager::StripLastID(LPITEMIDLIST list) {
  uint16_t count;
  LPITEMIDLIST item;
  return StripLastID(list, count, item);
}

LPITEMIDLIST TPIDLManager::StripLastID(LPITEMIDLIST list, uint16_t& count, LPITEMIDLIST& item) {
  count = 0;
  item = nullptr;
  if (!list) return list;
  // The desktop's "last item" is the list itself with its 0 count: cutting
  // and restoring it changes nothing.
  item = GetPointerToLastID(list);
  if (IsDesktopIDList(list)) return list;
  count = IDCountAt(item);
  SetIDCountAt(item, 0);
  return list;
}

void TPIDLManager::RestoreLastID(LPITEMIDLIST item, uint16_t count) {
  if (item) SetIDCountAt(item, count);
}

bool TPIDLManager::IsSubPIDL(LPCITEMIDLIST full, LPCITEMIDLIST leading) {
  if (!full || !leading) return false;
  size_t n = IDListCount(leading);
  if (n > IDListCount(full)) return false;
  // Compare on a copy cut after n items, so that `full` is never written.
  TPidl copy = CopyPIDL(full);
  if (!copy) return false;
  auto p = reinterpret_cast<uint8_t*>(copy.get());
  for (size_t i = 0; i < n; ++i) p += IDCountAt(p);
  SetIDCountAt(p, 0);
  return ILIsEqualSafe(copy.get(), leading);
}

TPidl TPIDLManager::LoadFromStream(TStream& stream) {
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadIDList(stream);
  } catch (const EIDListFormat&) {
    return nullptr;  // a size that holds no whole list: nothing
  }
  if (bytes.empty()) return nullptr;  // stored as absent
  TPidl out = PidlFromBytes(bytes);
  if (!out) throw std::bad_alloc();
  return out;
}

void TPIDLManager::FreePIDL(LPITEMIDLIST list) { CoTaskMemFree(list); }

void TPIDLManager::FreeOLEStr(LPWSTR text) { CoTaskMemFree(text); }

void TPIDLManager::FreeAndNilPIDL(LPITEMIDLIST& list) {
  LPITEMIDLIST old = list;
  list = nullptr;
  FreePIDL(old);
}

namespace {
template <class Fn>
Fn Bound(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

struct TShell32Functions {
  using TAnimateWindow = BOOL(WINAPI*)(HWND, DWORD, DWORD);
  using TILIsEqual = BOOL(WINAPI*)(LPCITEMIDLIST, LPCITEMIDLIST);
  using TILIsParent = BOOL(WINAPI*)(LPCITEMIDLIST, LPCITEMIDLIST, BOOL);
  TAnimateWindow animateWindow = nullptr;
  TILIsEqual ilIsEqual = nullptr;
  TILIsParent ilIsParent = nullptr;
  FARPROC export747 = nullptr;  // bound with the others; nothing here calls it
};

// Bound once, on first use (thread-safe: a function-local static).
const TShell32Functions& Shell32Functions() {
  static const TShell32Functions functions = [] {
    TShell32Functions f;
    // Both modules are loaded with the program and stay for its lifetime.
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    HMODULE shell32 = GetModuleHandleW(L"shell32.dll");
    f.animateWindow = Bound<TShell32Functions::TAnimateWindow>(user32, "AnimateWindow");
    f.ilIsEqual = Bound<TShell32Functions::TILIsEqual>(shell32, MAKEINTRESOURCEA(21));
    f.ilIsParent = Bound<TShell32Functions::TILIsParent>(shell32, MAKEINTRESOURCEA(23));
    f.export747 = shell32 ? GetProcAddress(shell32, MAKEINTRESOURCEA(747)) : nullptr;
    return f;
  }();
  return functions;
}
}  // namespace

bool LoadShell32Functions() {
  const TShell32Functions& f = Shell32Functions();
  return f.ilIsEqual && f.ilIsParent;
}

bool ILIsEqualSafe(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  auto fn = Shell32Functions().ilIsEqual;
  return a && b && fn && fn(a, b);
}

bool ILIsParentSafe(LPCITEMIDLIST parent, LPCITEMIDLIST child, bool immediate) {
  auto fn = Shell32Functions().ilIsParent;
  return parent && child && fn && fn(parent, child, immediate);
}

void TPIDLList::CopyAdd(LPCITEMIDLIST list) {
  // An absent list takes its place as an empty entry.
  TPidl copy = TPIDLManager::CopyPIDL(list);
  items_.push_back(nullptr);  // room first, so that the copy is never lost
  items_.back() = copy.release();
}

void TPIDLList::Clear() {
  if (!SharePIDLs)
    for (LPITEMIDLIST p : items_) CoTaskMemFree(p);
  items_.clear();
}

bool TPIDLList::SaveToStream(TStream& stream) const {
  try {
    auto n = static_cast<uint32_t>(items_.size());
    uint8_t b[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    stream.WriteBuffer(b, 4);
    for (LPITEMIDLIST p : items_) WriteIDList(stream, p);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool TPIDLList::LoadFromStream(TStream& stream) {
  // Each list is added as soon as it is read: a stream cut short keeps the
  // lists before the fault. An absent list is added as an empty entry, so
  // that the lists keep their positions.
  try {
    ReadIDLists(stream, [this](std::vector<uint8_t> bytes) {
      TPidl list;
      if (!bytes.empty() && !(list = PidlFromBytes(bytes))) throw std::bad_alloc();
      items_.push_back(nullptr);  // room first, so that the list is never lost
      items_.back() = list.release();
    });
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool GetDiskFreeSpaceFAT32(const std::wstring& drivePath, DWORD& sectorsPerCluster, DWORD& bytesPerSector,
                           DWORD& freeClusters, DWORD& totalClusters) {
  // The request's registers are 32 bits wide: the device of the DOS-based
  // systems serves 32-bit programs only. Everywhere else it does not exist.
  FileHandle device(CreateFileW(L"\\\\.\\vwin32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!device) return false;
  std::string path = WStringToAnsi(drivePath);
  struct Result {
    uint16_t size;
    uint16_t level;
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    uint8_t rest[24];
  } result{};
  static_assert(sizeof(Result) == 44);
  struct Registers {
    DWORD ebx, edx, ecx, eax, edi, esi, flags;
  } regs{};
  auto pathAddress = reinterpret_cast<uintptr_t>(path.c_str());
  auto resultAddress = reinterpret_cast<uintptr_t>(&result);
  if (pathAddress > 0xFFFFFFFFu || resultAddress > 0xFFFFFFFFu) return false;
  constexpr DWORD kCarry = 1;
  regs.eax = 0x7303;
  regs.edx = static_cast<DWORD>(pathAddress);
  regs.edi = static_cast<DWORD>(resultAddress);
  regs.ecx = sizeof result;
  regs.flags = kCarry;
  DWORD returned = 0;
  if (!DeviceIoControl(device.Get(), 6, &regs, sizeof regs, &regs, sizeof regs, &returned, nullptr)) return false;
  if (regs.flags & kCarry) return false;
  sectorsPerCluster = result.sectorsPerCluster;
  bytesPerSector = result.bytesPerSector;
  freeClusters = result.freeClusters;
  totalClusters = result.totalClusters;
  return true;
}

TPidl PathToPIDL(const std::wstring& path) {
  ComPtr<IShellFolder> desktop;
  if (FAILED(SHGetDesktopFolder(desktop.Put()))) return nullptr;
  LPITEMIDLIST list = nullptr;
  std::wstring buffer = path;
  if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, buffer.data(), nullptr, &list, nullptr))) return nullptr;
  return TPidl(list);
}

std::wstring PIDLToPath(LPCITEMIDLIST list) {
  if (!list) return {};
  auto item = TNamespace::CreateShared(const_cast<LPITEMIDLIST>(list));
  return item->GetNameForParsing();
}

std::vector<LPITEMIDLIST> NamespaceToAbsolutePIDLArray(const std::vector<TNamespace*>& items) {
  std::vector<LPITEMIDLIST> out;
  for (TNamespace* n : items) out.push_back(n->AbsolutePIDL());
  return out;
}

std::vector<LPITEMIDLIST> NamespaceToRelativePIDLArray(const std::vector<TNamespace*>& items) {
  std::vector<LPITEMIDLIST> out;
  for (TNamespace* n : items) out.push_back(n->RelativePIDL());
  return out;
}

std::unique_ptr<TNamespace> CreateSpecialNamespace(int csidl) {
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || !list) return nullptr;
  auto item = std::make_unique<TNamespace>(TPidl(list), nullptr);
  item->GetParentShellFolder();
  return item;
}

TPidl GetMyDocumentsVirtualFolder() {
  ComPtr<IShellFolder> desktop;
  if (FAILED(SHGetDesktopFolder(desktop.Put()))) return nullptr;
  LPITEMIDLIST personal = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &personal)) || !personal) return nullptr;
  TPidl personalOwner(personal);
  // The file-system My Documents folder names its own last item in-folder.
  ComPtr<IShellFolder> folder;
  if (FAILED(desktop->BindToObject(personal, nullptr, IID_IShellFolder, folder.PutVoid()))) return nullptr;
  STRRET ret{};
  if (FAILED(folder->GetDisplayNameOf(TPIDLManager::GetPointerToLastID(personal), SHGDN_INFOLDER, &ret))) return nullptr;
  std::wstring wanted = StrRetToStr(ret, TPIDLManager::GetPointerToLastID(personal));
  ComPtr<IEnumIDList> items;
  if (desktop->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Put()) != S_OK || !items) return nullptr;
  LPITEMIDLIST child = nullptr;
  while (items->Next(1, &child, nullptr) == S_OK) {
    TPidl owner(child);
    STRRET name{};
    if (SUCCEEDED(desktop->GetDisplayNameOf(child, SHGDN_NORMAL, &name)) &&
        lstrcmpiW(StrRetToStr(name, child).c_str(), wanted.c_str()) == 0)
      return owner;
  }
  return nullptr;
}

int DefaultSystemImageIndex(int kind) {
  SHFILEINFOW info{};
  switch (kind) {
    case 0:
    case 1: {
      UINT flags = SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SHELLICONSIZE | (kind == 1 ? SHGFI_OPENICON : 0);
      if (!SHGetFileInfoW(L"*.*", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info, flags)) return -1;
      return info.iIcon;
    }
    case 2:
      if (!SHGetFileInfoW(L"*.zyxwv", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                          SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SHELLICONSIZE))
        return -1;
      return info.iIcon;
    case 3:
      return 29;
    case 4: {
      if (!DesktopFolder()) return DefaultSystemImageIndex(0);
      ComPtr<IShellFolder> desktop = DesktopFolder()->GetShellFolder();
      LPITEMIDLIST list = nullptr;
      wchar_t name[] = L"::{450d8fba-ad25-11d0-98a8-0800361b1103}";
      if (!desktop || FAILED(desktop->ParseDisplayName(nullptr, nullptr, name, nullptr, &list, nullptr)) || !list)
        return -1;
      TPidl owner(list);
      if (!SHGetFileInfoW(reinterpret_cast<LPCWSTR>(list), 0, &info, sizeof info,
                          SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SHELLICONSIZE))
        return -1;
      return info.iIcon;
    }
    default:
      return -1;
  }
}

bool FileIconInit(bool restore) {
  HMODULE shell = GetModuleHandleW(L"shell32.dll");
  if (!shell) return false;
  using Fn = BOOL(WINAPI*)(BOOL);
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(shell, MAKEINTRESOURCEA(660))));
  return fn && fn(restore);
}

bool ValidFileTime(const FILETIME& time) { return time.dwLowDateTime != 0 || time.dwHighDateTime != 0; }

std::wstring ConvertTFileTimeToLocalStr(const FILETIME& time) {
  if (!ValidFileTime(time)) return {};
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &st)) return {};
  wchar_t date[128], clock[128];
  if (!GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128)) return {};
  if (!GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, clock, 128)) return {};
  return std::wstring(date) + L" " + clock;
}

namespace {
TShellClipboardFormats gFormats;
}

const TShellClipboardFormats& ShellClipboardFormats() { return gFormats; }

void RegisterShellClipboardFormats() {
  gFormats.shellIDList = static_cast<uint16_t>(RegisterClipboardFormatW(L"Shell IDList Array"));
  gFormats.logicalPerformedDropEffect = static_cast<uint16_t>(RegisterClipboardFormatW(L"Logical Performed DropEffect"));
  gFormats.preferredDropEffect = static_cast<uint16_t>(RegisterClipboardFormatW(L"Preferred DropEffect"));
  gFormats.fileContents = static_cast<uint16_t>(RegisterClipboardFormatW(L"FileContents"));
  gFormats.fileGroupDescriptor = static_cast<uint16_t>(RegisterClipboardFormatW(L"FileGroupDescriptor"));
  gFormats.fileGroupDescriptorW = static_cast<uint16_t>(RegisterClipboardFormatW(L"FileGroupDescriptorW"));
}

}  // namespace kv
