#include "diagnostics/quick_mail_win.h"

#include <windows.h>
#include <mapi.h>

#include <stdexcept>

#include "base/handle.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"

namespace kv {
namespace {

std::string& MapiLibraryPath() {
  static std::string path = "MAPI32.DLL";
  return path;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

// The file-name part: after the last separator or drive colon.
std::string FileNamePart(const std::string& path) {
  const size_t at = path.find_last_of("\\/:");
  return at == std::string::npos ? path : path.substr(at + 1);
}

char* Text(std::string& text) { return text.empty() ? nullptr : text.data(); }

}  // namespace

void SetMapiLibraryPath(const std::string& path) { MapiLibraryPath() = path.empty() ? "MAPI32.DLL" : path; }

void TAFQuickMail::SetErrorMessage(const std::string& text) {
  errorMessage_ = text.empty() ? "Error sending mail" : text;
}

void TAFQuickMail::ResetAll() {
  TextToSend.clear();
  ToEmail.clear();
  Subject.clear();
  ToCCEmail.clear();
  ToBCCEmail.clear();
  FileNames.clear();
}

bool TAFQuickMail::Execute() {
  const int code = SendMail(Subject, JoinLines(TextToSend), "", "", ToBCCEmail, ToCCEmail, ToEmail, FileNames);
  if (code != 0) throw std::runtime_error(errorMessage_ + " (" + std::to_string(code) + ").");
  return true;
}

int TAFQuickMail::SendMail(const std::string& subject, const std::string& body, const std::string& senderName,
                           const std::string& senderAddress, const std::vector<std::string>& bcc,
                           const std::vector<std::string>& cc, const std::vector<std::string>& to,
                           const std::vector<std::string>& attachments) {
  // Every text the descriptors point to lives here until the call returns.
  std::string subjectText = subject;
  std::string noteText = body;
  std::vector<std::string> names;
  std::vector<std::string> addresses;
  std::vector<ULONG> classes;
  const auto addRecipient = [&](ULONG recipClass, const std::string& name, const std::string& address) {
    classes.push_back(recipClass);
    names.push_back(name);
    addresses.push_back("SMTP:" + address);
  };
  if (!senderAddress.empty()) addRecipient(MAPI_ORIG, senderName.empty() ? senderAddress : senderName, senderAddress);
  const size_t firstRecipient = classes.size();
  for (const std::string& line : to) addRecipient(MAPI_TO, line, line);
  for (const std::string& line : cc) addRecipient(MAPI_CC, line, line);
  for (const std::string& line : bcc) addRecipient(MAPI_BCC, line, line);

  std::vector<MapiRecipDesc> recipients(classes.size());
  for (size_t i = 0; i < classes.size(); ++i) {
    recipients[i] = MapiRecipDesc{};
    recipients[i].ulRecipClass = classes[i];
    recipients[i].lpszName = names[i].data();
    recipients[i].lpszAddress = addresses[i].data();
  }
  std::vector<std::string> paths(attachments);
  std::vector<std::string> fileNames;
  for (const std::string& path : attachments) fileNames.push_back(FileNamePart(path));
  std::vector<MapiFileDesc> files(attachments.size());
  for (size_t i = 0; i < files.size(); ++i) {
    files[i] = MapiFileDesc{};
    files[i].nPosition = static_cast<ULONG>(-1);
    files[i].lpszPathName = paths[i].data();
    files[i].lpszFileName = fileNames[i].data();
  }

  MapiMessage message{};
  message.lpszSubject = Text(subjectText);
  message.lpszNoteText = Text(noteText);
  if (firstRecipient > 0) message.lpOriginator = &recipients[0];
  message.nRecipCount = static_cast<ULONG>(recipients.size() - firstRecipient);
  message.lpRecips = message.nRecipCount > 0 ? &recipients[firstRecipient] : nullptr;
  message.nFileCount = static_cast<ULONG>(files.size());
  message.lpFiles = files.empty() ? nullptr : files.data();

  const ModuleHandle library(LoadLibraryA(MapiLibraryPath().c_str()));
  if (!library) return -1;
  auto* send = reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void*>(GetProcAddress(library.Get(), "MAPISendMail")));
  if (send == nullptr) return 1;
  HWND parent = nullptr;
  if (ui::TForm* form = ui::Application().MainForm()) parent = form->HandleIfAllocated();
  return static_cast<int>(send(0, reinterpret_cast<ULONG_PTR>(parent), &message, 0, 0));
}

}  // namespace kv
