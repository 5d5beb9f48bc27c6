#include "shell/explorer_combo_win.h"

#include <vssym32.h>
#include <windowsx.h>

#include <commctrl.h>

#include <algorithm>

#include "base/scope_guard.h"
#include "shell/change_dispatch_win.h"
#include "shell/icon_thread_win.h"
#include "shell/shell_utils_win.h"
#include "shell/wide_strings.h"

namespace kv {

namespace {
constexpr int kIconMargin = 3, kIconSize = 16;

// A folder among `folder`'s children (folders, and files when asked) whose
// normal name equals `text` in any case.
std::unique_ptr<TNamespace> ChildByName(TNamespace& folder, const std::wstring& text, bool files) {
  std::unique_ptr<TNamespace> found;
  folder.EnumerateFolder(true, files, false, [&](TPidl child, TNamespace& parent, bool& terminate) {
    auto item = std::make_unique<TNamespace>(TPIDLManager::AppendPIDL(parent.AbsolutePIDL(), child.get()), nullptr);
    if (StrICompW(item->GetNameNormal(), text) == 0) {
      found = std::move(item);
      terminate = true;
    }
    return true;
  });
  return found;
}
}  // namespace

std::unique_ptr<TNamespace> FindFolderByName(const std::wstring& text) {
  std::unique_ptr<TNamespace> found = ChildByName(*DesktopFolder(), text, false);
  if (!found && DrivesFolder()) found = ChildByName(*DrivesFolder(), text, false);
  return found;
}

std::unique_ptr<TNamespace> FindDesktopFolderByName(const std::wstring& text) {
  if (StrICompW(DesktopFolder()->GetNameNormal(), text) == 0) return DesktopFolder()->Clone();
  return ChildByName(*DesktopFolder(), text, true);
}

// ------------------------------------------------------------------- edit --
TComboEdit::TComboEdit(TCustomLazyExplorerCombobox& combo) : combo_(combo) {}

void TComboEdit::CreateParams(TCreateParams& params) {
  TCustomWideEdit::CreateParams(params);
  params.exStyle &= ~WS_EX_CLIENTEDGE;
  params.style &= ~(WS_BORDER | WS_TABSTOP);
}

void TComboEdit::SetUndo(const std::wstring& text, LPCITEMIDLIST pidl) {
  undoText_ = text;
  undoPIDL_ = pidl ? TPIDLManager::CopyPIDL(pidl) : nullptr;
}

void TComboEdit::Undo() {
  SetWideText(undoText_);
  SelectText(0, -1);
}

std::wstring TComboEdit::AutoCompleteDrive(const std::wstring& text) {
  if (text.size() == 1) return text + L":\\";
  if (text.size() == 2) return text + L"\\";
  return text;
}

void TComboEdit::SelectEnteredPath() {
  // An empty text too goes to the shell: it names the desktop.
  const std::wstring text = AutoCompleteDrive(WideText());
  if (TPidl list = PathToPIDL(text)) {
    auto item = std::make_unique<TNamespace>(std::move(list), nullptr);
    if (item->GetFolder()) {
      combo_.SetEditNamespace(std::move(item));
    } else {
      combo_.DoExecute(*item);
      SetWideText(undoText_);  // the box stays on its folder
    }
    return;
  }
  // A folder so named under the current one, on the desktop or in My Computer.
  std::unique_ptr<TNamespace> found;
  if (TNamespace* current = combo_.EditNamespace(); current && current->GetFolder())
    found = ChildByName(*current, text, false);
  if (!found) found = FindFolderByName(text);
  if (!found) found = FindDesktopFolderByName(text);
  if (found) {
    combo_.SetEditNamespace(std::move(found));
    return;
  }
  HandleInvalidText(text);
}

void TComboEdit::HandleInvalidText(const std::wstring& text) {
  // The longest leading part, cut at a backslash, that is an existing folder.
  size_t start = 0;
  for (size_t cut = text.rfind(L'\\'); cut != std::wstring::npos && cut > 0; cut = text.rfind(L'\\', cut - 1)) {
    if (DirExistsW(text.substr(0, cut + 1))) {
      start = cut + 1;
      break;
    }
  }
  SetWideText(text);
  SelectText(static_cast<int>(start), static_cast<int>(text.size()));
  combo_.DoInvalidEntry(text);
}

void TComboEdit::WndProc(ui::TMessage& m) {
  if (m.msg == WM_KEYDOWN && m.wParam == VK_RETURN) {
    SelectEnteredPath();
    return;
  }
  if (m.msg == WM_KEYDOWN && m.wParam == VK_ESCAPE) {
    Undo();
    return;
  }
  if (m.msg == WM_CHAR && (m.wParam == VK_RETURN || m.wParam == VK_ESCAPE)) return;  // no beep
  TCustomWideEdit::WndProc(m);
  if (m.msg == WM_CHAR && (m.wParam >= L' ' || m.wParam == VK_BACK)) combo_.UpdateAutoComplete(WideText());
}

// ---------------------------------------------------- auto-complete tree --
TPopupAutoCompleteTree::TPopupAutoCompleteTree(TPopupAutoCompleteDropDown& dropDown) : dropDown_(dropDown) {
  SetBorderStyle(TTreeBorderStyle::bsNone);
  ScrollBarOptions().SetScrollBars(TScrollStyle::ssNone);
  SetDefaultNodeHeight(17);
  SetIndent(0);
  auto& options = GetOptions();
  options.SetPaintOptions((options.PaintOptions() | toHotTrack | toPopupMode) &
                          ~(toShowTreeLines | toShowButtons | toShowRoot | toShowDropmark));
  options.SetSelectionOptions(options.SelectionOptions() | toFullRowSelect);
}

std::wstring TPopupAutoCompleteTree::RowText(PLazyNode node) const {
  if (!node || node->Index >= rows_.size()) return {};
  return rows_[node->Index];
}

void TPopupAutoCompleteTree::DoGetText(PLazyNode node, TColumnIndex column, TLSTTextType type, std::wstring& text) {
  text = RowText(node);
  TLazyStringTree::DoGetText(node, column, type, text);
}

void TPopupAutoCompleteTree::UpdateList(const std::wstring& text) {
  std::vector<std::wstring> rows;
  bool handled = false;
  if (dropDown_.OnAutoCompleteUpdateList) dropDown_.OnAutoCompleteUpdateList(*this, text, rows, handled);
  if (!handled) {
    // The folder part of the text, with its trailing backslash ("C:" gives
    // "C:\\"); a text without one has no folder part: "\\" would list the
    // root of the process's current drive, a drive the user never typed.
    std::wstring folder = text;
    if (text.size() != 1) {
      folder = ExtractFileDirW(std::wstring_view(text));
      if (!folder.empty()) folder = IncludeTrailingBackslashW(std::wstring_view(folder));
    }
    autoComplete_.SetCurrentDir(folder);
    autoComplete_.Refresh();
    const std::wstring typed = WideLowerCase(text);
    TWideStringList& names = autoComplete_.GetStringsW();
    for (int i = 0; i < names.Count(); ++i) {
      const std::wstring name = names.Get(i);
      if (WideLowerCase(name).compare(0, typed.size(), typed) == 0) rows.push_back(name);  // "" begins every name
    }
  }
  BeginUpdate();
  Clear();
  rows_ = std::move(rows);
  SetRootNodeCount(static_cast<uint32_t>(rows_.size()));
  EndUpdate();
}

void TPopupAutoCompleteTree::WndProc(ui::TMessage& m) {
  switch (m.msg) {
    case WM_MOUSEACTIVATE: m.result = MA_NOACTIVATE; return;
    case WM_MOUSEMOVE: TTreeDropDownWnd::HotTrack(*this, GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)); return;
    case WM_LBUTTONDOWN:
      if (PLazyNode node = GetNodeAt(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam))) {
        SetFocusedNode(node);
        dropDown_.RollUp(true);
      }
      return;
    default: break;
  }
  TLazyStringTree::WndProc(m);
}

