#pragma once
// What the zip components need of the file system, behind one interface so
// that the reader and writer logic stays byte-level. Names are ANSI texts
// with "\" or "/" separators. The Windows back end (win_file_system_win.cpp)
// opens wide names and honours share modes; the native build has a
// std::filesystem back end; tests and fuzzers use TMemoryFileSystem.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zip/zip_stream.h"

namespace kv {

enum class TFileOpenMode {
  ReadDenyWrite,  // reading an archive: others may read, nobody may write
  ReadShared,     // reading an input file: others may read and write
  Create,         // a new file (replacing any), read and write, others may read
};

// A new file written beside its target that replaces the target only when
// committed. Destroyed uncommitted, it is removed and the target stays as it
// was. Writes that fail raise EZipWriteError naming the target and the cause.
class TFileReplacement : public TStream {
 public:
  // Flushes the file to the disk and moves it over the target; EZipWriteError
  // naming the target and the cause when it cannot.
  virtual void Commit() = 0;
  // Moves the commit's target to another name in the same folder (a part of
  // a multi-part set learns its name only when the set is complete).
  virtual void SetTarget(const std::string& target) = 0;
};

class TZipFileSystem {
 public:
  virtual ~TZipFileSystem() = default;
  // Opens a file; EZipFileOpenError naming the file when it cannot.
  virtual std::unique_ptr<TStream> Open(const std::string& name, TFileOpenMode mode) = 0;
  // The file's last-modification time in DOS form; nullopt when missing.
  virtual std::optional<uint32_t> FileDosDateTime(const std::string& name) = 0;
  virtual bool FileExists(const std::string& name) = 0;
  virtual bool DirExists(const std::string& name) = 0;
  // Creates the folder and every missing parent; false when it cannot.
  virtual bool ForceDirs(const std::string& path) = 0;
  virtual bool DeleteFile(const std::string& name) = 0;
  // Sets the file's time (DOS form) and, when given, its attributes.
  virtual void SetFileDateAndAttributes(const std::string& name, uint32_t dosDateTime,
                                        std::optional<uint32_t> attributes) = 0;
  // Starts replacing the target (a new, empty file in the target's folder);
  // EZipFileOpenError naming the target when it cannot. With removeStale the
  // temporary files that killed saves left in that folder go first (a caller
  // writing many files into one folder asks for it once).
  virtual std::unique_ptr<TFileReplacement> BeginReplace(const std::string& target, bool removeStale) = 0;
  // Gives a file another name in the same folder; never replaces: to must
  // not exist. EZipWriteError naming both and the cause when it cannot (a
  // file open without delete sharing, for one).
  virtual void RenameFile(const std::string& from, const std::string& to) = 0;

  // What multi-part sets need of drives; root is "X:\". The defaults
  // describe a fixed drive of unknown size without a label.
  virtual bool IsRemovableDrive(const std::string& /*root*/) { return false; }
  // Free bytes on the drive that holds path; nullopt when unknown.
  virtual std::optional<uint64_t> FreeSpace(const std::string& /*path*/) { return std::nullopt; }
  virtual std::string VolumeLabel(const std::string& /*root*/) { return {}; }
  // The folder for temporary files off the archive's drive; empty: none.
  virtual std::string TempFolder() { return {}; }
  // False when the label cannot be set.
  virtual bool SetVolumeLabel(const std::string& /*root*/, const std::string& /*label*/) { return false; }

