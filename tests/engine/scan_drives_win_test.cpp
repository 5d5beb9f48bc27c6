// The drive scan of an empty path and the directory event, over a made-up
// system: no real drive is listed or read.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/audio_environment_win.h"
#include "engine/mp3_collection.h"
#include "engine/readers/byte_source.h"

namespace kv {
namespace {

// Ten MPEG-1 Layer III frames, 128 kbit/s, 44.1 kHz.
const std::vector<uint8_t>& Mp3Bytes() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> frame(417, 0);
    frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90, frame[3] = 0x40;
    std::vector<uint8_t> all;
    for (int i = 0; i < 10; ++i) all.insert(all.end(), frame.begin(), frame.end());
    return all;
  }();
  return bytes;
}

class MadeUpDrives : public TScanEnvironment {
 public:
  uint32_t DriveType(const std::wstring& root) override {
    asked.push_back(root);
    const auto it = types.find(root);
    return it == types.end() ? DRIVE_NO_ROOT_DIR : it->second;
  }
  std::vector<TScanEntry> ListFolder(const std::wstring& folder) override {
    listed.push_back(folder);
    const auto it = folders.find(folder);
    return it == folders.end() ? std::vector<TScanEntry>{} : it->second;
  }
  bool SameFile(const std::wstring&, const std::wstring&) override { return false; }
  bool FileExists(const std::string&) override { return true; }
  std::unique_ptr<ByteSource> Open(const std::string&) override { return std::make_unique<MemorySource>(Mp3Bytes()); }

  std::map<std::wstring, uint32_t> types = {{L"C:\\", DRIVE_FIXED},    {L"D:\\", DRIVE_REMOTE},
                                            {L"E:\\", DRIVE_REMOVABLE}, {L"F:\\", DRIVE_CDROM},
                                            {L"G:\\", DRIVE_RAMDISK},   {L"Z:\\", DRIVE_UNKNOWN}};
  std::map<std::wstring, std::vector<TScanEntry>> folders = {
      {L"C:", {{L".", L"", FILE_ATTRIBUTE_DIRECTORY},
               {L"..", L"", FILE_ATTRIBUTE_DIRECTORY},
               {L"Music", L"", FILE_ATTRIBUTE_DIRECTORY},
               {L"notes.txt", L"", FILE_ATTRIBUTE_ARCHIVE}}},
      {L"C:\\Music", {{L"song.mp3", L"", FILE_ATTRIBUTE_ARCHIVE}}},
      {L"D:", {{L"b.mp3", L"", FILE_ATTRIBUTE_ARCHIVE}}},
      {L"E:", {{L"removable.mp3", L"", FILE_ATTRIBUTE_ARCHIVE}}},
  };
  std::vector<std::wstring> asked, listed;
};

struct Events {
  std::vector<std::string> dirs, files;
  std::string stopAtDir;
  TScanEvent onDir = [this](TMP3Collection&, const std::string& path, bool& cancel) {
    dirs.push_back(path);
    if (path == stopAtDir) cancel = true;
  };
  TScanEvent onFile = [this](TMP3Collection&, const std::string& path, bool&) { files.push_back(path); };
};

std::vector<std::string> DisplayPaths(const TMP3Collection& c) {
  std::vector<std::string> paths;
  for (int32_t i = 0; i < c.Count(); ++i) paths.push_back(c.Items(i).GetTagPart(kTagDisplayPath));
  return paths;
}

using Paths = std::vector<std::string>;
using WidePaths = std::vector<std::wstring>;

TEST(ScanDrives, AnEmptyPathScansTheFixedAndNetworkDrivesOnlyAndReportsEveryFolder) {
  MadeUpDrives env;
  Events events;
  TMP3Collection collection;
  collection.ScanDisks("", events.onDir, events.onFile, env);
  ASSERT_EQ(env.asked.size(), 26u);
  EXPECT_EQ(env.asked.front(), L"A:\\");
  EXPECT_EQ(env.asked.back(), L"Z:\\");
  EXPECT_EQ(env.listed, (WidePaths{L"C:", L"C:\\Music", L"D:"}));
  EXPECT_EQ(events.dirs, (Paths{"C:", "C:\\Music", "D:"}));
  EXPECT_EQ(events.files,
            (Paths{"C:\\.", "C:\\..", "C:\\Music\\song.mp3", "C:\\Music", "C:\\notes.txt", "D:\\b.mp3"}));
  EXPECT_EQ(DisplayPaths(collection), (Paths{"C:\\Music\\song.mp3", "D:\\b.mp3"}));
}

// A stop asked for by the directory event: the folder is not listed, its
// parent's loop ends at the folder's own entry, and the next drive is
// reported but not listed.
TEST(ScanDrives, TheDirectoryEventCanStopTheScan) {
  MadeUpDrives env;
  Events events;
  events.stopAtDir = "C:\\Music";
  TMP3Collection collection;
  collection.ScanDisks("", events.onDir, events.onFile, env);
  EXPECT_EQ(env.listed, (WidePaths{L"C:"}));
  EXPECT_EQ(events.dirs, (Paths{"C:", "C:\\Music", "D:"}));
  EXPECT_EQ(events.files, (Paths{"C:\\.", "C:\\..", "C:\\Music"}));
  EXPECT_EQ(collection.Count(), 0);
}

// A named folder with a trailing backslash: one directory event per folder,
// without the backslash.
TEST(ScanDrives, ANamedPathReportsItsFoldersWithoutTrailingBackslash) {
  MadeUpDrives env;
  Events events;
  TMP3Collection collection;
  collection.ScanDisks("C:\\Music\\", events.onDir, events.onFile, env);
  EXPECT_TRUE(env.asked.empty());
  EXPECT_EQ(events.dirs, (Paths{"C:\\Music"}));
  EXPECT_EQ(events.files, (Paths{"C:\\Music\\song.mp3"}));
  EXPECT_EQ(DisplayPaths(collection), (Paths{"C:\\Music\\song.mp3"}));
}

}  // namespace
}  // namespace kv
