#pragma once
// TUniFileStream: a file stream opened by a wide (UTF-16) name, so that files
// whose names lie outside the ANSI code page can be read. Only the Windows NT
// family exists on x86-64, so the wide entry points are called directly.
#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "base/handle.h"

namespace kv {

class EFOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EFCreateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Open modes: access in the low two bits, sharing in bits 4 to 7.
constexpr uint16_t kOpenRead = 0x0000;
constexpr uint16_t kOpenWrite = 0x0001;
constexpr uint16_t kOpenReadWrite = 0x0002;
constexpr uint16_t kOpenNoAccess = 0x0003;
constexpr uint16_t kShareNone = 0x0010;  // sharing value 0 means no sharing too
constexpr uint16_t kShareRead = 0x0020;
constexpr uint16_t kShareWrite = 0x0030;
constexpr uint16_t kShareReadWrite = 0x0040;
// Create or truncate, read and write access, no sharing.
constexpr uint16_t kModeCreate = 0xFFFF;

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

// Creates or truncates `name` (read and write, no sharing). Invalid handle on failure.
[[nodiscard]] FileHandle WideFileCreate(const std::wstring& name);
// Opens an existing file with the access and sharing of `mode`; invalid
// handle on failure, also for a sharing value above 4.
[[nodiscard]] FileHandle WideFileOpen(const std::wstring& name, uint16_t mode);
// The full path of `name` (of any length); `name` itself when it has none.
std::wstring WideExpandFileName(const std::wstring& name);

class TUniFileStream {
 public:
  // kModeCreate creates the file (EFCreateError on failure), any other mode
  // opens it (EFOpenError); the message names the full path.
  TUniFileStream(const std::wstring& fileName, uint16_t mode);
  TUniFileStream(TUniFileStream&&) noexcept = default;
  TUniFileStream& operator=(TUniFileStream&&) noexcept = default;

  // Reads up to `count` bytes; fewer only at the end of the file. A failing
  // read raises std::system_error.
  size_t Read(void* buffer, size_t count);
  // Writes all `count` bytes or raises std::system_error.
  size_t Write(const void* buffer, size_t count);
  // Moves the position; returns the new one. A position before the start
  // raises std::system_error.
  int64_t Seek(int64_t offset, SeekOrigin origin);
  int64_t Position() { return Seek(0, SeekOrigin::Current); }
  int64_t Size() const;
  HANDLE Handle() const { return handle_.Get(); }

 private:
  FileHandle handle_;
};

// Copies up to `most` characters of `source` (less when its terminator comes
// first) and always terminates `dest`, which must hold most + 1 characters.
wchar_t* WStrLCopy(wchar_t* dest, const wchar_t* source, size_t most);
// The first occurrence of `ch` in `text`, or null when the terminator comes first.
const wchar_t* WStrScan(const wchar_t* text, wchar_t ch);

}  // namespace kv
