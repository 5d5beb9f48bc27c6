#include "diagnostics/debug_info_win.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "diagnostics/sys_info_win.h"
#include "base/handle.h"
#include "tests/diagnostics/td32_sample.h"

namespace kv {
namespace {

const std::string kFixtures = KV_TEST_BINARY_DIR "/diag_fixtures/";

// The return address of its call: the statement that calls it.
__attribute__((noinline)) const void* CallSite() { return __builtin_return_address(0); }

TEST(DebugInfo, MarkedStatementResolvesToUnitProcedureLineAndFile) {
  const void* site = CallSite(); const int line = __LINE__;  // both on this line
  TDiagLocationInfo info;
  ASSERT_TRUE(GetLocationInfo(static_cast<const uint8_t*>(site) - 1, info));
  EXPECT_EQ(info.unitName, "debug_info_win_test");
  EXPECT_EQ(info.procedureName,
            "kv::(anonymous namespace)::DebugInfo_MarkedStatementResolvesToUnitProcedureLineAndFile_Test.TestBody");
  EXPECT_EQ(info.lineNumber, static_cast<uint32_t>(line));
  EXPECT_EQ(info.sourceName, "debug_info_win_test.cpp");
  EXPECT_NE(dynamic_cast<const TDiagDebugInfoBinary*>(info.debugInfo), nullptr);
  // The form that answers with the info alone finds the same.
  const TDiagLocationInfo alone = GetLocationInfo(static_cast<const uint8_t*>(site) - 1);
  EXPECT_EQ(alone.procedureName, info.procedureName);
  EXPECT_EQ(alone.lineNumber, info.lineNumber);
  EXPECT_EQ(alone.offsetFromLineNumber, info.offsetFromLineNumber);
  EXPECT_EQ(alone.debugInfo, info.debugInfo);

  // The return address itself may already belong to the next statement; the flag looks one byte back.
  const std::string text = GetLocationInfoStr(site, false, true, false, true);
  std::ostringstream expected;
  expected << "(Line " << line << ", \"debug_info_win_test.cpp\")";
  EXPECT_NE(text.find(expected.str()), std::string::npos) << text;
  char head[32];
  std::snprintf(head, sizeof head, "[%016llX] ", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(site)));
  EXPECT_EQ(text.rfind(head, 0), 0u) << text;

  const std::string withModule = GetLocationInfoStr(site, true, false, true, true);
  EXPECT_EQ(withModule.substr(18, 24), "{diagnostics_tests.exe} ") << withModule;
  EXPECT_NE(withModule.find("\" + "), std::string::npos) << withModule;  // lines from the procedure's start
}

TEST(DebugInfo, AddressesOutsideAnyModulePrintBare) {
  TDiagLocationInfo info;
  const uint8_t local = 0;
  info.procedureName = "stale";
  info.lineNumber = 9;
  EXPECT_FALSE(GetLocationInfo(&local, info));
  EXPECT_EQ(info.unitName, "");
  EXPECT_EQ(info.procedureName, "");
  EXPECT_EQ(info.lineNumber, 0u);
  const TDiagLocationInfo alone = GetLocationInfo(&local);
  EXPECT_EQ(alone.address, 0u);
  EXPECT_EQ(alone.procedureName, "");
  EXPECT_EQ(alone.debugInfo, nullptr);
  char expected[32];
  std::snprintf(expected, sizeof expected, "[%016llX]", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&local)));
  EXPECT_EQ(GetLocationInfoStr(&local, false, true, true), expected);
}

TEST(DebugInfo, OwnDebugDataAgreesWithAddr2line) {
  std::ifstream oracle(KV_TEST_BINARY_DIR "/diag_addr2line.txt");
  if (!oracle) GTEST_SKIP() << "made by the diag_addr2line_oracle test";
  const auto* text = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr)) + 0x1000;
  int compared = 0, files = 0;
  std::string r, file;
  uint32_t line = 0;
  while (oracle >> r >> line >> file) {
    TDiagLocationInfo info;
    ASSERT_TRUE(GetLocationInfo(text + std::stoul(r, nullptr, 16), info)) << r;
    EXPECT_EQ(info.lineNumber, line) << r;
    if (file != "-") {
      EXPECT_EQ(info.sourceName, file) << r;
      ++files;
    }
    ++compared;
  }
  EXPECT_GT(compared, 1900);
  EXPECT_GT(files, 20);
}

