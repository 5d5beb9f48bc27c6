#include "diagnostics/call_site.h"

#include <gtest/gtest.h>

#include <array>

namespace kv {
namespace {

TEST(CallSite, InstructionFormsBeforeAReturnAddress) {
  struct Case {
    const char* name;
    std::array<uint8_t, 8> before;
    bool call;
  };
  const Case cases[] = {
      {"call rel32", {0x90, 0x90, 0x90, 0xE8, 0x10, 0x20, 0x30, 0x40}, true},
      {"call rax", {0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0xFF, 0xD0}, true},
      {"call r8 (REX first)", {0x90, 0x90, 0x90, 0x90, 0x90, 0x41, 0xFF, 0xD0}, true},
      {"call [rax+8]", {0x90, 0x90, 0x90, 0x90, 0x90, 0xFF, 0x50, 0x08}, true},
      {"call [rsp+8]", {0x90, 0x90, 0x90, 0x90, 0xFF, 0x54, 0x24, 0x08}, true},
      {"call [rip+disp32]", {0x90, 0x90, 0xFF, 0x15, 0x00, 0x10, 0x00, 0x00}, true},
      {"call [rax+disp32]", {0x90, 0xFF, 0x90, 0x00, 0x10, 0x00, 0x00, 0x00}, true},
      {"push + ret", {0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0xC3}, true},
      {"jmp rax (FF /4)", {0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0xFF, 0xE0}, false},
      {"inc dword [rax] (FF /0)", {0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0xFF, 0x00}, false},
      {"E8 one byte too early", {0x90, 0x90, 0xE8, 0x10, 0x20, 0x30, 0x40, 0x90}, false},
      {"plain data", {1, 2, 3, 4, 5, 6, 7, 8}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsCallSiteBytes(c.before), c.call) << c.name;
}

// Synthetic code: one "module" whose code section is a buffer of bytes.
class SyntheticStack : public ::testing::Test {
 protected:
  void SetUp() override {
    code_.fill(0x90);
    // Calls ending at offsets 16, 32 and 48.
    code_[11] = 0xE8;
    code_[30] = 0xFF;
    code_[31] = 0xD0;
    code_[42] = 0xFF;
    code_[43] = 0x15;
    code_[63] = 0xC3;
    other_ = code_;
  }
  uint64_t Own(size_t offset) const { return reinterpret_cast<uint64_t>(code_.data()) + offset; }
  uint64_t Other(size_t offset) const { return reinterpret_cast<uint64_t>(other_.data()) + offset; }
  TDiagModuleInfoList Modules() const {
    TDiagModuleInfoList list;
    for (const auto* buffer : {&code_, &other_}) {
      TDiagModuleInfo info;
      info.startAddr = reinterpret_cast<uint64_t>(buffer->data());
      info.size = buffer->size();
      info.endAddr = info.startAddr + info.size - 1;
      info.systemModule = buffer == &code_;
      info.codeRanges.emplace_back(info.startAddr, info.startAddr + info.size);
      list.Add(std::move(info));
    }
    return list;
  }

  std::array<uint8_t, 64> code_{};
  std::array<uint8_t, 64> other_{};
};

TEST_F(SyntheticStack, ScanKeepsReturnAddressesInOrderAndCollapsesRepeats) {
  const TDiagModuleInfoList modules = Modules();
  const std::array<uint64_t, 9> words = {
      0,          Own(16),  Own(16),  // repeated in consecutive accepted words: once
      12345,      Own(16),            // still the last accepted value: once
      Own(17),                        // not behind a call
      Own(32),    Own(16),  Own(48),  // separated by another accepted address: listed again
  };
  EXPECT_EQ(ScanStackWords(words, modules, false), (std::vector<uint64_t>{Own(16), Own(32), Own(16), Own(48)}));
}

TEST_F(SyntheticStack, ForeignModulesCountOnlyWithAllModules) {
  const TDiagModuleInfoList modules = Modules();
  EXPECT_FALSE(ValidCallSite(Other(16), modules, false));
  EXPECT_TRUE(ValidCallSite(Other(16), modules, true));
  EXPECT_TRUE(ValidCallSite(Own(16), modules, false));
}

TEST_F(SyntheticStack, AddressesOutsideTheCodeAreNeverRead) {
  const TDiagModuleInfoList modules = Modules();
  for (const uint64_t value : {uint64_t{0}, uint64_t{1}, uint64_t{8}, Own(0), Own(7), Own(65), ~uint64_t{0}}) {
    EXPECT_FALSE(ValidCallSite(value, modules, true)) << value;
  }
  EXPECT_TRUE(ValidCallSite(Own(64), modules, true));  // the call ends the section
}

}  // namespace
}  // namespace kv
