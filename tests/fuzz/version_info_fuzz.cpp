// Any bytes through the version-resource parser and its key lookups.
#include "diagnostics/diag_errors.h"
#include "diagnostics/file_version_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const kv::TDiagFileVersionInfo info({data, size});
    size_t sink = info.GetBinFileVersion().size() + info.Items().size() + info.Translations().size();
    for (int key = 1; key <= 12; ++key) sink += info.GetVersionKeyValue(key).size();
    volatile size_t keep = sink;
    (void)keep;
  } catch (const kv::EDiagFileVersionInfoError&) {
  }
  return 0;
}
