#include "wizard/result_rows.h"

#include <algorithm>

#include "base/ansi_text.h"
#include "engine/mp3_collection.h"

namespace kv {

TRowLook RowLook(int32_t tag) {
  if (tag == -1) return {kSilver, kGray};
  if (tag % 2 == 1) return {kPaleGreen, kGreen};
  return {kPaleBlue, kNavy};
}

bool GroupSeparatorBelow(int32_t tag, std::optional<int32_t> nextTag) { return nextTag && *nextTag != tag; }

std::string RowHeadline(const TAudioInfo& record) {
  return record.GetTagPart(kTagArtist) + " - " + record.GetTagPart(kTagTitle);
}

std::string RowAlbumText(const TAudioInfo& record) {
  const int year = record.GetTagPartInt(kTagYear);
  const std::string album = record.GetTagPart(kTagAlbum);
  if (year <= 0 && album.empty()) return {};
  std::string s = album;
  if (year > 0) s += "  " + std::to_string(year);
  return " [" + s + "]";
}

std::string BitRateText(int32_t bitRate) {
  return bitRate == kLosslessBitRate ? "Lossless" : std::to_string(bitRate) + "Kbit";
}

std::string ChannelName(int32_t code) {
  switch (code) {
    case 1: return "Stereo";
    case 2: return "Joint Stereo";
    case 3: return "Dual Channel";
    case 4: return "Mono";
    default: return {};
  }
}

std::string SampleRateText(const TAudioInfo& record) {
  return std::to_string(record.GetInfoPart(kInfoSampleRate)) + "Hz " + ChannelName(record.GetInfoPart(kInfoChannels));
}

int32_t GroupCount(const TMP3Collection& collection) {
  int32_t highest = 0;
  for (int32_t i = 0; i < collection.Count(); ++i) highest = std::max(highest, collection.Items(i).Tag);
  return highest;
}

bool TakeSavedMark(int32_t& tag) {
  if (tag <= kSavedMark) return false;
  tag -= kSavedMark;
  return true;
}

int32_t WithSavedMark(int32_t tag, bool checked) {
  // A deleted row's -1 must come back as -1, not as group 99999; group 0
  // (found only in hand-made lists) cannot carry a mark that reads back.
  return checked && tag > 0 ? tag + kSavedMark : tag;
}

bool CheckedAfter(TCheckButton button, int32_t tag, bool checkedNow) {
  switch (button) {
    case TCheckButton::All: return tag != -1;
    case TCheckButton::None: return false;
    case TCheckButton::Invert: return !checkedNow && tag != -1;
  }
  return false;
}

std::string PercentEncode(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '.' || c == '~';
    if (plain) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

namespace {

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace

std::string MusicStoreAddress(std::string_view ansiText, std::string_view kind) {
  // An empty or blank text searches nothing.
  if (std::none_of(ansiText.begin(), ansiText.end(), [](char c) { return static_cast<unsigned char>(c) > ' '; }))
    return {};
  return "https://www.torvane.example/musicstore/search.php?q=" + PercentEncode(Utf16ToUtf8(AnsiToWide(ansiText))) +
         "&t=" + std::string(kind);
}

}  // namespace kv
