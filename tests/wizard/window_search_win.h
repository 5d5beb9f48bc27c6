#pragma once
// Finds another program's windows: the top-level and child windows a
// predicate accepts; and keeps kelvarin.exe's windows unmanaged by Wine.
// Free of the test framework, so benchmarks use it too.
#include <windows.h>

#include <functional>

namespace kv::test {

// The visible top-level window of the process that accept takes, or null.
inline HWND FindTopWindowIf(DWORD processId, const std::function<bool(HWND)>& accept) {
  struct Search {
    DWORD pid;
    const std::function<bool(HWND)>& accept;
    HWND found;
  } search{processId, accept, nullptr};
  EnumWindows(
      [](HWND w, LPARAM p) noexcept -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == s->pid && IsWindowVisible(w) && s->accept(w)) {
          s->found = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The first (visible) child window that accept takes, or null.
inline HWND FindChildWindowIf(HWND parent, const std::function<bool(HWND)>& accept, bool visibleOnly = true) {
  struct Search {
    const std::function<bool(HWND)>& accept;
    bool visibleOnly;
    HWND found;
  } search{accept, visibleOnly, nullptr};
  EnumChildWindows(
      parent,
      [](HWND w, LPARAM p) noexcept -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        if ((!s->visibleOnly || IsWindowVisible(w)) && s->accept(w)) {
          s->found = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Whether Wine leaves the windows of kelvarin.exe started from now on
// unmanaged ("Managed"="N" in its AppDefaults): without a window manager it
// waits 2 s for every hidden managed window.
inline void LeaveProgramWindowsUnmanaged(bool on) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\kelvarin.exe\\X11 Driver", 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  if (on)
    RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), sizeof L"N");
  else
    RegDeleteValueW(key, L"Managed");
  RegCloseKey(key);
}

}  // namespace kv::test
