#include <gtest/gtest.h>

#include "tests/ui/ui_test_util.h"
#include "ui/dialogs.h"

namespace kv::ui {
namespace {

using test::RunLater;

// The application shell's pattern: at the first idle moment the handler
// clears itself and runs the program's own loop until the main form closes.
// The main form is the first one created and is forgotten when freed.
TEST(Application, AnIdleHandlerMayClearItselfAndRunTheLoopUntilTheMainFormCloses) {
  TApplication& app = Application();
  const size_t before = app.Forms().size();
  TForm& main = app.CreateForm<TForm>();
  EXPECT_EQ(app.MainForm(), &main);
  EXPECT_EQ(app.Forms().size(), before + 1);
  int idleRuns = 0, passes = 0;
  bool closeAsked = false, closed = false;
  main.OnCloseQuery = [&](TComponent*, bool& canClose) { canClose = closeAsked = true; };
  main.OnClose = [&](TComponent*, TCloseAction&) { closed = true; };
  app.OnIdle = [&](TComponent*, bool&) {
    ++idleRuns;
    app.OnIdle = nullptr;
    while (!closed) {
      app.HandleMessage();
      app.ProcessMessages();
      ++passes;
    }
  };
  RunLater(80, [&] { PostMessageW(main.Handle(), WM_CLOSE, 0, 0); });
  app.Run();  // shows the main form first
  EXPECT_EQ(idleRuns, 1);
  EXPECT_GT(passes, 0);
  EXPECT_TRUE(closeAsked && closed);
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(main.Visible());
  app.ResetTerminated();
  app.FreeComponent(&main);
  EXPECT_EQ(app.MainForm(), nullptr);
  EXPECT_EQ(app.Forms().size(), before);
}

// A frame that puts itself on a small modal dialog it owns, as the
// destination chooser and the preferences dialog do.
TEST(Application, AFrameRunsOnADialogItOwns) {
  auto frame = std::make_unique<test::TTestFrame>();
  TForm& dialog = frame->Create<TForm>();
  dialog.SetBorderStyle(TBorderStyle::Dialog);
  dialog.SetBorderIcons(biSystemMenu);
  dialog.SetClientWidth(frame->Width());
  dialog.SetClientHeight(frame->Height());
  frame->SetParent(&dialog);
  frame->SetAlign(TAlign::Client);
  EXPECT_EQ(GetWindowLongPtrW(dialog.Handle(), GWL_STYLE) & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
            WS_SYSMENU);
  auto& corner = frame->Get<TButton>("Corner");
  corner.SetModalResult(mrOk);
  RunLater(50, [&] { test::ClickWindow(corner); });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  HWND frameWindow = frame->Handle();
  frame.reset();  // frees the dialog with it
  EXPECT_FALSE(IsWindow(frameWindow));
}

TEST(Forms, WindowStateAndPlacementKeepTheNormalBounds) {
  TForm form;
  form.SetBounds(40, 50, 300, 200);
  form.SetWindowState(TWindowState::Maximized);
  EXPECT_EQ(form.WindowState(), TWindowState::Maximized);  // taken when shown
  form.Show();
  EXPECT_TRUE(IsZoomed(form.Handle()));
  EXPECT_EQ(form.Bounds(), (TBounds{40, 50, 300, 200}));  // the normal bounds stay
  form.SetBounds(60, 70, 320, 210);  // restored geometry goes under the state
  EXPECT_TRUE(IsZoomed(form.Handle()));
  form.SetWindowState(TWindowState::Normal);
  RECT normal;
  GetWindowRect(form.Handle(), &normal);
  EXPECT_EQ(normal.left, 60);
  EXPECT_EQ(normal.right - normal.left, 320);
  EXPECT_EQ(form.WindowState(), TWindowState::Normal);
  form.SetPosition(TPosition::ScreenCenter);
  form.Hide();
  form.Show();
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(form.Left(), work.left + (work.right - work.left - 320) / 2);
  form.Hide();
}

TEST(Canvas, DrawsTextLinesAndRectanglesWithItsTools) {
  TBitmap bitmap;
  bitmap.Create(60, 30);
  {
    WindowDc screen(nullptr);
    MemoryDc dc(screen.Get());
    SelectedObject selected(dc.Get(), bitmap.Handle());
    TCanvas canvas(dc.Get());
    canvas.SetBrush(clWhite);
    canvas.FillRect({0, 0, 60, 30});
    canvas.SetPen(clRed);
    canvas.MoveTo(0, 2);
    canvas.LineTo(60, 2);
    canvas.SetBrush(clBlue);
    canvas.FillRect({40, 10, 60, 30});
    TFontSpec font;
    font.color = clBlack;
    canvas.SetFont(font);
    canvas.SetBrush(clWhite, TBrushStyle::Clear);
    EXPECT_GT(canvas.TextWidth("WWW"), canvas.TextWidth("W"));
    EXPECT_GT(canvas.TextHeight(""), 5);
    canvas.TextRect({0, 8, 38, 30}, 2, 10, "WWWWWWWWWW");
  }
  EXPECT_EQ(bitmap.Pixel(30, 2), 0xFF0000u);   // red pen (as 0xRRGGBB)
  EXPECT_EQ(bitmap.Pixel(50, 20), 0x0000FFu);  // blue brush
  EXPECT_EQ(bitmap.Pixel(39, 20), 0xFFFFFFu);  // the text stayed inside its rectangle
  int dark = 0;
  for (int y = 10; y < 28; ++y)
    for (int x = 0; x < 38; ++x) dark += bitmap.Pixel(x, y) == 0;
  EXPECT_GT(dark, 10);
  const std::string bmp = bitmap.ToBmpFile();
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(bmp.size(), 54u + 60u * 3u * 30u);
}

TEST(Controls, LabelsSizeThemselvesAndWrapWhenAsked) {
  TForm form;
  TLabel& label = form.Create<TLabel>();
  label.SetParent(&form);
  label.SetText("Short");
  const int shortWidth = label.Width(), lineHeight = label.Height();
  label.SetText("A much longer text than the other");
  EXPECT_GT(label.Width(), shortWidth);
  EXPECT_EQ(label.Height(), lineHeight);
  label.SetWordWrap(true);
  label.SetWidth(60);
  label.SetText("A much longer text than the other");
  EXPECT_EQ(label.Width(), 60);
  EXPECT_GT(label.Height(), 2 * lineHeight);
  TFontSpec big = label.Font();
  big.height = -24;
  label.SetWordWrap(false);
  label.SetFont(big);
  EXPECT_GT(label.Height(), lineHeight * 3 / 2);
}

TEST(SaveDialog, FiltersTakeTheDialogsForm) {
  using namespace std::string_literals;
  EXPECT_EQ(FilterToDialogForm("html files|*.html;*.htm"), "html files\0*.html;*.htm\0\0"s);
  EXPECT_EQ(FilterToDialogForm("A|*.a|B|*.b"), "A\0*.a\0B\0*.b\0\0"s);
  EXPECT_EQ(FilterToDialogForm(""), "\0\0"s);
  EXPECT_THROW(FilterToDialogForm("html files"), std::invalid_argument);
  EXPECT_THROW(FilterToDialogForm("A|*.a|B"), std::invalid_argument);
}

}  // namespace
}  // namespace kv::ui
