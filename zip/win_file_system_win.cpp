// The Win32 file system of the zip components: wide-name calls (names arrive
// as ANSI texts and are widened through the ANSI code page), share modes as
// TFileOpenMode says, replacement through FileReplacement.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/file_replacement_win.h"
#include "base/handle.h"
#include "zip/zip_errors.h"
#include "zip/zip_file_system.h"
#include "zip/zip_support.h"

namespace kv {

namespace {

std::wstring Wide(const std::string& ansi) {
  std::string name = ansi;
  UnixToDOSFilename(name);
  if (name.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), out.data(), n);
  return out;
}

std::string Narrow(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, wide, -1, out.data(), n, nullptr, nullptr);
  return out;
}

std::string ErrorText(DWORD code) { return " (system error " + std::to_string(code) + ")"; }

class WinFileStream : public TStream {
 public:
  explicit WinFileStream(FileHandle h) : owned_(std::move(h)), h_(owned_.Get()) {}
  // Over a handle that another owner closes.
  explicit WinFileStream(HANDLE borrowed) : h_(borrowed) {}
  void* Handle() override { return h_; }
  int64_t Read(void* buffer, int64_t count) override {
    int64_t done = 0;
    while (done < count) {
      const DWORD want = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
      DWORD got = 0;
      if (!ReadFile(h_, static_cast<uint8_t*>(buffer) + done, want, &got, nullptr)) {
        throw EZipReadError("Stream read error" + ErrorText(GetLastError()));
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    int64_t done = 0;
    while (done < count) {
      const DWORD want = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
      DWORD put = 0;
      if (!WriteFile(h_, static_cast<const uint8_t*>(buffer) + done, want, &put, nullptr) || put == 0) break;
      done += put;
    }
    return done;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    LARGE_INTEGER dist;
    dist.QuadPart = offset;
    LARGE_INTEGER pos{};
    const DWORD how = origin == TSeekOrigin::Beginning ? FILE_BEGIN : origin == TSeekOrigin::Current ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(h_, dist, &pos, how)) throw EZipStreamError(StreamMessage(kStrSeekError));
    return pos.QuadPart;
  }
  int64_t Size() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h_, &size)) throw EZipStreamError(StreamMessage(kStrSeekError));
    return size.QuadPart;
  }
  void SetSize(int64_t size) override {
    const int64_t pos = Position();
    Seek(size, TSeekOrigin::Beginning);
    if (!SetEndOfFile(h_)) throw EZipWriteError("Stream write error" + ErrorText(GetLastError()));
    Seek(std::min(pos, size), TSeekOrigin::Beginning);
  }
  void Flush() override {
    if (!FlushFileBuffers(h_)) throw EZipWriteError("Stream write error" + ErrorText(GetLastError()));
  }

 private:
  FileHandle owned_;
  HANDLE h_;
};

// The new file through the one replacement helper; its failures become the
// library's write errors, with the helper's text (target and cause).
class WinReplacement : public TFileReplacement {
 public:
  WinReplacement(const std::string& target, bool removeStale)
      : file_(Open(target, removeStale)), stream_(file_->Handle()) {}

