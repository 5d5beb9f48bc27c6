// The header stream reader on arbitrary bytes. Whatever loads (also before
// a failure) must form a consistent header, write back, and load again to
// the same bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "treeview/header_model.h"

namespace {

std::vector<std::uint8_t> Save(const kv::TLTHeaderModel& header) {
  kv::TNodeMemoryStream stream;
  header.SaveToStream(stream);
  return stream.Bytes();
}

void CheckConsistent(const kv::TLTHeaderModel& header) {
  const kv::TLazyTreeColumns& columns = header.Columns();
  const auto& positions = columns.PositionArray();
  if (static_cast<int>(positions.size()) != columns.Count()) __builtin_trap();
  std::vector<bool> seen(positions.size(), false);
  for (std::size_t place = 0; place < positions.size(); ++place) {
    const kv::TColumnIndex index = positions[place];
    if (index < 0 || index >= columns.Count() || seen[static_cast<std::size_t>(index)]) __builtin_trap();
    seen[static_cast<std::size_t>(index)] = true;
    if (columns.Items(index).Position() != static_cast<int>(place)) __builtin_trap();
  }
  if (header.MainColumn() >= columns.Count() || header.SortColumn() >= columns.Count()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::TLTHeaderModel header;
  kv::TNodeMemoryStream stream(std::vector<std::uint8_t>(data, data + size));
  try {
    header.LoadFromStream(stream);
  } catch (const kv::ENodeStreamError&) {
  }
  CheckConsistent(header);
  const std::vector<std::uint8_t> first = Save(header);
  kv::TLTHeaderModel copy;
  kv::TNodeMemoryStream again(first);
  copy.LoadFromStream(again);
  CheckConsistent(copy);
  if (Save(copy) != first) __builtin_trap();
  return 0;
}
