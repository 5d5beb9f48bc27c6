#include "ui/splitter_win.h"

#include <windowsx.h>

#include <algorithm>

namespace kv::ui {

TSplitter::TSplitter() {
  SetBounds(0, 0, 3, 100);
  SetAlign(TAlign::Left);
  SetCursor(static_cast<int>(reinterpret_cast<ULONG_PTR>(IDC_SIZEWE)));
}

TControl* TSplitter::ResizedControl() const {
  TControl* parent = Parent();
  if (!parent || (Align() != TAlign::Left && Align() != TAlign::Right)) return nullptr;
  for (size_t i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (c == this || !c->Visible() || c->Align() != Align()) continue;
    const bool touches = Align() == TAlign::Left ? c->Left() + c->Width() == Left() : c->Left() == Left() + Width();
    if (touches) return c;
  }
  return nullptr;
}

void TSplitter::WndProc(TMessage& m) {
  switch (m.msg) {
    case WM_LBUTTONDOWN:
      control_ = ResizedControl();
      if (control_) {
        POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
        ClientToScreen(Handle(), &p);
        downX_ = p.x;
        startWidth_ = control_->Width();
        SetCapture(Handle());
      }
      m.result = 0;
      return;
    case WM_MOUSEMOVE:
      if (control_ && GetCapture() == HandleIfAllocated()) {
        POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
        ClientToScreen(Handle(), &p);
        const int delta = Align() == TAlign::Left ? p.x - downX_ : downX_ - p.x;
        // Room left beside: what the parent holds besides the two of them.
        const int room = Parent()->ClientWidth() - Width() - minSize_;
        int others = 0;
        for (size_t i = 0; i < Parent()->ControlCount(); ++i) {
          TControl* c = Parent()->Controls(i);
          if (c != this && c != control_ && c->Visible() && (c->Align() == TAlign::Left || c->Align() == TAlign::Right))
            others += c->Width();
        }
        const int width = std::max(minSize_, std::min(startWidth_ + delta, room - others));
        if (width != control_->Width()) control_->SetWidth(width);
      }
      m.result = 0;
      return;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (control_) {
        control_ = nullptr;
        if (m.msg == WM_LBUTTONUP && GetCapture() == HandleIfAllocated()) ReleaseCapture();
      }
      m.result = 0;
      return;
    default:
      break;
  }
  TControl::WndProc(m);
}

}  // namespace kv::ui
