#include "shell/wide_edit_win.h"

namespace kv {

void TCustomWideEdit::SelectText(int start, int end) {
  if (HWND hwnd = HandleIfAllocated()) PostMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(start), end);
}

}  // namespace kv
