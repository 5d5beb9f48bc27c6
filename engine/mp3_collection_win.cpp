// The disk scan of the music collection: folders walked with the wide
// find-file calls, each music file read into a record.
//
// Every file is read by its wide long path, and the record keeps that path:
// the program plays, copies, renames and deletes the file by it. The
// record's ANSI access path stays for the result lists of older versions
// and must still name that file and no other:
// - a short (8.3) name is used only when it leads to its own entry. Some
//   systems make short names by hashing the long name, and two files of one
//   folder can get the same one; it then opens one of them;
// - otherwise the long name, when the ANSI code page holds it exactly (no
//   best-fit look-alike letters, which could name another file);
// - otherwise the long name with "|" for each character the code page lacks.
//   "|" is not allowed in file names and is no wildcard, so every use of such
//   a path fails instead of reaching another file.
#include <windows.h>

#include <unordered_map>

#include "base/ansi_text.h"
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

// The text in the ANSI code page when every character converts exactly (and
// converts back to itself); false otherwise.
bool ExactAnsi(std::wstring_view text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  const int len = static_cast<int>(text.size());
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), len, nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return false;
  out.resize(static_cast<size_t>(n));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), len, out.data(), n, nullptr, &lossy);
  return !lossy && AnsiToWString(out) == text;
}

std::wstring Upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// One listed folder and the access names of its entries.
class FolderNames {
 public:
  FolderNames(const std::vector<TScanEntry>& entries, const std::wstring& folder, const std::wstring& access)
      : folder_(folder), access_(access) {
    // How many entries answer to each name, long or short: a short name that
    // only its own entry answers to cannot lead anywhere else.
    for (const TScanEntry& e : entries) {
      const std::wstring name = Upper(e.name);
      ++answers_[name];
      if (!e.shortName.empty()) {
        const std::wstring shortName = Upper(e.shortName);
        if (shortName != name) ++answers_[shortName];
      }
    }
  }

  std::string AccessName(TScanEnvironment& env, const TScanEntry& e) const {
    std::string ansi;
    if (!e.shortName.empty() && ExactAnsi(e.shortName, ansi)) {
      if (answers_.at(Upper(e.shortName)) == 1) return ansi;
      // Shared with another entry: only opening it tells which entry it
      // reaches. (Asking for its long form is not enough: one system answers
      // with the first entry of its listing and opens another.)
      if (env.SameFile(access_ + L"\\" + e.shortName, folder_ + L"\\" + e.name)) return ansi;
    }
    if (ExactAnsi(e.name, ansi)) return ansi;
    return MarkedAnsi(ToU16(e.name));
  }

 private:
  std::wstring folder_, access_;
  std::unordered_map<std::wstring, int> answers_;
};

// The access path of a folder or file the scan starts from: itself when the
// code page holds it, else its short form when that converts exactly, else
// the marked form.
std::string RootAccess(const std::wstring& path) {
  std::string ansi;
  if (ExactAnsi(path, ansi)) return ansi;
  if (const std::wstring shortPath = ShortPathOf(path); !shortPath.empty() && ExactAnsi(shortPath, ansi)) return ansi;
  return MarkedAnsi(ToU16(path));
}

struct ScanContext {
  TMP3Collection& collection;
  const TScanEvent& onDir;
  const TScanEvent& onFile;
  TScanEnvironment& env;
  const TScanFileEvent* onFileWide = nullptr;  // replaces onFile when set
  bool cancel = false;

  void Fire(const TScanEvent& event, const std::wstring& path) {
    if (&event == &onFile && onFileWide) {
      if (*onFileWide) (*onFileWide)(collection, ToU16(path), cancel);
      return;
    }
    if (event) event(collection, WStringToAnsi(path), cancel);
  }
};

// Reads one file by its long path into a new record and appends it; a file
// that fails to read is left out and the scan goes on.
void AddFile(ScanContext& ctx, const std::wstring& longPath, const std::string& accessPath) {
  ctx.collection.Modified = true;
  try {
    auto record = std::make_unique<TAudioInformer>();
    record->SetFileName(accessPath);
    record->SetWidePath(ToU16(longPath));
    ctx.env.SetCurrentFile(longPath, accessPath);
    record->ReadFile(WStringToAnsi(longPath), ctx.env);
    ctx.collection.AddRecord(std::move(record));
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
bool IsLinkedDirectory(const TScanEntry& entry) {
  if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  return entry.reparseTag == 0 || IsReparseTagNameSurrogate(entry.reparseTag);
}

void ScanDirectory(ScanContext& ctx, std::wstring dir, std::string access, int depth) {
  if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  ctx.Fire(ctx.onDir, dir);
  if (access.empty()) access = RootAccess(dir);
  if (ctx.cancel) return;

  const DWORD attributes = GetFileAttributesW(dir.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    if (CanRead(ToU16(dir))) AddFile(ctx, dir, access);
    ctx.Fire(ctx.onFile, dir);
    return;
  }
  if (depth >= kMaxScanDepth) return;

  const std::vector<TScanEntry> entries = ctx.env.ListFolder(dir);
  const FolderNames names(entries, dir, AnsiToWString(access));
  for (const TScanEntry& entry : entries) {
    const std::wstring path = dir + L"\\" + entry.name;
    const bool isDirectory = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!isDirectory || entry.name.front() == L'.') {
      if (!isDirectory && CanRead(ToU16(entry.name))) {
        AddFile(ctx, path, access + "\\" + names.AccessName(ctx.env, entry));
      }
    } else if (!IsLinkedDirectory(entry)) {
      ScanDirectory(ctx, path, access + "\\" + names.AccessName(ctx.env, entry), depth + 1);
    }
    ctx.Fire(ctx.onFile, path);
    if (ctx.cancel) return;
  }
}

void ScanFrom(ScanContext& ctx, const std::wstring& path, bool allDrives) {
  ctx.collection.Modified = true;
  if (allDrives) {
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
      const std::wstring root = std::wstring(1, letter) + L":\\";
      const uint32_t type = ctx.env.DriveType(root);
      if (type == DRIVE_FIXED || type == DRIVE_REMOTE) ScanDirectory(ctx, root.substr(0, 2), std::string(), 0);
    }
    return;
  }
  ScanDirectory(ctx, path, std::string(), 0);
}

}  // namespace

void TMP3Collection::ScanDisks(const std::string& path, const TScanEvent& onDir, const TScanEvent& onFile) {
  TScanEnvironment env;
  ScanDisks(path, onDir, onFile, env);
}

void TMP3Collection::ScanDisks(const std::string& path, const TScanEvent& onDir, const TScanEvent& onFile,
                               TScanEnvironment& env) {
  ScanContext ctx{*this, onDir, onFile, env};
  ScanFrom(ctx, AnsiToWString(path), path.empty());
}

void TMP3Collection::ScanDisks(const std::u16string& path, const TScanFileEvent& onFile) {
  TScanEnvironment env;
  ScanDisks(path, onFile, env);
}

void TMP3Collection::ScanDisks(const std::u16string& path, const TScanFileEvent& onFile, TScanEnvironment& env) {
  const TScanEvent noDir, noFile;
  ScanContext ctx{*this, noDir, noFile, env};
  ctx.onFileWide = &onFile;
  ScanFrom(ctx, ToWString(path), path.empty());
}


}  // namespace kv
