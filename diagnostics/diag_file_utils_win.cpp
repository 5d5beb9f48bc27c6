#include "diagnostics/diag_file_utils_win.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <vector>

#include "diagnostics/diag_errors.h"
#include "diagnostics/diag_lock_win.h"

namespace kv {

namespace {

// An open registry key, closed at scope end.
class RegKey {
 public:
  RegKey(HKEY root, const std::string& key) {
    std::string_view path = key;
    if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    if (RegOpenKeyExA(root, std::string(path).c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The raw version resource of a file; nullopt when it has none.
std::optional<std::vector<uint8_t>> ReadVersionResource(const std::string& fileName, DWORD* error) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(fileName.c_str(), &ignored);
  if (size == 0) {
    *error = GetLastError();
    return std::nullopt;
  }
  std::vector<uint8_t> block(size);
  if (!GetFileVersionInfoA(fileName.c_str(), 0, size, block.data())) {
    *error = GetLastError();
    return std::nullopt;
  }
  return block;
}

}  // namespace

int64_t FileGetSize(const std::string& name) {
  ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
  WIN32_FIND_DATAA data;
  const FindHandle find(FindFirstFileA(name.c_str(), &data));
  if (!find) return -1;
  return static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
}

std::string GetModulePath(HMODULE module) {
  // The name is the loader's: a fault report whose loader lock is held by a
  // thread that never lets go goes on without it.
  const TDiagLoaderLockGuard loader;
  if (!loader.Owns()) return {};
  char path[MAX_PATH + 1];
  const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, n);
}

bool VersionResourceAvailable(const std::string& fileName) {
  DWORD error = 0;
  return ReadVersionResource(fileName, &error).has_value();
}

bool VersionFixedFileInfo(const std::string& fileName, TDiagFixedFileInfo& fixedInfo) {
  DWORD error = 0;
  const auto block = ReadVersionResource(fileName, &error);
  if (!block) return false;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block->data(), "\\", &value, &length) || value == nullptr || length != kFixedFileInfoSize) {
    return false;
  }
  const auto* raw = static_cast<const VS_FIXEDFILEINFO*>(value);
  TDiagFixedFileInfo info;
  info.signature = raw->dwSignature;
  info.strucVersion = raw->dwStrucVersion;
  info.fileVersionMS = raw->dwFileVersionMS;
  info.fileVersionLS = raw->dwFileVersionLS;
  info.productVersionMS = raw->dwProductVersionMS;
  info.productVersionLS = raw->dwProductVersionLS;
  info.fileFlagsMask = raw->dwFileFlagsMask;
  info.fileFlags = raw->dwFileFlags;
  info.fileOS = raw->dwFileOS;
  info.fileType = raw->dwFileType;
  info.fileSubtype = raw->dwFileSubtype;
  info.fileDateMS = raw->dwFileDateMS;
  info.fileDateLS = raw->dwFileDateLS;
  fixedInfo = info;
  return true;
}

TDiagFileVersionInfo ReadFileVersionInfo(const std::string& fileName) {
  DWORD error = 0;
  const auto block = ReadVersionResource(fileName, &error);
  if (!block) {
    // A file without a version resource is not a read failure.
    if (error == ERROR_RESOURCE_DATA_NOT_FOUND || error == ERROR_RESOURCE_TYPE_NOT_FOUND ||
        error == ERROR_RESOURCE_NAME_NOT_FOUND || error == ERROR_SUCCESS) {
      throw EDiagFileVersionInfoError(DiagText::kNoVersionInfo);
    }
    throw std::system_error(static_cast<int>(error), std::system_category(), fileName);
  }
  return TDiagFileVersionInfo(std::span<const uint8_t>(*block));
}

TDiagFileVersionInfo::TDiagFileVersionInfo(const std::string& fileName)
    : TDiagFileVersionInfo(ReadFileVersionInfo(fileName)) {}

uint32_t RegReadIntegerDef(HKEY rootKey, const std::string& key, const std::string& name, uint32_t def) {
  const RegKey open(rootKey, key);
  if (open.Get() == nullptr) return def;
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(open.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return def;
  }
  return value;
}

std::string RegReadStringDef(HKEY rootKey, const std::string& key, const std::string& name, const std::string& def) {
  const RegKey open(rootKey, key);
  if (open.Get() == nullptr) return def;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(open.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return def;
  }
  std::string text(size, '\0');
  if (size != 0 &&
      RegQueryValueExA(open.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
          ERROR_SUCCESS) {
    return def;
  }
  text.resize(std::min<size_t>(size, text.size()));
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}


TDiagFileMappingStream::TDiagFileMappingStream(const std::string& fileName, uint16_t mode) {
  // The open modes' access (low two bits) and sharing (bits 4 to 7).
  constexpr DWORD kAccess[4] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE, 0};
  constexpr DWORD kSharing[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  const unsigned sharing = (mode >> 4) & 0x0F;
  if (sharing >= std::size(kSharing)) {
    throw std::system_error(ERROR_INVALID_PARAMETER, std::system_category(), fileName);
  }
  file_.Reset(CreateFileA(fileName.c_str(), kAccess[mode & 3], kSharing[sharing], nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) {
    const DWORD error = GetLastError();
    throw std::system_error(static_cast<int>(error), std::system_category(), fileName);
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file_.Get(), &size)) {
    const DWORD error = GetLastError();
    throw EDiagFileMappingViewError(DiagText::kFileSizeFailed, error, SystemErrorText(error));
  }
  const bool writable = (mode & 3) == kOpenReadWrite;
  writable_ = writable;
  mapping_.Reset(CreateFileMappingA(file_.Get(), nullptr, writable ? PAGE_WRITECOPY : PAGE_READONLY, 0, 0, nullptr));
  if (!mapping_) {
    const DWORD error = GetLastError();
    throw EDiagFileMappingError(DiagText::kFileMappingFailed, error, SystemErrorText(error));
  }
  void* view = MapViewOfFile(mapping_.Get(), writable ? FILE_MAP_COPY : FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) {
    const DWORD error = GetLastError();
    throw EDiagFileMappingViewError(DiagText::kFileMappingViewFailed, error, SystemErrorText(error));
  }
  SetMemory(static_cast<uint8_t*>(view), static_cast<uint64_t>(size.QuadPart));
}

TDiagFileMappingStream::~TDiagFileMappingStream() {
  if (Memory() != nullptr) UnmapViewOfFile(Memory());
}

size_t TDiagFileMappingStream::Write(const void* buffer, size_t count) {
  // Only a view mapped copy-on-write may be written, and only when the whole count fits.
  if (!writable_ || Position() > Size() || count > Size() - Position()) return 0;
  std::memcpy(MutableMemory() + Position(), buffer, count);
  Seek(Position() + count);
  return count;
}

}  // namespace kv
