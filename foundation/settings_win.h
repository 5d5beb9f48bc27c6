#pragma once
// The settings file on disk and the program's one access object over it.
// User-interface thread only.
#include <memory>
#include <string>
#include <string_view>

#include "foundation/settings.h"

namespace kv {

// The largest settings file that is read, and written: a larger one is
// refused with an EOSError naming the limit (and never replaced), and a save
// that would pass it raises one and keeps the file as it was.
inline constexpr long long kMaxSettingsFileSize = 4ll << 20;

// The executable's path with its extension replaced by ".conf.xml".
std::wstring SettingsFileName();

// Loads the settings file. A file that truly does not exist is made from the
// template (written at once, as a new file, when autoSave is set); an
// existing file is never replaced here. EParseError for a malformed file,
// EOSError for one that exists but cannot be read or a new one that cannot
// be created. Saving (UpdateFile) replaces the file atomically.
std::unique_ptr<TXMLConfig> LoadXMLConfig(const std::wstring& fileName, bool autoSave);

class TConfiger {
 public:
  // Over SettingsFileName().
  TConfiger();
  // Loads (or creates) the file with AutoSave set, then loads the language
  // table named by Options / General.LangFile when none exists yet.
  explicit TConfiger(const std::wstring& fileName);

  // The value, or empty when the key is missing.
  std::string GetVal(std::string_view section, std::string_view key);
  void SetVal(std::string_view section, std::string_view key, std::string_view value);
  // A number other than 0; false when missing or not a number.
  bool GetFlag(std::string_view section, std::string_view key);
  void SetFlag(std::string_view section, std::string_view key, bool value);

  TXMLConfig& Ini() { return *ini_; }

 private:
  std::unique_ptr<TXMLConfig> ini_;
};

// The process-wide store: null before start-up and after FreeConfiger.
TConfiger* Configer();
// Creates the store (over SettingsFileName() unless a file is named) when it
// is missing; on failure it stays missing and the error passes on.
TConfiger& CreateConfiger();
TConfiger& CreateConfiger(const std::wstring& fileName);
// Writes the settings file back in full, then frees the store. The store is
// freed even when the write fails; the error passes on.
void FreeConfiger();

}  // namespace kv
