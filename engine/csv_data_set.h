#pragma once
// A data set over a comma-separated text file: the header line names the
// fields, every further line is a row. All fields are texts. Rows are read
// and written through a cursor (First/Next, Append/Edit/Post, Delete), as
// the result list "last" needs. The file itself is read and written through
// a TCsvStorage, so the data set runs over memory in tests.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
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

class TCsvStorage {
 public:
  virtual ~TCsvStorage() = default;
  // The whole file, or nothing when it does not exist or cannot be read.
  virtual std::optional<std::string> Load(const std::string& path) = 0;
  // Replaces the file atomically; raises on failure (the old file stays).
  virtual void Save(const std::string& path, std::string_view text) = 0;
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

  const std::string& FieldName() const { return name_; }
  std::string AsString() const;
  // The text as a decimal integer; raises EDatabaseError when it is not one.
  int AsInteger() const;
  // Sets the text; a line break inside becomes a blank so that a row never splits.
  void SetAsString(std::string_view text);
  void SetAsInteger(int value) { SetAsString(std::to_string(value)); }

 private:
  class TCsvDataSet* owner_;
  std::string name_;
  size_t index_;
};

class TCsvDataSet {
 public:
  enum class State { Inactive, Browse, Edit, Insert };

  // Limits on what a file may hold. A longer line or field text, or more
  // texts in a row than the header has fields, makes that row damaged; a
  // header past them (or with more fields than kMaxFields) fails Open.
  static constexpr size_t kMaxLineLength = size_t{1} << 20;
  static constexpr size_t kMaxFieldLength = size_t{1} << 16;
  static constexpr size_t kMaxFields = 1024;

  explicit TCsvDataSet(TCsvStorage& storage) : storage_(storage) {}
  TCsvDataSet(const TCsvDataSet&) = delete;
  TCsvDataSet& operator=(const TCsvDataSet&) = delete;

  const std::string& TableName() const { return tableName_; }
  // Setting a different name closes the table first.
  void SetTableName(std::string path);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

  // Reads the file (empty lines dropped) and builds the fields from its
  // header. EDatabaseFileMissing when there is no file, EDatabaseError for a
  // header past the limits.
  void Open();
  // Opens a new, empty table with the given header line without reading the
  // file; Close writes it.
  void CreateTable(std::string_view header);
  // Writes every line back unless read-only, then closes. Call explicitly:
  // the destructor never writes.
  void Close();
  bool Active() const { return state_ != State::Inactive; }
  State GetState() const { return state_; }

  int RecordCount() const { return static_cast<int>(lines_.size()) - 1; }
  int RecNo() const { return current_ + 1; }
  void SetRecNo(int recNo);
  void First();
  void Next();
  void Last();
  bool Eof() const { return eof_; }

  // Starts a new row at the end / editing the current row; Post stores it.
  void Append();
  void Edit();
  void Post();
  void Cancel();
  // Deletes the current row.
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
  // Stops after maxTexts texts (a row longer than that is then told by a
  // result of maxTexts texts and a true `more`).
  static std::vector<std::string> ParseRow(std::string_view line, size_t maxTexts = SIZE_MAX, bool* more = nullptr);

 private:
  friend class TCsvField;
  void CheckActive() const;
  void LoadCurrent();
  void BuildFields();

  TCsvStorage& storage_;
  std::string tableName_;
  bool readOnly_ = false;
  State state_ = State::Inactive;
  std::vector<std::string> lines_;  // lines_[0] is the header
  // Rows whose line was longer than kMaxLineLength, ascending; read-only
  // tables keep an empty line in their place instead of the text.
  std::vector<size_t> longLines_;
  std::string damage_;
  std::vector<std::unique_ptr<TCsvField>> fields_;
  std::vector<std::string> buffer_;  // the current row's texts
  int current_ = -1;                 // row index, -1 before the first
  bool eof_ = true;
};

}  // namespace kv