// ------------------------------------------------ auto-complete drop-down --
TPopupAutoCompleteDropDown::TPopupAutoCompleteDropDown(TCustomLazyExplorerCombobox& combo) : combo_(combo) {
  tree_ = &Create<TPopupAutoCompleteTree>(*this);
  tree_->SetParent(this);
  SetTree(*tree_);
  SetPopupOptions(PopupOptions());
}

bool TPopupAutoCompleteDropDown::KeyPressDispatch(MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  switch (msg.wParam) {
    case VK_UP: case VK_DOWN: case VK_PRIOR: case VK_NEXT:
      NavigateTree(msg, msg.wParam);
      return true;
    default: return false;  // typing goes on in the edit
  }
}

void TPopupAutoCompleteDropDown::DoRollUp(bool selected) {
  TDropDownWnd::DoRollUp(selected);
  if (!selected) return;
  TComboEdit& edit = combo_.Edit();
  if (PLazyNode node = tree_->FocusedNode()) edit.SetWideText(tree_->RowText(node));
  edit.SelectEnteredPath();
}

// -------------------------------------------------------------- combo box --
TCustomLazyExplorerCombobox::TCustomLazyExplorerCombobox() {
  bounds_ = {0, 0, 300, 23};
  SetColor(ui::clWindow);
  edit_ = &Create<TComboEdit>(*this);
  edit_->SetParent(this);
  explorerDropDown_ = &Create<TPopupExplorerDropDown>();
  autoCompleteDropDown_ = &Create<TPopupAutoCompleteDropDown>(*this);
  explorerOptions_ = std::make_unique<TPopupExplorerOptions>(*explorerDropDown_);
  autoCompleteOptions_ = std::make_unique<TPopupAutoCompleteOptions>(*autoCompleteDropDown_);
  explorerDropDown_->OnFolderSelected = [this](TNamespace& folder) { SetEditNamespace(folder.Clone()); };
  // The pop-up's own wait cursors would flicker over the open list.
  explorerDropDown_->ExplorerTree().SetDisableWaitCursors(true);
}

