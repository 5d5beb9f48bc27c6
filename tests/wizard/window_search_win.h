#pragma once
// Finds another program's windows: the top-level and child windows a
// predicate accepts. Free of the test framework, so benchmarks use it too.
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

}  // namespace kv::test
