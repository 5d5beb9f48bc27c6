#include "wizard/processing_win.h"

#include <set>
#include <vector>

#include "base/ansi_text_win.h"
#include "base/file_replacement_win.h"
#include "base/file_utils_win.h"
#include "base/handle.h"
#include "base/scope_guard.h"
#include "base/system_error_win.h"
#include "foundation/log.h"
#include "foundation/log_display_win.h"
#include "engine/audio_environment_win.h"
#include "foundation/translate.h"
#include "wizard/app_dialogs_win.h"

namespace kv {
namespace {

// Answers of the overwrite question (the option's index).
constexpr int kYes = 0, kNo = 1, kYesToAll = 2, kNoToAll = 3, kStopped = -1;

// Creates every missing folder on the way to the file, the destination
// itself included (it may have gone since it was chosen); failures show
// later as a failed copy.
void MakeFoldersFor(const std::wstring& file) {
  std::vector<std::wstring> missing;  // deepest first
  for (size_t at = file.rfind(L'\\'); at != std::wstring::npos && at > 0; at = file.rfind(L'\\', at - 1)) {
    std::wstring folder = file.substr(0, at);
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    missing.push_back(std::move(folder));
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) CreateDirectoryW(it->c_str(), nullptr);
}

// Copies through a temporary file beside the target that replaces it only
// when whole; empty on success, else the reason.
std::string CopyWhole(const std::wstring& source, const std::wstring& target, bool removeStale) {
  try {
    FileHandle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return SystemErrorText(GetLastError());
    FILETIME written{};
    const bool haveTime = GetFileTime(in.Get(), nullptr, nullptr, &written);
    FileReplacement out(target, nullptr, removeStale ? StaleTempFiles::Remove : StaleTempFiles::Keep);
    std::vector<char> buffer(1 << 20);
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(in.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
        return SystemErrorText(GetLastError());
      if (got == 0) break;
      out.Write(buffer.data(), got);
    }
    if (haveTime) SetFileTime(out.Handle(), nullptr, nullptr, &written);
    out.Commit();
    return {};
  } catch (const EReplaceError& e) {
    return e.what();
  }
}

}  // namespace

int PercentDone(int done, int total) {
  if (total <= 0) return 0;
  const int64_t scaled = int64_t{done} * 100;
  int64_t q = scaled / total;
  const int64_t r = scaled % total;
  if (2 * r > total || (2 * r == total && (q & 1))) ++q;
  return static_cast<int>(q);
}

void TProcessUi::SetStatus(const std::wstring& text) { SetStatus(WStringToAnsi(text)); }

TProcessResult ProcessRows(int mode, std::vector<TProcessRow>& rows, const std::string& destination, bool savePaths,
                           TReserve& reserve, TProcessUi& ui) {
  return ProcessRows(mode, rows, AnsiToWString(destination), savePaths, reserve, ui);
}

std::string OwnFolderSummary(const TProcessResult& result) {
  if (result.ownFolder.empty()) return {};
  std::string text = Translate("These files were left where they are: the destination is their own folder.");
  for (const std::wstring& path : result.ownFolder) text += "\r\n" + WStringToAnsi(path);
  return text;
}

TProcessResult ProcessRows(int mode, std::vector<TProcessRow>& rows, const std::wstring& destination, bool savePaths,
                           TReserve& reserve, TProcessUi& ui) {
  TProcessResult result;
  int n = 0;
  for (const TProcessRow& row : rows)
    if (row.checked) ++n;
  if (n == 0) return result;
  const bool copy = (mode & kProcessCopy) != 0, toReserve = (mode & kProcessReserve) != 0;
  if (copy && destination.empty()) return result;
  if (!copy && !ui.Confirm(Translate("Do you really want to delete") + " " + std::to_string(n) + " " +
                           Translate("files") + " ?"))
    return result;
  result.started = true;

  ui.Start(Translate("Processing") + "...", Translate("Stop"));
  bool windowGone = false;
  // However the walk ends, the window goes and the form is enabled again.
  ScopeGuard cleanup([&] {
    if (windowGone) return;
    ui.Finish();
    ui.Free();
  });
  const std::wstring& root = destination;
  TScanEnvironment files;  // tells whether two paths open one file
  const std::string options = Translate("Yes") + "\r\n" + Translate("No") + "\r\n" + Translate("Yes to all") +
                              "\r\n" + Translate("No to all");
  std::set<std::wstring> cleanedFolders;  // stale temporary files go once per folder
  int answer = kYes;
  for (size_t index = 0; index < rows.size(); ++index) {
    TProcessRow& row = rows[index];
    if (!row.checked || !row.record) continue;
    TMP3Info& rec = *row.record;
    // The file by its full wide path; messages show its ANSI text.
    const std::wstring access = ToWString(rec.FilePath());
    const std::string display = WStringToAnsi(ToWString(rec.ShownPath()));
    bool copyFailed = false;
    if (copy) {
      // The real long name (a record of an older list may hold short names).
      const std::wstring longPath = LongPathOf(access);
      std::wstring target = root;
      if (savePaths) {
        std::wstring rest = longPath;
        std::erase(rest, L':');
        target += AnsiToWString(Translate("Disk")) + L" " + rest;
      } else {
        const size_t slash = longPath.rfind(L'\\');
        target += slash == std::wstring::npos ? longPath : longPath.substr(slash + 1);
      }
      ui.SetStatus(ToWString(rec.ShownPath()));
      MakeFoldersFor(target);
      bool doCopy = true;
      const bool targetExists = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
      if (targetExists && files.SameFile(target, access)) {
        // Copying a file onto itself would do nothing, and moving it would
        // then put its only copy into the reserve.
        result.ownFolder.push_back(longPath);
        ++result.done;
        ui.SetProgress(PercentDone(result.done, n));
        if (ui.Stopped()) {
          result.stopped = true;
          break;
        }
        continue;
      }
      if (targetExists) {
        if (answer == kYesToAll) {
          doCopy = true;
        } else if (answer == kNoToAll) {
          doCopy = false;
        } else {
          answer = ui.Ask(options, Translate("File") + " \"" + WStringToAnsi(target) + "\" " +
                                       Translate("already exists") + "." +
                                       Translate("Do you really want to overwrite it") + " ?\t\t");
          doCopy = answer == kYes || answer == kYesToAll;
        }
      } else if (answer == kNo) {
        answer = kYes;
      }
      if (doCopy && answer != kStopped) {
        const size_t slash = target.rfind(L'\\');
        const bool clean = cleanedFolders.insert(target.substr(0, slash)).second;
        const std::string failure = CopyWhole(access, target, clean);
        if (!failure.empty()) {
          copyFailed = true;
          // A notice; its answer replaces no remembered overwrite answer.
          if (ui.Ask("Ok", Translate("Unable to copy file") + "\"" + display + "\"\r\n" + failure) == kStopped)
            answer = kStopped;
        }
      }
    }
    // A source whose copy failed stays where it is, with its mark. Stop at
    // the overwrite question ends the run after this file, as "No" would
    // have it: the source still goes into the reserve.
    if (toReserve && !copyFailed) {
      if (reserve.HideInsteadDelete(ToWString(rec.ShownPath()), rec.FileName())) {
        rec.Tag = -1;
        row.checked = false;
        ui.Unchecked(index);
      } else if (ui.Ask("Ok", Translate("Unable to delete file") + "\"" + display + "\"") == kStopped) {
        answer = kStopped;
      }
    }
    ++result.done;
    ui.SetProgress(PercentDone(result.done, n));
    if (ui.Stopped() || answer == kStopped) {
      result.stopped = true;
      break;
    }
  }
  reserve.FlushJournal();
  AddToLog("ifcoldispl:before logfinish");
  ui.Finish();
  AddToLog("ifcoldispl:before logfree");
  ui.Free();
  windowGone = true;
  AddToLog("ifcoldispl:after logfree");
  ui.Repaint();
  AddToLog("ifcoldispl:final");
  if (toReserve) reserve.Save();
  return result;
}

// ---------------------------------------------------------------- window --

TWindowProcessUi::TWindowProcessUi(ui::TForm* topForm, std::function<void()> repaint,
                                   std::function<void(size_t)> uncheck)
    : topForm_(topForm), repaint_(std::move(repaint)), uncheck_(std::move(uncheck)) {}

TWindowProcessUi::~TWindowProcessUi() = default;

bool TWindowProcessUi::Confirm(const std::string& question) {
  return AppDialog(question, TMsgDlgType::Confirmation, mbYes | mbNo) == IDYES;
}

void TWindowProcessUi::Start(const std::string& caption, const std::string& stopCaption) {
  window_ = std::make_unique<TLogDisplay>();
  window_->StopCaption = stopCaption;
  window_->Start(caption, TLogDisplay::kStatusLine | TLogDisplay::kProgressBar | TLogDisplay::kStopButton, true,
                 topForm_);
}

void TWindowProcessUi::SetStatus(const std::string& text) {
  if (window_) window_->Status = text;
}

// The label takes the exact name; the window's own refresh leaves it, as
// its ANSI text is what the label's text reads as.
void TWindowProcessUi::SetStatus(const std::wstring& text) {
  if (!window_) return;
  window_->Status = WStringToAnsi(text);
  if (window_->StatusLabel) window_->StatusLabel->SetWideText(text);
}

void TWindowProcessUi::SetProgress(int percent) {
  if (!window_) return;
  window_->Progress = percent;
  window_->Refresh();
}

int TWindowProcessUi::Ask(const std::string& options, const std::string& question) {
  return window_ ? window_->Ask(options, question) : kStopped;
}

bool TWindowProcessUi::Stopped() { return !window_ || window_->Stopped; }

void TWindowProcessUi::Finish() {
  if (window_) window_->Finish(false);
}

void TWindowProcessUi::Free() { window_.reset(); }

void TWindowProcessUi::Unchecked(size_t row) {
  if (uncheck_) uncheck_(row);
}

void TWindowProcessUi::Repaint() {
  if (repaint_) repaint_();
}

}  // namespace kv
