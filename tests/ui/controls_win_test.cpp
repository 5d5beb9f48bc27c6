#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "tests/ui/ui_test_util.h"

namespace kv::ui {
namespace {

using test::TTestDialog;
using test::TTestFrame;

TBounds WindowRectInParent(TControl& c) {
  RECT r;
  GetWindowRect(c.Handle(), &r);
  MapWindowPoints(nullptr, GetParent(c.Handle()), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

TEST(Controls, ChildrenFollowAlignmentAndAnchorsWhenTheFormResizes) {
  TForm form;
  TTestFrame& frame = form.Create<TTestFrame>();
  frame.SetParent(&form);
  frame.SetAlign(TAlign::Client);
  struct Case {
    int width, height;
    TBounds top, left, fill, bottom, corner, stretch;
  };
  const Case cases[] = {
      {400, 300, {0, 0, 400, 30}, {0, 30, 50, 250}, {50, 30, 350, 250}, {0, 280, 400, 20},
       {250, 200, 75, 25}, {10, 10, 300, 21}},
      {300, 200, {0, 0, 300, 30}, {0, 30, 50, 150}, {50, 30, 250, 150}, {0, 180, 300, 20},
       {150, 100, 75, 25}, {10, 10, 200, 21}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    form.SetClientWidth(c.width);
    form.SetClientHeight(c.height);
    EXPECT_EQ(frame.Bounds(), (TBounds{0, 0, c.width, c.height}));
    EXPECT_EQ(frame.Get<TPanel>("TopPanel").Bounds(), c.top);
    EXPECT_EQ(frame.Get<TPanel>("LeftPanel").Bounds(), c.left);
    EXPECT_EQ(frame.Get<TPanel>("FillPanel").Bounds(), c.fill);
    EXPECT_EQ(frame.Get<TPanel>("BottomPanel").Bounds(), c.bottom);
    EXPECT_EQ(frame.Get<TButton>("Corner").Bounds(), c.corner);
    EXPECT_EQ(WindowRectInParent(frame.Get<TButton>("Corner")), c.corner);  // the window moved too
    EXPECT_EQ(frame.Get<TEdit>("Stretch").Bounds(), c.stretch);
  }
  // A hidden aligned control gives its room to the others.
  frame.Get<TPanel>("TopPanel").Hide();
  EXPECT_EQ(frame.Get<TPanel>("FillPanel").Bounds(), (TBounds{50, 0, 250, 180}));
}

TEST(Controls, ValuesSetByCodeFireNoEventsButTheUsersActionsDo) {
  TTestDialog dialog;
  auto& edit = dialog.Get<TEdit>("NameEdit");
  auto& check = dialog.Get<TCheckBox>("AgreeCheck");
  auto& group = dialog.Get<TRadioGroup>("Choice");
  auto& combo = dialog.Get<TComboBox>("Direction");
  auto& track = dialog.Get<TTrackBar>("Bound");

  edit.SetText("42");
  check.SetChecked(false);
  group.SetItemIndex(1);
  combo.SetItemIndex(0);
  track.SetPosition(50);
  EXPECT_TRUE(dialog.changes.empty());
  EXPECT_EQ(group.ItemIndex(), 1);  // the layout's index was 0

  struct Action {
    const char* expected;
    std::function<void()> act;
  };
  const Action actions[] = {
      {"NameEdit", [&] { SendMessageW(edit.Handle(), WM_CHAR, '7', 0); }},
      {"AgreeCheck", [&] { test::ClickWindow(check); }},
      {"Choice", [&] { SendMessageW(GetWindow(group.Handle(), GW_CHILD), BM_CLICK, 0, 0); }},
      {"Direction", [&] {
         SendMessageW(combo.Handle(), CB_SETCURSEL, 1, 0);
         SendMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                      reinterpret_cast<LPARAM>(combo.Handle()));
       }},
      {"Bound", [&] {
         SendMessageW(track.Handle(), TBM_SETPOS, TRUE, 75);
         SendMessageW(dialog.Handle(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 75),
                      reinterpret_cast<LPARAM>(track.Handle()));
       }},
  };
  for (const Action& a : actions) {
    SCOPED_TRACE(a.expected);
    dialog.changes.clear();
    a.act();
    ASSERT_EQ(dialog.changes.size(), 1u);
    EXPECT_EQ(dialog.changes[0], a.expected);
  }
  EXPECT_EQ(edit.Text(), "742");
  EXPECT_TRUE(check.Checked());
  EXPECT_EQ(group.ItemIndex(), 0);
  EXPECT_EQ(combo.ItemIndex(), 1);
  EXPECT_EQ(track.Position(), 75);

  // The key filter drops what it refuses before the edit sees it.
  dialog.changes.clear();
  SendMessageW(edit.Handle(), WM_CHAR, 'x', 0);
  SendMessageW(edit.Handle(), WM_CHAR, '1', 0);
  EXPECT_EQ(edit.Text(), "7142");
  EXPECT_EQ(dialog.changes.size(), 1u);
}

TEST(Controls, AClickIsAPressAndReleaseInsideTheControlOfAnyClass) {
  TTestDialog dialog;
  dialog.Show();
  std::vector<std::string> clicks;
  auto record = [&clicks](TComponent* sender) { clicks.push_back(sender->Name()); };
  const struct {
    const char* control;
    int releasedAt;
    std::vector<std::string> expected;
  } rows[] = {
      {"NameEdit", 3, {"NameEdit"}},      // a system edit
      {"NameEdit", -20, {}},              // released off it: no click
      {"AgreeCheck", 3, {"AgreeCheck"}},  // the button tells of it once, not twice
      {"InfoLabel", 1, {"InfoLabel"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.control) + " released at " + std::to_string(row.releasedAt));
    auto& control = dialog.Get<TControl>(row.control);
    control.OnClick = record;
    clicks.clear();
    SendMessageW(control.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
    SendMessageW(control.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(row.releasedAt, 1));
    ReleaseCapture();
    test::Pump(50);
    EXPECT_EQ(clicks, row.expected);
  }
}

TEST(Controls, AThrowingHandlerReachesOnExceptionAndTheProgramGoesOn) {
  TForm form;
  TButton& button = form.Create<TButton>();
  button.SetParent(&form);
  int clicks = 0;
  button.OnClick = [&](TComponent*) {
    if (++clicks == 1) throw std::runtime_error("boom");
  };
  std::vector<std::string> caught;
  Application().OnException = [&](TComponent*, std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      caught.push_back(x.what());
    }
  };
  test::ClickWindow(button);
  test::ClickWindow(button);
  Application().OnException = nullptr;
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(caught, std::vector<std::string>{"boom"});

  // Without a handler the text goes to a message box (here the hook).
  std::string shown;
  SetMessageBoxHook([&](HWND, const std::string& text, const std::string&, UINT) {
    shown = text;
    return IDOK;
  });
  clicks = 0;
  test::ClickWindow(button);
  SetMessageBoxHook(nullptr);
  EXPECT_EQ(shown, "boom");
}

TEST(Controls, OwnersFreeWhatTheyOwnAndTellWhoAsked) {
  struct Watcher : TComponent {
    std::vector<TComponent*> removed;
    void Notification(TComponent* c, TOperation op) override {
      if (op == TOperation::Remove) removed.push_back(c);
    }
  };
  Watcher watcher;
  auto owner = std::make_unique<TForm>();
  TPanel& panel = owner->Create<TPanel>();
  panel.SetParent(owner.get());
  TButton& inner = owner->Create<TButton>();
  inner.SetName("Inner");
  inner.SetParent(&panel);
  inner.FreeNotification(&watcher);
  EXPECT_EQ(owner->FindComponent("inner"), &inner);  // names ignore letter case
  EXPECT_THROW(owner->Create<TButton>().SetName("INNER"), std::runtime_error);
  HWND innerWindow = inner.Handle();
  owner->FreeComponent(&panel);  // the panel goes; its child window with it
  EXPECT_FALSE(IsWindow(innerWindow));
  EXPECT_EQ(inner.Parent(), nullptr);
  EXPECT_FALSE(inner.HandleAllocated());
  inner.SetParent(owner.get());  // and gets a new window on another parent
  EXPECT_TRUE(IsWindow(inner.Handle()));
  // What the user typed survives a parent without a window.
  TEdit& typed = owner->Create<TEdit>();
  typed.SetParent(owner.get());
  SetWindowTextW(typed.Handle(), L"typed");
  TPanel& loose = owner->Create<TPanel>();
  typed.SetParent(&loose);
  EXPECT_FALSE(typed.HandleAllocated());
  EXPECT_EQ(typed.Text(), "typed");
  loose.SetParent(owner.get());
  EXPECT_EQ(GetWindowTextLengthW(typed.Handle()), 5);
  owner.reset();
  ASSERT_EQ(watcher.removed.size(), 1u);
  EXPECT_EQ(watcher.removed[0], &inner);
}

TEST(Controls, AReplacedWindowProcSeesMessagesAndCanHandOn) {
  TForm form;
  TPanel& panel = form.Create<TPanel>();
  panel.SetParent(&form);
  int seen = 0;
  TWndMethod old = panel.WindowProc();
  panel.SetWindowProc([&, old](TMessage& m) {
    if (m.msg == WM_APP + 7) {
      ++seen;
      m.result = 42;
      return;
    }
    old(m);
  });
  EXPECT_EQ(SendMessageW(panel.Handle(), WM_APP + 7, 0, 0), 42);
  SetWindowTextW(panel.Handle(), L"still handled");
  EXPECT_EQ(panel.Text(), "still handled");
  EXPECT_EQ(seen, 1);
}

// Records every message its own handler gets; may throw on one of them.
template <class Base>
class TRecording : public Base {
 public:
  std::vector<UINT> messages;
  UINT throwOn = 0;

 protected:
  void WndProc(TMessage& m) override {
    messages.push_back(m.msg);
    if (m.msg == throwOn) throw std::runtime_error("handler failed");
    Base::WndProc(m);
  }
};

// A form whose window is made again once the derived handler is in place.
class TRecordingForm : public TRecording<TForm> {
 public:
  TRecordingForm() {
    DestroyHandle();
    messages.clear();
    CreateHandle();
  }
};

// A control of a class of its own that repaints whole when resized.
class TRedrawPanel : public TRecording<TControl> {
 protected:
  void CreateParams(TCreateParams& params) override {
    TControl::CreateParams(params);
    params.className = RegisterOwnWindowClass(L"KvTestRedraw", CS_HREDRAW | CS_VREDRAW);
  }
};

size_t IndexOf(const std::vector<UINT>& messages, UINT msg) {
  return size_t(std::find(messages.begin(), messages.end(), msg) - messages.begin());
}

TEST(Controls, OwnClassesSeeTheMessagesOfTheirCreation) {
  TRecordingForm form;
  TRecording<TPanel>& panel = form.Create<TRecording<TPanel>>();
  panel.SetParent(&form);
  TRedrawPanel& redraw = form.Create<TRedrawPanel>();
  redraw.SetParent(&form);
  const std::vector<UINT>* lists[] = {&form.messages, &panel.messages, &redraw.messages};
  for (const std::vector<UINT>* messages : lists) {
    ASSERT_FALSE(messages->empty());
    EXPECT_EQ(messages->front(), UINT(WM_NCCREATE));
    EXPECT_LT(IndexOf(*messages, WM_NCCALCSIZE), IndexOf(*messages, WM_CREATE));
    EXPECT_LT(IndexOf(*messages, WM_CREATE), messages->size());
  }
  EXPECT_EQ(GetClassLongPtrW(redraw.Handle(), GCL_STYLE) & (CS_HREDRAW | CS_VREDRAW),
            ULONG_PTR(CS_HREDRAW | CS_VREDRAW));
  // A resized sizeable form is asked its limits.
  form.messages.clear();
  form.SetMinSize(250, 200);
  SetWindowPos(form.Handle(), nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_LT(IndexOf(form.messages, WM_GETMINMAXINFO), form.messages.size());
  RECT r;
  GetWindowRect(form.Handle(), &r);
  EXPECT_EQ(r.right - r.left, 250);
  // One name, one class.
  EXPECT_THROW(RegisterOwnWindowClass(L"KvTestRedraw", CS_DBLCLKS), std::logic_error);
  EXPECT_THROW(RegisterOwnWindowClass(L"BUTTON", 0), std::logic_error);
}

TEST(Controls, TheLastMessageOfAWindowReachesItsHandlerAndRepaintsRunWhenAsked) {
  TRecordingForm form;
  TRecording<TPanel>& panel = form.Create<TRecording<TPanel>>();
  panel.SetParent(&form);
  TRecording<TButton>& button = form.Create<TRecording<TButton>>();  // a system class
  button.SetParent(&form);
  form.Show();
  // Invalidate marks the window, Update paints it now, Refresh does both.
  UpdateWindow(form.Handle());
  EXPECT_FALSE(GetUpdateRect(panel.Handle(), nullptr, FALSE));
  panel.Invalidate();
  EXPECT_TRUE(GetUpdateRect(panel.Handle(), nullptr, FALSE));
  panel.messages.clear();
  panel.Update();
  EXPECT_FALSE(GetUpdateRect(panel.Handle(), nullptr, FALSE));
  EXPECT_LT(IndexOf(panel.messages, WM_PAINT), panel.messages.size());
  panel.messages.clear();
  panel.Refresh();
  EXPECT_LT(IndexOf(panel.messages, WM_PAINT), panel.messages.size());
  // A derived control handles WM_NCDESTROY itself; the window then is gone.
  for (TControl* c : {static_cast<TControl*>(&panel), static_cast<TControl*>(&button)}) {
    auto& messages = c == &panel ? panel.messages : button.messages;
    messages.clear();
    DestroyWindow(c->Handle());
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), UINT(WM_NCDESTROY));
    EXPECT_FALSE(c->HandleAllocated());
  }
}

TEST(Controls, AHandlerThatThrowsLeavesTheMessageToTheDefaultProcedure) {
  int failures = 0;
  Application().OnException = [&](TComponent*, std::exception_ptr) { ++failures; };
  TRecordingForm form;
  form.SetCaption("Drag me");
  // Wine draws a tool window's caption itself; the others' belong to the
  // window manager, which the test display does not have.
  form.SetBorderStyle(TBorderStyle::ToolWindow);
  form.SetBounds(200, 150, 300, 200);
  form.Show();
  SetWindowPos(form.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  test::Pump(100);
  RECT window, client;
  GetWindowRect(form.Handle(), &window);
  GetClientRect(form.Handle(), &client);
  MapWindowPoints(form.Handle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
  const POINT caption{window.left + 100, (window.top + client.top) / 2};

  TEdit& edit = form.Create<TEdit>();  // a subclassed system control
  edit.SetParent(&form);
  edit.SetText("hello");
  edit.SetWindowProc([old = edit.WindowProc()](TMessage& m) {
    if (m.msg == WM_GETTEXTLENGTH) throw std::runtime_error("handler failed");
    old(m);
  });
  form.throwOn = WM_NCHITTEST;
  EXPECT_EQ(SendMessageW(form.Handle(), WM_NCHITTEST, 0, MAKELPARAM(caption.x, caption.y)),
            HTCAPTION);
  EXPECT_EQ(GetWindowTextLengthW(edit.Handle()), 5);
  EXPECT_EQ(failures, 2);

  // The user drags the caption while every hit test fails.
  const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
  auto mouse = [&](int x, int y, DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(x, 65536, screenW) + 1;
    in.mi.dy = MulDiv(y, 65536, screenH) + 1;
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return in;
  };
  INPUT drag[] = {mouse(caption.x, caption.y, 0), mouse(caption.x, caption.y, MOUSEEVENTF_LEFTDOWN),
                  mouse(caption.x + 20, caption.y + 10, 0),
                  mouse(caption.x + 40, caption.y + 30, 0),
                  mouse(caption.x + 40, caption.y + 30, MOUSEEVENTF_LEFTUP)};
  // All at once: the caption's move loop takes the rest from the queue.
  EXPECT_EQ(SendInput(UINT(std::size(drag)), drag, sizeof(INPUT)), std::size(drag));
  test::Pump(300);
  form.throwOn = 0;
  Application().OnException = nullptr;
  RECT moved;
  GetWindowRect(form.Handle(), &moved);
  EXPECT_EQ(moved.left, window.left + 40);
  EXPECT_EQ(moved.top, window.top + 30);
  EXPECT_GT(failures, 2);
  form.Hide();
}

}  // namespace
}  // namespace kv::ui

namespace kv::ui {
namespace {

// The rightmost column of the control's area in the screenshot with a dark
// pixel (text), from the control's left; -1 for none.
int RightmostInk(const TBitmap& shot, TForm& form, TControl& control) {
  int last = -1;
  for (int x = 0; x < control.Width(); ++x)
    for (int y = 0; y < control.Height(); ++y) {
      const uint32_t px = test::PixelAt(shot, form, control.Handle(), x, y);
      if (((px >> 16) & 0xFF) + ((px >> 8) & 0xFF) + (px & 0xFF) < 200) last = x;
    }
  return last;
}

// A label for user text draws "&" as a letter and is sized for it; an
// ordinary label takes it as the mark of the next letter and does not draw
// it, so its text ends sooner.
TEST(Controls, ALabelForUserTextDrawsItsAmpersands) {
  TForm form;
  form.SetClientWidth(400);
  form.SetClientHeight(80);
  const std::string text = "Kate Wood & the Crowns";
  TLabel& literal = form.Create<TLabel>();
  literal.SetShowAccelChar(false);
  literal.SetParent(&form);
  literal.SetBounds(10, 10, 0, 0);
  literal.SetText(text);
  TLabel& marked = form.Create<TLabel>();
  marked.SetParent(&form);
  marked.SetBounds(10, 40, 0, 0);
  marked.SetText(text);
  form.Show();
  EXPECT_NE(GetWindowLongW(literal.Handle(), GWL_STYLE) & SS_NOPREFIX, 0);
  EXPECT_GT(literal.Width(), marked.Width());
  const TBitmap shot = test::Screenshot(form, "label_ampersand");
  const int literalEnd = RightmostInk(shot, form, literal), markedEnd = RightmostInk(shot, form, marked);
  EXPECT_GT(literalEnd, markedEnd + 3);
  EXPECT_GE(literalEnd, literal.Width() - 4);  // its whole measured width is drawn

  // Turned on again later, the mark is back.
  literal.SetShowAccelChar(true);
  EXPECT_EQ(GetWindowLongW(literal.Handle(), GWL_STYLE) & SS_NOPREFIX, 0);
  EXPECT_EQ(literal.Width(), marked.Width());
  form.Hide();
}

// File names outside the ANSI code page: the window holds the exact text,
// a label sizes itself to it, an edit fires no change for it, and the text
// outlives a new window.
TEST(Controls, ExactTextsOutsideTheCodePage) {
  TTestDialog dialog;
  auto& edit = dialog.Get<TEdit>("NameEdit");
  const std::wstring name = L"D:\\\u041c\u0443\u0437\u044b\u043a\u0430\\\u0141\u00f3d\u017a \u65e5\U0001F3B5";
  dialog.changes.clear();
  edit.SetWideText(name);
  EXPECT_TRUE(dialog.changes.empty());
  EXPECT_EQ(edit.WideText(), name);
  edit.SetBorderStyle(TBorderStyle::None);  // a new window
  EXPECT_EQ(edit.WideText(), name);
  edit.SetText("plain");  // an ANSI text replaces it whole
  EXPECT_EQ(edit.WideText(), L"plain");
  edit.SetBorderStyle(TBorderStyle::Single);
  EXPECT_EQ(edit.WideText(), L"plain");
  EXPECT_TRUE(dialog.changes.empty());

  TForm form;
  TLabel& label = form.Create<TLabel>();
  label.SetShowAccelChar(false);
  label.SetParent(&form);
  const std::wstring wide = L"\u6771\u4eac\u6771\u4eac\u6771\u4eac\u6771\u4eac";
  label.SetWideText(wide);
  form.Show();
  EXPECT_EQ(label.WideText(), wide);
  EXPECT_EQ(label.Width(), MeasureText(wide, label.FontHandle(), 0, false).cx);
  form.Hide();
}

// Tab walks the controls in their tab order, whether it was set before or after
// the windows were made; a place past the end is the last.
TEST(Controls, TabOrderDecidesWhereTabGoesNext) {
  TForm form;
  TButton* buttons[3];
  for (TButton*& b : buttons) {
    b = &form.Create<TButton>();
    b->SetParent(&form);
  }
  TButton &a = *buttons[0], &b = *buttons[1], &c = *buttons[2];
  c.SetTabOrder(1);
  EXPECT_EQ(a.TabOrder(), 0);
  EXPECT_EQ(b.TabOrder(), 2);
  const HWND h = form.Handle();
  auto next = [h](TControl& from) { return GetNextDlgTabItem(h, from.Handle(), FALSE); };
  EXPECT_EQ(next(a), c.Handle());
  EXPECT_EQ(next(c), b.Handle());
  EXPECT_EQ(next(b), a.Handle());
  b.SetTabOrder(0);
  EXPECT_EQ(next(b), a.Handle());
  EXPECT_EQ(next(a), c.Handle());
  EXPECT_EQ(next(c), b.Handle());
  b.SetTabOrder(7);
  EXPECT_EQ(b.TabOrder(), 2);
  EXPECT_EQ(next(a), c.Handle());
  EXPECT_EQ(next(c), b.Handle());
  TButton lone;
  EXPECT_EQ(lone.TabOrder(), -1);
}

HWND FormTooltip(HWND form) {
  struct Find {
    HWND owner, found = nullptr;
  } find{form};
  EnumThreadWindows(GetCurrentThreadId(), [](HWND w, LPARAM p) -> BOOL {
    auto& f = *reinterpret_cast<Find*>(p);
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    if (GetWindow(w, GW_OWNER) == f.owner && lstrcmpiW(name, TOOLTIPS_CLASSW) == 0) f.found = w;
    return f.found == nullptr;
  }, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

// ShowHint and the parent font follow the parent until the control takes a
// value of its own, and again once the parent flag is set back.
TEST(Controls, HintsAndFontFollowTheParentWhileTheirParentFlagIsOn) {
  TForm form;
  TButton& button = form.Create<TButton>();
  button.SetParent(&form);
  button.SetHint("Play|Plays the file");
  form.Handle();
  const HWND tooltip = FormTooltip(form.Handle());
  ASSERT_NE(tooltip, nullptr);
  auto tools = [tooltip] { return SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0); };
  EXPECT_TRUE(button.ParentShowHint());
  EXPECT_EQ(tools(), 1);
  form.SetShowHint(false);
  EXPECT_FALSE(button.ShowHint());
  EXPECT_EQ(tools(), 0);
  button.SetShowHint(true);
  EXPECT_FALSE(button.ParentShowHint());
  EXPECT_EQ(tools(), 1);
  button.SetParentShowHint(true);
  EXPECT_EQ(tools(), 0);
  form.SetShowHint(true);
  EXPECT_EQ(tools(), 1);

  TFontSpec bold = button.Font();
  bold.bold = true;
  button.SetFont(bold);
  EXPECT_FALSE(button.ParentFont());
  button.SetParentFont(true);
  EXPECT_FALSE(button.Font().bold);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(button.Handle(), WM_GETFONT, 0, 0)), form.FontHandle());
  TFontSpec big = form.Font();
  big.height = -20;
  form.SetFont(big);
  EXPECT_EQ(button.Font().height, -20);
  button.SetParentFont(false);  // keeps the font it shows as its own
  form.SetFont(bold);
  EXPECT_EQ(button.Font().height, -20);
  EXPECT_FALSE(button.Font().bold);
}

}  // namespace
}  // namespace kv::ui
