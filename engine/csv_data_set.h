#pragma once
// A data set over a comma-separated text file: the header line names the
// fields, every further line is a row. All fields are texts. Rows are read
// and written through a cursor (First/Next/Prior/Last, Append/Edit/Post,
// Delete), as the result list "last" needs; calculated fields, computed
// whenever a row is read, may follow the file's fields. The file itself is read and written through
// a TCsvStorage, so the data set runs over memory in tests.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// A failure of the data set: field not found, bad conversion, closed table, damaged row.
class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// The table's file does not exist.
class EDatabaseFileMissing : public EDatabaseError {
 public:
  using EDatabaseError::EDatabaseError;
};
// The table's file exists but cannot be read (locked, an I/O error); the
// message names the file and the cause.
class EDatabaseReadError : public EDatabaseError {
 public:
  using EDatabaseError::EDatabaseError;
};

// A table's file, read front to back.
class TCsvSource {
 public:
  virtual ~TCsvSource() = default;
  // Up to size bytes into buffer; 0 at the end. Raises EDatabaseReadError.
  virtual size_t Read(char* buffer, size_t size) = 0;
};

// A text in memory as a source.
class TCsvTextSource : public TCsvSource {
 public:
  explicit TCsvTextSource(std::string text) : text_(std::move(text)) {}
  size_t Read(char* buffer, size_t size) override;

 private:
  std::string text_;
  size_t pos_ = 0;
};

class TCsvStorage {
 public:
  virtual ~TCsvStorage() = default;
  // The file opened for reading, or null when it does not exist. A file
  // that exists but cannot be opened raises EDatabaseReadError.
  virtual std::unique_ptr<TCsvSource> OpenRead(const std::string& path) = 0;
  // Replaces the file atomically; raises on failure (the old file stays).
  virtual void Save(const std::string& path, std::string_view text) = 0;
};

// The lines of a source, empty ones skipped, read through a buffer of
// kBufferSize bytes. A line longer than the limit is told as too long; unless
// kept whole, only its first limit + 1 bytes are read before it is returned
// (without its text), and its rest is skipped by the next call.
class TCsvLineReader {
 public:
  static constexpr size_t kBufferSize = size_t{1} << 16;

  explicit TCsvLineReader(std::unique_ptr<TCsvSource> source) : source_(std::move(source)) {}
  // The next non-empty line without its CR or LF; false at the end.
  bool Next(std::string& line, bool& tooLong, size_t limit, bool keepLong);

 private:
  bool Fill();

  std::unique_ptr<TCsvSource> source_;
  std::unique_ptr<char[]> buffer_;
  size_t pos_ = 0, end_ = 0;
  bool skipping_ = false;  // inside a long line whose rest is not kept
};

// One field of the current row.
class TCsvField {
 public:
  class Key {  // only the data set makes fields
    friend class TCsvDataSet;
    Key() = default;
  };
  TCsvField(Key, class TCsvDataSet& owner, std::string name, size_t index)
      : owner_(&owner), name_(std::move(name)), index_(index) {}
  TCsvField(Key, class TCsvDataSet& owner, std::string name, size_t size, size_t offset)
      : owner_(&owner), name_(std::move(name)), size_(size), offset_(offset), calculated_(true) {}

  const std::string& FieldName() const { return name_; }
  // A calculated field holds no text of the file: its value lives in the
  // current row's calculated-field space and is computed as the row is read.
  bool Calculated() const { return calculated_; }
  // The size of the field's slot: texts up to Size() - 1 characters and the closing 0.
  size_t Size() const { return size_; }
  // The text; empty for a calculated field without a value.
  std::string AsString() const;
  // The text as a decimal integer; raises EDatabaseError when it is not one.
  int AsInteger() const;
  // Sets the text; a line break inside becomes a blank so that a row never splits.
  void SetAsString(std::string_view text);
  void SetAsInteger(int value) { SetAsString(std::to_string(value)); }

 private:
  friend class TCsvDataSet;
  class TCsvDataSet* owner_;
  std::string name_;
  size_t index_ = 0;    // a data field's text in the row
  size_t size_ = 255;   // the slot, as the data set counts a data field's
  size_t offset_ = 0;   // a calculated field's flag byte in the calculated-field space
  bool calculated_ = false;
};

