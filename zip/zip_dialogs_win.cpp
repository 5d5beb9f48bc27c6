// The zip components' boxes and dialogs on Windows: message boxes, the
// open-file dialog and the folder browser, each owned by the active window.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "zip/zip_dialogs.h"

namespace kv {

namespace {

// Starts the folder browser in the folder given as lParam.
int CALLBACK BrowseStart(HWND wnd, UINT msg, LPARAM, LPARAM data) noexcept {
  if (msg == BFFM_INITIALIZED && data != 0) SendMessageA(wnd, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

TZipDialogAnswer OpenFile(const TZipDialog& d, HWND owner) {
  std::vector<char> filter(d.filter.begin(), d.filter.end());
  for (char& c : filter)
    if (c == '|') c = '\0';
  filter.insert(filter.end(), 2, '\0');
  std::vector<char> file(MAX_PATH + 1, '\0');
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.data();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrInitialDir = d.initialDir.empty() ? nullptr : d.initialDir.c_str();
  ofn.lpstrTitle = d.caption.c_str();
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameA(&ofn)) return {};
  return {true, file.data()};
}

TZipDialogAnswer BrowseFolder(const TZipDialog& d, HWND owner) {
  std::vector<char> display(MAX_PATH + 1, '\0');
  BROWSEINFOA bi{};
  bi.hwndOwner = owner;
  bi.pszDisplayName = display.data();
  bi.lpszTitle = d.caption.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  bi.lpfn = &BrowseStart;
  bi.lParam = reinterpret_cast<LPARAM>(d.initialDir.c_str());
  PIDLIST_ABSOLUTE pidl = SHBrowseForFolderA(&bi);
  if (pidl == nullptr) return {};
  std::vector<char> path(MAX_PATH + 1, '\0');
  const bool got = SHGetPathFromIDListA(pidl, path.data()) != FALSE;
  CoTaskMemFree(pidl);
  if (!got) return {};
  return {true, path.data()};
}

}  // namespace

TZipDialogAnswer SystemZipDialog(const TZipDialog& d) {
  const HWND owner = GetActiveWindow();
  switch (d.kind) {
    case TZipDialogKind::Message:
      MessageBoxA(owner, d.text.c_str(), d.caption.c_str(), MB_OK | MB_ICONERROR);
      return {true, {}};
    case TZipDialogKind::OkCancel:
      return {MessageBoxA(owner, d.text.c_str(), d.caption.c_str(), MB_OKCANCEL | MB_ICONINFORMATION) == IDOK, {}};
    case TZipDialogKind::YesNo:
      return {MessageBoxA(owner, d.text.c_str(), d.caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES, {}};
    case TZipDialogKind::OpenFile: return OpenFile(d, owner);
    case TZipDialogKind::BrowseFolder: return BrowseFolder(d, owner);
  }
  return {};
}

THourglassCursor::THourglassCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}

THourglassCursor::~THourglassCursor() { SetCursor(static_cast<HCURSOR>(previous_)); }

TNormalCursor::TNormalCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_ARROW))) {}

TNormalCursor::~TNormalCursor() { SetCursor(static_cast<HCURSOR>(previous_)); }

void ProcessPendingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the caller's loop
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace kv
