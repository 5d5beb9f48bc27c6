#pragma once
// The system side of reading a music file: existence tests without error
// boxes, files opened by wide name, folder listings for the disk scan, and
// the "Session" flags written to the settings.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/audio_informer.h"

namespace kv {

// Reads files by their ANSI access paths.
class TWin32AudioEnvironment : public TAudioReadEnvironment {
 public:
  bool FileExists(const std::string& accessPath) override;
  std::unique_ptr<ByteSource> Open(const std::string& accessPath) override;
  void SetSessionFlag(std::string_view key) override;
};

// One entry of a folder listing.
struct TScanEntry {
  std::wstring name;
  std::wstring shortName;  // the 8.3 name; empty when the entry has none
  uint32_t attributes = 0;
  uint32_t reparseTag = 0;  // for entries with the reparse-point attribute
};

// What the disk scan asks of the system. The file being added is opened by
// its wide long path: its ANSI access path is kept for the record only.
class TScanEnvironment : public TWin32AudioEnvironment {
 public:
  // The folder's entries ("." and ".." included) in the system's order;
  // empty when it cannot be listed.
  virtual std::vector<TScanEntry> ListFolder(const std::wstring& folder);
  // True when both paths open the same existing file.
  virtual bool SameFile(const std::wstring& a, const std::wstring& b);
  // The kind of drive at the root ("C:\\"): a DRIVE_* value of GetDriveTypeW.
  virtual uint32_t DriveType(const std::wstring& root);

  // The next reads of `accessPath` go to the file at `longPath`.
  void SetCurrentFile(std::wstring longPath, std::string accessPath);
  bool FileExists(const std::string& accessPath) override;
  std::unique_ptr<ByteSource> Open(const std::string& accessPath) override;

 protected:
  const std::wstring& CurrentLongPath() const { return longPath_; }

 private:
  std::wstring longPath_;
  std::string accessPath_;
};

// The short (8.3) form of an existing path; empty when it has none. The
// system's answer by default; a replacement (set at start-up or by a test)
// answers for every short name the program asks for, the folder listings of
// the scan included: one answering empty stands for a volume without short
// names, as many are.
using TShortPathLookup = std::function<std::wstring(const std::wstring& path)>;
void SetShortPathLookup(TShortPathLookup lookup);  // empty: the system's again
std::wstring ShortPathOf(const std::wstring& path);

// Where "Session" flags go (the settings store sets this at start-up; tests record them).
using TSessionFlagWriter = std::function<void(std::string_view key)>;
void SetSessionFlagWriter(TSessionFlagWriter writer);

}  // namespace kv
