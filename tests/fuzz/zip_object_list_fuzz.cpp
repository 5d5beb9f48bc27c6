// Object lists read from arbitrary bytes: never a crash, a leak or a hang;
// a read either adds every stored item or leaves the list as it was, and
// what was read writes and reads back to as many items.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/zip/object_list_test_util.h"
#include "zip/zip_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kv::ziptest;
  static const kv::TClassRegistry<Shape> registry = Shapes();
  kv::TMemoryStream in(std::vector<uint8_t>(data, data + size));
  ShapeList list(kv::TDuplicates::Accept);
  try {
    list.ReadData(in, registry);
  } catch (const std::exception&) {
    if (list.Count() != 0) std::abort();
    return 0;
  }
  // Mode 1 keeps every item, so the items write back as they were read
  // (in key order, the stored order when it was sorted).
  if (list.Duplicates() != kv::TDuplicates::Accept) return 0;
  kv::TMemoryStream out;
  list.WriteData(out, registry);
  kv::TMemoryStream again(out.Bytes());
  ShapeList copy(kv::TDuplicates::Error);
  copy.ReadData(again, registry);
  if (copy.Count() != list.Count()) std::abort();
  return 0;
}
