// Drag and drop of nodes: real drags between two trees driven by SendInput
// from a helper thread (OLE's modal loop reads the cursor and the buttons),
// the drop target called directly, and the tree's own drag image.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "treeview/data_object_win.h"
#include "treeview/drag_image_win.h"
#include "tests/treeview/save_shot_win.h"
#include "tests/treeview/held_key_win.h"
#include "tests/treeview/text_owner_win.h"
#include "treeview/lazy_trees_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"

namespace kv {
namespace {

using test::TextOwner;
using test::LeftButton;
using test::MouseTo;

TLTNodeAttachMode AttachMode(TDropMode mode) {
  switch (mode) {
    case TDropMode::dmAbove: return TLTNodeAttachMode::amInsertBefore;
    case TDropMode::dmBelow: return TLTNodeAttachMode::amInsertAfter;
    default: return TLTNodeAttachMode::amAddChildLast;
  }
}

// A tree "a", "b" (child "b1"), "c" that drags its nodes and takes drops
// through the native format.
struct DragTree {
  DragTree(ui::TForm& form, int left) : tree(form.Create<TLazyStringTree>()), owner(tree) {
    tree.SetParent(&form);
    tree.SetBounds(left, 0, 260, 300);
    tree.SetBorderStyle(TTreeBorderStyle::bsNone);
    tree.TreeOptions().SetSelectionOptions(tree.TreeOptions().SelectionOptions() | toMultiSelect);
    tree.ClipboardFormats().Assign({"Lazy Tree Data"});
    tree.SetAutoExpandDelay(100);
    a = Add(nullptr, L"a");
    b = Add(nullptr, L"b");
    b1 = Add(b, L"b1");
    c = Add(nullptr, L"c");
    tree.OnDragAllowed = [](TBaseLazyTree&, PLazyNode, TColumnIndex, bool& allowed) { allowed = true; };
    tree.OnDragOver = [this](TBaseLazyTree&, TBaseLazyTree*, TShiftState shift, TDragState state, POINT, TDropMode mode,
                             DWORD&, bool& accept) {
      overStates.push_back(state);
      overShift = shift;
      lastMode = mode;
      accept = true;
    };
    tree.OnDragDrop = [this](TBaseLazyTree& self, TBaseLazyTree* source, IDataObject* data,
                             const std::vector<CLIPFORMAT>& formats, TShiftState, POINT, DWORD& effect,
                             TDropMode mode) {
      dropFormats = formats;
      dropEffect = effect;
      if (onDrop) onDrop();
      self.ProcessOLEData(source, data, self.DropTargetNode(), AttachMode(mode),
                          effect == DROPEFFECT_MOVE && source != nullptr);
    };
  }
  PLazyNode Add(PLazyNode parent, const wchar_t* text) {
    PLazyNode n = tree.AddChild(parent);
    (*owner.map)[n] = text;
    return n;
  }
  // Top-level texts with their children in brackets, e.g. "a b[b1] c".
  std::wstring Shape() {
    std::wstring s;
    for (PLazyNode n = tree.GetFirstChild(nullptr); n != nullptr; n = tree.GetNextSibling(n)) {
      if (!s.empty()) s += L' ';
      s += tree.GetText(n, kNoColumn);
      if (tree.ChildCount(n) > 0) {
        s += L'[';
        for (PLazyNode child = tree.GetFirstChild(n); child != nullptr; child = tree.GetNextSibling(child))
          s += tree.GetText(child, kNoColumn) + (tree.GetNextSibling(child) ? L" " : L"");
        s += L']';
      }
    }
    return s;
  }
  // Screen points on a node's label and near the bottom of its row, right of the label.
  POINT Label(PLazyNode n) {
    const TLazyRect r = tree.GetDisplayRect(n, kNoColumn, true);
    return Screen({r.Left + 3, (r.Top + r.Bottom) / 2});
  }
  POINT LowerRow(PLazyNode n) {
    const TLazyRect r = tree.GetDisplayRect(n, kNoColumn, false);
    return Screen({200, r.Bottom - 3});
  }
  POINT Screen(POINT p) {
    ClientToScreen(tree.Handle(), &p);
    return p;
  }

