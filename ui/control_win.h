#pragma once
// Controls: components with a parent, children, bounds, alignment, anchors,
// font, colour and a window. Every control is a real window; its handle is
// made once its parent has one and its state lives in fields meanwhile, so a
// layout can set properties in any order.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/align.h"
#include "ui/component.h"
#include "ui/gdi_win.h"

namespace kv::ui {

// An RGB value (0x00BBGGRR) or, with the top bit, a system colour index.
using TColor = uint32_t;
constexpr TColor kSysColor = 0x80000000u;
constexpr TColor clNone = 0x1FFFFFFFu;
constexpr TColor clBtnFace = kSysColor | COLOR_BTNFACE, clWindow = kSysColor | COLOR_WINDOW,
                 clWindowText = kSysColor | COLOR_WINDOWTEXT, clInfoBk = kSysColor | COLOR_INFOBK,
                 clHighlight = kSysColor | COLOR_HIGHLIGHT, clBtnText = kSysColor | COLOR_BTNTEXT,
                 clGrayText = kSysColor | COLOR_GRAYTEXT;
constexpr TColor clBlack = 0x000000, clWhite = 0xFFFFFF, clMaroon = 0x000080, clRed = 0x0000FF,
                 clBlue = 0xFF0000, clNavy = 0x800000, clGreen = 0x008000, clSilver = 0xC0C0C0,
                 clGray = 0x808080;
COLORREF ColorToRGB(TColor color);

struct TFontSpec {
  std::string name = "MS Shell Dlg 2";
  int height = -11;  // pixels; negative: character height without internal leading
  bool bold = false, italic = false, underline = false;
  TColor color = clWindowText;
  bool operator==(const TFontSpec&) const = default;
};
// Point size -> negative pixel height on the screen.
int FontHeightFromPoints(int points);
// A font object for the spec.
[[nodiscard]] FontObject MakeFont(const TFontSpec& spec);

// Messages between components, sent to window methods rather than windows.
constexpr UINT CM_BASE = 0xB000;
// To a form's window method when a control joins (lParam 1) or leaves (0)
// the controls under it; wParam is the control.
constexpr UINT CM_CONTROLLISTCHANGE = CM_BASE + 44;
// A control answering non-zero is never subclassed by the theme manager.
constexpr UINT CM_DENYSUBCLASSING = CM_BASE + 2000;
// To a control's window method after its own colour or font changed.
constexpr UINT CM_COLORCHANGED = CM_BASE + 13;
constexpr UINT CM_FONTCHANGED = CM_BASE + 14;
// To every control of a form when the system colours changed (Windows tells
// only top-level windows, WM_SYSCOLORCHANGE).
constexpr UINT CM_SYSCOLORCHANGE = CM_BASE + 37;
// To a control's window method after SetWideText changed its window's text.
constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;

// Notifications a parent hands back to the child control they came from, so
// that the child's window method (or whoever replaced it) answers them. A
// child's default handling answers as the parent used to; what it leaves
// unanswered goes to the parent's default handler with the original message.
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;
constexpr UINT CN_KEYDOWN = CN_BASE + WM_KEYDOWN;
constexpr UINT CN_CTLCOLORMSGBOX = CN_BASE + WM_CTLCOLORMSGBOX,
               CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT,
               CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX,
               CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN, CN_CTLCOLORDLG = CN_BASE + WM_CTLCOLORDLG,
               CN_CTLCOLORSCROLLBAR = CN_BASE + WM_CTLCOLORSCROLLBAR,
               CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;

struct TMessage {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
};
using TWndMethod = std::function<void(TMessage&)>;

class TForm;
class TBasicAction;

class TControl : public TComponent {
 public:
  TControl();
  ~TControl() override;
  const char* ClassName() const override { return "TControl"; }

  TControl* Parent() const { return parent_; }
  void SetParent(TControl* parent);
  void SetParentComponent(TComponent* parent) override;
  size_t ControlCount() const { return children_.size(); }
  TControl* Controls(size_t index) const { return children_.at(index); }
  // The form this control sits on (itself for a form), or null.
  TForm* ParentForm();

