#pragma once
// Replacing a file the user must not lose. The new content goes into a
// temporary file beside the target; every write is checked, the file is
// flushed and then moved over the target in one step, so a crash, a kill or a
// full disk leaves the old file or the new one, never a torn one. Until the
// move the target is untouched; a replacement that is not committed removes
// its temporary file. Any thread; one object per thread.
#include <windows.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/handle.h"
#include "base/system_error_win.h"

namespace kv {

// A failed step of a replacement. The message is the English text with "$1"
// (the target) and "$2" (the system's text for the code) filled in; the
// parts stay available so that callers can translate the text.
class EReplaceError : public std::runtime_error {
 public:
  EReplaceError(std::string_view textTemplate, const std::wstring& target, DWORD code);
  const std::string& Template() const { return template_; }
  // The target's ANSI path and the system's text, as CR LF separated lines.
  const std::string& Params() const { return params_; }
  DWORD Code() const { return code_; }

 private:
  EReplaceError(std::string textTemplate, std::string params, DWORD code);

  std::string template_;
  std::string params_;
  DWORD code_;
};

// The system calls that decide whether a replacement succeeds. Tests derive
// from it to make a chosen call fail.
class ReplaceCalls {
 public:
  virtual ~ReplaceCalls() = default;
  virtual BOOL Write(HANDLE file, const void* data, DWORD size, DWORD* written);
  virtual BOOL Flush(HANDLE file);
  virtual BOOL Move(const wchar_t* from, const wchar_t* to, DWORD flags);
};

// Every temporary file made here is named kTempPrefix, 8 hexadecimal digits
// and ".tmp", so that one left by a killed process can be told from a user's file.
inline constexpr wchar_t kTempPrefix[] = L"~kv";

// Whether a replacement first removes the stale temporary files of its folder.
enum class StaleTempFiles { Remove, Keep };

class FileReplacement {
 public:
  // Removes stale temporary files from the target's folder (unless told to
  // keep them: a caller writing many files into one folder asks once),
  // refuses a read-only target (as Windows refuses to move over one) and
  // creates a new temporary file there, open for reading and writing and
  // shared with nobody. EReplaceError on failure. calls defaults to the real
  // system calls.
  explicit FileReplacement(std::wstring target, ReplaceCalls* calls = nullptr,
                           StaleTempFiles stale = StaleTempFiles::Remove);
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;
  // Uncommitted: closes and deletes the temporary file. Never writes.
  ~FileReplacement();

  // Writes every byte at the file position, in chunks; a failed or short
  // write raises "Cannot write file" with the real cause (a short write is a
  // full disk).
  void Write(const void* data, size_t size);
  void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
  // The temporary file, for seeking and reading back. Writes go through Write.
  HANDLE Handle() const { return file_.Get(); }
  const std::wstring& Target() const { return target_; }
  const std::wstring& TempPath() const { return temp_; }

  // Moves the target to another name in the same folder (a multi-part set
  // learns each part's name when the set is complete).
  void SetTarget(std::wstring target) { target_ = std::move(target); }
  // Flushes and closes the temporary file and moves it over the target.
  void Commit();
  // The same, but never over an existing file: false, with the temporary
  // file removed and nothing else changed, when the target exists.
  [[nodiscard]] bool CommitNew();

 private:
  void Close();
  bool Move(DWORD flags);

  std::wstring target_;
  std::wstring temp_;
  ReplaceCalls* calls_;
  FileHandle file_;
  bool done_ = false;
};

// Replaces the target's content with the bytes in one replacement.
void ReplaceFileContent(const std::wstring& target, std::string_view bytes, ReplaceCalls* calls = nullptr);

// Deletes the temporary files of kTempPrefix in the folder that no process
// holds open (left behind by a process that was killed while saving).
void RemoveStaleTempFiles(const std::wstring& folder);

}  // namespace kv
