// Any bytes as the program's own debug data: every lookup at a spread of addresses.
#include "diagnostics/diag_binary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::TDiagBinDebugScanner scanner({data, size});
  size_t sink = scanner.GetModuleName().size() + (scanner.IsModuleNameValid("x.exe") ? 1 : 0);
  for (uint32_t addr : {0u, 1u, 0x10u, 0x100u, 0x1234u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    uint32_t procOffset = 0;
    int32_t lineOffset = 0;
    sink += scanner.ModuleNameFromAddr(addr).size() + scanner.ModuleStartFromAddr(addr);
    sink += scanner.ProcNameFromAddr(addr, procOffset).size() + scanner.LineNumberFromAddr(addr, lineOffset);
    sink += scanner.SourceNameFromAddr(addr).size();
  }
  volatile size_t keep = sink;
  (void)keep;
  return 0;
}
