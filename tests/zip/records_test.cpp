// Records, end-record search, entry order, and the support helpers the
// records stand on (lists, buffered stream, wildcards, rates, time stamps,
// OEM names, string tables).
#include <gtest/gtest.h>

#include <cstring>

#include "tests/zip/zip_test_util.h"
#include "zip/object_list.h"
#include "zip/zip_errors.h"
#include "zip/zip_records.h"
#include "zip/zip_support.h"

namespace kv {
namespace {

using test::Bytes;

TEST(ZipRecords, LocalAndCentralRoundTripWithFoldersAndOemNames) {
  TZipHeaderInfo h;
  h.SetDirectory("docs\\Caf\xE9");  // Windows-1252 e-acute
  h.SetFileName("readme.txt");
  h.crc32 = 0x12345678;
  h.compressedSize = 7;
  h.uncompressedSize = 9;
  h.SetFileComment(std::string("note"));
  TMemoryStream s;
  s.WriteBuffer("xx", 2);  // the record does not start at 0
  h.SaveLocalToStream(s);
  const int64_t central = s.Position();
  h.SaveCentralToStream(s);
  const auto& b = s.Bytes();
  // The name travels with "/" separators in code page 437 (e-acute is 0x82).
  EXPECT_EQ(std::string(b.begin() + 2 + 30, b.begin() + 2 + 30 + 20), "docs/Caf\x82/readme.txt");

  s.SetPosition(2);
  TZipHeaderInfo local, c;
  ASSERT_TRUE(local.ReadLocalFromStream(s));
  EXPECT_EQ(local.FullName(), "docs\\Caf\xE9\\readme.txt");
  EXPECT_EQ(s.Position(), central);
  ASSERT_TRUE(c.ReadCentralFromStream(s));
  EXPECT_EQ(c.Directory(), "docs\\Caf\xE9\\");
  EXPECT_EQ(c.FileName(), "readme.txt");
  EXPECT_EQ(c.crc32, 0x12345678u);
  EXPECT_EQ(c.compressedSize, 7u);
  EXPECT_EQ(c.uncompressedSize, 9u);
  EXPECT_EQ(c.relativeOffset, 2u);
  EXPECT_EQ(c.centralOffset, central);
  EXPECT_EQ(c.fileCommentLength, 4);  // known by length,
  EXPECT_FALSE(c.FileComment());      // not held
  EXPECT_EQ(s.Position(), s.Size());  // just after the comment
}

using Raw = std::vector<uint8_t>;

// An extra field block: id, length and 64-bit values.
Raw ExtraBlock(uint16_t id, const std::vector<uint64_t>& values, int lengthFix = 0) {
  Raw b = {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), 0, 0};
  for (uint64_t v : values)
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  test::Put16(b, 2, static_cast<uint16_t>(static_cast<int>(b.size()) - 4 + lengthFix));
  return b;
}

Raw operator+(Raw a, const Raw& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Fields at their maximum take the values of the record's zip64 block, which
// come in the order uncompressed size, compressed size, offset; a value that
// does not fit 32 bits, or one the block lacks, leaves the maximum.
TEST(ZipRecords, CentralRecordsTakeTheValuesOfTheirZip64Block) {
  constexpr uint32_t kMax = 0xFFFFFFFF;
  const Raw unrelated = {0x55, 0x54, 0x05, 0x00, 1, 2, 3, 4, 5};
  struct Case {
    const char* what;
    uint32_t uncompressed, compressed, offset;  // as the record says
    Raw extra;
    uint32_t wantUncompressed, wantCompressed, wantOffset;
  } cases[] = {
      {"uncompressed size, after another block", kMax, 7, 2, unrelated + ExtraBlock(1, {120}), 120, 7, 2},
      {"all three", kMax, kMax, kMax, ExtraBlock(1, {120, 100, 5}), 120, 100, 5},
      {"offset alone", 9, 7, kMax, ExtraBlock(1, {77}), 9, 7, 77},
      {"a value past 32 bits", kMax, 7, 2, ExtraBlock(1, {uint64_t{1} << 32}), kMax, 7, 2},
      {"block without the compressed size", kMax, kMax, 2, ExtraBlock(1, {120}), 120, kMax, 2},
      {"block running past the field", kMax, 7, 2, ExtraBlock(1, {120}, 4), kMax, 7, 2},
      {"no zip64 block", kMax, 7, 2, unrelated, kMax, 7, 2},
  };
  for (const Case& c : cases) {
    TZipHeaderInfo h;
    h.SetFileName("n");
    h.uncompressedSize = c.uncompressed;
    h.compressedSize = c.compressed;
    h.relativeOffset = c.offset;
    TMemoryStream s;
    h.SaveCentralToStream(s);
    Raw record = s.Bytes();
    test::Put16(record, 30, static_cast<uint16_t>(c.extra.size()));
    record = record + c.extra;
    TMemoryStream in(record);
    TZipHeaderInfo read;
    ASSERT_TRUE(read.ReadCentralFromStream(in)) << c.what;
    EXPECT_EQ(read.uncompressedSize, c.wantUncompressed) << c.what;
    EXPECT_EQ(read.compressedSize, c.wantCompressed) << c.what;
    EXPECT_EQ(read.relativeOffset, c.wantOffset) << c.what;
    EXPECT_EQ(in.Position(), in.Size()) << c.what;
  }
}

TEST(ZipRecords, ShortOrForeignRecordsLeaveTheStreamWhereItWas) {
  TZipHeaderInfo h;
  h.SetFileName("name.txt");
  TMemoryStream full;
  h.SaveCentralToStream(full);
  struct Case {
    const char* what;
    size_t keep;       // bytes of the record kept
    bool badSignature;
  } cases[] = {{"empty", 0, false}, {"fixed part cut", 40, false}, {"name cut", 50, false}, {"not a record", 54, true}};
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes(full.Bytes().begin(), full.Bytes().begin() + static_cast<long>(c.keep));
    if (c.badSignature) bytes[2] = 9;
    TMemoryStream s(bytes);
    TZipHeaderInfo r;
    EXPECT_FALSE(r.ReadCentralFromStream(s)) << c.what;
    EXPECT_EQ(s.Position(), 0) << c.what;
    s.SetPosition(0);
    EXPECT_FALSE(r.ReadLocalFromStream(s)) << c.what;
    EXPECT_EQ(s.Position(), 0) << c.what;
  }
}

// A record read at the end of one part of a set goes on in the next part,
// when the part ends before the record or inside its fixed part; the extra
// field and the comment are skipped by their lengths, even past the end.
TEST(ZipRecords, ACentralRecordGoesOnInTheNextPartAndSkipsItsTail) {
  TZipHeaderInfo h;
  h.SetFileName("name.txt");
  h.SetFileComment(std::string("a comment"));
  TMemoryStream full;
  h.SaveCentralToStream(full);
  const std::vector<uint8_t>& bytes = full.Bytes();
  for (size_t cut : {size_t{0}, size_t{4}, size_t{20}}) {
    SCOPED_TRACE(cut);
    TMemoryStream first(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
    TMemoryStream second(std::vector<uint8_t>(bytes.begin() + static_cast<long>(cut), bytes.end()));
    int asked = 0;
    TZipHeaderInfo r;
    EXPECT_TRUE(r.ReadCentralFromStream(first, [&]() -> TStream* { ++asked; return &second; }));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(r.FileName(), "name.txt");
    EXPECT_EQ(second.Position(), second.Size());
    // Without a part change the record is not there.
    first.SetPosition(0);
    EXPECT_FALSE(r.ReadCentralFromStream(first));
    EXPECT_EQ(first.Position(), 0);
  }
  // Cut inside its comment: read, the stream left where the comment would end.
  TMemoryStream cut(std::vector<uint8_t>(bytes.begin(), bytes.end() - 3));
  TZipHeaderInfo r;
  EXPECT_TRUE(r.ReadCentralFromStream(cut));
  EXPECT_EQ(r.fileCommentLength, 9);
  EXPECT_EQ(cut.Position(), static_cast<int64_t>(bytes.size()));
}

TEST(ZipRecords, EndRecordSearch) {
  auto endRecord = [](uint16_t commentLength) {
    std::vector<uint8_t> r = {0x50, 0x4B, 5, 6, 0, 0, 0, 0, 3, 0, 3, 0, 10, 0, 0, 0, 20, 0, 0, 0, 0, 0};
    test::Put16(r, 20, commentLength);
    return r;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    bool found;
    int64_t recordAt;
  };
  const auto cat = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const auto r = endRecord(0);
  const Case cases[] = {
      {"21 bytes", std::vector<uint8_t>(21, 0), false, -1},
      {"record at the end", r, true, 0},
      {"signature in the last 21 bytes", cat(std::vector<uint8_t>(100, 'x'), {r.begin(), r.end() - 1}), false, -1},
      {"the later of two wins", cat(r, r), true, 22},
      // A maximal comment: the record lies 65,557 bytes before the end.
      {"maximal comment", cat(cat(Bytes("0123456789"), endRecord(65535)), std::vector<uint8_t>(65535, 'c')), true, 10},
  };
  for (const Case& c : cases) {
    TMemoryStream s(c.bytes);
    s.Seek(5, TSeekOrigin::Beginning);
    TEndCentral e;
    EXPECT_EQ(e.ReadFromStream(s), c.found) << c.what;
    if (!c.found) {
      EXPECT_EQ(s.Position(), 5) << c.what;  // put back where it was
      continue;
    }
    EXPECT_EQ(e.recordPosition, c.recordAt) << c.what;
    EXPECT_EQ(e.totalEntries, 3) << c.what;
    EXPECT_EQ(e.zipCommentPosition, c.recordAt + 22) << c.what;
  }
}

TEST(ZipRecords, ArchiveCommentIsReadBehindTheRecordAndClipped) {
  std::vector<uint8_t> b = test::BuildZip({}, "hello");
  // Remove the last two comment bytes: the length still says 5.
  std::vector<uint8_t> cut(b.begin(), b.end() - 2);
  for (const auto& [bytes, expected] : {std::pair{b, std::string("hello")}, std::pair{cut, std::string("hel")}}) {
    TMemoryStream s(bytes);
    TEndCentral e;
    ASSERT_TRUE(e.ReadFromStream(s));
    EXPECT_EQ(e.ReadComment(s), expected);
  }
}

TEST(ZipRecords, SortModes) {
  auto make = [](const char* name, uint32_t csize, uint32_t usize, uint32_t offset, uint32_t date) {
    auto h = std::make_unique<TZipHeaderInfo>();
    h->SetFullName(name);
    h->compressedSize = csize;
    h->uncompressedSize = usize;
    h->relativeOffset = offset;
    h->lastModFileDateTime = date;
    return h;
  };
  struct Case {
    TZipSortMode mode;
    std::vector<std::string> order;
  } cases[] = {
      {TZipSortMode::ByNone, {"b\\z", "a", "C"}},
      {TZipSortMode::ByName, {"a", "b\\z", "C"}},
      {TZipSortMode::ByFileName, {"a", "C", "b\\z"}},
      {TZipSortMode::ByCompressedSize, {"a", "b\\z", "C"}},     // 9, 7, 5
      {TZipSortMode::ByUnCompressedSize, {"C", "b\\z", "a"}},   // 30, 20, 10
      {TZipSortMode::ByDate, {"C", "a", "b\\z"}},
  };
  for (const Case& c : cases) {
    TSortedZip list(TDuplicates::Accept, true, c.mode);
    list.Add(make("a", 9, 10, 100, 0x5A210000));
    list.Add(make("b\\z", 7, 20, 0, 0x4A210000));
    list.Add(make("C", 5, 30, 200, 0x5B210000));
    std::vector<std::string> got;
    for (const TZipHeaderInfo* h : list) got.push_back(h->FullName());
    EXPECT_EQ(got, c.order) << static_cast<int>(c.mode);
  }
  TSortedZip byNone(TDuplicates::Error);
  byNone.Add(make("x", 1, 1, 50, 0));
  EXPECT_THROW(byNone.Add(make("y", 1, 1, 50, 0)), EListError);  // same disk and offset
}

TEST(ZipSupport, ObjectListsCheckIndexesAndDuplicates) {
  TObjectList<int> list;
  std::vector<int> capacities;
  for (int i = 0; i < 64; ++i) {
    list.Add(std::make_unique<int>(i));
    if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 8, 16, 32, 48, 64}));
  EXPECT_THROW(list.SetCapacity(63), EListError);  // below the count
  EXPECT_THROW(list.SetCapacity(kMaxListCount + 1), EListError);
  list.SetCapacity(100);
  EXPECT_EQ(list.Capacity(), 100);
  EXPECT_EQ(*list.Next(list.Get(3), true), 4);
  EXPECT_EQ(list.Next(list.Last(), true), nullptr);
  int stranger = 0;
  EXPECT_THROW(list.Next(&stranger, true), EListError);
  TSortedZip entries(TDuplicates::Error);
  TZipHeaderInfo outsider;
  try {
    entries.Next(&outsider, true);
    ADD_FAILURE();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "tObject TZipHeaderInfo not in item list");
  }
  EXPECT_THROW(list.Get(64), EListError);

  struct IntList : TSortedObjectList<int> {
    using TSortedObjectList<int>::TSortedObjectList;
    int Compare(const int& a, const int& b) const override { return a - b; }
  };
  IntList ignore(TDuplicates::Ignore), accept(TDuplicates::Accept), error(TDuplicates::Error);
  for (IntList* l : {&ignore, &accept, &error}) {
    for (int v : {5, 1, 3}) l->Add(std::make_unique<int>(v));
  }
  EXPECT_EQ(ignore.Add(std::make_unique<int>(3)), 0);  // dropped (and freed), still 0
  EXPECT_EQ(ignore.Count(), 3);
  EXPECT_EQ(accept.Add(std::make_unique<int>(3)), 0);  // placed at 1 or 2; a sorted add answers 0
  EXPECT_EQ(accept.Add(std::make_unique<int>(9)), 0);
  EXPECT_EQ(accept.Count(), 5);
  EXPECT_EQ(*accept.Get(4), 9);
  EXPECT_THROW(error.Add(std::make_unique<int>(3)), EListError);
  EXPECT_EQ(*ignore.Get(0), 1);
  EXPECT_EQ(*ignore.Get(2), 5);
  EXPECT_THROW(ignore.Put(0, nullptr), EListError);
}