  int64_t Read(void* buffer, int64_t count) override { return stream_.Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override {
    if (count <= 0) return 0;
    Checked([&] { file_->Write(buffer, static_cast<size_t>(count)); });
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return stream_.Seek(offset, origin); }
  int64_t Size() override { return stream_.Size(); }
  void SetSize(int64_t size) override { stream_.SetSize(size); }
  void Commit() override {
    Checked([&] { file_->Commit(); });
  }
  void SetTarget(const std::string& target) override { file_->SetTarget(Wide(target)); }

 private:
  static std::unique_ptr<FileReplacement> Open(const std::string& target, bool removeStale) {
    try {
      return std::make_unique<FileReplacement>(Wide(target), nullptr,
                                               removeStale ? StaleTempFiles::Remove : StaleTempFiles::Keep);
    } catch (const EReplaceError& e) {
      throw EZipFileOpenError(e.what());
    }
  }
  template <class F>
  static void Checked(F step) {
    try {
      step();
    } catch (const EReplaceError& e) {
      throw EZipWriteError(e.what());
    }
  }
  std::unique_ptr<FileReplacement> file_;
  WinFileStream stream_;  // borrows the helper's handle for reading, seeking and sizing
};

class WinFileSystem : public TZipFileSystem {
 public:
  std::unique_ptr<TStream> Open(const std::string& name, TFileOpenMode mode) override {
    DWORD access = GENERIC_READ, share = FILE_SHARE_READ, disposition = OPEN_EXISTING;
    if (mode == TFileOpenMode::ReadShared) share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    if (mode == TFileOpenMode::Create) {
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
    }
    FileHandle h(CreateFileW(Wide(name).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) throw EZipFileOpenError("Cannot open file \"" + name + "\"" + ErrorText(GetLastError()));
    return std::make_unique<WinFileStream>(std::move(h));
  }
  std::optional<uint32_t> FileDosDateTime(const std::string& name) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(name).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    FILETIME local{};
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &date, &time)) {
      return 0u;
    }
    return GoodTimeStamp(uint32_t{date} << 16 | time);
  }
  bool FileExists(const std::string& name) override {
    return GetFileAttributesW(Wide(name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  bool DirExists(const std::string& name) override {
    const DWORD a = GetFileAttributesW(Wide(name).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool ForceDirs(const std::string& path) override {
    std::string p = path;
    UnixToDOSFilename(p);
    while (p.size() > 3 && p.back() == '\\') p.pop_back();
    if (p.empty() || DirExists(p)) return !p.empty();
    const size_t cut = p.find_last_of('\\');
    if (cut != std::string::npos && cut > 0 && !(cut == 2 && p[1] == ':')) ForceDirs(p.substr(0, cut));
    CreateDirectoryW(Wide(p).c_str(), nullptr);
    return DirExists(p);
  }
  bool DeleteFile(const std::string& name) override { return DeleteFileW(Wide(name).c_str()) != 0; }
  void SetFileDateAndAttributes(const std::string& name, uint32_t dosDateTime,
                                std::optional<uint32_t> attributes) override {
    const std::wstring w = Wide(name);
    {
      FileHandle h(CreateFileW(w.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
      FILETIME local{}, utc{};
      if (h && DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16), static_cast<WORD>(dosDateTime), &local) &&
          LocalFileTimeToFileTime(&local, &utc)) {
        SetFileTime(h.Get(), nullptr, nullptr, &utc);
      }
    }
    if (attributes) {
      const DWORD keep = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
      const DWORD a = *attributes & keep;
      SetFileAttributesW(w.c_str(), a ? a : FILE_ATTRIBUTE_NORMAL);
    }
  }
  std::unique_ptr<TFileReplacement> BeginReplace(const std::string& target, bool removeStale) override;
  void RenameFile(const std::string& from, const std::string& to) override {
    // Without MOVEFILE_REPLACE_EXISTING: a taken name fails instead of being replaced.
    if (!MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
      throw EZipWriteError("Cannot rename \"" + from + "\" to \"" + to + "\"" + ErrorText(GetLastError()));
    }
  }

  bool IsRemovableDrive(const std::string& root) override {
    return !root.empty() && GetDriveTypeW(Wide(root).c_str()) == DRIVE_REMOVABLE;
  }
  std::optional<uint64_t> FreeSpace(const std::string& path) override {
    const ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
    std::string folder = path;
    const size_t cut = folder.find_last_of("\\/");
    folder = cut == std::string::npos ? std::string(".") : folder.substr(0, cut + 1);
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(Wide(folder).c_str(), &free, nullptr, nullptr)) return std::nullopt;
    return free.QuadPart;
  }
  std::string VolumeLabel(const std::string& root) override {
    const ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
    wchar_t label[MAX_PATH + 1] = {};
    if (!GetVolumeInformationW(Wide(root).c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0)) {
      return {};
    }
    return Narrow(label);
  }
  std::string TempFolder() override {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, path);
    if (n == 0 || n > MAX_PATH) return {};
    std::string out = Narrow(path);
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
  }
  bool SetVolumeLabel(const std::string& root, const std::string& label) override {
    const ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
    return SetVolumeLabelW(Wide(root).c_str(), Wide(label).c_str()) != 0;
  }
  std::vector<std::string> SubFolders(const std::string& folder) override {
    std::string mask = folder;
    if (!mask.empty() && mask.back() != '\\' && mask.back() != '/' && mask.back() != ':') mask += '\\';
    const ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
    WIN32_FIND_DATAW data;
    FindHandle h(FindFirstFileW(Wide(mask + "*").c_str(), &data));
    std::vector<std::string> out;
    if (!h) return out;
    do {
      const bool dots = data.cFileName[0] == L'.' &&
                        (data.cFileName[1] == 0 || (data.cFileName[1] == L'.' && data.cFileName[2] == 0));
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !dots) out.push_back(Narrow(data.cFileName));
    } while (FindNextFileW(h.Get(), &data));
    return out;
  }
  std::string CurrentFolder(char drive) override {
    // "X:" alone names the drive's current folder.
    const std::wstring relative = drive == 0 ? std::wstring(L".") : std::wstring{static_cast<wchar_t>(drive), L':'};
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = GetFullPathNameW(relative.c_str(), MAX_PATH + 1, path, nullptr);
    if (n == 0 || n > MAX_PATH) return {};
    return Narrow(path);
  }
};

std::unique_ptr<TFileReplacement> WinFileSystem::BeginReplace(const std::string& target, bool removeStale) {
  return std::make_unique<WinReplacement>(target, removeStale);
}

}  // namespace

TZipFileSystem& DefaultZipFileSystem() {
  // Entry names convert through the system's own OEM conversion from the
  // first use of the Win32 back end on.
  static const bool oemInstalled = (UseSystemOemConversion(), true);
  static WinFileSystem fs;
  static_cast<void>(oemInstalled);
  return fs;
}

}  // namespace kv
