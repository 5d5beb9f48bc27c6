#include "wizard/app_dialogs_win.h"

#include <windows.h>

#include <stdexcept>

#include "foundation/translate.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"

namespace kv {

int AppDialog(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons) {
  UINT flags = 0;
  switch (buttons) {
    case mbAbort | mbRetry | mbIgnore: flags = MB_ABORTRETRYIGNORE; break;
    case mbYes | mbNo | mbCancel: flags = MB_YESNOCANCEL; break;
    case mbOK | mbCancel: flags = MB_OKCANCEL; break;
    case mbCancel | mbRetry: flags = MB_RETRYCANCEL; break;
    case mbYes | mbNo: flags = MB_YESNO; break;
    case mbOK: flags = MB_OK; break;
    default: throw std::runtime_error(Translate("Dialog not support"));
  }
  switch (type) {
    case TMsgDlgType::Warning: flags |= MB_ICONWARNING; break;
    case TMsgDlgType::Error: flags |= MB_ICONERROR; break;
    case TMsgDlgType::Information: flags |= MB_ICONINFORMATION; break;
    case TMsgDlgType::Confirmation: flags |= MB_ICONQUESTION; break;
    case TMsgDlgType::Custom: break;
  }
  ui::TForm* owner = ui::Application().MainForm();
  const int answer =
      ui::ShowMessageBox(owner ? owner->Handle() : nullptr, message, ui::Application().Title(), flags);
  return answer >= IDOK && answer <= IDNO ? answer : 0;
}

}  // namespace kv
