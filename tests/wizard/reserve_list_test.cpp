#include "wizard/reserve_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/support/allocation_meter.h"
#include "tests/wizard/reserve_zip_util.h"
#include "zip/zip_errors.h"
#include "zip/zip_file_system.h"
#include "zip/zipper.h"

namespace kv {
namespace {

constexpr char kHex[] = "0123456789ABCDEF0123456789ABCDEF";

std::string Hidden(const std::string& folder) { return folder + "\\" + kHex; }

TEST(ReserveList, LinesParseOrGoToRejectedByTheirForm) {
  const std::string good = Hidden("C:\\Music") + "\tC:\\Music\\a.mp3\r\n";
  struct Case {
    const char* what;
    std::string text;
    size_t lines, rejected;
  };
  const Case cases[] = {
      {"two fields", good, 1, 0},
      {"three fields, UTF-8 long path", Hidden("C:\\M") + "\tC:\\M\\?.mp3\tC:\\M\\\xD0\x96.mp3\r\n", 1, 0},
      {"empty lines are skipped", "\r\n" + good + "\r\n\r\n" + good, 2, 0},
      {"LF alone ends a line", Hidden("C:\\M") + "\tC:\\M\\a.mp3\n", 1, 0},
      {"no tab", "C:\\M\\" + std::string(kHex) + "\r\n", 0, 1},
      {"lower-case digits", "C:\\M\\0123456789abcdef0123456789abcdef\tC:\\a\r\n", 0, 1},
      {"31 digits", "C:\\M\\0123456789ABCDEF0123456789ABCDE\tC:\\a\r\n", 0, 1},
      {"no folder", std::string(kHex) + "\tC:\\a\r\n", 0, 1},
      {"empty display path", Hidden("C:\\M") + "\t\r\n", 0, 1},
      {"fourth field", Hidden("C:\\M") + "\ta\tb\tc\r\n", 0, 1},
      {"long path not UTF-8", Hidden("C:\\M") + "\ta\t\xC0\xAF\r\n", 0, 1},
      {"lone surrogates, as names may hold", Hidden("C:\\M") + "\ta\t\xED\xA0\x80-\xED\xB0\x80\r\n", 1, 0},
      {"surrogate pair as two characters", Hidden("C:\\M") + "\ta\t\xED\xA0\x80\xED\xB0\x80\r\n", 0, 1},
      {"control character", Hidden("C:\\M") + "\ta\x01\r\n", 0, 1},
      {"garbage between good lines", good + "garbage\r\n" + good, 2, 1},
      {"line over the bound", Hidden("C:\\M") + "\t" + std::string(kMaxReserveLineBytes, 'a') + "\r\n", 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TParsedReserve parsed = ParseReserveList(c.text, false);
    EXPECT_EQ(parsed.lines.size(), c.lines);
    EXPECT_EQ(parsed.rejected.size(), c.rejected);
    EXPECT_FALSE(parsed.torn);
  }
}

TEST(ReserveList, TheJournalDropsATornLastLineAndTheArchiveKeepsIt) {
  const std::string text = Hidden("C:\\A") + "\tC:\\A\\a.mp3\r\n" + Hidden("C:\\B") + "\tC:\\B\\b.mp3";
  const TParsedReserve journal = ParseReserveList(text, true);
  ASSERT_EQ(journal.lines.size(), 1u);
  EXPECT_TRUE(journal.torn);
  EXPECT_EQ(ParseReserveList(text, false).lines.size(), 2u);
}

TEST(ReserveList, FormattedListsReadBackFieldForField) {
  const std::vector<TReserveLine> lines = {
      {Hidden("C:\\A"), "C:\\A\\a.mp3", "", 0},
      {Hidden("D:\\B c"), "D:\\B c\\?.mp3", "D:\\B c\\\xD0\x96\xD0\xB0.mp3", 0},
      {Hidden("E:\\?"), "E:\\?\\?.mp3", "E:\\\xED\xB0\x80\\\xED\xA0\x80.mp3", 0},  // lone surrogates
  };
  const std::string text = FormatReserveList(lines);
  EXPECT_EQ(text.substr(0, text.find("\r\n") + 2), Hidden("C:\\A") + "\tC:\\A\\a.mp3\r\n");
  const TParsedReserve parsed = ParseReserveList(text, true);
  ASSERT_EQ(parsed.lines.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(parsed.lines[i].hidden, lines[i].hidden);
    EXPECT_EQ(parsed.lines[i].display, lines[i].display);
    EXPECT_EQ(parsed.lines[i].longPath, lines[i].longPath);
  }
}

TEST(ReserveList, MergeKeepsPresentAndUnreachableFilesOncePerHiddenPath) {
  const TReserveLine a{Hidden("C:\\A"), "C:\\A\\a.mp3", "", 0};
  const TReserveLine gone{Hidden("C:\\Gone"), "C:\\Gone\\g.mp3", "", 0};
  const TReserveLine away{Hidden("E:\\Away"), "E:\\Away\\w.mp3", "", 0};
  TReserveLine aAgain = a;
  aAgain.hidden = Hidden("c:\\a");  // the same file in other letter case
  aAgain.display = "other";
  const TReserveLine b{Hidden("C:\\B"), "C:\\B\\b.mp3", "", 0};
  const std::map<std::string, THiddenState> disk = {{a.hidden, THiddenState::Present},
                                                    {gone.hidden, THiddenState::Missing},
                                                    {away.hidden, THiddenState::Unreachable},
                                                    {b.hidden, THiddenState::Present}};
  int probes = 0;
  const auto merged = MergeReserve({a, gone, away}, {aAgain, b, gone}, [&](const TReserveLine& line) {
    ++probes;
    return disk.at(line.hidden);
  });
  ASSERT_EQ(merged.size(), 3u);
  EXPECT_EQ(merged[0].display, "C:\\A\\a.mp3");  // the archive's line wins
  EXPECT_EQ(merged[1].hidden, away.hidden);
  EXPECT_EQ(merged[2].hidden, b.hidden);
  EXPECT_EQ(probes, 4);  // each hidden path looked at once
}

TEST(ReserveList, DayNumbersEqualPythonsOrdinals) {
  // Values of Python's date(y, m, d).toordinal().
  const struct {
    int y, m, d;
    int64_t ordinal;
  } cases[] = {{1, 1, 1, 1},           {1, 12, 31, 365},        {2000, 2, 29, 730179}, {2000, 3, 1, 730180},
               {1900, 3, 1, 693655},   {2024, 2, 29, 738945},   {2026, 12, 6, 739956}, {9999, 12, 31, 3652059}};
  for (const auto& c : cases) EXPECT_EQ(DayNumber(c.y, c.m, c.d), c.ordinal) << c.y << "-" << c.m << "-" << c.d;
  EXPECT_EQ(HistoryEntryName("del", 739956, 86399999), "del.739956.86399999");
}

TEST(ReserveList, SizeTextsAndHiddenNames) {
  EXPECT_EQ(ParseReserveSize("5368709120"), 5368709120);  // past 32 bits
  for (const char* bad : {"", "12a", "-5", " 5", "99999999999999999999"}) EXPECT_EQ(ParseReserveSize(bad), 0) << bad;
  EXPECT_TRUE(IsHiddenName(kHex));
  EXPECT_FALSE(IsHiddenName(std::string(kHex) + ".mp3"));
  EXPECT_EQ(FileNamePart("C:\\a\\b.mp3"), "b.mp3");
  EXPECT_EQ(FolderPart("C:\\a\\b.mp3"), "C:\\a");
}

TEST(ReserveArchive, EntriesWrittenInOneRewriteReadBackAndHistoryIsKept) {
  std::vector<uint8_t> bytes = RewriteReserveArchive({}, {{"data", "list 1\r\n"}, {"size", "10"}});
  bytes = RewriteReserveArchive(bytes, {{"del.1.2", "list 1\r\n"}, {"data", ""}, {"size", "0"}});
  bytes = RewriteReserveArchive(bytes, {{"data", "list 2\r\n"}, {"size", "5368709120"}});
  const TReserveArchive archive = ReadReserveArchive(bytes);
  EXPECT_TRUE(archive.hasList);
  EXPECT_EQ(archive.list, "list 2\r\n");
  EXPECT_EQ(archive.size, "5368709120");
  EXPECT_EQ(archive.entryNames.size(), 3u);
  EXPECT_TRUE(IsReserveArchive(archive));
}

TEST(ReserveArchive, ForeignAndBrokenArchivesAreToldApart) {
  const TReserveArchive foreign = ReadReserveArchive(RewriteReserveArchive({}, {{"readme.txt", "hello"}}));
  EXPECT_FALSE(IsReserveArchive(foreign));
  EXPECT_FALSE(foreign.hasList);
  std::vector<uint8_t> random(300);
  for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<uint8_t>(i * 7919 % 251);
  EXPECT_THROW(ReadReserveArchive(random), EIncompleteZip);
  std::vector<uint8_t> truncated = RewriteReserveArchive({}, {{"data", std::string(500, 'x')}, {"size", "1"}});
  truncated.resize(truncated.size() / 2);
  EXPECT_ANY_THROW(ReadReserveArchive(truncated));
}

// Lines that are not reserve lines are kept short and few, whatever the list holds.
TEST(ReserveList, RejectedLinesAreKeptShortAndCountedPastTheirNumber) {
  const std::string junk(kMaxReserveLineBytes + 10, 'j');
  std::string text;
  for (size_t i = 0; i < kMaxRejectedLines + 250; ++i) text += (i % 2 ? junk : "x") + "\r\n";
  text += Hidden("C:\\Music") + "\tC:\\Music\\a.mp3\r\n";
  test::AllocationMeter meter;
  const TParsedReserve parsed = ParseReserveList(text, false);
  EXPECT_LT(meter.Peak(), kMaxRejectedLines * (kMaxRejectedLineBytes + 64) + 65536);
  EXPECT_EQ(parsed.lines.size(), 1u);
  ASSERT_EQ(parsed.rejected.size(), kMaxRejectedLines + 1);
  EXPECT_EQ(parsed.rejected[0], "x");
  EXPECT_EQ(parsed.rejected[1], junk.substr(0, kMaxRejectedLineBytes));
  EXPECT_EQ(parsed.rejected.back(), "(250 more lines that are not reserve lines)");
}

void ExpectSameParse(const TParsedReserve& a, const TParsedReserve& b) {
  ASSERT_EQ(a.lines.size(), b.lines.size());
  for (size_t i = 0; i < a.lines.size(); ++i) {
    EXPECT_EQ(a.lines[i].hidden, b.lines[i].hidden);
    EXPECT_EQ(a.lines[i].display, b.lines[i].display);
    EXPECT_EQ(a.lines[i].longPath, b.lines[i].longPath);
  }
  EXPECT_EQ(a.rejected, b.rejected);
  EXPECT_EQ(a.torn, b.torn);
}

// The journal is read in pieces: wherever a piece ends (inside CR LF, inside
// a line at its bound, inside an overlong line) the result is the one the
// whole text gives, and an overlong line never grows the reader past the
// bound of one line.
TEST(ReserveList, AListReadInPiecesGivesWhatTheWholeTextGives) {
  const std::string head = Hidden("C:\\M") + "\t";
  const std::string atBound = head + std::string(kMaxReserveLineBytes - head.size(), 'a');
  const std::string text = "\r\n" + head + "C:\\M\\a.mp3\r\n" + atBound + "\r\n" + atBound + "b\n" + "\r\n\r\n" +
                           head + std::string(3 * kMaxReserveLineBytes, 'c') + "\r\n" + "junk\r\n" + atBound + "\r";
  for (const bool journal : {false, true}) {
    const TParsedReserve whole = ParseReserveList(text, journal);
    EXPECT_EQ(whole.lines.size(), journal ? 2u : 3u);  // a CR alone ends no journal line
    ASSERT_EQ(whole.rejected.size(), 3u);
    EXPECT_EQ(whole.rejected[1], (head + std::string(3 * kMaxReserveLineBytes, 'c')).substr(0, kMaxRejectedLineBytes));
    EXPECT_EQ(whole.torn, journal);
    for (const size_t piece : {size_t{1}, size_t{7}, size_t{4096}, kMaxReserveLineBytes + 1}) {
      SCOPED_TRACE(piece);
      TReserveListReader reader(journal);
      for (size_t at = 0; at < text.size(); at += piece) reader.Feed(std::string_view(text).substr(at, piece));
      ExpectSameParse(reader.Finish(), whole);
    }
  }
  // Two overlong lines fed in small pieces: what the reader holds stays
  // within one accepted line and the rejected starts.
  const std::string garbage(8 * kMaxReserveLineBytes, 'g');
  test::AllocationMeter meter;
  TReserveListReader reader(true);
  for (int line = 0; line < 2; ++line) {
    for (size_t at = 0; at < garbage.size(); at += 65536) reader.Feed(std::string_view(garbage).substr(at, 65536));
    reader.Feed("\r\n");
  }
  const TParsedReserve parsed = reader.Finish();
  EXPECT_LT(meter.Peak(), 3 * kMaxReserveLineBytes);
  ASSERT_EQ(parsed.rejected.size(), 2u);
  EXPECT_EQ(parsed.rejected[0], garbage.substr(0, kMaxRejectedLineBytes));
}

std::vector<uint8_t> Seed(const std::string& name) {
  std::ifstream in(std::string(KV_TEST_SOURCE_DIR) + "/tests/corpus/reserve_list/regress/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A small archive that would decode past the load's budget is refused before
// anything is decoded; a "size" entry past its bound reads as unknown and
// the list stays readable.
TEST(ReserveArchive, OneDecodeBudgetForTheWholeLoad) {
  const std::vector<uint8_t> bomb = Seed("list_past_decode_budget.zip");
  ASSERT_GT(bomb.size(), 100000u);
  test::AllocationMeter meter;
  try {
    ReadReserveArchive(bomb);
    ADD_FAILURE() << "read";
  } catch (const EBadZipFile& e) {
    EXPECT_STREQ(e.what(), "The entry \"data\" of the reserve's archive is larger than 134217728 bytes");
  }
  EXPECT_LT(meter.Peak(), 4 * bomb.size() + (1 << 20));

  const std::vector<uint8_t> sized = Seed("size_entry_of_a_megabyte.zip");
  ASSERT_FALSE(sized.empty());
  test::AllocationMeter sizeMeter;
  const TReserveArchive archive = ReadReserveArchive(sized);
  EXPECT_LT(sizeMeter.Peak(), size_t{1} << 19);  // the entry itself is 1 MiB
  EXPECT_EQ(ParseReserveList(archive.list, false).lines.size(), 1u);
  EXPECT_EQ(archive.size, "");
}

std::string BadZipText(const std::vector<uint8_t>& bytes, uint64_t budget = kMaxReserveArchiveText) {
  try {
    const TReserveArchive archive = ReadReserveArchive(bytes, budget);
    return "read, list \"" + archive.list + "\", size \"" + archive.size + "\"";
  } catch (const EBadZipFile& e) {
    return e.what();
  }
}

// A list entry that does not check out (CRC, size, data; stored or deflated)
// is refused as damaged, never read as an empty list; a "size" entry that
// does not check out, or cannot be read at all, reads as unknown.
TEST(ReserveArchive, ADamagedListIsRefusedAndADamagedSizeIsUnknown) {
  const std::string list = Hidden("C:\\M") + "\ta.mp3\r\n" + Hidden("C:\\N") + "\tb.mp3\r\n";
  for (const test::TDamage& damage : test::ListDamages()) {
    SCOPED_TRACE(damage.what);
    const auto bytes = test::RawZip({test::DamagedList(damage, list), test::StoredEntry("size", "33")});
    EXPECT_EQ(BadZipText(bytes), "The entry \"data\" of the reserve's archive is damaged");
  }
  // The same damages as the fuzzers' seeds.
  for (const char* seed : {"list_stored_crc_flipped.zip", "list_deflated_size_one_more.zip", "list_deflated_bad_block_type.zip"})
    EXPECT_EQ(BadZipText(Seed(seed)), "The entry \"data\" of the reserve's archive is damaged") << seed;
  EXPECT_EQ(ParseReserveList(ReadReserveArchive(Seed("size_crc_flipped.zip")).list, false).lines.size(), 2u);
  EXPECT_EQ(ReadReserveArchive(Seed("size_crc_flipped.zip")).size, "");
  EXPECT_EQ(BadZipText(Seed("list_of_empty_blocks.zip")), "The entry \"data\" of the reserve's archive holds 2005 bytes of data for 0 bytes");
  test::TRawEntry badSize = test::StoredEntry("size", "33");
  badSize.crc ^= 1;
  test::TRawEntry unknownMethod = test::StoredEntry("size", "33");
  unknownMethod.method = 99;
  for (const test::TRawEntry& size : {badSize, unknownMethod}) {
    const auto bytes = test::RawZip({test::DeflatedEntry("data", list), size});
    EXPECT_EQ(BadZipText(bytes), "read, list \"" + list + "\", size \"\"");
  }
  // An archive that ends inside an entry's data (its directory record claims
  // 300 bytes more than the file holds after it).
  const auto cutShort = [&](int entry) {
    auto bytes = test::RawZip({test::DeflatedEntry("data", list), test::StoredEntry("size", "33")});
    const size_t field = test::Le(bytes, bytes.size() - 6, 4) + static_cast<size_t>(entry) * 50 + 20;
    const uint32_t claimed = test::Le(bytes, field, 4) + 300;
    for (int i = 0; i < 4; ++i) bytes[field + static_cast<size_t>(i)] = static_cast<uint8_t>(claimed >> (8 * i));
    return bytes;
  };
  EXPECT_EQ(BadZipText(cutShort(0)), "The entry \"data\" of the reserve's archive is damaged");
  EXPECT_EQ(BadZipText(cutShort(1)), "read, list \"" + list + "\", size \"\"");
  // Whether a rewrite can copy every entry: not a cut one, nor one without
  // its local header; one that only fails its check, yes.
  const std::vector<std::string> sizeOnly{"size"};
  EXPECT_EQ(ReadReserveArchive(cutShort(1)).uncopyable, sizeOnly);
  auto noHeader = test::RawZip({test::DeflatedEntry("data", list), test::StoredEntry("size", "33")});
  noHeader[test::Le(noHeader, test::Le(noHeader, noHeader.size() - 6, 4) + 50 + 42, 4)] = 'X';
  EXPECT_EQ(ReadReserveArchive(noHeader).uncopyable, sizeOnly);
  EXPECT_TRUE(ReadReserveArchive(test::RawZip({test::DeflatedEntry("data", list), badSize})).uncopyable.empty());
  EXPECT_TRUE(ReadReserveArchive(RewriteReserveArchive({}, {{"data", list}, {"size", "1"}})).uncopyable.empty());
  // An archive that ends inside an entry's extra field (its local header
  // claims more extra bytes than the file holds after it).
  const auto cutInExtra = [&](int entry) {
    auto bytes = test::RawZip({test::DeflatedEntry("data", list), test::StoredEntry("size", "33")});
    const size_t record = test::Le(bytes, bytes.size() - 6, 4) + static_cast<size_t>(entry) * 50;
    const size_t local = test::Le(bytes, record + 42, 4);
    bytes[local + 28] = 0xFF;
    bytes[local + 29] = 0xFF;
    return bytes;
  };
  EXPECT_EQ(BadZipText(cutInExtra(0)), "The entry \"data\" of the reserve's archive is damaged");
  EXPECT_EQ(BadZipText(cutInExtra(1)), "read, list \"" + list + "\", size \"\"");
  EXPECT_EQ(ReadReserveArchive(cutInExtra(1)).uncopyable, sizeOnly);
}

// Deflate data that decodes to nothing (empty blocks) costs time per byte
// with no output to count: input counts against the budget too, and data
// longer than any writer needs for the size it claims is refused unread.
TEST(ReserveArchive, TheBudgetCountsInputAndRefusesDataLongerThanItsSizeNeeds) {
  std::string emptyBlocks;
  for (int i = 0; i < 400; ++i) emptyBlocks += std::string("\x00\x00\x00\xFF\xFF", 5);
  emptyBlocks += std::string("\x01\x00\x00\xFF\xFF", 5);
  const test::TRawEntry nothing{"data", emptyBlocks, 8, 0, 0};
  EXPECT_EQ(BadZipText(test::RawZip({nothing})), "The entry \"data\" of the reserve's archive holds 2005 bytes of data for 0 bytes");
  test::TRawEntry sized = nothing;
  sized.size = 2005;  // a size it could have: read, and found damaged
  EXPECT_EQ(BadZipText(test::RawZip({sized})), "The entry \"data\" of the reserve's archive is damaged");

  // A list whose output alone fits the budget, with its input does not.
  std::string list;
  for (int i = 0; list.size() < 3000; ++i) list += Hidden("C:\\" + std::to_string(i * 7919 % 10007)) + "\tx.mp3\r\n";
  const test::TRawEntry deflated = test::DeflatedEntry("data", list);
  const uint64_t both = deflated.data.size() + list.size();
  EXPECT_EQ(BadZipText(test::RawZip({deflated}), both - 1),
            "The entry \"data\" of the reserve's archive holds " + std::to_string(deflated.data.size()) +
                " bytes of data for " + std::to_string(list.size()) + " bytes, more than the " +
                std::to_string(both - 1) + " bytes left to read");
  EXPECT_EQ(BadZipText(test::RawZip({deflated}), both), "read, list \"" + list + "\", size \"\"");
}

// An archive as an older version wrote it: every entry encrypted.
std::vector<uint8_t> EncryptedArchive(const std::string& password, const std::string& list) {
  TMemoryFileSystem fs;
  for (const auto& [entry, text] : {std::pair<std::string, std::string>{"data", list}, {"size", "7"}}) {
    TZipper zip(fs, DefaultZipperDisk());
    zip.doProcessMessages = false;
    zip.password = password;
    zip.SetZipName("data");
    zip.ZipFromBuffer(text.data(), text.size(), entry);
  }
  return *fs.Files().find("data")->second.bytes;
}

// Encrypted entries are read with the reserve's password; a list that it
// does not open is refused, not taken as an empty list.
TEST(ReserveArchive, AnEncryptedListIsReadWithThePasswordOrRefused) {
  const std::string list = Hidden("C:\\M") + "\ta.mp3\r\n";
  EXPECT_EQ(BadZipText(EncryptedArchive(kReservePassword, list)), "read, list \"" + list + "\", size \"7\"");
  EXPECT_EQ(BadZipText(EncryptedArchive("another", list)),
            "The entry \"data\" of the reserve's archive cannot be read with the reserve's password");
}

}  // namespace
}  // namespace kv
