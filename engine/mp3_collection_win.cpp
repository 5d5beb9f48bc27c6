// The disk scan of the music collection: folders walked with the wide
// find-file calls, each music file read into a record.
#include <windows.h>

#include "base/ansi_text_win.h"
#include "base/file_utils_win.h"
#include "base/handle.h"
#include "engine/audio_environment_win.h"
#include "engine/audio_informer.h"
#include "engine/mp3_collection.h"

namespace kv {
namespace {

// Recursion depth cap: deeper trees than this are not real music folders
// (and a path that long cannot be opened anyway).
constexpr int kMaxScanDepth = 256;

struct ScanContext {
  TMP3Collection& collection;
  const TScanEvent& onDir;
  const TScanEvent& onFile;
  TAudioReadEnvironment& env;
  bool cancel = false;

  void Fire(const TScanEvent& event, const std::wstring& path) {
    if (event) event(collection, WStringToAnsi(path), cancel);
  }
};

// Reads one file into a new record and appends it; a file that fails to
// read is left out and the scan goes on.
void AddFile(TMP3Collection& collection, TAudioReadEnvironment& env, const std::wstring& displayPath,
             const std::string& accessPath) {
  collection.Modified = true;
  try {
    auto record = std::make_unique<TAudioInformer>();
    record->SetFileName(accessPath);
    record->ReadFile(WStringToAnsi(displayPath), env);
    collection.AddRecord(std::move(record));
  } catch (...) {
    // The record is dropped; nothing was appended.
  }
}

// A directory reached through a junction or a symbolic link is not entered:
// its files would show as their own duplicates, and deleting the "copy"
// would delete the only file.
// Junctions and symbolic links carry name-surrogate reparse tags; a reparse
// point without a tag (as some file systems report links) counts as a link
// too. Other reparse points (cloud placeholders) are real folders.
bool IsLinkedDirectory(const WIN32_FIND_DATAW& entry) {
  if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  return entry.dwReserved0 == 0 || IsReparseTagNameSurrogate(entry.dwReserved0);
}

void ScanDirectory(ScanContext& ctx, std::wstring dir, std::string access, int depth) {
  if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  ctx.Fire(ctx.onDir, dir);
  if (access.empty()) access = WStringToAnsi(dir);
  if (ctx.cancel) return;

  const DWORD attributes = GetFileAttributesW(dir.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    if (CanRead(ToU16(dir))) AddFile(ctx.collection, ctx.env, dir, access);
    ctx.Fire(ctx.onFile, dir);
    return;
  }
  if (depth >= kMaxScanDepth) return;

  WIN32_FIND_DATAW entry;
  FindHandle find(FindFirstFileW((dir + L"\\*.*").c_str(), &entry));
  if (!find) return;
  do {
    const std::wstring name = entry.cFileName;
    const std::wstring path = dir + L"\\" + name;
    const std::wstring shortName = entry.cAlternateFileName;
    const std::string accessName = WStringToAnsi(shortName.empty() ? name : shortName);
    const bool isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!isDirectory || name.front() == L'.') {
      if (!isDirectory && CanRead(ToU16(name))) AddFile(ctx.collection, ctx.env, path, access + "\\" + accessName);
    } else if (!IsLinkedDirectory(entry)) {
      ScanDirectory(ctx, path, access + "\\" + accessName, depth + 1);
    }
    ctx.Fire(ctx.onFile, path);
    if (ctx.cancel) return;
  } while (FindNextFileW(find.Get(), &entry));
}

}  // namespace

void TMP3Collection::ScanDisks(const std::string& path, const TScanEvent& onDir, const TScanEvent& onFile) {
  TWin32AudioEnvironment env;
  ScanContext ctx{*this, onDir, onFile, env};
  Modified = true;
  if (path.empty()) {
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
      const std::wstring root = std::wstring(1, letter) + L":\\";
      const UINT type = GetDriveTypeW(root.c_str());
      if (type == DRIVE_FIXED || type == DRIVE_REMOTE) ScanDirectory(ctx, root.substr(0, 2), std::string(), 0);
    }
    return;
  }
  ScanDirectory(ctx, AnsiToWString(path), std::string(), 0);
}

}  // namespace kv
