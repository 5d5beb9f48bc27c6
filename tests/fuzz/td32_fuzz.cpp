// Any bytes as TD32 debug data: every lookup at a spread of addresses.
#include "diagnostics/td32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const kv::TDiagTD32InfoScanner scanner({data, size});
  size_t sink = 0;
  for (uint32_t addr : {0u, 0x100u, 0x114u, 0x180u, 0x1000u, 0xFFFFFFFFu}) {
    uint32_t procOffset = 0;
    int32_t lineOffset = 0;
    sink += scanner.ModuleNameFromAddr(addr).size() + scanner.ProcNameFromAddr(addr, procOffset).size();
    sink += scanner.LineNumberFromAddr(addr, lineOffset) + scanner.SourceNameFromAddr(addr).size();
  }
  volatile size_t keep = sink;
  (void)keep;
  return 0;
}
