#pragma once
// Which file of each group of the result list stays unchecked (the file to
// keep): a preferred folder first, then three criteria in priority order,
// each a property (bit rate, length, file size) and a direction. Window-free:
// the results page applies the decision to its rows.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/audio_info.h"

namespace kv {

// Criterion codes: odd "greater", even "lesser"; 1-2 bit rate, 3-4 length, 5-6 file size.
enum KeepCriterion : uint8_t {
  kBitRateGreater = 1, kBitRateLesser = 2, kLengthGreater = 3, kLengthLesser = 4,
  kSizeGreater = 5, kSizeLesser = 6,
};

struct TKeepPreferences {
  std::array<uint8_t, 3> KeepOrder{kBitRateGreater, kLengthGreater, kSizeLesser};
  // Empty: no preferred folder. Compared with the files' full wide paths,
  // so that folders whose names the code page lacks stay apart.
  std::u16string KeepFolder;
};

// The live preferences shared by the results page and its dialog.
TKeepPreferences& KeepPreferences();

// 1 when a > b, -1 when a < b, 0 when equal.
int cmp(int64_t a, int64_t b);

// Compares the current record with the kept one from the given level (1-3)
// on: >= 0 when the current record is to be kept instead.
int MarkWorse(int level, const TAudioInfo& current, const TAudioInfo& kept, const TKeepPreferences& prefs);

// The check marks of the rows: rows[i] is the record of row i (null for a
// row without one). A run of adjacent rows with equal Tag keeps one file; a
// deleted row (Tag -1) is never checked and ends the run above it.
std::vector<bool> SmartMarks(const std::vector<const TMP3Info*>& rows, const TKeepPreferences& prefs);

// Loads the preferences from the "Session" values (key -> value, empty when
// missing): "Keep1".."Keep3" replace a slot when they read a criterion
// code (1-6); "KeepFolder" (a stored path, stored_paths.h) is taken when
// "UseKeepFolder" reads "1".
void LoadMode(TKeepPreferences& prefs, const std::function<std::string(const std::string& key)>& sessionValue);

}  // namespace kv