// How GetRecord moves the cursor, and what it found.
enum class TGetMode { Next, Prior, Current };
enum class TGetResult { Ok, Bof, Eof };

class TCsvDataSet {
 public:
  enum class State { Inactive, Browse, Edit, Insert, CalcFields };

  // Limits on what a file may hold. A longer line or field text makes that
  // row damaged; a longer header line, or one of more than kMaxFields names,
  // fails Open. Texts past the header's fields are passed over unkept, so a
  // row holds at most kMaxFields texts.
  static constexpr size_t kMaxLineLength = size_t{1} << 20;
  static constexpr size_t kMaxFieldLength = size_t{1} << 16;
  static constexpr size_t kMaxFields = 1024;
  // A field's slot in a row as the data set counts it (GetRecordSize): 254
  // characters and the closing 0. The file's texts are kept whole all the same.
  static constexpr size_t kFieldSize = 255;

  explicit TCsvDataSet(TCsvStorage& storage) : storage_(storage) {}
  TCsvDataSet(const TCsvDataSet&) = delete;
  TCsvDataSet& operator=(const TCsvDataSet&) = delete;

  const std::string& TableName() const { return tableName_; }
  // Setting a different name closes the table first.
  void SetTableName(std::string path);
  bool ReadOnly() const { return readOnly_; }
  // Whether rows may be added, changed or deleted: neither read-only nor unidirectional.
  bool GetCanModify() const { return !readOnly_ && !uniDirectional_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  // A unidirectional table is read-only and reads its rows from the file as
  // the cursor moves forward (First at the start, Next), holding only the
  // current row: memory stays a few times the longest line, and a load that
  // stops at a damaged row reads no further. Set before Open.
  bool UniDirectional() const { return uniDirectional_; }
  void SetUniDirectional(bool on) { uniDirectional_ = on; }

  // Adds a calculated field of the given slot size (2 to kMaxFieldLength)
  // after the file's fields, while the table is closed; it stays across
  // Close and Open. EDatabaseError when the table is open, the size is out
  // of range or the name is taken.
  void AddCalcField(std::string name, size_t size = kFieldSize);
  // Computes the calculated fields of a row just read (state CalcFields):
  // it may read every field and set the calculated ones. Not called for a
  // damaged row, whose calculated fields stay without a value.
  std::function<void(TCsvDataSet&)> OnCalcFields;
  // Called with the field after its text was set while editing or
  // inserting; not while the calculated fields are computed.
  std::function<void(const TCsvField&)> OnFieldChange;

  // Reads the file (empty lines dropped; unidirectional: its header and
  // first row) and builds the fields from its header. EDatabaseFileMissing
  // when there is no file, EDatabaseReadError when it cannot be read,
  // EDatabaseError for a header past the limits.
  void Open();
  // Opens a new, empty table with the given header line without reading the
  // file; Close writes it.
  void CreateTable(std::string_view header);
  // Writes every line back unless read-only, then closes. Call explicitly:
  // the destructor never writes.
  void Close();
  bool Active() const { return state_ != State::Inactive; }
  State GetState() const { return state_; }

  // The number of rows; -1 (not known) for a unidirectional table.
  int RecordCount() const { return uniDirectional_ ? -1 : static_cast<int>(lines_.size()) - 1; }
  // The current row counted from 1; 1 also before the first row.
  int RecNo() const { return current_ < 0 ? 1 : current_ + 1; }
  void SetRecNo(int recNo);
  // First and Last set Bof and Eof respectively; Next past the last row
  // sets Eof and Prior before the first sets Bof, both keeping the row.
  // Prior and Last need a table that is not unidirectional.
  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }

  // One step of the cursor, reading the row it reaches and computing its
  // calculated fields. Next: to the following row, or Eof at the last one
  // (the cursor stays). Prior: to the row before, or Bof at the first one
  // and before it. Current: the row at the cursor. Whatever the mode, a
  // cursor past the last row gives Eof and one before the first gives Bof;
  // only Ok changes the current row's texts.
  TGetResult GetRecord(TGetMode mode);