TEST(DebugInfo, SourcesOfOtherModules) {
  // A ".diag" file beside the library.
  const ModuleHandle withFile(LoadLibraryA((kFixtures + "diag_with_file.dll").c_str()));
  ASSERT_TRUE(withFile);
  const auto* alpha = reinterpret_cast<const uint8_t*>(GetProcAddress(withFile.Get(), "KvFixtureAlpha"));
  TDiagLocationInfo info;
  ASSERT_TRUE(GetLocationInfo(alpha + 1, info));
  EXPECT_NE(dynamic_cast<const TDiagDebugInfoBinary*>(info.debugInfo), nullptr);
  EXPECT_EQ(info.unitName, "fixture_dll");
  EXPECT_EQ(info.procedureName, "KvFixtureAlpha");
  EXPECT_EQ(info.sourceName, "fixture_dll.c");
  EXPECT_EQ(info.lineNumber, 2u);

  // The same data under another module's name is refused; the exports answer.
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kv_diag_sources";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(kFixtures + "diag_with_file.dll", folder / "diag_renamed.dll");
  std::filesystem::copy_file(kFixtures + "diag_with_file.diag", folder / "diag_renamed.diag");
  const ModuleHandle renamed(LoadLibraryA((folder / "diag_renamed.dll").string().c_str()));
  ASSERT_TRUE(renamed);
  const auto* beta = reinterpret_cast<const uint8_t*>(GetProcAddress(renamed.Get(), "KvFixtureBeta"));
  ASSERT_TRUE(GetLocationInfo(beta + 2, info));
  EXPECT_NE(dynamic_cast<const TDiagDebugInfoExports*>(info.debugInfo), nullptr);
  EXPECT_EQ(info.procedureName, "KvFixtureBeta");
  EXPECT_EQ(info.offsetFromProcName, 2u);
  EXPECT_EQ(info.unitName, "");

  // A module that no source serves is tried again: a ".map" file made later serves it.
  std::filesystem::copy_file(kFixtures + "diag_plain.dll", folder / "diag_plain.dll");
  const ModuleHandle plain(LoadLibraryA((folder / "diag_plain.dll").string().c_str()));
  ASSERT_TRUE(plain);
  EXPECT_EQ(DebugInfoSourceOf(plain.Get()), nullptr);
  std::ofstream(folder / "diag_plain.map", std::ios::binary)
      << "\r\n Start         Length     Name                   Class\r\n"
      << " 0001:00000000 00001000H .text                  CODE\r\n\r\n"
      << "Detailed map of segments\r\n\r\n"
      << " 0001:00000000 00001000 C=CODE     S=.text    G=(none)   M=PlainUnit ACBP=A9\r\n\r\n"
      << "  Address         Publics by Value\r\n\r\n"
      << " 0001:00000000       kv_plain_value\r\n\r\n"
      << "Line numbers for PlainUnit(plain_dll.c) segment .text\r\n\r\n"
      << "     2 0001:00000000     2 0001:00000004\r\n";
  TDiagDebugInfoSource* source = DebugInfoSourceOf(plain.Get());
  ASSERT_NE(source, nullptr);
  ASSERT_TRUE(source->GetLocationInfo(reinterpret_cast<uint64_t>(plain.Get()) + 0x1000 + 6, info));
  EXPECT_EQ(info.unitName, "PlainUnit");
  EXPECT_EQ(info.procedureName, "kv_plain_value");
  EXPECT_EQ(info.sourceName, "plain_dll.c");
}

TEST(DebugInfo, HandWrittenTdsFile) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kv_diag_tds";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  // A ".tds" file beside a library without other debug data (its exports come later).
  std::filesystem::copy_file(kFixtures + "diag_version_badkey.dll", folder / "diag_plain_tds.dll");
  const diagtest::Bytes td32 = diagtest::Sample().Build();
  std::ofstream(folder / "diag_plain_tds.tds", std::ios::binary)
      .write(reinterpret_cast<const char*>(td32.data()), static_cast<std::streamsize>(td32.size()));
  const ModuleHandle plain(LoadLibraryA((folder / "diag_plain_tds.dll").string().c_str()));
  ASSERT_TRUE(plain);
  TDiagLocationInfo info;
  TDiagDebugInfoSource* source = DebugInfoSourceOf(plain.Get());
  ASSERT_NE(dynamic_cast<TDiagDebugInfoTD32*>(source), nullptr);
  ASSERT_TRUE(source->GetLocationInfo(reinterpret_cast<uint64_t>(plain.Get()) + 0x1000 + 0x114, info));
  EXPECT_EQ(info.unitName, "Unit1");
  EXPECT_EQ(info.procedureName, "TForm1.Click");
  EXPECT_EQ(info.lineNumber, 12u);
  EXPECT_EQ(info.sourceName, "Unit1.pas");
}

