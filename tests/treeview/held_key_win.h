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

}  // namespace kv::test
