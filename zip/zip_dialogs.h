#pragma once
// The questions and messages of the zip components. Every box and dialog a
// component shows goes through its one dialog hook (TUnZipper::dialogHook),
// which starts as SystemZipDialog; tests answer through their own hook, so
// nothing waits on a modal window.
#include <functional>
#include <string>

namespace kv {

enum class TZipDialogKind {
  Message,       // an error box with OK
  OkCancel,      // a question: ok is OK
  YesNo,         // a question: ok is Yes
  OpenFile,      // the open-file dialog: path is the chosen file
  BrowseFolder,  // the folder dialog: path is the chosen folder
};

struct TZipDialog {
  TZipDialogKind kind = TZipDialogKind::Message;
  std::string text;        // boxes: the text; dialogs: unused
  std::string caption;     // the title
  std::string filter;      // OpenFile: "Name|*.ext|Name|*.ext"
  std::string initialDir;  // dialogs: where they start
};

struct TZipDialogAnswer {
  bool ok = false;   // OK, Yes, or a file or folder chosen
  std::string path;  // the chosen file or folder
};

using TZipDialogHook = std::function<TZipDialogAnswer(const TZipDialog&)>;

// The system's boxes and dialogs, owned by the active window (Windows);
// elsewhere every question is answered Cancel or No.
TZipDialogAnswer SystemZipDialog(const TZipDialog& dialog);

// Handles the window messages waiting in this thread's queue (Windows; a
// quit request stays queued for the caller's loop). Nothing elsewhere.
void ProcessPendingMessages();

// Shows the hourglass as the screen cursor while it lives and restores the
// cursor it replaced (Windows); nothing elsewhere.
class THourglassCursor {
 public:
  THourglassCursor();
  ~THourglassCursor();
  THourglassCursor(const THourglassCursor&) = delete;
  THourglassCursor& operator=(const THourglassCursor&) = delete;

 private:
  void* previous_ = nullptr;
};

// Shows the normal arrow while it lives (a question asked in the middle of
// a long operation) and restores the cursor it replaced (Windows); nothing
// elsewhere.
class TNormalCursor {
 public:
  TNormalCursor();
  ~TNormalCursor();
  TNormalCursor(const TNormalCursor&) = delete;
  TNormalCursor& operator=(const TNormalCursor&) = delete;

 private:
  void* previous_ = nullptr;
};

}  // namespace kv
