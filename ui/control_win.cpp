#include "ui/control_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>
#include <stdexcept>

#include "base/ansi_text_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"

namespace kv::ui {

namespace {

const wchar_t kControlProp[] = L"kv.control";

const TFontSpec& DefaultFont() {
  static const TFontSpec spec;
  return spec;
}

HFONT DefaultFontHandle() {
  static const FontObject font = MakeFont(DefaultFont());
  return font.Get();
}

}  // namespace

COLORREF ColorToRGB(TColor color) {
  if (color & kSysColor) return GetSysColor(static_cast<int>(color & 0xFF));
  return color & 0xFFFFFF;
}

int FontHeightFromPoints(int points) {
  const WindowDc screen = GetClientDc(nullptr);
  return -MulDiv(points, GetDeviceCaps(screen.Get(), LOGPIXELSY), 72);
}

FontObject MakeFont(const TFontSpec& spec) {
  LOGFONTW lf{};
  lf.lfHeight = spec.height;
  lf.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = spec.italic;
  lf.lfUnderline = spec.underline;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  std::wstring face = AnsiToWString(spec.name);
  face.resize(std::min<size_t>(face.size(), LF_FACESIZE - 1));
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  FontObject font(CreateFontIndirectW(&lf));
  if (!font) throw std::runtime_error("cannot create the font \"" + spec.name + "\"");
  return font;
}

const wchar_t* RegisterOwnWindowClass(const wchar_t* name, UINT style) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(instance, name, &wc)) {
    if (wc.lpfnWndProc != TControl::ClassProc || wc.style != style)
      throw std::logic_error("the window class \"" + WStringToAnsi(name) +
                             "\" is registered otherwise");
    return name;
  }
  wc = {};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = TControl::ClassProc;
  wc.cbWndExtra = sizeof(TControl*);  // the bound control
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.lpszClassName = name;
  if (!RegisterClassExW(&wc))
    throw std::runtime_error("cannot register the window class \"" + WStringToAnsi(name) + "\"");
  return name;
}

const wchar_t* OwnWindowClass() {
  static const wchar_t* name = RegisterOwnWindowClass(L"KvWindow", CS_DBLCLKS);
  return name;
}

TControl::TControl() = default;

TControl::~TControl() {
  DestroyComponents();
  windowProc_ = nullptr;  // a replacement may belong to an object already gone
  for (TControl* child : children_) child->parent_ = nullptr;  // their windows die with ours
  children_.clear();
  tabList_.clear();
  if (parent_) {
    auto& list = parent_->children_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    auto& tabs = parent_->tabList_;
    tabs.erase(std::remove(tabs.begin(), tabs.end(), this), tabs.end());
  }
  DestroyHandle();
}

TControl* TControl::FromHandle(HWND hwnd) {
  return hwnd ? static_cast<TControl*>(GetPropW(hwnd, kControlProp)) : nullptr;
}

TForm* TControl::ParentForm() {
  TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TForm*>(c);
}

void TControl::SetParent(TControl* parent) {
  if (parent == parent_) return;
  for (TControl* p = parent; p; p = p->parent_)
    if (p == this) throw std::invalid_argument("a control cannot be its own parent");
  if (parent_) {
    auto& list = parent_->children_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    auto& tabs = parent_->tabList_;
    tabs.erase(std::remove(tabs.begin(), tabs.end(), this), tabs.end());
    NotifyControlListChange(parent_, false);
  }
  parent_ = parent;
  if (parent_) {
    parent_->children_.push_back(this);
    parent_->tabList_.push_back(this);
    RecordAnchorOrigin();
  }
  if (hwnd_) {
    if (parent_ && parent_->hwnd_)
      ::SetParent(hwnd_, parent_->hwnd_);
    else
      DestroyHandle();
  } else if (parent_ && parent_->hwnd_) {
    CreateHandle();
  }
  if (parent_) NotifyControlListChange(parent_, true);
  if (!ownFont_) FontChanged();
  if (parentShowHint_) PropagateShowHint();
  if (parent_ && align_ != TAlign::None) parent_->Realign();
}

