#include "diagnostics/sys_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace kv {
namespace {

TEST(SysInfo, RoundFrequency) {
  const std::pair<uint32_t, uint32_t> cases[] = {
      {2394, 2390}, {2395, 2400}, {1410, 1420}, {733, 733}, {998, 1000}, {133, 133}, {0, 0}, {10, 20}, {9, 0},
      {41, 33}, {42, 50}, {63, 66}, {95, 100},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(RoundFrequency(in), out) << in;
    EXPECT_EQ(RoundFrequency(out), out) << out;  // a step value stays
  }
}

uint32_t Text4(const char* s) {
  uint32_t v = 0;
  std::memcpy(&v, s, 4);
  return v;
}

// CPUID answers by leaf; missing leaves answer zeros.
struct Recorded {
  std::map<uint32_t, TCpuIdRegs> leaves;
  TCpuInfo Identify() const {
    return IdentifyCpu(true, [this](uint32_t leaf) {
      const auto it = leaves.find(leaf);
      return it == leaves.end() ? TCpuIdRegs{} : it->second;
    });
  }
};

Recorded Vendor(const char* id, uint32_t maxLeaf) {
  Recorded r;
  r.leaves[0] = {maxLeaf, Text4(id), Text4(id + 8), Text4(id + 4)};
  return r;
}

Recorded Intel(uint32_t family, uint32_t model, uint32_t brand = 0, uint32_t descriptor = 0) {
  Recorded r = Vendor("GenuineIntel", 2);
  r.leaves[1] = {(family << 8) | (model << 4) | 3, brand, 0, (1u << 4) | (1u << 23)};
  r.leaves[2] = {0x01 | (descriptor << 8), 0, 0, 0};
  return r;
}

TEST(SysInfo, NamesProcessorsFromRecordedCpuidValues) {
  struct Case {
    Recorded cpu;
    const char* manufacturer;
    const char* name;
    uint32_t l2;
  };
  Recorded amdExtended = Vendor("AuthenticAMD", 1);
  amdExtended.leaves[0x80000000u] = {0x80000005u, 0, 0, 0};
  amdExtended.leaves[0x80000001u] = {0xF48, 0, 0, 0x10};
  amdExtended.leaves[0x80000002u] = {Text4("AMD "), Text4("Athl"), Text4("on(t"), Text4("m) 6")};
  amdExtended.leaves[0x80000003u] = {Text4("4 Pr"), Text4("oces"), Text4("sor\0"), 0};
  // Extended queries that stop before the name's last part: no name.
  Recorded amdShortName = amdExtended;
  amdShortName.leaves[0x80000000u] = {0x80000003u, 0, 0, 0};
  Recorded amdPlain = Vendor("AuthenticAMD", 1);
  amdPlain.leaves[1] = {0x583, 0, 0, 0};
  Recorded cyrix = Vendor("CyrixInstead", 1);
  cyrix.leaves[1] = {0x533, 0, 0, 0};
  Recorded cyrixGxm = Vendor("CyrixInstead", 1);
  cyrixGxm.leaves[1] = {0x543, 0, 0, 0};
  const Case cases[] = {
      {Intel(6, 12), "Intel", "P6 (Model 12)", 0},
      {Intel(6, 7, 0, 0x44), "Intel", "Pentium III Xeon", 1024},
      {Intel(6, 7, 0, 0x43), "Intel", "Pentium III", 512},
      {Intel(6, 6, 0, 0x41), "Intel", "Celeron", 128},
      {Intel(6, 5), "Intel", "Celeron", 0},
      {Intel(6, 8, 3), "Intel", "Pentium III Xeon", 0},
      {Intel(15, 2, 14), "Intel", "Xeon", 0},
      {Intel(15, 2, 9), "Intel", "Pentium 4", 0},
      {Intel(4, 8), "Intel", "Intel DX4 Processor", 0},
      {Intel(7, 0), "Intel", "P7", 0},
      {amdExtended, "AMD", "AMD Athlon(tm) 64 Processor", 0},
      {amdShortName, "AMD", "", 0},
      {amdPlain, "AMD", "AMD-K6(R) -2", 0},
      {cyrix, "Cyrix", "", 0},
      {cyrixGxm, "Cyrix", "Cyrix GXm", 0},
      {Vendor("GenuineTMx86", 1), "Transmeta", "Crusoe", 0},
      {Vendor("SomeOtherCPU", 1), "Unknown", "Unknown", 0},
  };
  for (const Case& c : cases) {
    const TCpuInfo cpu = c.cpu.Identify();
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cpu.manufacturer, c.manufacturer);
    EXPECT_EQ(cpu.cpuName, c.name);
    EXPECT_EQ(cpu.l2CacheKb, c.l2);
  }
  const TCpuInfo amd = amdExtended.Identify();
  EXPECT_TRUE(amd.hasExtendedInfo);
  EXPECT_TRUE(amd.hasCacheInfo);
  EXPECT_EQ(amd.family, 15);
  EXPECT_EQ(amd.cpuType, kVendorAmd);
  const TCpuInfo intel = Intel(6, 7, 0, 0x44).Identify();
  EXPECT_EQ(intel.vendorIdString, "GenuineIntel");
  EXPECT_EQ(intel.stepping, 3);
  EXPECT_EQ(intel.features, (1u << 4) | (1u << 23));
  const TCpuInfo none = IdentifyCpu(false, nullptr);
  EXPECT_EQ(none.family, 4);
  EXPECT_FALSE(none.hasInstruction);
}

