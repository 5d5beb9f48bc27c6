#include "diagnostics/pe_image.h"

#include "diagnostics/diag_errors.h"
#include "tests/diagnostics/pe_test_image.h"
#include "tests/support/allocation_meter.h"

namespace kv {
namespace {

using namespace diagtest;

ByteView View(const TestImage& image) { return ByteView(image.Raw().data(), image.Raw().size()); }

TEST(PeImage, HeaderCheck) {
  TestImage good;
  EXPECT_EQ(PeMapImgNtHeaders(View(good)), TestImage::kNt);
  struct Case {
    const char* name;
    uint32_t at;
    uint32_t value;
    int bytes;
  };
  const Case cases[] = {
      {"no MZ", 0, 0x5A4E, 2},
      {"offset 0", 60, 0, 4},
      {"offset past the end", 60, 0x4000 - 100, 4},
      {"wrong signature", TestImage::kNt, 0x00004551, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestImage bad;
    SetLe(bad.Raw(), c.at, c.value, c.bytes);
    EXPECT_FALSE(PeMapImgNtHeaders(View(bad)).has_value());
    TDiagPeImage reader;
    reader.AttachView(View(bad), "bad.dll");
    EXPECT_EQ(reader.GetStatus(), TDiagPeImage::kNotPe);
  }
  // The whole PE32+ header must fit: one byte short is not an image.
  const ByteView full = View(good);
  EXPECT_FALSE(PeMapImgNtHeaders(*full.Sub(0, TestImage::kNt + kPe32PlusNtHeadersSize - 1)).has_value());
  EXPECT_TRUE(PeMapImgNtHeaders(*full.Sub(0, TestImage::kNt + kPe32PlusNtHeadersSize)).has_value());

  TestImage pe32;
  pe32.U16(TestImage::kNt + 24, 0x10B);
  TDiagPeImage strict(false);
  try {
    strict.AttachView(View(pe32), "pe32.dll");
    ADD_FAILURE() << "attached";
  } catch (const EDiagError& e) {
    EXPECT_STREQ(e.what(), "This is not a PE format");
  }
}

TEST(PeImage, HeaderFieldsAndSections) {
  TestImage image;
  image.AddSection(".text", 0x1000, 0x800);
  image.AddSection("DIAGINFO", 0x2000, 0x100);
  TDiagPeImage reader;
  reader.AttachView(View(image), "x.dll");
  ASSERT_TRUE(reader.StatusOK());
  EXPECT_EQ(reader.ImageBase(), 0x140000000ull);
  ASSERT_EQ(reader.Sections().size(), 2u);
  // An 8-character name has no terminating zero.
  EXPECT_EQ(PeMapImgFindSection(View(image), TestImage::kNt, "DIAGINFO"), TestImage::kSections + 40);
  EXPECT_FALSE(PeMapImgFindSection(View(image), TestImage::kNt, "diaginfo").has_value());
  EXPECT_FALSE(PeMapImgFindSection(View(image), TestImage::kNt, ".tex").has_value());
  ASSERT_NE(reader.GetSectionHeader("diaginfo"), nullptr);
  EXPECT_EQ(reader.GetSectionHeader("diaginfo")->virtualAddress, 0x2000u);
  // The whole name is compared: a longer one names no section.
  EXPECT_EQ(reader.GetSectionHeader("DIAGINFOX"), nullptr);
  EXPECT_EQ(reader.GetSectionName(0), ".text");
  EXPECT_EQ(reader.GetSectionName(1), "DIAGINFO");
  EXPECT_EQ(reader.GetSectionName(2), "");
  EXPECT_EQ(reader.RvaToSection(0x17FF)->name, ".text");
  EXPECT_EQ(reader.RvaToSection(0x3000), nullptr);
  // A section count that runs past the image stops at the last whole header.
  image.U16(TestImage::kNt + 6, 0xFFFF);
  reader.AttachView(View(image), "x.dll");
  EXPECT_LE(reader.Sections().size(), 0x4000u / 40);
}

// An export directory at 0x2000: three functions, names as given (name, function index).
TestImage ExportImage(const std::vector<std::pair<std::string, uint16_t>>& names, uint32_t functionCount = 3) {
  TestImage image;
  image.AddSection(".text", 0x1000, 0x1000);
  image.AddSection(".edata", 0x2000, 0x1000);
  const uint32_t d = 0x2000;
  image.SetDirectory(0, d, 0x400);
  image.U32(d + 16, 5);  // ordinal base
  image.U32(d + 20, functionCount);
  image.U32(d + 24, static_cast<uint32_t>(names.size()));
  image.U32(d + 28, d + 0x40);
  image.U32(d + 32, d + 0x80);
  image.U32(d + 36, d + 0xC0);
  image.U32(d + 0x40, 0x1100);
  image.U32(d + 0x44, 0x1100);
  image.U32(d + 0x48, d + 0x200);  // inside the directory: forwarded
  image.Text(d + 0x200, "OTHER.Target");
  uint32_t text = d + 0x100;
  for (size_t i = 0; i < names.size(); ++i) {
    image.U32(d + 0x80 + 4 * static_cast<uint32_t>(i), text);
    image.U16(d + 0xC0 + 2 * static_cast<uint32_t>(i), names[i].second);
    image.Text(text, names[i].first);
    text += static_cast<uint32_t>(names[i].first.size()) + 1;
  }
  return image;
}

TEST(PeImage, ExportList) {
  const TestImage image = ExportImage({{"Zeta", 0}, {"Alpha", 1}, {"Fwd", 2}, {"PastTable", 7}});
  TDiagPeImage reader;
  reader.AttachView(View(image), "x.dll");
  TDiagPeExportFuncList& list = reader.ExportList();
  ASSERT_EQ(list.Count(), 3u);  // the ordinal past the function table names nothing
  EXPECT_TRUE(list.HasForwards());
  const TDiagPeExportFuncItem& zeta = list.Items()[0];
  EXPECT_EQ(zeta.name, "Zeta");
  EXPECT_EQ(zeta.ordinal, 5);
  EXPECT_EQ(zeta.hint, 0);
  EXPECT_EQ(zeta.address, 0x1100u);
  EXPECT_FALSE(zeta.forwardedName.has_value());
  EXPECT_EQ(list.Items()[2].forwardedName, "OTHER.Target");

  auto order = [&list]() {
    std::string names;
    for (const auto& item : list.Items()) names += item.name + " ";
    return names;
  };
  list.SortList(TDiagPeExportSort::kAddress, false);
  EXPECT_EQ(order(), "Alpha Zeta Fwd ");  // equal addresses by name
  list.SortList(TDiagPeExportSort::kName, true);
  EXPECT_EQ(order(), "Zeta Fwd Alpha ");
  list.SortList(TDiagPeExportSort::kForwardedName, false);
  EXPECT_EQ(order(), "Alpha Zeta Fwd ");
  list.SortList(TDiagPeExportSort::kOrdinal, true);
  EXPECT_EQ(order(), "Fwd Alpha Zeta ");
  list.SortList(TDiagPeExportSort::kAddressOrForward, false);
  EXPECT_EQ(order(), "Alpha Zeta Fwd ");  // "00001100" sorts before "OTHER.Target"
}

// By section name, then by name; items equal in both keep their order. An
// address belongs to the first section in header order that holds it, its
// end included; an address in no section has the empty name.
TEST(PeImage, ExportsSortBySectionName) {
  TestImage image = ExportImage({{"Zeta", 0}, {"Dup", 1}, {"Alpha", 5}, {"Fwd", 2}, {"Edge", 3}, {"Dup", 0}, {"Last", 4}},
                                6);
  image.AddSection(".aaa", 0x1800, 0x100);  // inside .text, which comes first
  image.AddSection(".zed", 0x3000, 0x100);  // starts where .edata ends
  const uint32_t functions = 0x2040;
  image.U32(functions + 4, 0x1800);
  image.U32(functions + 12, 0x3000);
  image.U32(functions + 16, 0x3100);
  image.U32(functions + 20, 0x5000);
  TDiagPeImage reader;
  reader.AttachView(View(image), "x.dll");
  TDiagPeExportFuncList& list = reader.ExportList();
  auto order = [&list, &reader]() {
    std::string text;
    for (const auto& item : list.Items()) {
      const TDiagPeSectionHeader* s = reader.RvaToSection(item.address);
      text += (s != nullptr ? s->name : "") + ":" + item.name + std::to_string(item.hint) + " ";
    }
    return text;
  };
  // Each export's section is looked up once per sort, not per comparison
  // (an image may claim 65,535 sections).
  auto sortBySection = [&list, &reader](bool descending) {
    const uint64_t before = reader.SectionLookups();
    list.SortList(TDiagPeExportSort::kSectionName, descending);
    EXPECT_LE(reader.SectionLookups() - before, list.Count());
  };
  sortBySection(true);
  EXPECT_EQ(order(), ".zed:Last6 .text:Zeta0 .text:Dup1 .text:Dup5 .edata:Fwd3 .edata:Edge4 :Alpha2 ");
  sortBySection(false);
  EXPECT_EQ(order(), ":Alpha2 .edata:Edge4 .edata:Fwd3 .text:Dup1 .text:Dup5 .text:Zeta0 .zed:Last6 ");
  list.SortList(TDiagPeExportSort::kHint, true);
  sortBySection(false);
  EXPECT_EQ(order(), ":Alpha2 .edata:Edge4 .edata:Fwd3 .text:Dup5 .text:Dup1 .text:Zeta0 .zed:Last6 ");
}

TEST(PeImage, BrokenExportTablesGiveEmptyLists) {
  struct Case {
    const char* name;
    uint32_t at;
    uint32_t value;
  };
  const Case cases[] = {
      {"no names", 0x2000 + 24, 0},
      {"name count past the image", 0x2000 + 24, 0x10000000},
      {"function count past the image", 0x2000 + 20, 0x10000000},
      {"name table outside", 0x2000 + 32, 0xFFFFFFF0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestImage image = ExportImage({{"A", 0}, {"B", 1}});
    image.U32(c.at, c.value);
    TDiagPeImage reader;
    reader.AttachView(View(image), "x.dll");
    EXPECT_EQ(reader.ExportList().Count(), 0u);
  }
  TestImage outside = ExportImage({{"A", 0}, {"B", 1}});
  outside.U32(0x2080, 0x7FFFFFFF);  // the first name's text outside the image
  TDiagPeImage reader;
  reader.AttachView(View(outside), "x.dll");
  ASSERT_EQ(reader.ExportList().Count(), 1u);
  EXPECT_EQ(reader.ExportList().Items()[0].name, "B");
}

TEST(PeImage, DebugEntriesAreReadAtTheirAddress) {
  TestImage image;
  image.AddSection(".rdata", 0x1000, 0x1000);
  image.AddSection(".buildid", 0x2C00, 0x100);
  image.SetDirectory(6, 0x2C00, 28);
  image.U32(0x2C00 + 12, 2);  // CodeView
  image.U32(0x2C00 + 16, 0x35);
  TDiagPeImage reader;
  reader.AttachView(View(image), "x.dll");
  ASSERT_EQ(reader.DebugList().size(), 1u);
  EXPECT_EQ(reader.DebugList()[0].type, 2u);
  EXPECT_EQ(reader.DebugList()[0].sizeOfData, 0x35u);

  // A ".debug" section at the directory: the size field counts entries.
  TestImage counted;
  counted.AddSection(".debug", 0x2000, 0x100);
  counted.SetDirectory(6, 0x2000, 2);
  counted.U32(0x2000 + 28 + 12, 9);
  reader.AttachView(View(counted), "x.dll");
  ASSERT_EQ(reader.DebugList().size(), 2u);
  EXPECT_EQ(reader.DebugList()[1].type, 9u);

  // Neither a ".debug" section at the directory nor an ".rdata" section: no entries.
  TestImage bare;
  bare.AddSection(".text", 0x1000, 0x1000);
  bare.AddSection(".debug", 0x3000, 0x100);
  bare.SetDirectory(6, 0x2000, 28);
  bare.U32(0x2000 + 12, 2);
  reader.AttachView(View(bare), "x.dll");
  EXPECT_TRUE(reader.DebugList().empty());

  // Entries that would run past the image stop there.
  counted.SetDirectory(6, 0x2000, 0x7FFFFFFF);
  reader.AttachView(View(counted), "x.dll");
  EXPECT_EQ(reader.DebugList().size(), (0x4000u - 0x2000u) / 28);
}

// A resource tree at 0x3000: RCDATA (10) with the given names, a version entry (16) with id 1.
TestImage ResourceImage(const std::vector<std::string>& names) {
  TestImage image;
  const uint32_t r = 0x3000;
  image.SetDirectory(2, r, 0x800);
  image.U16(r + 14, 2);
  image.U32(r + 16, 10);
  image.U32(r + 20, 0x80000000u | 0x100);
  image.U32(r + 24, 16);
  image.U32(r + 28, 0x80000000u | 0x200);
  image.U16(r + 0x100 + 12, static_cast<uint32_t>(names.size()));
  uint32_t text = 0x400;
  for (size_t i = 0; i < names.size(); ++i) {
    image.U32(r + 0x110 + 8 * static_cast<uint32_t>(i), 0x80000000u | text);
    image.U16(r + text, static_cast<uint32_t>(names[i].size()));
    for (size_t k = 0; k < names[i].size(); ++k) image.U16(r + text + 2 + 2 * static_cast<uint32_t>(k), static_cast<uint8_t>(names[i][k]));
    text += 2 + 2 * static_cast<uint32_t>(names[i].size());
  }
  image.U16(r + 0x200 + 14, 1);
  image.U32(r + 0x210, 1);
  return image;
}

TEST(PeImage, RcDataFlags) {
  struct Case {
    std::vector<std::string> names;
    bool package;
    bool compiler;
  };
  const Case cases[] = {
      {{}, false, false},
      {{"DVCLAL"}, false, true},
      {{"PACKAGEINFO"}, false, false},
      {{"PACKAGEINFO", "PACKAGEOPTIONS"}, true, true},
  };
  for (const Case& c : cases) {
    const TestImage image = ResourceImage(c.names);
    TDiagPeQarnImage reader;
    reader.AttachView(View(image), "x.dll");
    EXPECT_EQ(reader.IsPackage(), c.package);
    EXPECT_EQ(reader.IsCompilerImage(), c.compiler);
    EXPECT_TRUE(reader.ResourceList().FindResource(16, "1"));
  }
  // A sub-directory pointing at the root reads once and ends.
  TestImage loop = ResourceImage({"DVCLAL"});
  loop.U32(0x3000 + 20, 0x80000000u);
  TDiagPeQarnImage reader;
  reader.AttachView(View(loop), "x.dll");
  EXPECT_FALSE(reader.IsCompilerImage());
}

TEST(PeImage, ImportEntriesOfEveryDescriptorOfTheModule) {
  TestImage image;
  const uint32_t d = 0x2000;
  image.SetDirectory(1, d, 80);
  image.Text(0x2400, "KERNEL32.dll");
  image.Text(0x2410, "user32.dll");
  const uint64_t from = 0x7FF000001234ull;
  // Two descriptors of kernel32 (names differ in case), one of user32 holding the same address.
  const uint32_t thunks[] = {0x2100, 0x2200, 0x2300};
  const uint32_t names[] = {0x2400, 0x2400, 0x2410};
  for (uint32_t i = 0; i < 3; ++i) {
    image.U32(d + 20 * i + 12, names[i]);
    image.U32(d + 20 * i + 16, thunks[i]);
    image.U64(thunks[i], 0x7FF000000001ull);
    image.U64(thunks[i] + 8, from);
  }
  image.Text(0x2400, "kernel32.DLL");
  EXPECT_EQ(FindImportEntries(View(image), "KERNEL32.dll", from), (std::vector<uint64_t>{0x2108, 0x2208}));
  EXPECT_TRUE(FindImportEntries(View(image), "kernel32.dll", 0x1234).empty());
  // A thunk array running to the image's end stops there.
  image.U32(d + 16, 0x4000 - 8);
  image.U64(0x4000 - 8, from);
  EXPECT_EQ(FindImportEntries(View(image), "kernel32.dll", from), (std::vector<uint64_t>{0x4000 - 8, 0x2208}));
}

TEST(PeImage, Unmangle) {
  struct Case {
    const char* name;
    TDiagUnmangleResult result;
    const char* text;
    TDiagUnmangleKind kind;
    uint32_t modifiers;
    int basePos;
  };
  using R = TDiagUnmangleResult;
  using K = TDiagUnmangleKind;
  const Case cases[] = {
      {"@Sysutils@Format$qqrx17System@AnsiStringpx14System@TVarRecxi", R::kOk, "Sysutils.Format", K::kFunction, 1, 10},
      {"@System@@LStrClr$qqrpv", R::kOk, "System.LStrClr", K::kFunction, 3, 8},
      {"@Classes@TList@$bctr$qqrv", R::kOk, "Classes.TList", K::kConstructor, 1, 9},
      {"@Classes@TList@$bdtr$qqrv", R::kOk, "Classes.TList", K::kDestructor, 1, 9},
      {"@Classes@TList@Add$qqrpv", R::kOk, "Classes.TList.Add", K::kFunction, 1, 9},
      {"@Classes@TList@", R::kOk, "Classes.TList", K::kVTable, 1, 9},
      {"@System@HInstance", R::kOk, "System.HInstance", K::kData, 1, 8},
      {"@$xp$13Classes@TList", R::kOk, "Classes.TList", K::kRtti, 1, 9},
      {"@$xq$5TList", R::kError, "", K::kData, 0, 1},
      {"@$xp$99Short", R::kError, "", K::kRtti, 0, 1},
      {"@1abc", R::kError, "", K::kData, 0, 1},
      {"?foo@@YAXXZ", R::kMicrosoft, "", K::kData, 0, 1},
      {"GetTickCount", R::kNotMangled, "", K::kData, 0, 1},
      {"_start", R::kNotMangled, "", K::kData, 0, 1},
      {"", R::kError, "", K::kData, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text;
    TDiagUnmangleInfo info;
    int basePos = 0;
    ASSERT_EQ(PeQarnUnmangleName(c.name, text, info, basePos), c.result);
    if (c.result != R::kOk) continue;
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(info.kind, c.kind);
    EXPECT_EQ(info.modifiers, c.modifiers);
    EXPECT_EQ(basePos, c.basePos);
  }
  std::string text;
  TDiagUnmangleInfo info;
  int basePos = 0;
  EXPECT_EQ(PeQarnUnmangleName("@" + std::string(2000, 'a'), text, info, basePos), R::kError);
}

// Any module in the process may be looked up, so its export and resource
// tables are read for whatever they claim: an export name table of 1 and 8
// MiB whose every entry names one long name, and a resource root of 1,024
// types whose every entry names one sub-directory of 1,024 long names, keep
// lists of a size fixed in advance (the resources once made a million names
// from 17 KB); the first entries still answer.
TEST(PeImage, CraftedTablesStayUnderAFixedMemoryBound) {
  constexpr size_t kBound = size_t{128} << 20;
  const std::string longName(1000, 'E');
  for (uint32_t size : {1u << 20, 8u << 20}) {
    SCOPED_TRACE(size);
    TestImage image(size);
    const uint32_t d = 0x2000, names = 0x3000;
    const uint32_t count = (size - names) / 6;
    image.SetDirectory(0, d, 0x40);
    image.U32(d + 20, 1);
    image.U32(d + 24, count);
    image.U32(d + 28, d + 0x40);
    image.U32(d + 32, names);
    image.U32(d + 36, names + 4 * count);  // the ordinals, all 0
    image.U32(d + 0x40, 0x1100);
    image.Text(d + 0x100, longName);
    for (uint32_t i = 0; i < count; ++i) image.U32(names + 4 * i, d + 0x100);
    test::AllocationMeter meter;
    TDiagPeImage reader;
    reader.AttachView(View(image), "x.dll");
    ASSERT_GT(reader.ExportList().Count(), 0u);
    EXPECT_EQ(reader.ExportList().Items()[0].name, longName);
    reader.ExportList().SortList(TDiagPeExportSort::kAddress, false);
    ASSERT_LT(meter.Peak(), kBound);
  }

  TestImage image(0x10000);
  const uint32_t r = 0x3000, sub = 0x2000, name = 0x6000;
  image.SetDirectory(2, r, 0x8000);
  image.U16(r + 14, 1024);
  for (uint32_t i = 0; i < 1024; ++i) {
    image.U32(r + 16 + 8 * i, 10);
    image.U32(r + 20 + 8 * i, 0x80000000u | sub);
  }
  image.U16(r + sub + 12, 1024);
  for (uint32_t i = 0; i < 1024; ++i) image.U32(r + sub + 16 + 8 * i, 0x80000000u | name);
  image.U16(r + name, 200);
  for (uint32_t k = 0; k < 200; ++k) image.U16(r + name + 2 + 2 * k, 'R');
  test::AllocationMeter meter;
  TDiagPeQarnImage reader;
  reader.AttachView(View(image), "x.dll");
  EXPECT_TRUE(reader.ResourceList().FindResource(10, std::string(200, 'R')));
  EXPECT_FALSE(reader.IsCompilerImage());
  EXPECT_LT(meter.Peak(), kBound);
}

}  // namespace
}  // namespace kv