int TControl::TabOrder() const {
  if (!parent_) return -1;
  const auto& tabs = parent_->tabList_;
  return static_cast<int>(std::find(tabs.begin(), tabs.end(), this) - tabs.begin());
}

void TControl::SetTabOrder(int order) {
  if (!parent_) return;
  auto& tabs = parent_->tabList_;
  tabs.erase(std::remove(tabs.begin(), tabs.end(), this), tabs.end());
  if (order < 0 || order > static_cast<int>(tabs.size())) order = static_cast<int>(tabs.size());
  tabs.insert(tabs.begin() + order, this);
  parent_->ArrangeTabOrder();
}

void TControl::ArrangeTabOrder() {
  HWND after = HWND_TOP;
  for (TControl* child : tabList_) {
    if (!child->hwnd_) continue;
    SetWindowPos(child->hwnd_, after, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    after = child->hwnd_;
  }
}

bool TControl::ShowHint() const {
  if (parentShowHint_ && parent_) return parent_->ShowHint();
  return showHint_;
}

void TControl::SetShowHint(bool on) {
  const bool before = ShowHint();
  showHint_ = on;
  parentShowHint_ = false;
  if (ShowHint() != before) PropagateShowHint();
}

void TControl::SetParentShowHint(bool on) {
  if (on == parentShowHint_) return;
  const bool before = ShowHint();
  parentShowHint_ = on;
  if (ShowHint() != before) PropagateShowHint();
}

void TControl::PropagateShowHint() {
  ShowHintChanged();
  for (TControl* child : std::vector<TControl*>(children_))
    if (child->parentShowHint_) child->PropagateShowHint();
}

void TControl::ShowHintChanged() {
  if (hwnd_ && !hint_.empty())
    if (TForm* form = ParentForm()) form->UpdateHint(this);
}

void TControl::NotifyControlListChange(TControl* parent, bool inserting) {
  TForm* form = parent->ParentForm();
  if (!form) return;
  TMessage m{CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(this), inserting ? 1 : 0};
  form->WindowProc()(m);
}

void TControl::SetParentComponent(TComponent* parent) {
  if (auto* control = dynamic_cast<TControl*>(parent)) SetParent(control);
}

void TControl::CreateParams(TCreateParams& params) {
  params.className = OwnWindowClass();
  params.style = WS_CHILD | WS_CLIPSIBLINGS | (visible_ ? WS_VISIBLE : 0) |
                 (enabled_ ? 0 : WS_DISABLED);
  params.parent = parent_ ? parent_->hwnd_ : nullptr;
}

void TControl::SetTabStop(bool on) {
  tabStop_ = on;
  if (!hwnd_) return;
  const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  SetWindowLongPtrW(hwnd_, GWL_STYLE, on ? (style | WS_TABSTOP) : (style & ~LONG_PTR{WS_TABSTOP}));
}

void TControl::CreateHandle() {
  if (hwnd_) return;
  TCreateParams params;
  CreateParams(params);
  if (tabStop_) params.style = *tabStop_ ? (params.style | WS_TABSTOP) : (params.style & ~DWORD{WS_TABSTOP});
  if ((params.style & WS_CHILD) && !params.parent) return;  // made when the parent gets one
  const TBounds wb = WindowBounds();
  // Our own classes bind the control at WM_NCCREATE; system controls are
  // subclassed once made, so they miss the messages of their creation.
  ownClass_ = IsOwnClass(params.className);
  HWND made = CreateWindowExW(params.exStyle, params.className.c_str(),
                              (wideText_.empty() ? AnsiToWString(text_) : wideText_).c_str(), params.style, wb.left, wb.top,
                              wb.width, wb.height, params.parent, nullptr,
                              GetModuleHandleW(nullptr), ownClass_ ? this : nullptr);
  if (!made) throw std::runtime_error(std::string("cannot create the window of ") + ClassName());
  if (!ownClass_) {
    Bind(made);
    SetWindowSubclass(made, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), FALSE);
  InitHandle();
  for (TControl* child : std::vector<TControl*>(children_)) child->CreateHandle();
  if (tabList_ != children_) ArrangeTabOrder();
  if (!hint_.empty())
    if (TForm* form = ParentForm()) form->UpdateHint(this);
}

bool TControl::IsOwnClass(const std::wstring& className) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  return GetClassInfoExW(GetModuleHandleW(nullptr), className.c_str(), &wc) &&
         wc.lpfnWndProc == ClassProc;
}

