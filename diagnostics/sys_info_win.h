#pragma once
// System information of the running machine (Windows NT family): version,
// edition, service pack, processor and frequency, loaded modules.
#include <windows.h>
// winnt.h makes ReadTimeStampCounter a macro for __rdtsc; the function below
// has that name, and as a macro its body would call itself.
#undef ReadTimeStampCounter

#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/sys_info.h"

namespace kv {

// Values read once, when the module initialises (InitSysInfo).
struct TDiagSysInfo {
  uint32_t processorCount = 0;
  uint32_t pageSize = 0;
  uint32_t allocationGranularity = 0;
  bool isWinNT = false;
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint32_t buildNumber = 0;
  std::string servicePackText;
  TDiagWindowsVersion windowsVersion = kWinUnknown;  // the one version flag set
  bool isWinNT3 = false;                             // any NT 3.x
};
// Reads the values (on the first call; the module's initialisation makes it).
const TDiagSysInfo& InitSysInfo();
const TDiagSysInfo& SysInfo();

TDiagWindowsVersion GetWindowsVersion();
std::string GetWindowsVersionString();
TDiagNtProductType NtProductType();
std::string NtProductTypeString();
int GetWindowsServicePackVersion();

// The processor record, measured anew on each call.
TCpuInfo GetCpuInfo();
// Measures the frequency into info; false (info unchanged) without a performance counter.
bool GetCPUSpeed(TFreqInfo& info);
uint64_t ReadTimeStampCounter();

struct TDiagModuleEntry {
  std::string path;  // empty when only handles were asked for
  HMODULE base = nullptr;
};
// The modules of a process; false when its module list could not be read.
bool LoadedModulesList(std::vector<TDiagModuleEntry>& list, DWORD processId, bool handlesOnly);
// The allocation base of the committed region holding address, or null.
HMODULE ModuleFromAddr(const void* address);
// True for the program's own executable.
bool IsSystemModule(HMODULE module);

}  // namespace kv
