#include "diagnostics/sys_info_win.h"

#include <cpuid.h>
#include <psapi.h>
#include <x86intrin.h>

#include "diagnostics/diag_file_utils_win.h"
#include "base/handle.h"

namespace kv {

namespace {

TDiagSysInfo ReadSysInfo() {
  TDiagSysInfo info;
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  info.processorCount = system.dwNumberOfProcessors;
  info.pageSize = system.dwPageSize;
  info.allocationGranularity = system.dwAllocationGranularity;
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version)) {
    info.isWinNT = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    info.majorVersion = version.dwMajorVersion;
    info.minorVersion = version.dwMinorVersion;
    info.buildNumber = version.dwBuildNumber;
    info.servicePackText = version.szCSDVersion;
  }
  if (info.isWinNT) {
    info.windowsVersion = WindowsVersionOf(info.majorVersion, info.minorVersion);
    info.isWinNT3 = info.majorVersion == 3;
  }
  return info;
}

// Whether the ID bit (21) of the flags register can be toggled, which tells
// that the processor has the identification instruction. (The system keeps
// no red zone below the stack pointer, so pushing here is safe.)
bool CpuIdAvailable() {
  uint64_t before = 0, after = 0;
  __asm__ volatile(
      "pushfq\n\t"
      "popq %0\n\t"
      "movq %0, %1\n\t"
      "xorq $0x200000, %1\n\t"
      "pushq %1\n\t"
      "popfq\n\t"
      "pushfq\n\t"
      "popq %1\n\t"
      "pushq %0\n\t"
      "popfq"
      : "=&r"(before), "=&r"(after)
      :
      : "cc", "memory");
  return ((before ^ after) & 0x200000u) != 0;
}

// The extended version query; false when it fails.
bool VersionEx(OSVERSIONINFOEXA& out) {
  out = {};
  out.dwOSVersionInfoSize = sizeof out;
  return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&out)) != 0;
}

// The performance counter and time-stamp counter; each round runs at
// time-critical priority, restored at its end.
class SystemSpeedClock : public TDiagSpeedClock {
 public:
  uint64_t Counter() override {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart);
  }
  uint64_t TimeStamp() override { return __rdtsc(); }
  void BeginRound() override {
    previous_ = GetThreadPriority(GetCurrentThread());
    raised_ = previous_ != THREAD_PRIORITY_ERROR_RETURN &&
              SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
  }
  void EndRound() override {
    if (raised_) SetThreadPriority(GetCurrentThread(), previous_);
    raised_ = false;
  }

 private:
  int previous_ = 0;
  bool raised_ = false;
};

bool TestFDIVInstruction() {
  volatile double t = 2658955.0;
  volatile double b = 3.141592653589793;
  return t - (t / b) * b < 1.0;
}

}  // namespace

const TDiagSysInfo& InitSysInfo() {
  static const TDiagSysInfo info = ReadSysInfo();
  return info;
}

namespace {
// The module's initialisation reads the values; later calls only look.
[[maybe_unused]] const TDiagSysInfo& gSysInfoAtStart = InitSysInfo();
}  // namespace

const TDiagSysInfo& SysInfo() { return InitSysInfo(); }

TDiagWindowsVersion GetWindowsVersion() { return SysInfo().windowsVersion; }

std::string GetWindowsVersionString() { return WindowsVersionString(GetWindowsVersion(), SysInfo().minorVersion); }

int GetWindowsServicePackVersion() {
  const TDiagWindowsVersion version = GetWindowsVersion();
  if (version == kWin2000 || version == kWinXP) {
    OSVERSIONINFOEXA ex;
    return VersionEx(ex) ? ex.wServicePackMajor : 0;
  }
  return ServicePackFromCsdVersion(
      RegReadIntegerDef(HKEY_LOCAL_MACHINE, "\\SYSTEM\\CurrentControlSet\\Control\\Windows\\", "CSDVersion", 0));
}

