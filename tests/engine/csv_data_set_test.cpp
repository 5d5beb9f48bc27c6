#include "engine/csv_data_set.h"

#include <gtest/gtest.h>

#include "tests/engine/csv_test_util.h"
#include "tests/support/allocation_meter.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace kv {
namespace {

std::vector<std::vector<std::string>> ReadAll(TCsvDataSet& ds) {
  std::vector<std::vector<std::string>> rows;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    std::vector<std::string> row;
    for (size_t i = 0; i < ds.FieldCount(); ++i) row.push_back(ds.Fields(i).AsString());
    rows.push_back(row);
  }
  return rows;
}

TEST(CsvDataSet, ParsesQuotesDoubledQuotesAndShortRows) {
  MemoryStorage storage;
  const std::string original =
      "A,B,C\r\n"
      "\"say \"\"hi\"\"\",\"x,y\",plain\r\n"
      "\r\n"            // empty lines are ignored
      "only\r\n"        // missing texts read empty
      "1,,\"3,4\"\r\n";
  storage.files["t"] = original;
  TCsvDataSet ds(storage);
  ds.SetTableName("t");
  ds.SetReadOnly(true);
  ds.Open();
  EXPECT_FALSE(ds.GetCanModify());
  EXPECT_EQ(ds.RecordCount(), 3);
  const auto rows = ReadAll(ds);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"say \"hi\"", "x,y", "plain"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"only", "", ""}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"1", "", "3,4"}));
  EXPECT_THROW(ds.FieldByName("D"), EDatabaseError);
  EXPECT_EQ(&ds.FieldByName("b"), &ds.Fields(1));
  ds.Close();
  EXPECT_EQ(storage.files["t"], original) << "read-only close must not rewrite";

  // A header ending in "," has one more field, with an empty name.
  storage.files["u"] = "A,B,\r\n1,2,3\r\n";
  TCsvDataSet trailing(storage);
  trailing.SetTableName("u");
  trailing.SetReadOnly(true);
  trailing.Open();
  ASSERT_EQ(trailing.FieldCount(), 3u);
  EXPECT_EQ(trailing.Fields(2).FieldName(), "");
  EXPECT_EQ(ReadAll(trailing), (std::vector<std::vector<std::string>>{{"1", "2", "3"}}));
}

// Texts past the header's fields are ignored (a spreadsheet's trailing
// comma); a file reads the same whole, in small pieces and unidirectionally.
TEST(CsvDataSet, ExtraTextsAreIgnoredAndAnyReadingGivesTheSameRows) {
  const std::string text =
      "A,B,C\r\n1,2,3,\r\n\n\r4,\"5,\"\"\",6,7,8\r" + std::string(TCsvDataSet::kMaxFields - 1, ',') + "\nlast,line";
  const std::vector<std::vector<std::string>> expected = {
      {"1", "2", "3"}, {"4", "5,\"", "6"}, {"", "", ""}, {"last", "line", ""}};
  MemoryStorage storage;
  storage.files["t"] = text;
  for (const bool uni : {false, true}) {
    SCOPED_TRACE(uni);
    TCsvDataSet ds(storage);
    ds.SetTableName("t");
    ds.SetReadOnly(!uni);
    ds.SetUniDirectional(uni);
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), uni ? -1 : 4);
    EXPECT_EQ(ReadAll(ds), expected);
    if (uni) {
      EXPECT_THROW(ds.First(), EDatabaseError);  // no way back
      EXPECT_THROW(ds.Last(), EDatabaseError);
      EXPECT_THROW(ds.Append(), EDatabaseError);
    }
    ds.Close();
  }
  EXPECT_EQ(storage.saves, 0);

  // The same bytes in pieces of every size up to 9, with the terminators split.
  for (size_t piece = 1; piece <= 9; ++piece) {
    uint64_t count = 0;
    GeneratedStorage generated;
    generated.make = [&] {
      return std::make_unique<GeneratedSource>(text, 0, nullptr, "", &count, piece);
    };
    TCsvDataSet ds(generated);
    ds.SetTableName("g");
    ds.SetUniDirectional(true);
    ds.Open();
    EXPECT_FALSE(ds.GetCanModify());
    EXPECT_EQ(ReadAll(ds), expected) << piece;
    EXPECT_EQ(count, text.size());
  }
}