  TLazyStringTree& tree;
  TextOwner owner;
  PLazyNode a, b, b1, c;
  std::vector<TDragState> overStates;
  // The modifiers of the last drag-over, as the drag loop read them from the
  // key state; the driving thread waits on it.
  std::atomic<TShiftState> overShift{0};
  TDropMode lastMode = TDropMode::dmNowhere;
  std::vector<CLIPFORMAT> dropFormats;
  DWORD dropEffect = 0;
  std::function<void()> onDrop;
};

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

void Key(WORD key, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof input);
}

// Holds `key` until the drag loop has reported it to `target` (it reads the
// key state at each message it handles). A pointer event that Wine handles
// after the key can take the modifier back from the X server's state; the key
// is then pressed again, as a held key repeats.
void HoldUntilSeen(WORD key, const DragTree& target) {
  const TShiftState wanted = key == VK_SHIFT ? ssShift : key == VK_CONTROL ? ssCtrl : ssAlt;
  for (int i = 0; i < 200 && (target.overShift.load() & wanted) == 0; ++i) {
    if (i % 20 == 0) Key(key, true);
    Sleep(10);
  }
}

// Glides the mouse to `to` in steps of 20 ms.
void Glide(POINT from, POINT to, int steps = 8) {
  for (int i = 1; i <= steps; ++i) {
    MouseTo({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
    Sleep(20);
  }
}

// Runs `script` on a helper thread while this thread keeps handling
// messages (and so runs the drag when the tree starts it).
void WhileDriving(const std::function<void()>& script, const std::function<void()>& onThisThread = Pump) {
  std::atomic<bool> done{false};
  std::thread driver([&] {
    script();
    done = true;
  });
  onThisThread();
  for (int i = 0; i < 500 && !done; ++i) {
    Pump();
    Sleep(10);
  }
  driver.join();
  Pump();
}

class TreeDrag : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCursorPos(&savedCursor);
    form.SetBounds(40, 40, 600, 360);
    form.SetClientWidth(560);
    form.SetClientHeight(320);
    form.Show();
    SetForegroundWindow(form.Handle());
    Pump();
  }
  // The mouse goes back where it was: later tests' key input depends on it.
  void TearDown() override {
    SetCursorPos(savedCursor.x, savedCursor.y);
    Pump();
  }
  // A drag of `node` from `from` to `to` with `key` held while it moves over
  // `to` (0: none); `hover` keeps the mouse there before the drop.
  void Drag(DragTree& from, PLazyNode node, DragTree& to, POINT target, WORD key = 0, int hover = 100,
            const std::function<void()>& whileHovering = nullptr) {
    const POINT start = from.Label(node);
    to.overShift = 0;
    WhileDriving([&] {
      MouseTo(start);
      Sleep(50);
      LeftButton(true);
      Sleep(100);
      Glide(start, {start.x + 12, start.y + 2});
      Glide({start.x + 12, start.y + 2}, target);
      // Wine takes the modifiers from the X server's state at each pointer
      // move: a key is held only after the last move, and the button goes up
      // only once the target has seen it held.
      if (key != 0) HoldUntilSeen(key, to);
      Sleep(hover);
      if (whileHovering) whileHovering();
      if (key != 0) HoldUntilSeen(key, to);
      LeftButton(false);
      Sleep(100);
      if (key != 0) Key(key, false);
    });
  }

  POINT savedCursor{};
  ui::TForm form;
  DragTree left{form, 0}, right{form, 280};
};

TEST_F(TreeDrag, CopyAndMoveBetweenTreesByTheKeysHeld) {
  // Ctrl copies "a" onto the label of the other tree's "c": it becomes a child there.
  Drag(left, left.a, right, right.Label(right.c), VK_CONTROL);
  EXPECT_EQ(left.Shape(), L"a b[b1] c");
  EXPECT_EQ(right.Shape(), L"a b[b1] c[a]");
  EXPECT_EQ(right.dropEffect, static_cast<DWORD>(DROPEFFECT_COPY));
  ASSERT_FALSE(right.overStates.empty());
  EXPECT_EQ(right.overStates.front(), TDragState::dsDragEnter);
  EXPECT_EQ(right.dropFormats, std::vector<CLIPFORMAT>{CF_LAZYTREE()});
  EXPECT_FALSE(left.tree.Dragging());

  // Shift moves "b" with "b1" (both selected: only the topmost is dragged)
  // onto the other tree's collapsed "b", which opens while the mouse rests.
  left.tree.ClearSelection();
  left.tree.AddToSelection(left.b);
  left.tree.AddToSelection(left.b1);
  left.tree.SetFocusedNode(left.b);
  ASSERT_FALSE(right.tree.Expanded(right.b));
  Drag(left, left.b, right, right.Label(right.b), VK_SHIFT, 400);
  EXPECT_TRUE(right.tree.Expanded(right.b));
  EXPECT_EQ(right.dropEffect, static_cast<DWORD>(DROPEFFECT_MOVE));
  // The drop moved the nodes already; the move deletes nothing more.
  EXPECT_EQ(left.Shape(), L"a c");
  EXPECT_EQ(left.tree.TotalCount(), 2u);
  EXPECT_EQ(right.Shape(), L"a b[b1 b] c[a]");
  EXPECT_EQ(right.tree.TotalCount(), 7u);
  EXPECT_TRUE(left.tree.DragSelection().empty());

  // Within one tree a drag moves: the node moved in place is not deleted afterwards.
  Drag(left, left.a, left, left.Label(left.c));
  EXPECT_EQ(left.dropEffect, static_cast<DWORD>(DROPEFFECT_MOVE));
  EXPECT_EQ(left.Shape(), L"c[a]");
}

void SaveBitmap(const std::vector<std::uint32_t>& pixels, int w, int h, const std::string& name) {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = -h;
  info.biPlanes = 1;
  info.biBitCount = 32;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size() * 4);
  std::ofstream out(name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size() * 4));
}

