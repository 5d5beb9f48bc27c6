// The collection's result list on disk, with the progress window while saving.
#include <windows.h>

#include <memory>

#include "base/ansi_text_win.h"
#include "base/file_utils_win.h"
#include "engine/collection_csv.h"
#include "foundation/files_win.h"
#include "foundation/log_display_win.h"

namespace kv {
namespace {

class FileStorage : public TCsvStorage {
 public:
  std::optional<std::string> Load(const std::string& path) override {
    if (!FileExists(path)) return std::nullopt;
    return StrFromFile(path);
  }
  void Save(const std::string& path, std::string_view text) override { StrToFile(text, path); }
};

// The long form of a path through GetLongPathNameW, looked up at run time.
std::string LongPathOf(const std::string& path) {
  using LongPathFn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
  static const auto fn = reinterpret_cast<LongPathFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetLongPathNameW")));
  if (!fn) return {};
  wchar_t buffer[1000];
  const DWORD n = fn(AnsiToWString(path).c_str(), buffer, 1000);
  if (n == 0 || n >= 1000) return {};
  return WStringToAnsi(std::wstring(buffer, n));
}

class LogDisplayProgress : public TSaveProgress {
 public:
  void Start(const std::string& caption, const std::string& stopCaption) override {
    display_ = std::make_unique<TLogDisplay>();
    display_->StopCaption = stopCaption;
    display_->Start(caption, TLogDisplay::kStatusLine | TLogDisplay::kProgressBar | TLogDisplay::kStopButton,
                    /*stayOnTop=*/true);
  }
  void SetLabel(const std::string& text) override { display_->Status = text; }
  void SetProgress(int percent) override { display_->Progress = percent; }
  void Refresh() override { display_->Refresh(); }
  bool Stopped() const override { return display_ && display_->Stopped; }
  void Finish() override {
    display_->Finish(false);
    display_.reset();
  }

 private:
  std::unique_ptr<TLogDisplay> display_;
};

}  // namespace

void TMP3Collection::SaveToCSV(const std::string& path) {
  FileStorage storage;
  LogDisplayProgress window;
  TThrottledProgress progress(window, [] { return static_cast<uint64_t>(GetTickCount64()); });
  SaveCollectionToCSV(*this, path, storage, &progress);
}

void TMP3Collection::LoadFromCSV(const std::string& path) {
  FileStorage storage;
  LoadCollectionFromCSV(*this, path, storage, LongPathOf);
}

}  // namespace kv
