#include "wizard/restorer_win.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "base/strings.h"
#include "foundation/settings_win.h"
#include "ui/forms_win.h"
#include "ui/graphics_win.h"
#include "ui/std_controls_win.h"

namespace kv {
namespace {

TConfiger& Store(TConfiger* store) {
  if (store) return *store;
  if (TConfiger* global = Configer()) return *global;
  throw std::logic_error("window geometry: no settings store");
}

// Labels and images draw on their parent in the layouts' terms; only the
// other controls have geometry of their own worth keeping.
bool IsWindowed(const ui::TControl& control) {
  return !dynamic_cast<const ui::TLabel*>(&control) && !dynamic_cast<const ui::TImage*>(&control);
}

bool Kept(const ui::TControl& control) { return IsWindowed(control) && !control.Name().empty(); }

// A child's stored size is only taken when its parent can hold it. A larger
// one (a hand-edited value, or one saved under another layout) would push
// the siblings out of sight, say a bottom panel covering the page and its
// buttons, and Save would write it back at exit, so it would stay for good.
bool Fits(int size, int room) { return size >= 0 && size <= room; }

// The controls below `parent` of which some part can be seen: visible and
// not cut away by the client areas they sit in. `clip` is the seen part of
// the parent's client area in its own coordinates.
void CollectShown(const ui::TControl& parent, const RECT& clip, std::vector<const ui::TControl*>& shown) {
  for (size_t i = 0; i < parent.ControlCount(); ++i) {
    const ui::TControl& child = *parent.Controls(i);
    if (!child.Visible()) continue;
    const ui::TBounds b = child.Bounds();
    const RECT r{b.left, b.top, b.left + b.width, b.top + b.height};
    RECT seen;
    if (!IntersectRect(&seen, &r, &clip)) continue;
    shown.push_back(&child);
    OffsetRect(&seen, -b.left, -b.top);
    const RECT client{0, 0, child.ClientWidth(), child.ClientHeight()};
    if (IntersectRect(&seen, &seen, &client)) CollectShown(child, seen, shown);
  }
}

std::vector<const ui::TControl*> Shown(const ui::TControl& parent) {
  std::vector<const ui::TControl*> shown;
  CollectShown(parent, RECT{0, 0, parent.ClientWidth(), parent.ClientHeight()}, shown);
  std::sort(shown.begin(), shown.end());
  return shown;
}

// Sets a child's stored size unless it would leave the child itself, or
// any control that showed beside or inside it, with nothing to show: a
// bottom panel that fits its parent can still squeeze the page above it to
// nothing, or, at 0, hide its own buttons, and Save would keep it so.
void SetSizeShowingAll(ui::TControl& control, const ui::TControl& parent, int size, bool height) {
  const int old = height ? control.Height() : control.Width();
  if (size == old || !Fits(size, height ? parent.ClientHeight() : parent.ClientWidth())) return;
  const std::vector<const ui::TControl*> before = Shown(parent);
  height ? control.SetHeight(size) : control.SetWidth(size);
  const std::vector<const ui::TControl*> after = Shown(parent);
  if (!std::includes(after.begin(), after.end(), before.begin(), before.end()))
    height ? control.SetHeight(old) : control.SetWidth(old);
}

// A restored form must be reachable: no smaller than its minimum size, no
// larger than the work area, and wholly inside the work area of the monitor
// nearest to where it was (a window saved on a larger screen would else keep
// its lower part, buttons and all, below the edge of a smaller one).
void MakeUsable(ui::TForm& form) {
  ui::TBounds b = form.Bounds();
  RECT wanted{b.left, b.top, b.left + std::max(b.width, 1), b.top + std::max(b.height, 1)};
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &info)) return;
  const RECT& work = info.rcWork;
  const int workWidth = work.right - work.left, workHeight = work.bottom - work.top;
  b.width = std::max(std::min(b.width, workWidth), form.MinWidth());
  b.height = std::max(std::min(b.height, workHeight), form.MinHeight());
  b.left = std::clamp(b.left, int(work.left), std::max(int(work.left), int(work.right) - b.width));
  b.top = std::clamp(b.top, int(work.top), std::max(int(work.top), int(work.bottom) - b.height));
  if (!(b == form.Bounds())) form.SetBounds(b.left, b.top, b.width, b.height);
}

}  // namespace