TCustomLazyExplorerCombobox::~TCustomLazyExplorerCombobox() {
  if (TExplorerChangeDispatch* dispatch = ExplorerChangeDispatch())
    dispatch->UnRegisterChangeLink(this, this, TChangeLinkMatch::Either);
  CloseThemes();
}

void TCustomLazyExplorerCombobox::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = ui::RegisterOwnWindowClass(L"KvExplorerCombobox", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS);
  params.style |= WS_TABSTOP | WS_CLIPCHILDREN;
}

void TCustomLazyExplorerCombobox::InitHandle() {
  OpenThemes();
  LayoutChildren();
}

void TCustomLazyExplorerCombobox::OpenThemes() {
  CloseThemes();
  const HWND h = HandleIfAllocated();
  if (!h || !(options_ & eoThemed)) return;
  const wchar_t* classes[] = {L"combobox", L"button", L"edit"};
  for (int i = 0; i < 3; ++i) themes_[i] = OpenThemeData(h, classes[i]);
}

void TCustomLazyExplorerCombobox::CloseThemes() {
  for (HTHEME& theme : themes_) {
    if (theme) CloseThemeData(theme);
    theme = nullptr;
  }
}

void TCustomLazyExplorerCombobox::SetOptions(uint32_t options) {
  options_ = options;
  TPopupExplorerTree& tree = explorerDropDown_->ExplorerTree();
  const uint32_t images = tree.ExplorerImageOptions();
  tree.SetExplorerImageOptions((options & eoThreadedImages) ? images | toThreadedImages : images & ~toThreadedImages);
  for (TDropDownWnd* dropDown : {static_cast<TDropDownWnd*>(explorerDropDown_),
                                 static_cast<TDropDownWnd*>(autoCompleteDropDown_)}) {
    const TPopupOptions popup = dropDown->PopupOptions();
    dropDown->SetPopupOptions((options & eoThemed) ? popup | poThemeAware : popup & ~poThemeAware);
  }
  OpenThemes();
  LayoutChildren();
  Repaint();
}

void TCustomLazyExplorerCombobox::SetStyle(TComboBoxStyle style) {
  style_ = style;
  Repaint();
}

std::wstring TCustomLazyExplorerCombobox::DisplayText(TNamespace& item) {
  return item.GetFileSystem() && !item.IsDesktop() ? item.GetNameForParsing() : item.GetNameNormal();
}

void TCustomLazyExplorerCombobox::SetEditNamespace(std::unique_ptr<TNamespace> item) {
  if (!item) return;
  namespace_ = std::move(item);
  const std::wstring text = DisplayText(*namespace_);
  edit_->SetWideText(text);
  edit_->SetUndo(text, namespace_->AbsolutePIDL());
  Repaint();
  DoPathChange();
}

void TCustomLazyExplorerCombobox::DoPathChange() {
  if (OnPathChange) OnPathChange(*this, *namespace_);
  ChangeLinkDispatch(namespace_->AbsolutePIDL());
}

