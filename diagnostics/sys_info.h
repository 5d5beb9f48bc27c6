#pragma once
// The byte-level half of the system information: naming tables for Windows
// versions, product types and processors (from recorded CPUID values), the
// frequency rounding and the frequency measurement over an injectable clock.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace kv {

// Windows versions of the NT family; 0 for everything newer than XP.
enum TDiagWindowsVersion : int {
  kWinUnknown = 0,
  kWinNT31 = 6,
  kWinNT35 = 7,
  kWinNT351 = 8,
  kWinNT4 = 9,
  kWin2000 = 10,
  kWinXP = 11,
};
TDiagWindowsVersion WindowsVersionOf(uint32_t major, uint32_t minor);
// The version's name ("Windows 2000", "Windows NT 4.0" ...); empty for 0.
std::string WindowsVersionString(TDiagWindowsVersion version, uint32_t minor);

// Product types: 0 unknown, 1 Workstation ... 6 Datacenter Server.
enum TDiagNtProductType : int {
  kPtUnknown = 0,
  kPtWorkStation,
  kPtServer,
  kPtAdvancedServer,
  kPtPersonal,
  kPtProfessional,
  kPtDatacenterServer,
};
const char* NtProductTypeName(TDiagNtProductType type);
// The product type of the registry's "ProductType" text ("WinNT" gives Workstation).
TDiagNtProductType NtProductTypeFromText(const std::string& text);
// The service pack of the registry's "CSDVersion" value ($0100 gives 1).
int ServicePackFromCsdVersion(uint32_t csdVersion);

// The frequency moved to the nearest step (0 20 33 50 60 66 80 90 100) of its hundred.
uint32_t RoundFrequency(uint32_t mhz);

struct TFreqInfo {
  uint32_t rawFreq = 0;
  uint32_t normFreq = 0;
  uint32_t inCycles = 0;
  uint32_t exTicks = 0;
};

enum TDiagCpuVendor : uint8_t { kVendorOther = 0, kVendorIntel, kVendorCyrix, kVendorAmd, kVendorTransmeta };

struct TCpuInfo {
  bool hasInstruction = false;
  bool mmx = false;
  bool divisionTestPassed = false;
  bool hasCacheInfo = false;
  bool hasExtendedInfo = false;
  uint8_t cpuType = 0;  // vendor code
  uint8_t processorType = 0;
  uint8_t family = 0;
  uint8_t model = 0;
  uint8_t stepping = 0;
  uint32_t features = 0;
  TFreqInfo frequencyInfo;
  std::string vendorIdString;  // 12 characters
  std::string manufacturer;
  std::string cpuName;
  uint32_t l2CacheKb = 0;
  std::array<uint32_t, 4> cacheDescriptors{};
  uint8_t brandIndex = 0;
  std::array<uint32_t, 4> l1Cache{};
};

struct TCpuIdRegs {
  uint32_t a = 0, b = 0, c = 0, d = 0;
};
using TCpuIdQuery = std::function<TCpuIdRegs(uint32_t leaf)>;

// Identifies and names the processor from the answers of query; without the
// instruction the record says family 4 and nothing else.
TCpuInfo IdentifyCpu(bool hasInstruction, const TCpuIdQuery& query);

// Completes an identified record: the division test's result, MMX (feature
// bit 23) and the frequency, measured once by measure and only when the
// processor has the time-stamp counter (feature bit 4); else 0 MHz.
void CompleteCpuInfo(TCpuInfo& cpu, bool divisionTestPassed, const std::function<bool(TFreqInfo&)>& measure);

// The clock of the frequency measurement: the performance counter and the
// time-stamp counter, with a hook around each round (priority raising).
class TDiagSpeedClock {
 public:
  virtual ~TDiagSpeedClock() = default;
  virtual uint64_t Counter() = 0;
  virtual uint64_t TimeStamp() = 0;
  virtual void BeginRound() {}
  virtual void EndRound() {}
};

// Measures the processor frequency against a counter of the given frequency
// (counts per second); 3 to 20 rounds of about 1050 counts. Rounds that last
// 0 µs are left out; with none left the frequency is 0.
TFreqInfo MeasureCpuSpeed(TDiagSpeedClock& clock, uint64_t counterFrequency);

}  // namespace kv