// The screen's pixels in `r` as 0x00RRGGBB words, top-down.
std::vector<std::uint32_t> Grab(const RECT& r) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::memcpy(pixels.data(), bits, pixels.size() * 4);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  for (auto& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

TEST_F(TreeDrag, DropMarkOnScreen) {
  right.tree.Colors().SetColor(TLTColors::DropMarkColor, 0x0000FF);  // red
  RECT area{};
  GetWindowRect(form.Handle(), &area);
  std::vector<std::uint32_t> shot;
  TDropMode modeWhileHovering = TDropMode::dmNowhere;
  const POINT target = right.LowerRow(right.a);
  Drag(left, left.c, right, target, 0, 300, [&] {
    shot = Grab(area);
    modeWhileHovering = right.tree.LastDropMode();
  });
  const int w = area.right - area.left, h = static_cast<int>(shot.size()) / w;
  SaveBitmap(shot, w, h, std::string(KV_TEST_BINARY_DIR) + "/tree_drop_mark.bmp");
  EXPECT_EQ(modeWhileHovering, TDropMode::dmBelow);
  auto at = [&](POINT screen) { return shot[static_cast<std::size_t>(screen.y - area.top) * w + screen.x - area.left]; };
  const TLazyRect row = right.tree.GetDisplayRect(right.a, kNoColumn, false);
  // The mark runs along the bottom of the row, from its left end to its right end.
  const POINT markLeft = right.Screen({row.Left + 4, row.Bottom - 2});
  const POINT markRight = right.Screen({row.Right - 4, row.Bottom - 2});
  const POINT aboveMark = right.Screen({row.Right - 30, row.Top + 2});
  EXPECT_EQ(at(markLeft), 0xFF0000u);
  EXPECT_EQ(at(markRight), 0xFF0000u);
  EXPECT_EQ(at(aboveMark), 0xFFFFFFu);
  // Dropped below "a": "c" comes after it.
  EXPECT_EQ(right.Shape(), L"a c b[b1] c");
  EXPECT_EQ(left.Shape(), L"a b[b1] c");
}

TEST_F(TreeDrag, AThrowingDropHandlerReachesTheDraggingTree) {
  right.onDrop = [] { throw std::runtime_error("drop failed"); };
  left.tree.OnDragAllowed = nullptr;  // the press only selects
  const POINT start = left.Label(left.a), target = right.Label(right.c);
  MouseTo(start);
  Sleep(50);
  LeftButton(true);
  Sleep(100);
  Pump();
  ASSERT_TRUE(left.tree.Selected(left.a));
  WhileDriving(
      [&] {
        Sleep(200);
        Glide(start, target);
        Key(VK_SHIFT, true);
        Sleep(100);
        LeftButton(false);
        Sleep(50);
        Key(VK_SHIFT, false);
      },
      [&] { EXPECT_THROW(left.tree.BeginDrag(true), std::runtime_error); });
  EXPECT_FALSE(left.tree.Dragging());
  EXPECT_EQ(left.Shape(), L"a b[b1] c");  // a failed move deletes nothing
  EXPECT_EQ(right.tree.DropTargetNode(), nullptr);
}

// ------------------------------------------------------ the in-process drag

// DragType dtNative: the dragging tree holds the mouse and tells the tree
// under it; no data object travels, the drop handler gets the source tree.
class NativeDrag : public TreeDrag {
 protected:
  void SetUp() override {
    TreeDrag::SetUp();
    for (DragTree* t : {&left, &right}) {
      t->tree.SetDragType(TLTDragType::dtNative);
      t->tree.OnDragDrop = [this, t](TBaseLazyTree& self, TBaseLazyTree* source, IDataObject* data,
                                     const std::vector<CLIPFORMAT>& formats, TShiftState, POINT, DWORD& effect,
                                     TDropMode mode) {
        ++drops;
        dropData = data;
        dropSource = source;
        t->dropFormats = formats;
        t->dropEffect = effect;
        t->lastMode = mode;
        dropTarget = self.DropTargetNode();
        // Within one tree the owner moves the dragged nodes itself.
        if (source == &self) {
          const std::vector<PLazyNode> dragged = source->DragSelection();
          for (PLazyNode n : dragged) self.MoveTo(n, dropTarget, AttachMode(mode), false);
        }
      };
    }
    left.tree.OnStartDrag = [this](TBaseLazyTree& t) {
      ++starts;
      startedPending = t.TreeStates().Contains(tsControlDragPending) && !t.TreeStates().Contains(tsControlDragging);
    };
    left.tree.OnEndDrag = [this](TBaseLazyTree&, POINT) { ++ends; };
  }
  int drops = 0, starts = 0, ends = 0;
  bool startedPending = false;
  IDataObject* dropData = reinterpret_cast<IDataObject*>(1);
  TBaseLazyTree* dropSource = nullptr;
  PLazyNode dropTarget = nullptr;
};

TEST_F(NativeDrag, BetweenTwoTreesOfOneForm) {
  Drag(left, left.c, right, right.Label(right.a));
  EXPECT_EQ(drops, 1);
  EXPECT_EQ(dropSource, &left.tree);
  EXPECT_EQ(dropData, nullptr);
  EXPECT_TRUE(right.dropFormats.empty());
  EXPECT_EQ(dropTarget, right.a);
  EXPECT_EQ(right.lastMode, TDropMode::dmOnNode);
  EXPECT_EQ(right.dropEffect, static_cast<DWORD>(DROPEFFECT_COPY));  // from another tree
  ASSERT_FALSE(right.overStates.empty());
  EXPECT_EQ(right.overStates.front(), TDragState::dsDragEnter);
  EXPECT_EQ(std::pair(starts, ends), std::pair(1, 1));
  EXPECT_TRUE(startedPending);  // dragging begins at the first look for a target
  for (DragTree* t : {&left, &right}) {
    EXPECT_FALSE(t->tree.Dragging());
    EXPECT_FALSE(t->tree.TreeStates().Contains(tsControlDragging));
    EXPECT_EQ(t->tree.DropTargetNode(), nullptr);
  }
  EXPECT_FALSE(left.tree.TreeStates().Contains(tsLeftButtonDown));  // the button-up came back
  EXPECT_EQ(GetCapture(), nullptr);

  // Shift held: a move.
  Drag(left, left.a, right, right.Label(right.c), VK_SHIFT);
  EXPECT_EQ(drops, 2);
  EXPECT_EQ(right.dropEffect, static_cast<DWORD>(DROPEFFECT_MOVE));
  EXPECT_EQ(dropTarget, right.c);
}

TEST_F(NativeDrag, WithinOneTreeAndCancelledByEscape) {
  // Dropped below "a" in its own tree: the owner moves "c" there.
  Drag(left, left.c, left, left.LowerRow(left.a));
  EXPECT_EQ(drops, 1);
  EXPECT_EQ(left.lastMode, TDropMode::dmBelow);
  EXPECT_EQ(left.dropEffect, static_cast<DWORD>(DROPEFFECT_MOVE));  // within the tree
  EXPECT_EQ(left.Shape(), L"a c b[b1]");

  // Escape over the other tree: no drop, the other tree saw the drag leave.
  right.overStates.clear();
  Drag(left, left.b, right, right.Label(right.a), 0, 100, [] {
    Key(VK_ESCAPE, true);
    Key(VK_ESCAPE, false);
    Sleep(100);
  });
  EXPECT_EQ(drops, 1);
  ASSERT_FALSE(right.overStates.empty());
  EXPECT_EQ(right.overStates.back(), TDragState::dsDragLeave);
  EXPECT_EQ(right.tree.DropTargetNode(), nullptr);
  EXPECT_FALSE(left.tree.Dragging());
  EXPECT_EQ(std::pair(starts, ends), std::pair(2, 2));
  EXPECT_EQ(GetCapture(), nullptr);
}

// ------------------------------------------------ the drop target called directly

// A data object that cannot list its formats.
class UnlistableData : public TLTDataObject {
 public:
  using TLTDataObject::TLTDataObject;
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }
};

