#pragma once
// Builds "DIAG" debug-data blocks for the lookup tests, field by field.
#include <string>
#include <tuple>
#include <vector>

#include "tests/diagnostics/diag_test_util.h"

namespace kv::diagtest {

inline Bytes DiagNumber(uint32_t v) {
  Bytes out;
  do {
    uint8_t b = v & 0x7F;
    v >>= 7;
    if (v != 0) b |= 0x80;
    out.push_back(b);
  } while (v != 0);
  return out;
}

// A packed name (6-bit codes) or, with plain, kind 1.
inline Bytes DiagName(const std::string& name, bool plain = false) {
  static const std::string kAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_";
  Bytes out;
  if (plain) {
    out.push_back(1);
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
    return out;
  }
  std::vector<uint32_t> codes;
  std::string text = name;
  if (!text.empty() && text[0] == '@') {
    out.push_back(2);
    text.erase(0, 1);
  }
  for (char c : text) codes.push_back(static_cast<uint32_t>(kAlphabet.find(c)) + 1);
  codes.push_back(0);
  Bytes packed((6 * codes.size() + 7) / 8, 0);
  for (size_t i = 0; i < codes.size(); ++i) {
    for (int bit = 0; bit < 6; ++bit) {
      if ((codes[i] >> bit) & 1) packed[(6 * i + static_cast<size_t>(bit)) / 8] |= static_cast<uint8_t>(1u << ((6 * i + static_cast<size_t>(bit)) % 8));
    }
  }
  Put(out, packed);
  return out;
}

class DiagBlock {
 public:
  // Adds a name to the area; returns its reference.
  uint32_t Name(const std::string& name, bool plain = false) {
    const uint32_t ref = static_cast<uint32_t>(words_.size()) + 1;
    Put(words_, DiagName(name, plain));
    return ref;
  }
  void Unit(uint32_t addr, uint32_t name) { units_.push_back({addr, name, 0}); }
  void Source(uint32_t addr, uint32_t name) { sources_.push_back({addr, name, 0}); }
  void Symbol(uint32_t addr, uint32_t first, uint32_t second) { symbols_.push_back({addr, first, second}); }
  void Line(uint32_t addr, uint32_t line) { lines_.push_back({addr, line, 0}); }
  void ModuleName(uint32_t ref) { module_ = ref; }

  Bytes Build(bool checksum = false) const {
    Bytes body;
    uint32_t offsets[5];
    auto stream = [&body](const std::vector<std::tuple<uint32_t, uint32_t, uint32_t>>& rows, int width) {
      uint32_t prev[3] = {0, 0, 0};
      for (const auto& row : rows) {
        const uint32_t values[3] = {std::get<0>(row), std::get<1>(row), std::get<2>(row)};
        for (int i = 0; i < width; ++i) {
          Put(body, DiagNumber(values[i] - prev[i]));
          prev[i] = values[i];
        }
      }
      Put(body, DiagNumber(0x7FFFFFFF));
    };
    offsets[0] = 34;
    stream(units_, 2);
    offsets[1] = 34 + static_cast<uint32_t>(body.size());
    stream(sources_, 2);
    offsets[2] = 34 + static_cast<uint32_t>(body.size());
    stream(symbols_, 3);
    offsets[3] = 34 + static_cast<uint32_t>(body.size());
    stream(lines_, 2);
    offsets[4] = 34 + static_cast<uint32_t>(body.size());
    Put(body, words_);
    Bytes block;
    PutLe(block, 0x47414944, 4);
    block.push_back(1);
    for (uint32_t o : offsets) PutLe(block, o, 4);
    PutLe(block, module_, 4);
    PutLe(block, 0, 4);
    block.push_back(checksum ? 1 : 0);
    Put(block, body);
    Pad4(block);
    if (checksum) {
      // The rule (-C + word sum, rotated right by 8, equals C) holds exactly when C
      // is the plain word sum of the block with its own bytes read as 0.
      uint32_t sum = 0;
      for (size_t at = 0; at < block.size(); at += 4) {
        sum += static_cast<uint32_t>(block[at] | block[at + 1] << 8 | block[at + 2] << 16 | static_cast<uint32_t>(block[at + 3]) << 24);
      }
      SetLe(block, 29, sum, 4);
    }
    return block;
  }

 private:
  std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> units_, sources_, symbols_, lines_;
  Bytes words_;
  uint32_t module_ = 0;
};

}  // namespace kv::diagtest
