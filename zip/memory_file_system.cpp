#include <algorithm>
#include <cctype>
#include <cstring>

#include "zip/zip_errors.h"
#include "zip/zip_file_system.h"
#include "zip/zip_support.h"

namespace kv {

namespace {

// A stream over a shared byte vector, so that the file outlives the stream
// and a later Open sees what was written.
class SharedBytesStream : public TStream {
 public:
  // A file on a removable drive is bound to the medium it was opened on.
  struct Medium {
    const TMemoryFileSystem* fs = nullptr;
    char letter = 0;
    int id = 0;
  };
  SharedBytesStream(std::shared_ptr<std::vector<uint8_t>> bytes, Medium medium)
      : bytes_(std::move(bytes)), medium_(medium) {}
  int64_t Read(void* buffer, int64_t count) override {
    CheckMedium();
    const auto size = static_cast<int64_t>(bytes_->size());
    if (count <= 0 || pos_ >= size) return 0;
    const int64_t n = std::min(count, size - pos_);
    std::memcpy(buffer, bytes_->data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    CheckMedium();
    if (count <= 0) return 0;
    if (pos_ + count > static_cast<int64_t>(bytes_->size())) bytes_->resize(static_cast<size_t>(pos_ + count));
    std::memcpy(bytes_->data() + pos_, buffer, static_cast<size_t>(count));
    pos_ += count;
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    int64_t pos = offset;
    if (origin == TSeekOrigin::Current) pos += pos_;
    if (origin == TSeekOrigin::End) pos += static_cast<int64_t>(bytes_->size());
    if (pos < 0) throw EZipStreamError(StreamMessage(kStrSeekError));
    return pos_ = pos;
  }
  int64_t Size() override { return static_cast<int64_t>(bytes_->size()); }
  void SetSize(int64_t size) override {
    CheckMedium();
    bytes_->resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
  }

 private:
  void CheckMedium() const {
    if (medium_.fs != nullptr && !medium_.fs->MediumInserted(medium_.letter, medium_.id)) {
      throw EZipWriteError(std::string("The disk in drive ") + medium_.letter + ": was changed while a file on it was open");
    }
  }
  std::shared_ptr<std::vector<uint8_t>> bytes_;
  Medium medium_;
  int64_t pos_ = 0;
};

}  // namespace

std::string TMemoryFileSystem::Normal(std::string name) {
  UnixToDOSFilename(name);
  while (name.size() > 1 && name.back() == '\\') name.pop_back();
  return name;
}

void TMemoryFileSystem::Put(const std::string& name, std::vector<uint8_t> bytes, uint32_t dosDateTime) {
  File f;
  *f.bytes = std::move(bytes);
  f.dosDateTime = dosDateTime;
  files_[Normal(name)] = std::move(f);
}

std::unique_ptr<TStream> TMemoryFileSystem::Open(const std::string& name, TFileOpenMode mode) {
  const std::string key = Normal(name);
  if (mode == TFileOpenMode::Create) {
    files_[key] = File{};
  } else if (!files_.count(key)) {
    throw EZipFileOpenError("Cannot open file \"" + name + "\"");
  }
  SharedBytesStream::Medium medium;
  if (key.size() >= 2 && key[1] == ':') {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
    if (const auto it = inserted_.find(letter); it != inserted_.end()) medium = {this, letter, it->second};
  }
  return std::make_unique<SharedBytesStream>(files_[key].bytes, medium);
}

bool TMemoryFileSystem::MediumInserted(char letter, int medium) const {
  const auto it = inserted_.find(letter);
  return it == inserted_.end() || it->second == medium;
}

std::optional<uint32_t> TMemoryFileSystem::FileDosDateTime(const std::string& name) {
  const auto it = files_.find(Normal(name));
  if (it == files_.end()) return std::nullopt;
  return it->second.dosDateTime;
}

bool TMemoryFileSystem::FileExists(const std::string& name) { return files_.count(Normal(name)) > 0; }

bool TMemoryFileSystem::DirExists(const std::string& name) {
  return std::find(dirs_.begin(), dirs_.end(), Normal(name)) != dirs_.end();
}

bool TMemoryFileSystem::ForceDirs(const std::string& path) {
  const std::string p = Normal(path);
  if (!DirExists(p)) dirs_.push_back(p);
  return true;
}

std::vector<std::string> TMemoryFileSystem::SubFolders(const std::string& folder) {
  const std::string prefix = Normal(folder) + "\\";
  std::vector<std::string> out;
  // The first component below folder, of a folder's name or of a file's
  // folder; the parents of a folder made with ForceDirs exist too.
  const auto take = [&](const std::string& name, bool isFolder) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return;
    const size_t cut = name.find('\\', prefix.size());
    if (cut == std::string::npos && !isFolder) return;
    std::string sub = name.substr(prefix.size(), cut == std::string::npos ? std::string::npos : cut - prefix.size());
    if (!sub.empty() && std::find(out.begin(), out.end(), sub) == out.end()) out.push_back(std::move(sub));
  };
  for (const std::string& d : dirs_) take(d, true);
  for (const auto& [name, file] : files_) take(name, false);
  return out;
}

std::string TMemoryFileSystem::CurrentFolder(char drive) {
  const char letter = drive == 0 ? 'C' : static_cast<char>(std::toupper(static_cast<unsigned char>(drive)));
  return std::string(1, letter) + ":\\";
}

bool TMemoryFileSystem::DeleteFile(const std::string& name) { return files_.erase(Normal(name)) > 0; }

void TMemoryFileSystem::SetFileDateAndAttributes(const std::string& name, uint32_t dosDateTime,
                                                 std::optional<uint32_t> attributes) {
  const auto it = files_.find(Normal(name));
  if (it == files_.end()) return;
  it->second.dosDateTime = dosDateTime;
  if (attributes) it->second.attributes = attributes;
}

namespace {

// The new content in a file of its own until the commit moves it over the target.
class MemoryReplacement : public TFileReplacement {
 public:
  MemoryReplacement(TMemoryFileSystem& fs, std::string temp, std::string target)
      : fs_(fs), temp_(std::move(temp)), target_(std::move(target)), inner_(fs.Open(temp_, TFileOpenMode::Create)) {}
  ~MemoryReplacement() override {
    if (inner_) {
      inner_.reset();
      fs_.DeleteFile(temp_);
    }
  }
  int64_t Read(void* b, int64_t n) override { return inner_->Read(b, n); }
  int64_t Write(const void* b, int64_t n) override { return inner_->Write(b, n); }
  int64_t Seek(int64_t o, TSeekOrigin w) override { return inner_->Seek(o, w); }
  int64_t Size() override { return inner_->Size(); }
  void SetSize(int64_t size) override { inner_->SetSize(size); }
  void Flush() override { inner_->Flush(); }
  void Commit() override {
    inner_->Flush();
    fs_.ReplaceFile(temp_, target_);
    inner_.reset();
  }
  void SetTarget(const std::string& target) override { target_ = target; }

