#include <gtest/gtest.h>

#include "tests/ui/ui_test_util.h"

namespace kv::ui {
namespace {

using test::RunLater;
using test::TTestDialog;

TEST(Modal, ButtonsKeysAndTheCloseBoxGiveTheirResults) {
  struct Case {
    const char* what;
    int expected;
    std::function<void(TTestDialog&)> act;
  };
  const Case cases[] = {
      {"OK button", mrOk, [](TTestDialog& d) { test::ClickWindow(d.Get<TButton>("OkButton")); }},
      {"Cancel button", mrCancel,
       [](TTestDialog& d) { test::ClickWindow(d.Get<TButton>("CancelButton")); }},
      {"Enter in an edit", mrOk,
       [](TTestDialog& d) { test::PressKey(d.Get<TEdit>("NameEdit").Handle(), VK_RETURN); }},
      {"Enter on the cancel button", mrCancel,
       [](TTestDialog& d) { test::PressKey(d.Get<TButton>("CancelButton").Handle(), VK_RETURN); }},
      {"Esc", mrCancel,
       [](TTestDialog& d) { test::PressKey(d.Get<TEdit>("NameEdit").Handle(), VK_ESCAPE); }},
      {"close box", mrCancel, [](TTestDialog& d) { PostMessageW(d.Handle(), WM_CLOSE, 0, 0); }},
  };
  TForm other;
  other.Show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDialog dialog;
    bool otherWasDisabled = false;
    RunLater(50, [&] {
      otherWasDisabled = !IsWindowEnabled(other.Handle());
      c.act(dialog);
    });
    EXPECT_EQ(dialog.ShowModal(), c.expected);
    EXPECT_TRUE(otherWasDisabled);
    EXPECT_TRUE(IsWindowEnabled(other.Handle()));
    EXPECT_FALSE(dialog.Visible());
  }
}

TEST(Modal, CloseQueryCanRefuse) {
  TTestDialog dialog;
  dialog.allowClose = false;
  bool stillOpen = false;
  RunLater(30, [&] { test::ClickWindow(dialog.Get<TButton>("OkButton")); });
  RunLater(120, [&] {
    stillOpen = dialog.Visible();
    dialog.allowClose = true;
    test::ClickWindow(dialog.Get<TButton>("CancelButton"));
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  EXPECT_TRUE(stillOpen);
}

TEST(Modal, QuitEndsTheLoopAndIsPassedOn) {
  TTestDialog dialog;
  RunLater(30, [] { PostQuitMessage(3); });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  EXPECT_TRUE(Application().Terminated());
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));  // posted again
  Application().ResetTerminated();
  dialog.Show();
  EXPECT_THROW(dialog.ShowModal(), std::logic_error);  // a visible form cannot go modal
}

}  // namespace
}  // namespace kv::ui
