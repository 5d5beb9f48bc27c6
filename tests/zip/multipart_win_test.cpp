// Multi-part archives on the Win32 file system, a spanned set on a
// removable drive of Wine's mount manager, and the "?" dialogs answered by
// the hook.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/ansi_text_win.h"
#include "base/handle.h"
#include "base/scope_guard.h"
#include "zip/zip_files.h"
#include "tests/zip/zip_test_util.h"
#include "zip/unzipper.h"
#include "zip/zip_errors.h"
#include "zip/zipper.h"

namespace kv {
namespace {

// A blocks set in a folder of the Win32 file system: the parts are written
// under temporary names and moved into place when the set is complete; read
// back part after part by their default names.
TEST(ZipMultiPartWin, BlocksSetOnTheDisk) {
  wchar_t temp[MAX_PATH + 1] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
  const std::wstring dir = std::wstring(temp) + L"kv-zip-set";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string folder = WStringToAnsi(dir);
  const std::vector<uint8_t> data = test::Random(150000, 9);
  TZipFileSystem& fs = DefaultZipFileSystem();
  EXPECT_FALSE(fs.IsRemovableDrive("C:\\"));
  EXPECT_TRUE(fs.FreeSpace(folder + "\\set.zip").has_value());
  {
    TZipper z;
    z.SetZipName(folder + "\\set.zip");
    z.multiZipInfo.multiMode = TMultiMode::mmBlocks;
    z.multiZipInfo.blockSize = z.multiZipInfo.firstBlockSize = kMinPartSize;
    z.packLevel = 0;
    z.ZipFromBuffer(data.data(), data.size(), "data.bin");
  }
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"set.001", "set.002", "set.zip"}));
  TUnZipper u;
  u.SetZipName(folder + "\\set.zip");
  TMemoryStream out;
  EXPECT_EQ(u.UnZipToStream(out, "data.bin"), 1);
  EXPECT_EQ(u.MultiMode(), TMultiMode::mmBlocks);
  EXPECT_EQ(out.Bytes(), data);
  std::filesystem::remove_all(dir);
}

// Wine's mount manager defines a drive letter over a folder of the Linux
// tree with a drive type of the caller's choice (Wine's own request; the
// layout is that of Wine's mount manager header).
struct WineUnixDrive {
  ULONG size;
  ULONG type;
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDev;
  WCHAR letter;
  USHORT mountPointOffset;
  USHORT deviceOffset;
  USHORT labelOffset;
};
constexpr DWORD kDefineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

// Makes `letter` a removable drive over unixFolder; an empty folder removes it.
bool DefineWineDrive(wchar_t letter, const std::string& unixFolder) {
  FileHandle manager(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!manager) return false;
  std::vector<char> request(sizeof(WineUnixDrive) + unixFolder.size() + 1, '\0');
  auto* drive = reinterpret_cast<WineUnixDrive*>(request.data());
  drive->size = static_cast<ULONG>(request.size());
  drive->type = DRIVE_REMOVABLE;
  drive->letter = letter;
  if (!unixFolder.empty()) {
    drive->mountPointOffset = sizeof(WineUnixDrive);
    std::copy(unixFolder.begin(), unixFolder.end(), request.begin() + sizeof(WineUnixDrive));
  }
  DWORD got = 0;
  return DeviceIoControl(manager.Get(), kDefineUnixDrive, request.data(), static_cast<DWORD>(request.size()), nullptr,
                         0, &got, nullptr) != 0;
}

// The files of a folder. (A drive's empty root has no "." or "..", and
// FindFirstFileW then finds nothing, which std::filesystem takes for an error.)
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> out;
  WIN32_FIND_DATAW data;
  FindHandle h(FindFirstFileW((folder / L"*").c_str(), &data));
  if (!h) return out;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(folder / data.cFileName);
  } while (FindNextFileW(h.Get(), &data));
  return out;
}

// The media of the drive: its files (the label's file too) moved to a shelf
// folder when taken out and back when inserted.
class WineFloppies {
 public:
  WineFloppies(std::filesystem::path shelf, std::string unixFolder)
      : shelf_(std::move(shelf)), unixFolder_(std::move(unixFolder)) {}
  // Under Wine a label is a file of the drive's root: a new medium gets one
  // at once, so that the space it takes is not counted free. The mount
  // manager reads the label when the drive is defined: defining it again
  // announces the new medium.
  void Insert(int medium) {
    if (medium != inserted_) {
      Move("A:\\", shelf_ / std::to_string(inserted_));
      Move(shelf_ / std::to_string(medium), "A:\\");
      inserted_ = medium;
    }
    if (FilesIn(L"A:\\").empty()) SetVolumeLabelW(L"A:\\", L"NEW DISK");
    DefineWineDrive(L'a', unixFolder_);
  }

 private:
  static void Move(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::create_directories(to);
    for (const auto& file : FilesIn(from)) {
      std::filesystem::copy_file(file, to / file.filename(), std::filesystem::copy_options::overwrite_existing);
      std::filesystem::remove(file);
    }
  }
  std::filesystem::path shelf_;
  std::string unixFolder_;
  int inserted_ = 1;
};

