#include "wizard/smart_marking.h"

#include "wizard/step_texts.h"
#include "wizard/stored_paths.h"

namespace kv {

TKeepPreferences& KeepPreferences() {
  static TKeepPreferences prefs;
  return prefs;
}

int cmp(int64_t a, int64_t b) { return a > b ? 1 : (a < b ? -1 : 0); }

namespace {

bool InFolder(const TAudioInfo& record, const std::u16string& folder) {
  return record.ShownPath().compare(0, folder.size(), folder) == 0;
}

int64_t Property(const TAudioInfo& record, uint8_t code) {
  switch ((code + 1) / 2) {
    case 1: return record.GetInfoPart(kInfoBitRate);
    case 2: return record.GetInfoPart(kInfoLength);
    default: return static_cast<uint32_t>(record.GetInfoPart(kInfoFileSize));  // sizes above 2 GiB
  }
}

}  // namespace

int MarkWorse(int level, const TAudioInfo& current, const TAudioInfo& kept, const TKeepPreferences& prefs) {
  int r = 0;
  if (level == 1 && !prefs.KeepFolder.empty())
    r = int{InFolder(current, prefs.KeepFolder)} - int{InFolder(kept, prefs.KeepFolder)};
  if (r == 0) {
    const uint8_t code = prefs.KeepOrder[static_cast<size_t>(level - 1)];
    if (code >= kBitRateGreater && code <= kSizeLesser) {
      const int64_t c = Property(current, code), k = Property(kept, code);
      r = code % 2 == 1 ? cmp(c, k) : cmp(k, c);
    }
  }
  if (r == 0 && level < 3) return MarkWorse(level + 1, current, kept, prefs);
  return r;
}

std::vector<bool> SmartMarks(const std::vector<const TMP3Info*>& rows, const TKeepPreferences& prefs) {
  std::vector<bool> checked(rows.size(), false);
  const TMP3Info* previous = nullptr;
  size_t keptRow = 0;
  const TMP3Info* kept = nullptr;
  for (size_t i = 0; i < rows.size(); ++i) {
    const TMP3Info* current = rows[i];
    if (previous && current && current->Tag == previous->Tag && current->Tag != -1) {
      checked[i] = true;
      if (MarkWorse(1, *current, *kept, prefs) >= 0) {
        checked[keptRow] = true;
        checked[i] = false;
        keptRow = i;
        kept = current;
      }
    } else {
      keptRow = i;
      kept = current;
    }
    previous = current;
  }
  return checked;
}

void LoadMode(TKeepPreferences& prefs, const std::function<std::string(const std::string& key)>& sessionValue) {
  for (int slot = 1; slot <= 3; ++slot) {
    // Only the six known codes: another number would decide nothing (or,
    // cut to a byte, a different criterion: 257 is 1) and be stored again.
    const int code = StrToIntDef(sessionValue("Keep" + std::to_string(slot)), 0);
    if (code >= kBitRateGreater && code <= kSizeLesser) prefs.KeepOrder[static_cast<size_t>(slot - 1)] = static_cast<uint8_t>(code);
  }
  if (sessionValue("UseKeepFolder") == "1") prefs.KeepFolder = StoredPathValue(sessionValue("KeepFolder"));
}

}  // namespace kv
