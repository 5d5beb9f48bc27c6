// The file system of the native (non-Windows) build: plain C streams and
// std::filesystem. The Windows build uses win_file_system_win.cpp instead.
#ifndef _WIN32

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <unistd.h>
#include <utime.h>

#include "zip/zip_errors.h"
#include "zip/zip_file_system.h"
#include "zip/zip_support.h"

namespace kv {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string Native(std::string name) {
  DOSToUnixFilename(name);
  return name;
}

class StdFileStream : public TStream {
 public:
  explicit StdFileStream(FilePtr f) : f_(std::move(f)) {}
  int64_t Read(void* buffer, int64_t count) override {
    return count > 0 ? static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(count), f_.get())) : 0;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    return count > 0 ? static_cast<int64_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), f_.get())) : 0;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int whence = origin == TSeekOrigin::Beginning ? SEEK_SET : origin == TSeekOrigin::Current ? SEEK_CUR : SEEK_END;
    if (fseeko(f_.get(), offset, whence) != 0) throw EZipStreamError(StreamMessage(kStrSeekError));
    return ftello(f_.get());
  }
  void Flush() override {
    if (std::fflush(f_.get()) != 0) throw EZipWriteError();
  }

 private:
  FilePtr f_;
};

// A temporary file beside the target, renamed over it on commit.
class StdReplacement : public TFileReplacement {
 public:
  explicit StdReplacement(const std::string& target) : target_(Native(target)) {
    const size_t cut = target_.find_last_of('/');
    temp_ = (cut == std::string::npos ? std::string(".") : target_.substr(0, cut)) + "/~kvXXXXXX";
    const int fd = mkstemp(temp_.data());
    if (fd < 0) throw EZipFileOpenError("Cannot create a temporary file for \"" + target + "\"");
    FilePtr file(fdopen(fd, "w+b"));
    if (!file) {
      ::close(fd);
      std::remove(temp_.c_str());
      throw EZipFileOpenError("Cannot create a temporary file for \"" + target + "\"");
    }
    stream_ = std::make_unique<StdFileStream>(std::move(file));
  }
  ~StdReplacement() override {
    if (stream_) {
      stream_.reset();
      std::remove(temp_.c_str());
    }
  }
  int64_t Read(void* buffer, int64_t count) override { return stream_->Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t done = stream_->Write(buffer, count);
    if (done != count) throw EZipWriteError("Cannot write file \"" + target_ + "\"");
    return done;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return stream_->Seek(offset, origin); }
  void SetTarget(const std::string& target) override { target_ = Native(target); }
  void Commit() override {
    stream_->Flush();
    stream_.reset();
    std::error_code ec;
    std::filesystem::rename(temp_, target_, ec);
    if (ec) {
      std::remove(temp_.c_str());
      throw EZipWriteError("Cannot create file \"" + target_ + "\": " + ec.message());
    }
  }

 private:
  std::string target_, temp_;
  std::unique_ptr<StdFileStream> stream_;
};

class StdFileSystem : public TZipFileSystem {
 public:
  std::string TempFolder() override {
    std::error_code ec;
    const auto path = std::filesystem::temp_directory_path(ec);
    return ec ? std::string() : path.string();
  }
  std::unique_ptr<TStream> Open(const std::string& name, TFileOpenMode mode) override {
    const char* how = mode == TFileOpenMode::Create ? "w+b" : "rb";
    FilePtr f(std::fopen(Native(name).c_str(), how));
    if (!f) throw EZipFileOpenError("Cannot open file \"" + name + "\"");
    return std::make_unique<StdFileStream>(std::move(f));
  }
  std::optional<uint32_t> FileDosDateTime(const std::string& name) override {
    struct stat st {};
    if (stat(Native(name).c_str(), &st) != 0) return std::nullopt;
    std::tm tm{};
    localtime_r(&st.st_mtime, &tm);
    TDosDateTime t{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    if (t.year < 1980) t = TDosDateTime{};
    return GoodTimeStamp(PackDosDateTime(t));
  }
  bool FileExists(const std::string& name) override {
    std::error_code ec;
    return std::filesystem::exists(Native(name), ec);
  }
  bool DirExists(const std::string& name) override {
    std::error_code ec;
    return std::filesystem::is_directory(Native(name), ec);
  }
  bool ForceDirs(const std::string& path) override {
    std::error_code ec;
    std::filesystem::create_directories(Native(path), ec);
    return DirExists(path);
  }
  std::vector<std::string> SubFolders(const std::string& folder) override {
    std::vector<std::string> out;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(Native(folder), ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code typeError;
      if (it->is_directory(typeError)) out.push_back(it->path().filename().string());
    }
    return out;
  }
  // Without drives, every drive's current folder is the process's.
  std::string CurrentFolder(char /*drive*/) override {
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
  }
  bool DeleteFile(const std::string& name) override {
    std::error_code ec;
    return std::filesystem::remove(Native(name), ec);
  }
  void SetFileDateAndAttributes(const std::string& name, uint32_t dosDateTime, std::optional<uint32_t>) override {
    const TDosDateTime t = UnpackDosDateTime(dosDateTime);
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    const std::time_t when = std::mktime(&tm);
    utimbuf times{when, when};
    utime(Native(name).c_str(), &times);
  }
  std::unique_ptr<TFileReplacement> BeginReplace(const std::string& target, bool removeStale) override;
  void RenameFile(const std::string& from, const std::string& to) override {
    std::error_code ec;
    if (std::filesystem::exists(Native(to), ec)) {
      throw EZipWriteError("Cannot rename \"" + from + "\" to \"" + to + "\": the name is taken");
    }
    std::filesystem::rename(Native(from), Native(to), ec);
    if (ec) throw EZipWriteError("Cannot rename \"" + from + "\" to \"" + to + "\": " + ec.message());
  }
};

// Killed saves leave nothing to remove here: the native build serves tests.
std::unique_ptr<TFileReplacement> StdFileSystem::BeginReplace(const std::string& target, bool) {
  return std::make_unique<StdReplacement>(target);
}

}  // namespace

TZipFileSystem& DefaultZipFileSystem() {
  static StdFileSystem fs;
  return fs;
}

}  // namespace kv

#endif  // !_WIN32
