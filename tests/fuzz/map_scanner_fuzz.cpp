// Any text as a linker map file: every lookup at a spread of addresses.
#include <string_view>

#include "diagnostics/map_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const kv::TDiagMapScanner map(std::string_view(reinterpret_cast<const char*>(data), size));
  size_t sink = static_cast<size_t>(map.SkippedLines());
  for (uint32_t addr : {0u, 0x14u, 0x90u, 0x210u, 0x224u, 0xFFFFFFFFu}) {
    uint32_t procOffset = 0;
    int32_t lineOffset = 0;
    sink += map.ModuleNameFromAddr(addr).size() + map.ProcNameFromAddr(addr, procOffset).size();
    sink += map.LineNumberFromAddr(addr, lineOffset) + map.SourceNameFromAddr(addr).size();
  }
  volatile size_t keep = sink;
  (void)keep;
  return 0;
}
