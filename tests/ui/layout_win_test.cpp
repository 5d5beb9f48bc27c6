#include "ui/layout_loader_win.h"

#include <gtest/gtest.h>

#include "ui_test_util.h"

namespace kv::ui {
namespace {

using test::TTestDialog;

class LayoutTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::RegisterTestClasses(); }
};

TEST_F(LayoutTest, EveryShippedLayoutParsesAndEveryRegisteredOneBuilds) {
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

TEST_F(LayoutTest, TheDialogIsBuiltAsDeclared) {
  TTestDialog dialog;
  EXPECT_EQ(dialog.created, 1);  // OnCreate once, after the build
  EXPECT_EQ(dialog.Name(), "TestDialog");
  EXPECT_EQ(dialog.Caption(), "Test dialog");
  EXPECT_EQ(dialog.ClientWidth(), 360);
  EXPECT_EQ(dialog.ClientHeight(), 260);
  EXPECT_TRUE(dialog.Get<TCheckBox>("AgreeCheck").Checked());
  EXPECT_EQ(dialog.Get<TRadioGroup>("Choice").ItemIndex(), 0);
  EXPECT_EQ(dialog.Get<TComboBox>("Direction").ItemIndex(), 1);
  EXPECT_EQ(dialog.Get<TTrackBar>("Bound").Position(), 90);
  EXPECT_EQ(dialog.Get<TStatusBar>("Status").PanelText(1), "0 groups");
  EXPECT_TRUE(dialog.Get<TButton>("OkButton").Default());
  EXPECT_EQ(dialog.Get<TButton>("CancelButton").ModalResult(), mrCancel);
  EXPECT_TRUE(dialog.Get<TLabel>("InfoLabel").Font().bold);
  // Styles a live window cannot take made the window anew.
  EXPECT_TRUE(GetWindowLongPtrW(dialog.Get<TMemo>("Notes").Handle(), GWL_STYLE) & WS_VSCROLL);
  EXPECT_TRUE(SendMessageW(dialog.Get<TToolBar>("ToolBar1").Handle(), TB_GETSTYLE, 0, 0) & TBSTYLE_FLAT);
  EXPECT_GT(dialog.Get<TLabel>("InfoLabel").Width(), 0);  // auto-sized once built
  auto& bar = dialog.Get<TToolBar>("ToolBar1");
  ASSERT_EQ(bar.ButtonCount(), 3u);
  EXPECT_EQ(SendMessageW(bar.Handle(), TB_BUTTONCOUNT, 0, 0), 3);
  EXPECT_EQ(dialog.Get<TImageList>("ImageList1").Count(), 3);
  EXPECT_EQ(dialog.Get<TSaveDialog>("SaveDialog1").DefaultExt, "htm");
  // The tool bar's click reaches the bound handler through its parent.
  SendMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(1, BN_CLICKED),
               reinterpret_cast<LPARAM>(bar.Handle()));
  EXPECT_EQ(dialog.plays, 1);
  // Children sit in their parents' windows.
  auto& ok = dialog.Get<TButton>("OkButton");
  EXPECT_EQ(GetParent(ok.Handle()), dialog.Get<TPanel>("ButtonPanel").Handle());
  // A picture of the whole dialog for a person to look at; the info-tinted
  // memo shows its own colour.
  dialog.Show();
  const TBitmap shot = test::Screenshot(dialog, "test_dialog");
  POINT memo{4, 4};
  MapWindowPoints(dialog.Get<TMemo>("Notes").Handle(), nullptr, &memo, 1);
  RECT window;
  GetWindowRect(dialog.Handle(), &window);
  EXPECT_EQ(shot.Pixel(memo.x - window.left, memo.y - window.top),
            ((ColorToRGB(clInfoBk) & 0xFF) << 16) | (ColorToRGB(clInfoBk) & 0xFF00) |
                ((ColorToRGB(clInfoBk) >> 16) & 0xFF));
  EXPECT_GT(test::DarkPixels(shot, dialog, dialog.Get<TLabel>("InfoLabel")), 5);  // "90 %"
  EXPECT_GT(test::DarkPixels(shot, dialog, dialog.Get<TCheckBox>("AgreeCheck")), 5);
  dialog.Hide();
}

TEST_F(LayoutTest, MistakesAreReportedWithFileAndLineAndLeaveNothingBehind) {
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
}

TEST_F(LayoutTest, TheRootClassMustMatch) {
  TTestDialog dialog;
  EXPECT_THROW(BuildLayout(dialog, ParseLayout("object X: TForm\nend\n", "f.layout"), "f.layout"),
               ELayoutError);
  EXPECT_THROW(LoadLayout(dialog, "no_such"), ELayoutError);
}

}  // namespace
}  // namespace kv::ui
