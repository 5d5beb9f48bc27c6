#pragma once
// The about form (also the start-up splash) and the help actions.
// User-interface thread only.
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

}  // namespace kv
