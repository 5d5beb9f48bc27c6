#include <gtest/gtest.h>

#include <algorithm>

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
  bitmap.Create(100, 44);
  int textWidth2 = 0, textWidth3 = 0, textHeight = 0;
  {
    const WindowDc screen = GetClientDc(nullptr);
    const MemoryDc dc = CreateMemoryDc(screen.Get());
    const SelectedObject selected = SelectInto(dc.Get(), bitmap.Handle());
    TCanvas canvas(dc.Get());
    canvas.SetBrush(clWhite);
    canvas.FillRect({0, 0, 100, 44});
    canvas.SetPen(clRed);
    canvas.MoveTo(0, 2);
    canvas.LineTo(100, 2);
    canvas.SetBrush(clBlue);
    canvas.FillRect({80, 10, 100, 44});
    TFontSpec font;
    font.color = clBlack;
    canvas.SetFont(font);
    canvas.SetBrush(clWhite, TBrushStyle::Clear);
    textWidth2 = canvas.TextWidth("WW");
    textWidth3 = canvas.TextWidth("WWW");
    textHeight = canvas.TextHeight("WWW");
    canvas.TextOut(4, 6, "WWW");
    canvas.TextRect({0, 26, 40, 44}, 2, 27, "WWWWWWWWWW");
  }
  EXPECT_EQ(bitmap.Pixel(50, 2), 0xFF0000u);  // red pen (as 0xRRGGBB), one pixel wide
  EXPECT_EQ(bitmap.Pixel(50, 1), 0xFFFFFFu);
  EXPECT_EQ(bitmap.Pixel(50, 3), 0xFFFFFFu);
  EXPECT_EQ(bitmap.Pixel(90, 30), 0x0000FFu);  // blue brush, inside its rectangle only
  EXPECT_EQ(bitmap.Pixel(79, 30), 0xFFFFFFu);
  auto dark = [&](int x, int y) {
    const uint32_t px = bitmap.Pixel(x, y);
    return ((px >> 16) & 0xFF) < 128 && ((px >> 8) & 0xFF) < 128 && (px & 0xFF) < 128;
  };
  // The ink of the text lies in the box the canvas measured for it, and its
  // third letter reaches past the width of two.
  int left = 100, right = -1, top = 44, bottom = -1;
  for (int y = 4; y < 26; ++y)
    for (int x = 0; x < 80; ++x)
      if (dark(x, y)) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  EXPECT_GE(left, 4);
  EXPECT_GE(right, 4 + textWidth2);
  EXPECT_LT(right, 4 + textWidth3);
  EXPECT_GE(top, 6);
  EXPECT_LT(bottom, 6 + textHeight);
  EXPECT_GT(bottom - top, textHeight / 2);
  // The clipped text stays inside its rectangle.
  int inside = 0, outside = 0;
  for (int y = 26; y < 44; ++y)
    for (int x = 0; x < 80; ++x) (x < 40 ? inside : outside) += dark(x, y);
  EXPECT_GT(inside, 10);
  EXPECT_EQ(outside, 0);
  const std::string bmp = bitmap.ToBmpFile();
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(bmp.size(), 54u + 100u * 3u * 44u);
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
