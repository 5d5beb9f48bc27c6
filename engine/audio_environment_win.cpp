#include "engine/audio_environment_win.h"

#include <windows.h>

#include <optional>
#include <utility>

#include "base/ansi_text_win.h"
#include "base/file_utils_win.h"
#include "base/handle.h"
#include "engine/readers/file_source_win.h"
#include "foundation/files_win.h"

namespace kv {
namespace {

TSessionFlagWriter& FlagWriter() {
  static TSessionFlagWriter writer;  // process-wide, set at start-up
  return writer;
}

TShortPathLookup& ShortPathLookup() {
  static TShortPathLookup lookup;  // process-wide; empty: the system's
  return lookup;
}

}  // namespace

void SetShortPathLookup(TShortPathLookup lookup) { ShortPathLookup() = std::move(lookup); }

std::wstring ShortPathOf(const std::wstring& path) {
  return ShortPathLookup() ? ShortPathLookup()(path) : ShortPathName(path);
}

void SetSessionFlagWriter(TSessionFlagWriter writer) { FlagWriter() = std::move(writer); }

bool TWin32AudioEnvironment::FileExists(const std::string& accessPath) {
  // A missing medium must not raise a system error box.
  return kv::FileExists(accessPath);
}

std::unique_ptr<ByteSource> TWin32AudioEnvironment::Open(const std::string& accessPath) {
  return std::make_unique<FileSource>(AnsiToWString(accessPath));
}

void TWin32AudioEnvironment::SetSessionFlag(std::string_view key) {
  if (FlagWriter()) FlagWriter()(key);
}

void TMP3Informer::ReadFile(const std::string& displayPath) {
  TWin32AudioEnvironment env;
  ReadFile(displayPath, env);
}

void TMP3Informer::ExtractInfoFromFilename(const std::string& path) {
  TWin32AudioEnvironment env;
  ExtractInfoFromFilename(path, env);
}

void TAudioInformer::ReadFile(const std::string& displayPath) {
  TWin32AudioEnvironment env;
  ReadFile(displayPath, env);
}

std::vector<TScanEntry> TScanEnvironment::ListFolder(const std::wstring& folder) {
  std::vector<TScanEntry> entries;
  WIN32_FIND_DATAW data;
  const FindHandle find(FindFirstFileW((folder + L"\\*.*").c_str(), &data));
  if (!find) return entries;
  do {
    entries.push_back({data.cFileName, data.cAlternateFileName, data.dwFileAttributes, data.dwReserved0});
  } while (FindNextFileW(find.Get(), &data));
  if (ShortPathLookup()) {
    for (TScanEntry& e : entries) {
      if (e.name == L"." || e.name == L"..") continue;
      const std::wstring shortPath = ShortPathOf(folder + L"\\" + e.name);
      const size_t slash = shortPath.rfind(L'\\');
      e.shortName = shortPath.empty() ? std::wstring() : shortPath.substr(slash == std::wstring::npos ? 0 : slash + 1);
    }
  }
  return entries;
}

namespace {

// Volume and file index of the file a path opens; nothing when it opens none.
std::optional<std::pair<DWORD, uint64_t>> FileIdentity(const std::wstring& path) {
  const FileHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
  return std::pair{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace

bool TScanEnvironment::SameFile(const std::wstring& a, const std::wstring& b) {
  const ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
  const auto first = FileIdentity(a);
  return first && first == FileIdentity(b);
}

uint32_t TScanEnvironment::DriveType(const std::wstring& root) { return GetDriveTypeW(root.c_str()); }

void TScanEnvironment::SetCurrentFile(std::wstring longPath, std::string accessPath) {
  longPath_ = std::move(longPath);
  accessPath_ = std::move(accessPath);
}

bool TScanEnvironment::FileExists(const std::string& accessPath) {
  if (accessPath != accessPath_) return TWin32AudioEnvironment::FileExists(accessPath);
  const ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
  const DWORD attributes = GetFileAttributesW(longPath_.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::unique_ptr<ByteSource> TScanEnvironment::Open(const std::string& accessPath) {
  if (accessPath != accessPath_) return TWin32AudioEnvironment::Open(accessPath);
  return std::make_unique<FileSource>(longPath_);
}

}  // namespace kv