class DropTarget : public TreeDrag {
 protected:
  // Enters the right tree with data of the left one at `p`; answers the effect.
  DWORD Enter(POINT p, DWORD keys = 0, DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE) {
    data = MakeComObject<TLTDataObject>(left.tree, false);
    DWORD effect = allowed;
    EXPECT_EQ(Target().DragEnter(data.Get(), keys, POINTL{p.x, p.y}, &effect), S_OK);
    return effect;
  }
  DWORD Over(POINT p, DWORD keys = 0, DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE) {
    DWORD effect = allowed;
    EXPECT_EQ(Target().DragOver(keys, POINTL{p.x, p.y}, &effect), S_OK);
    return effect;
  }
  IDropTarget& Target() { return right.tree.GetDragManager(); }
  ComPtr<TLTDataObject> data;
};

TEST_F(DropTarget, DropModesFollowThePointAndTheOptions) {
  Enter(right.Label(right.a));
  const TLazyRect row = right.tree.GetDisplayRect(right.c, kNoColumn, false);
  struct Case {
    POINT client;
    TDropMode mode;
  } cases[] = {
      {{200, row.Top + 2}, TDropMode::dmAbove},
      {{200, row.Bottom - 2}, TDropMode::dmBelow},
      {{right.tree.GetDisplayRect(right.c, kNoColumn, true).Left + 2, row.Top + 2}, TDropMode::dmOnNode},
      {{200, 290}, TDropMode::dmNowhere},
  };
  for (const Case& c : cases) {
    Over(right.Screen(c.client));
    EXPECT_EQ(right.tree.LastDropMode(), c.mode) << c.client.y;
    EXPECT_EQ(right.lastMode, c.mode);
  }
  EXPECT_EQ(right.tree.DropTargetNode(), nullptr);
  Over(right.Screen({200, row.Top + 2}));
  EXPECT_EQ(right.tree.DropTargetNode(), right.c);
  // Without drop marks a row is always a drop on the node; in report mode an
  // empty part of a row is nowhere.
  right.tree.TreeOptions().SetPaintOptions(right.tree.TreeOptions().PaintOptions() & ~toShowDropmark);
  Over(right.Screen({200, row.Bottom - 2}));
  EXPECT_EQ(right.tree.LastDropMode(), TDropMode::dmOnNode);
  right.tree.TreeOptions().SetMiscOptions(right.tree.TreeOptions().MiscOptions() | toReportMode);
  Over(right.Screen({200, row.Bottom - 2}));
  EXPECT_EQ(right.tree.LastDropMode(), TDropMode::dmNowhere);
  EXPECT_EQ(Target().DragLeave(), S_OK);
  EXPECT_EQ(right.overStates.back(), TDragState::dsDragLeave);
  EXPECT_EQ(right.tree.DropTargetNode(), nullptr);
  EXPECT_FALSE(right.tree.GetDragManager().GetIsDropTarget());
}