// A unidirectional table holds one row at a time: reading a long file of
// ordinary rows, or past a line of a gigabyte, costs a few times the longest
// line accepted, and a reader that stops at the damaged row reads no further.
TEST(CsvDataSet, AUnidirectionalTableReadsInBoundedMemory) {
  const std::string row = "7,Artist,Title,C:\\Music\\file.mp3,Album,,2001,3,215,44100,192,2,5123456\r\n";
  uint64_t count = 0;
  GeneratedStorage storage;
  storage.make = [&] {
    return std::make_unique<GeneratedSource>(
        "A,B,C\r\n", row.size() * 50000, [&](uint64_t at) { return row[at % row.size()]; }, "", &count, SIZE_MAX);
  };
  TCsvDataSet ds(storage);
  ds.SetTableName("rows");
  ds.SetUniDirectional(true);
  test::AllocationMeter meter;
  ds.Open();
  int rows = 0;
  for (ds.First(); !ds.Eof(); ds.Next()) rows += ds.Fields(0).AsString() == "7";
  EXPECT_EQ(rows, 50000);
  EXPECT_LT(meter.Peak(), size_t{256} << 10);

  // One field of a gigabyte after a sound row.
  storage.make = [&] {
    return std::make_unique<GeneratedSource>("A,B,C\r\n1,2,3\r\n4,\"", uint64_t{1} << 30, [](uint64_t) { return 'x'; },
                                             "\",6\r\n7,8,9\r\n", &count, SIZE_MAX);
  };
  count = 0;
  TCsvDataSet big(storage);
  big.SetTableName("big");
  big.SetUniDirectional(true);
  test::AllocationMeter bigMeter;
  big.Open();
  EXPECT_EQ(big.Fields(0).AsString(), "1");
  big.Next();
  EXPECT_EQ(big.RowDamage(), "The line is longer than 1048576 characters");
  EXPECT_LT(count, TCsvDataSet::kMaxLineLength + 2 * TCsvLineReader::kBufferSize);
  EXPECT_LT(bigMeter.Peak(), 4 * TCsvDataSet::kMaxLineLength);
}

TEST(CsvDataSet, EditingAppendingAndDeletingRewriteTheFileWithoutEmptyLines) {
  MemoryStorage storage;
  storage.files["t"] = "A,B\r\n1,2\r\n\r\n3,4\r\n";
  TCsvDataSet ds(storage);
  ds.SetTableName("t");
  ds.Open();
  ds.First();
  ds.Delete();
  EXPECT_EQ(ds.RecordCount(), 1);
  ds.Edit();
  ds.FieldByName("A").SetAsString("line\r\nbreak");  // never splits a row
  ds.Post();
  ds.Append();
  ds.FieldByName("B").SetAsInteger(-7);
  ds.Post();
  ds.First();
  ds.AddRecord({"x,y", "z", "past the fields"});
  EXPECT_EQ(ds.RecNo(), 3);
  ds.AddRecord({"only"});
  EXPECT_TRUE(ds.GetCanModify());
  ds.Close();
  EXPECT_EQ(storage.files["t"], "A,B\r\nline  break,4\r\n,-7\r\n\"x,y\",z\r\nonly,\r\n");

  // Long texts are kept whole.
  const std::string path = "C:\\" + std::string(400, 'a') + "\\x.mp3";
  ds.Open();
  ds.Append();
  ds.Fields(0).SetAsString(path);
  ds.Post();
  ds.Close();
  ds.Open();
  ds.Last();
  EXPECT_EQ(ds.Fields(0).AsString(), path);
  ds.Close();
}

// Delete while inserting takes back the new row and leaves the stored ones;
// while editing it deletes the edited row and ends the edit, so a Post
// afterwards writes nothing over the next row or the header.
TEST(CsvDataSet, DeleteCancelsAnInsertAndEndsAnEdit) {
  const struct {
    const char* file;
    int row;  // the cursor's row, from 0
    bool insert;
    const char* shown;  // the current row after Delete
    const char* written;
  } cases[] = {
      {"N\r\n1\r\n2\r\n3\r\n", 1, true, "2", "N\r\n1\r\n2\r\n3\r\n"},
      {"N\r\n", -1, true, "", "N\r\n"},  // no row to delete: the insert alone goes
      {"N\r\n1\r\n2\r\n3\r\n", 1, false, "3", "N\r\n1\r\n3\r\n"},
      {"N\r\n1\r\n", 0, false, "", "N\r\n"},  // the last row: the header stays
  };
  for (const auto& c : cases) {
    MemoryStorage storage;
    storage.files["t"] = c.file;
    TCsvDataSet ds(storage);
    ds.SetTableName("t");
    ds.Open();
    for (int i = 0; i < c.row; ++i) ds.Next();
    if (c.insert) {
      ds.Append();
    } else {
      ds.Edit();
    }
    ds.Fields(0).SetAsString("new");
    ds.Delete();
    EXPECT_EQ(ds.GetState(), TCsvDataSet::State::Browse) << c.file << c.insert;
    EXPECT_EQ(ds.Fields(0).AsString(), c.shown) << c.file << c.insert;
    ds.Post();
    ds.Close();
    EXPECT_EQ(storage.files["t"], c.written) << c.file << c.insert;
  }
}

