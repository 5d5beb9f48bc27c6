#include "shell/wide_edit_win.h"

#include <gtest/gtest.h>

#include "ui/forms_win.h"

namespace kv {
namespace {

TEST(WideEdit, TextOutsideTheAnsiCodePageSurvives) {
  ui::TForm form;
  auto& edit = form.Create<TCustomWideEdit>();
  const std::wstring text = L"\u041f\u0440\u0438\u0432\u0435\u0442 \u6771\u4eac \U0001F3B5";
  edit.SetWideText(text);  // before the window exists
  edit.SetParent(&form);
  ASSERT_TRUE(edit.Handle());
  EXPECT_EQ(edit.WideText(), text);
  wchar_t className[16] = {};
  GetClassNameW(edit.Handle(), className, 16);
  EXPECT_STREQ(className, L"Edit");
  EXPECT_TRUE(IsWindowUnicode(edit.Handle()));
  edit.SetWideText(L"caf\u00e9 \u20ac");
  EXPECT_EQ(edit.WideText(), L"caf\u00e9 \u20ac");
  // Typing a character beyond the code page reaches the control unchanged.
  SendMessageW(edit.Handle(), EM_SETSEL, 6, 6);
  SendMessageW(edit.Handle(), WM_CHAR, 0x6771, 1);
  EXPECT_EQ(edit.WideText(), L"caf\u00e9 \u20ac\u6771");
}

// The last text set wins, whichever call set it and whether the window
// existed then; a window that goes keeps its exact text for the next one.
TEST(WideEdit, TheLastTextSetWinsWithOrWithoutAWindow) {
  const std::wstring wide = L"\u6771\u4eac \u041c\u0438\u0440";
  const struct {
    bool wideFirst;
    std::wstring expected;
  } orders[] = {{true, L"plain"}, {false, wide}};
  for (const auto& order : orders) {
    ui::TForm form;
    auto& edit = form.Create<TCustomWideEdit>();
    if (order.wideFirst) {
      edit.SetWideText(wide);
      edit.SetText("plain");
    } else {
      edit.SetText("plain");
      edit.SetWideText(wide);
    }
    EXPECT_EQ(edit.WideText(), order.expected);  // no window yet
    edit.SetParent(&form);
    ASSERT_TRUE(edit.Handle());
    EXPECT_EQ(edit.WideText(), order.expected);
    edit.SetParent(nullptr);  // the window goes
    EXPECT_EQ(edit.WideText(), order.expected);
    edit.SetParent(&form);
    ASSERT_TRUE(edit.Handle());
    EXPECT_EQ(edit.WideText(), order.expected);
  }
}

// Setting the text is the program's doing, not the user's: OnChange stays
// quiet (at the window's creation too), and CM_TEXTCHANGED tells of a text
// that really changed.
TEST(WideEdit, SettingTellsOfAChangedTextOnly) {
  ui::TForm form;
  auto& edit = form.Create<TCustomWideEdit>();
  int changes = 0, notices = 0;
  edit.OnChange = [&](ui::TComponent*) { ++changes; };
  const ui::TWndMethod inherited = edit.WindowProc();
  edit.SetWindowProc([&](ui::TMessage& m) {
    if (m.msg == ui::CM_TEXTCHANGED) ++notices;
    inherited(m);
  });
  edit.SetWideText(L"\u6771\u4eac");  // before the window
  edit.SetParent(&form);
  ASSERT_TRUE(edit.Handle());
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(notices, 0);
  const struct {
    std::wstring text;
    int notices;
  } sets[] = {{L"\u6771\u4eac", 0}, {L"caf\u00e9", 1}, {L"caf\u00e9", 1}, {L"\u20ac \u6771", 2}, {L"", 3}};
  for (const auto& set : sets) {
    edit.SetWideText(set.text);
    EXPECT_EQ(edit.WideText(), set.text);
    EXPECT_EQ(notices, set.notices) << edit.WideText().size();
  }
  EXPECT_EQ(changes, 0);
  SendMessageW(edit.Handle(), WM_CHAR, L'x', 1);  // typing still changes
  EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace kv