void TCustomLazyExplorerCombobox::DoInvalidEntry(const std::wstring& text) {
  if (OnInvalidEntry)
    OnInvalidEntry(*this, text);
  else
    ShowWideMessage(HandleIfAllocated(), InvalidPathCaption(), InvalidPathText(text));
}

void TCustomLazyExplorerCombobox::DoExecute(TNamespace& item) {
  if (ExecuteHook)
    ExecuteHook(*this, item);
  else
    item.ShellExecuteNamespace(L"", L"", false, false);
}

void TCustomLazyExplorerCombobox::ChangeLinkChanging(ui::TControl*, LPCITEMIDLIST pidl) {
  if (changing_) return;
  changing_ = true;
  const ScopeGuard done([this] { changing_ = false; });
  if (!pidl) {
    // The text goes; the current item stays.
    edit_->SetWideText(L"");
    Repaint();
    return;
  }
  if (namespace_ && ILIsEqualSafe(namespace_->AbsolutePIDL(), pidl)) return;
  SetEditNamespace(std::make_unique<TNamespace>(TPIDLManager::CopyPIDL(pidl), nullptr));
}

void TCustomLazyExplorerCombobox::ChangeLinkDispatch(LPCITEMIDLIST pidl) {
  if (TExplorerChangeDispatch* dispatch = ExplorerChangeDispatch()) dispatch->DispatchChange(this, pidl);
}

void TCustomLazyExplorerCombobox::ChangeLinkFreeing(TExplorerChangeLink& link) {
  if (link.ChangeLinkClient == this && linkedTree_ && link.ChangeLinkServer == linkedTree_) linkedTree_ = nullptr;
}

void TCustomLazyExplorerCombobox::SetLinkedTree(TCustomLazyExplorerTree* tree) {
  if (tree == linkedTree_) return;
  TExplorerChangeDispatch* dispatch = ExplorerChangeDispatch();
  if (dispatch && linkedTree_) dispatch->UnRegisterChangeLink(linkedTree_, this, TChangeLinkMatch::Both);
  linkedTree_ = tree;
  if (dispatch && tree)
    dispatch->RegisterChangeLink(
        tree, this, [this](ui::TControl* server, LPCITEMIDLIST pidl) { ChangeLinkChanging(server, pidl); },
        [this](TExplorerChangeLink& link) { ChangeLinkFreeing(link); });
}

void TCustomLazyExplorerCombobox::DropDownButtonClick() {
  if (explorerDropDown_->DroppedDown()) {
    explorerDropDown_->RollUp(false);
    return;
  }
  explorerDropDown_->SetSelectPIDL(namespace_ ? namespace_->AbsolutePIDL() : nullptr, true,
                                   options_ & eoSelectCurrentItem);
  SetFocus(edit_->Handle());
  explorerDropDown_->RollDown(this);
}

void TCustomLazyExplorerCombobox::UpdateAutoComplete(const std::wstring& text) {
  TPopupAutoCompleteDropDown& dropDown = *autoCompleteDropDown_;
  if (!(dropDown.PopupOptions() & poEnabled)) return;
  TPopupAutoCompleteTree& tree = dropDown.AutoCompleteTree();
  tree.UpdateList(text);
  const int rows = static_cast<int>(tree.Rows().size());
  if (rows == 0) {
    dropDown.RollUp(false);
    return;
  }
  const SIZE size{Width(), dropDown.HeightForRows(std::min(rows, dropDown.DropDownCount()))};
  if (dropDown.DroppedDown()) {
    dropDown.AutoPositionPopup(this, &size);
    dropDown.RefreshScrollbar();
    return;
  }
  dropDown.AutoPositionPopup(this, &size);  // sized before it shows
  dropDown.RefreshScrollbar();
  dropDown.RollDown(this, this, &size);
}

RECT TCustomLazyExplorerCombobox::ButtonRect() const {
  const int side = GetSystemMetrics(SM_CXVSCROLL);
  const int inset = Themed() ? 1 : 2;
  return {Width() - side - inset, inset, Width() - inset, Height() - inset};
}

void TCustomLazyExplorerCombobox::LayoutChildren() {
  if (!HandleAllocated()) return;
  const int inset = Themed() ? 1 : 2;
  const int left = inset + kIconMargin + kIconSize + kIconMargin;
  const RECT button = ButtonRect();
  const int textHeight = std::max(-Font().height + 4, 1);
  const int top = std::max((Height() - textHeight) / 2, inset);
  edit_->SetBounds(left, top, std::max<int>(button.left - left - 1, 1), std::min(textHeight, Height() - 2 * inset));
}