void TControl::Bind(HWND hwnd) {
  hwnd_ = hwnd;
  SetPropW(hwnd, kControlProp, this);
}

void TControl::Unbind(HWND hwnd) {
  RemovePropW(hwnd, kControlProp);
  if (hwnd_ == hwnd) hwnd_ = nullptr;
}

// What the user typed lives in the windows; keep it in the fields of the
// whole subtree before the windows go, so a new window shows it again.
void TControl::SaveWindowText() {
  if (!hwnd_) return;
  const std::wstring wide = WideText();
  text_ = WStringToAnsi(wide);
  wideText_ = AnsiToWString(text_) == wide ? std::wstring() : wide;
  for (TControl* child : children_) child->SaveWindowText();
}

void TControl::DestroyHandle() {
  if (!hwnd_) return;
  SaveWindowText();
  DestroyWindow(hwnd_);  // WM_NCDESTROY clears the subtree's handles
  hwnd_ = nullptr;
}

void TControl::RecreateHandle() {
  if (!hwnd_) return;
  DestroyHandle();
  CreateHandle();
}

HWND TControl::Handle() {
  if (!hwnd_) CreateHandle();
  return hwnd_;
}

// A handler that throws leaves the message to the default procedure: an
// answer of 0 would be wrong for many (0 to WM_NCHITTEST is HTNOWHERE).
LRESULT CALLBACK TControl::ClassProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) noexcept {
  auto* self = reinterpret_cast<TControl*>(GetWindowLongPtrW(hwnd, 0));
  if (!self && msg == WM_NCCREATE) {
    // Null for a window made elsewhere than in CreateHandle: it stays plain.
    self = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
    if (self) {
      SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(self));
      self->Bind(hwnd);
    }
  }
  // A top-level window's first WM_GETMINMAXINFO comes before WM_NCCREATE.
  if (!self) return DefWindowProcW(hwnd, msg, w, l);
  TMessage m{msg, w, l, 0};
  const LRESULT result = Guarded(
      [&] {
        self->Dispatch(m);
        return m.result;
      },
      [&] { return IsWindow(hwnd) ? DefWindowProcW(hwnd, msg, w, l) : LRESULT{0}; });
  // The last message reaches the control's window method like every other
  // (its default handling runs the class's procedure); then the window is gone.
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, 0, 0);
    self->Unbind(hwnd);
  }
  return result;
}

LRESULT CALLBACK TControl::SubclassProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l, UINT_PTR id,
                                        DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<TControl*>(data);
  TMessage m{msg, w, l, 0};
  const LRESULT result = Guarded(
      [&] {
        self->Dispatch(m);
        return m.result;
      },
      [&] { return IsWindow(hwnd) ? DefSubclassProc(hwnd, msg, w, l) : LRESULT{0}; });
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, SubclassProc, id);
    self->Unbind(hwnd);
  }
  return result;
}

void TControl::Dispatch(TMessage& m) {
  if (windowProc_)
    windowProc_(m);
  else
    WndProc(m);
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
  TMessage m{msg, wParam, lParam};
  WindowProc()(m);
  return m.result;
}

