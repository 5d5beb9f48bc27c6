#pragma once
// Drop-down windows: a borderless pop-up that rolls down below (or up above)
// an owner control and runs its own message loop while open, and the
// explorer drop-down that shows a shell folder tree in one.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "shell/explorer_tree_win.h"
#include "shell/owner_draw_scrollbar_win.h"
#include "ui/control_win.h"

namespace kv {

enum TPopupOption : uint32_t {
  poAnimated = 1u << 0, poEnabled = 1u << 1, poPersistentSizing = 1u << 2, poSizeable = 1u << 3,
  poRespectSysAnimationFlag = 1u << 4, poThemeAware = 1u << 5,
};
using TPopupOptions = uint32_t;
constexpr TPopupOptions kDefaultPopupOptions = poEnabled | poRespectSysAnimationFlag | poThemeAware;

enum TDropDownStateBit : uint32_t {
  dsDroppedDown = 1u << 0, dsOpenedAbove = 1u << 1, dsOpenedBelow = 1u << 2, dsOpenedBefore = 1u << 3,
  dsScrollingUp = 1u << 4, dsScrollingDown = 1u << 5, dsFastTimer = 1u << 6, dsSlowTimer = 1u << 7,
  dsRightToLeft = 1u << 8,
};

enum class TComboBoxStyle { cbsClassic, cbsExplorerEnhanced };

// The most rows a layout may ask a drop-down to show at once: far more than
// any screen holds, so a larger number can only be a damaged value.
constexpr int kMaxDropDownCount = 1000;

class TDropDownWnd;

// The sizing grip in a corner of a drop-down: a triangle over the corner of
// what lies under it; dragging it resizes the drop-down, the edge next to its
// owner staying where it is.
class TSizeGrabber : public ui::TControl {
 public:
  explicit TSizeGrabber(TDropDownWnd& dropDown);
  const char* ClassName() const override { return "TSizeGrabber"; }
  bool Themed() const { return themed_; }
  void SetThemed(bool value);
  // Cuts the window to the grip's triangle for the drop-down's current corner.
  void UpdateShape();

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitHandle() override;
  void WndProc(ui::TMessage& m) override;

 private:
  void Paint(HDC dc);
  void Drag();
  TDropDownWnd& dropDown_;
  bool themed_ = true;
  bool dragging_ = false;
  POINT start_{};
  RECT startRect_{};
};

class TDropDownWnd : public ui::TControl {
 public:
  TDropDownWnd();
  ~TDropDownWnd() override;
  const char* ClassName() const override { return "TDropDownWnd"; }

  // Opens below (or above) `owner`, placed at `positionControl` (the owner
  // when null), `size` wide and high when given; returns when rolled up.
  void RollDown(ui::TControl* owner, ui::TControl* positionControl = nullptr, const SIZE* size = nullptr);
  void RollUp(bool selected);
  bool DroppedDown() const { return state_ & dsDroppedDown; }
  uint32_t State() const { return state_; }

  TPopupOptions PopupOptions() const { return options_; }
  virtual void SetPopupOptions(TPopupOptions options);
  int DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int count) { dropDownCount_ = count; }
  // The height of `rows` rows and the sizing frame, without overflow: at most
  // INT_MAX (placing the window keeps it on the screen).
  int HeightForRows(int64_t rows) const;
  UINT RollTime() const { return rollTime_; }
  void SetRollTime(UINT ms) { rollTime_ = ms; }
  UINT ScrollTimeSlow() const { return scrollTimeSlow_; }
  void SetScrollTimeSlow(UINT ms) { scrollTimeSlow_ = ms; }
  UINT ScrollTimeFast() const { return scrollTimeFast_; }
  void SetScrollTimeFast(UINT ms) { scrollTimeFast_ = ms; }
  virtual int RowHeight() const { return 17; }
  ui::TControl* OwnerControl() const { return owner_; }
  ui::TControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(ui::TControl* control) { focusControl_ = control; }
  TOwnerDrawScrollbar& Scrollbar() { return *scrollbar_; }
  TSizeGrabber& Grabber() { return *grabber_; }
  // The window's client area (the pop-up has a border).
  int ClientWidth() const override;
  int ClientHeight() const override;

  std::function<void(TDropDownWnd&)> OnRollDown;
  std::function<void(TDropDownWnd&, bool selected)> OnRollUp;

  // Places and sizes the window for the owner (see RollDown).
  void AutoPositionPopup(ui::TControl* positionControl, const SIZE* size);
  // Auto-scroll ticks: up or down, every fast or slow interval.
  void ScrollTimerCreate(bool up, bool fast);
  void ScrollTimerStop();

  // A key or character message fetched by the loop; true when handled.
  virtual bool KeyPressDispatch(MSG& msg);
  // Lays out the children for a client area of width x height; the plain
  // drop-down has none to place.
  virtual void RealignChildWindows(int width, int height);
  virtual void RefreshScrollbar() {}
  // Whether a button press at `screen` on `window` stays inside the drop-down.
  virtual bool AllowClickInWindow(HWND window, POINT screen);
  // A press on the drop-down's own client area (or a child within it) stays inside.
  bool InClientArea(HWND window, POINT screen) const;