// A counter that advances one count per reading; the processor runs cpuHz.
class FakeClock : public TDiagSpeedClock {
 public:
  FakeClock(uint64_t counterHz, uint64_t cpuHz) : counterHz_(counterHz), cpuHz_(cpuHz) {}
  uint64_t Counter() override { return ++count_; }
  uint64_t TimeStamp() override {
    return static_cast<uint64_t>(static_cast<long double>(count_) * static_cast<long double>(cpuHz_) / counterHz_);
  }
  void BeginRound() override { ++rounds_; }
  int Rounds() const { return rounds_; }

 private:
  uint64_t counterHz_, cpuHz_, count_ = 0;
  int rounds_ = 0;
};

TEST(SysInfo, SpeedArithmetic) {
  // A 10 MHz counter (Wine's) against a 2394 MHz processor.
  FakeClock usual(10'000'000, 2'394'000'000);
  TFreqInfo info = MeasureCpuSpeed(usual, 10'000'000);
  EXPECT_EQ(info.rawFreq, 2394u);
  EXPECT_EQ(info.normFreq, 2390u);
  EXPECT_EQ(usual.Rounds(), 3);
  EXPECT_EQ(info.exTicks, 300u);  // three rounds of 100 µs

  // A 3 GHz counter: every round lasts well under a microsecond; no division by zero.
  FakeClock fast(3'000'000'000, 2'000'000'000);
  info = MeasureCpuSpeed(fast, 3'000'000'000);
  EXPECT_EQ(info.rawFreq, 0u);
  EXPECT_EQ(info.normFreq, 0u);
  EXPECT_LE(fast.Rounds(), 20);

  // A 5 Hz counter: 200 s rounds, still exact.
  FakeClock slow(5, 2'400'000'000);
  info = MeasureCpuSpeed(slow, 5);
  EXPECT_EQ(info.rawFreq, 2400u);
  EXPECT_EQ(info.normFreq, 2400u);

  // A counter that stops: every round is abandoned, the frequency is 0.
  class StoppedClock : public TDiagSpeedClock {
   public:
    uint64_t Counter() override { return 7; }
    uint64_t TimeStamp() override { return ++stamp_; }

   private:
    uint64_t stamp_ = 0;
  } stopped;
  EXPECT_EQ(MeasureCpuSpeed(stopped, 10'000'000).rawFreq, 0u);

  FakeClock none(0, 1);
  info = MeasureCpuSpeed(none, 0);
  EXPECT_EQ(info.rawFreq, 0u);

  // Each round reads its start before the priority is raised.
  class OrderClock : public FakeClock {
   public:
    OrderClock() : FakeClock(10'000'000, 2'394'000'000) {}
    uint64_t Counter() override {
      if (events.size() < 2) events += 'c';
      return FakeClock::Counter();
    }
    void BeginRound() override {
      if (events.size() < 2) events += 'b';
      FakeClock::BeginRound();
    }
    std::string events;
  } order;
  MeasureCpuSpeed(order, 10'000'000);
  EXPECT_EQ(order.events, "cb");
}

TEST(SysInfo, TheFrequencyIsMeasuredOnceAndOnlyWithTheTimeStampCounter) {
  int measured = 0;
  const auto measure = [&](TFreqInfo& info) {
    ++measured;
    info.rawFreq = 2394;
    info.normFreq = 2390;
    return true;
  };
  TCpuInfo cpu;
  cpu.hasInstruction = true;
  cpu.features = (1u << 4) | (1u << 23);
  CompleteCpuInfo(cpu, true, measure);
  EXPECT_EQ(measured, 1);
  EXPECT_EQ(cpu.frequencyInfo.normFreq, 2390u);
  EXPECT_TRUE(cpu.mmx);
  EXPECT_TRUE(cpu.divisionTestPassed);

  // Without the time-stamp feature: 0 MHz, nothing measured, an old value gone.
  cpu.features = 1u << 23;
  CompleteCpuInfo(cpu, false, measure);
  EXPECT_EQ(measured, 1);
  EXPECT_EQ(cpu.frequencyInfo.rawFreq, 0u);
  EXPECT_EQ(cpu.frequencyInfo.normFreq, 0u);
  EXPECT_FALSE(cpu.divisionTestPassed);

  // Without the identification instruction the flags mean nothing.
  cpu.hasInstruction = false;
  cpu.features = (1u << 4) | (1u << 23);
  CompleteCpuInfo(cpu, true, measure);
  EXPECT_EQ(measured, 1);
  EXPECT_FALSE(cpu.mmx);
}

}  // namespace
}  // namespace kv
