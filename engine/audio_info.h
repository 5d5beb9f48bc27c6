#pragma once
// The per-file record: eight tag texts, up to seven stream integers and the
// path by which the file is opened.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// Tag text slots.
enum TagSlot : int {
  kTagArtist = 0, kTagTitle = 1, kTagAlbum = 2, kTagYear = 3, kTagComment = 4,
  kTagTrack = 5, kTagGenre = 6, kTagDisplayPath = 7,
};
// Stream integer slots.
enum InfoSlot : int {
  kInfoLength = 0, kInfoSampleRate = 1, kInfoBitRate = 2, kInfoChannels = 3,
  kInfoFileSize = 4, kInfoMpegVersion = 5, kInfoMpegLayer = 6,
};
// Channel codes of slot 3.
enum ChannelCode : int { kChannelsUnknown = 0, kStereo = 1, kJointStereo = 2, kDualChannel = 3, kMono = 4 };
// Bit rate that marks a lossless M4A stream.
constexpr int kLosslessBitRate = 10000;

class TAudioInfo {
 public:
  static constexpr size_t kTagCount = 8;

  // The text, or empty past the list.
  std::string GetTagPart(int index) const;
  // Stores the text up to (not including) its first CR.
  void SetTagPart(int index, std::string_view text);
  // Stores the text as it stands (the file-name fallback's artist and title).
  void SetTagPartRaw(int index, std::string text);
  // The text as a decimal integer, 0 when it is not one.
  int GetTagPartInt(int index) const;
  // Stores the number as text; a year outside 0..9999 or a track outside 0..99 is ignored.
  void SetTagPartInt(int index, int value);
  // Eight empty texts again.
  void ResetTags() { tagParts_.fill(std::string()); }

  // The integer, 0 past the list.
  int32_t GetInfoPart(int index) const;
  uint8_t GetChannels(int index) const { return static_cast<uint8_t>(GetInfoPart(index)); }
  // Grows the list to index + 1 when needed (low 7 bits of index used), then stores.
  void SetPart(int index, int32_t value);
  size_t InfoCount() const { return infoParts_.size(); }
  void ClearInfo() { infoParts_.clear(); }

  const std::string& FileName() const { return fileName_; }
  void SetFileName(std::string path) { fileName_ = std::move(path); }
  // The file's full long path as the file system holds it: what every
  // action and every display of the file uses. Empty in a record that was
  // never given one; FilePath() then falls back to the access path.
  const std::u16string& WidePath() const { return widePath_; }
  void SetWidePath(std::u16string path) { widePath_ = std::move(path); }
  std::u16string FilePath() const;
  // The path as it is shown: the wide path, else the display text (tag 7).
  std::u16string ShownPath() const;

 private:
  std::array<std::string, kTagCount> tagParts_;
  std::vector<int32_t> infoParts_;
  std::string fileName_;  // ANSI access path (short names where they exist)
  std::u16string widePath_;
};

// The record kept in a collection.
class TMP3Info : public TAudioInfo {
 public:
  // Grouping state, group number, -1 for a deleted file, +100000 for a checked saved row.
  int32_t Tag = 0;
  // The file-name template (from 1) that supplied artist and title; 0 when none.
  int32_t TemplateNo = 0;
};

// True when the extension, upper-cased, is ".MP3", ".WMA", ".OGG", ".FLAC" or ".M4A".
bool CanRead(std::string_view path);
bool CanRead(std::u16string_view path);

}  // namespace kv