  // The names of the folders directly inside folder ("." and ".." left
  // out), in no particular order; empty when there are none or the folder
  // cannot be read.
  virtual std::vector<std::string> SubFolders(const std::string& folder) = 0;
  // The current folder of drive 'A'..'Z', or of the current drive for 0.
  virtual std::string CurrentFolder(char drive) = 0;
};

// The process's file system: Win32 on Windows, std::filesystem elsewhere.
TZipFileSystem& DefaultZipFileSystem();

// Files in memory, by exact name (separators normalised to "\").
class TMemoryFileSystem : public TZipFileSystem {
 public:
  std::unique_ptr<TStream> Open(const std::string& name, TFileOpenMode mode) override;
  std::optional<uint32_t> FileDosDateTime(const std::string& name) override;
  bool FileExists(const std::string& name) override;
  bool DirExists(const std::string& name) override;
  bool ForceDirs(const std::string& path) override;
  bool DeleteFile(const std::string& name) override;
  void SetFileDateAndAttributes(const std::string& name, uint32_t dosDateTime,
                                std::optional<uint32_t> attributes) override;
  // The new content lies in a temporary file "zipN.tmp" of the target's
  // folder until committed.
  std::unique_ptr<TFileReplacement> BeginReplace(const std::string& target, bool removeStale) override;
  // Moves source over target (the commit of a replacement, and every
  // rename): tests override it to fail chosen moves.
  virtual void ReplaceFile(const std::string& source, const std::string& target);
  void RenameFile(const std::string& from, const std::string& to) override;

  struct File {
    std::shared_ptr<std::vector<uint8_t>> bytes = std::make_shared<std::vector<uint8_t>>();
    uint32_t dosDateTime = 0;
    std::optional<uint32_t> attributes;
  };
  // A drive as the multi-part code sees it; every drive not set is fixed,
  // of unknown size, without a label.
  struct Drive {
    bool removable = false;
    std::optional<uint64_t> freeSpace;  // of the medium when empty: its files take from it
    std::string label;
  };
  bool IsRemovableDrive(const std::string& root) override;
  std::optional<uint64_t> FreeSpace(const std::string& path) override;
  std::string VolumeLabel(const std::string& root) override;
  bool SetVolumeLabel(const std::string& root, const std::string& label) override;
  void SetDrive(char letter, Drive drive);
  // Folders are those made with ForceDirs and those that hold files.
  std::vector<std::string> SubFolders(const std::string& folder) override;
  // The root "X:\" of the drive; the current drive is C.
  std::string CurrentFolder(char drive) override;
  std::string TempFolder() override { return "C:\\TEMP"; }
  // Changes the medium in a removable drive: the files under "X:\" go
  // with the medium taken out and come back when it is inserted again;
  // each medium keeps its own label and free space. A file opened on a
  // medium refuses reads and writes while another medium is in the drive,
  // as files on real media do.
  void InsertDisk(char letter, int medium);
  // True while the medium is in the drive (any medium of a drive never swapped).
  bool MediumInserted(char letter, int medium) const;

  // Adds or replaces a file.
  void Put(const std::string& name, std::vector<uint8_t> bytes, uint32_t dosDateTime = 0);
  const std::map<std::string, File>& Files() const { return files_; }
  const std::vector<std::string>& Dirs() const { return dirs_; }

 private:
  static std::string Normal(std::string name);
  std::map<std::string, File> files_;
  std::vector<std::string> dirs_;
  int tempCounter_ = 0;
  struct Medium {
    Drive drive;
    std::map<std::string, File> files;
  };
  std::map<char, Drive> drives_;
  std::map<char, int> inserted_;                  // the medium in each drive
  std::map<std::pair<char, int>, Medium> shelf_;  // media taken out
  Drive* DriveOf(const std::string& path);
};

}  // namespace kv

namespace kv {

// A buffered stream over a file of the given file system (archives are read
// and written through it).
class TLFNFileStream : public TS_BufferStream {
 public:
  TLFNFileStream(TZipFileSystem& fs, const std::string& name, TFileOpenMode mode)
      : TS_BufferStream(fs.Open(name, mode)), name_(name) {}
  const std::string& FileName() const { return name_; }
  // The handle of the file (null where the file system has none).
  void* GetHandle() { return Wrapped().Handle(); }

 private:
  std::string name_;
};

}  // namespace kv
