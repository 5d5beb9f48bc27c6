#include "shell/shell_utils_win.h"

#include "base/handle.h"
#include "shell/id_list_win.h"
#include "shell/wide_strings.h"

namespace kv {

bool FileExistsW(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(path.c_str(), &data));
  return static_cast<bool>(find);
}

bool DirExistsW(const std::wstring& path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExistsW(const wchar_t* path) { return path && DirExistsW(std::wstring(path)); }

bool CreateDirW(const std::wstring& path) {
  if (!CreateDirectoryW(path.c_str(), nullptr)) return false;
  TPidl list = PathToPIDL(path);
  if (list) SHChangeNotify(SHCNE_MKDIR, SHCNF_IDLIST, list.get(), list.get());
  return true;
}

bool DiskInDrive(wchar_t driveLetter) {
  wchar_t upper = (driveLetter >= L'a' && driveLetter <= L'z') ? wchar_t(driveLetter - 32) : driveLetter;
  if (upper < L'A' || upper > L'Z') return false;
  wchar_t root[] = {upper, L':', L'\\', 0};
  UINT old = SetErrorMode(SEM_FAILCRITICALERRORS);
  ULARGE_INTEGER freeBytes;
  BOOL ok = GetDiskFreeSpaceExW(root, &freeBytes, nullptr, nullptr);
  SetErrorMode(old);
  return ok != FALSE;
}

std::wstring NewFolderNameW(const std::wstring& parent, const std::wstring& suggested) {
  std::wstring base = StripTrailingBackslashW<wchar_t>(parent, true) + L"\\";
  std::wstring candidate = base + (suggested.empty() ? L"New Folder" : suggested);
  // Any entry blocks the name: a file called "New Folder" would make the folder fail.
  for (int n = 1; FileExistsW(candidate); ++n) {
    if (n == 20) return {};
    candidate = base + L"New Folder (" + std::to_wstring(n) + L")";
  }
  return candidate;
}

namespace {
TWideMessageHook& MessageHook() {
  static TWideMessageHook hook;
  return hook;
}
}  // namespace

void SetWideMessageHook(TWideMessageHook hook) { MessageHook() = std::move(hook); }

void ShowWideMessage(HWND window, const std::wstring& caption, const std::wstring& text) {
  if (MessageHook()) {
    MessageHook()(window, caption, text);
    return;
  }
  MessageBoxW(window, text.c_str(), caption.c_str(), MB_ICONEXCLAMATION | MB_OK);
}

std::wstring StrRetToStr(STRRET& ret, LPCITEMIDLIST list) {
  switch (ret.uType) {
    case STRRET_WSTR: {
      std::wstring s = ret.pOleStr ? ret.pOleStr : L"";
      CoTaskMemFree(ret.pOleStr);
      ret.pOleStr = nullptr;
      return s;
    }
    case STRRET_OFFSET: {
      if (!list) return {};
      // The offset lies inside the item ID that answered; the ANSI text is
      // bounded by that item's bytes.
      auto item = PidlBytes(list);
      if (ret.uOffset >= item.size()) return {};
      const char* start = reinterpret_cast<const char*>(item.data()) + ret.uOffset;
      size_t most = item.size() - ret.uOffset;
      size_t n = strnlen(start, most);
      std::string ansi(start, n);
      int len = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(n), nullptr, 0);
      std::wstring out(static_cast<size_t>(len), L'\0');
      MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(n), out.data(), len);
      return out;
    }
    case STRRET_CSTR: {
      size_t n = strnlen(ret.cStr, sizeof ret.cStr);
      int len = MultiByteToWideChar(CP_ACP, 0, ret.cStr, static_cast<int>(n), nullptr, 0);
      std::wstring out(static_cast<size_t>(len), L'\0');
      MultiByteToWideChar(CP_ACP, 0, ret.cStr, static_cast<int>(n), out.data(), len);
      return out;
    }
    default:
      return {};
  }
}

int StrICompW(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()); }

wchar_t* StrLowerW(wchar_t* text) {
  if (text && *text) CharLowerBuffW(text, static_cast<DWORD>(wcslen(text)));
  return text;
}

wchar_t* StrUpperW(wchar_t* text) {
  if (text && *text) CharUpperBuffW(text, static_cast<DWORD>(wcslen(text)));
  return text;
}

std::wstring WideLowerCase(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring WideUpperCase(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

SIZE TextExtentW(const std::wstring& text, HFONT font) {
  SIZE size{0, 0};
  if (text.empty()) return size;
  struct ScreenDc {
    HDC dc = GetDC(nullptr);
    ~ScreenDc() { if (dc) ReleaseDC(nullptr, dc); }
  } screen;
  if (!screen.dc) return size;
  struct Selected {
    HDC dc;
    HGDIOBJ old;
    ~Selected() { SelectObject(dc, old); }
  } selected{screen.dc, SelectObject(screen.dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT))};
  return InternalTextExtentW(screen.dc, text);
}

SIZE InternalTextExtentW(HDC dc, const std::wstring& text) {
  SIZE size{0, 0};
  if (!GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size)) return SIZE{0, 0};
  return size;
}

namespace {
bool ReadVersion(OSVERSIONINFOW& info) {
  info = OSVERSIONINFOW{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExW(&info) != FALSE;
#pragma GCC diagnostic pop
}
}  // namespace

bool IsUnicodeVersion(DWORD platformId) { return platformId == VER_PLATFORM_WIN32_NT; }

bool IsUnicode() {
  OSVERSIONINFOW info;
  return ReadVersion(info) && IsUnicodeVersion(info.dwPlatformId);
}

bool IsWin95_SR1Version(DWORD platformId, DWORD major, DWORD minor, DWORD build) {
  return platformId == VER_PLATFORM_WIN32_WINDOWS && major == 4 && minor == 0 && (build & 0xFFFF) < 1081;
}

bool IsWin95_SR1() {
  OSVERSIONINFOW info;
  return ReadVersion(info) &&
         IsWin95_SR1Version(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
}

bool IsWinXPVersion(DWORD platformId, DWORD major, DWORD minor) {
  return platformId == VER_PLATFORM_WIN32_NT && major == 5 && minor > 0;
}

bool IsWinXP() {
  OSVERSIONINFOW info;
  if (!ReadVersion(info)) return false;
  return IsWinXPVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

wchar_t ThousandSeparator() {
  wchar_t buffer[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, buffer, 8) > 1) return buffer[0];
  return L',';
}

const std::array<std::wstring, 10>& DefaultDetailColumnTitles() {
  static const std::array<std::wstring, 10> titles = {L"Name", L"Size", L"Type", L"Modified", L"Attributes",
                                                       L"Created", L"Accessed", L"Path", L"DOS Name", L"Custom"};
  return titles;
}

const wchar_t* InvalidPathCaption() { return L"Invalid Path"; }

std::wstring InvalidPathText(const std::wstring& path) {
  return L"Windows can not find \"" + path + L"\" Please check the spelling and try again.";
}

}  // namespace kv
