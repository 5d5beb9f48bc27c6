#include "shell/wide_edit_win.h"

namespace kv {

std::wstring TCustomWideEdit::WideText() const {
  HWND hwnd = HandleIfAllocated();
  if (!hwnd) return pending_;
  int n = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  n = GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(static_cast<size_t>(n));
  return text;
}

void TCustomWideEdit::SetWideText(const std::wstring& text) {
  HWND hwnd = HandleIfAllocated();
  if (!hwnd) {
    pending_ = text;
    return;
  }
  SetWindowTextW(hwnd, text.c_str());
}

void TCustomWideEdit::SelectText(int start, int end) {
  if (HWND hwnd = HandleIfAllocated()) PostMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(start), end);
}

void TCustomWideEdit::InitHandle() {
  ui::TEdit::InitHandle();
  if (!pending_.empty()) {
    SetWindowTextW(HandleIfAllocated(), pending_.c_str());
    pending_.clear();
  }
}

}  // namespace kv
