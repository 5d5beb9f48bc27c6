#pragma once
// What the results page shows and decides for its rows, without a window:
// row colours, the texts of both lines, the status texts, the marks kept in
// the group numbers across a save, and the music-store address.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/audio_info.h"

namespace kv {

class TMP3Collection;

// Colours as 0x00BBGGRR values.
inline constexpr uint32_t kSilver = 0xC0C0C0, kGray = 0x808080;
inline constexpr uint32_t kPaleGreen = 0xF0FFF0, kGreen = 0x008000, kPaleBlue = 0xFFF0F0, kNavy = 0x800000;

// Added to the group number of a marked row while the list is saved.
inline constexpr int32_t kSavedMark = 100000;
// Height of a row and offset of its second line.
inline constexpr int kRowHeight = 32, kSecondLine = 15;
// Clicks left of this x toggle the mark.
inline constexpr int kCheckColumn = 24;

struct TRowLook {
  uint32_t brush;  // background (unselected rows)
  uint32_t font;
};

// Row colours by group number: -1 deleted, odd green, other blue.
TRowLook RowLook(int32_t tag);
// The line under a row: the heavier group separator when the next row
// exists and belongs to another group.
bool GroupSeparatorBelow(int32_t tag, std::optional<int32_t> nextTag);

// First line: "artist - title", and the bracket " [album  year]" (empty when
// there is neither album nor year).
std::string RowHeadline(const TAudioInfo& record);
std::string RowAlbumText(const TAudioInfo& record);
// Second line pieces.
std::string BitRateText(int32_t bitRate);
std::string ChannelName(int32_t code);
std::string SampleRateText(const TAudioInfo& record);

// The group count is the highest group number (deleted rows carry -1).
int32_t GroupCount(const TMP3Collection& collection);

// A saved mark: true and the plain group number back when tag carries one.
bool TakeSavedMark(int32_t& tag);
// The tag to save for a row; a deleted row (-1) keeps its -1.
int32_t WithSavedMark(int32_t tag, bool checked);

// The check buttons' state for a row of a record with this tag.
enum class TCheckButton { All, None, Invert };
bool CheckedAfter(TCheckButton button, int32_t tag, bool checkedNow);

// UTF-8 bytes with everything but unreserved characters as %XX.
std::string PercentEncode(std::string_view utf8);
// The search page's address for an ANSI artist or album text ("artist" or
// "album"); empty when the text is blank.
std::string MusicStoreAddress(std::string_view ansiText, std::string_view kind);

}  // namespace kv