// A drop mark beside an unselected row leaves the row's colours alone: its
// text keeps the font colour on the tree's background (no highlight text on
// white). A drop on the node gives it the drop-target colours.
TEST_F(DropTarget, TextOfARowBesideTheDropMarkStaysVisible) {
  right.tree.Colors().SetColor(TLTColors::DropMarkColor, 0x0000FF);  // red
  right.tree.Colors().SetColor(TLTColors::DropTargetColor, 0x800000);  // navy
  right.tree.Colors().SetColor(TLTColors::DropTargetBorderColor, 0x800000);
  Enter(right.Label(right.a));
  Over(right.LowerRow(right.b));
  ASSERT_EQ(right.tree.DropTargetNode(), right.b);
  ASSERT_EQ(right.tree.LastDropMode(), TDropMode::dmBelow);
  ASSERT_FALSE(right.tree.Selected(right.b));
  const TLazyRect label = right.tree.GetDisplayRect(right.b, kNoColumn, true);
  // Dark pixels (the text) and navy pixels in the label's upper part (above the mark).
  auto count = [&](const ui::TBitmap& shot, std::uint32_t colour, bool dark) {
    int n = 0;
    for (int y = label.Top + 1; y < label.Bottom - 5; ++y)
      for (int x = label.Left; x < label.Right; ++x) {
        const std::uint32_t p = shot.Pixel(x, y);
        if (dark ? ((p >> 16 & 0xFF) < 100 && (p >> 8 & 0xFF) < 100 && (p & 0xFF) < 100) : p == colour) ++n;
      }
    return n;
  };
  const ui::TBitmap beside = test::PrintClient(right.tree.Handle());
  test::SaveShot(beside, "drop_mark_beside_unselected_row");
  EXPECT_GT(count(beside, 0, true), 10);
  EXPECT_EQ(beside.Pixel(label.Right - 2, label.Top + 2), 0xFFFFFFu);
  EXPECT_EQ(beside.Pixel(200, label.Bottom - 2), 0xFF0000u);  // the mark

  Over(right.Label(right.b));
  ASSERT_EQ(right.tree.LastDropMode(), TDropMode::dmOnNode);
  const ui::TBitmap on = test::PrintClient(right.tree.Handle());
  test::SaveShot(on, "drop_on_unselected_row");
  EXPECT_GT(count(on, 0x000080, false), 20);
  EXPECT_EQ(count(on, 0, true), 0);
  EXPECT_EQ(Target().DragLeave(), S_OK);
}