TGeometryFields SavedFields(const ui::TControl& control) {
  const ui::TAlign align = control.Align();
  const ui::TAnchors anchors = control.Anchors();
  const bool none = align == ui::TAlign::None;
  return {
      ((none || align == ui::TAlign::Top) && !(anchors & ui::akBottom)) || align == ui::TAlign::Bottom,
      ((none || align == ui::TAlign::Left) && !(anchors & ui::akRight)) || align == ui::TAlign::Right,
      none, none};
}

void Restore(ui::TControl& control, const std::string& key, TConfiger* store) {
  TConfiger& settings = Store(store);
  auto* form = dynamic_cast<ui::TForm*>(&control);
  if (form) form->SetWindowState(ui::TWindowState::Normal);
  const std::string value = settings.GetVal(kSizeAndPos, key);
  const TGeometryFields fields = SavedFields(control);
  const ui::TAnchors anchors = control.Anchors();
  const ui::TControl* parent = form ? nullptr : control.Parent();
  if (fields.height) {
    const int height = Extract(value, ",", 1, control.Height());
    if (parent)
      SetSizeShowingAll(control, *parent, height, true);
    else
      control.SetHeight(height);
  }
  if (fields.width) {
    const int width = Extract(value, ",", 2, control.Width());
    if (parent)
      SetSizeShowingAll(control, *parent, width, false);
    else
      control.SetWidth(width);
  }
  // A child's stored place is taken only where the child stays wholly inside
  // its parent: one below or beside the edge would be out of sight for good.
  if (fields.top && !(anchors & ui::akBottom)) {
    const int top = Extract(value, ",", 3, control.Top());
    if (!parent || Fits(top, parent->ClientHeight() - control.Height())) control.SetTop(top);
  }
  if (fields.left && !(anchors & ui::akRight)) {
    const int left = Extract(value, ",", 4, control.Left());
    if (!parent || Fits(left, parent->ClientWidth() - control.Width())) control.SetLeft(left);
  }
  if (form) {
    MakeUsable(*form);
    const int state = Extract(value, ",", 5, 0);
    form->SetWindowState(state == 2   ? ui::TWindowState::Maximized
                         : state == 1 ? ui::TWindowState::Minimized
                                      : ui::TWindowState::Normal);
  }
  for (size_t i = 0; i < control.ControlCount(); ++i) {
    ui::TControl& child = *control.Controls(i);
    if (Kept(child)) Restore(child, key + "." + child.Name(), &settings);
  }
}

void Save(ui::TControl& control, const std::string& key, TConfiger* store) {
  TConfiger& settings = Store(store);
  std::string value;
  const TGeometryFields fields = SavedFields(control);
  // A form's state is kept as the user left it, then the form is put back to
  // its normal state, so that the bounds saved are the normal ones. A hidden
  // form is not shown again for it.
  auto* form = dynamic_cast<ui::TForm*>(&control);
  const int state = form ? static_cast<int>(form->WindowState()) : 0;
  if (form) form->SetWindowState(ui::TWindowState::Normal);
  if (fields.height) value += std::to_string(control.Height());
  value += ",";
  if (fields.width) value += std::to_string(control.Width());
  value += ",";
  if (fields.top)
    value += std::to_string(control.Top()) + "," + std::to_string(control.Left()) + ",";
  else
    value += ",,";
  if (form) value += std::to_string(state) + ",";
  for (size_t i = 0; i < control.ControlCount(); ++i) {
    ui::TControl& child = *control.Controls(i);
    if (Kept(child) && child.Visible()) Save(child, key + "." + child.Name(), &settings);
  }
  settings.SetVal(kSizeAndPos, key, value);
  settings.Ini().UpdateFile();
}

}  // namespace kv
