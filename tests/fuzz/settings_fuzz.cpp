// Settings text from memory: it loads or fails with EParseError, and a text
// that loads writes back to a fixed point after one more round.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    kv::TXMLConfig config("fuzz.conf.xml", text);
    config.ReadString("Session", "ArtistBound", "");
    config.ReadString("a", "b.c", "");
    const std::string first = config.GetXMLText();
    const std::string second = kv::TXMLConfig("fuzz.conf.xml", first).GetXMLText();
    if (kv::TXMLConfig("fuzz.conf.xml", second).GetXMLText() != second) std::abort();
    config.WriteString("a", "b.c", "<&>\r\n$2");
    config.DeleteKey("Session", "");
    kv::TXMLConfig("fuzz.conf.xml", config.GetXMLText());
  } catch (const kv::EParseError&) {
  }
  return 0;
}