TEST(CsvDataSet, IntegerFieldsAndClosedOrMissingTables) {
  MemoryStorage storage;
  storage.files["t"] = "N\r\n42\r\nx\r\n\r\n";
  TCsvDataSet ds(storage);
  ds.SetTableName("t");
  ds.SetReadOnly(true);
  ds.Open();
  EXPECT_EQ(ds.FieldByName("N").AsInteger(), 42);
  ds.Next();
  EXPECT_THROW(ds.FieldByName("N").AsInteger(), EDatabaseError);
  EXPECT_THROW(ds.Append(), EDatabaseError);
  ds.Close();
  EXPECT_THROW(ds.First(), EDatabaseError);
  TCsvDataSet missing(storage);
  missing.SetTableName("nope");
  EXPECT_THROW(missing.Open(), EDatabaseError);
  EXPECT_FALSE(missing.Active());
}

// Rows past the limits, or ending inside quotes, are damaged, each with its
// cause; a row with any number of texts past the header's reads its first
// ones. None costs more memory than the file; the rows around read as usual.
TEST(CsvDataSet, RowsPastTheLimitsAreDamagedNamingTheCause) {
  const std::string longLine(TCsvDataSet::kMaxLineLength + 1, 'x');
  const std::string commas(TCsvDataSet::kMaxLineLength, ',');
  const std::string longField(TCsvDataSet::kMaxFieldLength + 1, 'y');
  const struct {
    std::string row;
    std::string damage;
    std::string third;  // a sound row's third text
  } cases[] = {
      {longLine, "The line is longer than 1048576 characters", ""},
      {"1,\"2,3", "The row ends inside quotes", ""},
      {"1,\"" + longField + "\",3", "The text of field 'B' is longer than 65536 characters", ""},
      // Texts past the header's are read over without being kept, however many.
      {"1,2,\"3,\"\"\"" + commas.substr(10), "", "3,\""},
      {"1,2," + std::string(TCsvDataSet::kMaxFieldLength, 'z'), "", std::string(TCsvDataSet::kMaxFieldLength, 'z')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row.substr(0, 16));
    MemoryStorage storage;
    storage.files["t"] = "A,B,C\r\nbefore,1,2\r\n" + c.row + "\r\nafter,3,4\r\n";
    const size_t fileSize = storage.files["t"].size();
    TCsvDataSet ds(storage);
    ds.SetTableName("t");
    ds.SetReadOnly(true);
    test::AllocationMeter meter;
    ds.Open();
    ds.Next();
    EXPECT_EQ(ds.RowDamage(), c.damage);
    if (c.damage.empty()) {
      EXPECT_EQ(ds.Fields(2).AsString(), c.third);
    } else {
      try {
        ds.Fields(0).AsString();
        ADD_FAILURE() << "a damaged row read";
      } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.what(), c.damage);
      }
      EXPECT_THROW(ds.Edit(), EDatabaseError);
    }
    ds.Next();
    EXPECT_EQ(ds.Fields(0).AsString(), "after");
    EXPECT_EQ(ds.RowDamage(), "");
    // The file's text, its copy from the storage and the lines: a few times the file at most.
    EXPECT_LT(meter.Peak(), 3 * fileSize + (1 << 18));
  }

  // A header past the limits fails the whole table.
  MemoryStorage storage;
  storage.files["long"] = longLine + "\r\n1\r\n";
  storage.files["wide"] = std::string(TCsvDataSet::kMaxFields + 1, ',') + "\r\n1\r\n";
  for (const auto& [name, error] :
       {std::pair<std::string, std::string>{"long", "The header of \"long\" is longer than 1048576 characters"},
        {"wide", "The header of \"wide\" has more than 1024 fields"}}) {
    TCsvDataSet ds(storage);
    ds.SetTableName(name);
    try {
      ds.Open();
      ADD_FAILURE() << name << " opened";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.what(), error);
    }
    EXPECT_FALSE(ds.Active());
  }
}

