#include "wizard/reserve_win.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <unordered_set>

#include "base/ansi_text.h"
#include "base/ansi_text_win.h"
#include "base/file_replacement_win.h"
#include "base/file_utils_win.h"
#include "base/handle.h"
#include "base/strings.h"
#include "base/system_error_win.h"
#include "engine/audio_environment_win.h"
#include "foundation/files_win.h"
#include "foundation/md5.h"
#include "foundation/translate.h"

namespace kv {
namespace {

constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;

// Long paths go through the exact UTF-8 of base/ansi_text.h: a lone
// surrogate (NTFS allows one in a name) keeps its own three bytes, where the
// system's conversion would turn it into U+FFFD and give back another name.
std::string ToUtf8(const std::wstring& text) { return WideToUtf8(ToU16(text)); }
std::wstring FromUtf8(const std::string& text) { return ToWString(Utf8ToWide(text)); }

std::wstring WideFolder(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring WideFileName(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool FolderExists(const std::wstring& folder) {
  const DWORD a = GetFileAttributesW(folder.c_str());
  return a != kNoAttributes && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// 64-bit size from the directory entry; 0 when missing.
int64_t SizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
}

// The whole file; EOSError naming it when it cannot be read.
std::vector<uint8_t> ReadBytes(const std::wstring& path) {
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  auto fail = [&](DWORD code) {
    return EOSError(Translate("Cannot read file \"$1\": $2", WStringToAnsi(path) + "\r\n" + SystemErrorText(code)), code);
  };
  if (!file) throw fail(GetLastError());
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) throw fail(GetLastError());
  constexpr int64_t kMaxArchive = int64_t{1} << 30;
  if (size.QuadPart > kMaxArchive) throw fail(ERROR_FILE_TOO_LARGE);
  std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    if (!ReadFile(file.Get(), bytes.data() + done, want, &got, nullptr)) throw fail(GetLastError());
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

// The journal read in pieces, so that a damaged one of any size costs no
// more memory than the lines it holds; a missing journal is empty. Raises
// EOSError naming it when it exists but cannot be read.
TParsedReserve ReadJournal(const std::wstring& path) {
  TReserveListReader reader(true);
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  auto fail = [&](DWORD code) {
    return EOSError(Translate("Cannot read file \"$1\": $2", WStringToAnsi(path) + "\r\n" + SystemErrorText(code)), code);
  };
  if (!file) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return reader.Finish();
    throw fail(code);
  }
  std::string chunk(size_t{1} << 16, '\0');
  while (!reader.Done()) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) throw fail(GetLastError());
    if (got == 0) break;
    reader.Feed(std::string_view(chunk.data(), got));
  }
  return reader.Finish();
}

std::string Stamp() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char text[32];
  std::snprintf(text, sizeof text, "%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return text;
}

}  // namespace