 private:
  TMemoryFileSystem& fs_;
  std::string temp_, target_;
  std::unique_ptr<TStream> inner_;
};

}  // namespace

std::unique_ptr<TFileReplacement> TMemoryFileSystem::BeginReplace(const std::string& target, bool) {
  const std::string t = Normal(target);
  const size_t cut = t.find_last_of('\\');
  const std::string folder = cut == std::string::npos ? std::string(".") : t.substr(0, cut);
  std::string name;
  do {
    name = folder + "\\zip" + std::to_string(++tempCounter_) + ".tmp";
  } while (FileExists(name));
  files_[name] = File{};
  return std::make_unique<MemoryReplacement>(*this, name, t);
}

void TMemoryFileSystem::ReplaceFile(const std::string& source, const std::string& target) {
  const auto it = files_.find(Normal(source));
  if (it == files_.end()) throw EZipFileOpenError("Cannot open file \"" + source + "\"");
  File f = it->second;
  files_.erase(it);
  files_[Normal(target)] = std::move(f);
}

void TMemoryFileSystem::RenameFile(const std::string& from, const std::string& to) {
  if (FileExists(to)) throw EZipWriteError("Cannot rename \"" + from + "\" to \"" + to + "\": the name is taken");
  if (!FileExists(from)) throw EZipWriteError("Cannot rename \"" + from + "\": no such file");
  try {
    ReplaceFile(from, to);
  } catch (const std::runtime_error& e) {
    throw EZipWriteError("Cannot rename \"" + from + "\" to \"" + to + "\": " + e.what());
  }
}

// ----------------------------------------------------------------- drives --

TMemoryFileSystem::Drive* TMemoryFileSystem::DriveOf(const std::string& path) {
  if (path.size() < 2 || path[1] != ':') return nullptr;
  const auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
  return it == drives_.end() ? nullptr : &it->second;
}

bool TMemoryFileSystem::IsRemovableDrive(const std::string& root) {
  const Drive* d = DriveOf(root);
  return d != nullptr && d->removable;
}

std::optional<uint64_t> TMemoryFileSystem::FreeSpace(const std::string& path) {
  const Drive* d = DriveOf(path);
  if (d == nullptr || !d->freeSpace) return std::nullopt;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  uint64_t used = 0;
  for (const auto& [name, file] : files_) {
    if (std::toupper(static_cast<unsigned char>(name[0])) == letter && name.size() >= 2 && name[1] == ':') used += file.bytes->size();
  }
  return *d->freeSpace - std::min(used, *d->freeSpace);
}

std::string TMemoryFileSystem::VolumeLabel(const std::string& root) {
  const Drive* d = DriveOf(root);
  return d != nullptr ? d->label : std::string();
}

bool TMemoryFileSystem::SetVolumeLabel(const std::string& root, const std::string& label) {
  Drive* d = DriveOf(root);
  if (d == nullptr) return false;
  d->label = label;
  return true;
}

void TMemoryFileSystem::SetDrive(char letter, Drive drive) {
  drives_[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = std::move(drive);
}

void TMemoryFileSystem::InsertDisk(char letter, int medium) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  const std::string prefix = std::string(1, letter) + ":";
  Medium out{drives_[letter], {}};
  for (auto it = files_.begin(); it != files_.end();) {
    const bool onDrive = it->first.size() >= 2 && std::toupper(static_cast<unsigned char>(it->first[0])) == letter &&
                         it->first[1] == ':';
    if (!onDrive) {
      ++it;
      continue;
    }
    out.files.insert(*it);
    it = files_.erase(it);
  }
  shelf_[{letter, inserted_[letter]}] = std::move(out);
  inserted_[letter] = medium;
  Medium& in = shelf_[{letter, medium}];
  in.drive.removable = true;
  drives_[letter] = in.drive;
  for (auto& f : in.files) files_.insert(f);
  shelf_.erase({letter, medium});
}

}  // namespace kv
