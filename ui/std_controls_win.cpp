#include "ui/std_controls_win.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>

#include "base/ansi_text_win.h"
#include "ui/forms_win.h"

namespace kv::ui {

// ------------------------------------------------------------------ panel --
TPanel::TPanel() { bounds_ = {0, 0, 185, 41}; }

void TPanel::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.exStyle |= WS_EX_CONTROLPARENT | (doubleBuffered_ ? WS_EX_COMPOSITED : 0);
}

void TPanel::SetBevelOuter(TBevel bevel) {
  bevel_ = bevel;
  Repaint();
}

void TPanel::SetBevelEdges(TBevelEdges edges) {
  bevelEdges_ = edges;
  Repaint();
}

void TPanel::SetAlignment(TAlignment alignment) {
  alignment_ = alignment;
  Repaint();
}

void TPanel::SetDoubleBuffered(bool on) {
  doubleBuffered_ = on;
  if (HWND h = HandleIfAllocated()) {
    LONG_PTR ex = GetWindowLongPtrW(h, GWL_EXSTYLE);
    SetWindowLongPtrW(h, GWL_EXSTYLE, on ? (ex | WS_EX_COMPOSITED) : (ex & ~WS_EX_COMPOSITED));
  }
}

// The panel's painting covers its whole area, so the caption's change is
// painted without erasing first (the erased background would show between
// the two steps, and under a theme erasing draws the parent's background).
void TPanel::SetText(const std::string& text) {
  TControl::SetText(text);
  if (HWND h = HandleIfAllocated()) RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// The panel paints its background, bevel and caption together into a
// buffer and shows it in one piece: erased first (WM_ERASEBKGND), a panel
// whose caption changes many times a second (a running count) shows its bare
// background between the two steps. A disabled panel takes no input but
// looks as it is declared: its caption keeps the font's colour.
void TPanel::WndProc(TMessage& m) {
  if (m.msg == WM_ERASEBKGND) {
    m.result = 1;
    return;
  }
  if (m.msg != WM_PAINT) return TControl::WndProc(m);
  const PaintDc paint = BeginPaintDc(HandleIfAllocated());
  RECT r;
  GetClientRect(HandleIfAllocated(), &r);
  if (r.right <= 0 || r.bottom <= 0) return;
  TBitmap buffer;
  buffer.Create(r.right, r.bottom);
  const MemoryDc dc = CreateMemoryDc(paint.Get());
  const SelectedObject into = SelectInto(dc.Get(), buffer.Handle());
  FillRect(dc.Get(), &r, BackgroundBrush());
  const RECT whole = r;
  if (bevel_ != TBevel::None) {
    DrawEdge(dc.Get(), &r, bevel_ == TBevel::Raised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, bevelEdges_);
    InflateRect(&r, -1, -1);
  }
  const std::wstring text = AnsiToWString(text_);
  if (!text.empty()) {
    const SelectedObject font = SelectInto(dc.Get(), FontHandle());
    SetBkMode(dc.Get(), TRANSPARENT);
    SetTextColor(dc.Get(), ColorToRGB(Font().color));
    UINT align = alignment_ == TAlignment::Left    ? DT_LEFT
                 : alignment_ == TAlignment::Right ? DT_RIGHT
                                                   : DT_CENTER;
    DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r,
              align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  BitBlt(paint.Get(), 0, 0, whole.right, whole.bottom, dc.Get(), 0, 0, SRCCOPY);
}

// -------------------------------------------------------------- group box --
TGroupBox::TGroupBox() { bounds_ = {0, 0, 185, 105}; }

void TGroupBox::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = L"BUTTON";
  params.style |= BS_GROUPBOX;
  params.exStyle |= WS_EX_CONTROLPARENT;
}

TBounds TGroupBox::AlignRect() const {
  const int top = -Font().height + 6;
  return {2, top, std::max(ClientWidth() - 4, 0), std::max(ClientHeight() - top - 2, 0)};
}

// ----------------------------------------------------------------- button --
TButton::TButton() { bounds_ = {0, 0, 75, 25}; }

void TButton::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = L"BUTTON";
  params.style |= WS_TABSTOP | (default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
}

void TButton::SetDefault(bool on) {
  default_ = on;
  if (HWND h = HandleIfAllocated())
    SendMessageW(h, BM_SETSTYLE, on ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::CommandNotify(WORD code) {
  if (code == BN_CLICKED) Click();
}

void TButton::Click() {
  if (modalResult_ != mrNone)
    if (TForm* form = ParentForm()) form->SetModalResult(modalResult_);
  TControl::Click();
}

HBRUSH TButton::CtlColor(HDC dc) {
  TControl::CtlColor(dc);
  return Parent() ? Parent()->BackgroundBrush() : nullptr;  // the corners around the face
}

// Visual styles draw a push button's caption in the theme's font and
// colour; a button with a font of its own draws the face through the theme
// and its caption itself.
bool TButton::NotifyNotify(NMHDR* header, LRESULT& result) {
  if (header->code != static_cast<UINT>(NM_CUSTOMDRAW) || !OwnFont() || (GetWindowLongPtrW(header->hwndFrom, GWL_STYLE) & BS_TYPEMASK) > BS_DEFPUSHBUTTON)
    return false;
  const NMCUSTOMDRAW& draw = *reinterpret_cast<NMCUSTOMDRAW*>(header);
  if (draw.dwDrawStage != CDDS_PREPAINT) return false;
  const HTHEME theme = GetWindowTheme(draw.hdr.hwndFrom);
  if (!theme) return false;
  const UINT s = draw.uItemState;
  const int state = (s & CDIS_DISABLED)   ? PBS_DISABLED
                    : (s & CDIS_SELECTED) ? PBS_PRESSED
                    : (s & CDIS_HOT)      ? PBS_HOT
                    : default_            ? PBS_DEFAULTED
                                          : PBS_NORMAL;
  RECT r = draw.rc;
  if (IsThemeBackgroundPartiallyTransparent(theme, BP_PUSHBUTTON, state))
    DrawThemeParentBackground(draw.hdr.hwndFrom, draw.hdc, &r);
  DrawThemeBackground(theme, draw.hdc, BP_PUSHBUTTON, state, &r, nullptr);
  RECT content = r;
  GetThemeBackgroundContentRect(theme, draw.hdc, BP_PUSHBUTTON, state, &r, &content);
  const SelectedObject font = SelectInto(draw.hdc, FontHandle());
  SetBkMode(draw.hdc, TRANSPARENT);
  SetTextColor(draw.hdc, (s & CDIS_DISABLED) ? GetSysColor(COLOR_GRAYTEXT) : ColorToRGB(Font().color));
  const std::wstring caption = AnsiToWString(Caption());
  UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  if (SendMessageW(draw.hdr.hwndFrom, WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL) format |= DT_HIDEPREFIX;
  DrawTextW(draw.hdc, caption.c_str(), static_cast<int>(caption.size()), &content, format);
  if ((s & CDIS_FOCUS) && !(SendMessageW(draw.hdr.hwndFrom, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS))
    DrawFocusRect(draw.hdc, &content);
  result = CDRF_SKIPDEFAULT;
  return true;
}

void TSpeedButton::CreateParams(TCreateParams& params) {
  TButton::CreateParams(params);
  params.style = (params.style & ~(WS_TABSTOP | BS_DEFPUSHBUTTON)) | BS_PUSHBUTTON | BS_FLAT;
}

// -------------------------------------------------------------- check box --
TCheckBox::TCheckBox() { bounds_ = {0, 0, 97, 17}; }

void TCheckBox::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = L"BUTTON";
  params.style |= WS_TABSTOP | BS_AUTOCHECKBOX;
}

void TCheckBox::InitHandle() {
  SendMessageW(HandleIfAllocated(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::Checked() const {
  if (HWND h = HandleIfAllocated()) return SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
  return checked_;
}

void TCheckBox::SetChecked(bool checked) {
  checked_ = checked;
  if (HWND h = HandleIfAllocated())
    SendMessageW(h, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::CommandNotify(WORD code) {
  if (code != BN_CLICKED) return;
  checked_ = Checked();
  Click();
}

// ----------------------------------------------------------- radio button --
TRadioButton::TRadioButton() { bounds_ = {0, 0, 113, 17}; }

void TRadioButton::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = L"BUTTON";
  params.style |= WS_TABSTOP | BS_RADIOBUTTON;
}

void TRadioButton::InitHandle() {
  SendMessageW(HandleIfAllocated(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::SetChecked(bool checked) {
  checked_ = checked;
  if (HWND h = HandleIfAllocated())
    SendMessageW(h, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (!checked || !Parent()) return;
  for (size_t i = 0; i < Parent()->ControlCount(); ++i)
    if (auto* other = dynamic_cast<TRadioButton*>(Parent()->Controls(i)); other && other != this)
      if (other->checked_) other->SetChecked(false);
}

void TRadioButton::CommandNotify(WORD code) {
  if (code != BN_CLICKED) return;
  if (!checked_) SetChecked(true);
  Click();
}

// ------------------------------------------------------------ radio group --
TRadioGroup::TRadioGroup() = default;

TRadioGroup::~TRadioGroup() { buttons_.clear(); }  // while the group is still whole

void TRadioGroup::SetItems(std::vector<std::string> items) {
  const int keep = ItemIndex();
  items_ = std::move(items);
  buttons_.clear();
  for (const auto& text : items_) {
    auto button = std::make_unique<TRadioButton>();
    button->SetText(text);
    button->OnClick = [this](TComponent* sender) { ButtonClicked(sender); };
    button->SetParent(this);
    buttons_.push_back(std::move(button));
  }
  if (keep >= 0 && keep < static_cast<int>(buttons_.size())) buttons_[size_t(keep)]->SetChecked(true);
  Arrange();
}

int TRadioGroup::ItemIndex() const {
  for (size_t i = 0; i < buttons_.size(); ++i)
    if (buttons_[i]->Checked()) return static_cast<int>(i);
  return -1;
}

void TRadioGroup::SetItemIndex(int index) {
  if (index >= 0 && index < static_cast<int>(buttons_.size()))
    buttons_[size_t(index)]->SetChecked(true);
  else
    for (auto& b : buttons_) b->SetChecked(false);
}

void TRadioGroup::ButtonClicked(TComponent*) { Click(); }

void TRadioGroup::ApplyBounds() {
  TGroupBox::ApplyBounds();
  Arrange();
}

void TRadioGroup::FontChanged() {
  TGroupBox::FontChanged();
  Arrange();
}

void TRadioGroup::Arrange() {
  if (buttons_.empty()) return;
  const TBounds area = AlignRect();
  const int rowHeight = std::max(area.height / static_cast<int>(buttons_.size()), 1);
  const int buttonHeight = std::max(-Font().height + 6, 17);
  for (size_t i = 0; i < buttons_.size(); ++i)
    buttons_[i]->SetBounds(area.left + 6, area.top + static_cast<int>(i) * rowHeight +
                                              (rowHeight - buttonHeight) / 2,
                           std::max(area.width - 12, 0), buttonHeight);
}

// ------------------------------------------------------------------ label --
TLabel::TLabel() { bounds_ = {0, 0, 0, 0}; }

// The static control's type: one value of SS_TYPEMASK, not a set of bits.
DWORD TLabel::StaticType() const {
  if (alignment_ == TAlignment::Right) return SS_RIGHT;
  if (alignment_ == TAlignment::Center) return SS_CENTER;
  return wordWrap_ ? SS_LEFT : SS_LEFTNOWORDWRAP;
}

void TLabel::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = L"STATIC";
  params.style |= SS_NOTIFY | StaticType() | (showAccelChar_ ? 0 : SS_NOPREFIX);
}

void TLabel::SetAutoSize(bool on) {
  autoSize_ = on;
  AdjustSize();
}

void TLabel::SetWordWrap(bool on) {
  wordWrap_ = on;
  UpdateStyle(StaticType(), SS_TYPEMASK);
  AdjustSize();
}

void TLabel::SetAlignment(TAlignment alignment) {
  alignment_ = alignment;
  UpdateStyle(StaticType(), SS_TYPEMASK);
}

void TLabel::SetShowAccelChar(bool on) {
  showAccelChar_ = on;
  UpdateStyle(on ? 0 : SS_NOPREFIX, on ? SS_NOPREFIX : 0);
  AdjustSize();
}

void TLabel::SetText(const std::string& text) {
  TControl::SetText(text);
  AdjustSize();
}

void TLabel::TextChanged() { AdjustSize(); }

void TLabel::Loaded() {
  TControl::Loaded();
  AdjustSize();
}

void TLabel::FontChanged() {
  TControl::FontChanged();
  AdjustSize();
}

void TLabel::AdjustSize() {
  if (!autoSize_ || Loading()) return;
  const SIZE size = MeasureText(WideText(), FontHandle(), wordWrap_ ? Width() : 0, showAccelChar_);
  SetBounds(Left(), Top(), wordWrap_ ? Width() : size.cx, size.cy);
}

void TLabel::CommandNotify(WORD code) {
  if (code == STN_CLICKED) Click();
  if (code == STN_DBLCLK) Fire(OnDblClick, this);
}

// ------------------------------------------------------------------- edit --
TEdit::TEdit() { bounds_ = {0, 0, 121, 21}; }

void TEdit::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = L"EDIT";
  params.style |= WS_TABSTOP | ES_AUTOHSCROLL | (readOnly_ ? ES_READONLY : 0);
  if (borderStyle_ != TBorderStyle::None) params.exStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::SetBorderStyle(TBorderStyle style) {
  borderStyle_ = style;
  if (HandleIfAllocated()) RecreateHandle();
}

void TEdit::SetReadOnly(bool on) {
  readOnly_ = on;
  if (HWND h = HandleIfAllocated()) SendMessageW(h, EM_SETREADONLY, on, 0);
}

void TEdit::SetText(const std::string& text) {
  settingText_ = true;
  TControl::SetText(text);
  settingText_ = false;
}

void TEdit::PutWindowText(const std::wstring& text) {
  settingText_ = true;
  TControl::PutWindowText(text);
  settingText_ = false;
}

void TEdit::CommandNotify(WORD code) {
  if (code == EN_CHANGE && !settingText_) Fire(OnChange, this);
}

void TEdit::WndProc(TMessage& m) {
  if (m.msg == WM_CHAR && OnKeyPress) {
    const wchar_t typed = static_cast<wchar_t>(m.wParam);
    std::string ansi = WStringToAnsi(std::wstring(1, typed));
    char key = ansi.size() == 1 ? ansi[0] : '?';
    const char before = key;
    Fire(OnKeyPress, this, key);
    if (key == 0) return;  // dropped
    if (key != before) m.wParam = AnsiToWString(std::string(1, key))[0];
  }
  TControl::WndProc(m);
}

HBRUSH TEdit::CtlColor(HDC dc) {
  if (ParentColor()) return nullptr;  // the system's edit colours
  return TControl::CtlColor(dc);
}

TMemo::TMemo() { bounds_ = {0, 0, 185, 89}; }

void TMemo::CreateParams(TCreateParams& params) {
  TEdit::CreateParams(params);
  params.style &= ~static_cast<DWORD>(ES_AUTOHSCROLL);
  params.style |= ES_MULTILINE | ES_AUTOVSCROLL | (readOnly_ ? 0 : ES_WANTRETURN) |
                  (wordWrap_ ? 0 : ES_AUTOHSCROLL);
  if (scrollBars_ == TScrollStyle::Vertical || scrollBars_ == TScrollStyle::Both)
    params.style |= WS_VSCROLL;
  if (scrollBars_ == TScrollStyle::Horizontal || scrollBars_ == TScrollStyle::Both)
    params.style |= WS_HSCROLL;
}

void TMemo::SetScrollBars(TScrollStyle style) {
  scrollBars_ = style;
  RecreateHandle();
}

void TMemo::SetWordWrap(bool on) {
  wordWrap_ = on;
  RecreateHandle();
}

void TMemo::AddLine(const std::string& line) {
  std::string text = Text();
  if (!text.empty() && text.back() != '\n') text += "\r\n";
  text += line;
  SetText(text);
  if (HWND h = HandleIfAllocated()) SendMessageW(h, EM_SCROLLCARET, 0, 0);
}

// -------------------------------------------------------------- combo box --
TComboBox::TComboBox() { bounds_ = {0, 0, 145, 21}; }

void TComboBox::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = L"COMBOBOX";
  params.style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
}

TBounds TComboBox::WindowBounds() const {
  TBounds b = bounds_;
  b.height += 200;  // the drop-down list
  return b;
}

void TComboBox::InitHandle() {
  HWND h = HandleIfAllocated();
  for (const auto& item : items_)
    SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AnsiToWString(item).c_str()));
  SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
}

void TComboBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  itemIndex_ = -1;
  if (HWND h = HandleIfAllocated()) {
    SendMessageW(h, CB_RESETCONTENT, 0, 0);
    InitHandle();
  }
}

int TComboBox::ItemIndex() const {
  if (HWND h = HandleIfAllocated()) return static_cast<int>(SendMessageW(h, CB_GETCURSEL, 0, 0));
  return itemIndex_;
}

void TComboBox::SetItemIndex(int index) {
  itemIndex_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
  if (HWND h = HandleIfAllocated()) SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
}

void TComboBox::CommandNotify(WORD code) {
  if (code != CBN_SELCHANGE) return;
  itemIndex_ = ItemIndex();
  Fire(OnChange, this);
}

// -------------------------------------------------------------- track bar --
TTrackBar::TTrackBar() { bounds_ = {0, 0, 150, 45}; }

void TTrackBar::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = TRACKBAR_CLASSW;
  params.style |= WS_TABSTOP | TBS_HORZ | TBS_AUTOTICKS;
}

void TTrackBar::InitHandle() {
  HWND h = HandleIfAllocated();
  SendMessageW(h, TBM_SETRANGEMIN, FALSE, min_);
  SendMessageW(h, TBM_SETRANGEMAX, FALSE, max_);
  SendMessageW(h, TBM_SETLINESIZE, 0, lineSize_);
  SendMessageW(h, TBM_SETPAGESIZE, 0, pageSize_);
  SendMessageW(h, TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
  SendMessageW(h, TBM_SETPOS, TRUE, position_);
}

void TTrackBar::SetRange(int min, int max) {
  min_ = min;
  max_ = std::max(min, max);
  position_ = std::clamp(position_, min_, max_);
  if (HandleAllocated()) InitHandle();
}

int TTrackBar::Position() const {
  if (HWND h = HandleIfAllocated()) return static_cast<int>(SendMessageW(h, TBM_GETPOS, 0, 0));
  return position_;
}

void TTrackBar::SetPosition(int position) {
  position_ = std::clamp(position, min_, max_);
  if (HWND h = HandleIfAllocated()) SendMessageW(h, TBM_SETPOS, TRUE, position_);
}

void TTrackBar::SetLineSize(int size) {
  lineSize_ = size;
  if (HWND h = HandleIfAllocated()) SendMessageW(h, TBM_SETLINESIZE, 0, size);
}

void TTrackBar::SetPageSize(int size) {
  pageSize_ = size;
  if (HWND h = HandleIfAllocated()) SendMessageW(h, TBM_SETPAGESIZE, 0, size);
}

void TTrackBar::SetFrequency(int frequency) {
  frequency_ = std::max(frequency, 1);
  if (HWND h = HandleIfAllocated()) SendMessageW(h, TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
}

void TTrackBar::ScrollNotify(WORD) {
  const int now = Position();
  if (now == position_) return;
  position_ = now;
  Fire(OnChange, this);
}

// ----------------------------------------------------------- progress bar --
TProgressBar::TProgressBar() { bounds_ = {0, 0, 150, 17}; }

void TProgressBar::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = PROGRESS_CLASSW;
}

void TProgressBar::InitHandle() {
  SendMessageW(HandleIfAllocated(), PBM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  SendMessageW(HandleIfAllocated(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetRange(int min, int max) {
  min_ = min;
  max_ = std::max(min, max);
  position_ = std::clamp(position_, min_, max_);
  if (HandleAllocated()) InitHandle();
}

void TProgressBar::SetPosition(int position) {
  position_ = std::clamp(position, min_, max_);
  if (HWND h = HandleIfAllocated()) SendMessageW(h, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

// ------------------------------------------------------------- status bar --
TStatusBar::TStatusBar() {
  bounds_ = {0, 0, 200, 19};
  SetAlign(TAlign::Bottom);
}

void TStatusBar::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = STATUSCLASSNAMEW;
  params.style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
}

void TStatusBar::InitHandle() {
  HWND h = HandleIfAllocated();
  std::vector<int> rights;
  int right = 0;
  for (const auto& p : panels_) rights.push_back(right += p.width);
  // The last panel takes the rest: its text (a total such as "1234Mbytes")
  // may need more than its nominal width.
  if (!rights.empty()) rights.back() = -1;
  SendMessageW(h, SB_SETPARTS, rights.size(), reinterpret_cast<LPARAM>(rights.data()));
  for (size_t i = 0; i < panels_.size(); ++i)
    SendMessageW(h, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(AnsiToWString(panels_[i].text).c_str()));
}

void TStatusBar::SetPanels(std::vector<TPanelSpec> panels) {
  panels_ = std::move(panels);
  if (HandleAllocated()) InitHandle();
}

void TStatusBar::SetPanelText(size_t index, const std::string& text) {
  if (index >= panels_.size()) return;
  panels_[index].text = text;
  if (HWND h = HandleIfAllocated())
    SendMessageW(h, SB_SETTEXTW, index, reinterpret_cast<LPARAM>(AnsiToWString(text).c_str()));
}

std::string TStatusBar::PanelText(size_t index) const {
  HWND h = HandleIfAllocated();
  if (!h) return index < panels_.size() ? panels_[index].text : std::string();
  const size_t n = LOWORD(SendMessageW(h, SB_GETTEXTLENGTHW, index, 0));
  std::wstring w(n + 1, L'\0');
  SendMessageW(h, SB_GETTEXTW, index, reinterpret_cast<LPARAM>(w.data()));
  w.resize(n);
  return WStringToAnsi(w);
}

// ------------------------------------------------------------------ image --
TImage::TImage() { bounds_ = {0, 0, 105, 105}; }

void TImage::SetPicture(TBitmap picture) {
  picture_ = std::move(picture);
  if (autoSize_ && !picture_.Empty()) SetBounds(Left(), Top(), picture_.Width(), picture_.Height());
  Repaint();
}

void TImage::SetTransparent(bool on) {
  transparent_ = on;
  Repaint();
}

void TImage::WndProc(TMessage& m) {
  if (m.msg != WM_PAINT) return TControl::WndProc(m);
  const PaintDc paint = BeginPaintDc(HandleIfAllocated());
  if (picture_.Empty()) return;
  const MemoryDc src = CreateMemoryDc(paint.Get());
  const SelectedObject sel = SelectInto(src.Get(), picture_.Handle());
  int x = 0, y = 0, width = picture_.Width(), height = picture_.Height();
  if (stretch_) {
    width = Width();
    height = Height();
  } else if (center_) {
    x = (Width() - width) / 2;
    y = (Height() - height) / 2;
  }
  if (transparent_) {
    const RECT all{0, 0, Width(), Height()};
    FillRect(paint.Get(), &all, BackgroundBrush());
    GdiTransparentBlt(paint.Get(), x, y, width, height, src.Get(), 0, 0, picture_.Width(), picture_.Height(),
                      GetPixel(src.Get(), 0, picture_.Height() - 1));
  } else if (stretch_) {
    SetStretchBltMode(paint.Get(), HALFTONE);
    StretchBlt(paint.Get(), x, y, width, height, src.Get(), 0, 0, picture_.Width(), picture_.Height(), SRCCOPY);
  } else {
    BitBlt(paint.Get(), x, y, width, height, src.Get(), 0, 0, SRCCOPY);
  }
}

}  // namespace kv::ui
