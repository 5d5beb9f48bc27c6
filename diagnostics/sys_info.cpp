#include "diagnostics/sys_info.h"

#include <cstdio>
#include <cstring>

#include "base/strings.h"

namespace kv {

namespace {

// Products of counts and scale factors may pass 64 bits.
__extension__ typedef unsigned __int128 Wide;

// num / den rounded to the nearest integer, halves to even.
uint64_t RoundDiv(Wide num, Wide den) {
  if (den == 0) return 0;
  Wide q = num / den;
  const Wide r = num % den;
  if (2 * r > den || (2 * r == den && (q & 1) != 0)) ++q;
  return static_cast<uint64_t>(q);
}


// prefix + number + suffix (appended piecewise: GCC 12 warns falsely on the operator+ chain).
std::string Numbered(const char* prefix, int number, const char* suffix = "") {
  std::string text(prefix);
  text += std::to_string(number);
  text += suffix;
  return text;
}

std::string RegsText(std::initializer_list<uint32_t> regs) {
  std::string text;
  for (uint32_t r : regs) {
    for (int i = 0; i < 4; ++i) text += static_cast<char>((r >> (8 * i)) & 0xFF);
  }
  return text;
}

std::string IntelName(const TCpuInfo& cpu) {
  const uint32_t l2 = cpu.l2CacheKb;
  const bool big = l2 == 1024 || l2 == 2048;
  switch (cpu.family) {
    case 4:
      switch (cpu.model) {
        case 1: return "Intel 486DX Processor";
        case 2: return "Intel 486SX Processor";
        case 3: return "Intel DX2 Processor";
        case 5: return "Intel SX2 Processor";
        case 7: return "Write-Back Enhanced Intel DX2 Processor";
        case 8: return "Intel DX4 Processor";
        default: return "Intel 486 Processor";
      }
    case 5:
      return "Pentium";
    case 6:
      switch (cpu.model) {
        case 1: return "Pentium Pro";
        case 3: return "Pentium II";
        case 5: return l2 == 0 ? "Celeron" : big ? "Pentium II Xeon" : "Pentium II";
        case 6: return l2 == 0 || l2 == 128 ? "Celeron" : "Pentium II";
        case 7: return big ? "Pentium III Xeon" : "Pentium III";
        case 8: return cpu.brandIndex == 1 ? "Celeron" : cpu.brandIndex == 3 ? "Pentium III Xeon" : "Pentium III";
        case 10: return "Pentium III Xeon";
        case 11: return "Pentium III";
        default: return Numbered("P6 (Model ", cpu.model, ")");
      }
    case 15:
      return cpu.brandIndex == 1 ? "Celeron" : cpu.brandIndex == 14 ? "Xeon" : "Pentium 4";
    default:
      return Numbered("P", cpu.family);
  }
}

std::string CyrixName(const TCpuInfo& cpu) {
  switch (cpu.family) {
    case 4: return "Cyrix MediaGX";
    case 5: return cpu.model == 2 ? "Cyrix 6x86" : cpu.model == 4 ? "Cyrix GXm" : "";
    case 6: return "6x86MX";
    default: return Numbered("", cpu.family, "x86");
  }
}

std::string AmdName(const TCpuInfo& cpu) {
  if (cpu.family == 4) return "Am486(R) or Am5x86";
  if (cpu.family != 5) return "Unknown AMD Chip";
  switch (cpu.model) {
    case 0: case 1: case 2: case 3: return Numbered("AMD-K5 (Model ", cpu.model, ")");
    case 6: return "AMD-K6(R)";
    case 7: return "AMD-K6";
    case 8: return "AMD-K6(R) -2";
    case 9: return "AMD-K6(R) -3";
    default: return "Unknown AMD Model";
  }
}

// The L2 size of the last query-2 round: the last descriptor byte $40..$45 decides.
uint32_t IntelL2FromDescriptors(const std::array<uint32_t, 4>& regs) {
  static constexpr uint32_t kSizes[] = {0, 128, 256, 512, 1024, 2048};
  uint32_t l2 = 0;
  for (int i = 1; i < 16; ++i) {
    const uint8_t byte = static_cast<uint8_t>(regs[static_cast<size_t>(i / 4)] >> (8 * (i % 4)));
    if (byte >= 0x40 && byte <= 0x45) l2 = kSizes[byte - 0x40];
  }
  return l2;
}

}  // namespace

TDiagWindowsVersion WindowsVersionOf(uint32_t major, uint32_t minor) {
  if (major == 3) return minor == 1 ? kWinNT31 : minor == 5 ? kWinNT35 : minor == 51 ? kWinNT351 : kWinUnknown;
  if (major == 4) return kWinNT4;
  if (major == 5 && minor == 0) return kWin2000;
  if (major == 5 && minor == 1) return kWinXP;
  return kWinUnknown;
}

std::string WindowsVersionString(TDiagWindowsVersion version, uint32_t minor) {
  switch (version) {
    case kWinNT31:
    case kWinNT35:
    case kWinNT351: return Numbered("Windows NT 3.", static_cast<int>(minor));
    case kWinNT4: return Numbered("Windows NT 4.", static_cast<int>(minor));
    case kWin2000: return "Windows 2000";
    case kWinXP: return "Windows XP";
    default: return "";
  }
}

const char* NtProductTypeName(TDiagNtProductType type) {
  static const char* const kNames[] = {"",           "Workstation",  "Server",           "Advanced Server",
                                       "Home Edition", "Professional", "Datacenter Server"};
  return type >= 0 && type <= 6 ? kNames[type] : "";
}

TDiagNtProductType NtProductTypeFromText(const std::string& text) {
  if (SameTextAscii(text, "WINNT")) return kPtWorkStation;
  if (SameTextAscii(text, "LANMANNT")) return kPtServer;
  if (SameTextAscii(text, "SERVERNT")) return kPtAdvancedServer;
  return kPtUnknown;
}

int ServicePackFromCsdVersion(uint32_t csdVersion) {
  // Written as four hexadecimal digits and read back as a decimal number.
  char hex[16];
  std::snprintf(hex, sizeof hex, "%.4x", csdVersion & 0xFFFF);
  int number = 0;
  for (const char* p = hex; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return 0;
    number = number * 10 + (*p - '0');
  }
  return number / 100;
}

uint32_t RoundFrequency(uint32_t mhz) {
  static constexpr uint32_t kSteps[] = {0, 20, 33, 50, 60, 66, 80, 90, 100};
  const uint32_t hundreds = mhz - mhz % 100;
  const uint32_t r = mhz % 100;
  for (size_t i = 1; i < std::size(kSteps); ++i) {
    if (kSteps[i] > r) {
      const uint32_t lower = kSteps[i - 1], upper = kSteps[i];
      return hundreds + (upper - r <= r - lower ? upper : lower);
    }
  }
  return mhz;
}

TCpuInfo IdentifyCpu(bool hasInstruction, const TCpuIdQuery& query) {
  TCpuInfo cpu;
  if (!hasInstruction) {
    cpu.family = 4;
    return cpu;
  }
  cpu.hasInstruction = true;
  const TCpuIdRegs q0 = query(0);
  const uint32_t maxStandard = q0.a;
  cpu.vendorIdString = RegsText({q0.b, q0.d, q0.c});
  const std::string& vendor = cpu.vendorIdString;

  bool extended = false;
  uint32_t maxExtended = 0;
  if (vendor == "AuthenticAMD" || vendor == "CyrixInstead") {
    maxExtended = query(0x80000000u).a;
    extended = maxExtended > 0x80000000u;
  }
  if (!extended) {
    if (maxStandard >= 1) {
      const TCpuIdRegs q1 = query(1);
      cpu.features = q1.d;
      cpu.brandIndex = static_cast<uint8_t>(q1.b & 0xFF);
      cpu.processorType = static_cast<uint8_t>((q1.a >> 12) & 3);
      cpu.family = static_cast<uint8_t>((q1.a >> 8) & 0xF);
      cpu.model = static_cast<uint8_t>((q1.a >> 4) & 0xF);
      cpu.stepping = static_cast<uint8_t>(q1.a & 0xF);
    }
    if (vendor == "GenuineIntel" && maxStandard >= 2) {
      cpu.hasCacheInfo = true;
      // The low byte of the first answer says how many rounds to run; keep the last.
      TCpuIdRegs q2 = query(2);
      const int rounds = static_cast<int>(q2.a & 0xFF);
      for (int i = 1; i < rounds && i < 256; ++i) q2 = query(2);
      cpu.cacheDescriptors = {q2.a, q2.b, q2.c, q2.d};
    }
  } else if (maxExtended >= 0x80000001u) {
    cpu.hasExtendedInfo = true;
    const TCpuIdRegs e1 = query(0x80000001u);
    cpu.processorType = static_cast<uint8_t>((e1.a >> 12) & 0xF);
    cpu.family = static_cast<uint8_t>((e1.a >> 8) & 0xF);
    cpu.model = static_cast<uint8_t>((e1.a >> 4) & 0xF);
    cpu.stepping = static_cast<uint8_t>(e1.a & 0xF);
    cpu.features = e1.d;
    // The name takes all three queries; a processor whose queries stop
    // short of the last one gets none rather than a cut one.
    if (maxExtended >= 0x80000004u) {
      std::string name;
      for (uint32_t leaf = 0x80000002u; leaf <= 0x80000004u; ++leaf) {
        const TCpuIdRegs r = query(leaf);
        name += RegsText({r.a, r.b, r.c, r.d});
      }
      cpu.cpuName = name.substr(0, name.find('\0'));
    }
    if (maxExtended >= 0x80000005u) {
      cpu.hasCacheInfo = true;
      const TCpuIdRegs e5 = query(0x80000005u);
      cpu.l1Cache = {e5.a, e5.b, e5.c, e5.d};
    }
  }

  std::string name;
  if (vendor == "GenuineIntel") {
    cpu.cpuType = kVendorIntel;
    cpu.manufacturer = "Intel";
    if (cpu.hasCacheInfo && !cpu.hasExtendedInfo) cpu.l2CacheKb = IntelL2FromDescriptors(cpu.cacheDescriptors);
    name = IntelName(cpu);
  } else if (vendor == "CyrixInstead") {
    cpu.cpuType = kVendorCyrix;
    cpu.manufacturer = "Cyrix";
    name = CyrixName(cpu);
  } else if (vendor == "AuthenticAMD") {
    cpu.cpuType = kVendorAmd;
    cpu.manufacturer = "AMD";
    name = AmdName(cpu);
  } else if (vendor == "GenuineTMx86") {
    cpu.cpuType = kVendorTransmeta;
    cpu.manufacturer = "Transmeta";
    name = "Crusoe";
  } else {
    cpu.cpuType = kVendorOther;
    cpu.manufacturer = "Unknown";
    name = "Unknown";
  }
  if (!cpu.hasExtendedInfo) cpu.cpuName = name;
  return cpu;
}

TFreqInfo MeasureCpuSpeed(TDiagSpeedClock& clock, uint64_t counterFrequency) {
  constexpr int kMinRounds = 3;
  constexpr int kMaxRounds = 20;
  constexpr uint64_t kLeadCounts = 50;
  constexpr uint64_t kRoundCounts = 1000;
  constexpr uint64_t kMaxSpinReads = 20'000'000;
  TFreqInfo info;
  if (counterFrequency == 0) return info;
  uint64_t f1 = 0, f2 = 0, f3 = 0, sum = 0;
  uint64_t cycles = 0, micros = 0;
  auto far = [&sum](uint64_t f) { return (3 * f > sum ? 3 * f - sum : sum - 3 * f) > 3; };
  for (int round = 0; round < kMinRounds || (round < kMaxRounds && (far(f1) || far(f2) || far(f3))); ++round) {
    f3 = f2;
    f2 = f1;
    uint64_t t0 = clock.Counter(), t1 = t0, stamp0 = 0, stamp1 = 0;
    clock.BeginRound();
    // The spins compare the low 32 bits of the counts. A counter that stops
    // advancing abandons the round instead of spinning forever.
    uint64_t reads = 0;
    do {
      t1 = clock.Counter();
      stamp0 = clock.TimeStamp();
    } while (static_cast<uint32_t>(t1 - t0) < kLeadCounts && ++reads < kMaxSpinReads);
    t0 = t1;
    do {
      t1 = clock.Counter();
      stamp1 = clock.TimeStamp();
    } while (static_cast<uint32_t>(t1 - t0) < kRoundCounts && ++reads < kMaxSpinReads);
    clock.EndRound();
    if (reads >= kMaxSpinReads) continue;
    // The duration on the full 64-bit frequency; a round too short to last a
    // microsecond tells nothing and is left out.
    const uint64_t ticks = RoundDiv(static_cast<Wide>(t1 - t0) * 1000000u, counterFrequency);
    if (ticks == 0) continue;
    const uint64_t roundCycles = stamp1 - stamp0;
    micros += ticks;
    cycles += roundCycles;
    f1 = RoundDiv(roundCycles, ticks);
    sum = f1 + f2 + f3;
  }
  if (micros == 0) return info;
  uint64_t tenths = RoundDiv(static_cast<Wide>(cycles) * 10, micros);
  const uint64_t hundredths = RoundDiv(static_cast<Wide>(cycles) * 100, micros);
  if (hundredths >= 10 * tenths + 6) ++tenths;
  const uint64_t raw = RoundDiv(cycles, micros);
  const uint64_t normalised = tenths >= 10 * raw + 6 ? raw + 1 : raw;
  info.rawFreq = static_cast<uint32_t>(raw);
  info.normFreq = RoundFrequency(static_cast<uint32_t>(normalised));
  info.inCycles = static_cast<uint32_t>(cycles);
  info.exTicks = static_cast<uint32_t>(micros);
  return info;
}

void CompleteCpuInfo(TCpuInfo& cpu, bool divisionTestPassed, const std::function<bool(TFreqInfo&)>& measure) {
  cpu.divisionTestPassed = divisionTestPassed;
  cpu.frequencyInfo = TFreqInfo{};
  if (cpu.hasInstruction && (cpu.features & (1u << 4)) != 0) measure(cpu.frequencyInfo);
  cpu.mmx = cpu.hasInstruction && (cpu.features & (1u << 23)) != 0;
}

}  // namespace kv
