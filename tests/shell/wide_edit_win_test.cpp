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

}  // namespace
}  // namespace kv
