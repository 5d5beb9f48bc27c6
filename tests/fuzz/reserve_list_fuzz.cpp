// The reserve's list and journal from memory: every input parses (lines or
// rejected lines, never a crash), a formatted list reads back to the same
// lines, and the same bytes read as an archive raise only the zip library's
// errors.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "wizard/reserve_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const bool journal : {false, true}) {
    const kv::TParsedReserve parsed = kv::ParseReserveList(text, journal);
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