TEST(ZipSupport, BufferedStreamReadsWritesAndSeeks) {
  TMemoryStream under(std::vector<uint8_t>(20000));
  for (size_t i = 0; i < 20000; ++i) under.Bytes()[i] = static_cast<uint8_t>(i * 7);
  TS_BufferStream s(under);
  uint8_t b = 0;
  s.SetPosition(9000);
  ASSERT_EQ(s.Read(&b, 1), 1);
  EXPECT_EQ(b, static_cast<uint8_t>(9000 * 7));
  s.PutBack(0xAB);
  ASSERT_EQ(s.Read(&b, 1), 1);
  EXPECT_EQ(b, 0xAB);
  // A seek, even inside the bytes read ahead, empties the buffer: nothing
  // lies before the read position to put back.
  s.SetPosition(9005);
  EXPECT_THROW(s.PutBack(1), EZipStreamError);
  ASSERT_EQ(s.Read(&b, 1), 1);
  EXPECT_EQ(b, static_cast<uint8_t>(9005 * 7));
  EXPECT_EQ(s.Seek(10, TSeekOrigin::End), 19990);
  EXPECT_EQ(s.Seek(-10, TSeekOrigin::End), 19990);
  EXPECT_EQ(s.Seek(5, TSeekOrigin::Current), 19995);
  // Writing after reading ahead lands at the logical position.
  s.SetPosition(100);
  ASSERT_EQ(s.Read(&b, 1), 1);
  s.WriteBuffer("xyz", 3);
  EXPECT_EQ(s.Position(), 104);
  s.Flush();
  EXPECT_EQ(under.Bytes()[101], 'x');
  EXPECT_EQ(under.Bytes()[103], 'z');
  // Writes past the end grow the stream; reading back flushes first.
  s.Seek(0, TSeekOrigin::End);
  std::vector<uint8_t> tail(10000, 0xEE);
  s.WriteBuffer(tail);
  EXPECT_EQ(s.Size(), 30000);
  s.SetPosition(29999);
  ASSERT_EQ(s.Read(&b, 1), 1);
  EXPECT_EQ(b, 0xEE);
  EXPECT_EQ(under.Size(), 30000);
  TS_BufferStream fresh(under);
  EXPECT_THROW(fresh.PutBack(1), EZipStreamError);

  // The notifications after each fill and flush.
  struct Counted : TS_BufferStream {
    using TS_BufferStream::TS_BufferStream;
    void AfterFillBuffer() override { ++fills; }
    void AfterFlushBuffer() override { ++flushes; }
    int fills = 0, flushes = 0;
  } counted(under);
  under.SetPosition(0);
  std::vector<uint8_t> all(30000);
  counted.ReadBuffer(all.data(), 20000);
  EXPECT_EQ(counted.fills, 3);  // 8192-byte fills
  counted.WriteBuffer(all.data(), 9000);
  counted.Flush();
  EXPECT_EQ(counted.flushes, 2);
}

