#include "diagnostics/pe_image_win.h"

#include <imagehlp.h>
#include <psapi.h>

#include "diagnostics/diag_errors.h"
#include "diagnostics/diag_stack_win.h"
#include "base/handle.h"
#include "tests/diagnostics/pe_test_image.h"

namespace kv {
namespace {

const std::string kFixtures = KV_TEST_BINARY_DIR "/diag_fixtures/";

std::vector<HMODULE> LoadedModules() {
  HMODULE modules[512];
  DWORD needed = 0;
  EXPECT_TRUE(EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &needed));
  return {modules, modules + std::min<size_t>(needed / sizeof(HMODULE), std::size(modules))};
}

TEST(PeImageWin, SectionsAndExportsOfEveryLoadedModuleAgreeWithTheSystem) {
  int checkedExports = 0;
  for (HMODULE module : LoadedModules()) {
    TDiagPeImage image;
    image.AttachLoadedModule(module);
    ASSERT_TRUE(image.StatusOK()) << image.FileName();
    SCOPED_TRACE(image.FileName());
    const auto* nt = ImageNtHeader(module);
    ASSERT_NE(nt, nullptr);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(module) + image.NtHeaders(), reinterpret_cast<const uint8_t*>(nt));
    EXPECT_EQ(image.SizeOfImage(), nt->OptionalHeader.SizeOfImage);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    ASSERT_EQ(image.Sections().size(), nt->FileHeader.NumberOfSections);
    for (const TDiagPeSectionHeader& s : image.Sections()) {
      EXPECT_EQ(s.name, std::string(reinterpret_cast<const char*>(section->Name), strnlen(reinterpret_cast<const char*>(section->Name), 8)));
      EXPECT_EQ(s.virtualAddress, section->VirtualAddress);
      ++section;
    }
    ULONG size = 0;
    const void* exports = ImageDirectoryEntryToData(module, TRUE, IMAGE_DIRECTORY_ENTRY_EXPORT, &size);
    const auto data = image.DirectoryEntryToData(kImageDirectoryEntryExport);
    EXPECT_EQ(exports, data ? static_cast<const void*>(data->Data()) : nullptr);
    for (const TDiagPeExportFuncItem& item : image.ExportList().Items()) {
      if (item.forwardedName) continue;
      EXPECT_EQ(reinterpret_cast<const uint8_t*>(GetProcAddress(module, item.name.c_str())),
                reinterpret_cast<const uint8_t*>(module) + item.address)
          << item.name;
      ++checkedExports;
    }
  }
  EXPECT_GT(checkedExports, 500);
}

TEST(PeImageWin, BuildIdLibraryHasOneCodeViewEntryAndTheRcDataMarker) {
  const ModuleHandle library(LoadLibraryA((kFixtures + "diag_buildid.dll").c_str()));
  ASSERT_TRUE(library);
  TDiagPeQarnImage image;
  image.AttachLoadedModule(library.Get());
  ASSERT_TRUE(image.StatusOK());
  ASSERT_EQ(image.DebugList().size(), 1u);
  EXPECT_EQ(image.DebugList()[0].type, 2u);
  EXPECT_TRUE(image.IsCompilerImage());
  EXPECT_FALSE(image.IsPackage());
  EXPECT_EQ(image.ExportList().Count(), 2u);

  TDiagPeQarnImage self;
  self.AttachLoadedModule(GetModuleHandleA(nullptr));
  EXPECT_FALSE(self.IsCompilerImage());
}

