// Item-ID list and wide-text stream decoders on arbitrary bytes: the first
// byte picks the decoder, the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

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
        // An absent list (size 0) reads as no bytes; one that passed must be
        // walkable to its exact size.
        if (!list.empty() && kv::IDListSize(list.data()) != list.size()) __builtin_trap();
        if (!list.empty()) (void)kv::LastIDItem(list.data());
        break;
      }
      case 1: {
        // Handing lists on as they come and all or nothing agree: the whole
        // read succeeds exactly when every list came through.
        std::vector<std::vector<uint8_t>> handed;
        bool whole = true;
        try {
          kv::ReadIDLists(stream, [&](std::vector<uint8_t> list) {
            if (!list.empty() && kv::IDListSize(list.data()) != list.size()) __builtin_trap();
            handed.push_back(std::move(list));
          });
        } catch (const std::exception&) {
          whole = false;
        }
        kv::TMemoryStream again(rest);
        std::vector<std::vector<uint8_t>> lists;
        try {
          lists = kv::ReadIDLists(again);
        } catch (const std::exception&) {
          if (whole) __builtin_trap();
          break;
        }
        if (!whole || lists != handed) __builtin_trap();
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
