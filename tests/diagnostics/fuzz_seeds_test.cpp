// The fuzz seeds made by make_fuzz_seeds.py are well-formed inputs of their
// readers, so the mutations start from data that reaches the deep paths.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "diagnostics/diag_binary.h"
#include "diagnostics/file_version_info.h"
#include "diagnostics/map_scanner.h"
#include "diagnostics/pe_image.h"
#include "diagnostics/td32.h"

namespace kv {
namespace {

std::vector<uint8_t> Seed(const std::string& name) {
  std::ifstream in(std::string(KV_TEST_SOURCE_DIR) + "/tests/corpus/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzSeeds, AreReadAsIntended) {
  const auto diag = Seed("diag_binary/sample.bin");
  TDiagBinDebugScanner scanner(diag);
  ASSERT_TRUE(scanner.ValidFormat());
  uint32_t offset = 0;
  EXPECT_EQ(scanner.ProcNameFromAddr(0x190, offset), "kv::TList<int>.Add");
  EXPECT_TRUE(TDiagBinDebugScanner(Seed("diag_binary/checksum.bin")).ValidFormat());

  const auto td32 = Seed("td32/sample.tds");
  EXPECT_EQ(TDiagTD32InfoScanner(td32).ModuleNameFromAddr(0x100), "Unit1");

  const auto map = Seed("map_scanner/sample.map");
  EXPECT_EQ(TDiagMapScanner(std::string_view(reinterpret_cast<const char*>(map.data()), map.size())).ModuleNameFromAddr(0x224),
            "Main");

  const auto version = Seed("version_info/wide.bin");
  EXPECT_EQ(TDiagFileVersionInfo(version).GetVersionKeyValue(kVersionCompanyName), "Kelvarin");

  const auto image = Seed("pe_image/image.bin");
  TDiagPeQarnImage pe;
  pe.AttachView(ByteView(image.data(), image.size()), "seed.dll");
  EXPECT_EQ(pe.ExportList().Count(), 3u);
  EXPECT_EQ(pe.DebugList().size(), 1u);
  EXPECT_TRUE(pe.IsCompilerImage());
  EXPECT_EQ(FindImportEntries(pe.Image(), "kernel32.dll", 0x7FF000001000ull).size(), 1u);

  // Regression seeds: tables whose entries share one record; a name that runs to the end.
  EXPECT_TRUE(TDiagBinDebugScanner(Seed("diag_binary/regress/zero_streams.bin")).ValidFormat());
  const auto shared = Seed("pe_image/regress/shared_names.bin");
  TDiagPeQarnImage sharedPe;
  sharedPe.AttachView(ByteView(shared.data(), shared.size()), "seed.dll");
  EXPECT_EQ(sharedPe.ExportList().Count(), 100u);
  EXPECT_TRUE(sharedPe.ResourceList().FindResource(10, std::string(200, 'R')));
  const auto longName = Seed("map_scanner/regress/long_public_name.map");
  uint32_t procOffset = 0;
  EXPECT_EQ(TDiagMapScanner(std::string_view(reinterpret_cast<const char*>(longName.data()), longName.size()))
                .ProcNameFromAddr(0x90, procOffset),
            std::string(TDiagMapScanner::kMaxNameLength, 'P'));
}

}  // namespace
}  // namespace kv
