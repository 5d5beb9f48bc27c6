#pragma once
// Bases of the explorer controls' persistent objects: a stream version and the
// stream and file entry points. Descendants call the inherited stream
// operation first, then read or write their own data. The file entry points
// (LoadFromFile, SaveToFile) are defined in streamable_win.cpp; the host build
// answers them with an error.
#include <cstdint>
#include <string>

namespace kv {

class TStream;

// Reads and writes the optional leading version.
class TStreamVersion {
 public:
  int32_t StreamVersion() const { return version_; }
  // With `readVersion` the version is the stream's next 4 bytes (little-endian), else `version`.
  void LoadVersion(TStream& stream, int32_t version, bool readVersion);
  // With `writeVersion` the version goes out as 4 bytes; it becomes StreamVersion either way.
  void SaveVersion(TStream& stream, int32_t version, bool writeVersion);

 private:
  int32_t version_ = -1;
};

class TStreamableClass {
 public:
  virtual ~TStreamableClass() = default;
  int32_t StreamVersion() const { return version_.StreamVersion(); }
  // Opens with exclusive sharing; file errors are the file stream's.
  virtual void LoadFromFile(const std::wstring& fileName, int32_t version = 0, bool readVerFromStream = false);
  virtual void LoadFromStream(TStream& stream, int32_t version = 0, bool readVerFromStream = false);
  virtual void SaveToFile(const std::wstring& fileName, int32_t version = 0, bool writeVerToStream = false);
  virtual void SaveToStream(TStream& stream, int32_t version = 0, bool writeVerToStream = false);

 private:
  TStreamVersion version_;
};

class TStreamableList {
 public:
  virtual ~TStreamableList() = default;
  int32_t StreamVersion() const { return version_.StreamVersion(); }
  // Empties the list's items (descendants free what they own).
  virtual void Clear() {}
  virtual void LoadFromFile(const std::wstring& fileName, int32_t version = 0, bool readVerFromStream = false);
  // Clears the list first.
  virtual void LoadFromStream(TStream& stream, int32_t version = 0, bool readVerFromStream = false);
  virtual void SaveToFile(const std::wstring& fileName, int32_t version = 0, bool writeVerToStream = false);
  virtual void SaveToStream(TStream& stream, int32_t version = 0, bool writeVerToStream = false);

 private:
  TStreamVersion version_;
};

}  // namespace kv