TEST(ZipSupport, IsMatch) {
  struct Case {
    const char* pattern;
    const char* text;
    bool match;
  } cases[] = {
      {"*.txt", "a.txt", true},       {"<!a>*", "abc", false},      {"d?ta", "data", true},
      {"*", "", true},                {"?", "", false},             {"data", "data\\x", false},
      {"a*b*c", "aXbYbZc", true},     {"a*b*c", "aXbYbZ", false},   {"<a-c>x", "bx", true},
      {"<^a-c>x", "bx", false},       {"<^a-c>x", "dx", true},      {"<abc", "a", false},
      {"*\\*.mp3", "sub\\x.mp3", true}, {"**a", "bba", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsMatch(c.pattern, c.text), c.match) << c.pattern << " / " << c.text;
  // No exponential backtracking on many stars.
  EXPECT_FALSE(IsMatch("*a*a*a*a*a*a*a*a*a*a*a*b", std::string(5000, 'a')));
}

TEST(ZipSupport, ZeroTerminatedCopiesStayInTheirBuffer) {
  char buf[6];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_STREQ(StrToPChar(buf, 4, "abcdef"), "abc");  // cut to fit
  EXPECT_EQ(buf[4], 'x');
  EXPECT_STREQ(StrToPChar(buf, sizeof buf, ""), "");
  buf[0] = 'x';
  StrToPChar(buf, 0, "abc");  // no room: nothing written
  EXPECT_EQ(buf[0], 'x');
  EXPECT_EQ(PCharToStr(nullptr), "");
  EXPECT_EQ(PCharToStr("ab"), "ab");
  char overlap[] = "abcdef";
  HMemCpy(overlap + 1, overlap, 4);
  EXPECT_STREQ(overlap, "aabcdf");
}

TEST(ZipSupport, RatesAndTimeStamps) {
  EXPECT_EQ(CRate(0, 5), 0);
  EXPECT_EQ(CRate(200, 300), 100);
  EXPECT_EQ(CRate(200, 1), 0);   // 0.5 rounds to even
  EXPECT_EQ(CRate(200, 3), 2);   // 1.5 rounds to even
  EXPECT_EQ(CBigRate(0, 1), 0);
  EXPECT_EQ(CBigRate(UINT64_MAX, UINT64_MAX / 2), 50);

  const auto pack = [](int y, int mo, int d, int h, int mi, int s) { return PackDosDateTime({y, mo, d, h, mi, s}); };
  struct Case {
    uint32_t in, out;
  } cases[] = {
      {pack(2020, 5, 17, 13, 45, 30), pack(2020, 5, 17, 13, 45, 30)},
      {pack(2020, 0, 0, 13, 45, 30), pack(2020, 1, 1, 13, 45, 30)},
      {pack(2020, 13, 5, 25, 61, 62), pack(2020, 12, 5, 23, 59, 58)},
      {0, pack(1980, 1, 1, 0, 0, 0)},
  };
  for (const Case& c : cases) EXPECT_EQ(GoodTimeStamp(c.in), c.out) << std::hex << c.in;
  EXPECT_DOUBLE_EQ(DosDateTimeToValue(pack(2000, 1, 1, 12, 0, 0)), 36526.5);
  EXPECT_EQ(DosDateTimeToValue(pack(2001, 2, 30, 0, 0, 0)), 0);
}

TEST(ZipSupport, OemConversionAndStringTables) {
  std::string s = "\xE9\x80";  // the euro sign has no OEM form
  AnsiToOemBuiltIn(s);
  OemToAnsiBuiltIn(s);
  EXPECT_EQ(s, "\xE9?");

  const std::vector<uint8_t> table = BuildStringTable(StreamMessageTable());
  EXPECT_EQ(FindTableString(table, kStrPutbackOverflow), "Putback overflow");
  EXPECT_EQ(FindTableString(table, 99), "");
  std::vector<uint8_t> cut(table.begin(), table.begin() + 10);  // a record cut short
  EXPECT_EQ(FindTableString(cut, kStrInvalidSeekOrigin), "");
  EXPECT_EQ(StreamMessage(kStrInvalidSeekOrigin, 7), "Invalid seek origin (7)");
}

}  // namespace
}  // namespace kv