TEST_F(DropTarget, EffectsRefusalsAndFailures) {
  // The suggestion: a drag within the tree moves, from elsewhere copies; keys choose.
  const DWORD all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  struct Case {
    bool sameTree;
    TShiftState shift;
    DWORD allowed, effect;
  } cases[] = {
      {true, 0, all, DROPEFFECT_MOVE},
      {false, 0, all, DROPEFFECT_COPY},
      {true, 0, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_COPY | DROPEFFECT_LINK},
      {true, ssCtrl, all, DROPEFFECT_COPY},
      {false, ssShift, all, DROPEFFECT_MOVE},
      {false, ssShift, DROPEFFECT_COPY, DROPEFFECT_COPY},
      {false, ssCtrl | ssShift, all, DROPEFFECT_LINK},
      {false, ssAlt, all, DROPEFFECT_LINK},
      {false, ssCtrl | ssAlt, all, DROPEFFECT_COPY},
      {true, ssShift | ssAlt, all, DROPEFFECT_MOVE},
  };
  for (const Case& c : cases)
    EXPECT_EQ(right.tree.SuggestDropEffect(c.sameTree ? &right.tree : &left.tree, c.shift, {}, c.allowed), c.effect)
        << c.shift << " " << c.allowed;
  IDropSource* source = right.tree.GetDragManager().DropSource();
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON | MK_RBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_RBUTTON), S_OK);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);

  // Without an OnDragOver handler nothing is accepted and a drop fails unseen.
  right.tree.OnDragOver = nullptr;
  bool dropped = false;
  right.onDrop = [&] { dropped = true; };
  const POINT p = right.Label(right.c);
  EXPECT_EQ(Enter(p), static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_EQ(Over(p), static_cast<DWORD>(DROPEFFECT_NONE));
  DWORD effect = DROPEFFECT_COPY;
  EXPECT_EQ(Target().Drop(data.Get(), 0, POINTL{p.x, p.y}, &effect), E_FAIL);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_FALSE(dropped);

  // Formats that cannot be listed end the drop quietly: no drop handler, no effect.
  right.tree.OnDragOver = [](TBaseLazyTree&, TBaseLazyTree*, TShiftState, TDragState, POINT, TDropMode, DWORD&,
                             bool& accept) { accept = true; };
  {
    ComPtr<UnlistableData> unlistable = MakeComObject<UnlistableData>(left.tree, false);
    effect = DROPEFFECT_COPY;
    ASSERT_EQ(Target().DragEnter(unlistable.Get(), 0, POINTL{p.x, p.y}, &effect), S_OK);
    effect = DROPEFFECT_COPY;
    EXPECT_TRUE(FAILED(Target().Drop(unlistable.Get(), 0, POINTL{p.x, p.y}, &effect)));
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_FALSE(dropped);
    EXPECT_EQ(right.tree.DropTargetNode(), nullptr);
  }

  // Any exception of the owner's handler reaches OLE as E_UNEXPECTED, a lack of memory too.
  right.tree.OnDragOver = [](TBaseLazyTree&, TBaseLazyTree*, TShiftState, TDragState, POINT, TDropMode, DWORD&,
                             bool&) { throw std::bad_alloc(); };
  data = MakeComObject<TLTDataObject>(left.tree, false);
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(Target().DragEnter(data.Get(), 0, POINTL{p.x, p.y}, &effect), E_UNEXPECTED);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(Target().DragOver(0, POINTL{p.x, p.y}, &effect), E_UNEXPECTED);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  right.tree.OnDragOver = nullptr;
  EXPECT_EQ(Target().DragLeave(), S_OK);

  // A drop handler's exception with no drag of this process running goes to
  // the application's handler; OLE sees E_UNEXPECTED and no effect.
  right.tree.OnDragOver = [](TBaseLazyTree&, TBaseLazyTree*, TShiftState, TDragState, POINT, TDropMode, DWORD&,
                             bool& accept) { accept = true; };
  right.onDrop = [] { throw std::runtime_error("no room"); };
  std::vector<std::string> caught;
  ui::Application().OnException = [&](ui::TComponent*, std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& error) {
      caught.push_back(error.what());
    }
  };
  Enter(p);
  effect = DROPEFFECT_MOVE;
  EXPECT_EQ(Target().Drop(data.Get(), 0, POINTL{p.x, p.y}, &effect), E_UNEXPECTED);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  ui::Application().OnException = nullptr;
  EXPECT_EQ(caught, std::vector<std::string>{"no room"});
  EXPECT_EQ(right.tree.DropTargetNode(), nullptr);
  EXPECT_FALSE(right.tree.GetDragManager().GetIsDropTarget());
}

