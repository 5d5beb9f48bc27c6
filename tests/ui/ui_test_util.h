#pragma once
// Helpers of the GUI tests: actions that run later from inside a message
// loop (how a test "clicks" while a modal window waits), screenshots, and
// the test forms built from the tests' own layouts.
#include <windows.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "ui/application_win.h"
#include "ui/forms_win.h"
#include "ui/graphics_win.h"
#include "ui/layout_loader_win.h"
#include "ui/save_dialog_win.h"
#include "ui/std_controls_win.h"
#include "ui/toolbar_win.h"

namespace kv::ui::test {

inline std::map<UINT_PTR, std::function<void()>>& PendingActions() {
  static std::map<UINT_PTR, std::function<void()>> actions;
  return actions;
}

// Runs action once, ms milliseconds from now, from whatever loop handles
// messages then. An exception goes to the application's handler.
inline void RunLater(UINT ms, std::function<void()> action) {
  auto proc = [](HWND, UINT, UINT_PTR id, DWORD) noexcept {
    KillTimer(nullptr, id);
    auto it = PendingActions().find(id);
    if (it == PendingActions().end()) return;
    std::function<void()> run = std::move(it->second);
    PendingActions().erase(it);
    Guarded([&] { run(); return 0; }, 0);
  };
  UINT_PTR id = SetTimer(nullptr, 0, ms, proc);
  PendingActions()[id] = std::move(action);
}

// Handles messages for about ms milliseconds.
inline void Pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  while (static_cast<int>(end - GetTickCount()) > 0) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    Application().ProcessMessages();
  }
}

// The visible form of class T, or null.
template <class T>
T* FindForm() {
  for (TForm* f : Application().Forms())
    if (auto* t = dynamic_cast<T*>(f); t && t->Visible()) return t;
  return nullptr;
}

// Clicks a button window as the user would (the control's own notification).
inline void ClickWindow(TControl& control) { SendMessageW(control.Handle(), BM_CLICK, 0, 0); }

// A key press sent to the window that has it.
inline void PressKey(HWND target, WPARAM key) {
  PostMessageW(target, WM_KEYDOWN, key, 0);
  PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

// Captures what the window shows (on top of whatever else shares the
// display, after `settle` ms of its painting) into a BMP under the build
// folder's screenshots.
inline TBitmap Screenshot(HWND window, const std::string& name, DWORD settle = 150) {
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
  Pump(settle);
  RECT r;
  GetWindowRect(window, &r);
  TBitmap shot;
  shot.CaptureScreen(r);
  const std::string folder = std::string(KV_TEST_BINARY_DIR) + "/screenshots";
  CreateDirectoryA(KV_TEST_BINARY_DIR, nullptr);  // a folder of the test's prefix may not exist yet
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string bmp = shot.ToBmpFile();
  std::ofstream(folder + "/" + name + ".bmp", std::ios::binary).write(bmp.data(), std::streamsize(bmp.size()));
  return shot;
}

inline TBitmap Screenshot(TForm& form, const std::string& name) { return Screenshot(form.Handle(), name); }

// The pixel of form's screenshot at point (x, y) of window's client area.
inline uint32_t PixelAt(const TBitmap& shot, TForm& form, HWND window, int x, int y) {
  POINT p{x, y};
  MapWindowPoints(window, nullptr, &p, 1);
  RECT r;
  GetWindowRect(form.Handle(), &r);
  return shot.Pixel(p.x - r.left, p.y - r.top);
}

// How many pixels of the control's area in the form's screenshot are dark
// (text, lines).
inline int DarkPixels(const TBitmap& shot, TForm& form, TControl& control) {
  RECT window, area;
  GetWindowRect(form.Handle(), &window);
  GetWindowRect(control.Handle(), &area);
  int dark = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) {
      const uint32_t px = shot.Pixel(x - window.left, y - window.top);
      dark += ((px >> 16) & 0xFF) + ((px >> 8) & 0xFF) + (px & 0xFF) < 200;
    }
  return dark;
}

inline void RegisterTestClasses();

// The tests' dialog and frame, built from their layouts.
class TTestDialog : public TForm {
 public:
  TTestDialog() {
    RegisterTestClasses();
    RegisterHandler("DialogCreate", &TTestDialog::DialogCreate);
    RegisterHandler("DialogCloseQuery", &TTestDialog::DialogCloseQuery);
    RegisterHandler("PlayClick", &TTestDialog::PlayClick);
    RegisterHandler("DigitsOnly", &TTestDialog::DigitsOnly);
    RegisterHandler("SomethingChanged", &TTestDialog::SomethingChanged);
    LoadLayout(*this, "test_dialog");
  }
  const char* ClassName() const override { return "TTestDialog"; }

  void DialogCreate(TComponent*) { ++created; }
  void DialogCloseQuery(TComponent*, bool& canClose) { canClose = allowClose; }
  void PlayClick(TComponent*) { ++plays; }
  void DigitsOnly(TComponent*, char& key) {
    if (key != 8 && (key < '0' || key > '9')) key = 0;
  }
  void SomethingChanged(TComponent* sender) { changes.push_back(sender->Name()); }

  int created = 0, plays = 0;
  bool allowClose = true;
  std::vector<std::string> changes;
};

class TTestFrame : public TFrame {
 public:
  TTestFrame() {
    RegisterTestClasses();
    LoadLayout(*this, "test_frame");
  }
  const char* ClassName() const override { return "TTestFrame"; }
};

inline void RegisterTestClasses() {
  static const bool once = [] {
    RegisterComponentClass<TTestDialog>("TTestDialog", "TForm");
    RegisterComponentClass<TTestFrame>("TTestFrame", "TFrame");
    return true;
  }();
  (void)once;
}

}  // namespace kv::ui::test