// A writable table keeps a long line whole, so that writing it back loses nothing.
TEST(CsvDataSet, AWritableTableWritesDamagedRowsBackUnchanged) {
  MemoryStorage storage;
  const std::string row(TCsvDataSet::kMaxLineLength + 1, 'x');
  const std::string open = "x,\"open";
  storage.files["t"] = "A,B\r\n1,2\r\n" + row + "\r\n" + open + "\r\n";
  TCsvDataSet ds(storage);
  ds.SetTableName("t");
  ds.Open();
  ds.Delete();  // the sound first row; the marks of the others move up
  EXPECT_NE(ds.RowDamage(), "");
  ds.Next();
  EXPECT_EQ(ds.RowDamage(), "The row ends inside quotes");
  ds.Append();
  ds.Fields(0).SetAsString("new");
  ds.Post();
  ds.Close();
  EXPECT_EQ(storage.files["t"], "A,B\r\n" + row + "\r\n" + open + "\r\nnew,\r\n");
}

// The cursor walks both ways: Next stops at the last row with Eof and Prior
// at the first with Bof, each keeping its row; GetRecord steps as the cursor
// rules say from every position, the positions past either end included.
TEST(CsvDataSet, TheCursorWalksBackAndForthWithBofAndEofAtBothEnds) {
  MemoryStorage storage;
  storage.files["t"] = "N\r\nr1\r\n\r\nr2\r\nr3\r\n";
  TCsvDataSet ds(storage);
  ds.SetTableName("t");
  ds.SetReadOnly(true);
  ds.Open();
  TCsvField& n = ds.Fields(0);
  std::vector<std::string> seen;
  for (ds.Last(); !ds.Bof(); ds.Prior()) seen.push_back(n.AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"r3", "r2", "r1"}));
  EXPECT_EQ(n.AsString(), "r1");  // Prior before the first keeps it
  EXPECT_EQ(ds.RecNo(), 1);
  ds.Next();
  ds.Next();
  EXPECT_FALSE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(n.AsString(), "r3");  // Next past the last keeps it
  ds.Prior();
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(n.AsString(), "r2");
  ds.First();
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_FALSE(ds.Bof());
  EXPECT_EQ(n.AsString(), "r3");

  // Each mode from before the first row (set as RecNo 0, read back as 1), every row and past the
  // last (RecNo 4, 5).
  const struct {
    int recNo;
    TGetMode mode;
    TGetResult result;
    int after;  // RecNo afterwards
  } steps[] = {
      {0, TGetMode::Next, TGetResult::Ok, 1},      {0, TGetMode::Prior, TGetResult::Bof, 1},
      {0, TGetMode::Current, TGetResult::Bof, 1},  {1, TGetMode::Next, TGetResult::Ok, 2},
      {1, TGetMode::Prior, TGetResult::Bof, 1},    {1, TGetMode::Current, TGetResult::Ok, 1},
      {2, TGetMode::Prior, TGetResult::Ok, 1},     {3, TGetMode::Next, TGetResult::Eof, 3},
      {3, TGetMode::Current, TGetResult::Ok, 3},   {4, TGetMode::Next, TGetResult::Eof, 4},
      {4, TGetMode::Current, TGetResult::Eof, 4},  {4, TGetMode::Prior, TGetResult::Ok, 3},
      {5, TGetMode::Prior, TGetResult::Eof, 4},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(std::to_string(step.recNo) + " " + std::to_string(static_cast<int>(step.mode)));
    ds.SetRecNo(step.recNo);
    ds.Fields(0).AsString();
    EXPECT_EQ(ds.GetRecord(step.mode), step.result);
    EXPECT_EQ(ds.RecNo(), step.after);
    if (step.result == TGetResult::Ok) {
      EXPECT_EQ(n.AsString(), "r" + std::to_string(step.after));
    }
  }
  ds.Close();

  // An empty table is at both ends at once; a unidirectional one cannot go back.
  storage.files["e"] = "N\r\n";
  TCsvDataSet empty(storage);
  empty.SetTableName("e");
  empty.SetReadOnly(true);
  empty.Open();
  EXPECT_TRUE(empty.Bof() && empty.Eof());
  empty.Last();
  EXPECT_TRUE(empty.Bof() && empty.Eof());
  EXPECT_EQ(empty.GetRecord(TGetMode::Prior), TGetResult::Bof);
  EXPECT_EQ(empty.GetRecord(TGetMode::Next), TGetResult::Eof);
  TCsvDataSet uni(storage);
  uni.SetTableName("t");
  uni.SetUniDirectional(true);
  uni.Open();
  EXPECT_TRUE(uni.Bof());
  EXPECT_EQ(uni.GetRecord(TGetMode::Current), TGetResult::Ok);
  EXPECT_THROW(uni.Prior(), EDatabaseError);
  EXPECT_THROW(uni.GetRecord(TGetMode::Prior), EDatabaseError);
}

