#include "diagnostics/frame_kind.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

namespace kv {
namespace {

// Language-specific data as the compiler lays it out for x86-64: no landing
// pad base, type table (indirect pc-relative 4-byte entries) or none,
// call sites as uleb128 (start, length, landing pad, action), actions.
std::vector<uint8_t> Lsda(bool withTypes, std::vector<uint8_t> callSites, std::vector<uint8_t> actions,
                          std::vector<uint8_t> types) {
  std::vector<uint8_t> tail = {0x01, static_cast<uint8_t>(callSites.size())};
  tail.insert(tail.end(), callSites.begin(), callSites.end());
  tail.insert(tail.end(), actions.begin(), actions.end());
  tail.insert(tail.end(), types.begin(), types.end());
  std::vector<uint8_t> out = {0xFF};
  if (withTypes) {
    out.push_back(0x9B);
    out.push_back(static_cast<uint8_t>(tail.size()));  // to the end of the type table
  } else {
    out.push_back(0xFF);
  }
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

TDiagFrameKind Kind(const std::vector<uint8_t>& lsda, uint64_t offset) {
  return FrameKindFromLsda(ByteView(lsda.data(), lsda.size()), offset);
}

TEST(FrameKind, CallSitesActionsAndTypesGiveTheKind) {
  // Three call sites: [0x10, 0x18) no landing pad, [0x20, 0x30) pad with
  // action 1, [0x40, 0x48) pad without action (cleanup only).
  const std::vector<uint8_t> sites = {0x10, 0x08, 0x00, 0x00, 0x20, 0x10, 0x60, 0x01, 0x40, 0x08, 0x70, 0x00};
  const std::vector<uint8_t> catchAll = Lsda(true, sites, {0x01, 0x00}, {0, 0, 0, 0});
  const std::vector<uint8_t> typed = Lsda(true, sites, {0x01, 0x00}, {0xF0, 0x12, 0, 0});
  // catch (A) then catch (...): filter 2 (typed entry, further from the
  // base), then filter 1 (null entry) linked by a self-relative offset.
  const std::vector<uint8_t> both = Lsda(true, sites, {0x02, 0x01, 0x01, 0x00}, {0xF0, 0x12, 0, 0, 0, 0, 0, 0});
  // A catch-all whose landing pad also runs destructors: filter 0 after it.
  const std::vector<uint8_t> cleanupAndAll = Lsda(true, sites, {0x01, 0x01, 0x00, 0x00}, {0, 0, 0, 0});
  const std::vector<uint8_t> cleanup = Lsda(false, sites, {}, {});
  const std::vector<uint8_t> spec = Lsda(true, sites, {0x7F, 0x00}, {0, 0, 0, 0});  // filter -1

  struct Case {
    const std::vector<uint8_t>* lsda;
    uint64_t offset;
    TDiagFrameKind kind;
  } cases[] = {
      {&catchAll, 0x27, kFrameAnyException}, {&typed, 0x20, kFrameOnException},
      {&both, 0x2F, kFrameOnException},      {&cleanupAndAll, 0x21, kFrameAnyException},
      {&cleanup, 0x44, kFrameFinally},       {&catchAll, 0x44, kFrameFinally},
      {&catchAll, 0x12, kFrameUnknown},      // no landing pad there
      {&catchAll, 0x30, kFrameUnknown},      // between call sites
      {&catchAll, 0x05, kFrameUnknown},      // before the first
      {&catchAll, 0x100, kFrameUnknown},     // after the last
      {&spec, 0x22, kFrameUnknown},          // only a throw() list, no handler
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "offset " << c.offset);
    EXPECT_EQ(Kind(*c.lsda, c.offset), c.kind);
    // Every shorter view fails safely (unknown, or a kind read before the cut).
    for (size_t cut = 0; cut < c.lsda->size(); ++cut) {
      const TDiagFrameKind kind = FrameKindFromLsda(ByteView(c.lsda->data(), cut), c.offset);
      EXPECT_TRUE(kind == kFrameUnknown || kind == c.kind) << cut;
    }
  }
}

TEST(FrameKind, MalformedTablesAreUnknown) {
  const std::vector<uint8_t> sites = {0x00, 0x10, 0x20, 0x20};  // action 32: beyond the data
  EXPECT_EQ(Kind(Lsda(true, sites, {0x01, 0x00}, {0, 0, 0, 0}), 0x04), kFrameUnknown);
  // A filter whose entry would lie before the data.
  EXPECT_EQ(Kind(Lsda(true, {0x00, 0x10, 0x20, 0x01}, {0x3F, 0x00}, {0, 0, 0, 0}), 0x04), kFrameUnknown);
  // An action chain that loops on itself ends.
  EXPECT_EQ(Kind(Lsda(true, {0x00, 0x10, 0x20, 0x01}, {0x00, 0x7F}, {0, 0, 0, 0}), 0x04), kFrameFinally);
  // A link to the largest positive offset leaves the data (no overflow).
  EXPECT_EQ(Kind(Lsda(true, {0x00, 0x10, 0x20, 0x01}, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00},
                      {0, 0, 0, 0}),
                 0x04),
            kFrameUnknown);
  // A type table in an encoding tables cannot use (uleb128).
  std::vector<uint8_t> uleb = Lsda(true, {0x00, 0x10, 0x20, 0x01}, {0x01, 0x00}, {0, 0, 0, 0});
  uleb[1] = 0x01;
  EXPECT_EQ(Kind(uleb, 0x04), kFrameUnknown);
  EXPECT_EQ(Kind({}, 0), kFrameUnknown);
  EXPECT_EQ(Kind({0xFF, 0xFF, 0x01, 0x80}, 0), kFrameUnknown);  // an unfinished length
}

TEST(FrameKind, JumpTargets) {
  std::map<uint64_t, uint8_t> memory;
  auto put = [&](uint64_t at, std::vector<uint8_t> bytes) {
    for (uint8_t b : bytes) memory[at++] = b;
  };
  const TDiagMemoryReader read = [&](uint64_t at, void* out, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      auto it = memory.find(at + i);
      if (it == memory.end()) return false;
      static_cast<uint8_t*>(out)[i] = it->second;
    }
    return true;
  };
  put(0x1000, {0xE9, 0xFB, 0x0F, 0x00, 0x00});  // jmp 0x2000
  put(0x2000, {0xC3, 0, 0, 0, 0, 0});
  put(0x1100, {0xEB, 0xFE});                     // jmp to itself
  put(0x1200, {0xEB, 0x80});                     // jmp back 128
  put(0x1300, {0xE9, 0xFB, 0x1F, 0x00, 0x00});  // jmp 0x3300, an indirect jump there
  put(0x3300, {0xFF, 0x25, 0xFA, 0x00, 0x00, 0x00});  // jmp [rip + 0xFA] = [0x3400]
  put(0x3400, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11});
  put(0x1400, {0xE9, 0xFB, 0x2F, 0x00, 0x00});  // to 0x4400: an indirect jump whose slot is unreadable
  put(0x4400, {0xFF, 0x25, 0x00, 0x10, 0x00, 0x00});
  put(0x1500, {0x55, 0x48});
  put(0x1600, {0xE9, 0x00});                     // cut short

  EXPECT_EQ(GetJmpDest(0x1000, read), 0x2000u);
  EXPECT_EQ(GetJmpDest(0x1100, read), 0x1100u);
  EXPECT_EQ(GetJmpDest(0x1200, read), 0x1182u);
  EXPECT_EQ(GetJmpDest(0x1300, read), 0x1122334455667788u);
  EXPECT_EQ(GetJmpDest(0x1400, read), 0x4400u);
  EXPECT_EQ(GetJmpDest(0x1500, read), 0u);
  EXPECT_EQ(GetJmpDest(0x1600, read), 0u);
  EXPECT_EQ(GetJmpDest(0x9000, read), 0u);
}

}  // namespace
}  // namespace kv
