#include "diagnostics/sys_info_win.h"

#include <gtest/gtest.h>

#include "diagnostics/diag_utils.h"

namespace kv {
namespace {

// The version's texts are checked in the report's system line (exception_report_win_test).
TEST(SysInfoWin, WineReportsWindows7Workstation) {
  // Wine's default prefix: 6.1 build 7601 "Service Pack 1", "ProductType" "WinNT", "CSDVersion" $0100.
  const TDiagSysInfo& info = SysInfo();
  EXPECT_TRUE(info.isWinNT);
  EXPECT_GE(info.processorCount, 1u);
  EXPECT_EQ(info.pageSize, 4096u);
  EXPECT_EQ(info.allocationGranularity, 65536u);
  EXPECT_EQ(GetWindowsVersion(), kWinUnknown);
  EXPECT_EQ(info.windowsVersion, kWinUnknown);
  EXPECT_FALSE(info.isWinNT3);
  EXPECT_EQ(&InitSysInfo(), &info);
  EXPECT_EQ(NtProductType(), kPtWorkStation);
  EXPECT_EQ(GetWindowsServicePackVersion(), 1);
}

TEST(SysInfoWin, ProcessorRecord) {
  const TCpuInfo cpu = GetCpuInfo();
  EXPECT_TRUE(cpu.hasInstruction);
  EXPECT_TRUE(cpu.divisionTestPassed);
  EXPECT_EQ(cpu.vendorIdString.size(), 12u);
  EXPECT_FALSE(cpu.manufacturer.empty());
  if ((cpu.features & (1u << 4)) != 0) {
    EXPECT_GT(cpu.frequencyInfo.rawFreq, 100u);
    EXPECT_EQ(RoundFrequency(cpu.frequencyInfo.normFreq), cpu.frequencyInfo.normFreq);
  }
  const uint64_t a = ReadTimeStampCounter();
  EXPECT_GT(ReadTimeStampCounter(), a);
}

TEST(SysInfoWin, ModulesOfThisProcess) {
  std::vector<TDiagModuleEntry> modules;
  ASSERT_TRUE(LoadedModulesList(modules, GetCurrentProcessId(), false));
  const HMODULE exe = GetModuleHandleA(nullptr);
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  bool sawExe = false, sawKernel32 = false;
  for (const TDiagModuleEntry& m : modules) {
    EXPECT_FALSE(m.path.empty());
    if (m.base == exe) sawExe = PathExtractFileName(m.path) == "diagnostics_tests.exe";
    if (m.base == kernel32) sawKernel32 = true;
  }
  EXPECT_TRUE(sawExe);
  EXPECT_TRUE(sawKernel32);
  std::vector<TDiagModuleEntry> handles;
  ASSERT_TRUE(LoadedModulesList(handles, GetCurrentProcessId(), true));
  EXPECT_EQ(handles.size(), modules.size());
  EXPECT_TRUE(handles.front().path.empty());
  EXPECT_FALSE(LoadedModulesList(handles, 0xFFFFFFF0u, false));

  EXPECT_EQ(ModuleFromAddr(reinterpret_cast<const void*>(&SysInfo)), exe);
  EXPECT_EQ(ModuleFromAddr(reinterpret_cast<const void*>(GetProcAddress(kernel32, "GetTickCount"))), kernel32);
  EXPECT_EQ(ModuleFromAddr(nullptr), nullptr);
  EXPECT_TRUE(IsSystemModule(exe));
  EXPECT_FALSE(IsSystemModule(kernel32));
  EXPECT_FALSE(IsSystemModule(nullptr));
}

}  // namespace
}  // namespace kv
