// In-place editing: the tree's side of the protocol (open, place, end and
// cancel an editor through its link) and the string tree's editor.

#include "treeview/edit_link_win.h"

#include <algorithm>

#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"

namespace kv {

namespace {

// Posted to the tree: free the editor window in wParam (if still its own).
constexpr UINT WM_LTRELEASEEDITOR = WM_APP + 0x21;

}  // namespace

// ------------------------------------------------------------ the tree side --

bool TBaseLazyTree::EditNode(PLazyNode node, TColumnIndex column) {
  LazyTreeAssert(node != nullptr, "Node must not be nil.");
  // Without columns only -1 is a column; with columns one of the header's.
  LazyTreeAssert(column == kNoColumn || (HeaderUsesColumns() && Header().Columns().IsValidColumn(column)),
                 "Column must be a valid column index (-1 if no header is shown).");
  if (!states_.Contains(tsEditing) && !ReadOnly()) {
    if (node != FocusedNode()) DoFocusNode(node, false);
    if (node == FocusedNode() && CanEdit(node, column)) {
      editColumn_ = column;
      if (!node->States.Contains(nsInitialized)) InitNode(node);
      DoEdit();
    }
  }
  return states_.Contains(tsEditing);
}

bool TBaseLazyTree::CanEdit(PLazyNode node, TColumnIndex column) {
  if (!HasOption(toEditable) || !Enabled() || ReadOnly()) return false;
  bool allowed = true;
  DoCanEdit(node, column, allowed);
  return allowed;
}

void TBaseLazyTree::DoCanEdit(PLazyNode node, TColumnIndex column, bool& allowed) {
  if (OnEditing) OnEditing(*this, node, column, allowed);
}

PLTEditLink TBaseLazyTree::DoCreateEditor(PLazyNode node, TColumnIndex column) {
  PLTEditLink link;
  if (OnCreateEditor) {
    link = OnCreateEditor(*this, node, column);
    if (!link) ShowError("Edit link must not be nil.", 2000);
  }
  return link;
}

void TBaseLazyTree::DoEdit() {
  HideHint();
  StopTimer(kScrollTimer);
  StopTimer(kEditTimer);
  DoStateChange({}, {tsEditPending});
  const PLazyNode node = FocusedNode();
  if (node == nullptr || node->States.Contains(nsDisabled) || ReadOnly() || editLink_) return;
  editLink_ = DoCreateEditor(node, editColumn_);
  if (!editLink_) return;
  editNode_ = node;
  DoStateChange({tsEditing}, {tsToggleFocusPending, tsClearPending, tsDrawSelPending, tsDrawSelecting,
                              tsMouseCheckPending, tsDragPending, tsControlDragPending, tsScrolling,
                              tsScrollPending});
  ScrollIntoView(node, HasOption(toCenterScrollIntoView), true);
  const PLTEditLink link = editLink_;  // kept while its steps run
  if (link->PrepareEdit(*this, node, editColumn_)) {
    UpdateEditBounds();
    InvalidateNode(node);
    if (!link->BeginEdit()) DoStateChange({}, {tsEditing});
  } else {
    DoStateChange({}, {tsEditing});
  }
  if (!states_.Contains(tsEditing) && editLink_ == link) editLink_.reset();
}

void TBaseLazyTree::UpdateEditBounds() {
  if (!states_.Contains(tsEditing) || !editLink_ || FocusedNode() == nullptr) return;
  const PLazyNode node = FocusedNode();
  const TLazyRect cell = GetDisplayRect(node, editColumn_, !MultiLine(node));
  RECT r{cell.Left, cell.Top, cell.Right, cell.Bottom};
  if (HasOption(toGridExtensions)) {
    // The editor reaches from the text to the cell's far edge: the right one
    // for left-aligned text, the left one otherwise (as read).
    const TLazyRect whole = GetDisplayRect(node, editColumn_, false);
    TLTAlignment alignment = CellAlignment(editColumn_);
    if (CellRightToLeft(editColumn_) && alignment != TLTAlignment::taCenter)
      alignment = alignment == TLTAlignment::taLeftJustify ? TLTAlignment::taRightJustify
                                                           : TLTAlignment::taLeftJustify;
    if (alignment == TLTAlignment::taLeftJustify)
      r.right = whole.Right;
    else
      r.left = whole.Left;
  }
  if (HasOption(toShowHorzGridLines)) --r.bottom;
  editLink_->SetBounds(r);
}

bool TBaseLazyTree::EndEditNode() {
  if (!states_.Contains(tsEditing) && !states_.Contains(tsEditPending)) return true;
  return DoEndEdit();
}

bool TBaseLazyTree::CancelEditNode() {
  if (!states_.Contains(tsEditing) && !states_.Contains(tsEditPending)) return true;
  return !HandleAllocated() || DoCancelEdit();
}

bool TBaseLazyTree::DoEndEdit() {
  StopTimer(kEditTimer);
  bool closed = true;
  if (states_.Contains(tsEditing)) {
    const PLTEditLink link = editLink_;
    closed = !link || link->EndEdit();
    // The link's steps may have ended the edit already (the editor lost the focus).
    if (closed && states_.Contains(tsEditing)) {
      DoStateChange({}, {tsEditing});
      if (editLink_ == link) editLink_.reset();
      if (OnEdited) OnEdited(*this, FocusedNode(), editColumn_);
    }
  }
  DoStateChange({}, {tsEditPending});
  return closed;
}

bool TBaseLazyTree::DoCancelEdit() {
  StopTimer(kEditTimer);
  DoStateChange({}, {tsEditPending});
  bool closed = true;
  if (states_.Contains(tsEditing)) {
    const PLTEditLink link = editLink_;
    closed = !link || link->CancelEdit();
    if (closed && states_.Contains(tsEditing)) {
      DoStateChange({}, {tsEditing});
      // The handler still finds the link.
      if (OnEditCancelled) OnEditCancelled(*this, editColumn_);
      if (editLink_ == link) editLink_.reset();
    }
  }
  return closed;
}

void TBaseLazyTree::ReleaseEditor(ui::TControl* editor) {
  if (editor == nullptr) return;
  if (HWND hwnd = HandleIfAllocated(); hwnd != nullptr && !destroyingWindow_)
    PostMessageW(hwnd, WM_LTRELEASEEDITOR, reinterpret_cast<WPARAM>(editor), 0);
  // Without a window the editor goes with the tree's other components.
}

void TBaseLazyTree::GetTextInfo(PLazyNode /*node*/, TColumnIndex /*column*/, LOGFONTW& font, RECT& r,
                                std::wstring& text) {
  r = {};
  text.clear();
  GetObjectW(FontHandle(), sizeof font, &font);
}

// The edit timer and the release of editors whose links went.
bool TBaseLazyTree::EditMessage(ui::TMessage& m) {
  if (m.msg == WM_TIMER && m.wParam == kEditTimer) {
    DoEdit();
    return true;
  }
  if (m.msg != WM_LTRELEASEEDITOR) return false;
  auto* editor = reinterpret_cast<ui::TComponent*>(m.wParam);
  for (std::size_t i = 0; i < ComponentCount(); ++i)
    if (Components(i) == editor) {
      FreeComponent(editor);
      break;
    }
  return true;
}

// -------------------------------------------------------------- the editor --

TLTEdit::TLTEdit(TStringEditLink& link) : link_(&link) {
  SetVisible(false);
  SetReadOnly(false);
}

void TLTEdit::CreateParams(TCreateParams& params) {
  ui::TEdit::CreateParams(params);
  params.style |= ES_MULTILINE;
  params.style &= ~static_cast<DWORD>(WS_TABSTOP);
  const bool multiLine = link_ != nullptr && link_->tree_ != nullptr && link_->node_ != nullptr &&
                         link_->tree_->MultiLine(link_->node_);
  if (multiLine) {
    params.style &= ~static_cast<DWORD>(ES_AUTOHSCROLL | WS_HSCROLL);
    params.style |= ES_AUTOVSCROLL | WS_VSCROLL;
  }
  const bool themed = link_ != nullptr && link_->tree_ != nullptr && link_->tree_->TreeStates().Contains(tsUseThemes);
  if (themed) {
    params.style &= ~static_cast<DWORD>(WS_BORDER);
    params.exStyle |= WS_EX_CLIENTEDGE;
  } else {
    params.style |= WS_BORDER;
    params.exStyle &= ~static_cast<DWORD>(WS_EX_CLIENTEDGE);
  }
}

std::wstring TLTEdit::WideText() const {
  HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return {};
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

void TLTEdit::SetWideText(const std::wstring& text) {
  if (HWND hwnd = HandleIfAllocated()) {
    SetWindowTextW(hwnd, text.c_str());
    SendMessageW(hwnd, EM_SETMODIFY, FALSE, 0);
  }
}

bool TLTEdit::Modified() const {
  HWND hwnd = HandleIfAllocated();
  return hwnd != nullptr && SendMessageW(hwnd, EM_GETMODIFY, 0, 0) != 0;
}

void TLTEdit::CommandNotify(WORD code) {
  if (code != EN_UPDATE || link_ == nullptr || link_->tree_ == nullptr) return;
  TCustomLazyStringTree& tree = *link_->tree_;
  if (tree.HasOption(toGridExtensions) || tree.MultiLine(link_->node_)) return;
  PostMessageW(HandleIfAllocated(), CM_AUTOADJUST, 0, 0);
}

void TLTEdit::AutoAdjustSize() {
  if (link_ == nullptr || link_->tree_ == nullptr || link_->stopping_) return;
  TCustomLazyStringTree& tree = *link_->tree_;
  if (tree.MultiLine(link_->node_)) return;
  HWND hwnd = HandleIfAllocated();
  SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
  const std::wstring text = WideText();
  int width = 2 * tree.TextMargin();
  {
    const ui::WindowDc dc = ui::GetClientDc(hwnd);
    const int saved = SaveDC(dc.Get());
    SelectObject(dc.Get(), reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    SIZE size{};
    if (!text.empty()) GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
    width += size.cx;
    RestoreDC(dc.Get(), saved);
  }
  const RECT bounds = link_->GetBounds();
  if (width < bounds.right - bounds.left) tree.InvalidateNode(link_->node_);
  RECT r = bounds;
  if (link_->alignment_ == TLTAlignment::taRightJustify)
    r.left = r.right - width;
  else
    r.right = r.left + width;
  link_->SetBounds(r);
  SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
}

void TLTEdit::KeyDown(ui::TMessage& m) {
  TCustomLazyStringTree* tree = link_->tree_;
  const bool multiLine = tree->MultiLine(link_->node_);
  switch (m.wParam) {
    case VK_RETURN:
      if (!multiLine || GetKeyState(VK_CONTROL) < 0) {
        tree->InvalidateNode(link_->node_);
        // Ending the edit may free the link: nothing of it is used afterwards.
        tree->DoEndEdit();
        SetFocus(tree->HandleIfAllocated());
        return;
      }
      break;
    case VK_ESCAPE:
      tree->DoCancelEdit();
      SetFocus(tree->HandleIfAllocated());
      return;
    case VK_UP:
    case VK_DOWN:
      if (!multiLine) m.wParam = m.wParam == VK_UP ? VK_LEFT : VK_RIGHT;
      break;
  }
  ui::TEdit::WndProc(m);
}

void TLTEdit::WndProc(ui::TMessage& m) {
  switch (m.msg) {
    case WM_KEYDOWN:
      if (link_ != nullptr && link_->tree_ != nullptr) {
        KeyDown(m);
        return;
      }
      break;
    case WM_CHAR:
      if (m.wParam == VK_TAB || m.wParam == VK_ESCAPE) return;
      // Enter ends a single-line edit in the key handler; its character is not text.
      if (m.wParam == VK_RETURN && link_ != nullptr && link_->tree_ != nullptr &&
          !link_->tree_->MultiLine(link_->node_))
        return;
      if (m.wParam == '\n' && GetKeyState(VK_CONTROL) < 0) return;  // Ctrl+Enter ended the edit
      break;
    case WM_GETDLGCODE:
      ui::TEdit::WndProc(m);
      m.result |= DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS;
      return;
    case WM_KILLFOCUS:
      ui::TEdit::WndProc(m);
      if (link_ != nullptr && link_->tree_ != nullptr && !link_->stopping_) {
        TCustomLazyStringTree* tree = link_->tree_;
        if (tree->GetOptions().StringOptions() & toAutoAcceptEditChange)
          tree->DoEndEdit();
        else
          tree->DoCancelEdit();
      }
      return;
    case WM_DESTROY:
      RemovePropW(HandleIfAllocated(), ui::kWantAllKeysProp);
      if (link_ != nullptr && link_->tree_ != nullptr && !link_->stopping_ &&
          (link_->tree_->GetOptions().StringOptions() & toAutoAcceptEditChange) && Modified())
        link_->tree_->SetText(link_->node_, link_->column_, WideText());
      break;
    case CM_AUTOADJUST:
      AutoAdjustSize();
      return;
  }
  ui::TEdit::WndProc(m);
}

// ---------------------------------------------------------------- the link --

TStringEditLink::TStringEditLink() = default;

TStringEditLink::~TStringEditLink() {
  if (edit_ == nullptr) return;
  edit_->Detach();
  // The tree owns the editor window; it is freed from the message loop, as
  // this may run inside one of the editor's own messages.
  if (tree_ != nullptr && !alive_.expired()) {
    edit_->Hide();
    tree_->ReleaseEditor(edit_);
  }
}

bool TStringEditLink::PrepareEdit(TBaseLazyTree& tree, PLazyNode node, TColumnIndex column) {
  auto* stringTree = dynamic_cast<TCustomLazyStringTree*>(&tree);
  if (stringTree == nullptr) return false;
  tree_ = stringTree;
  alive_ = tree.LivenessToken();
  node_ = node;
  column_ = column;
  LOGFONTW font{};
  std::wstring text;
  tree.GetTextInfo(node, column, font, textBounds_, text);
  if (edit_ == nullptr) {
    edit_ = &tree.Create<TLTEdit>(*this);
    edit_->SetParent(&tree);
  }
  font_ = ui::FontObject(CreateFontIndirectW(&font));
  HWND hwnd = edit_->Handle();
  if (hwnd == nullptr) return false;
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
  // Any key of the editor is its own, Enter and Escape included.
  SetPropW(hwnd, ui::kWantAllKeysProp, reinterpret_cast<HANDLE>(1));
  edit_->SetWideText(text);
  // The column's (or the tree's) alignment, mirrored for right-to-left reading.
  alignment_ = tree.CellAlignment(column);
  const bool rightToLeft = tree.CellRightToLeft(column);
  if (rightToLeft && alignment_ != TLTAlignment::taCenter)
    alignment_ = alignment_ == TLTAlignment::taLeftJustify ? TLTAlignment::taRightJustify
                                                           : TLTAlignment::taLeftJustify;
  LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE) & ~static_cast<LONG_PTR>(ES_CENTER | ES_RIGHT);
  if (alignment_ == TLTAlignment::taRightJustify) style |= ES_RIGHT;
  else if (alignment_ == TLTAlignment::taCenter) style |= ES_CENTER;
  SetWindowLongPtrW(hwnd, GWL_STYLE, style);
  LONG_PTR exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_RTLREADING);
  if (rightToLeft) exStyle |= WS_EX_RTLREADING;
  SetWindowLongPtrW(hwnd, GWL_EXSTYLE, exStyle);
  return true;
}

bool TStringEditLink::BeginEdit() {
  if (stopping_ || edit_ == nullptr) return true;
  HWND hwnd = edit_->HandleIfAllocated();
  edit_->Show();
  SendMessageW(hwnd, EM_SETSEL, 0, -1);
  SetFocus(hwnd);
  return true;
}

bool TStringEditLink::EndEdit() {
  if (stopping_) return true;
  stopping_ = true;
  if (edit_ != nullptr) {
    if (edit_->Modified()) tree_->SetText(node_, column_, edit_->WideText());
    edit_->Hide();
  }
  return true;
}

// The tree hears of the cancel also when someone else asked the link for
// it; when the tree asked, its second request finds the link stopping.
bool TStringEditLink::CancelEdit() {
  if (stopping_) return true;
  stopping_ = true;
  if (edit_ != nullptr) edit_->Hide();
  if (tree_ != nullptr && !alive_.expired()) tree_->CancelEditNode();
  return true;
}

RECT TStringEditLink::GetBounds() {
  if (edit_ == nullptr) return {};
  const ui::TBounds b = edit_->Bounds();
  return {b.left, b.top, b.left + b.width, b.top + b.height};
}

void TStringEditLink::ProcessMessage(ui::TMessage& m) {
  if (edit_ != nullptr && edit_->HandleAllocated())
    m.result = SendMessageW(edit_->HandleIfAllocated(), m.msg, m.wParam, m.lParam);
}

void TStringEditLink::SetBounds(RECT r) {
  if (stopping_ || edit_ == nullptr || tree_ == nullptr) return;
  constexpr int kMinWidth = 30;
  r.left = std::max<LONG>(r.left, 0);
  if (r.right - r.left < kMinWidth) {
    if (alignment_ == TLTAlignment::taRightJustify)
      r.left = r.right - kMinWidth;
    else
      r.right = r.left + kMinWidth;
  }
  r.right = std::min<LONG>(r.right, tree_->ViewWidth());
  // A right-aligned widening stays inside the client too.
  if (r.left < 0) r = {0, r.top, std::min<LONG>(kMinWidth, tree_->ViewWidth()), r.bottom};
  edit_->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
  HWND hwnd = edit_->HandleIfAllocated();
  if (hwnd == nullptr) return;
  const int offset = tree_->TreeStates().Contains(tsUseThemes) ? 3 : 2;
  RECT format{};
  GetClientRect(hwnd, &format);
  InflateRect(&format, offset - tree_->TextMargin(), offset);
  if (!tree_->MultiLine(node_)) OffsetRect(&format, 0, textBounds_.top - r.top);
  SendMessageW(hwnd, EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&format));
}

}  // namespace kv
