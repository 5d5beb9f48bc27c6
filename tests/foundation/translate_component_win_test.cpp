#include "foundation/translate_component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/strings.h"
#include "foundation/md5.h"
#include "foundation/translate.h"
#include "tests/ui/ui_test_util.h"

namespace kv {
namespace {

using namespace ui;
using test::TTestDialog;

TEST(TranslateComponent, ReachesCaptionsTitlesAndHintsOfEveryOwnedComponent) {
  auto key = [](const std::string& english) { return ToHex(GetMD5(english)); };
  SetLanguage(std::make_unique<TLanguage>(
      "test.lng", std::vector<std::string>{
                      key("I agree") + "=Einverstanden", key("Play file") + "=Datei spielen",
                      key("Select the file for report") + "=Berichtsdatei",
                      key("The bound") + "=Die Grenze", key("Test dialog") + "=Testdialog",
                      key("0") + "=null"}));
  TTestDialog dialog;
  TranslateComponent(dialog);
  SetLanguage(nullptr);
  EXPECT_EQ(dialog.Caption(), "Testdialog");
  EXPECT_EQ(dialog.Get<TCheckBox>("AgreeCheck").Caption(), "Einverstanden");
  EXPECT_EQ(dialog.Get<TToolButton>("PlayButton").Hint(), "Datei spielen");
  EXPECT_EQ(dialog.Get<TSaveDialog>("SaveDialog1").Title, "Berichtsdatei");
  EXPECT_EQ(dialog.Get<TLabel>("InfoLabel").Hint(), "Die Grenze");
  EXPECT_EQ(dialog.Get<TEdit>("NameEdit").Text(), "0");  // an edit's text is the user's
}

// A component that tells which of its texts are read, in order.
class TRecorder : public TComponent {
 public:
  explicit TRecorder(std::vector<std::string>& log) : log_(log) {}
  const char* ClassName() const override { return "TRecorder"; }
  bool GetTextProperty(std::string_view name, std::string& value) const override {
    log_.push_back(Name() + "." + std::string(name));
    value = "x";
    return true;
  }
  bool SetTextProperty(std::string_view name, const std::string& value) override {
    log_.push_back(Name() + "." + std::string(name) + "=" + value);
    return true;
  }

 private:
  std::vector<std::string>& log_;
};

TEST(TranslateComponent, TheChosenTextsInDescendingOrderOwnedComponentsLastFirst) {
  std::vector<std::string> log;
  TRecorder root(log);
  root.SetName("Root");
  root.Create<TRecorder>(log).SetName("A");
  root.Create<TRecorder>(log).SetName("B");
  TranslateComponent(root);  // without a language nothing is touched
  EXPECT_TRUE(log.empty());
  const TLanguage none("none.lng", {});
  none.TranslateComponent(root, tpTitle | tpHint);
  // Each text read is stored back, translated or not.
  EXPECT_EQ(log, (std::vector<std::string>{"Root.Title", "Root.Title=x", "Root.Hint", "Root.Hint=x", "B.Title",
                                           "B.Title=x", "B.Hint", "B.Hint=x", "A.Title", "A.Title=x", "A.Hint",
                                           "A.Hint=x"}));

  // However deep the owners go, the last one is reached.
  log.clear();
  TRecorder chain(log);
  TComponent* owner = &chain;
  for (int i = 1; i <= 200; ++i) {
    owner = &owner->Create<TRecorder>(log);
    owner->SetName("C" + std::to_string(i));
  }
  none.TranslateComponent(chain, tpHint);
  ASSERT_EQ(log.size(), 402u);
  EXPECT_EQ(log.back(), "C200.Hint=x");

  // Text alone is an edit's text, never a control's caption; a caption of
  // 100 characters is translated, one of 101 stays English.
  auto key = [](const std::string& english) { return ToHex(GetMD5(english)); };
  const std::string hundred(100, 'h'), longer(101, 'h');
  SetLanguage(std::make_unique<TLanguage>(
      "test.lng", std::vector<std::string>{key("0") + "=null", key("I agree") + "=Einverstanden",
                                           key(hundred) + "=translated", key(longer) + "=translated"}));
  {
    TTestDialog dialog;
    Language()->TranslateComponent(dialog, tpText);
    EXPECT_EQ(dialog.Get<TEdit>("NameEdit").Text(), "null");
    EXPECT_EQ(dialog.Get<TCheckBox>("AgreeCheck").Caption(), "I agree");
    auto& check = dialog.Get<TCheckBox>("AgreeCheck");
    for (const std::string& caption : {hundred, longer}) {
      check.SetCaption(caption);
      TranslateComponent(dialog);
      EXPECT_EQ(check.Caption(), caption.size() == 100 ? "translated" : caption) << caption.size();
    }
  }
  SetLanguage(nullptr);

  // With Text: an edit's text too, and a control's one text only once.
  SetLanguage(std::make_unique<TLanguage>(
      "test.lng", std::vector<std::string>{key("0") + "=null", key("null") + "=twice", key("I agree") + "=Einverstanden",
                                           key("Einverstanden") + "=twice"}));
  TTestDialog dialog;
  Language()->TranslateComponent(dialog, tpCaption | tpText | tpHint);
  SetLanguage(nullptr);
  EXPECT_EQ(dialog.Get<TEdit>("NameEdit").Text(), "null");
  EXPECT_EQ(dialog.Get<TCheckBox>("AgreeCheck").Caption(), "Einverstanden");
}

}  // namespace
}  // namespace kv
