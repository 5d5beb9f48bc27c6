// Any bytes as a loaded image: headers, sections, exports (sorted every way
// and unmangled), the debug list, the resource flags and the import walk.
#include "diagnostics/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::TDiagPeQarnImage image;
  image.AttachView(kv::ByteView(data, size), "fuzz.dll");
  size_t sink = image.Sections().size() + image.DebugList().size() + (image.IsPackage() ? 1 : 0);
  kv::TDiagPeExportFuncList& exports = image.ExportList();
  for (int kind = 0; kind <= 6; ++kind) exports.SortList(static_cast<kv::TDiagPeExportSort>(kind), kind % 2 == 0);
  for (const kv::TDiagPeExportFuncItem& item : exports.Items()) {
    std::string text;
    kv::TDiagUnmangleInfo info;
    int basePos = 0;
    sink += static_cast<size_t>(kv::PeQarnUnmangleName(item.name, text, info, basePos)) + text.size();
    if (image.RvaToSection(item.address) != nullptr) ++sink;
  }
  sink += kv::FindImportEntries(image.Image(), "KERNEL32.dll", 0x7FF000001000ull).size();
  volatile size_t keep = sink;
  (void)keep;
  return 0;
}
