// The reserve's list and journal from memory: every input parses (lines or
// rejected lines, never a crash), read in pieces it gives what the whole
// text gives, a formatted list reads back to the same lines, and the same
// bytes read as an archive raise only the zip library's errors.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "wizard/reserve_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const bool journal : {false, true}) {
    const kv::TParsedReserve parsed = kv::ParseReserveList(text, journal);
    // Pieces of a size taken from the input itself, so that the ends move.
    const size_t piece = size ? 1 + data[0] % 61 : 1;
    kv::TReserveListReader reader(journal);
    for (size_t at = 0; at < text.size(); at += piece) reader.Feed(std::string_view(text).substr(at, piece));
    const kv::TParsedReserve pieces = reader.Finish();
    if (pieces.lines.size() != parsed.lines.size() || pieces.rejected != parsed.rejected || pieces.torn != parsed.torn)
      std::abort();
    for (size_t i = 0; i < parsed.lines.size(); ++i)
      if (pieces.lines[i].hidden != parsed.lines[i].hidden || pieces.lines[i].longPath != parsed.lines[i].longPath)
        std::abort();
    const std::string again = kv::FormatReserveList(parsed.lines);
    const kv::TParsedReserve reread = kv::ParseReserveList(again, true);
    if (reread.lines.size() != parsed.lines.size() || !reread.rejected.empty() || reread.torn) std::abort();
    for (size_t i = 0; i < parsed.lines.size(); ++i)
      if (reread.lines[i].hidden != parsed.lines[i].hidden || reread.lines[i].display != parsed.lines[i].display ||
          reread.lines[i].longPath != parsed.lines[i].longPath)
        std::abort();
  }
  kv::ParseReserveSize(text);
  try {
    const kv::TReserveArchive archive = kv::ReadReserveArchive(std::vector<uint8_t>(data, data + size));
    kv::ParseReserveList(archive.list, false);
  } catch (const std::runtime_error&) {
  }
  return 0;
}
