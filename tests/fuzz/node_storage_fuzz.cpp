// The node-storage stream reader on arbitrary bytes: the first byte picks the
// version and whether the stream carries it. A stream that loads must write
// back and load again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "shell/id_list.h"
#include "shell/node_storage.h"
#include "zip/zip_stream.h"

namespace {
struct NameOrder : kv::TNodeStorageShell {
  bool CompareIDs(kv::TNodeStorage&, std::span<const uint8_t> a, std::span<const uint8_t> b, int& order) override {
    order = kv::CompareIDItemBytes(kv::IDItemBytes(a.data()), kv::IDItemBytes(b.data()));
    return true;
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int32_t version = data[0] & 3;
  bool withVersion = data[0] & 4;
  kv::TMemoryStream stream(std::vector<uint8_t>(data + 1, data + size));
  kv::TRootNodeStorage root(std::make_unique<NameOrder>());
  try {
    root.LoadFromStream(stream, version, withVersion);
  } catch (const std::exception&) {
    return 0;
  }
  kv::TMemoryStream again;
  root.SaveToStream(again, root.StreamVersion(), false);
  again.SetPosition(0);
  kv::TRootNodeStorage copy(std::make_unique<NameOrder>());
  copy.LoadFromStream(again, root.StreamVersion(), false);
  kv::TMemoryStream third;
  copy.SaveToStream(third, root.StreamVersion(), false);
  if (third.Bytes() != again.Bytes()) __builtin_trap();
  (void)root.GetResolvedFileNamesW();
  return 0;
}
