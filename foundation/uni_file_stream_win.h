#pragma once
// TUniFileStream: a file stream opened by a wide (UTF-16) name, so that files
// whose names lie outside the ANSI code page can be read, and the thin
// wrappers of the wide file calls below it. Only the Windows NT family runs
// x86-64 programs, so the wrappers call the wide entry points.
#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "base/handle.h"
#include "zip/zip_stream.h"

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


// True on the Windows NT family, where the wide file calls exist; set once
// at start-up.
extern const bool PlatformIsUnicode;

// CreateFileW with the same arguments; an invalid handle on failure.
[[nodiscard]] FileHandle Uni_CreateFileW(const wchar_t* name, DWORD access, DWORD sharing,
                                         SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                                         HANDLE templateFile);
// GetFullPathNameW with the same arguments: the length written (without
// the terminator), the size needed (with it) when the buffer is too small,
// 0 on failure.
DWORD Uni_GetFullPathNameW(const wchar_t* name, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart);

// How _HandlePathLengthResult treats a buffer too small for the result.
constexpr uint32_t kPathCutLast = 1;      // one character short: all but the last, terminated
constexpr uint32_t kPathEmpty = 2;        // an empty text
constexpr uint32_t kPathExactCopy = 4;    // exactly bufferLength characters, no terminator
constexpr uint32_t kPathSubPaths = 8;     // the whole leading path components that fit

// Copies a path result into a caller's buffer of bufferLength characters as
// a wide path call would, and returns what that call would: the length
// copied when the buffer holds the result and its terminator; with
// kPathExactCopy bufferLength; otherwise the size needed (length + 1), the
// buffer treated by the other flags.
DWORD _HandlePathLengthResult(DWORD bufferLength, wchar_t* buffer, std::wstring_view result, uint32_t flags);
// Copies into buffer the leading components of path, each up to and with its
// "\", that fit in bufferLength characters with the terminator (an empty
// text when none does). Buffers under 4 characters are left alone.
void _ExactCopySubPaths(DWORD bufferLength, wchar_t* buffer, std::wstring_view path);

// Creates or truncates `name` (read and write, no sharing). Invalid handle on failure.
[[nodiscard]] FileHandle WideFileCreate(const std::wstring& name);
// Opens an existing file with the access and sharing of `mode`; invalid
// handle on failure, also for a sharing value above 4.
[[nodiscard]] FileHandle WideFileOpen(const std::wstring& name, uint16_t mode);
// The full path of `name` (of any length); empty when the system gives none.
std::wstring WideExpandFileName(const std::wstring& name);

// A stream over an open file handle, which it owns. Reads return fewer bytes
// than asked only at the end of the file; a failing read, a failing or short
// write and a position before the start raise std::system_error.
class THandleStream : public TStream {
 public:
  explicit THandleStream(FileHandle handle) : handle_(std::move(handle)) {}
  THandleStream(THandleStream&&) noexcept = default;
  THandleStream& operator=(THandleStream&&) noexcept = default;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  void* Handle() override { return handle_.Get(); }

 protected:
  THandleStream() = default;
  FileHandle handle_;
};

// A handle stream on a file opened by a wide name.
class TUniFileStream : public THandleStream {
 public:
  // kModeCreate creates the file (EFCreateError on failure), any other mode
  // opens it (EFOpenError); the message names the full path.
  TUniFileStream(const std::wstring& fileName, uint16_t mode);
  TUniFileStream(TUniFileStream&&) noexcept = default;
  TUniFileStream& operator=(TUniFileStream&&) noexcept = default;
};

// Copies up to `most` characters of `source` (less when its terminator comes
// first) and always terminates `dest`, which must hold most + 1 characters.
wchar_t* WStrLCopy(wchar_t* dest, const wchar_t* source, size_t most);
// The first occurrence of `ch` in `text`, or null when the terminator comes first.
const wchar_t* WStrScan(const wchar_t* text, wchar_t ch);

}  // namespace kv