std::pair<int64_t, int64_t> ReserveTimeStamp() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  const int64_t ms = ((int64_t{t.wHour} * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
  return {DayNumber(t.wYear, t.wMonth, t.wDay), ms};
}

// The counter lives for the process: the hook exists for tests that kill
// the program at a chosen step.
void TestCrashPoint(const char* name) {
  static int hits = 0;
  char value[64] = {};
  const DWORD n = GetEnvironmentVariableA("KELVARIN_TEST_CRASH_AT", value, sizeof value);
  if (n == 0 || n >= sizeof value) return;
  std::string spec(value, n);
  int target = 1;
  if (const size_t colon = spec.find(':'); colon != std::string::npos) {
    target = std::atoi(spec.c_str() + colon + 1);
    spec.resize(colon);
  }
  if (spec != name) return;
  if (++hits >= target) TerminateProcess(GetCurrentProcess(), 3);
}

std::wstring HiddenPathOf(const TReserveLine& line) {
  // The hidden file lies in the folder of the file's long path; the ANSI
  // text of that folder loses the letters the code page lacks.
  if (line.longPath.empty()) return AnsiToWString(line.hidden);
  const std::wstring folder = WideFolder(FromUtf8(line.longPath));
  if (folder.empty()) return AnsiToWString(line.hidden);
  return folder + L"\\" + AnsiToWString(std::string(FileNamePart(line.hidden)));
}

std::wstring RecoveredPathOf(const TReserveLine& line) {
  const std::wstring name = WideFileName(line.longPath.empty() ? AnsiToWString(line.display) : FromUtf8(line.longPath));
  return WideFolder(HiddenPathOf(line)) + L"\\" + name;
}

std::string HiddenDigits(const std::wstring& widePath, const std::wstring& longPath) {
  const std::string ansiLong = WStringToAnsi(longPath);
  const bool exact = AnsiToWString(ansiLong) == longPath;
  return ToHex(GetMD5(exact ? WStringToAnsi(widePath) : ToUtf8(longPath)));
}

TReserve::TReserve(std::wstring folder) : folder_(std::move(folder)) {}

std::vector<std::string> TReserve::Load() {
  std::vector<std::string> notices;
  std::vector<TReserveLine> archived;
  std::vector<std::string> rejected;
  bool archiveRead = false;
  int64_t storedSize = 0;
  bool sizeKnown = false;  // a damaged or missing "size" is taken from the files
  const std::wstring archivePath = ArchivePath();
  // An archive that cannot be read or written to is never written over: its
  // list may name files that no journal names. It is kept aside as it is.
  auto setAside = [&](const std::string& why, const char* then) {
    const std::wstring aside = archivePath + L"." + AnsiToWString(Stamp()) + L".unreadable";
    std::string text = Translate("The list of the reserve of deleted files \"$1\" cannot be read: $2",
                                 WStringToAnsi(archivePath) + "\r\n" + why);
    if (!MoveFileExW(archivePath.c_str(), aside.c_str(), 0)) {
      const DWORD code = GetLastError();
      throw EOSError(text + "\r\n" +
                         Translate("Cannot rename file \"$1\": $2", WStringToAnsi(archivePath) + "\r\n" + SystemErrorText(code)),
                     code);
    }
    notices.push_back(text + "\r\n" + Translate(then, WStringToAnsi(aside)));
  };
  if (GetFileAttributesW(archivePath.c_str()) != kNoAttributes) {
    std::vector<std::string> uncopyable;
    try {
      const TReserveArchive archive = ReadReserveArchive(ReadBytes(archivePath));
      if (!IsReserveArchive(archive)) throw std::runtime_error(Translate("It holds entries of another kind"));
      TParsedReserve parsed = ParseReserveList(archive.list, false);
      if (parsed.cut)
        throw std::runtime_error(Translate("It holds more than $1 lines", std::to_string(kMaxReserveLines)));
      archived = std::move(parsed.lines);
      rejected = std::move(parsed.rejected);
      storedSize = ParseReserveSize(archive.size);
      sizeKnown = storedSize > 0 || archive.size == "0";
      uncopyable = archive.uncopyable;
      archiveRead = true;
    } catch (const std::exception& e) {
      setAside(e.what(), "It was renamed to \"$1\"; the reserve is taken from its journal.");
    }
    if (!uncopyable.empty()) {
      // Every save copies the entries it does not replace, so this archive
      // could never be saved again. Its list was read whole: the reserve
      // keeps it, and a new archive takes the size from the files.
      setAside(Translate("The entry \"$1\" of the reserve's archive is damaged", uncopyable.front()),
               "It was renamed to \"$1\"; the reserve is taken from its list.");
      sizeKnown = false;
    }
  }
  // A journal that cannot be read is kept aside, never overwritten: its lines
  // name files that may be in no list.
  TParsedReserve journal;
  try {
    journal = ReadJournal(JournalPath());
  } catch (const EOSError& e) {
    const std::wstring journalPath = JournalPath();
    const std::wstring aside = journalPath + L"." + AnsiToWString(Stamp()) + L".unreadable";
    if (!MoveFileExW(journalPath.c_str(), aside.c_str(), 0)) throw;
    notices.push_back(Translate("The journal of the reserve of deleted files cannot be read: $1", e.what()) + "\r\n" +
                      Translate("It was renamed to \"$1\".", WStringToAnsi(aside)));
  }
  if (journal.cut) {
    // The lines past the bound were not read: the journal is kept whole
    // beside the new one rather than replaced by what was read of it.
    const std::wstring journalPath = JournalPath();
    const std::wstring aside = journalPath + L"." + AnsiToWString(Stamp()) + L".unread";
    if (!MoveFileExW(journalPath.c_str(), aside.c_str(), 0)) {
      const DWORD code = GetLastError();
      throw EOSError(Translate("Cannot rename file \"$1\": $2", WStringToAnsi(journalPath) + "\r\n" + SystemErrorText(code)),
                     code);
    }
    notices.push_back(Translate("The journal of the reserve of deleted files holds more than $1 lines; the lines past "
                                "them were not read. It was renamed to \"$2\".",
                                std::to_string(kMaxReserveLines) + "\r\n" + WStringToAnsi(aside)));
  }
  rejected.insert(rejected.end(), journal.rejected.begin(), journal.rejected.end());

  lines_ = MergeReserve(archived, journal.lines, [](const TReserveLine& line) {
    const std::wstring hidden = HiddenPathOf(line);
    if (GetFileAttributesW(hidden.c_str()) != kNoAttributes) return THiddenState::Present;
    return FolderExists(WideFolder(hidden)) ? THiddenState::Missing : THiddenState::Unreachable;
  });
  int64_t found = 0;
  for (TReserveLine& line : lines_) found += line.size = SizeOf(HiddenPathOf(line));
  auto key = [](std::string path) {  // the hidden paths compare as SamePath does
    for (char& c : path)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return path;
  };
  std::unordered_set<std::string> listed;
  for (const TReserveLine& line : archived) listed.insert(key(line.hidden));
  unfinishedRun_ = std::any_of(lines_.begin(), lines_.end(),
                               [&](const TReserveLine& line) { return !listed.contains(key(line.hidden)); });
  auto sameAs = [&](const std::vector<TReserveLine>& other) {
    if (other.size() != lines_.size()) return false;
    for (size_t i = 0; i < other.size(); ++i)
      if (other[i].hidden != lines_[i].hidden) return false;
    return true;
  };
  const bool archiveHoldsAll = archiveRead && sizeKnown && sameAs(archived);
  size_ = archiveHoldsAll ? storedSize : found;
  // Written back when the files on disk told more than the archive, and
  // when the journal is more than a copy of the list.
  bool changed = !archiveHoldsAll && (archiveRead || !lines_.empty() || !notices.empty());
  changed = changed || journal.torn || !sameAs(journal.lines);
  if (!archiveRead && notices.empty() && lines_.empty() && journal.lines.empty() && !journal.torn) changed = false;

  std::vector<std::pair<std::string, std::string>> history;
  if (!rejected.empty()) {
    std::string text;
    for (const std::string& line : rejected) text += line + "\r\n";
    const auto [day, ms] = ReserveTimeStamp();
    history.emplace_back(HistoryEntryName("bad", day, ms), text);
    notices.push_back(Translate("$1 lines of the reserve's list could not be read; they were kept in the entry \"$2\".",
                                std::to_string(rejected.size()) + "\r\n" + history.back().first));
  }
  if (changed || !history.empty()) SaveArchive(history);
  return notices;
}

void TReserve::AppendJournal(const TReserveLine& line) {
  const std::wstring path = JournalPath();
  auto fail = [&](DWORD code) {
    return EOSError(Translate("Cannot write file \"$1\": $2", WStringToAnsi(path) + "\r\n" + SystemErrorText(code)), code);
  };
  if (!journal_) {
    journal_.Reset(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!journal_) throw fail(GetLastError());
  }
  // One write per line: a killed process leaves whole lines behind (the
  // system has them), and a torn last line is recognised at start-up.
  const std::string text = FormatReserveLine(line);
  DWORD written = 0;
  if (!WriteFile(journal_.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
    throw fail(GetLastError());
  if (written != text.size()) throw fail(ERROR_DISK_FULL);
}

void TReserve::WriteLastError(uint32_t code) {
  try {
    ReplaceFileContent(LastErrorPath(), std::to_string(code));
  } catch (const EReplaceError&) {
    // The code is a diagnostic aid; the failure itself reaches the caller.
  }
}

void TReserve::FlushJournal() {
  if (journal_) FlushFileBuffers(journal_.Get());
}

bool TReserve::HideInsteadDelete(const std::wstring& widePath, const std::string& fileName) {
  // The row's file is the one at its wide path, the path the results page
  // shows. The access path may hold short names, and a short name passes to
  // another file of the folder once the row's file is renamed or removed:
  // it serves only as the ANSI text of the folder, and only while it opens
  // this very file.
  const ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
  const DWORD attributes = widePath.empty() ? kNoAttributes : GetFileAttributesW(widePath.c_str());
  if (attributes == kNoAttributes || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    const DWORD code = attributes == kNoAttributes ? GetLastError() : ERROR_FILE_NOT_FOUND;
    WriteLastError(code ? code : ERROR_FILE_NOT_FOUND);
    return false;
  }
  const std::wstring byName = AnsiToWString(fileName);
  const bool sameFile = !fileName.empty() && TScanEnvironment().SameFile(byName, widePath);
  const std::wstring longPath = LongPathOf(widePath);
  const std::wstring digits = AnsiToWString(HiddenDigits(widePath, longPath));
  const std::wstring hidden = WideFolder(widePath) + L"\\" + digits;
  const std::wstring hiddenText = (sameFile ? WideFolder(byName) : WideFolder(widePath)) + L"\\" + digits;
  // The long path is written only where the display path cannot hold the
  // file's real name (letters the code page lacks, short names in it).
  const std::string display = WStringToAnsi(widePath);
  const bool held = AnsiToWString(display) == longPath;
  TReserveLine line{WStringToAnsi(hiddenText), display, held ? std::string() : ToUtf8(longPath), 0};
  AppendJournal(line);
  TestCrashPoint("journal");

  SetFileAttributesW(widePath.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!MoveFileExW(widePath.c_str(), hidden.c_str(), 0)) {  // never over an existing file
    const DWORD code = GetLastError();
    SetFileAttributesW(widePath.c_str(), attributes);
    WriteLastError(code);
    // A file already under the hidden name is one reserved earlier from the
    // same path: it stays hidden.
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    return false;
  }
  TestCrashPoint("rename");
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  line.size = SizeOf(hidden);
  size_ += line.size;
  lines_.push_back(std::move(line));
  TestCrashPoint("list");
  return true;
}

TReserveRun TReserve::RunOverList(const char* kind, const TProgress& progress,
                                  const std::function<bool(const TReserveLine&, std::string&)>& act) {
  const std::string before = HiddenList();
  TReserveRun run;
  std::vector<TReserveLine> kept;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (progress && !progress(i, lines_.size(), lines_[i])) {
      run.stopped = true;
      kept.insert(kept.end(), lines_.begin() + static_cast<ptrdiff_t>(i), lines_.end());
      break;
    }
    std::string failure;
    if (act(lines_[i], failure)) {
      ++run.done;
    } else {
      kept.push_back(lines_[i]);
      run.failures.push_back(failure);
    }
  }
  // The history entry bears the moment the run ended.
  const auto [day, ms] = ReserveTimeStamp();
  const bool all = kept.empty();
  lines_ = std::move(kept);
  size_ = 0;
  if (!all)
    for (const TReserveLine& line : lines_) size_ += line.size;
  SaveArchive({{HistoryEntryName(kind, day, ms), before}});
  return run;
}

namespace {

// A line whose hidden file is gone from a folder that exists is done; one
// whose folder cannot be reached is not.
bool GoneFor(const std::wstring& hidden, std::string& failure) {
  if (FolderExists(WideFolder(hidden))) return true;
  failure = Translate("The folder of \"$1\" cannot be reached", WStringToAnsi(hidden));
  return false;
}

}  // namespace

TReserveRun TReserve::Free(const TProgress& progress) {
  return RunOverList("del", progress, [](const TReserveLine& line, std::string& failure) {
    const std::wstring hidden = HiddenPathOf(line);
    if (!IsHiddenName(FileNamePart(line.hidden))) {
      failure = Translate("Not a reserved file: \"$1\"", line.hidden);
      return false;
    }
    const DWORD attributes = GetFileAttributesW(hidden.c_str());
    if (attributes == kNoAttributes) return GoneFor(hidden, failure);
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(hidden.c_str())) return true;
    const DWORD code = GetLastError();
    SetFileAttributesW(hidden.c_str(), attributes);
    failure = Translate("Unable to delete file") + " \"" + line.display + "\": " + SystemErrorText(code);
    return false;
  });
}

TReserveRun TReserve::Recover(const TProgress& progress) {
  return RunOverList("rec", progress, [](const TReserveLine& line, std::string& failure) {
    const std::wstring hidden = HiddenPathOf(line);
    const std::wstring target = RecoveredPathOf(line);
    const DWORD attributes = GetFileAttributesW(hidden.c_str());
    if (attributes == kNoAttributes) return GoneFor(hidden, failure);
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExW(hidden.c_str(), target.c_str(), 0)) return true;  // never over an existing file
    const DWORD code = GetLastError();
    SetFileAttributesW(hidden.c_str(), attributes);
    failure = Translate("Unable to recover file") + " \"" + line.display + "\": " + SystemErrorText(code);
    return false;
  });
}

void TReserve::Save() { SaveArchive({}); }

void TReserve::SaveArchive(std::vector<std::pair<std::string, std::string>> entries) {
  entries.emplace_back("data", HiddenList());
  entries.emplace_back("size", std::to_string(size_));
  const std::wstring archivePath = ArchivePath();
  std::vector<uint8_t> old;
  if (GetFileAttributesW(archivePath.c_str()) != kNoAttributes) old = ReadBytes(archivePath);
  const std::vector<uint8_t> bytes = RewriteReserveArchive(old, entries);
  WriteFileAtomic(archivePath, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  // The journal's lines are all in the archive now; it starts again as the list.
  journal_.Reset();
  WriteFileAtomic(JournalPath(), HiddenList());
}

}  // namespace kv
