// The keyboard side of the tree window: navigation keys move the focus and
// the selection, expand and collapse, scroll, Space toggles check boxes, and
// character keys feed the incremental search (timer 7 ends it).

#include <algorithm>

#include "treeview/base_lazy_tree_win.h"
#include "ui/application_win.h"

namespace kv {

namespace {

constexpr unsigned kSearchTimerId = 7;

// Shift and Ctrl as held now; Alt as the key message says (its context bit).
UINT HeldModifiers(LPARAM keyData) {
  UINT shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= MK_SHIFT;
  if (GetKeyState(VK_CONTROL) < 0) shift |= MK_CONTROL;
  if ((static_cast<UINT>(keyData) >> 16) & KF_ALTDOWN) shift |= MK_ALT;
  return shift;
}

// The key the main keyboard's "*", "+", "-" and "/" produce is taken as the
// numeric keypad's, so both act alike.
WORD KeypadEquivalent(WORD key, UINT scanCode) {
  BYTE state[256];
  if (!GetKeyboardState(state)) return key;
  WORD chars[2] = {};
  if (ToAscii(key, scanCode, state, chars, 0) != 1) return key;
  switch (chars[0] & 0xFF) {
    case '*': return VK_MULTIPLY;
    case '+': return VK_ADD;
    case '-': return VK_SUBTRACT;
    case '/': return VK_DIVIDE;
    default: return key;
  }
}

}  // namespace

void TBaseLazyTree::SetIncrementalSearch(TLTIncrementalSearch value) {
  if (incrementalSearch_ == value) return;
  incrementalSearch_ = value;
  if (value == TLTIncrementalSearch::isNone) EndSearch();
}

void TBaseLazyTree::EndSearch() {
  StopTimer(kSearchTimerId);
  searchBuffer_.clear();
  lastSearchNode_ = nullptr;
  DoStateChange({}, {tsSearching, tsSearchPending});
}

int TBaseLazyTree::DoIncrementalSearch(PLazyNode node, const std::u16string& text) {
  int result = 0;
  if (OnIncrementalSearch) OnIncrementalSearch(*this, node, text, result);
  return result;
}

// Chooses the search's walk (initialised, visible or all nodes, forward or
// backward; each step wraps at the end, and from no node starts at the
// first, or last) and moves the start node one step along it when asked.
TBaseLazyTree::TSearchStep TBaseLazyTree::SetupNavigation(PLazyNode& start, bool forward, bool moveStart) {
  TSearchStep step;
  switch (incrementalSearch_) {
    case TLTIncrementalSearch::isInitializedOnly:
      step = [this, forward](PLazyNode node) {
        if (node != nullptr) node = forward ? GetNextNoInit(node) : GetPreviousNoInit(node);
        return node != nullptr ? node : forward ? GetFirstNoInit() : GetLastNoInit();
      };
      break;
    case TLTIncrementalSearch::isVisibleOnly:
      step = [this, forward](PLazyNode node) {
        if (node != nullptr) node = forward ? GetNextVisible(node) : GetPreviousVisible(node);
        return node != nullptr ? node : forward ? GetFirstVisible() : GetLastVisible();
      };
      break;
    default:
      step = [this, forward](PLazyNode node) {
        if (node != nullptr) node = forward ? GetNext(node) : GetPrevious(node);
        return node != nullptr ? node : forward ? GetFirst() : GetLast();
      };
      break;
  }
  if (moveStart) start = step(start);
  return step;
}

// The window is a Unicode window: the character arrives as UTF-16 and is
// taken as it is.
void TBaseLazyTree::HandleIncrementalSearch(char16_t charCode) {
  StopTimer(kSearchTimerId);
  if (incrementalSearch_ == TLTIncrementalSearch::isNone) return;
  if (charCode != 0) {
    DoStateChange({tsSearching});
    const bool backspace = charCode == 8;
    if (!(backspace && searchBuffer_.size() <= 1)) {
      PLazyNode start = searchStart_ == TLTSearchStart::ssLastHit       ? lastSearchNode_
                        : searchStart_ == TLTSearchStart::ssFocusedNode ? FocusedNode()
                                                                        : nullptr;
      if (start != nullptr &&
          ((incrementalSearch_ == TLTIncrementalSearch::isInitializedOnly &&
            !start->States.Contains(nsInitialized)) ||
           (incrementalSearch_ == TLTIncrementalSearch::isVisibleOnly && !FullyVisible(start))))
        start = nullptr;
      const PLazyNode stop = start;
      bool forward = searchDirection_ == TLTSearchDirection::sdForward;
      if (backspace) forward = !forward;
      bool repeat = searchBuffer_.size() == 1 && !backspace && charCode == searchBuffer_[0];
      // A doubled letter the start node begins with is searched as a prefix;
      // without a start node a repeat stays a repeat.
      if (repeat && start != nullptr && DoIncrementalSearch(start, searchBuffer_ + charCode) == 0)
        repeat = false;
      const TSearchStep step =
          SetupNavigation(start, forward, searchBuffer_.empty() || start == nullptr || repeat || backspace);
      std::u16string text;
      if (repeat) {
        text = searchBuffer_;
      } else if (backspace) {
        searchBuffer_.pop_back();
        text = searchBuffer_;
      } else {
        text = searchBuffer_ + charCode;
      }
      PLazyNode found = SearchRound(
          start, stop, step,
          [&](PLazyNode n) { return DoIncrementalSearch(n, text) == 0; });
      if (found != nullptr) {
        ClearSelection();
        searchBuffer_ = text;
        lastSearchNode_ = found;
        DoFocusNode(found, false);
        AddToSelection(found);
        DoFocusChange(FocusedNode(), FocusedColumn());
      } else if (stop != nullptr) {
        if (beep_)
          beep_();
        else
          MessageBeep(MB_OK);
      }
    }
  }
  StartTimer(kSearchTimerId, searchTimeout_);
}

bool TBaseLazyTree::DoKeyAction(WORD& key, UINT& shift) {
  bool doDefault = true;
  if (OnKeyAction) OnKeyAction(*this, key, shift, doDefault);
  return doDefault;
}

// The column keys. Tab walks the visible columns in display order and wraps
// onto the next (Shift: previous) visible node; Home and End go to the first
// and last visible column; Left and Right step one column without wrapping.
// Only columns DoFocusChanging accepts are taken; `target` and `column` get
// the new focus. False when the key leaves the focus where it is.
bool TBaseLazyTree::ColumnKey(WORD key, bool shift, bool ctrl, PLazyNode& target, TColumnIndex& column) {
  if (!HeaderUsesColumns()) return false;
  const TLazyTreeColumns& columns = Header().Columns();
  const PLazyNode focused = FocusedNode();
  const bool back = key == VK_LEFT || (key == VK_TAB && shift);
  auto accepts = [&](PLazyNode node, TColumnIndex c) {
    return DoFocusChanging(focused, node, FocusedColumn(), c);
  };
  if (key == VK_HOME || key == VK_END) {
    // The node moves only with Ctrl.
    target = ctrl ? (key == VK_HOME ? GetFirstVisible() : GetLastVisible()) : focused;
    if (target == nullptr) return false;
    if (HasOption(toFullRowSelect)) return true;
    for (TColumnIndex c = key == VK_HOME ? columns.GetFirstVisibleColumn() : columns.GetLastVisibleColumn();
         c >= 0; c = key == VK_HOME ? columns.GetNextVisibleColumn(c) : columns.GetPreviousVisibleColumn(c))
      if (accepts(target, c)) {
        column = c;
        return true;
      }
    return target != focused;
  }
  // Without a focused node Shift+Tab starts from the last node; the other
  // keys, Left and Right as well, from the first.
  PLazyNode node = focused != nullptr ? focused : back && key == VK_TAB ? GetLastVisible() : GetFirstVisible();
  if (node == nullptr) return false;
  TColumnIndex c = columns.IsValidColumn(FocusedColumn()) ? FocusedColumn() : kInvalidColumn;
  if (focused == nullptr || c == kInvalidColumn)
    c = back ? columns.GetLastVisibleColumn() : columns.GetFirstVisibleColumn();
  else
    c = back ? columns.GetPreviousVisibleColumn(c) : columns.GetNextVisibleColumn(c);
  // Ends at an accepted column or when the nodes run out.
  for (;;) {
    if (c < 0) {
      if (key != VK_TAB) return false;
      node = back ? GetPreviousVisible(node) : GetNextVisible(node);
      if (node == nullptr) return false;
      c = back ? columns.GetLastVisibleColumn() : columns.GetFirstVisibleColumn();
      if (c < 0) return false;
    }
    if (accepts(node, c)) break;
    c = back ? columns.GetPreviousVisibleColumn(c) : columns.GetNextVisibleColumn(c);
  }
  target = node;
  column = c;
  return true;
}

// Shift with a navigation key grows or shrinks the selection step by step,
// leaving nodes selected otherwise (Ctrl clicks) as they are. A step back
// towards the range anchor deselects the node it leaves; the paging keys
// toggle the whole range they crossed.
void TBaseLazyTree::ExtendSelectionByKey(WORD key, PLazyNode previous, PLazyNode lastFocused, PLazyNode now,
                                         bool rangeRefresh, bool addFocused) {
  if (rangeRefresh) {
    if (lastFocused != nullptr && lastFocused != now) ToggleSelection(lastFocused, now);
    if (addFocused && !Selected(now)) AddToSelection(now);
    return;
  }
  const PLazyNode anchor = RangeAnchor();
  if (previous != nullptr && anchor != nullptr && previous != now) {
    bool back = false;
    switch (key) {
      case VK_UP: back = CompareNodePositions(previous, anchor) > 0; break;
      case VK_DOWN: back = CompareNodePositions(previous, anchor) < 0; break;
      case VK_RIGHT: back = CompareNodePositions(now, anchor) < 0; break;
      case VK_LEFT:
        if (now == previous->Parent && previous == GetFirstChild(now))
          back = CompareNodePositions(now, anchor) > 0;
        else if (now == previous->Parent)
          SelectNodes(previous, now, true);
        break;
      default: break;
    }
    if (back) RemoveFromSelection(previous);
  }
  if (addFocused && !Selected(now)) AddToSelection(now);
}

void TBaseLazyTree::KeyDown(WORD key, UINT shiftState) {
  const bool shift = shiftState & MK_SHIFT, ctrl = shiftState & MK_CONTROL, alt = shiftState & MK_ALT;
  const bool anyModifier = shift || ctrl || alt;
  if (states_.Contains(tsKeyCheckPending) && key != VK_SPACE) {
    DoStateChange({}, {tsKeyCheckPending});
    if (checkNode_ != nullptr) {
      WriteCheckState(checkNode_, NormalCheckState(checkNode_->CheckState));
      InvalidateNode(checkNode_);
      checkNode_ = nullptr;
    }
  }
  const bool multi = HasOption(toMultiSelect);
  switch (key) {
    case VK_BACK: case VK_TAB: case VK_PRIOR: case VK_NEXT: case VK_END: case VK_HOME:
    case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN: {
      if (key == VK_BACK && states_.Contains(tsSearching)) {
        DoStateChange({tsSearchPending});
        return;
      }
      const bool extended = shift && multi && !states_.Contains(tsEditing);
      const bool paging = key == VK_PRIOR || key == VK_NEXT || key == VK_END || key == VK_HOME;
      const bool rangeRefresh = paging && extended;
      const bool invalidateAfter = rangeRefresh || SelectedCount() > 1;
      const bool clearAfter = !anyModifier || key == VK_BACK || key == VK_TAB || !multi ||
                              (HasOption(toGridExtensions) && !shift);
      PLazyNode lastFocused = FocusedNode();
      if (lastFocused == nullptr && anyModifier) lastFocused = GetFirstVisible();
      EnsureRangeAnchor();
      PLazyNode target = FocusedNode();
      const PLazyNode focused = FocusedNode();
      TColumnIndex column = FocusedColumn();
      bool columnAsked = false;  // the new focus was accepted by DoFocusChanging already
      const bool columnFocus = HeaderUsesColumns() && HasOption(toExtendedFocus);
      const int clientHeight = ViewHeight();
      switch (key) {
        case VK_BACK:
          if (focused != nullptr && focused->Parent != RootNode()) target = focused->Parent;
          break;
        case VK_TAB:
          if (!columnFocus || !ColumnKey(key, shift, ctrl, target, column)) return;
          columnAsked = true;
          break;
        case VK_PRIOR:
        case VK_NEXT: {
          const int sign = key == VK_PRIOR ? 1 : -1;
          if (ctrl) {
            SetOffsetY(OffsetY() + sign * clientHeight);
            return;
          }
          if (focused == nullptr) {
            target = key == VK_PRIOR ? GetFirstVisible() : GetLastVisible();
            break;
          }
          std::int64_t covered = 0;
          for (PLazyNode n = focused; covered < clientHeight;) {
            PLazyNode step = key == VK_PRIOR ? GetPreviousVisible(n) : GetNextVisible(n);
            if (step == nullptr) break;
            covered += NodeHeight(step);
            n = target = step;
          }
          break;
        }
        case VK_HOME:
        case VK_END:
          if (HasOption(toGridExtensions) && HeaderUsesColumns()) {
            if (!ColumnKey(key, shift, ctrl, target, column)) return;
            columnAsked = true;
            break;
          }
          // Grid extensions move the node only with Ctrl.
          if (HasOption(toGridExtensions) && !ctrl) break;
          target = key == VK_HOME ? GetFirstVisible() : GetLastVisible();
          if (ctrl && !shift && !alt && !HasOption(toGridExtensions)) {
            ScrollIntoView(target, HasOption(toCenterScrollIntoView), !HasOption(toDisableAutoscrollOnFocus));
            SetOffsetX(key == VK_HOME ? 0 : -2147483647);
            return;
          }
          break;
        case VK_LEFT:
        case VK_RIGHT:
          if (ctrl) {
            const int step = static_cast<int>(Indent());
            SetOffsetX(OffsetX() + (key == VK_LEFT ? step : -step));
            return;
          }
          // Grid extensions make them column keys, also in a tree without columns.
          if (HasOption(toExtendedFocus) && HasOption(toGridExtensions)) {
            if (!ColumnKey(key, shift, ctrl, target, column)) return;
            columnAsked = true;
          } else if (focused == nullptr) {
            target = GetFirstVisible();
          } else if (key == VK_LEFT && Expanded(focused) && HasChildren(focused) && !anyModifier) {
            ToggleNode(focused);
          } else if (key == VK_RIGHT && !Expanded(focused) && HasChildren(focused) && !anyModifier) {
            ToggleNode(focused);
          } else if (key == VK_LEFT) {
            if (focused->Parent != RootNode()) target = focused->Parent;
          } else if (PLazyNode child = GetFirstVisibleChild(focused); child != nullptr) {
            target = child;
          }
          break;
        case VK_UP:
        case VK_DOWN: {
          if (ctrl) {
            const int step = static_cast<int>(DefaultNodeHeight());
            SetOffsetY(OffsetY() + (key == VK_UP ? step : -step));
            return;
          }
          PLazyNode next = focused == nullptr ? (key == VK_UP ? GetLastVisible() : GetFirstVisible())
                           : key == VK_UP    ? GetPreviousVisible(focused)
                                             : GetNextVisible(focused);
          if (next == nullptr) {
            if (focused != nullptr) InvalidateNode(focused);
            return;
          }
          if (states_.Contains(tsEditing) && !DoEndEdit()) return;
          target = next;
          if (column == kNoColumn && HeaderUsesColumns()) column = HeaderMainColumn();
          break;
        }
      }
      const bool columnMoves = column != FocusedColumn();
      if (columnMoves) {
        if (columnAsked && focused != nullptr) InvalidateNode(focused);
        SetFocusedColumn(column);
      }
      const bool focusMoves = target != nullptr && target != focused;
      if ((focusMoves || (columnMoves && target != nullptr)) && !DoFocusNode(target, !columnAsked)) return;
      const bool moved = FocusedNode() != focused;
      bool cleared = false;
      if (clearAfter && (moved || SelectedCount() > 1)) {
        ClearSelection();
        cleared = true;
      }
      if (PLazyNode now = FocusedNode(); now != nullptr) {
        if (!anyModifier) {
          SetRangeAnchor(now);
          SetSelectionLevel(GetNodeLevel(now));
        }
        // A key that moves only the column leaves an unselected node so.
        const bool addFocused = moved || cleared;
        if (extended) {
          ExtendSelectionByKey(key, focused, lastFocused, now, rangeRefresh, addFocused);
        } else if (addFocused && !Selected(now)) {
          AddToSelection(now);
          InvalidateNode(now);
        }
      }
      if (invalidateAfter) InvalidateClientRect(nullptr);
      if (moved || columnMoves) DoFocusChange(FocusedNode(), FocusedColumn());
      return;
    }
    case VK_ADD:
    case VK_SUBTRACT:
    case VK_MULTIPLY:
    case VK_DIVIDE: {
      if (states_.Contains(tsSearching)) {
        DoStateChange({tsSearchPending});
        return;
      }
      PLazyNode focused = FocusedNode();
      if (key == VK_ADD || key == VK_SUBTRACT) {
        const bool expand = key == VK_ADD;
        if (ctrl && shift) {
          if (expand) FullExpand(); else FullCollapse();
        } else if (ctrl) {
          if (HeaderUsesColumns()) {
            if (expand) Header().AutoFitColumns(true); else Header().RestoreColumns();
          }
        } else if (focused != nullptr && Expanded(focused) != expand) {
          // Also a leaf: the owner may give it children when asked to expand it.
          ToggleNode(focused);
        }
      } else if (focused != nullptr) {
        if (key == VK_MULTIPLY) FullExpand(focused); else FullCollapse(focused);
      }
      return;
    }
    case 'A':
    case 97:  // the lower-case letter's code, as some key sources send it
      if (ctrl) {
        if (multi) SelectAll(true);
      } else {
        DoStateChange({tsSearchPending});
      }
      return;
    case VK_F1:
      ShowHelp();
      return;
    case VK_F2:
      if (!anyModifier && FocusedNode() != nullptr && CanEdit(FocusedNode(), FocusedColumn())) {
        editColumn_ = FocusedColumn();
        DoEdit();
      }
      return;
    case VK_APPS:
      MenuKey();
      return;
    case VK_ESCAPE:
      if (IsMouseSelecting()) {
        EndDrawSelection();
        InvalidateClientRect(nullptr);
      } else if (states_.Contains(tsEditing)) {
        DoCancelEdit();
      }
      return;
    case VK_SPACE: {
      PLazyNode focused = FocusedNode();
      if (HasOption(toCheckSupport) && focused != nullptr && GetCheckType(focused) != ctNone) {
        if (states_.Contains(tsKeyCheckPending) || states_.Contains(tsMouseCheckPending) ||
            focused->States.Contains(nsDisabled))
          return;
        TCheckState newState = DetermineNextCheckState(GetCheckType(focused), GetCheckState(focused));
        if (DoChecking(focused, newState)) {
          DoStateChange({tsKeyCheckPending});
          ShowCheckPressed(focused, newState);
        }
      } else {
        DoStateChange({tsSearchPending});
      }
      return;
    }
    default:
      if (key >= 32 && !ctrl && !alt) DoStateChange({tsSearchPending});
      return;
  }
}

// The focused node's help context, else its ancestors', else the tree's or
// that of its nearest parent control that has one; shown by the application.
void TBaseLazyTree::ShowHelp() {
  unsigned context = 0;
  if (OnGetHelpContext)
    for (PLazyNode n = FocusedNode(); n != nullptr && n != RootNode() && context == 0; n = n->Parent)
      OnGetHelpContext(*this, n, 0, context);
  for (const ui::TControl* c = this; c != nullptr && context == 0; c = c->Parent()) context = c->HelpContext();
  if (context != 0) ui::Application().HelpContext(context);
}

void TBaseLazyTree::KeyUp(WORD key) {
  if (key != VK_SPACE || !states_.Contains(tsKeyCheckPending)) return;
  DoStateChange({}, {tsKeyCheckPending});
  if (PLazyNode node = checkNode_; node != nullptr) {
    WriteCheckState(node, NormalCheckState(node->CheckState));
    if (node == FocusedNode()) DoCheckClick(node, pendingCheckState_);
    InvalidateNode(node);
    checkNode_ = nullptr;
  }
}

void TBaseLazyTree::WMKeyDown(ui::TMessage& m) {
  m.result = 0;
  WORD key = static_cast<WORD>(m.wParam);
  if (OnKeyDown) OnKeyDown(*this, key);
  if (key == 0) return;
  UINT shift = HeldModifiers(m.lParam);
  if (!DoKeyAction(key, shift) || key == 0) return;
  KeyDown(KeypadEquivalent(key, (static_cast<UINT>(m.lParam) >> 16) & 0xFF), shift);
}

void TBaseLazyTree::WMKeyUp(ui::TMessage& m) {
  m.result = 0;
  WORD key = static_cast<WORD>(m.wParam);
  if (OnKeyUp) OnKeyUp(*this, key);
  if (key != 0) KeyUp(key);
}

// The search takes the character first; the owner's key press comes after.
void TBaseLazyTree::WMChar(ui::TMessage& m) {
  m.result = 0;
  wchar_t c = static_cast<wchar_t>(m.wParam);
  if (states_.Contains(tsSearchPending)) {
    HandleIncrementalSearch(static_cast<char16_t>(c));
    DoStateChange({}, {tsSearchPending});
  }
  if (OnKeyPress) OnKeyPress(*this, c);
}

void TBaseLazyTree::WMGetDlgCode(ui::TMessage& m) {
  m.result = DLGC_WANTARROWS | DLGC_WANTCHARS | (WantTabs() ? DLGC_WANTTAB : 0);
}

bool TBaseLazyTree::KeyMessage(ui::TMessage& m) {
  switch (m.msg) {
    case WM_KEYDOWN:
      WMKeyDown(m);
      return true;
    case WM_KEYUP:
      WMKeyUp(m);
      return true;
    case WM_CHAR:
      WMChar(m);
      return true;
    case WM_GETDLGCODE:
      WMGetDlgCode(m);
      return true;
    case WM_TIMER:
      if (m.wParam == kSearchTimerId) {
        EndSearch();
        return true;
      }
      return false;
    case WM_KILLFOCUS:
    case WM_CANCELMODE:
      EndSearch();
      return false;
  }
  return false;
}

}  // namespace kv