// Every drag waits at a scrolling edge for the delay: one that left through
// the edge does not make the next one scroll at once.
TEST_F(DropTarget, EachDragWaitsAtTheEdgeForTheDelay) {
  for (int i = 0; i < 40; ++i) right.Add(nullptr, L"x");
  right.tree.TreeOptions().SetAutoOptions(right.tree.TreeOptions().AutoOptions() | toAutoScroll);
  right.tree.SetAutoScrollDelay(200);
  const POINT edge = right.Screen({100, right.tree.ViewHeight() - 3});
  Enter(edge);
  Over(edge);
  EXPECT_EQ(right.tree.OffsetY(), 0);
  Sleep(250);
  Over(edge);
  ASSERT_LT(right.tree.OffsetY(), 0);
  EXPECT_EQ(Target().DragLeave(), S_OK);  // left while at the edge
  const int offset = right.tree.OffsetY();
  Enter(edge);
  Over(edge);
  EXPECT_EQ(right.tree.OffsetY(), offset);
  EXPECT_EQ(Target().DragLeave(), S_OK);
}

TEST_F(DropTarget, RegistrationFollowsTheOption) {
  const HWND hwnd = right.tree.Handle();
  ComPtr<IDropTarget> other(&left.tree.GetDragManager());
  EXPECT_EQ(RegisterDragDrop(hwnd, other.Get()), DRAGDROP_E_ALREADYREGISTERED);
  right.tree.TreeOptions().SetMiscOptions(right.tree.TreeOptions().MiscOptions() & ~toAcceptOLEDrop);
  EXPECT_EQ(RevokeDragDrop(hwnd), DRAGDROP_E_NOTREGISTERED);
  right.tree.TreeOptions().SetMiscOptions(right.tree.TreeOptions().MiscOptions() | toAcceptOLEDrop);
  EXPECT_EQ(RegisterDragDrop(hwnd, other.Get()), DRAGDROP_E_ALREADYREGISTERED);
}

// ------------------------------------------------------------ the drag image

