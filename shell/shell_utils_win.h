#pragma once
// The Windows side of the wide-string and path routines: file-system tests,
// folder creation, new folder names, the shell's string records and the
// texts shared by the shell controls.
#include <windows.h>
#include <shlobj.h>

#include <array>
#include <functional>
#include <string>

namespace kv {

// The hourglass for the length of a command.
class WaitCursor {
 public:
  WaitCursor() : old_(SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)))) {}
  ~WaitCursor() { SetCursor(old_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR old_;
};

// The platform is Windows NT.
bool IsUnicode();
bool IsUnicodeVersion(DWORD platformId);
// The first service release of Windows 95: platform 1, version 4.0, build below 1081.
bool IsWin95_SR1();
bool IsWin95_SR1Version(DWORD platformId, DWORD major, DWORD minor, DWORD build);
// Windows XP or Server 2003: an NT platform of major version 5 and minor above 0.
bool IsWinXP();
bool IsWinXPVersion(DWORD platformId, DWORD major, DWORD minor);

// A find-first on the path succeeds (folders count too).
bool FileExistsW(const std::wstring& path);
// The attributes can be read and carry the directory flag.
bool DirExistsW(const std::wstring& path);
// The same for a zero-terminated text; an absent text gives false.
bool DirExistsW(const wchar_t* path);
// Creates the folder and tells the shell; answers success.
bool CreateDirW(const std::wstring& path);
// The drive's free space can be read; asks with the system's disk boxes off.
bool DiskInDrive(wchar_t driveLetter);
// The first of "New Folder" (or `suggested`), "New Folder (1)" .. "(19)"
// that is not an existing folder in `parent`; empty when all are taken.
std::wstring NewFolderNameW(const std::wstring& parent, const std::wstring& suggested = {});
// Exclamation box with an OK button; goes through the message hook when one is set.
void ShowWideMessage(HWND window, const std::wstring& caption, const std::wstring& text);
// Replaces the box (tests answer it themselves); an empty function restores it.
using TWideMessageHook = std::function<void(HWND, const std::wstring& caption, const std::wstring& text)>;
void SetWideMessageHook(TWideMessageHook hook);
// The text of a shell string record; a wide string in it is freed with the task allocator.
std::wstring StrRetToStr(STRRET& ret, LPCITEMIDLIST list);
int StrICompW(const std::wstring& a, const std::wstring& b);
// Convert a zero-terminated text in place and return it (absent stays absent).
wchar_t* StrLowerW(wchar_t* text);
wchar_t* StrUpperW(wchar_t* text);
std::wstring WideLowerCase(std::wstring text);
std::wstring WideUpperCase(std::wstring text);
// Width and height of `text` in `font` on the screen; (0, 0) for an empty text.
SIZE TextExtentW(const std::wstring& text, HFONT font);
// Measures `text` in the font selected into `dc`.
SIZE InternalTextExtentW(HDC dc, const std::wstring& text);
// The user's thousands separator.
wchar_t ThousandSeparator();

// The ten default detail-column titles.
const std::array<std::wstring, 10>& DefaultDetailColumnTitles();
// The invalid-path caption and text for `path`.
const wchar_t* InvalidPathCaption();
std::wstring InvalidPathText(const std::wstring& path);

}  // namespace kv
