// What the form hears of controls joining and leaving it, and the
// application's form-added hook.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "ui/application_win.h"
#include "ui/forms_win.h"
#include "ui/std_controls_win.h"

namespace kv::ui {
namespace {

TEST(ControlListChange, TheFormHearsEveryJoinAndLeaveBelowIt) {
  TForm form;
  std::vector<std::pair<TControl*, bool>> heard;
  const TWndMethod previous = form.WindowProc();
  form.SetWindowProc([&](TMessage& m) {
    if (m.msg == CM_CONTROLLISTCHANGE)
      heard.emplace_back(reinterpret_cast<TControl*>(m.wParam), m.lParam != 0);
    previous(m);
  });
  auto& panel = form.Create<TPanel>();
  auto& button = form.Create<TButton>();
  auto& loose = form.Create<TPanel>();
  auto& label = form.Create<TLabel>();
  label.SetParent(&loose);  // not under the form: nothing to hear
  panel.SetParent(&form);
  button.SetParent(&panel);  // a grandchild reaches the form too
  button.SetParent(&form);   // moved: leaves the panel, joins the form
  loose.SetParent(&form);    // its child comes along without a message of its own
  panel.SetParent(nullptr);
  const std::vector<std::pair<TControl*, bool>> want = {
      {&panel, true},  {&button, true}, {&button, false},
      {&button, true}, {&loose, true},  {&panel, false}};
  EXPECT_EQ(heard, want);
  form.SetWindowProc(previous);
}

TEST(ControlListChange, FormAddedHookSeesNewForms) {
  std::vector<TForm*> added;
  Application().OnFormAdded = [&](TForm* form) { added.push_back(form); };
  TForm first, second;
  Application().OnFormAdded = nullptr;
  TForm third;
  EXPECT_EQ(added, (std::vector<TForm*>{&first, &second}));
}

}  // namespace
}  // namespace kv::ui
