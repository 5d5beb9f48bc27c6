#pragma once
// The comparison of a search: groups the scanned records into groups of
// duplicate or similar files and copies every group of two or more into a new
// result collection, numbered 1, 2, 3... in the order of each group's lowest
// record. A group grows depth-first from its first record: each member's own
// similarity search (the engine's) names candidates, ascending, and every
// candidate that passes the time and album filters joins and is searched in
// turn. The walk keeps its own stack, so a group of any size needs no deep
// call chain. Window-free; the caller shows the progress.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/mp3_collection.h"

namespace kv {

// A scan record's Tag while the comparison runs: its own search found others.
inline constexpr int32_t kGroupedMark = 2;

struct TCompareEvents {
  // Before a record's own search: how many records were searched before it,
  // and the record.
  std::function<void(int32_t searched, const TMP3Info& record)> OnSearch;
  // Asked after every record searched from the top and every candidate
  // considered; true stops the comparison.
  std::function<bool()> Cancelled;
};

// The access path folded for comparison ignoring case (ANSI, code page 1252).
std::string FoldPathCase(std::string_view path);

// Groups the records of collection under its similarity settings; for
// duplicates only with bounds 100/100 and artist and title combined, time and
// album checks as set. A file (an access path, ignoring case) gives at most one
// row: a record joins one group, once. Returns the new result collection (word
// indexing off, Tag = group number), or null when stopped. Either way the
// collection's settings are as they were and its Tags are 0 afterwards.
std::unique_ptr<TMP3Collection> CompareCollection(TMP3Collection& collection, bool duplicatesOnly,
                                                  const TCompareEvents& events = {});

}  // namespace kv