void TControl::BroadcastToControls(UINT msg, WPARAM wParam, LPARAM lParam) {
  // A copy: a handler may add or remove controls.
  const std::vector<TControl*> children = children_;
  for (TControl* child : children) {
    child->Perform(msg, wParam, lParam);
    child->BroadcastToControls(msg, wParam, lParam);
  }
}

TWndMethod TControl::WindowProc() const {
  if (windowProc_) return windowProc_;
  TControl* self = const_cast<TControl*>(this);
  return [self](TMessage& m) { self->WndProc(m); };
}

void TControl::DefaultHandler(TMessage& m) {
  if (!hwnd_) return;
  m.result = ownClass_ ? DefWindowProcW(hwnd_, m.msg, m.wParam, m.lParam)
                       : DefSubclassProc(hwnd_, m.msg, m.wParam, m.lParam);
}

void TControl::WndProc(TMessage& m) {
  switch (m.msg) {
    case WM_COMMAND:
      if (TControl* c = FromHandle(reinterpret_cast<HWND>(m.lParam)); c && c != this) {
        c->CommandIdNotify(LOWORD(m.wParam), HIWORD(m.wParam));
        return;
      }
      break;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(m.lParam);
      if (TControl* c = FromHandle(header->hwndFrom); c && c != this) {
        Reflect(*c, m);
        return;
      } else if (header->code == TTN_GETDISPINFOW) {  // a tool bar's tooltip asks for text
        for (TControl* child : children_)
          if (child->NotifyNotify(header, m.result)) return;
      }
      break;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (TControl* c = FromHandle(reinterpret_cast<HWND>(m.lParam)); c && c != this) {
        c->ScrollNotify(LOWORD(m.wParam));
        return;
      }
      break;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      if (TControl* c = FromHandle(reinterpret_cast<HWND>(m.lParam)); c && c != this) {
        Reflect(*c, m);
        return;
      }
      break;
    case CN_NOTIFY:
      if (!NotifyNotify(reinterpret_cast<NMHDR*>(m.lParam), m.result)) ReflectedDefault(m);
      return;
    case CN_CTLCOLORSTATIC:
    case CN_CTLCOLORBTN:
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
      if (HBRUSH brush = CtlColor(reinterpret_cast<HDC>(m.wParam)))
        m.result = reinterpret_cast<LRESULT>(brush);
      else
        ReflectedDefault(m);
      return;
    case CN_CTLCOLORMSGBOX:
    case CN_CTLCOLORDLG:
    case CN_CTLCOLORSCROLLBAR:
      ReflectedDefault(m);
      return;
    case WM_ERASEBKGND: {
      if (ownClass_) {
        RECT r;
        GetClientRect(hwnd_, &r);
        FillRect(reinterpret_cast<HDC>(m.wParam), &r, BackgroundBrush());
        m.result = 1;
        return;
      }
      break;
    }
    case WM_SETCURSOR:
      if (cursor_ && LOWORD(m.lParam) == HTCLIENT) {
        ::SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(cursor_)));
        m.result = TRUE;
        return;
      }
      break;
    case WM_LBUTTONDOWN:
      pressed_ = ownClass_ || !ReportsOwnClicks();
      break;
    case WM_LBUTTONUP:
      if (pressed_) {
        pressed_ = false;
        DefaultHandler(m);
        // A press dragged off the control and released there is no click
        // (an edit holds the mouse while it selects).
        RECT r{};
        if (hwnd_ && GetClientRect(hwnd_, &r) && PtInRect(&r, POINT{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)}))
          Click();
        return;
      }
      break;
    case WM_LBUTTONDBLCLK:
      if (ownClass_) Fire(OnDblClick, this);
      break;
    default:
      break;
  }
  DefaultHandler(m);
}

void TControl::Reflect(TControl& child, TMessage& m) {
  TMessage reflected{CN_BASE + m.msg, m.wParam, m.lParam, 0};
  child.Dispatch(reflected);
  m.result = reflected.result;
}

