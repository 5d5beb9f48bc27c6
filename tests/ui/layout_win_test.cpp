#include "ui/layout_loader_win.h"

#include <gtest/gtest.h>

#include "tests/ui/ui_test_util.h"

namespace kv::ui {
namespace {

using test::TTestDialog;

TEST(Layout, EveryShippedLayoutParsesAndEveryRegisteredOneBuilds) {
  test::RegisterTestClasses();
  const std::vector<std::string> names = LayoutResourceNames();
  ASSERT_GE(names.size(), 2u);
  int built = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const TLayoutNode layout = ParseLayout(LayoutResourceText(name), name);
    const TClassInfo* info = ClassRegistry().Find(layout.className);
    if (!info || !info->create) continue;  // a root class of a subsystem not linked here
    std::unique_ptr<TComponent> root;
    ASSERT_NO_THROW(root = info->create());
    EXPECT_GT(root->ComponentCount(), 0u);
    ++built;
  }
  EXPECT_GE(built, 2);
}

// One property of each kind (text, number, flag, name, set, list, nested
// font, reference, resource) reaches its control.
TEST(Layout, TheDialogIsBuiltAsDeclared) {
  TTestDialog dialog;
  EXPECT_EQ(dialog.created, 1);  // OnCreate once, after the build
  EXPECT_EQ(dialog.Caption(), "Test dialog");
  EXPECT_EQ(dialog.ClientWidth(), 360);
  EXPECT_EQ(dialog.ClientHeight(), 260);
  EXPECT_TRUE(dialog.Get<TCheckBox>("AgreeCheck").Checked());
  EXPECT_EQ(dialog.Get<TRadioGroup>("Choice").ItemIndex(), 0);
  EXPECT_EQ(dialog.Get<TComboBox>("Direction").ItemIndex(), 1);
  EXPECT_EQ(dialog.Get<TTrackBar>("Bound").Position(), 90);
  EXPECT_EQ(dialog.Get<TStatusBar>("Status").PanelText(1), "0 groups");
  EXPECT_EQ(dialog.Get<TButton>("CancelButton").ModalResult(), mrCancel);
  EXPECT_TRUE(dialog.Get<TLabel>("InfoLabel").Font().bold);
  auto& banner = dialog.Get<TImage>("Banner");  // auto-sized to its resource picture
  EXPECT_EQ(banner.Width(), 48);
  EXPECT_EQ(banner.Height(), 16);
  EXPECT_EQ(banner.Picture().Pixel(8, 8), 0x208020u);
  // Styles a live window cannot take made the window anew.
  EXPECT_TRUE(GetWindowLongPtrW(dialog.Get<TMemo>("Notes").Handle(), GWL_STYLE) & WS_VSCROLL);
  auto& bar = dialog.Get<TToolBar>("ToolBar1");
  EXPECT_TRUE(SendMessageW(bar.Handle(), TB_GETSTYLE, 0, 0) & TBSTYLE_FLAT);
  EXPECT_EQ(SendMessageW(bar.Handle(), TB_BUTTONCOUNT, 0, 0), 3);
  EXPECT_EQ(dialog.Get<TImageList>("ImageList1").Count(), 3);
  // The tool bar's click reaches the bound handler through its parent.
  SendMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(1, BN_CLICKED),
               reinterpret_cast<LPARAM>(bar.Handle()));
  EXPECT_EQ(dialog.plays, 1);
  EXPECT_EQ(GetParent(dialog.Get<TButton>("OkButton").Handle()), dialog.Get<TPanel>("ButtonPanel").Handle());
  // A picture of the whole dialog for a person to look at; the info-tinted
  // memo shows its own colour, and the auto-sized label and the check box their text.
  dialog.Show();
  const TBitmap shot = test::Screenshot(dialog, "test_dialog");
  const COLORREF info = ColorToRGB(clInfoBk);
  EXPECT_EQ(test::PixelAt(shot, dialog, dialog.Get<TMemo>("Notes").Handle(), 4, 4),
            ((info & 0xFF) << 16) | (info & 0xFF00) | ((info >> 16) & 0xFF));
  EXPECT_GT(test::DarkPixels(shot, dialog, dialog.Get<TLabel>("InfoLabel")), 5);  // "90 %"
  EXPECT_GT(test::DarkPixels(shot, dialog, dialog.Get<TCheckBox>("AgreeCheck")), 5);
  dialog.Hide();
}

TEST(Layout, MistakesAreReportedWithFileAndLineAndLeaveNothingBehind) {
  struct Case {
    const char* body;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"  object B: TNoSuchThing\n  end\n", 2, "unknown class \"TNoSuchThing\""},
      {"  object B: TButton\n    Colour = clRed\n  end\n", 3, "unknown property \"Colour\" of TButton"},
      {"  object B: TButton\n    OnClick = NoSuchHandler\n  end\n", 3, "unknown handler \"NoSuchHandler\""},
      {"  object B: TEdit\n    OnKeyPress = SomethingChanged\n  end\n", 3, "does not fit this event"},
      {"  object B: TButton\n    Left = \"ten\"\n  end\n", 3, "expected a number"},
      {"  object B: TButton\n    Align = alMiddle\n  end\n", 3, "expected one of alNone"},
      {"  object B: TButton\n  end\n  object B: TButton\n  end\n", 4, "already exists"},
      {"  object T: TToolBar\n    Images = Nowhere\n  end\n", 3, "no suitable component named \"Nowhere\""},
      {"  object I: TImage\n    Picture = \"NO_SUCH_BITMAP\"\n  end\n", 3, "NO_SUCH_BITMAP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    TTestDialog dialog;
    const size_t before = dialog.ComponentCount();
    const std::string text = std::string("object X: TTestDialog\n") + "  object Keep: TPanel\n  end\n" +
                             c.body + "end\n";
    try {
      BuildLayout(dialog, ParseLayout(text, "broken.layout"), "broken.layout");
      ADD_FAILURE() << "built";
    } catch (const ELayoutError& e) {
      const std::string what = e.what();
      EXPECT_EQ(what.rfind("broken.layout:" + std::to_string(c.line + 2) + ": ", 0), 0u) << what;
      EXPECT_NE(what.find(c.message), std::string::npos) << what;
    }
    EXPECT_EQ(dialog.ComponentCount(), before);
    EXPECT_EQ(dialog.FindComponent("Keep"), nullptr);
  }
  TTestDialog dialog;  // another root class, a layout that does not exist
  EXPECT_THROW(BuildLayout(dialog, ParseLayout("object X: TForm\nend\n", "f.layout"), "f.layout"),
               ELayoutError);
  EXPECT_THROW(LoadLayout(dialog, "no_such"), ELayoutError);
}

}  // namespace
}  // namespace kv::ui
