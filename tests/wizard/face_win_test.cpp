#include "wizard/face_win.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/foundation_init_win.h"
#include "tests/wizard/wizard_test_util.h"

namespace kv {
namespace {

using test::WizardFixture;

// The shell takes the loop at the first idle moment and gives it back once
// the main form has closed, after running the finish callback exactly once.
class Face : public WizardFixture {
 protected:
  void SetUp() override {
    WizardFixture::SetUp();
    ClearActions();
    main = &ui::Application().CreateForm<ui::TForm>();
    main->OnCloseQuery = [this](ui::TComponent*, bool& canClose) { canClose = false; ++layoutQueries; };
  }
  void TearDown() override {
    ui::Application().SetMainForm(nullptr);
    ui::Application().FreeComponent(main);
    ui::Application().OnIdle = {};
    ui::Application().ResetTerminated();
    ResetFace();
    ClearActions();
    WizardFixture::TearDown();
  }
  // Runs the application's loop with the shell, closing the main form by
  // the given action once the shell has taken over.
  void RunClosedBy(std::function<void()> close) {
    Init([this] { ++starts; }, [this] { ++finishes; finishedVisible = main->Visible(); },
         [this] { ++idles; }, [this](ui::TComponent*, bool& canClose) {
           ++tries;
           canClose = true;
         });
    ui::test::RunLater(150, [&] {
      ranInside = Stub() != nullptr && !ui::Application().OnIdle;
      close();
    });
    ui::Application().Run();
  }

  ui::TForm* main = nullptr;
  int starts = 0, finishes = 0, idles = 0, tries = 0, layoutQueries = 0;
  bool finishedVisible = true, ranInside = false;
};

TEST_F(Face, TheExitActionAndTheCloseBoxEndTheLoopOnceAndFinishOnce) {
  const std::pair<const char*, std::function<void(ui::TForm&)>> closers[] = {
      {"the File~Exit action",
       [](ui::TForm&) {
         for (auto& action : ProgActions())
           if (action->Path == "File~Exit") action->OnExecute(*action);
       }},
      {"the close box", [](ui::TForm& closing) { PostMessageW(closing.Handle(), WM_CLOSE, 0, 0); }},
  };
  for (const auto& [name, closer] : closers) {
    SCOPED_TRACE(name);
    starts = finishes = idles = tries = layoutQueries = 0;
    ui::Application().ResetTerminated();
    ResetFace();
    ClearActions();
    RunClosedBy([&, c = closer] { c(*main); });
    EXPECT_TRUE(ranInside);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(finishes, 1);
    EXPECT_GE(idles, 1);
    EXPECT_EQ(tries, 1);
    EXPECT_EQ(layoutQueries, 0);  // the shell's handlers replaced the layout's
    EXPECT_FALSE(finishedVisible);
    EXPECT_TRUE(Terminated());
    EXPECT_EQ(Stub(), nullptr);
    // The freed shell left no handler behind on the form.
    EXPECT_FALSE(main->OnClose);
    EXPECT_FALSE(main->OnCloseQuery);
  }
}

// A WM_QUIT from elsewhere does not end the shell's loop: it goes on, waiting
// for messages, until the main form closes, and only then finishes.
TEST_F(Face, AQuitFromElsewhereLeavesTheLoopRunningUntilTheMainFormCloses) {
  main->Show();
  RunClosedBy([&] {
    PostQuitMessage(0);
    ui::test::RunLater(300, [&] { PostMessageW(main->Handle(), WM_CLOSE, 0, 0); });
  });
  EXPECT_TRUE(ranInside);
  EXPECT_EQ(finishes, 1);
  EXPECT_FALSE(finishedVisible);  // finished after the close, not at the quit
  EXPECT_EQ(tries, 1);
  EXPECT_TRUE(Terminated());
  EXPECT_LT(idles, 50);  // waited for messages meanwhile
  EXPECT_EQ(Stub(), nullptr);
}

// Closed before the first idle moment (a quick user, or a program that is
// still busy starting): the shell never ran, yet the finish callback, which
// saves the settings, runs once.
TEST_F(Face, AMainFormClosedBeforeTheFirstIdleMomentStillFinishesOnce) {
  main->OnCloseQuery = {};
  Init([this] { ++starts; }, [this] { ++finishes; }, [this] { ++idles; }, {});
  PostMessageW(main->Handle(), WM_CLOSE, 0, 0);
  ui::Application().Run();
  ASSERT_NE(Stub(), nullptr);  // the loop ended before the shell took it
  EXPECT_EQ(finishes, 0);
  EndShell();
  EndShell();
  EXPECT_EQ(starts, 0);
  EXPECT_EQ(idles, 0);
  EXPECT_EQ(finishes, 1);
  EXPECT_EQ(Stub(), nullptr);
  EXPECT_FALSE(ui::Application().OnIdle);
}

// A finish that raises (a save that failed) is not run a second time by the
// shell's end: the wizard behind it is already half taken apart.
TEST_F(Face, AFinishThatRaisesRunsOnceAndTheShellStillGoes) {
  main->OnCloseQuery = {};
  Init({}, [this] {
    ++finishes;
    throw std::runtime_error("Access denied");
  }, {}, {});
  EXPECT_THROW(EndShell(), std::runtime_error);
  EXPECT_EQ(Stub(), nullptr);
  EndShell();
  EXPECT_EQ(finishes, 1);
}

}  // namespace
}  // namespace kv