void TControl::ReflectedDefault(TMessage& m) {
  // The parent whose window received the original message.
  TControl* parent = hwnd_ ? FromHandle(GetParent(hwnd_)) : nullptr;
  if (!parent) return;
  TMessage original{m.msg - CN_BASE, m.wParam, m.lParam, 0};
  parent->DefaultHandler(original);
  m.result = original.result;
}

HBRUSH TControl::CtlColor(HDC dc) {
  SetTextColor(dc, ColorToRGB(Font().color));
  SetBkColor(dc, ColorToRGB(Color()));
  return BackgroundBrush();
}

void TControl::Click() {
  Fire(OnClick, this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  bounds_ = {left, top, std::max(width, minWidth_), std::max(height, minHeight_)};
  RecordAnchorOrigin();
  ApplyBounds();
  Realign();
  if (parent_ && align_ != TAlign::None) parent_->Realign();
}

void TControl::SetBoundsInternal(const TBounds& bounds) {
  if (bounds == bounds_) return;
  bounds_ = bounds;
  ApplyBounds();
  Realign();
}

void TControl::ApplyBounds() {
  if (!hwnd_) return;
  const TBounds wb = WindowBounds();
  SetWindowPos(hwnd_, nullptr, wb.left, wb.top, wb.width, wb.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::RecordAnchorOrigin() {
  if (parent_) origin_ = {bounds_, parent_->ClientWidth(), parent_->ClientHeight()};
}

void TControl::Realign() {
  if (children_.empty()) return;
  std::vector<TAlignItem> items;
  std::vector<TControl*> aligned;
  for (TControl* c : children_) {
    if (c->align_ == TAlign::None || !c->visible_) continue;
    items.push_back({c->align_, c->bounds_, c->minWidth_, c->minHeight_});
    aligned.push_back(c);
  }
  AlignItems(items, AlignRect());
  for (size_t i = 0; i < aligned.size(); ++i) aligned[i]->SetBoundsInternal(items[i].bounds);
  // While a layout is built its coordinates are those of the finished
  // layout: anchored children stay put and take their origin in Loaded.
  if (Loading()) return;
  for (TControl* c : std::vector<TControl*>(children_)) {
    if (c->align_ != TAlign::None) continue;
    c->SetBoundsInternal(ApplyAnchors(c->origin_, c->anchors_, ClientWidth(), ClientHeight(),
                                      c->minWidth_, c->minHeight_));
  }
}

void TControl::Loaded() {
  TComponent::Loaded();
  RecordAnchorOrigin();
}

void TControl::SetAlign(TAlign align) {
  align_ = align;
  if (parent_) parent_->Realign();
}

void TControl::SetAnchors(TAnchors anchors) {
  anchors_ = anchors;
  RecordAnchorOrigin();
}

void TControl::SetMinSize(int width, int height) {
  minWidth_ = width;
  minHeight_ = height;
  if (bounds_.width < width || bounds_.height < height)
    SetBounds(bounds_.left, bounds_.top, bounds_.width, bounds_.height);
}

void TControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
  if (parent_ && align_ != TAlign::None) parent_->Realign();
}

void TControl::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (hwnd_) EnableWindow(hwnd_, enabled);
}

void TControl::SetHint(std::string hint) {
  hint_ = std::move(hint);
  if (hwnd_)
    if (TForm* form = ParentForm()) form->UpdateHint(this);
}

const TFontSpec& TControl::Font() const {
  if (ownFont_) return font_;
  return parent_ ? parent_->Font() : DefaultFont();
}

HFONT TControl::FontHandle() const {
  if (ownFont_) return fontHandle_.Get();
  return parent_ ? parent_->FontHandle() : DefaultFontHandle();
}

void TControl::SetParentFont(bool on) {
  if (on == !ownFont_) return;
  if (!on) {
    SetFont(Font());
    return;
  }
  ownFont_ = false;
  FontChanged();
  fontHandle_ = FontObject();  // the windows hold the parent's font by now
}

void TControl::SetFont(const TFontSpec& font) {
  FontObject previous = std::exchange(fontHandle_, MakeFont(font));
  font_ = font;
  ownFont_ = true;
  FontChanged();  // the windows let go of the previous font before it goes
}

void TControl::FontChanged() {
  if (hwnd_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), TRUE);
  Perform(CM_FONTCHANGED);
  for (TControl* child : children_)
    if (!child->ownFont_) child->FontChanged();
}