// Calculated fields follow the file's fields: each has a flag byte and its
// slot in the row's calculated-field space, is computed from the row every
// time a row is read, in whichever direction, and is read and set through
// the same field calls as the file's fields.
TEST(CsvDataSet, CalculatedFieldsAreComputedForEveryRowRead) {
  MemoryStorage storage;
  const std::string original = "Artist,Title\r\nA,x\r\nBB,\"y,z\"\r\n\"unclosed,quote\r\nCCC,w\r\n";
  storage.files["t"] = original;
  TCsvDataSet ds(storage);
  ds.SetTableName("t");
  ds.AddCalcField("Both");
  ds.AddCalcField("Short", 4);
  EXPECT_THROW(ds.AddCalcField("both"), EDatabaseError);
  EXPECT_THROW(ds.AddCalcField("Tiny", 1), EDatabaseError);
  int computed = 0;
  ds.OnCalcFields = [&](TCsvDataSet& d) {
    ++computed;
    EXPECT_EQ(d.GetState(), TCsvDataSet::State::CalcFields);
    const std::string both = d.FieldByName("Artist").AsString() + "-" + d.FieldByName("Title").AsString();
    d.FieldByName("Both").SetAsString(both);
    d.FieldByName("Short").SetAsString(both);  // cut to its slot: 3 characters and the 0
    EXPECT_THROW(d.FieldByName("Artist").SetAsString("no"), EDatabaseError);
  };
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 4u);
  EXPECT_TRUE(ds.FieldByName("Both").Calculated());
  EXPECT_FALSE(ds.FieldByName("Title").Calculated());
  EXPECT_EQ(ds.CalcFieldsSize(), (1u + 255) + (1 + 4));
  EXPECT_EQ(ds.GetRecordSize(), 2 * 255 + 4 + ds.CalcFieldsSize());
  EXPECT_EQ(ds.GetState(), TCsvDataSet::State::Browse);
  TCsvField& both = ds.FieldByName("Both");
  TCsvField& cut = ds.FieldByName("Short");
  EXPECT_EQ(both.AsString(), "A-x");
  ds.Next();
  EXPECT_EQ(both.AsString(), "BB-y,z");
  EXPECT_EQ(cut.AsString(), "BB-");
  ds.Next();  // damaged: no values computed
  EXPECT_NE(ds.RowDamage(), "");
  std::string text = "stale";
  EXPECT_FALSE(ds.GetFieldData(both, text));
  EXPECT_EQ(text, "");
  ds.Next();
  EXPECT_EQ(both.AsString(), "CCC-w");
  ds.Prior();
  ds.Prior();
  EXPECT_EQ(both.AsString(), "BB-y,z");
  ds.Last();
  EXPECT_EQ(cut.AsString(), "CCC");
  EXPECT_EQ(computed, 5);  // every read but the damaged row's two

  // Values can be taken away, and set while editing; outside a calculation
  // or an edit they cannot. They never reach the file.
  ds.ClearCalcFields();
  EXPECT_FALSE(ds.GetFieldData(both, text));
  EXPECT_TRUE(ds.GetFieldData(ds.Fields(0), text));
  EXPECT_EQ(text, "CCC");
  EXPECT_THROW(both.SetAsString("x"), EDatabaseError);
  ds.Edit();
  both.SetAsString("edited");
  EXPECT_EQ(both.AsString(), "edited");
  ds.Post();
  ds.Append();
  EXPECT_FALSE(ds.GetFieldData(both, text));  // a new row starts without values
  ds.Cancel();
  EXPECT_EQ(both.AsString(), "CCC-w");  // read again, computed again
  EXPECT_THROW(ds.AddCalcField("Late"), EDatabaseError);
  ds.Close();
  EXPECT_EQ(storage.files["t"], original);

  // A name the file already has cannot open; a unidirectional table computes as it reads.
  storage.files["clash"] = "Both\r\n1\r\n";
  ds.SetTableName("clash");
  EXPECT_THROW(ds.Open(), EDatabaseError);
  EXPECT_FALSE(ds.Active());
  computed = 0;
  ds.SetTableName("t");
  ds.SetUniDirectional(true);
  ds.Open();
  std::vector<std::string> rows;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    if (ds.RowDamage().empty()) rows.push_back(ds.FieldByName("Both").AsString());
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"A-x", "BB-y,z", "CCC-w"}));
  EXPECT_EQ(computed, 3);
}

