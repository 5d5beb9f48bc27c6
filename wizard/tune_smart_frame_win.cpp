#include "wizard/tune_smart_frame_win.h"

#include <string>
#include <utility>

#include "base/ansi_text_win.h"
#include "base/scope_guard.h"
#include "foundation/settings_win.h"
#include "foundation/translate.h"
#include "ui/layout_loader_win.h"
#include "ui/std_controls_win.h"
#include "wizard/move_to_frame_win.h"
#include "wizard/pages_win.h"
#include "wizard/scan_paths_win.h"
#include "wizard/smart_marking.h"
#include "wizard/stored_paths.h"

namespace kv {

namespace {

std::string SessionValue(const std::string& key) {
  std::string value;
  if (TConfiger* settings = Configer()) value = settings->GetVal("Session", key);
  return value;
}

}  // namespace

TTuneSmartFrame::TTuneSmartFrame() {
  RegisterWizardClasses();
  RegisterHandler("Button1Click", &TTuneSmartFrame::Button1Click);
  RegisterHandler("ToolButton3Click", &TTuneSmartFrame::ToolButton3Click);
  RegisterHandler("ToolButton1Click", &TTuneSmartFrame::ToolButton1Click);
  RegisterHandler("ComboChange", &TTuneSmartFrame::ComboChange);
  RegisterHandler("KeepFolderCheckboxClick", &TTuneSmartFrame::KeepFolderCheckboxClick);
  RegisterHandler("SelectFolderButtonClick", &TTuneSmartFrame::SelectFolderButtonClick);
  ui::LoadLayout(*this, "tune_smart_frame");
}

void TTuneSmartFrame::LoadMode() { kv::LoadMode(KeepPreferences(), SessionValue); }

void TTuneSmartFrame::Run() {
  LoadMode();
  auto& box = Get<ui::TCheckBox>("KeepFolderCheckbox");
  auto& edit = Get<ui::TEdit>("KeepFolderEdit");
  box.SetChecked(SessionValue("UseKeepFolder") == "1");
  edit.SetWideText(ToWString(StoredPathValue(SessionValue("KeepFolder"))));
  KeepPreferences().KeepFolder = box.Checked() ? ToU16(edit.WideText()) : std::u16string();
  edit.SetEnabled(box.Checked());

  auto& form = Create<ui::TForm>();
  SetParent(&form);
  form.SetClientWidth(Width());
  form.SetClientHeight(Height());
  form.SetBorderStyle(ui::TBorderStyle::Dialog);
  form.SetText(Translate("Select your preference"));
  form.SetBorderIcons(ui::biSystemMenu);
  form.SetPosition(ui::TPosition::ScreenCenter);
  Redraw();
  form.ShowModal();
}

void TTuneSmartFrame::Redraw() {
  const auto& order = KeepPreferences().KeepOrder;
  for (int slot = 1; slot <= 3; ++slot) {
    const uint8_t code = order[static_cast<size_t>(slot - 1)];
    const std::string n = std::to_string(slot);
    Get<ui::TComboBox>("Combo" + n).SetItemIndex(code % 2 == 1 ? 0 : 1);
    const char* property = code <= kBitRateLesser ? "bitrate" : code <= kLengthLesser ? "length" : "size";
    Get<ui::TLabel>("Label" + n).SetText(Translate(property));
  }
}

void TTuneSmartFrame::ComboChange(ui::TComponent* sender) {
  auto* combo = dynamic_cast<ui::TComboBox*>(sender);
  if (!combo || combo->Tag() < 1 || combo->Tag() > 3) return;
  uint8_t& code = KeepPreferences().KeepOrder[static_cast<size_t>(combo->Tag() - 1)];
  // The direction the list shows, rather than a flip: choosing the item
  // already shown must not turn the criterion round behind the user's back.
  const bool greater = combo->ItemIndex() == 0;
  if (greater != (code % 2 == 1)) code = static_cast<uint8_t>(greater ? code - 1 : code + 1);
}

void TTuneSmartFrame::ToolButton3Click(ui::TComponent*) {
  auto& order = KeepPreferences().KeepOrder;
  std::swap(order[0], order[1]);
  Redraw();
}

void TTuneSmartFrame::ToolButton1Click(ui::TComponent*) {
  auto& order = KeepPreferences().KeepOrder;
  std::swap(order[1], order[2]);
  Redraw();
}

void TTuneSmartFrame::KeepFolderCheckboxClick(ui::TComponent*) {
  auto& box = Get<ui::TCheckBox>("KeepFolderCheckbox");
  auto& edit = Get<ui::TEdit>("KeepFolderEdit");
  edit.SetEnabled(box.Checked());
  KeepPreferences().KeepFolder = box.Checked() ? ToU16(edit.WideText()) : std::u16string();
}

void TTuneSmartFrame::SelectFolderButtonClick(ui::TComponent*) {
  auto& form = Create<ui::TForm>();
  ScopeGuard free([&] { FreeComponent(&form); });
  form.SetBounds(form.Left(), form.Top(), 400, 400);
  form.SetText(Translate("Select folder"));
  form.SetBorderIcons(ui::biSystemMenu);
  form.SetPosition(ui::TPosition::ScreenCenter);
  auto& panel = form.Create<ui::TPanel>();
  panel.SetParent(&form);
  panel.SetBevelOuter(ui::TBevel::None);
  panel.SetAlign(ui::TAlign::Bottom);
  panel.SetHeight(45);
  auto& explorer = form.Create<TExplorer>();
  explorer.SetParent(&form);
  explorer.SetAlign(ui::TAlign::Client);
  auto& cancel = form.Create<ui::TButton>();
  cancel.SetParent(&panel);
  cancel.SetText(Translate("Cancel"));
  cancel.SetCancel(true);
  cancel.SetModalResult(ui::mrCancel);
  cancel.SetBounds(form.ClientWidth() - 10 - cancel.Width(), 10, cancel.Width(), cancel.Height());
  auto& ok = form.Create<ui::TButton>();
  ok.SetParent(&panel);
  ok.SetText(Translate("OK"));
  ok.SetDefault(true);
  ok.SetModalResult(ui::mrOk);
  ok.SetBounds(cancel.Left() - 20 - ok.Width(), 10, ok.Width(), ok.Height());
  explorer.Prepare(true);
  auto& edit = Get<ui::TEdit>("KeepFolderEdit");
  explorer.SetSelectedFiles(StoredPathOf(edit.WideText()));
  if (form.ShowModal() != ui::mrOk) return;
  // Without a file-system folder selected the text stays as it was ("\"
  // alone would be no folder). The text is compared with the files' full
  // wide paths, so it is the folder's full wide name.
  if (std::wstring folder = explorer.GetFolder(); !folder.empty()) {
    if (folder.back() != L'\\') folder += L'\\';
    edit.SetWideText(folder);
  }
  KeepPreferences().KeepFolder =
      Get<ui::TCheckBox>("KeepFolderCheckbox").Checked() ? ToU16(edit.WideText()) : std::u16string();
}

void TTuneSmartFrame::Button1Click(ui::TComponent*) {
  TConfiger* settings = Configer();
  if (!settings) return;
  const auto& order = KeepPreferences().KeepOrder;
  for (int slot = 1; slot <= 3; ++slot)
    settings->SetVal("Session", "Keep" + std::to_string(slot), std::to_string(order[static_cast<size_t>(slot - 1)]));
  settings->SetVal("Session", "UseKeepFolder", Get<ui::TCheckBox>("KeepFolderCheckbox").Checked() ? "1" : "0");
  settings->SetVal("Session", "KeepFolder", StoredPathOf(Get<ui::TEdit>("KeepFolderEdit").WideText()));
}

}  // namespace kv
