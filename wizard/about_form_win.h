#pragma once
// The about form (also the start-up splash), the help actions and the
// program's confirmation box. User-interface thread only.
#include <string>

#include "ui/forms_win.h"
#include "ui/std_controls_win.h"

namespace kv {

inline constexpr char kProductTitle[] = "Torvane Kelvarin";
inline constexpr char kVersion[] = "3.0";
inline constexpr char kMakerCompany[] = "Torvane Software";
inline constexpr char kMakerWeb[] = "https://www.torvane.example/";
inline constexpr char kMakerMail[] = "kelvarin@torvane.example";

class TAboutForm : public ui::TForm {
 public:
  TAboutForm();
  const char* ClassName() const override { return "TAboutForm"; }

  void FormCreate(ui::TComponent* sender);
  void FormClose(ui::TComponent* sender, ui::TCloseAction& action);
  void Button1Click(ui::TComponent* sender);
  // The web or mail label: marked as visited, then opened by the shell.
  void OnUrlClick(ui::TComponent* sender);

  // Shown without its OK button and painted at once.
  void StartSplash();
  void FinishSplash();
};

// The splash instance (owned by the application object), or null.
TAboutForm* AboutForm();
void SetAboutForm(TAboutForm* form);

namespace help {
// Handlers of the three help actions.
class TStub {
 public:
  void OnContent();
  void OnWeb();
  void OnAbout();
};
}  // namespace help

// Registers "Help~Content", "Help~Web site" and "Help~About".
void RegisterHelpActions();

enum class TMsgDlgType { Warning, Error, Information, Confirmation, Custom };
// Button bits, as the sets callers combine.
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8, mbAbort = 16, mbRetry = 32,
                         mbIgnore = 64;

// The platform's message box with the application's title; answers the
// modal result of the pressed button (1 to 7), or 0. A button set without
// a platform equivalent raises "Dialog not support".
int AppDialog(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons);

}  // namespace kv
