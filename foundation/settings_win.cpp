#include "foundation/settings_win.h"

#include <windows.h>

#include <vector>

#include "base/ansi_text_win.h"
#include "base/file_replacement_win.h"
#include "base/handle.h"
#include "foundation/files_win.h"
#include "foundation/translate.h"

namespace kv {
namespace {

std::unique_ptr<TConfiger>& ConfigerSlot() {
  static std::unique_ptr<TConfiger> configer;  // the process-wide store
  return configer;
}

[[noreturn]] void ThrowFileError(std::string_view text, const std::wstring& path, DWORD code) {
  throw EOSError(Translate(text, WStringToAnsi(path) + "\r\n" + SystemErrorText(code)), code);
}

std::wstring ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  while (true) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) ThrowFileError("Cannot open file \"$1\". $2", L"", GetLastError());
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

// The whole file; false when it does not exist. Any other failure raises, so
// that an unreadable file is never mistaken for a missing one.
bool ReadExisting(const std::wstring& path, std::string& text) {
  const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return false;
    ThrowFileError("Cannot open file \"$1\". $2", path, code);
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size)) ThrowFileError("Cannot read file \"$1\". $2", path, GetLastError());
  if (size.QuadPart > kMaxSettingsFileSize) {
    throw EOSError(Translate("The settings file \"$1\" is larger than $2 bytes",
                             WStringToAnsi(path) + "\r\n" + std::to_string(kMaxSettingsFileSize)),
                   ERROR_FILE_TOO_LARGE);
  }
  text.assign(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < text.size()) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), text.data() + done, static_cast<DWORD>(text.size() - done), &got, nullptr)) {
      ThrowFileError("Cannot read file \"$1\". $2", path, GetLastError());
    }
    if (got == 0) break;
    done += got;
  }
  text.resize(done);
  return true;
}

// Puts a new file in place atomically, never over an existing one: false
// when the file appeared meanwhile.
bool CreateNewFile(const std::wstring& path, std::string_view text) {
  try {
    FileReplacement file(path);
    file.Write(text);
    return file.CommitNew();
  } catch (const EReplaceError& e) {
    throw TranslatedError(e);
  }
}

std::string NewFileInfo() {
  std::wstring name = ExecutablePath();
  name = name.substr(name.find_last_of(L"\\/") + 1);
  const size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return WStringToAnsi(name) + " config file";
}

}  // namespace

std::wstring SettingsFileName() {
  std::wstring path = ExecutablePath();
  const size_t slash = path.find_last_of(L"\\/");
  const size_t dot = path.find_last_of(L'.');
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
  return path + L".conf.xml";
}

std::unique_ptr<TXMLConfig> LoadXMLConfig(const std::wstring& fileName, bool autoSave) {
  std::string text;
  // A file that another process creates between the two steps is read, not overwritten.
  for (int round = 0;; ++round) {
    if (ReadExisting(fileName, text)) break;
    text = NewSettingsText(NewFileInfo());
    if (!autoSave || CreateNewFile(fileName, text)) break;
    if (round == 2) ThrowFileError("Cannot create file \"$1\". $2", fileName, ERROR_FILE_EXISTS);
  }
  // A text the next start would refuse is not written: the file keeps its
  // last readable state. The store writes the long tag forms and indents, so
  // a file read in the short forms may come back at twice its size.
  auto writer = [fileName](const std::string&, std::string_view bytes) {
    if (bytes.size() > static_cast<size_t>(kMaxSettingsFileSize)) {
      throw EOSError(Translate("The settings take $2 bytes, more than the $3 bytes a settings file may have; "
                               "\"$1\" was kept as it was",
                               WStringToAnsi(fileName) + "\r\n" + std::to_string(bytes.size()) + "\r\n" +
                                   std::to_string(kMaxSettingsFileSize)),
                     ERROR_FILE_TOO_LARGE);
    }
    WriteFileAtomic(fileName, bytes);
  };
  return std::make_unique<TXMLConfig>(WStringToAnsi(fileName), std::move(text), autoSave, writer);
}

TConfiger::TConfiger() : TConfiger(SettingsFileName()) {}

TConfiger::TConfiger(const std::wstring& fileName) : ini_(LoadXMLConfig(fileName, true)) {
  if (Language() == nullptr) {
    std::string name = ini_->ReadString("Options", "General.LangFile", "");
    if (name.empty()) name = "default.lng";
    SetLanguage(std::make_unique<TLanguage>(AppDir() + "\\" + name));
  }
}

std::string TConfiger::GetVal(std::string_view section, std::string_view key) {
  return ini_->ReadString(section, key, "");
}

void TConfiger::SetVal(std::string_view section, std::string_view key, std::string_view value) {
  ini_->WriteString(section, key, value);
}

bool TConfiger::GetFlag(std::string_view section, std::string_view key) { return ini_->ReadBool(section, key, false); }

void TConfiger::SetFlag(std::string_view section, std::string_view key, bool value) {
  ini_->WriteBool(section, key, value);
}

TConfiger* Configer() { return ConfigerSlot().get(); }

TConfiger& CreateConfiger() { return CreateConfiger(SettingsFileName()); }

TConfiger& CreateConfiger(const std::wstring& fileName) {
  if (!ConfigerSlot()) ConfigerSlot() = std::make_unique<TConfiger>(fileName);
  return *ConfigerSlot();
}

void FreeConfiger() {
  const std::unique_ptr<TConfiger> configer = std::move(ConfigerSlot());
  if (configer) configer->Ini().UpdateFile();
}

}  // namespace kv