  // A row's size as the data set counts it: kFieldSize per field of the
  // file, the 32-bit row number, then the calculated-field space.
  size_t GetRecordSize() const { return dataFields_ * kFieldSize + sizeof(int32_t) + calcSize_; }
  // The calculated-field space: per calculated field a flag byte (1 when it
  // has a value), then its slot.
  size_t CalcFieldsSize() const { return calcSize_; }
  // Takes every calculated field's value away (flags and slots zeroed).
  void ClearCalcFields();
  // The field's text in the current row: a field of the file reads its text
  // (EDatabaseError for a damaged row); a calculated field reads its slot up
  // to the closing 0 and answers false when it has no value.
  bool GetFieldData(const TCsvField& field, std::string& text) const;
  // Sets the field's text: a field of the file while editing or inserting, a
  // calculated field also while calculating (cut to its slot, 0-ended).
  // Outside the calculation it then calls OnFieldChange.
  void SetFieldData(const TCsvField& field, std::string_view text);

  // Starts a new row at the end / editing the current row; Post stores it.
  void Append();
  // Adds a row of the given texts in field order (texts past the file's
  // fields are dropped, missing ones empty) as the new last line, with the
  // cursor on it; a row being edited or inserted is posted first.
  void AddRecord(const std::vector<std::string>& values);
  void Edit();
  void Post();
  void Cancel();
  // Deletes the current row (the one being edited, ending the edit).
  // While inserting it cancels the new row and deletes nothing.
  void Delete();

  // Why the current row cannot be read, or empty. Reading a field of a
  // damaged row, or editing it, raises EDatabaseError with this text.
  const std::string& RowDamage() const { return damage_; }

  size_t FieldCount() const { return fields_.size(); }
  TCsvField& Fields(size_t index);
  // Raises EDatabaseError "Field 'X' not found" when there is none (names compare without ASCII case).
  TCsvField& FieldByName(std::string_view name);
  TCsvField* FindField(std::string_view name);

  // One row's texts as a file line, quoting texts with "," or '"'.
  static std::string FormatRow(const std::vector<std::string>& values);
  // Splits a file line into its texts, honouring quotes and doubled quotes.
  // Keeps the first maxTexts texts and reads past the others without keeping
  // them; `unclosed`, when given, tells whether the line ends inside quotes
  // (its last text then ends with the line).
  static std::vector<std::string> ParseRow(std::string_view line, size_t maxTexts = SIZE_MAX,
                                           bool* unclosed = nullptr);

 private:
  friend class TCsvField;
  void CheckActive() const;
  void CheckWritable() const;
  void CheckBidirectional() const;
  void ClearRow();
  void ReadCurrent();
  void LoadRow(std::string_view line, bool tooLong);
  bool ReadNextRow();
  void CalculateFields();
  void BuildFields();

  TCsvStorage& storage_;
  std::string tableName_;
  bool readOnly_ = false;
  bool uniDirectional_ = false;
  std::unique_ptr<TCsvLineReader> reader_;  // while a unidirectional table is open
  bool started_ = false;                    // a unidirectional table has read its first row
  State state_ = State::Inactive;
  std::vector<std::string> lines_;  // lines_[0] is the header; unidirectional: the header only
  // Rows whose line was longer than kMaxLineLength, ascending; read-only
  // tables keep an empty line in their place instead of the text.
  std::vector<size_t> longLines_;
  std::string damage_;
  struct CalcDef {
    std::string name;
    size_t size;
  };
  std::vector<CalcDef> calcDefs_;
  std::vector<std::unique_ptr<TCsvField>> fields_;  // the file's fields, then the calculated ones
  size_t dataFields_ = 0;
  size_t calcSize_ = 0;
  std::vector<std::string> buffer_;  // the current row's texts
  std::vector<uint8_t> calc_;        // the current row's calculated-field space
  int current_ = -1;                 // row index, -1 before the first
  bool eof_ = true;
  bool bof_ = true;
};

}  // namespace kv
