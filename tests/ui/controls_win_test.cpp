#include <gtest/gtest.h>

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

TEST(Controls, VisualStylesFollowTheInjectedVersion) {
  SetComCtlVersionProvider([] { return 581; });  // what Wine reports
  EXPECT_FALSE(VisualStylesEnabled());
  SetComCtlVersionProvider([] { return 600; });
  EXPECT_TRUE(VisualStylesEnabled());
  SetComCtlVersionProvider(nullptr);
  EXPECT_GT(ComCtlVersion(), 400);
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

}  // namespace
}  // namespace kv::ui
