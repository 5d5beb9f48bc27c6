#include "base/file_replacement_win.h"

#include <algorithm>
#include <cwctype>

#include "base/ansi_text_win.h"

namespace kv {
namespace {

constexpr DWORD kChunk = 1u << 20;
constexpr size_t kTempDigits = 8;
constexpr int kNameAttempts = 64;

ReplaceCalls& SystemCalls() {
  static ReplaceCalls calls;  // stateless
  return calls;
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : L".";
  if (slash == 2 && path[1] == L':') return path.substr(0, 3);  // "C:\"
  return path.substr(0, slash);
}

std::wstring InFolder(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
  return folder + L"\\" + name;
}

// "~kv" + 8 hexadecimal digits + ".tmp", letter case ignored.
bool IsTempName(std::wstring_view name) {
  constexpr std::wstring_view prefix = kTempPrefix;
  constexpr std::wstring_view suffix = L".tmp";
  if (name.size() != prefix.size() + kTempDigits + suffix.size()) return false;
  auto sameText = [](std::wstring_view a, std::wstring_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
  };
  if (!sameText(name.substr(0, prefix.size()), prefix) || !sameText(name.substr(name.size() - suffix.size()), suffix)) {
    return false;
  }
  const std::wstring_view digits = name.substr(prefix.size(), kTempDigits);
  return std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return std::iswxdigit(c) != 0; });
}

std::wstring TempName(DWORD value) {
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring name = kTempPrefix;
  for (int shift = 28; shift >= 0; shift -= 4) name.push_back(kHex[(value >> shift) & 15]);
  return name + L".tmp";
}

bool IsReadOnly(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// The template with "$1" and "$2" replaced by the first and second line of params.
std::string FillIn(std::string_view textTemplate, std::string_view params) {
  const size_t cut = params.find("\r\n");
  const std::string_view first = params.substr(0, cut);
  const std::string_view second = cut == std::string_view::npos ? std::string_view() : params.substr(cut + 2);
  std::string out;
  for (size_t i = 0; i < textTemplate.size(); ++i) {
    if (textTemplate[i] == '$' && i + 1 < textTemplate.size() && (textTemplate[i + 1] == '1' || textTemplate[i + 1] == '2')) {
      out += textTemplate[++i] == '1' ? first : second;
    } else {
      out += textTemplate[i];
    }
  }
  return out;
}

}  // namespace

EReplaceError::EReplaceError(std::string_view textTemplate, const std::wstring& target, DWORD code)
    : EReplaceError(std::string(textTemplate), WStringToAnsi(target) + "\r\n" + SystemErrorText(code), code) {}

EReplaceError::EReplaceError(std::string textTemplate, std::string params, DWORD code)
    : std::runtime_error(FillIn(textTemplate, params)), template_(std::move(textTemplate)),
      params_(std::move(params)), code_(code) {}

BOOL ReplaceCalls::Write(HANDLE file, const void* data, DWORD size, DWORD* written) {
  return WriteFile(file, data, size, written, nullptr);
}
BOOL ReplaceCalls::Flush(HANDLE file) { return FlushFileBuffers(file); }
BOOL ReplaceCalls::Move(const wchar_t* from, const wchar_t* to, DWORD flags) { return MoveFileExW(from, to, flags); }

FileReplacement::FileReplacement(std::wstring target, ReplaceCalls* calls, StaleTempFiles stale)
    : target_(std::move(target)), calls_(calls ? calls : &SystemCalls()) {
  const std::wstring folder = FolderOf(target_);
  if (stale == StaleTempFiles::Remove) RemoveStaleTempFiles(folder);
  // Windows refuses to move over a read-only file; Wine does not. Refusing
  // here first makes both the same, before any byte is written.
  if (IsReadOnly(target_)) throw EReplaceError("Cannot create file \"$1\". $2", target_, ERROR_ACCESS_DENIED);
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  DWORD value = static_cast<DWORD>(counter.QuadPart) ^ (GetCurrentProcessId() * 2654435761u) ^ GetCurrentThreadId();
  for (int attempt = 0; attempt < kNameAttempts; ++attempt, value += 0x9E3779B9u) {
    const std::wstring temp = InFolder(folder, TempName(value));
    file_.Reset(CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_) {
      temp_ = temp;
      return;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      throw EReplaceError("Cannot create file \"$1\". $2", target_, code);
    }
  }
  throw EReplaceError("Cannot create file \"$1\". $2", target_, ERROR_FILE_EXISTS);
}

FileReplacement::~FileReplacement() {
  if (done_) return;
  file_.Reset();
  DeleteFileW(temp_.c_str());
}

void FileReplacement::Write(const void* data, size_t size) {
  if (done_) throw EReplaceError("Cannot write file \"$1\". $2", target_, ERROR_INVALID_HANDLE);
  const auto* bytes = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, kChunk));
    DWORD written = 0;
    if (!calls_->Write(file_.Get(), bytes + done, chunk, &written)) {
      const DWORD code = GetLastError();
      throw EReplaceError("Cannot write file \"$1\". $2", target_, code ? code : ERROR_WRITE_FAULT);
    }
    // A write that reports success but takes fewer bytes has hit a full
    // disk; the thread's last error is stale then and must not be read.
    if (written != chunk) throw EReplaceError("Cannot write file \"$1\". $2", target_, ERROR_DISK_FULL);
    done += written;
  }
}

void FileReplacement::Close() {
  if (done_) throw EReplaceError("Cannot write file \"$1\". $2", target_, ERROR_INVALID_HANDLE);
  if (!calls_->Flush(file_.Get())) {
    const DWORD code = GetLastError();
    throw EReplaceError("Cannot write file \"$1\". $2", target_, code ? code : ERROR_WRITE_FAULT);
  }
  file_.Reset();
}

bool FileReplacement::Move(DWORD flags) {
  if (IsReadOnly(target_)) throw EReplaceError("Cannot create file \"$1\". $2", target_, ERROR_ACCESS_DENIED);
  if (calls_->Move(temp_.c_str(), target_.c_str(), flags | MOVEFILE_WRITE_THROUGH)) {
    done_ = true;
    return true;
  }
  const DWORD code = GetLastError();
  if ((flags & MOVEFILE_REPLACE_EXISTING) == 0 && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)) {
    DeleteFileW(temp_.c_str());
    done_ = true;
    return false;
  }
  throw EReplaceError("Cannot create file \"$1\". $2", target_, code ? code : ERROR_WRITE_FAULT);
}

void FileReplacement::Commit() {
  Close();
  Move(MOVEFILE_REPLACE_EXISTING);
}

bool FileReplacement::CommitNew() {
  Close();
  return Move(0);
}

void ReplaceFileContent(const std::wstring& target, std::string_view bytes, ReplaceCalls* calls) {
  FileReplacement file(target, calls);
  file.Write(bytes);
  file.Commit();
}

void RemoveStaleTempFiles(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  const FindHandle find(FindFirstFileW(InFolder(folder, std::wstring(kTempPrefix) + L"*.tmp").c_str(), &data));
  if (!find) return;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !IsTempName(data.cFileName)) continue;
    // Opening for deletion without sharing fails while any process holds the
    // file open (a save in progress shares it with nobody); otherwise the
    // file goes when the handle closes.
    const FileHandle stale(CreateFileW(InFolder(folder, data.cFileName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  } while (FindNextFileW(find.Get(), &data));
}


}  // namespace kv
