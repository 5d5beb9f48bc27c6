#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>

#include "base/ansi_text_win.h"
#include "base/handle.h"
#include "engine/audio_environment_win.h"
#include "engine/mp3_collection.h"
#include "foundation/files_win.h"

namespace kv {
namespace {

class DiskScan : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tree = std::getenv("KV_SCAN_TREE");
    if (!tree) GTEST_SKIP() << "KV_SCAN_TREE is not set (the disk_scan CTest test sets it)";
    std::string root = tree;
    std::replace(root.begin(), root.end(), '/', '\\');
    top_ = root + "\\top";
    collide_ = root + "\\collide";
    NameTemplates().Load(StrFromFile(std::string(KV_TEST_SOURCE_DIR) + "\\data\\fnametemplates.txt"));
    SetSessionFlagWriter([this](std::string_view key) { flags_.emplace_back(key); });
  }
  void TearDown() override { SetSessionFlagWriter(nullptr); }

  std::vector<std::string> DisplayPaths(TMP3Collection& c) {
    std::vector<std::string> paths;
    for (int32_t i = 0; i < c.Count(); ++i) paths.push_back(c.Items(i).GetTagPart(kTagDisplayPath).substr(top_.size()));
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  std::string top_, collide_;
  std::vector<std::string> flags_;
};

// Which file a handle reaches: volume and file index.
using FileId = std::pair<DWORD, uint64_t>;
std::optional<FileId> IdOf(HANDLE raw) {
  const FileHandle file(raw);
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}
std::optional<FileId> IdOfAnsi(const std::string& path) {
  return IdOf(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}
std::optional<FileId> IdOfWide(const std::wstring& path) {
  return IdOf(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

// The system's listing of a folder's music files: long name -> short name.
std::map<std::wstring, std::wstring> ShortNames(const std::string& folder) {
  std::map<std::wstring, std::wstring> names;
  WIN32_FIND_DATAW data;
  const FindHandle find(FindFirstFileW((AnsiToWString(folder) + L"\\*.*").c_str(), &data));
  if (!find) return names;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names[data.cFileName] = data.cAlternateFileName;
  } while (FindNextFileW(find.Get(), &data));
  return names;
}

// The number in "Song NNNN" of a name of the colliding folder; -1 for none.
int SongNumber(std::string_view name) {
  const size_t at = name.rfind("Song ");
  return at == std::string_view::npos ? -1 : std::atoi(std::string(name.substr(at + 5, 4)).c_str());
}

// A drive whose names have no short form. Wine makes a short name for every
// long one, so this listing hands the scan none.
class NoShortNames : public TScanEnvironment {
 public:
  std::vector<TScanEntry> ListFolder(const std::wstring& folder) override {
    std::vector<TScanEntry> entries = TScanEnvironment::ListFolder(folder);
    for (TScanEntry& e : entries) e.shortName.clear();
    return entries;
  }
};

// Every record of the colliding folder holds its own file's tags, length and
// size, and its access path reaches that file or none at all (counted).
void ExpectOwnFiles(const TMP3Collection& c, const std::string& folder, int& unreachable) {
  std::map<int, std::wstring> longNames;  // song number -> long path
  std::wstring flac;
  for (const auto& [name, shortName] : ShortNames(folder)) {
    const std::wstring path = AnsiToWString(folder) + L"\\" + name;
    if (name.ends_with(L".flac")) flac = path;
    else longNames[SongNumber(WStringToAnsi(name))] = path;
  }
  unreachable = 0;
  ASSERT_EQ(c.Count(), static_cast<int32_t>(longNames.size() + 1));
  for (int32_t k = 0; k < c.Count(); ++k) {
    const TMP3Info& r = c.Items(k);
    SCOPED_TRACE(r.GetTagPart(kTagDisplayPath) + " as " + r.FileName());
    std::wstring longPath = flac;
    if (r.GetTagPart(kTagDisplayPath).ends_with(".mp3")) {
      const int i = SongNumber(r.GetTagPart(kTagDisplayPath));
      longPath = longNames.at(i);
      EXPECT_EQ(r.GetTagPart(kTagTitle), "Song " + std::string(4 - std::to_string(i).size(), '0') + std::to_string(i));
      EXPECT_EQ(r.GetTagPart(kTagArtist), "Collide");
      EXPECT_NEAR(r.GetInfoPart(kInfoLength), (80.0 * i + 20) * 1152 / 44100, 0.6);
    } else {
      EXPECT_EQ(r.GetInfoPart(kInfoLength), 3);
      EXPECT_GT(r.GetInfoPart(kInfoBitRate), 0);  // from the real size
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(longPath.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(static_cast<uint32_t>(r.GetInfoPart(kInfoFileSize)), data.nFileSizeLow);
    const auto id = IdOfAnsi(r.FileName());
    if (r.FileName().find('|') != std::string::npos) {
      EXPECT_FALSE(id.has_value());
      WIN32_FIND_DATAA found;
      EXPECT_FALSE(FindHandle(FindFirstFileA(r.FileName().c_str(), &found)));
      ++unreachable;
    } else {
      EXPECT_EQ(id, IdOfWide(longPath));
    }
  }
}

TEST_F(DiskScan, FindsEveryMusicFileOnceWithDisplayAndAccessPaths) {
  TMP3Collection c;
  std::vector<std::string> reported;
  c.ScanDisks(top_, nullptr, [&](TMP3Collection&, const std::string& path, bool&) { reported.push_back(path); });
  EXPECT_EQ(DisplayPaths(c), (std::vector<std::string>{
                                 "\\.dotfile.mp3", "\\??? long name.mp3", "\\Artist Name\\01 - Song Title.mp3",
                                 "\\Sub\\Deep\\good.Ogg", "\\Sub\\Deep\\lower.m4a", "\\Sub\\UPPER.WMA",
                                 "\\a.mp3", "\\folder.mp3\\inner.mp3"}))
      << "the dot-folder, the linked folder, the text file and the damaged FLAC file stay out";
  for (int32_t i = 0; i < c.Count(); ++i) {
    const TMP3Info& r = c.Items(i);
    // The access path opens the file even where the display name cannot.
    EXPECT_EQ(r.FileName().find('?'), std::string::npos) << r.FileName();
    EXPECT_NE(GetFileAttributesA(r.FileName().c_str()), INVALID_FILE_ATTRIBUTES) << r.FileName();
    if (r.GetTagPart(kTagDisplayPath).ends_with("\\a.mp3")) {
      EXPECT_EQ(r.GetInfoPart(kInfoBitRate), 128);
      EXPECT_EQ(r.GetInfoPart(kInfoFileSize), 4170);
    }
    if (r.GetTagPart(kTagDisplayPath).ends_with("Song Title.mp3")) {
      EXPECT_EQ(r.GetTagPart(kTagArtist), "Artist Name");
      EXPECT_EQ(r.GetTagPart(kTagTitle), "Song Title");
      EXPECT_EQ(r.TemplateNo, 2);
    }
  }
  EXPECT_NE(std::find(flags_.begin(), flags_.end(), "EmptyTags"), flags_.end());
  EXPECT_NE(std::find(flags_.begin(), flags_.end(), "iTunesInstalled"), flags_.end());
  // Every entry is reported: ".", "..", text files and folders too.
  auto seen = [&](const std::string& tail) {
    return std::any_of(reported.begin(), reported.end(), [&](const std::string& p) { return p.ends_with(tail); });
  };
  EXPECT_TRUE(seen("\\notes.txt"));
  EXPECT_TRUE(seen("\\.hidden"));
  EXPECT_TRUE(seen("\\Sub\\loop"));
  EXPECT_TRUE(seen("\\Sub\\Deep\\.."));
  EXPECT_TRUE(c.Modified);
}

TEST_F(DiskScan, TrailingBackslashSingleFilesAndCancel) {
  TMP3Collection plain, slash;
  plain.ScanDisks(top_, nullptr, nullptr);
  slash.ScanDisks(top_ + "\\", nullptr, nullptr);
  EXPECT_EQ(DisplayPaths(plain), DisplayPaths(slash));

  TMP3Collection one;
  int calls = 0;
  one.ScanDisks(top_ + "\\a.mp3", nullptr, [&](TMP3Collection&, const std::string&, bool&) { ++calls; });
  ASSERT_EQ(one.Count(), 1);
  EXPECT_EQ(one.Items(0).FileName(), top_ + "\\a.mp3");
  EXPECT_EQ(calls, 1);

  // Stopped at the first entry: nothing more is read or reported.
  TMP3Collection cancelled;
  int dirs = 0, files = 0;
  int32_t countAtStop = -1;
  cancelled.ScanDisks(top_, [&](TMP3Collection&, const std::string&, bool&) { ++dirs; },
                      [&](TMP3Collection& sender, const std::string&, bool& cancel) {
                        ++files;
                        countAtStop = sender.Count();
                        cancel = true;
                      });
  EXPECT_EQ(cancelled.Count(), countAtStop);
  EXPECT_EQ(files, 1);
  EXPECT_EQ(dirs, 1);
}

TEST_F(DiskScan, CollidingShortNamesNeverMixUpFiles) {
  // Check with the system's own listing that the folder does force collisions.
  const auto names = ShortNames(collide_);
  std::map<std::wstring, int> users;
  for (const auto& [name, shortName] : names) ++users[shortName];
  const auto collisions = std::count_if(users.begin(), users.end(), [](const auto& u) { return u.second > 1; });
  ASSERT_GT(collisions, 0) << "no two files of the folder share a short name";
  // Only a name outside the code page whose short name is shared may end up
  // with an access path that reaches nothing.
  const auto sharedOutsideCodePage = std::count_if(names.begin(), names.end(), [&](const auto& n) {
    return WStringToAnsi(n.first).find('?') != std::string::npos && users[n.second] > 1;
  });

  TMP3Collection c;
  c.ScanDisks(collide_, nullptr, nullptr);
  int unreachable = 0;
  ExpectOwnFiles(c, collide_, unreachable);
  EXPECT_LE(unreachable, sharedOutsideCodePage);
}

TEST_F(DiskScan, AFolderWithoutShortNamesScansTheSame) {
  TMP3Collection withShort, without;
  withShort.ScanDisks(collide_, nullptr, nullptr);
  NoShortNames env;
  without.ScanDisks(collide_, nullptr, nullptr, env);
  int unreachable = 0;
  ExpectOwnFiles(without, collide_, unreachable);
  EXPECT_EQ(unreachable, 121);  // every name outside the code page

  auto byDisplay = [](const TMP3Collection& c) {
    std::map<std::string, std::vector<std::string>> records;
    for (int32_t k = 0; k < c.Count(); ++k) {
      const TMP3Info& r = c.Items(k);
      std::vector<std::string>& fields = records[r.GetTagPart(kTagDisplayPath)];
      for (int slot = 0; slot < static_cast<int>(TAudioInfo::kTagCount); ++slot) fields.push_back(r.GetTagPart(slot));
      for (int slot = kInfoLength; slot <= kInfoFileSize; ++slot) fields.push_back(std::to_string(r.GetInfoPart(slot)));
    }
    return records;
  };
  EXPECT_EQ(byDisplay(without), byDisplay(withShort));
  // Names the code page holds are their own access paths.
  for (int32_t k = 0; k < without.Count(); ++k) {
    const TMP3Info& r = without.Items(k);
    if (r.GetTagPart(kTagDisplayPath).find('?') == std::string::npos) {
      EXPECT_EQ(r.FileName(), r.GetTagPart(kTagDisplayPath));
    }
  }
}

// With the short-name lookup answering none (as a volume made without short
// names), every record keeps its file's full wide path, which opens that
// file, also below a folder whose name the code page lacks.
TEST_F(DiskScan, WithoutShortNamesEveryRecordKeepsItsWidePath) {
  SetShortPathLookup([](const std::wstring&) { return std::wstring(); });
  struct Restore {
    ~Restore() { SetShortPathLookup(nullptr); }
  } restore;
  const std::wstring root = AnsiToWString(collide_.substr(0, collide_.rfind('\\'))) + L"\\\u041c\u0443\u0437\u044b\u043a\u0430 \U0001F3B5";
  CreateDirectoryW(root.c_str(), nullptr);
  std::wstring first;
  for (const auto& [name, shortName] : ShortNames(collide_))
    if (name.ends_with(L".mp3") && WStringToAnsi(name).find('?') != std::string::npos) first = name;
  ASSERT_FALSE(first.empty());
  const std::wstring copy = root + L"\\\u017b\u00f3\u0142\u0107 " + first;
  ASSERT_TRUE(CopyFileW((AnsiToWString(collide_) + L"\\" + first).c_str(), copy.c_str(), FALSE));

  TMP3Collection c;
  std::vector<std::u16string> reported;
  c.ScanDisks(ToU16(root), [&](TMP3Collection&, const std::u16string& path, bool&) { reported.push_back(path); });
  ASSERT_EQ(c.Count(), 1);
  EXPECT_EQ(c.Items(0).WidePath(), ToU16(copy));
  EXPECT_EQ(IdOfWide(ToWString(c.Items(0).FilePath())), IdOfWide(copy));
  EXPECT_NE(c.Items(0).FileName().find('|'), std::string::npos);  // the ANSI access path reaches nothing
  EXPECT_FALSE(IdOfAnsi(c.Items(0).FileName()).has_value());
  EXPECT_NE(std::find(reported.begin(), reported.end(), ToU16(copy)), reported.end());

  TMP3Collection all;
  all.ScanDisks(ToU16(AnsiToWString(collide_)), TScanFileEvent());
  for (int32_t k = 0; k < all.Count(); ++k) {
    SCOPED_TRACE(all.Items(k).GetTagPart(kTagDisplayPath));
    EXPECT_TRUE(IdOfWide(ToWString(all.Items(k).WidePath())).has_value());
  }
  DeleteFileW(copy.c_str());
  RemoveDirectoryW(root.c_str());
}

}  // namespace
}  // namespace kv