TEST(PeImageWin, AttachToNothingOrNonImages) {
  TDiagPeImage image;
  image.AttachLoadedModule(nullptr);
  EXPECT_EQ(image.GetStatus(), TDiagPeImage::kNotLoaded);
  static const uint8_t notAnImage[4096] = {'M', 'Z'};
  image.AttachLoadedModule(notAnImage);
  EXPECT_EQ(image.GetStatus(), TDiagPeImage::kNotPe);
  EXPECT_FALSE(LoadedModuleView(reinterpret_cast<const void*>(0x10)).has_value());

  // NT headers far past the first page are found where the DOS header says.
  diagtest::TestImage moved(0x4000);
  constexpr uint32_t kFar = 0x2F00;
  std::copy_n(moved.Raw().begin() + diagtest::TestImage::kNt, 24 + 240, moved.Raw().begin() + kFar);
  moved.U32(60, kFar);
  void* memory = VirtualAlloc(nullptr, moved.Raw().size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(memory, nullptr);
  std::memcpy(memory, moved.Raw().data(), moved.Raw().size());
  image.AttachLoadedModule(memory);
  EXPECT_TRUE(image.StatusOK());
  EXPECT_EQ(image.NtHeaders(), kFar);
  TDiagModuleInfo info;
  EXPECT_TRUE(ModuleInfoFromImage(static_cast<HMODULE>(memory), false, info));
  EXPECT_EQ(info.size, 0x4000u);
  VirtualFree(memory, 0, MEM_RELEASE);

  // A DOS header pointing into memory that is not readable: no image, for the
  // module lists as for the reader.
  auto* reserved = static_cast<uint8_t*>(VirtualAlloc(nullptr, 0x20000, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(reserved, nullptr);
  ASSERT_NE(VirtualAlloc(reserved, 0x1000, MEM_COMMIT, PAGE_READWRITE), nullptr);
  reserved[0] = 'M';
  reserved[1] = 'Z';
  reserved[60] = 0x00;
  reserved[61] = 0x80;  // 0x8000: reserved, never committed
  EXPECT_FALSE(LoadedModuleView(reserved).has_value());
  EXPECT_FALSE(ModuleInfoFromImage(reinterpret_cast<HMODULE>(reserved), false, info));
  VirtualFree(reserved, 0, MEM_RELEASE);
}

DWORD WINAPI FakeTickCount() { return 4242; }
// Calls through the import table each time (a caller may keep the import's address).
__attribute__((noinline)) DWORD TickCountThroughImport() { return GetTickCount(); }

TEST(PeImageWin, ReplaceImportOfTheTestProgramsOwnKernel32Import) {
  const HMODULE self = GetModuleHandleA(nullptr);
  auto* real = reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount"));
  ASSERT_NE(real, nullptr);
  ASSERT_TRUE(TDiagPeMapImgHooks::ReplaceImport(self, "KERNEL32.dll", real, reinterpret_cast<const void*>(&FakeTickCount)));
  const DWORD faked = TickCountThroughImport();
  EXPECT_TRUE(TDiagPeMapImgHooks::ReplaceImport(self, "kernel32.dll", reinterpret_cast<const void*>(&FakeTickCount), real));
  EXPECT_EQ(faked, 4242u);
  EXPECT_NE(TickCountThroughImport(), 4242u);
  EXPECT_FALSE(TDiagPeMapImgHooks::ReplaceImport(self, "nosuch.dll", real, real));
  EXPECT_EQ(TDiagPeMapImgHooks::SystemBase(), self);
}

TEST(PeImageWin, ReplaceImportInBothDescriptorsOfAReadOnlySyntheticImage) {
  diagtest::TestImage image;
  const uint32_t d = 0x2000;
  image.SetDirectory(1, d, 60);
  image.Text(0x2400, "KERNEL32.dll");
  const auto from = reinterpret_cast<uint64_t>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount"));
  for (uint32_t i = 0; i < 2; ++i) {
    image.U32(d + 20 * i + 12, 0x2400);
    image.U32(d + 20 * i + 16, 0x2100 + 0x100 * i);
    image.U64(0x2100 + 0x100 * i, from);
  }
  void* memory = VirtualAlloc(nullptr, image.Raw().size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(memory, nullptr);
  std::memcpy(memory, image.Raw().data(), image.Raw().size());
  DWORD previous = 0;
  ASSERT_TRUE(VirtualProtect(memory, image.Raw().size(), PAGE_READONLY, &previous));
  const auto* to = reinterpret_cast<const void*>(&FakeTickCount);
  EXPECT_TRUE(TDiagPeMapImgHooks::ReplaceImport(memory, "kernel32.dll", reinterpret_cast<const void*>(from), to));
  const auto* bytes = static_cast<const uint8_t*>(memory);
  EXPECT_EQ(*reinterpret_cast<const void* const*>(bytes + 0x2100), to);
  EXPECT_EQ(*reinterpret_cast<const void* const*>(bytes + 0x2200), to);
  MEMORY_BASIC_INFORMATION info;
  ASSERT_NE(VirtualQuery(bytes + 0x2100, &info, sizeof info), 0u);
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READONLY));  // the protection comes back
  VirtualFree(memory, 0, MEM_RELEASE);
}

TEST(PeImageWin, SectionStream) {
  const HMODULE self = GetModuleHandleA(nullptr);
  TDiagPeSectionStream text(self, ".text");
  EXPECT_GT(text.Size(), 0u);
  EXPECT_EQ(text.Memory(), reinterpret_cast<const uint8_t*>(self) + text.SectionHeader().virtualAddress);
  try {
    TDiagPeSectionStream missing(self, "NOPE");
    ADD_FAILURE() << "found";
  } catch (const EDiagError& e) {
    EXPECT_STREQ(e.what(), "Section \"NOPE\" not found");
  }
  try {
    text.Write("x", 1);
    ADD_FAILURE() << "written";
  } catch (const EDiagError& e) {
    EXPECT_STREQ(e.what(), "Can't write to a read-only resource stream");
  }
}

}  // namespace
}  // namespace kv
