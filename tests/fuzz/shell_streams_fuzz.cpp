// Item-ID list and wide-text stream decoders on arbitrary bytes: the first
// byte picks the decoder, the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "shell/id_list.h"
#include "shell/wide_text.h"
#include "zip/zip_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> rest(data + 1, data + size);
  kv::TMemoryStream stream(rest);
  try {
    switch (data[0] % 3) {
      case 0: {
        auto list = kv::ReadIDList(stream);
        // A list that passed must be walkable to its exact size.
        if (kv::IDListSize(list.data()) != list.size()) __builtin_trap();
        (void)kv::LastIDItem(list.data());
        break;
      }
      case 1: {
        for (const auto& list : kv::ReadIDLists(stream))
          if (kv::IDListSize(list.data()) != list.size()) __builtin_trap();
        break;
      }
      default:
        (void)kv::SplitWideText(kv::ReadWideText(stream));
        break;
    }
  } catch (const std::exception&) {
  }
  return 0;
}
