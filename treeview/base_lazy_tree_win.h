#pragma once
// The window half of the lazy tree control: TBaseLazyTree is a control of the
// GUI layer with a window class of its own, and the node model underneath.
// It answers the model's window hooks (invalidation, timers, update locking,
// scroll bars, the toggle animation, the worker's state reports) and the
// window messages the tree handles itself (scrolling, sizing, the tree-view
// protocol for accessibility tools). Painting of nodes arrives later; until
// then the window paints its background.

#include <windows.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "treeview/lazy_tree_model.h"
#include "ui/control_win.h"

namespace kv {

// Sent by the cache worker to a tree's window: the word parameter holds the
// states to enter, the long parameter those to leave (1 stop validation,
// 2 use cache, 4 validating, 8 validation needed). Answered 1.
inline constexpr UINT WM_CHANGESTATE = WM_APP + 0x20;

enum class TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
enum class TTreeBorderStyle : std::uint8_t { bsNone, bsSingle };

class TBaseLazyTree;

// Scroll bar settings; changing which bars exist remakes the window.
class TScrollBarOptions {
 public:
  explicit TScrollBarOptions(TBaseLazyTree& owner) : owner_(owner) {}
  bool AlwaysVisible() const { return alwaysVisible_; }
  void SetAlwaysVisible(bool value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);
  unsigned HorizontalIncrement() const;
  void SetHorizontalIncrement(unsigned value);
  unsigned VerticalIncrement() const;
  void SetVerticalIncrement(unsigned value);
  void Assign(const TScrollBarOptions& source);

 private:
  TBaseLazyTree& owner_;
  bool alwaysVisible_ = false;
  TScrollStyle scrollBars_ = TScrollStyle::ssBoth;
};

// The tree's fifteen colours, by index.
class TLTColors {
 public:
  enum Index {
    DisabledColor, DropMarkColor, DropTargetColor, FocusedSelectionColor, GridLineColor,
    TreeLineColor, UnfocusedSelectionColor, BorderColor, HotColor, FocusedSelectionBorderColor,
    UnfocusedSelectionBorderColor, DropTargetBorderColor, SelectionRectangleBlendColor,
    SelectionRectangleBorderColor, HeaderHotColor, kCount
  };
  explicit TLTColors(TBaseLazyTree& owner);
  ui::TColor Color(Index index) const { return colors_[index]; }
  void SetColor(Index index, ui::TColor value);
  void Assign(const TLTColors& source);

 private:
  TBaseLazyTree& owner_;
  std::array<ui::TColor, kCount> colors_;
};

class TBaseLazyTree : public ui::TControl, public TLazyTreeModel {
 public:
  explicit TBaseLazyTree(std::unique_ptr<TCustomLazyTreeOptions> options = nullptr);
  ~TBaseLazyTree() override;
  const char* ClassName() const override { return "TBaseLazyTree"; }

  // Both bases name a Visible: the control's and a node's.
  using TControl::Visible;
  using TLazyTreeModel::Visible;

  unsigned AutoExpandDelay() const { return autoExpandDelay_; }
  void SetAutoExpandDelay(unsigned ms) { autoExpandDelay_ = ms; }
  TTreeBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TTreeBorderStyle style);
  int TextMargin() const { return textMargin_; }
  void SetTextMargin(int margin);
  void SetIndentAndRepaint(unsigned indent);
  void SetMarginAndRepaint(int margin);
  unsigned SelectionCurveRadius() const { return selectionCurveRadius_; }
  void SetSelectionCurveRadius(unsigned radius);
  std::uint8_t SelectionBlendFactor() const { return selectionBlendFactor_; }
  void SetSelectionBlendFactor(std::uint8_t factor) { selectionBlendFactor_ = factor; }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool value) { wantTabs_ = value; }
  TScrollBarOptions& ScrollBarOptions() { return scrollBarOptions_; }
  TLTColors& Colors() { return colors_; }
  // While a layout loads, the count is kept and the nodes are made by Loaded.
  void SetRootNodeCountLoading(std::uint32_t count);
  // The older single option set of stored layouts, by element name ("vo...").
  void ReadOldOptions(const std::vector<std::string>& names);
  void Loaded() override;

  // Copies the published settings of another tree; the nodes are not copied,
  // this tree gets as many new top-level nodes as the other has.
  void Assign(TBaseLazyTree& source);
  // Remakes the window (styles a live window cannot take).
  void RecreateWindow() { RecreateHandle(); }
  // The class style of the current window (0 without one).
  UINT_PTR WindowClassStyle() const;

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitHandle() override;
  void WndProc(ui::TMessage& m) override;
  void FontChanged() override;
  // The main column's text for the tree-view protocol (string trees answer it).
  virtual std::string ItemText(PLazyNode /*node*/) { return {}; }
  // Drop target registration (the drag manager arrives later).
  virtual void RegisterDropTarget() {}
  virtual void RevokeDropTarget() {}

  // Window hooks of the model.
  bool HasWindow() const override { return HandleAllocated(); }
  bool Destroying() const override { return TLazyTreeModel::Destroying() || destroyingWindow_; }
  void InvalidateClientRect(const TLazyRect* rect) override;
  void RedrawRectNow(const TLazyRect& rect) override;
  void SetUpdateState(bool updating) override;
  bool StartTimer(unsigned id, unsigned ms) override;
  void StopTimer(unsigned id) override;
  void ScrollClient(int dx, int dy, const TLazyRect* clip) override;
  void ApplyScrollBars(bool repaint) override;
  bool MouseButtonHeld() const override;
  bool PointOverTree(int x, int y) const override;
  void AnimateToggle(PLazyNode node, bool expanding, int distance) override;
  void WorkerStateChange(unsigned enter, unsigned leave) override;
  void WaitForWorker() override;
  void OptionsChanged(TLTOptionSet which, std::uint32_t oldValue, std::uint32_t newValue) override;

 private:
  friend class TScrollBarOptions;
  friend class TLTColors;
  bool HandleScroll(ui::TMessage& m, bool vertical);
  void DoTimerScroll();
  void HandleSize();
  LRESULT TreeViewMessage(UINT msg, WPARAM w, LPARAM l);
  void Paint();
  void UpdateBar(int bar, std::uint32_t range, int page, int offset);

  TScrollBarOptions scrollBarOptions_{*this};
  TLTColors colors_{*this};
  // The window the worker reports to; written on this thread, read by the worker.
  std::atomic<HWND> workerTarget_{nullptr};
  unsigned autoExpandDelay_ = 1000;
  TTreeBorderStyle borderStyle_ = TTreeBorderStyle::bsSingle;
  int textMargin_ = 4;
  unsigned selectionCurveRadius_ = 0;
  std::uint8_t selectionBlendFactor_ = 128;
  bool wantTabs_ = false;
  bool destroyingWindow_ = false;
  std::uint32_t pendingRootCount_ = 0;
};

// Once per process, from the first tree: OLE, the tree's clipboard format,
// the millisecond timer resolution. Released at exit.
void InitializeGlobalStructures();

// Adds TLazyDrawTree and TLazyStringTree with their properties to the layout
// class registry (idempotent; the program calls it before loading layouts).
void RegisterLazyTreeClasses();

}  // namespace kv
