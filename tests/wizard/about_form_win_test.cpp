#include "wizard/about_form_win.h"
#include "wizard/app_dialogs_win.h"

#include <gtest/gtest.h>

#include "tests/wizard/wizard_test_util.h"

namespace kv {
namespace {

using test::WizardFixture;

class About : public WizardFixture {};

TEST_F(About, AppDialogMapsButtonSetsAndTypesAndPassesTheAnswerOn) {
  struct Set {
    TMsgDlgButtons buttons;
    UINT flags;
  } const sets[] = {
      {mbAbort | mbRetry | mbIgnore, MB_ABORTRETRYIGNORE}, {mbYes | mbNo | mbCancel, MB_YESNOCANCEL},
      {mbOK | mbCancel, MB_OKCANCEL},                      {mbCancel | mbRetry, MB_RETRYCANCEL},
      {mbYes | mbNo, MB_YESNO},                            {mbOK, MB_OK},
  };
  const std::pair<TMsgDlgType, UINT> types[] = {{TMsgDlgType::Warning, MB_ICONWARNING},
                                                {TMsgDlgType::Error, MB_ICONERROR},
                                                {TMsgDlgType::Information, MB_ICONINFORMATION},
                                                {TMsgDlgType::Confirmation, MB_ICONQUESTION},
                                                {TMsgDlgType::Custom, 0}};
  MakeForm();
  for (const Set& set : sets)
    for (auto [type, icon] : types) {
      boxes.clear();
      answer = IDYES;
      EXPECT_EQ(AppDialog("Free it ?", type, set.buttons), IDYES);
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].flags, set.flags | icon) << set.buttons;
      EXPECT_EQ(boxes[0].text, "Free it ?");
      EXPECT_EQ(boxes[0].caption, "Torvane Kelvarin");
      EXPECT_EQ(boxes[0].owner, form->Handle());
    }
  for (int code : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, -1}) {
    answer = code;
    EXPECT_EQ(AppDialog("?", TMsgDlgType::Confirmation, mbYes | mbNo), code >= 1 && code <= 7 ? code : 0) << code;
  }
  boxes.clear();
  for (TMsgDlgButtons unsupported : {0u, mbYes, mbNo | mbCancel, mbOK | mbYes, mbIgnore, mbYes | mbNo | mbOK}) {
    try {
      AppDialog("?", TMsgDlgType::Warning, unsupported);
      ADD_FAILURE() << unsupported;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Dialog not support");
    }
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(About, SplashWithoutOkAboutBoxWithOk) {
  TAboutForm splash;
  splash.StartSplash();
  EXPECT_TRUE(splash.Visible());
  EXPECT_FALSE(IsWindowVisible(splash.Get<ui::TButton>("Button1").Handle()));
  splash.FinishSplash();
  EXPECT_FALSE(splash.Visible());

  // The help action shows its own instance modally, with OK. Only OK closes
  // it: Enter and Esc are no key of its button.
  bool sawOk = false, keptByKeys = false;
  ui::test::RunLater(200, [&] {
    auto* shown = ui::test::FindForm<TAboutForm>();
    ASSERT_TRUE(shown);
    ASSERT_NE(shown, &splash);
    ui::TButton& ok = shown->Get<ui::TButton>("Button1");
    sawOk = IsWindowVisible(ok.Handle()) && shown->Modal();
    SetFocus(ok.Handle());
    ui::test::PressKey(ok.Handle(), VK_ESCAPE);
    ui::test::PressKey(shown->Handle(), VK_ESCAPE);
    ui::test::PressKey(shown->Handle(), VK_RETURN);
    ui::test::RunLater(200, [&] {
      auto* still = ui::test::FindForm<TAboutForm>();
      keptByKeys = still && still != &splash && still->Visible();
      if (still) ui::test::ClickWindow(still->Get<ui::TButton>("Button1"));
    });
  });
  help::TStub().OnAbout();
  EXPECT_TRUE(sawOk);
  EXPECT_TRUE(keptByKeys);
  EXPECT_FALSE(ui::test::FindForm<TAboutForm>());
}

TEST_F(About, LinksAreMarkedVisitedAndOpenedTrimmed) {
  TAboutForm about;
  auto& mail = about.Get<ui::TLabel>("MailLabel");
  auto& url = about.Get<ui::TLabel>("UrlLabel");
  mail.SetCaption("  someone@torvane.example ");
  about.OnUrlClick(&mail);
  about.OnUrlClick(&url);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], "mailto:someone@torvane.example");
  EXPECT_EQ(opened[1], kMakerWeb);
  EXPECT_EQ(verbs, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(mail.Font().color, ui::clNavy);
  EXPECT_EQ(url.Font().color, ui::clNavy);
  // The help actions: content is a plain message, the web site opens.
  help::TStub().OnContent();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Coming soon...");
  help::TStub().OnWeb();
  EXPECT_EQ(opened.back(), kMakerWeb);
  EXPECT_EQ(verbs.back(), "");
}

}  // namespace
}  // namespace kv