void TCustomLazyExplorerCombobox::Paint(HDC dc) {
  RECT r{0, 0, Width(), Height()};
  FillRect(dc, &r, GetSysColorBrush(Enabled() ? COLOR_WINDOW : COLOR_BTNFACE));
  RECT button = ButtonRect();
  if (style_ == TComboBoxStyle::cbsExplorerEnhanced)
    PaintEnhanced(dc, r, button);
  else
    PaintClassic(dc, r, button);
  if (namespace_) {
    const int index = namespace_->GetIconIndex(false, 0, true);
    const int inset = Themed() ? 1 : 2;
    if (index >= 0)
      ImageList_Draw(SmallSysImages().Handle(), index, dc, inset + kIconMargin, (Height() - kIconSize) / 2,
                     ILD_TRANSPARENT);
  }
}

void TCustomLazyExplorerCombobox::PaintClassic(HDC dc, RECT& r, RECT& button) {
  if (Themed()) {
    DrawThemeBackground(themes_[0], dc, CP_BORDER, Enabled() ? CBB_NORMAL : CBB_DISABLED, &r, nullptr);
    const int state = !Enabled() ? CBXS_DISABLED : buttonPressed_ ? CBXS_PRESSED : CBXS_NORMAL;
    DrawThemeBackground(themes_[0], dc, CP_DROPDOWNBUTTON, state, &button, nullptr);
  } else {
    DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT);
    DrawFrameControl(dc, &button, DFC_SCROLL,
                     DFCS_SCROLLCOMBOBOX | (buttonPressed_ ? DFCS_PUSHED : 0) | (Enabled() ? 0 : DFCS_INACTIVE));
  }
}

// The enhanced look: a flat frame like an edit's, and a flat button (an arrow
// on the box's own background, raised only while pressed).
void TCustomLazyExplorerCombobox::PaintEnhanced(HDC dc, RECT& r, RECT& button) {
  if (Themed()) {
    DrawThemeBackground(themes_[2], dc, EP_EDITTEXT, Enabled() ? ETS_NORMAL : ETS_DISABLED, &r, nullptr);
    if (buttonPressed_ || !Enabled())
      DrawThemeBackground(themes_[1], dc, BP_PUSHBUTTON, Enabled() ? PBS_PRESSED : PBS_DISABLED, &button, nullptr);
  } else {
    FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
    if (buttonPressed_) {
      FillRect(dc, &button, GetSysColorBrush(COLOR_BTNFACE));
      FrameRect(dc, &button, GetSysColorBrush(COLOR_BTNSHADOW));
    }
  }
  // The arrow: a small downward triangle in the button's middle.
  const int cx = (button.left + button.right) / 2, cy = (button.top + button.bottom) / 2 + 1;
  const POINT arrow[] = {{cx - 4, cy - 2}, {cx + 4, cy - 2}, {cx, cy + 2}};
  const ui::BrushObject brush = ui::MakeSolidBrush(GetSysColor(Enabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
  const ui::RegionObject glyph(CreatePolygonRgn(arrow, 3, WINDING));
  if (glyph) FillRgn(dc, glyph.Get(), brush.Get());
}

void TCustomLazyExplorerCombobox::WndProc(ui::TMessage& m) {
  switch (m.msg) {
    case WM_PAINT: {
      const ui::PaintDc paint = ui::BeginPaintDc(HandleIfAllocated());
      Paint(paint.Get());
      return;
    }
    case WM_ERASEBKGND: m.result = 1; return;
    case WM_SIZE: LayoutChildren(); break;
    case WM_SETFOCUS: SetFocus(edit_->Handle()); return;
    case WM_THEMECHANGED: OpenThemes(); LayoutChildren(); Repaint(); break;
    case WM_LBUTTONDOWN: {
      const POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
      const RECT button = ButtonRect();
      if (PtInRect(&button, p)) {
        buttonPressed_ = true;
        Repaint();
        buttonPressed_ = false;
        DropDownButtonClick();
        Repaint();
      } else {
        SetFocus(edit_->Handle());
      }
      return;
    }
    default: break;
  }
  TControl::WndProc(m);
}

}  // namespace kv
