#include "foundation/uni_file_stream_win.h"

#include <algorithm>
#include <limits>
#include <system_error>

#include "base/ansi_text_win.h"

namespace kv {
namespace {

constexpr DWORD kAccess[4] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE, 0};
constexpr DWORD kSharing[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};

// ReadFile and WriteFile move at most 4 GiB - 1 per call; stay well below.
constexpr size_t kMaxChunk = size_t{1} << 30;

[[noreturn]] void ThrowLastError(const char* what) {
  throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

}  // namespace

const bool PlatformIsUnicode = (GetVersion() & 0x80000000u) == 0;

FileHandle Uni_CreateFileW(const wchar_t* name, DWORD access, DWORD sharing, SECURITY_ATTRIBUTES* security,
                           DWORD disposition, DWORD flags, HANDLE templateFile) {
  return FileHandle(CreateFileW(name, access, sharing, security, disposition, flags, templateFile));
}

DWORD Uni_GetFullPathNameW(const wchar_t* name, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart) {
  const DWORD n = GetFullPathNameW(name, bufferLength, buffer, filePart);
  // A buffer too small for the path holds an empty text, never a part of it.
  if (n >= bufferLength && bufferLength != 0) {
    buffer[0] = L'\0';
    if (filePart) *filePart = nullptr;
  }
  return n;
}

DWORD _HandlePathLengthResult(DWORD bufferLength, wchar_t* buffer, std::wstring_view result, uint32_t flags) {
  const auto length = static_cast<DWORD>(result.size());
  if (bufferLength > length) {
    std::copy(result.begin(), result.end(), buffer);
    buffer[length] = L'\0';
    return length;
  }
  if (flags & kPathExactCopy) {
    std::copy_n(result.begin(), bufferLength, buffer);
    return bufferLength;
  }
  if ((flags & kPathCutLast) && bufferLength == length) {
    std::copy_n(result.begin(), length - 1, buffer);
    buffer[length - 1] = L'\0';
    return length + 1;
  }
  if (bufferLength != 0) {
    if (flags & kPathEmpty) buffer[0] = L'\0';
    if (flags & kPathSubPaths) _ExactCopySubPaths(bufferLength, buffer, result);
  }
  return length + 1;
}

void _ExactCopySubPaths(DWORD bufferLength, wchar_t* buffer, std::wstring_view path) {
  if (bufferLength < 4) return;
  size_t keep = 0;  // characters of the whole components that fit with the terminator
  for (size_t i = 0; i < path.size() && i + 2 <= bufferLength; ++i)
    if (path[i] == L'\\') keep = i + 1;
  std::copy_n(path.begin(), keep, buffer);
  buffer[keep] = L'\0';
}

FileHandle WideFileCreate(const std::wstring& name) {
  return Uni_CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

FileHandle WideFileOpen(const std::wstring& name, uint16_t mode) {
  const unsigned sharing = (mode >> 4) & 0xF;
  if (sharing >= std::size(kSharing)) {
    // Not a sharing mode at all: refuse rather than guess.
    SetLastError(ERROR_INVALID_PARAMETER);
    return FileHandle();
  }
  return Uni_CreateFileW(name.c_str(), kAccess[mode & 3], kSharing[sharing], nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::wstring WideExpandFileName(const std::wstring& name) {
  // A buffer of MAX_PATH first; a longer path gets the size it needs.
  std::wstring full(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = Uni_GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return std::wstring();  // the call failed: no full path
    if (n < full.size()) {
      full.resize(n);
      return full;
    }
    full.assign(n, L'\0');  // n is the size needed, terminator included
  }
  return std::wstring();
}

TUniFileStream::TUniFileStream(const std::wstring& fileName, uint16_t mode) {
  if (mode == kModeCreate) {
    handle_ = WideFileCreate(fileName);
    if (!handle_) throw EFCreateError("Cannot create file " + WStringToAnsi(WideExpandFileName(fileName)));
  } else {
    handle_ = WideFileOpen(fileName, mode);
    if (!handle_) throw EFOpenError("Cannot open file " + WStringToAnsi(WideExpandFileName(fileName)));
  }
}

int64_t THandleStream::Read(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const auto chunk = static_cast<DWORD>(std::min<uint64_t>(static_cast<uint64_t>(count - done), kMaxChunk));
    DWORD got = 0;
    if (!ReadFile(handle_.Get(), out + done, chunk, &got, nullptr)) ThrowLastError("ReadFile");
    if (got == 0) break;  // end of file
    done += got;
  }
  return done;
}

int64_t THandleStream::Write(const void* buffer, int64_t count) {
  const auto* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const auto chunk = static_cast<DWORD>(std::min<uint64_t>(static_cast<uint64_t>(count - done), kMaxChunk));
    DWORD put = 0;
    if (!WriteFile(handle_.Get(), in + done, chunk, &put, nullptr)) ThrowLastError("WriteFile");
    if (put == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      ThrowLastError("WriteFile");
    }
    done += put;
  }
  return done;
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER distance, position;
  distance.QuadPart = offset;
  const DWORD method = origin == TSeekOrigin::Beginning ? FILE_BEGIN
                       : origin == TSeekOrigin::Current ? FILE_CURRENT
                                                        : FILE_END;
  if (!SetFilePointerEx(handle_.Get(), distance, &position, method)) ThrowLastError("SetFilePointerEx");
  return position.QuadPart;
}

int64_t THandleStream::Size() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle_.Get(), &size)) ThrowLastError("GetFileSizeEx");
  return size.QuadPart;
}

void THandleStream::SetSize(int64_t size) {
  const int64_t position = Seek(0, TSeekOrigin::Current);
  Seek(size, TSeekOrigin::Beginning);
  if (!SetEndOfFile(handle_.Get())) ThrowLastError("SetEndOfFile");
  Seek(std::min(position, size), TSeekOrigin::Beginning);
}

wchar_t* WStrLCopy(wchar_t* dest, const wchar_t* source, size_t most) {
  size_t i = 0;
  for (; i < most && source[i] != L'\0'; ++i) dest[i] = source[i];
  dest[i] = L'\0';
  return dest;
}

const wchar_t* WStrScan(const wchar_t* text, wchar_t ch) {
  for (; *text != L'\0'; ++text) {
    if (*text == ch) return text;
  }
  return nullptr;
}

}  // namespace kv
