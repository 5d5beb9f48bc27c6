#pragma once
// A PE32+ image as it lies in memory (RVA = offset), built field by field for
// the image reader's tests.
#include <string>
#include <vector>

#include "tests/diagnostics/diag_test_util.h"

namespace kv::diagtest {

class TestImage {
 public:
  static constexpr uint32_t kNt = 0x40;
  static constexpr uint32_t kSections = kNt + 24 + 240;

  explicit TestImage(uint32_t size = 0x4000) : bytes_(size, 0) {
    SetLe(bytes_, 0, 0x5A4D, 2);
    SetLe(bytes_, 60, kNt, 4);
    SetLe(bytes_, kNt, 0x00004550, 4);
    SetLe(bytes_, kNt + 4, 0x8664, 2);
    SetLe(bytes_, kNt + 20, 240, 2);
    SetLe(bytes_, kNt + 22, 0x2022, 2);
    SetLe(bytes_, kNt + 24, 0x20B, 2);
    SetLe(bytes_, kNt + 24 + 24, 0x140000000ull, 8);
    SetLe(bytes_, kNt + 24 + 56, size, 4);
    SetLe(bytes_, kNt + 24 + 108, 16, 4);
  }

  Bytes& Raw() { return bytes_; }
  const Bytes& Raw() const { return bytes_; }

  void AddSection(const std::string& name, uint32_t rva, uint32_t size) {
    const uint32_t h = kSections + 40 * count_;
    for (size_t i = 0; i < name.size() && i < 8; ++i) bytes_[h + i] = static_cast<uint8_t>(name[i]);
    SetLe(bytes_, h + 8, size, 4);
    SetLe(bytes_, h + 12, rva, 4);
    SetLe(bytes_, h + 16, size, 4);
    SetLe(bytes_, h + 20, rva, 4);
    SetLe(bytes_, kNt + 6, ++count_, 2);
  }
  void SetDirectory(uint32_t index, uint32_t rva, uint32_t size) {
    SetLe(bytes_, kNt + 24 + 112 + 8 * index, rva, 4);
    SetLe(bytes_, kNt + 24 + 112 + 8 * index + 4, size, 4);
  }
  void U16(uint32_t at, uint32_t v) { SetLe(bytes_, at, v, 2); }
  void U32(uint32_t at, uint64_t v) { SetLe(bytes_, at, v, 4); }
  void U64(uint32_t at, uint64_t v) { SetLe(bytes_, at, v, 8); }
  void Text(uint32_t at, const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i) bytes_[at + i] = static_cast<uint8_t>(s[i]);
    bytes_[at + s.size()] = 0;
  }

 private:
  Bytes bytes_;
  uint32_t count_ = 0;
};

}  // namespace kv::diagtest