// The spanned round trip through the real drive type, free space and
// volume label calls: drive A: is a removable drive of Wine's mount manager
// over a small file system (tests/zip/spanned_floppy.cmake mounts it), its media
// swapped by the disk question's handler.
TEST(ZipMultiPartWin, SpannedSetOnARemovableDriveOfWine) {
  const std::string binary = KV_TEST_BINARY_DIR;
  const std::string unixFolder = binary.substr(binary.find(':') + 1) + "/zip_floppy";
  if (!DefineWineDrive(L'a', unixFolder)) GTEST_SKIP() << "no mount manager request (not under Wine?)";
  ScopeGuard undefine([] {
    DefineWineDrive(L'a', {});
    // The mount manager keeps the drive's type in the registry: the prefix is shared.
    HKEY drives = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Wine\\Drives", 0, KEY_SET_VALUE, &drives) == ERROR_SUCCESS) {
      RegDeleteValueW(drives, L"a:");
      RegCloseKey(drives);
    }
  });
  TZipFileSystem& fs = DefaultZipFileSystem();
  ASSERT_EQ(GetDriveTypeW(L"A:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
  ASSERT_TRUE(fs.IsRemovableDrive("A:\\"));
  const auto free = fs.FreeSpace("A:\\set.zip");
  ASSERT_TRUE(free.has_value());
  if (*free > (1u << 20)) GTEST_SKIP() << "A: is not a small file system (the mount needs root): " << *free;
  wchar_t temp[MAX_PATH + 1] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
  const std::filesystem::path shelf = std::filesystem::path(temp) / L"kv-zip-floppies";
  const auto clear = [&] {
    for (const auto& file : FilesIn(L"A:\\")) std::filesystem::remove(file);
    std::filesystem::remove_all(shelf);
  };
  clear();
  ScopeGuard cleared(clear);
  WineFloppies media(shelf, unixFolder);
  media.Insert(1);
  const std::vector<uint8_t> data = test::Random(static_cast<size_t>(*free) + 60000, 21);
  const std::vector<uint8_t> more = test::Text(30000, 22);
  std::vector<int> asked;
  const auto insert = [&](int n, std::string&) {
    asked.push_back(n);
    media.Insert(n);
  };
  int lastDisk = 0;
  {
    TZipper z;
    z.SetZipName("A:\\set.zip");
    z.SetMultiMode(TMultiMode::mmSpan);
    z.packLevel = 0;
    z.onGetNextDisk = insert;
    EXPECT_EQ(z.ZipFromBuffer(data.data(), data.size(), "data.bin"), 1);
    EXPECT_EQ(z.LastDisk(), 1);
    // Rewritten: read from its disks, staged, written disk by disk.
    media.Insert(z.LastDisk() + 1);
    z.packLevel = 6;
    EXPECT_EQ(z.ZipFromBuffer(more.data(), more.size(), "more.txt"), 1);
    lastDisk = z.LastDisk() + 1;
  }
  EXPECT_GE(lastDisk, 2);
  // The labels, read through the volume calls.
  for (int k = 1; k <= lastDisk; ++k) {
    media.Insert(k);
    EXPECT_EQ(GetVolumeLabel(fs, "A:"), "PKBACK# 00" + std::to_string(k)) << k;
  }
  media.Insert(lastDisk);
  TUnZipper u;
  u.SetZipName("A:\\set.zip");
  u.onGetNextDisk = insert;
  u.ReadZip();
  EXPECT_EQ(u.MultiMode(), TMultiMode::mmSpan);
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::vector<uint8_t>>>{{"data.bin", data}, {"more.txt", more}}) {
    TMemoryStream out;
    EXPECT_EQ(u.UnZipToStream(out, name), 1) << name;
    EXPECT_EQ(out.Bytes(), bytes) << name;
  }
  // Rewritten with the multi-disk setting at its default: still a spanned
  // set, and no temporary file is left on any disk.
  const std::vector<uint8_t> other = test::Text(20000, 23);
  {
    media.Insert(lastDisk);
    TZipper z;
    z.SetZipName("A:\\set.zip");
    z.onGetNextDisk = insert;
    EXPECT_EQ(z.ZipFromBuffer(other.data(), other.size(), "more.txt"), 1);
    EXPECT_EQ(z.MultiMode(), TMultiMode::mmSpan);
    lastDisk = z.LastDisk() + 1;
  }
  for (int k = 1; k <= lastDisk + 1; ++k) {
    media.Insert(k);
    for (const auto& file : FilesIn(L"A:\\")) {
      EXPECT_NE(file.filename().wstring().rfind(L"~kv", 0), 0u) << "disk " << k << ": " << file.string();
    }
  }
  media.Insert(lastDisk);
  TUnZipper again;
  again.SetZipName("A:\\set.zip");
  again.onGetNextDisk = insert;
  TMemoryStream out;
  EXPECT_EQ(again.UnZipToStream(out, "more.txt"), 1);
  EXPECT_EQ(out.Bytes(), other);
}

TEST(ZipMultiPartWin, QuestionMarkDialogsCancelledThroughTheHook) {
  TUnZipper u;
  std::vector<TZipDialog> shown;
  u.dialogHook = [&](const TZipDialog& d) {
    shown.push_back(d);
    return TZipDialogAnswer{};
  };
  EXPECT_THROW(u.SetZipName("C:\\windows\\?"), EUserCanceled);
  EXPECT_THROW(u.SetDestDir("?"), EUserCanceled);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].initialDir, "C:\\windows");  // the name's folder exists
  EXPECT_EQ(shown[1].kind, TZipDialogKind::BrowseFolder);
}

}  // namespace
}  // namespace kv
