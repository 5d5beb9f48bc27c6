// A form's active control, an edit without its border and a bevel drawn on
// chosen sides, as layouts declare them.
#include <gtest/gtest.h>

#include "tests/ui/ui_test_util.h"

namespace kv::ui {
namespace {

constexpr char kLayout[] = R"(object F: TForm
  ClientWidth = 200
  ClientHeight = 120
  ActiveControl = Second
  object Note: TMemo
    Left = 8
    Top = 8
    Width = 100
    Height = 40
    BorderStyle = bsNone
    ReadOnly = true
  end
  object Framed: TEdit
    Left = 8
    Top = 52
    Width = 100
    Height = 21
  end
  object First: TButton
    Left = 120
    Top = 8
    Default = true
  end
  object Second: TButton
    Left = 120
    Top = 40
    ModalResult = mrOk
  end
  object Line: TPanel
    Left = 0
    Top = 90
    Width = 200
    Height = 9
    BevelOuter = bvLowered
    BevelEdges = [beTop]
  end
end
)";

TEST(ActiveControl, TheFormsActiveControlHasTheFocusWhenShown) {
  TForm form;
  BuildLayout(form, ParseLayout(kLayout, "active.layout"), "active.layout");
  EXPECT_EQ(form.ActiveControl(), &form.Get<TButton>("Second"));
  EXPECT_EQ(GetWindowLongPtrW(form.Get<TMemo>("Note").Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
  EXPECT_NE(GetWindowLongPtrW(form.Get<TEdit>("Framed").Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
  EXPECT_EQ(form.Get<TPanel>("Line").BevelEdges(), static_cast<TBevelEdges>(BF_TOP));

  HWND focused = nullptr;
  uint32_t top = 0, bottom = 0, middle = 0, left = 0;
  test::RunLater(50, [&] {
    focused = GetFocus();
    // The top line only: the panel's other sides stay plain.
    const TBitmap shot = test::Screenshot(form, "bevel_edges");
    HWND line = form.Get<TPanel>("Line").Handle();
    top = test::PixelAt(shot, form, line, 100, 0);
    bottom = test::PixelAt(shot, form, line, 100, 8);
    middle = test::PixelAt(shot, form, line, 100, 4);
    left = test::PixelAt(shot, form, line, 0, 4);
    // Enter goes to the focused button, not to the default one.
    test::PressKey(focused, VK_RETURN);
  });
  // Should Enter not close it, the form is ended later (the timer may fire
  // after the test, so it reaches the form through a pointer cleared then).
  static TForm* open = nullptr;
  open = &form;
  test::RunLater(3000, [] {
    if (open != nullptr && open->Modal()) open->SetModalResult(mrCancel);
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  open = nullptr;
  EXPECT_EQ(focused, form.Get<TButton>("Second").Handle());
  EXPECT_NE(top, bottom);
  EXPECT_EQ(bottom, middle);
  EXPECT_EQ(left, middle);

  // A control freed while it is the active one is forgotten.
  form.FreeComponent(&form.Get<TButton>("Second"));
  EXPECT_EQ(form.ActiveControl(), nullptr);
}

}  // namespace
}  // namespace kv::ui
