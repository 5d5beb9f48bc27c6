#pragma once
// A small TD32 block for the TD32 tests: names, one module with one code
// segment at 0x100, two procedures, one source file with a line table.
#include <cstring>
#include <tuple>

#include "tests/diagnostics/diag_test_util.h"

namespace kv::diagtest {

// TD32 data: names, one module with one code segment, two procedures, one
// source file with a line table; the directory after the subsections.
struct Td32 {
  Bytes names, module, symbols, source;
  Bytes Build(uint32_t entrySize = 12, bool loopDirectory = false) const {
    Bytes out;
    PutLe(out, 0x39304246, 4);  // "FB09"
    PutLe(out, 0, 4);           // directory offset, set below
    std::vector<std::pair<uint16_t, const Bytes*>> subs = {
        {0x130, &names}, {0x120, &module}, {0x125, &symbols}, {0x127, &source}};
    std::vector<std::pair<uint32_t, uint32_t>> at;
    for (const auto& sub : subs) {
      at.emplace_back(static_cast<uint32_t>(out.size()), static_cast<uint32_t>(sub.second->size()));
      Put(out, *sub.second);
    }
    const uint32_t dir = static_cast<uint32_t>(out.size());
    SetLe(out, 4, dir, 4);
    PutLe(out, 16, 2);
    PutLe(out, entrySize, 2);
    PutLe(out, subs.size(), 4);
    PutLe(out, loopDirectory ? dir : 0, 4);
    PutLe(out, 0, 4);
    for (size_t i = 0; i < subs.size(); ++i) {
      PutLe(out, subs[i].first, 2);
      PutLe(out, 1, 2);
      PutLe(out, at[i].first, 4);
      PutLe(out, at[i].second, 4);
    }
    PutLe(out, 0x39304246, 4);
    PutLe(out, out.size() + 4, 4);
    return out;
  }
};

inline Td32 Sample() {
  Td32 t;
  PutLe(t.names, 4, 4);
  for (const char* n : {"Unit1", "@Unit1@TForm1@Click", "@Unit1@Helper", "Unit1.pas"}) {
    t.names.push_back(static_cast<uint8_t>(std::strlen(n)));
    t.names.insert(t.names.end(), n, n + std::strlen(n));
    t.names.push_back(0);
  }
  t.module = Bytes(28, 0);
  SetLe(t.module, 4, 1, 2);
  SetLe(t.module, 8, 1, 4);
  PutLe(t.module, 1, 2);
  PutLe(t.module, 0, 2);
  PutLe(t.module, 0x100, 4);
  PutLe(t.module, 0x200, 4);
  PutLe(t.symbols, 1, 4);
  for (auto [offset, size, name] : {std::tuple{0x100u, 0x40u, 2u}, std::tuple{0x180u, 0x20u, 3u}}) {
    Bytes rec(44, 0);
    SetLe(rec, 0, 42, 2);
    SetLe(rec, 2, 0x205, 2);
    SetLe(rec, 16, size, 4);
    SetLe(rec, 28, offset, 4);
    SetLe(rec, 40, name, 4);
    Put(t.symbols, rec);
  }
  // One file, one segment: lines 10 at 0x100, 12 at 0x110, 20 at 0x180.
  PutLe(t.source, 1, 2);
  PutLe(t.source, 6, 4);
  PutLe(t.source, 1, 2);  // file entry at 6: one segment
  PutLe(t.source, 4, 4);  // name index
  PutLe(t.source, 6 + 2 + 4 + 4 + 8, 4);
  PutLe(t.source, 0x100, 4);
  PutLe(t.source, 0x1C0, 4);
  PutLe(t.source, 1, 2);  // line table: segment, count
  PutLe(t.source, 3, 2);
  for (uint32_t o : {0x100u, 0x110u, 0x180u}) PutLe(t.source, o, 4);
  for (uint32_t l : {10u, 12u, 20u}) PutLe(t.source, l, 2);
  return t;
}

}  // namespace kv::diagtest