// Sets the type of the image file's first debug directory entry.
void SetFirstDebugEntryType(const std::filesystem::path& path, uint32_t type) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto& dos = *reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
  const auto& nt = *reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos.e_lfanew);
  const DWORD rva = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG].VirtualAddress;
  ASSERT_NE(rva, 0u);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(&nt);
  for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i, ++section) {
    if (rva < section->VirtualAddress || rva >= section->VirtualAddress + section->SizeOfRawData) continue;
    const size_t at = section->PointerToRawData + (rva - section->VirtualAddress) + offsetof(IMAGE_DEBUG_DIRECTORY, Type);
    file.seekp(static_cast<std::streamoff>(at));
    file.write(reinterpret_cast<const char*>(&type), sizeof type);
    return;
  }
  FAIL() << "no section holds the debug directory";
}

// An image of the compiler's kind whose one debug entry is of type 0 keeps
// its TD32 data there: when that data is not TD32, a ".tds" file beside it
// is not read. Any other image reads the ".tds" file.
TEST(DebugInfo, TdsFileOnlyBesideImagesWithoutTheirOwnEntry) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kv_diag_tds_entry";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const diagtest::Bytes td32 = diagtest::Sample().Build();
  const struct {
    const char* name;
    bool typeZero;
    bool td32;
  } cases[] = {{"diag_entry_codeview", false, true}, {"diag_entry_zero", true, false}};
  for (const auto& c : cases) {
    const std::filesystem::path dll = folder / (std::string(c.name) + ".dll");
    std::filesystem::copy_file(kFixtures + "diag_buildid.dll", dll);
    if (c.typeZero) SetFirstDebugEntryType(dll, 0);
    std::ofstream(folder / (std::string(c.name) + ".tds"), std::ios::binary)
        .write(reinterpret_cast<const char*>(td32.data()), static_cast<std::streamsize>(td32.size()));
    const ModuleHandle module(LoadLibraryA(dll.string().c_str()));
    ASSERT_TRUE(module) << c.name;
    TDiagPeQarnImage image;
    image.AttachLoadedModule(module.Get());
    ASSERT_TRUE(image.IsCompilerImage());
    ASSERT_EQ(image.DebugList().size(), 1u);
    EXPECT_EQ(image.DebugList()[0].type == 0, c.typeZero);
    // A source of its own: the list may hold one of an earlier module at the same base.
    TDiagDebugInfoTD32 source(module.Get());
    EXPECT_EQ(source.InitializeSource(), c.td32) << c.name;
  }
}

TEST(DebugInfo, SystemLibraryExportsAgreeWithGetProcAddress) {
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  for (const char* name : {"GetTickCount", "CreateFileA", "VirtualQuery", "GetModuleFileNameA"}) {
    const auto* address = reinterpret_cast<const uint8_t*>(GetProcAddress(kernel32, name));
    ASSERT_NE(address, nullptr) << name;
    TDiagLocationInfo info;
    if (ModuleFromAddr(address) != kernel32) continue;  // forwarded to another library
    ASSERT_TRUE(GetLocationInfo(address, info)) << name;
    EXPECT_EQ(info.offsetFromProcName, 0u);
    // The export source starts both offsets at 0 itself, also for an info
    // that held an earlier answer.
    TDiagDebugInfoSource* source = DebugInfoSourceOf(kernel32);
    ASSERT_NE(source, nullptr);
    TDiagLocationInfo used;
    used.offsetFromProcName = 12;
    used.offsetFromLineNumber = -5;
    ASSERT_TRUE(source->GetLocationInfo(reinterpret_cast<uint64_t>(address), used)) << name;
    EXPECT_EQ(used.offsetFromProcName, 0u);
    EXPECT_EQ(used.offsetFromLineNumber, 0);
    // Aliases share an address; the one found must resolve to the same code.
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(GetProcAddress(kernel32, info.procedureName.c_str())), address) << name;
  }
}

}  // namespace
}  // namespace kv
