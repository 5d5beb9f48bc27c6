#include "shell/shell_link_win.h"

#include "shell/namespace_win.h"
#include "shell/wide_strings.h"

namespace kv {

bool ShowCmdFromPlatform(int platform, TShowCmd& out) {
  static constexpr TShowCmd kMap[11] = {
      TShowCmd::Hide,           TShowCmd::ShowNormal,     TShowCmd::ShowMinimized, TShowCmd::Maximize,
      TShowCmd::ShowNoActivate, TShowCmd::Show,           TShowCmd::Minimize,      TShowCmd::ShowMinNoActive,
      TShowCmd::ShowNA,         TShowCmd::Restore,        TShowCmd::ShowDefault};
  if (platform < 0 || platform > 10) return false;
  out = kMap[platform];
  return true;
}

ComPtr<IShellLinkW> TLazyShellLink::GetShellLinkWInterface() {
  if (!link_ && FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link_.PutVoid())))
    link_.Reset();
  return link_;
}

ComPtr<IShellLinkA> TLazyShellLink::GetShellLinkAInterface() {
  if (!linkA_ &&
      FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, linkA_.PutVoid())))
    linkA_.Reset();
  return linkA_;
}

bool TLazyShellLink::ReadLink(const std::wstring& linkFileName) {
  ComPtr<IShellLinkW> link = GetShellLinkWInterface();
  if (!link) return false;
  ComPtr<IPersistFile> file = link.As<IPersistFile>(IID_IPersistFile);
  if (!file) return false;
  FileName = linkFileName;
  if (FAILED(file->Load(FileName.c_str(), STGM_READWRITE))) {
    FileName.clear();
    return false;
  }
  auto text = [](auto call) {
    wchar_t buffer[1024] = {};
    if (FAILED(call(buffer))) return std::wstring();
    buffer[1023] = 0;
    return std::wstring(buffer);
  };
  WIN32_FIND_DATAW find;
  TargetPath = text([&](wchar_t* b) { return link->GetPath(b, MAX_PATH, &find, SLGP_UNCPRIORITY); });
  Arguments = text([&](wchar_t* b) { return link->GetArguments(b, 1024); });
  Description = text([&](wchar_t* b) { return link->GetDescription(b, 1024); });
  WorkingDirectory = text([&](wchar_t* b) { return link->GetWorkingDirectory(b, 1024); });
  int icon = 0;
  IconLocation = text([&](wchar_t* b) { return link->GetIconLocation(b, 1024, &icon); });
  IconIndex = icon;
  TargetIDList.reset();
  LPITEMIDLIST target = nullptr;
  if (SUCCEEDED(link->GetIDList(&target))) TargetIDList.reset(target);
  WORD hotKey = 0;
  if (SUCCEEDED(link->GetHotkey(&hotKey))) {
    HotKey = LOBYTE(hotKey);
    BYTE high = HIBYTE(hotKey);
    HotKeyModifiers = 0;
    if (high & HOTKEYF_ALT) HotKeyModifiers |= hkAlt;
    if (high & HOTKEYF_CONTROL) HotKeyModifiers |= hkCtrl;
    if (high & HOTKEYF_EXT) HotKeyModifiers |= hkExt;
    if (high & HOTKEYF_SHIFT) HotKeyModifiers |= hkShift;
  }
  int show = 0;
  if (SUCCEEDED(link->GetShowCmd(&show))) ShowCmdFromPlatform(show, ShowCmd);
  return true;
}

// ---------------------------------------------------------------- sorting

int TShellSortHelper::CompareIDSort(int column, TNamespace& ns1, TNamespace& ns2) {
  if (!ns1.GetParentShellFolder()) return 0;
  // ComparePIDL asks ns2's parent folder with ns1's item first.
  int r = ns2.ComparePIDL(ns1.RelativePIDL(), false, column);
  if (column >= 1 && r == 0) r = StrCompW<wchar_t>(ns1.GetNameNormal(), ns2.GetNameNormal());
  return r;
}

int TShellSortHelper::DiscriminateFolders(TNamespace& ns1, TNamespace& ns2) {
  bool f1 = ns1.GetFolder(), f2 = ns2.GetFolder();
  if (f1 == f2) return 0;
  return f1 ? -1 : 1;
}

int TShellSortHelper::SortFileSize(TNamespace& ns1, TNamespace& ns2) {
  if (int d = DiscriminateFolders(ns1, ns2)) return d;
  uint64_t a = ns1.GetSizeOfFileInt64(), b = ns2.GetSizeOfFileInt64();
  if (a != b) return a > b ? 1 : -1;
  return CompareIDSort(0, ns1, ns2);
}

int TShellSortHelper::SortFileTime(const FILETIME& t1, const FILETIME& t2, TNamespace& ns1, TNamespace& ns2) {
  if (int d = DiscriminateFolders(ns1, ns2)) return d;
  if (int c = CompareFileTime(&t1, &t2)) return c;
  return CompareIDSort(0, ns1, ns2);
}

int TShellSortHelper::SortString(const std::wstring& s1, const std::wstring& s2, TNamespace& ns1, TNamespace& ns2) {
  if (int d = DiscriminateFolders(ns1, ns2)) return d;
  if (int c = StrCompW<wchar_t>(s1, s2)) return c;
  return CompareIDSort(0, ns1, ns2);
}

int TShellSortHelper::SortType(TNamespace& ns1, TNamespace& ns2) {
  if (FileSort == TFileSort::fsFileType) return SortString(ns1.GetFileType(), ns2.GetFileType(), ns1, ns2);
  if (int d = DiscriminateFolders(ns1, ns2)) return d;
  if (!ns1.GetFileSystem() || !ns2.GetFileSystem()) return 0;
  return SortString(ExtractFileExtW<wchar_t>(ns1.GetNameParseAddress()),
                    ExtractFileExtW<wchar_t>(ns2.GetNameParseAddress()), ns1, ns2);
}

}  // namespace kv
