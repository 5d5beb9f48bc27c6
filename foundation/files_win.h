#pragma once
// The program folder, whole-file reading and writing, folder creation and
// the log file. ANSI paths unless the name says W.
#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/file_replacement_win.h"

namespace kv {

// A failed system call on a file, with the system's error code.
class EOSError : public std::runtime_error {
 public:
  EOSError(const std::string& message, DWORD code) : std::runtime_error(message), code_(code) {}
  DWORD Code() const { return code_; }

 private:
  DWORD code_;
};

// The executable's folder without a trailing backslash.
const std::string& AppDir();
const std::wstring& AppDirW();
// Records the program folder (start-up; tests point it elsewhere).
void SetAppDir(const std::wstring& folder);
void SetAppDirFromExecutable();
// AppDir + "\" + name.
std::string AppFile(std::string_view name);

// A replacement's failure as the EOSError the user sees, its text translated.
EOSError TranslatedError(const EReplaceError& error);

// Replaces the file with the bytes atomically (FileReplacement). Raises
// EOSError, naming the file and the cause, and leaves the old file untouched
// on any failure.
void WriteFileAtomic(const std::wstring& path, std::string_view bytes);
// The same for an ANSI path.
void StrToFile(std::string_view text, const std::string& fileName);
// The whole file, or empty when it is missing or cannot be read.
std::string StrFromFile(const std::string& fileName);
std::string StrFromFileW(const std::wstring& fileName);
// Creates every missing folder of path below root ("/" read as "\"); with
// exceptLast the final component is not created. False at the first failure.
bool MakePath(const std::string& root, const std::string& path, bool exceptLast);
// The low 32 bits of a file's size from its directory entry; 0 when missing.
uint32_t GetFileSize(const std::string& fileName);
// Writes the log to AppDir\tmp.log, replacing the previous one.
void SaveLog();

}  // namespace kv
