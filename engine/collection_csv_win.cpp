// The collection's result list on disk, with the progress window while saving.
#include <windows.h>

#include <algorithm>
#include <memory>

#include "base/ansi_text_win.h"
#include "base/file_utils_win.h"
#include "base/handle.h"
#include "base/system_error_win.h"
#include "engine/collection_csv.h"
#include "foundation/files_win.h"
#include "foundation/log_display_win.h"
#include "foundation/translate.h"

namespace kv {
namespace {

EDatabaseReadError ReadError(const std::string& path, DWORD code) {
  return EDatabaseReadError(Translate("The file \"$1\" cannot be read: $2", path + "\r\n" + SystemErrorText(code)));
}

class FileSource : public TCsvSource {
 public:
  FileSource(FileHandle file, std::string path) : file_(std::move(file)), path_(std::move(path)) {}
  size_t Read(char* buffer, size_t size) override {
    DWORD read = 0;
    if (!ReadFile(file_.Get(), buffer, static_cast<DWORD>(std::min<size_t>(size, 1u << 20)), &read, nullptr))
      throw ReadError(path_, GetLastError());
    return read;
  }

 private:
  FileHandle file_;
  std::string path_;
};

// Only a file that is not there is missing: one that is there but cannot be
// opened (held without sharing, a folder of that name, access denied) raises,
// so that it is never taken for an empty list and overwritten.
class FileStorage : public TCsvStorage {
 public:
  std::unique_ptr<TCsvSource> OpenRead(const std::string& path) override {
    FileHandle file(CreateFileW(AnsiToWString(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return nullptr;
      throw ReadError(path, code);
    }
    return std::make_unique<FileSource>(std::move(file), path);
  }
  void Save(const std::string& path, std::string_view text) override { StrToFile(text, path); }
};

// The long form of a path through GetLongPathNameW, looked up at run time.
std::string AnsiLongPathOf(const std::string& path) {
  using LongPathFn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
  static const auto fn = reinterpret_cast<LongPathFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetLongPathNameW")));
  if (!fn) return {};
  wchar_t buffer[1000];
  const DWORD n = fn(AnsiToWString(path).c_str(), buffer, 1000);
  if (n == 0 || n >= 1000) return {};
  return WStringToAnsi(std::wstring(buffer, n));
}

// The same as a wide path; empty when there is none.
std::u16string WideLongPathOf(const std::string& path) { return ToU16(LongPathName(AnsiToWString(path))); }

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
  SaveCollectionToCSV(*this, path, storage, &window);
}

void TMP3Collection::LoadFromCSV(const std::string& path) {
  FileStorage storage;
  LoadCollectionFromCSV(*this, path, storage, AnsiLongPathOf, WideLongPathOf);
}

}  // namespace kv