 protected:
  virtual bool DoRollDownInit() { return true; }
  virtual void DoRollDown();
  virtual void DoRollUp(bool selected);
  // One auto-scroll step.
  virtual void DoAutoScroll(bool /*up*/) {}
  void CreateParams(TCreateParams& params) override;
  void WndProc(ui::TMessage& m) override;
  void AnimateRollDown();
  void DropDownMessageLoop();
  // Puts the size grip (shown with poSizeable) in the corner away from the owner.
  void AlignSizeGrip(int width, int height);

 private:
  friend class TSizeGrabber;
  // Resizes to `r` (screen) from a grip drag, no smaller than the grip.
  void SizeFromGrip(RECT r);
  uint32_t state_ = 0;
  TPopupOptions options_ = kDefaultPopupOptions;
  int dropDownCount_ = 8;
  UINT rollTime_ = 200, scrollTimeSlow_ = 200, scrollTimeFast_ = 10;
  static constexpr UINT_PTR kScrollTimer = 1;
  ui::TControl* owner_ = nullptr;
  ui::TControl* focusControl_ = nullptr;
  HWND ownerWindow_ = nullptr;  // the owner's top-level window, the pop-up's owner
  TOwnerDrawScrollbar* scrollbar_ = nullptr;
  TSizeGrabber* grabber_ = nullptr;
};

// A drop-down showing one tree, with the owner-drawn scroll bar beside it
// while the tree is higher than its window.
class TTreeDropDownWnd : public TDropDownWnd {
 public:
  const char* ClassName() const override { return "TTreeDropDownWnd"; }
  void SetPopupOptions(TPopupOptions options) override;
  void RealignChildWindows(int width, int height) override;
  void RefreshScrollbar() override;
  bool AllowClickInWindow(HWND window, POINT screen) override;
  // The node under (x, y) of `tree` becomes its focused and selected node.
  static void HotTrack(TBaseLazyTree& tree, int x, int y);

 protected:
  void SetTree(TBaseLazyTree& tree) { tree_ = &tree; }
  // A navigation key: to the tree, or, without a focused node, the first node.
  void NavigateTree(const MSG& msg, WPARAM key);
  void WndProc(ui::TMessage& m) override;

 private:
  TBaseLazyTree* tree_ = nullptr;
};

class TPopupExplorerDropDown;

// The explorer drop-down's folder tree.
class TPopupExplorerTree : public TCustomLazyExplorerTree {
 public:
  explicit TPopupExplorerTree(TPopupExplorerDropDown& dropDown);
  ~TPopupExplorerTree() override { DestroyNodes(); }
  const char* ClassName() const override { return "TPopupExplorerTree"; }
  TPopupExplorerDropDown& DropDown() const { return dropDown_; }

 protected:
  void WndProc(ui::TMessage& m) override;
  void DoExpanded(PLazyNode node) override;
  void DoCollapsed(PLazyNode node) override;
  void DoGetText(PLazyNode node, TColumnIndex column, TLSTTextType type, std::wstring& text) override;

 private:
  void MouseMove(int x, int y);
  TPopupExplorerDropDown& dropDown_;
};

class TPopupExplorerDropDown : public TTreeDropDownWnd {
 public:
  TPopupExplorerDropDown();
  ~TPopupExplorerDropDown() override;
  const char* ClassName() const override { return "TPopupExplorerDropDown"; }

  TPopupExplorerTree& ExplorerTree();
  TComboBoxStyle ComboBoxStyle() const { return style_; }
  void SetComboBoxStyle(TComboBoxStyle style);
  // The folder to show selected when it opens (copied); null: the desktop.
  // The item the tree opens on, whether to expand it and whether to select it.
  void SetSelectPIDL(LPCITEMIDLIST pidl, bool expand, bool select = true);
  LPCITEMIDLIST SelectPIDL() const { return selectPIDL_.get(); }

  // A folder the tree may list; the application's filter is asked last.
  std::function<void(TCustomLazyExplorerTree&, TNamespace&, bool& allow)> OnEnumFolder;
  // Rolling up selected hands the focused folder here (the combo box).
  std::function<void(TNamespace& folder)> OnFolderSelected;

  bool KeyPressDispatch(MSG& msg) override;

 protected:
  virtual std::unique_ptr<TPopupExplorerTree> CreatePopupExplorerTree();
  bool DoRollDownInit() override;
  void DoRollDown() override;
  void DoRollUp(bool selected) override;
  void DoAutoScroll(bool up) override;

 private:
  friend class TPopupExplorerTree;
  void FilterFolder(TCustomLazyExplorerTree& tree, TNamespace& folder, bool& allow);
  TPopupExplorerTree* tree_ = nullptr;
  TComboBoxStyle style_ = TComboBoxStyle::cbsClassic;
  TPidl selectPIDL_;
  bool expandToSelect_ = true;
  bool selectTarget_ = true;
};

// Posted to a drop-down to bring its scroll bar up to date.
constexpr UINT WM_REFRESHSCROLLBAR = WM_APP + 0x61;

}  // namespace kv