TEST(DragImage, RectangleTableAndAlphaChannel) {
  struct Case {
    int dx, dy;
    RECT scroll, sample1, sample2, draw1, draw2;
  } cases[] = {
      {3, 0, {0, 0, 17, 10}, {0, 0, 3, 10}, {}, {17, 0, 3, 10}, {}},
      {-3, 0, {3, 0, 20, 10}, {17, 0, 3, 10}, {}, {0, 0, 3, 10}, {}},
      {0, 2, {0, 0, 20, 8}, {}, {0, 0, 20, 2}, {}, {0, 8, 20, 2}},
      {0, -2, {0, 2, 20, 10}, {}, {0, 8, 20, 2}, {}, {0, 0, 20, 2}},
      {3, 2, {0, 0, 17, 8}, {0, 0, 3, 10}, {3, 0, 17, 2}, {0, 8, 17, 2}, {17, 0, 3, 10}},
      {3, -2, {0, 2, 17, 10}, {0, 0, 3, 10}, {3, 8, 17, 2}, {0, 0, 17, 2}, {17, 0, 3, 10}},
      {-3, 2, {3, 0, 20, 10}, {0, 0, 17, 2}, {17, 0, 3, 10}, {0, 0, 3, 10}, {3, 8, 17, 2}},
      {-3, -2, {3, 2, 20, 10}, {0, 8, 17, 2}, {17, 0, 3, 10}, {0, 0, 3, 10}, {3, 0, 17, 2}},
  };
  auto same = [](const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; };
  for (const Case& c : cases) {
    const TDragRectangles r = FillDragRectangles(20, 10, c.dx, c.dy);
    const RECT clip{0, 0, 20, 10};
    EXPECT_TRUE(same(r.Clip, clip));
    EXPECT_TRUE(same(r.Scroll, c.scroll) && same(r.Sample1, c.sample1) && same(r.Sample2, c.sample2) &&
                same(r.Draw1, c.draw1) && same(r.Draw2, c.draw2))
        << c.dx << "," << c.dy;
  }
  // The centre is opaque and the image fades outwards; key pixels vanish.
  std::vector<std::uint32_t> source(9 * 9, 0x00123456), target = source;
  source[0] = 0x00ABCDEF;
  MakeAlphaChannel(source.data(), target.data(), 9, 9, RGB(0xAB, 0xCD, 0xEF));
  EXPECT_EQ(target[4 * 9 + 4] >> 24, 255u);
  EXPECT_EQ(target[0] >> 24, 0u);
  EXPECT_LT(target[4 * 9 + 8] >> 24, target[4 * 9 + 5] >> 24);
  EXPECT_EQ(target[4 * 9 + 8] & 0xFFFFFF, 0x123456u);
}

TEST(DragImage, MovesLeaveTheScreenAsItWas) {
  ui::TForm form;
  form.SetBounds(100, 100, 300, 300);
  TLazyStringTree& tree = form.Create<TLazyStringTree>();
  tree.SetParent(&form);
  tree.SetBounds(0, 0, 280, 260);
  tree.SetRootNodeCount(30);
  form.Show();
  Pump();
  UpdateWindow(tree.Handle());
  RECT area{};
  GetWindowRect(tree.Handle(), &area);
  const std::vector<std::uint32_t> before = Grab(area);

  ui::BitmapObject picture;
  {
    HDC screen = GetDC(nullptr);
    picture = ui::BitmapObject(CreateCompatibleBitmap(screen, 40, 30));
    ReleaseDC(nullptr, screen);
  }
  TLTDragImage image(tree.Handle());
  POINT hot{area.left + 60, area.top + 50};
  image.PrepareDrag(picture.Get(), {hot.x - 20, hot.y - 15}, hot, nullptr);
  ASSERT_FALSE(image.SystemSupport());
  EXPECT_FALSE(image.Visible());  // prepared hidden
  image.ShowDragImage();
  ASSERT_TRUE(image.Visible());
  EXPECT_FALSE(image.DragTo(hot, false));
  EXPECT_NE(Grab(area), before);
  // Overlapping moves in every direction, and one jump.
  for (POINT step : {POINT{3, 2}, POINT{-5, 1}, POINT{0, -4}, POINT{7, 0}, POINT{-2, -3}, POINT{-12, 3},
                     POINT{9, -4}, POINT{60, 45}}) {
    hot.x += step.x;
    hot.y += step.y;
    EXPECT_TRUE(image.DragTo(hot, false));
  }
  const RECT rect = image.GetDragImageRect();
  EXPECT_EQ(rect.left, hot.x - 20);
  EXPECT_EQ(rect.top, hot.y - 15);
  image.SetMoveRestriction(TLTDragMoveRestriction::dmrHorizontalOnly);
  EXPECT_FALSE(image.DragTo({hot.x, hot.y + 9}, false));
  image.EndDrag();
  EXPECT_EQ(Grab(area), before);
  const RECT gone = image.GetDragImageRect();
  EXPECT_TRUE(IsRectEmpty(&gone));
}

}  // namespace
}  // namespace kv
