#pragma once
// Holds a key down through the input queue, so GetKeyState agrees with the
// messages the tree gets.
#include <windows.h>

namespace kv::test {

class HeldKey {
 public:
  explicit HeldKey(WORD key) : key_(key) { Send(0); }
  ~HeldKey() { Send(KEYEVENTF_KEYUP); }
  HeldKey(const HeldKey&) = delete;
  HeldKey& operator=(const HeldKey&) = delete;

 private:
  void Send(DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key_;
    input.ki.dwFlags = flags;
    SendInput(1, &input, sizeof input);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  WORD key_;
};

// Holds a key in the thread's key state only, as GetKeyState reads it, with
// no input messages: Alt pressed and released through the input queue with
// no other key between would enter the window menu.
class KeyStateHeld {
 public:
  explicit KeyStateHeld(BYTE key) {
    GetKeyboardState(saved_);
    BYTE keys[256];
    for (int i = 0; i < 256; ++i) keys[i] = saved_[i];
    keys[key] = 0x80;
    SetKeyboardState(keys);
  }
  ~KeyStateHeld() { SetKeyboardState(saved_); }
  KeyStateHeld(const KeyStateHeld&) = delete;
  KeyStateHeld& operator=(const KeyStateHeld&) = delete;

 private:
  BYTE saved_[256]{};
};

// Real mouse input, for drags the tree starts itself: OLE's drag loop reads
// the cursor and the buttons, not the messages.
inline void MouseTo(POINT p) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(p.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = MulDiv(p.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}

inline void LeftButton(bool down) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof input);
}

}  // namespace kv::test
