#include "diagnostics/file_version_info.h"

#include "diagnostics/diag_errors.h"
#include "tests/diagnostics/diag_test_util.h"

namespace kv {
namespace {

using namespace diagtest;

VersionBlock Table(const std::string& key, std::vector<VersionBlock> strings) {
  return VersionBlock{key, 1, {}, 0, std::move(strings)};
}

Bytes Resource(std::vector<VersionBlock> children, bool wide = true, Bytes fixed = FixedInfo(0x00020003, 0x00040005)) {
  return BuildVersionBlock(Root(std::move(fixed), std::move(children)), wide);
}

TEST(FileVersionInfo, ReadsTablesTranslationsAndFixedVersion) {
  for (bool wide : {true, false}) {
    SCOPED_TRACE(wide);
    const Bytes bytes = Resource(
        {VersionBlock{"StringFileInfo", 1, {}, 0,
                      {Table("040904E4", {Str("CompanyName", "Kelvarin Team", wide), Str("fileversion", "2.3", wide)}),
                       Table("0x0407x04B0", {Str("CompanyName", "Team DE", wide)})}},
         VersionBlock{"VarFileInfo", 1, {}, 0, {VersionBlock{"Translation", 0, Le(0x04E40409, 4), 4, {}}}}},
        wide, FixedInfo(0x00020003, 0x00040005, 0x3F, 0x0A));
    const TDiagFileVersionInfo info(bytes);
    EXPECT_EQ(info.GetBinFileVersion(), "2.3.4.5");
    EXPECT_EQ(info.FileFlags(), 0x0Au);
    EXPECT_EQ(info.GetVersionKeyValue(kVersionCompanyName), "Kelvarin Team");
    EXPECT_EQ(info.GetVersionKeyValue(kVersionFileVersion), "2.3");  // keys compare without case
    EXPECT_EQ(info.GetVersionKeyValue(kVersionProductName), "");
    EXPECT_EQ(info.SelectedItems(), (std::vector<std::string>{"CompanyName=Kelvarin Team", "fileversion=2.3"}));
    ASSERT_EQ(info.Items().size(), 3u);
    EXPECT_EQ(info.Items()[2].text, "CompanyName=Team DE");
    EXPECT_EQ(info.Items()[2].table, 1);
    EXPECT_EQ(info.LanguageCodePages(), (std::vector<uint32_t>{0x04E40409, 0x04B00407}));
    EXPECT_EQ(info.Translations(), std::vector<uint32_t>{0x04E40409});
  }
}

TEST(FileVersionInfo, BinaryValuesPrintAsHexWithTwoDigitsPerByte) {
  struct Case {
    Bytes value;
    std::string expected;
  };
  const Case cases[] = {
      {{0x05}, "V=$05"},
      {{0x34, 0x12}, "V=$1234"},
      {{0x01, 0x00, 0x00, 0x00}, "V=$00000001"},
      {Bytes(5, 0x11), "V="},  // longer binary values stay empty
  };
  for (const Case& c : cases) {
    const VersionBlock item{"V", 0, c.value, static_cast<uint16_t>(c.value.size()), {}};
    const TDiagFileVersionInfo info(Resource({VersionBlock{"StringFileInfo", 1, {}, 0, {Table("040904E4", {item})}}}));
    ASSERT_EQ(info.Items().size(), 1u);
    EXPECT_EQ(info.Items()[0].text, c.expected);
  }
}

TEST(FileVersionInfo, TableKeyNotEightHexDigitsEndsTheTablesButKeepsTheFixedVersion) {
  for (const char* key : {"0409", "Lang040904E4", "0409_4E4"}) {
    SCOPED_TRACE(key);
    const TDiagFileVersionInfo info(Resource({VersionBlock{"StringFileInfo", 1, {}, 0, {Table(key, {Str("A", "b")})}}}));
    EXPECT_TRUE(info.Items().empty());
    EXPECT_EQ(info.GetBinFileVersion(), "2.3.4.5");
  }
}

TEST(FileVersionInfo, UnknownChildEndsTheWalk) {
  const TDiagFileVersionInfo info(
      Resource({VersionBlock{"Other", 1, {}, 0, {}},
                VersionBlock{"StringFileInfo", 1, {}, 0, {Table("040904E4", {Str("A", "b")})}}}));
  EXPECT_TRUE(info.Items().empty());
}

TEST(FileVersionInfo, ATableHoldsAnyNumberOfStrings) {
  std::vector<VersionBlock> strings;
  for (int i = 0; i < 5000; ++i) strings.push_back(VersionBlock{"", 1, {}, 0, {}});
  strings.push_back(Str("CompanyName", "Kelvarin Team"));
  const TDiagFileVersionInfo info(Resource({VersionBlock{"StringFileInfo", 1, {}, 0, {Table("040904E4", strings)}}}));
  EXPECT_EQ(info.Items().size(), 5001u);
  EXPECT_EQ(info.GetVersionKeyValue(kVersionCompanyName), "Kelvarin Team");
}

TEST(FileVersionInfo, MalformedResourcesAreRejected) {
  Bytes wrongSignature = Resource({});
  wrongSignature[40] ^= 1;  // first byte of the fixed information (header 6, key 32, pad 2)
  Bytes lengthPastEnd = Resource({VersionBlock{"StringFileInfo", 1, {}, 0, {Table("040904E4", {Str("A", "b")})}}});
  SetLe(lengthPastEnd, 0, lengthPastEnd.size() + 4, 2);
  Bytes childPastParent = Resource({VersionBlock{"VarFileInfo", 1, {}, 0, {}}});
  SetLe(childPastParent, 92, 0x400, 2);  // the child's length
  Bytes zeroLengthChild = Resource({VersionBlock{"VarFileInfo", 1, {}, 0, {}}});
  SetLe(zeroLengthChild, 92, 0, 2);
  const VersionBlock oddType{"V", 2, Le(1, 4), 4, {}};
  struct Case {
    const char* name;
    Bytes bytes;
  };
  const Case cases[] = {
      {"empty", {}},
      {"short", {0x10, 0x00, 0x00, 0x00}},
      {"wrong root key", BuildVersionBlock(VersionBlock{"VS_VERSION_INFX", 0, FixedInfo(1, 1), 52, {}}, true)},
      {"fixed info too short", BuildVersionBlock(VersionBlock{"VS_VERSION_INFO", 0, FixedInfo(1, 1), 48, {}}, true)},
      {"wrong fixed signature", wrongSignature},
      {"length past the end", lengthPastEnd},
      {"child past its parent", childPastParent},
      {"child of length zero", zeroLengthChild},
      {"string of another type",
       Resource({VersionBlock{"StringFileInfo", 1, {}, 0, {Table("040904E4", {oddType})}}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      TDiagFileVersionInfo info(c.bytes);
      ADD_FAILURE() << "accepted";
    } catch (const EDiagFileVersionInfoError& e) {
      EXPECT_STREQ(e.what(), "File contains no version information");
    }
  }
}

TEST(FileVersionInfo, EveryTruncationIsRejectedOrReadWithinBounds) {
  const Bytes full = Resource({VersionBlock{"StringFileInfo", 1, {}, 0, {Table("040904E4", {Str("CompanyName", "Kv")})}}});
  for (size_t n = 0; n < full.size(); ++n) {
    Bytes cut(full.begin(), full.begin() + static_cast<long>(n));
    try {
      TDiagFileVersionInfo info(cut);
      ADD_FAILURE() << "accepted " << n << " bytes";
    } catch (const EDiagFileVersionInfoError&) {
    }
  }
}

}  // namespace
}  // namespace kv
