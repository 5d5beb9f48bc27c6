#pragma once
// A bar between side by side aligned controls: dragging it changes the
// width of the control it follows. User-interface thread only.
#include <windows.h>

#include "ui/control_win.h"

namespace kv::ui {

// Aligned to the left (or the right) of its parent, after the control it
// resizes: the sibling aligned to the same side whose edge it touches.
class TSplitter : public TControl {
 public:
  TSplitter();
  const char* ClassName() const override { return "TSplitter"; }
  // Neither the resized control nor what is left beside it gets narrower.
  int MinSize() const { return minSize_; }
  void SetMinSize(int size) { minSize_ = size; }
  // The control a drag resizes now, or null.
  TControl* ResizedControl() const;

 protected:
  void WndProc(TMessage& m) override;

 private:
  int minSize_ = 30;
  TControl* control_ = nullptr;  // while dragging
  int downX_ = 0, startWidth_ = 0;
};

}  // namespace kv::ui
