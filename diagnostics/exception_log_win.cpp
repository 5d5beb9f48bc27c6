#include "diagnostics/exception_log_win.h"

#include <windows.h>

#include <algorithm>

#include "base/system_error_win.h"
#include "diagnostics/diag_errors.h"
#include "diagnostics/exception_log.h"

namespace kv {

std::string DefaultExceptionLogName() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path, n);
  const size_t slash = name.find_last_of("\\/:");
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
  return name + "_Err.log";
}

void TSimpleExceptionLog::OpenLog() {
  CloseLog();
  FileHandle file(CreateFileA(fileName_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    throw EDiagError(DiagFormat(DiagText::kCannotOpenFile, fileName_) + " (" + SystemErrorText(error) + ")");
  }
  LARGE_INTEGER size{};
  fileWasEmpty_ = !GetFileSizeEx(file.Get(), &size) || size.QuadPart == 0;
  file_ = std::move(file);
}

void TSimpleExceptionLog::WriteStamp(int width) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char date[128] = {};
  char time[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, sizeof time);
  WriteBytes(ExceptionLogStamp(width, fileWasEmpty_, std::string(date) + " " + time));
  fileWasEmpty_ = false;
}

void TSimpleExceptionLog::Write(const std::string& text, int indent) {
  WriteBytes(ExceptionLogLines(text, indent));
  if (!text.empty()) fileWasEmpty_ = false;
}

void TSimpleExceptionLog::WriteBytes(const std::string& bytes) {
  if (!file_) OpenLog();
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file_.Get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      const DWORD error = GetLastError();
      throw EDiagError(DiagFormat(DiagText::kCannotWriteFile, fileName_) + " (" + SystemErrorText(error) + ")");
    }
    done += written;
  }
}

}  // namespace kv
