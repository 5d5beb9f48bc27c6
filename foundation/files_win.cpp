#include "foundation/files_win.h"

#include <vector>

#include "base/ansi_text_win.h"
#include "base/file_utils_win.h"
#include "base/handle.h"
#include "base/strings.h"
#include "foundation/log.h"
#include "foundation/translate.h"

namespace kv {
namespace {

struct AppFolder {
  std::wstring wide;
  std::string ansi;
};

AppFolder& Folder() {
  static AppFolder folder;  // the process-wide program folder
  return folder;
}

[[noreturn]] void ThrowFileError(std::string_view text, const std::wstring& path, DWORD code) {
  throw EOSError(Translate(text, WStringToAnsi(path) + "\r\n" + SystemErrorText(code)), code);
}

// Removes the temporary file unless the move consumed it.
class TempFile {
 public:
  explicit TempFile(std::wstring path) : path_(std::move(path)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  const std::wstring& Path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::wstring path_;
};

}  // namespace

const std::string& AppDir() { return Folder().ansi; }
const std::wstring& AppDirW() { return Folder().wide; }

void SetAppDir(const std::wstring& folder) {
  std::wstring f = folder;
  while (f.size() > 3 && (f.back() == L'\\' || f.back() == L'/')) f.pop_back();
  Folder().wide = f;
  Folder().ansi = WStringToAnsi(f);
}

void SetAppDirFromExecutable() {
  std::vector<wchar_t> buffer(MAX_PATH);
  while (true) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return;
    if (n < buffer.size()) {
      std::wstring path(buffer.data(), n);
      SetAppDir(path.substr(0, path.find_last_of(L"\\/")));
      return;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string AppFile(std::string_view name) { return AppDir() + "\\" + std::string(name); }

void WriteFileAtomic(const std::wstring& path, std::string_view bytes) {
  const size_t slash = path.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash);
  wchar_t tempName[MAX_PATH + 1];
  if (GetTempFileNameW(folder.c_str(), L"kv", 0, tempName) == 0) {
    ThrowFileError("Cannot create file \"$1\". $2", path, GetLastError());
  }
  TempFile temp(tempName);
  {
    const FileHandle file(CreateFileW(temp.Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowFileError("Cannot create file \"$1\". $2", path, GetLastError());
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
      DWORD written = 0;
      if (!WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr) || written != chunk) {
        const DWORD code = GetLastError();
        ThrowFileError("Cannot write file \"$1\". $2", path, code ? code : ERROR_DISK_FULL);
      }
      done += written;
    }
    if (!FlushFileBuffers(file.Get())) ThrowFileError("Cannot write file \"$1\". $2", path, GetLastError());
  }
  if (!MoveFileExW(temp.Path().c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ThrowFileError("Cannot create file \"$1\". $2", path, GetLastError());
  }
  temp.Keep();
}

void StrToFile(std::string_view text, const std::string& fileName) {
  WriteFileAtomic(AnsiToWString(fileName), text);
}

std::string StrFromFileW(const std::wstring& fileName) {
  const FileHandle file(CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > std::string().max_size() / 2) {
    return {};
  }
  std::string text;
  try {
    text.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return {};
  }
  size_t done = 0;
  while (done < text.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
    DWORD read = 0;
    if (!ReadFile(file.Get(), text.data() + done, chunk, &read, nullptr)) return {};
    if (read == 0) break;  // the file shrank meanwhile
    done += read;
  }
  text.resize(done);
  return text;
}

std::string StrFromFile(const std::string& fileName) {
  if (!FileExists(fileName)) return {};
  return StrFromFileW(AnsiToWString(fileName));
}

bool MakePath(const std::string& root, const std::string& path, bool exceptLast) {
  std::string current = root;
  std::string rest = path;
  for (char& c : rest) {
    if (c == '/') c = '\\';
  }
  // A UNC path keeps \\server\share as its root instead of creating folders
  // named after the server below the current directory.
  if (current.empty() && rest.rfind("\\\\", 0) == 0) {
    const size_t server = rest.find('\\', 2);
    const size_t share = server == std::string::npos ? std::string::npos : rest.find('\\', server + 1);
    current = rest.substr(0, share);
    rest = share == std::string::npos ? std::string() : rest.substr(share + 1);
  }
  std::string part, next;
  while (!rest.empty()) {
    SeparFirst(rest, "\\", part, next);
    rest = next;
    if (exceptLast && rest.empty()) break;
    current = current.empty() ? part : current + "\\" + part;
    if (part.empty()) continue;
    if (!DirectoryExists(current) && !CreateDirectoryA(current.c_str(), nullptr)) return false;
  }
  return true;
}

uint32_t GetFileSize(const std::string& fileName) {
  WIN32_FIND_DATAA data;
  const FindHandle find(FindFirstFileA(fileName.c_str(), &data));
  return find ? data.nFileSizeLow : 0;
}

void SaveLog() { StrToFile(LogText(), AppFile("tmp.log")); }

std::string SystemErrorText(DWORD code) {
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n ? std::string(buffer, n) : "System error " + std::to_string(code) + ".";
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace kv
