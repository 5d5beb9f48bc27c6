#include "foundation/translate_component.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kv
