#pragma once
// The report log: each report appended to a plain text file beside the
// program ("<program>_Err.log"), which others may read while it is open.
#include <string>

#include "base/handle.h"

namespace kv {

// The executable's folder with a trailing separator, its name without the
// extension and "_Err.log".
std::string DefaultExceptionLogName();

class TSimpleExceptionLog {
 public:
  explicit TSimpleExceptionLog(std::string fileName = DefaultExceptionLogName()) : fileName_(std::move(fileName)) {}

  const std::string& FileName() const noexcept { return fileName_; }
  void SetFileName(std::string fileName) { fileName_ = std::move(fileName); }
  bool Opened() const noexcept { return static_cast<bool>(file_); }

  // Opens (or makes) the file for appending; throws EOSError when it cannot.
  void OpenLog();
  void CloseLog() noexcept { file_.Reset(); }
  // The stamp of the next report (width 0: 100) with the current date and time.
  void WriteStamp(int width = 0);
  // The text's lines, right-trimmed and indented.
  void Write(const std::string& text, int indent = 0);

 private:
  void WriteBytes(const std::string& bytes);

  std::string fileName_;
  FileHandle file_;
  bool fileWasEmpty_ = true;
};

}  // namespace kv
