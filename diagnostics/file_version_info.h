#pragma once
// The parsed version resource of a file: fixed file information, the string
// tables and the translation list. Parsing is byte-level; reading the
// resource of a file is in diag_file_utils_win.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kv {

// The fixed file information of a version resource (52 bytes, little-endian).
struct TDiagFixedFileInfo {
  uint32_t signature = 0;
  uint32_t strucVersion = 0;
  uint32_t fileVersionMS = 0;
  uint32_t fileVersionLS = 0;
  uint32_t productVersionMS = 0;
  uint32_t productVersionLS = 0;
  uint32_t fileFlagsMask = 0;
  uint32_t fileFlags = 0;
  uint32_t fileOS = 0;
  uint32_t fileType = 0;
  uint32_t fileSubtype = 0;
  uint32_t fileDateMS = 0;
  uint32_t fileDateLS = 0;
};

inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr uint32_t kFixedFileInfoSize = 52;

// Version key names by index (1 "Comments" ... 12 "PrivateBuild").
enum VersionKey : int {
  kVersionComments = 1,
  kVersionCompanyName,
  kVersionFileDescription,
  kVersionFileVersion,
  kVersionInternalName,
  kVersionLegalCopyright,
  kVersionLegalTradeMarks,
  kVersionOriginalFilename,
  kVersionProductName,
  kVersionProductVersion,
  kVersionSpecialBuild,
  kVersionPrivateBuild,
};
// The key name of a version key index; empty outside 1..12.
const char* VersionKeyName(int index);

class TDiagFileVersionInfo {
 public:
  struct Item {
    std::string text;  // "key=value"
    int table = 0;     // index of its string table
  };

  // Parses a raw version resource; throws EDiagFileVersionInfoError
  // "File contains no version information" when it is malformed.
  explicit TDiagFileVersionInfo(std::span<const uint8_t> resource);
  // Reads and parses the version resource of a file, raising as
  // ReadFileVersionInfo does (Windows only: it is defined with it).
  explicit TDiagFileVersionInfo(const std::string& fileName);

  const TDiagFixedFileInfo& FixedFileInfo() const noexcept { return fixed_; }
  uint32_t FileFlags() const noexcept { return fileFlags_; }
  // Every string item of every table, in resource order.
  const std::vector<Item>& Items() const noexcept { return items_; }
  // "key=value" lines of the selected table (table 0).
  const std::vector<std::string>& SelectedItems() const noexcept { return selected_; }
  // Language (low 16 bits) and code page (high 16 bits) of each string table.
  const std::vector<uint32_t>& LanguageCodePages() const noexcept { return languages_; }
  int SelectedTable() const noexcept { return 0; }
  const std::vector<uint32_t>& Translations() const noexcept { return translations_; }

  // "%u.%u.%u.%u" of the fixed file version.
  std::string GetBinFileVersion() const;
  // The selected table's value of the key named by index (case ignored); empty when missing.
  std::string GetVersionKeyValue(int index) const;

 private:
  class Parser;

  std::vector<uint8_t> raw_;
  TDiagFixedFileInfo fixed_;
  uint32_t fileFlags_ = 0;
  std::vector<Item> items_;
  std::vector<std::string> selected_;
  std::vector<uint32_t> languages_;
  std::vector<uint32_t> translations_;
};

}  // namespace kv
