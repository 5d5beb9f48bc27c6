#include "foundation/files_win.h"

#include <vector>

#include "base/ansi_text_win.h"
#include "base/file_replacement_win.h"
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

EOSError TranslatedError(const EReplaceError& error) {
  return EOSError(Translate(error.Template(), error.Params()), error.Code());
}

void WriteFileAtomic(const std::wstring& path, std::string_view bytes) {
  try {
    ReplaceFileContent(path, bytes);
  } catch (const EReplaceError& e) {
    throw TranslatedError(e);
  }
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
  // Rooted without a drive ("\a\b"): the folders go on the current drive's
  // root, not below the current directory.
  const bool rooted = current.empty() && !rest.empty() && rest[0] == '\\';
  if (rooted) rest.erase(0, 1);
  std::string part, next;
  while (!rest.empty()) {
    SeparFirst(rest, "\\", part, next);
    rest = next;
    if (exceptLast && rest.empty()) break;
    current = !current.empty() ? current + "\\" + part : rooted ? "\\" + part : part;
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

}  // namespace kv