TDiagNtProductType NtProductType() {
  const TDiagWindowsVersion version = GetWindowsVersion();
  OSVERSIONINFOEXA ex;
  TDiagNtProductType type = kPtUnknown;
  if (version == kWinNT4 && GetWindowsServicePackVersion() >= 6) {
    if (VersionEx(ex)) type = ex.wProductType == VER_NT_WORKSTATION ? kPtWorkStation : kPtServer;
  } else if (version == kWin2000) {
    if (VersionEx(ex)) {
      if (ex.wProductType == VER_NT_SERVER) {
        type = (ex.wSuiteMask & VER_SUITE_DATACENTER) != 0   ? kPtDatacenterServer
               : (ex.wSuiteMask & VER_SUITE_ENTERPRISE) != 0 ? kPtAdvancedServer
                                                              : kPtServer;
      } else if (ex.wProductType == VER_NT_WORKSTATION) {
        type = kPtProfessional;
      }
    }
  } else if (version == kWinXP) {
    if (VersionEx(ex) && ex.wProductType == VER_NT_WORKSTATION) {
      type = (ex.wSuiteMask & VER_SUITE_PERSONAL) != 0 ? kPtPersonal : kPtProfessional;
    }
  }
  if (type == kPtUnknown) {
    type = NtProductTypeFromText(
        RegReadStringDef(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\ProductOptions", "ProductType", ""));
  }
  return type;
}

std::string NtProductTypeString() { return NtProductTypeName(NtProductType()); }

uint64_t ReadTimeStampCounter() { return __rdtsc(); }

bool GetCPUSpeed(TFreqInfo& info) {
  LARGE_INTEGER frequency;
  if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) return false;
  SystemSpeedClock clock;
  info = MeasureCpuSpeed(clock, static_cast<uint64_t>(frequency.QuadPart));
  return true;
}

TCpuInfo GetCpuInfo() {
  TCpuInfo cpu = IdentifyCpu(CpuIdAvailable(), [](uint32_t leaf) {
    TCpuIdRegs r;
    __cpuid(leaf, r.a, r.b, r.c, r.d);
    return r;
  });
  CompleteCpuInfo(cpu, TestFDIVInstruction(), [](TFreqInfo& frequency) { return GetCPUSpeed(frequency); });
  return cpu;
}

bool LoadedModulesList(std::vector<TDiagModuleEntry>& list, DWORD processId, bool handlesOnly) {
  list.clear();
  const KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process) return false;
  auto add = [&](HMODULE module) {
    MODULEINFO info{};
    if (!GetModuleInformation(process.Get(), module, &info, sizeof info)) return;
    TDiagModuleEntry entry;
    entry.base = static_cast<HMODULE>(info.lpBaseOfDll);
    if (!handlesOnly) {
      char path[MAX_PATH + 1];
      const DWORD n = GetModuleFileNameExA(process.Get(), module, path, MAX_PATH);
      if (n == 0) return;
      entry.path.assign(path, n);
    }
    list.push_back(std::move(entry));
  };
  DWORD needed = 0;
  if (EnumProcessModules(process.Get(), nullptr, 0, &needed)) {
    if (needed == 0) return true;
    std::vector<HMODULE> modules(needed / sizeof(HMODULE) + 16);
    if (!EnumProcessModules(process.Get(), modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)),
                            &needed)) {
      return false;
    }
    modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
    for (HMODULE module : modules) add(module);
    return true;
  }
  // The first module query failed: walk the address space for image allocations.
  MEMORY_BASIC_INFORMATION region;
  const uint8_t* address = nullptr;
  const void* previous = nullptr;
  bool first = true;
  while (VirtualQueryEx(process.Get(), address, &region, sizeof region) != 0) {
    first = false;
    if (region.AllocationBase != previous && region.Type == MEM_IMAGE) {
      add(static_cast<HMODULE>(region.AllocationBase));
    }
    previous = region.AllocationBase;
    const uint8_t* next = static_cast<const uint8_t*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return !first;
}

HMODULE ModuleFromAddr(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(address, &info, sizeof info) == 0 || info.State != MEM_COMMIT) return nullptr;
  return static_cast<HMODULE>(info.AllocationBase);
}

bool IsSystemModule(HMODULE module) { return module != nullptr && module == GetModuleHandleA(nullptr); }

}  // namespace kv