TColor TControl::Color() const {
  if (color_ != clNone) return color_;
  return parent_ ? parent_->Color() : clBtnFace;
}

void TControl::SetColor(TColor color) {
  brush_ = color == clNone ? BrushObject() : MakeSolidBrush(ColorToRGB(color));
  color_ = color;
  Repaint();
  Perform(CM_COLORCHANGED);
}

HBRUSH TControl::BackgroundBrush() const {
  if (brush_) return brush_.Get();
  return parent_ ? parent_->BackgroundBrush() : GetSysColorBrush(COLOR_BTNFACE);
}

std::string TControl::Text() const {
  if (!hwnd_) return text_;
  int n = GetWindowTextLengthW(hwnd_);
  std::wstring w(static_cast<size_t>(n) + 1, L'\0');
  w.resize(static_cast<size_t>(GetWindowTextW(hwnd_, w.data(), n + 1)));
  return WStringToAnsi(w);
}

std::wstring TControl::WideText() const {
  if (!hwnd_) return wideText_.empty() ? AnsiToWString(text_) : wideText_;
  const int n = GetWindowTextLengthW(hwnd_);
  std::wstring w(static_cast<size_t>(n) + 1, L'\0');
  w.resize(static_cast<size_t>(GetWindowTextW(hwnd_, w.data(), n + 1)));
  return w;
}

void TControl::SetWideText(const std::wstring& text) {
  const bool changes = hwnd_ && WideText() != text;
  const std::string ansi = WStringToAnsi(text);
  SetText(ansi);
  if (AnsiToWString(ansi) != text) {
    wideText_ = text;
    if (hwnd_) PutWindowText(text);
    TextChanged();
  }
  if (changes) Perform(CM_TEXTCHANGED);
}

void TControl::PutWindowText(const std::wstring& text) { SetWindowTextW(hwnd_, text.c_str()); }

void TControl::SetText(const std::string& text) {
  wideText_.clear();
  text_ = text;
  if (hwnd_) SetWindowTextW(hwnd_, AnsiToWString(text).c_str());
}

void TControl::Invalidate() {
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void TControl::Update() {
  if (hwnd_) UpdateWindow(hwnd_);
}

void TControl::Repaint() {
  if (hwnd_)
    RedrawWindow(hwnd_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TControl::UpdateStyle(DWORD add, DWORD remove) {
  if (!hwnd_) return;
  LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  SetWindowLongPtrW(hwnd_, GWL_STYLE, (style & ~static_cast<LONG_PTR>(remove)) | add);
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

// A control's window text is either its Caption or, where it is the user's
// data (edits, combo boxes), its Text; never both.
bool TControl::GetTextProperty(std::string_view name, std::string& value) const {
  if (SameName(name, HasCaption() ? "Caption" : "Text")) {
    value = Text();
    return true;
  }
  if (SameName(name, "Hint")) {
    value = hint_;
    return true;
  }
  return false;
}

bool TControl::SetTextProperty(std::string_view name, const std::string& value) {
  if (SameName(name, HasCaption() ? "Caption" : "Text")) {
    SetText(value);
    return true;
  }
  if (SameName(name, "Hint")) {
    SetHint(value);
    return true;
  }
  return false;
}

}  // namespace kv::ui
