#include "wizard/about_form_win.h"

#include <windows.h>

#include <memory>
#include <stdexcept>

#include "foundation/foundation_init_win.h"
#include "foundation/translate.h"
#include "foundation/translate_component.h"
#include "ui/application_win.h"
#include "ui/layout_loader_win.h"
#include "wizard/pages_win.h"

namespace kv {
namespace {

TAboutForm* aboutForm = nullptr;

std::string Trimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  return text.substr(begin, end - begin);
}

}  // namespace

TAboutForm* AboutForm() { return aboutForm; }
void SetAboutForm(TAboutForm* form) { aboutForm = form; }

TAboutForm::TAboutForm() {
  RegisterWizardClasses();
  RegisterHandler("FormCreate", &TAboutForm::FormCreate);
  RegisterHandler("FormClose", &TAboutForm::FormClose);
  RegisterHandler("Button1Click", &TAboutForm::Button1Click);
  RegisterHandler("OnUrlClick", &TAboutForm::OnUrlClick);
  ui::LoadLayout(*this, "about_form");
}

void TAboutForm::FormCreate(ui::TComponent*) {
  TranslateComponent(*this);
  SetCaption(ui::Application().Title());
  Get<ui::TLabel>("Label3").SetCaption(" " + Translate("Copyright") + " (C) 2026");
  Get<ui::TLabel>("Label4").SetCaption(kMakerCompany);
  Get<ui::TLabel>("Label6").SetCaption(Translate("e-mail"));
  Get<ui::TLabel>("Label1").SetCaption(std::string(" ") + kProductTitle);
  Get<ui::TLabel>("VersionLabel").SetCaption(" " + Translate("Version") + " " + kVersion + "  ");
  Get<ui::TLabel>("UrlLabel").SetCaption(kMakerWeb);
  Get<ui::TLabel>("MailLabel").SetCaption(kMakerMail);
}

void TAboutForm::FormClose(ui::TComponent*, ui::TCloseAction&) {}

void TAboutForm::Button1Click(ui::TComponent*) { Close(); }

void TAboutForm::OnUrlClick(ui::TComponent* sender) {
  auto* label = dynamic_cast<ui::TLabel*>(sender);
  if (!label) return;
  ui::TFontSpec font = label->Font();
  font.color = ui::clNavy;  // visited
  label->SetFont(font);
  ui::Application().ProcessMessages();
  std::string target = Trimmed(label->Caption());
  if (label == FindComponent("MailLabel")) target = "mailto:" + target;
  ui::ShellDefault(target);
}

void TAboutForm::StartSplash() {
  Get<ui::TButton>("Button1").Hide();
  Show();
  if (HWND h = Handle()) RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TAboutForm::FinishSplash() { Hide(); }

// ----------------------------------------------------------- help actions --
namespace help {

void TStub::OnContent() { ui::ShowMessageBox("Coming soon...", ui::Application().Title(), MB_OK); }

void TStub::OnWeb() { ui::ShellDefault(kMakerWeb); }

void TStub::OnAbout() {
  auto about = std::make_unique<TAboutForm>();
  about->Get<ui::TPanel>("ButPanel").Show();
  about->ShowModal();
}

}  // namespace help

void RegisterHelpActions() {
  // The holder has no state: the actions outlive nothing they point to.
  static help::TStub holder;
  AddAction(0, "Help~Content", false, false, false, false, [](TProgAction&) { holder.OnContent(); });
  AddAction(0, "Help~Web site", false, false, false, false, [](TProgAction&) { holder.OnWeb(); });
  AddAction(0, "Help~About", false, false, false, false, [](TProgAction&) { holder.OnAbout(); });
}

}  // namespace kv
