#pragma once
// Processing of the checked rows of the results page: deleting them into the
// reserve, copying them to a destination folder, or both (moving). The page
// hands over its rows and, for copying, the destination it asked for; the
// run shows a progress window with a Stop button and asks before it
// overwrites a file. User-interface thread only.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/audio_info.h"
#include "ui/forms_win.h"
#include "wizard/reserve_win.h"

namespace kv {

class TLogDisplay;

// Mode bits.
inline constexpr int kProcessReserve = 2;  // put the source into the reserve
inline constexpr int kProcessCopy = 4;     // copy it to the destination

// One root row of the result list, in list order.
struct TProcessRow {
  TMP3Info* record = nullptr;  // null for a row without record (the empty list's placeholder)
  bool checked = false;        // cleared by the run for a reserved file
};

// What the run needs of the user: the confirmation and the progress window.
class TProcessUi {
 public:
  virtual ~TProcessUi() = default;
  // The delete confirmation; true for Yes.
  virtual bool Confirm(const std::string& question) = 0;
  // Shows the progress window.
  virtual void Start(const std::string& caption, const std::string& stopCaption) = 0;
  virtual void SetStatus(const std::string& text) = 0;
  // The same with a file's full wide name; the default shows its ANSI text.
  virtual void SetStatus(const std::wstring& text);
  // Sets the bar and processes pending messages.
  virtual void SetProgress(int percent) = 0;
  // The options' index, -1 for Stop.
  virtual int Ask(const std::string& options, const std::string& question) = 0;
  virtual bool Stopped() = 0;
  // Ends the window (without waiting for Stop), then frees it.
  virtual void Finish() = 0;
  virtual void Free() = 0;
  // Repaints the result list.
  virtual void Repaint() = 0;
  // The row of that index went into the reserve: its check box is cleared.
  virtual void Unchecked(size_t row) = 0;
};

// The progress window of the foundation on top of a form, which is
// disabled meanwhile; the confirmation through the program's dialog.
class TWindowProcessUi : public TProcessUi {
 public:
  TWindowProcessUi(ui::TForm* topForm, std::function<void()> repaint, std::function<void(size_t)> uncheck);
  ~TWindowProcessUi() override;
  bool Confirm(const std::string& question) override;
  void Start(const std::string& caption, const std::string& stopCaption) override;
  void SetStatus(const std::string& text) override;
  void SetStatus(const std::wstring& text) override;
  void SetProgress(int percent) override;
  int Ask(const std::string& options, const std::string& question) override;
  bool Stopped() override;
  void Finish() override;
  void Free() override;
  void Repaint() override;
  void Unchecked(size_t row) override;

 private:
  ui::TForm* topForm_;
  std::function<void()> repaint_;
  std::function<void(size_t)> uncheck_;
  std::unique_ptr<TLogDisplay> window_;
};

struct TProcessResult {
  bool started = false;  // false: nothing checked, or the confirmation said no
  int done = 0;          // rows walked
  bool stopped = false;
  // Rows not moved or copied because the target is the file itself (its
  // own folder as destination, structure not recreated): their paths.
  std::vector<std::wstring> ownFolder;
};

// The run for the checked rows. destination (copying) is a folder ending in
// "\"; savePaths recreates each file's folders under it ("Disk C\Music\...").
// Reserved rows get Tag -1 and lose their check; the reserve is saved after
// the run. The window goes and the form comes back also on an exception.
// Files are reached by their records' full wide paths. A row whose target
// is its own source is left alone (neither copied nor reserved, whatever the
// overwrite answer) and listed in ownFolder.
TProcessResult ProcessRows(int mode, std::vector<TProcessRow>& rows, const std::wstring& destination, bool savePaths,
                           TReserve& reserve, TProcessUi& ui);
TProcessResult ProcessRows(int mode, std::vector<TProcessRow>& rows, const std::string& destination, bool savePaths,
                           TReserve& reserve, TProcessUi& ui);
// The summary of the rows left alone; empty when there are none.
std::string OwnFolderSummary(const TProcessResult& result);

// Round(done / total * 100), halves to even.
int PercentDone(int done, int total);

}  // namespace kv