  int Left() const { return bounds_.left; }
  int Top() const { return bounds_.top; }
  int Width() const { return bounds_.width; }
  int Height() const { return bounds_.height; }
  TBounds Bounds() const { return bounds_; }
  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
  void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
  void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
  void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }
  virtual int ClientWidth() const { return bounds_.width; }
  virtual int ClientHeight() const { return bounds_.height; }
  virtual void SetClientWidth(int v) { SetWidth(v); }
  virtual void SetClientHeight(int v) { SetHeight(v); }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors anchors);
  int MinWidth() const { return minWidth_; }
  int MinHeight() const { return minHeight_; }
  void SetMinSize(int width, int height);

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  // Whether Tab stops at the control; unset keeps what its class chooses.
  void SetTabStop(bool on);
  std::optional<bool> TabStop() const { return tabStop_; }
  // The control's place in its parent's Tab sequence, from 0; -1 without a
  // parent. A place out of range moves it to the end.
  int TabOrder() const;
  void SetTabOrder(int order);
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint);
  // Whether the control's hint is shown; while ParentShowHint is on (the
  // default) it is the parent's setting. Setting ShowHint turns that off.
  bool ShowHint() const;
  void SetShowHint(bool on);
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool on);
  // The context F1 shows help for; 0: none of its own (the parent's applies).
  unsigned HelpContext() const { return helpContext_; }
  void SetHelpContext(unsigned context) { helpContext_ = context; }
  // A system cursor id (IDC_HAND...) as a number; 0 keeps the class cursor.
  int Cursor() const { return cursor_; }
  void SetCursor(int cursorId) { cursor_ = cursorId; }
  const TFontSpec& Font() const;
  bool OwnFont() const { return ownFont_; }  // false: the parent's
  bool ParentFont() const { return !ownFont_; }
  // On: the parent's font from now on. Off: the font in use becomes the
  // control's own.
  void SetParentFont(bool on);
  void SetFont(const TFontSpec& font);
  HFONT FontHandle() const;
  TColor Color() const;
  void SetColor(TColor color);
  bool ParentColor() const { return color_ == clNone; }
  // The brush the control's background is painted with.
  HBRUSH BackgroundBrush() const;

  // Caption and Text are the window text.
  virtual std::string Text() const;
  virtual void SetText(const std::string& text);
  std::string Caption() const { return Text(); }
  void SetCaption(const std::string& text) { SetText(text); }
  // The window text as it stands, also where the ANSI code page lacks
  // characters of it (file names).
  std::wstring WideText() const;
  // Sets the text through SetText (so a control's own handling runs) and
  // then, when the code page cannot hold it, the exact text itself. With a
  // window whose text this changed, CM_TEXTCHANGED follows. Without a window
  // the exact text is kept until SetText replaces it.
  void SetWideText(const std::wstring& text);

  TNotifyEvent OnClick, OnDblClick;
  virtual void Click();
  // An action aimed at this control (the focused one, for the standard
  // edit actions): true when the control carried it out, or decided its
  // Enabled. A control that knows no actions declines.
  virtual bool ExecuteAction(TBasicAction& /*action*/) { return false; }
  virtual bool UpdateAction(TBasicAction& /*action*/) { return false; }

  HWND Handle();  // makes the window when it can; null while no ancestor has one
  HWND HandleIfAllocated() const { return hwnd_; }
  bool HandleAllocated() const { return hwnd_ != nullptr; }
  // The current window method; the default runs WndProc. A replacement
  // usually keeps the old one and calls it for what it does not handle.
  TWndMethod WindowProc() const;
  void SetWindowProc(TWndMethod method) { windowProc_ = std::move(method); }
  // What the window class does with the message (for a subclassed system
  // control its own procedure, for the layer's classes DefWindowProcW).
  void DefaultHandler(TMessage& m);
  // Marks the whole window for painting; Update paints what is marked now;
  // Repaint (Refresh) does both, children included.
  void Invalidate();
  void Update();
  void Repaint();
  void Refresh() { Repaint(); }
  // Lays out the aligned and anchored children for the current client size.
  void Realign();
  // The control of a window made by this layer, or null.
  static TControl* FromHandle(HWND hwnd);
  // Hands a message to the control's current window method (no window needed).
  LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // Performs the message on every control below this one, depth first.
  void BroadcastToControls(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

  bool GetTextProperty(std::string_view name, std::string& value) const override;
  bool SetTextProperty(std::string_view name, const std::string& value) override;
  // Anchored children take their origin from the finished layout.
  void Loaded() override;

 protected:
  // After SetWideText put an exact text in place (a label sizes itself to it).
  virtual void TextChanged() {}
  // Puts SetWideText's exact text into the window (an edit keeps its change
  // notification quiet, as for SetText).
  virtual void PutWindowText(const std::wstring& text);
  // False for controls whose window text is the user's data, not a caption
  // (edits, memos): their text is "Text" only and never translated.
  virtual bool HasCaption() const { return true; }
  struct TCreateParams {
    std::wstring className;
    DWORD style = 0, exStyle = 0;
    HWND parent = nullptr;
  };
  virtual void CreateParams(TCreateParams& params);
  // Makes the window now (the parent has one) and the children's.
  virtual void CreateHandle();
  // Puts the control's own state into a freshly made window.
  virtual void InitHandle() {}
  virtual void WndProc(TMessage& m);
  // Notifications reflected by the parent.
  virtual void CommandNotify(WORD /*code*/) {}
  virtual void CommandIdNotify(WORD /*id*/, WORD code) { CommandNotify(code); }
  virtual bool NotifyNotify(NMHDR* /*header*/, LRESULT& /*result*/) { return false; }
  virtual void ScrollNotify(WORD /*code*/) {}
  // True for system controls whose window tells of its clicks itself
  // (BN_CLICKED, STN_CLICKED); every other control clicks on a press and
  // release of the left button inside it.
  virtual bool ReportsOwnClicks() const { return false; }
  // Colours a child static, button or edit; null leaves it to the system.
  virtual HBRUSH CtlColor(HDC dc);
  // The rectangle children are aligned in.
  virtual TBounds AlignRect() const { return {0, 0, ClientWidth(), ClientHeight()}; }
  // Bounds changed by layout, not by the program: anchors keep their origin.
  virtual void SetBoundsInternal(const TBounds& bounds);
  // Moves the window to bounds_.
  virtual void ApplyBounds();
  // The window's own rectangle for bounds_ (a combo box adds its list).
  virtual TBounds WindowBounds() const { return bounds_; }
  void RecordAnchorOrigin();
  void DestroyHandle();
  // Makes the window anew (styles that a live window cannot take); the
  // window text and the children come along.
  void RecreateHandle();
  // The visibility a control starts with (forms start hidden).
  void InitVisible(bool visible) { visible_ = visible; }
  void UpdateStyle(DWORD add, DWORD remove);
  virtual void FontChanged();
  // The shown-hint setting in effect changed (its own or its parent's): the
  // form's tooltip takes the control's hint or lets it go.
  virtual void ShowHintChanged();
  TControl* Parent_() const { return parent_; }

  TBounds bounds_;
  std::string text_;
  std::wstring wideText_;  // the exact text when text_ lost characters of it; else empty

 private:
  friend const wchar_t* RegisterOwnWindowClass(const wchar_t* name, UINT style);
  // The procedure of the layer's own classes: the control comes with
  // CreateWindowExW and is bound from WM_NCCREATE to WM_NCDESTROY.
  static LRESULT CALLBACK ClassProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) noexcept;
  // System controls are subclassed once made.
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l, UINT_PTR id,
                                       DWORD_PTR data) noexcept;
  static bool IsOwnClass(const std::wstring& className);
  void Bind(HWND hwnd);
  void Unbind(HWND hwnd);
  void Dispatch(TMessage& m);
  // Hands a notification of a child control to that child as CN_*.
  void Reflect(TControl& child, TMessage& m);
  // A reflected message the child left unanswered: the receiving parent's
  // default handler with the original message.
  void ReflectedDefault(TMessage& m);
  void SaveWindowText();
  // CM_CONTROLLISTCHANGE to the form under which `parent` sits.
  void NotifyControlListChange(TControl* parent, bool inserting);
  // The children's windows in Tab order (the dialog manager follows the
  // windows' order).
  void ArrangeTabOrder();
  void PropagateShowHint();

  HWND hwnd_ = nullptr;
  TControl* parent_ = nullptr;
  std::vector<TControl*> children_;
  std::vector<TControl*> tabList_;  // the children in Tab order
  TAlign align_ = TAlign::None;
  TAnchors anchors_ = kDefaultAnchors;
  TAnchorOrigin origin_;
  int minWidth_ = 0, minHeight_ = 0;
  bool visible_ = true, enabled_ = true;
  std::optional<bool> tabStop_;
  std::string hint_;
  unsigned helpContext_ = 0;
  bool showHint_ = true, parentShowHint_ = true;
  int cursor_ = 0;
  bool ownFont_ = false;
  TFontSpec font_;
  FontObject fontHandle_;
  TColor color_ = clNone;  // clNone: the parent's
  BrushObject brush_;
  TWndMethod windowProc_;
  bool pressed_ = false;
  bool ownClass_ = false;  // a window of one of our classes: clicks are ours to detect
};

// Registers one of the layer's window classes (once; later calls only
// check it) and returns its name for CreateParams. A control of such a
// class gets every message from WM_NCCREATE on, WM_CREATE and
// WM_NCCALCSIZE included, and its background and clicks are the layer's.
// style: CS_* bits, e.g. CS_HREDRAW | CS_VREDRAW for a control that draws
// all of itself anew when its size changes. Throws when the name belongs
// to another procedure or registration fails.
const wchar_t* RegisterOwnWindowClass(const wchar_t* name, UINT style);
// The plain class of the layer's own windows (forms, panels, images).
const wchar_t* OwnWindowClass();

}  // namespace kv::ui