// Setting a field while editing or inserting tells OnFieldChange which
// field changed, a calculated one too; computing calculated fields does not.
TEST(CsvDataSet, SettingAFieldOutsideTheCalculationTellsOfTheChange) {
  MemoryStorage storage;
  storage.files["t"] = "A,B\r\n1,2\r\n";
  TCsvDataSet ds(storage);
  ds.SetTableName("t");
  ds.AddCalcField("Sum");
  ds.OnCalcFields = [](TCsvDataSet& d) {
    d.FieldByName("Sum").SetAsString(d.Fields(0).AsString() + d.Fields(1).AsString());
  };
  std::vector<std::string> changed;
  ds.OnFieldChange = [&](const TCsvField& f) { changed.push_back(f.FieldName() + "=" + f.AsString()); };
  ds.Open();  // the first row's Sum computed: nothing told
  EXPECT_EQ(ds.FieldByName("Sum").AsString(), "12");
  EXPECT_THROW(ds.Fields(0).SetAsString("x"), EDatabaseError);  // browsing: neither set nor told
  ds.Edit();
  ds.FieldByName("B").SetAsString("5");
  ds.FieldByName("Sum").SetAsString("own");
  ds.Post();
  ds.Append();
  ds.FieldByName("A").SetAsInteger(7);
  ds.Post();
  EXPECT_EQ(changed, (std::vector<std::string>{"B=5", "Sum=own", "A=7"}));
}

#ifndef _WIN32
// The file layout equals what Python's csv module writes for the same rows.
TEST(CsvDataSet, RowsMatchPythonsCsvWriterByteForByte) {
  std::mt19937 rng(7);
  const std::string alphabet = "ab ,\"\xE9x1";
  std::vector<std::vector<std::string>> rows;
  for (int r = 0; r < 300; ++r) {
    std::vector<std::string> row;
    for (int f = 0; f < 4; ++f) {
      std::string text;
      for (int n = static_cast<int>(rng() % 6); n > 0; --n) text.push_back(alphabet[rng() % alphabet.size()]);
      row.push_back(text);
    }
    rows.push_back(row);
  }
  std::string ours;
  for (const auto& row : rows) ours += TCsvDataSet::FormatRow(row) + "\r\n";
  // Hand the rows to Python as hex, one field per line, rows separated by a blank line.
  const std::string dir = std::string(KV_TEST_BINARY_DIR) + "/testdata";
  std::system(("mkdir -p '" + dir + "'").c_str());
  {
    std::ofstream in(dir + "/csv_rows.txt", std::ios::binary);
    for (const auto& row : rows) {
      for (const auto& f : row) {
        for (unsigned char c : f) in << "0123456789abcdef"[c >> 4] << "0123456789abcdef"[c & 15];
        in << "\n";
      }
      in << "-\n";
    }
  }
  const std::string script =
      "import csv,sys\n"
      "rows=[];row=[]\n"
      "for line in open(sys.argv[1]).read().split('\\n')[:-1]:\n"
      "  if line=='-': rows.append(row); row=[]\n"
      "  else: row.append(bytes.fromhex(line).decode('latin-1'))\n"
      "with open(sys.argv[2],'w',newline='',encoding='latin-1') as f:\n"
      "  csv.writer(f,lineterminator='\\r\\n').writerows(rows)\n";
  {
    std::ofstream py(dir + "/csv_rows.py");
    py << script;
  }
  ASSERT_EQ(std::system(("/usr/bin/python3 '" + dir + "/csv_rows.py' '" + dir + "/csv_rows.txt' '" + dir +
                         "/csv_python.csv'").c_str()), 0);
  std::ifstream out(dir + "/csv_python.csv", std::ios::binary);
  std::stringstream python;
  python << out.rdbuf();
  EXPECT_EQ(ours, python.str());

  // And it parses back to the same rows.
  size_t i = 0;
  std::stringstream lines(ours);
  for (std::string line; std::getline(lines, line); ++i) {
    line.pop_back();  // CR
    EXPECT_EQ(TCsvDataSet::ParseRow(line), rows[i]) << line;
  }
}
#endif

}  // namespace
}  // namespace kv
