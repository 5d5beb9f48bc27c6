#pragma once
// One e-mail sent through the system's Simple MAPI client without a compose
// window: recipients, subject, body and attachments filled by the caller.
#include <string>
#include <vector>

#include "ui/component.h"

namespace kv {

class TAFQuickMail : public ui::TComponent {
 public:
  const char* ClassName() const override { return "TAFQuickMail"; }

  std::vector<std::string> TextToSend;
  std::vector<std::string> ToEmail;
  std::string Subject;
  std::vector<std::string> ToCCEmail;
  std::vector<std::string> ToBCCEmail;
  const std::string& ErrorMessage() const { return errorMessage_; }
  // Empty restores "Error sending mail".
  void SetErrorMessage(const std::string& text);
  std::vector<std::string> FileNames;

  // Sends the message; raises "<ErrorMessage> (<code>)." unless the mail
  // system accepted it.
  bool Execute();
  void ResetAll();
  // The Simple MAPI result: 0 success, -1 no mail library, 1 no send function.
  int SendMail(const std::string& subject, const std::string& body, const std::string& senderName,
               const std::string& senderAddress, const std::vector<std::string>& bcc,
               const std::vector<std::string>& cc, const std::vector<std::string>& to,
               const std::vector<std::string>& attachments);

 private:
  std::string errorMessage_ = "Error sending mail";
};

// The mail library loaded by name ("MAPI32.DLL"); tests load a fake one.
void SetMapiLibraryPath(const std::string& path);

}  // namespace kv
