#include "engine/csv_data_set.h"

#include <algorithm>
#include <charconv>

#include "base/scope_guard.h"
#include "base/strings.h"

namespace kv {

std::string TCsvField::AsString() const {
  std::string text;
  owner_->GetFieldData(*this, text);
  return text;
}

int TCsvField::AsInteger() const {
  const std::string text = AsString();
  const std::string trimmed = TrimSymbol(text, ' ');
  const char* b = trimmed.data();
  const char* e = b + trimmed.size();
  if (b != e && *b == '+') ++b;
  int value = 0;
  const auto [ptr, ec] = std::from_chars(b, e, value);
  if (b == e || ec != std::errc() || ptr != e) {
    throw EDatabaseError("'" + EscapeControls(text) + "' is not a valid integer value for field '" +
                         EscapeControls(name_) + "'");
  }
  return value;
}

void TCsvField::SetAsString(std::string_view text) {
  std::string value(text);
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  owner_->SetFieldData(*this, value);
}

bool TCsvDataSet::GetFieldData(const TCsvField& field, std::string& text) const {
  text.clear();
  if (!field.calculated_) {
    if (!damage_.empty()) throw EDatabaseError(damage_);
    if (field.index_ < buffer_.size()) text = buffer_[field.index_];
    return true;
  }
  if (field.offset_ + 1 + field.size_ > calc_.size() || calc_[field.offset_] == 0) return false;
  const auto* slot = reinterpret_cast<const char*>(calc_.data() + field.offset_ + 1);
  text.assign(slot, std::find(slot, slot + field.size_, '\0'));
  return true;
}

void TCsvDataSet::SetFieldData(const TCsvField& field, std::string_view text) {
  const bool editing = state_ == State::Edit || state_ == State::Insert;
  if (!editing && !(field.calculated_ && state_ == State::CalcFields)) {
    if (state_ == State::CalcFields) throw EDatabaseError("Field '" + field.name_ + "' cannot be modified");
    throw EDatabaseError("Data set not in edit or insert mode");
  }
  if (!field.calculated_) {
    buffer_[field.index_] = std::string(text);
  } else {
    uint8_t* flag = calc_.data() + field.offset_;
    std::fill_n(flag, 1 + field.size_, uint8_t{0});
    *flag = 1;
    std::copy_n(text.data(), std::min(text.size(), field.size_ - 1), flag + 1);
  }
  if (editing && OnFieldChange) OnFieldChange(field);
}

void TCsvDataSet::ClearCalcFields() { std::fill(calc_.begin(), calc_.end(), uint8_t{0}); }

void TCsvDataSet::AddCalcField(std::string name, size_t size) {
  if (Active()) throw EDatabaseError("Cannot perform this operation on an open dataset");
  if (size < 2 || size > kMaxFieldLength) {
    throw EDatabaseError("The size of field '" + name + "' must be from 2 to " + std::to_string(kMaxFieldLength));
  }
  for (const CalcDef& d : calcDefs_) {
    if (SameTextAscii(d.name, name)) throw EDatabaseError("Duplicate field name '" + name + "'");
  }
  calcDefs_.push_back({std::move(name), size});
}

void TCsvDataSet::SetTableName(std::string path) {
  if (path == tableName_) return;
  if (Active()) Close();
  tableName_ = std::move(path);
}

void TCsvDataSet::CheckActive() const {
  if (!Active()) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

size_t TCsvTextSource::Read(char* buffer, size_t size) {
  const size_t n = std::min(size, text_.size() - pos_);
  std::copy_n(text_.data() + pos_, n, buffer);
  pos_ += n;
  return n;
}

bool TCsvLineReader::Fill() {
  if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferSize);
  pos_ = 0;
  end_ = source_->Read(buffer_.get(), kBufferSize);
  return end_ > 0;
}

// Lines end with CR LF; a lone LF or CR also ends a line, so the LF of a CR LF
// ends an empty line, which is skipped.
bool TCsvLineReader::Next(std::string& line, bool& tooLong, size_t limit, bool keepLong) {
  line.clear();
  tooLong = false;
  for (;;) {
    if (pos_ == end_ && !Fill()) {
      skipping_ = false;
      tooLong = line.size() > limit;
      return !line.empty();
    }
    const char* const data = buffer_.get();
    const char* begin = data + pos_;
    const char* stop = std::find_if(begin, data + end_, [](char c) { return c == '\r' || c == '\n'; });
    const auto length = static_cast<size_t>(stop - begin);
    if (skipping_) {
      pos_ += length;
      if (pos_ < end_) skipping_ = false;  // the terminator is read as an empty line
      continue;
    }
    if (!keepLong && length > limit - line.size()) {
      // Read up to the first byte past the limit, then give the line up.
      pos_ += limit + 1 - line.size();
      line.clear();
      tooLong = skipping_ = true;
      return true;
    }
    line.append(begin, length);
    pos_ += length;
    if (pos_ == end_) continue;
    ++pos_;
    if (line.empty()) continue;
    tooLong = line.size() > limit;
    return true;
  }
}

void TCsvDataSet::Open() {
  if (Active()) return;
  std::unique_ptr<TCsvSource> source = storage_.OpenRead(tableName_);
  if (!source) throw EDatabaseFileMissing("Cannot open file \"" + tableName_ + "\"");
  auto reader = std::make_unique<TCsvLineReader>(std::move(source));
  lines_.clear();
  longLines_.clear();
  // Read-only tables keep no text of a long line: only Close writes lines back.
  const bool keepLong = !readOnly_ && !uniDirectional_;
  std::string line;
  bool tooLong = false;
  if (reader->Next(line, tooLong, kMaxLineLength, keepLong) && tooLong) {
    throw EDatabaseError("The header of \"" + tableName_ + "\" is longer than " + std::to_string(kMaxLineLength) +
                         " characters");
  }
  lines_.push_back(std::move(line));  // empty without a header: no fields, no rows
  if (uniDirectional_) {
    reader_ = std::move(reader);
  } else {
    // Each line is copied at its own size; the reader's line is used again.
    while (reader->Next(line, tooLong, kMaxLineLength, keepLong)) {
      if (tooLong) longLines_.push_back(lines_.size() - 1);
      lines_.push_back(line);
    }
  }
  started_ = false;
  try {
    BuildFields();
  } catch (...) {
    reader_.reset();
    lines_.clear();
    longLines_.clear();
    throw;
  }
}

void TCsvDataSet::CreateTable(std::string_view header) {
  if (Active()) Close();
  lines_.assign(1, std::string(header));
  longLines_.clear();
  BuildFields();
}

void TCsvDataSet::BuildFields() {
  fields_.clear();
  // One field per piece between commas, so a header ending in "," has a
  // last field with an empty name; no header, no fields.
  std::vector<std::string> names;
  const std::string_view header = lines_[0];
  for (size_t start = 0; !header.empty();) {
    const size_t comma = header.find(',', start);
    names.emplace_back(header.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (names.size() > kMaxFields) {
    throw EDatabaseError("The header of \"" + tableName_ + "\" has more than " + std::to_string(kMaxFields) +
                         " fields");
  }
  for (std::string& name : names) {
    fields_.push_back(std::make_unique<TCsvField>(TCsvField::Key{}, *this, std::move(name), fields_.size()));
  }
  dataFields_ = fields_.size();
  calcSize_ = 0;
  for (const CalcDef& d : calcDefs_) {
    if (FindField(d.name)) {
      fields_.clear();
      throw EDatabaseError("Duplicate field name '" + d.name + "'");
    }
    fields_.push_back(std::make_unique<TCsvField>(TCsvField::Key{}, *this, d.name, d.size, calcSize_));
    calcSize_ += 1 + d.size;
  }
  calc_.assign(calcSize_, 0);
  state_ = State::Browse;
  First();
}

void TCsvDataSet::Close() {
  if (!Active()) return;
  if (state_ == State::Edit || state_ == State::Insert) Cancel();
  if (!readOnly_ && !uniDirectional_) {
    std::string text;
    for (const std::string& line : lines_) {
      text += line;
      text += "\r\n";
    }
    storage_.Save(tableName_, text);
  }
  state_ = State::Inactive;
  reader_.reset();
  fields_.clear();
  buffer_.clear();
  calc_.clear();
  lines_.clear();
  longLines_.clear();
  damage_.clear();
  current_ = -1;
  eof_ = bof_ = true;
}

void TCsvDataSet::ClearRow() {
  buffer_.assign(dataFields_, std::string());
  damage_.clear();
  ClearCalcFields();
}

// The row at the cursor, or an empty one when the cursor is on no row.
void TCsvDataSet::ReadCurrent() {
  if (GetRecord(TGetMode::Current) != TGetResult::Ok) ClearRow();
}

TGetResult TCsvDataSet::GetRecord(TGetMode mode) {
  CheckActive();
  if (uniDirectional_) {
    switch (mode) {
      case TGetMode::Prior:
        throw EDatabaseError("Operation not allowed on a unidirectional dataset");
      case TGetMode::Next:
        return ReadNextRow() ? TGetResult::Ok : TGetResult::Eof;
      case TGetMode::Current:
        // The row was read as the cursor reached it.
        if (current_ < 0) return TGetResult::Bof;
        if (!reader_) return TGetResult::Eof;
        CalculateFields();
        return TGetResult::Ok;
    }
  }
  const int count = RecordCount();
  if (mode == TGetMode::Next) {
    if (current_ >= count - 1) return TGetResult::Eof;
    ++current_;
  } else if (mode == TGetMode::Prior) {
    if (current_ < 1) return TGetResult::Bof;
    --current_;
  }
  if (current_ >= count) return TGetResult::Eof;
  if (current_ < 0) return TGetResult::Bof;
  const auto row = static_cast<size_t>(current_);
  LoadRow(lines_[row + 1], std::binary_search(longLines_.begin(), longLines_.end(), row));
  CalculateFields();
  return TGetResult::Ok;
}

void TCsvDataSet::CalculateFields() {
  ClearCalcFields();
  if (calc_.empty() || !OnCalcFields || !damage_.empty()) return;
  const State saved = state_;
  state_ = State::CalcFields;
  ScopeGuard restore([this, saved] { state_ = saved; });
  OnCalcFields(*this);
}

void TCsvDataSet::LoadRow(std::string_view line, bool tooLong) {
  buffer_.assign(dataFields_, std::string());
  damage_.clear();
  if (tooLong) {
    damage_ = "The line is longer than " + std::to_string(kMaxLineLength) + " characters";
    return;
  }
  // Texts past the header's fields are not kept; missing ones read as empty.
  bool unclosed = false;
  std::vector<std::string> values = ParseRow(line, dataFields_, &unclosed);
  if (unclosed) {
    damage_ = "The row ends inside quotes";
    return;
  }
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i].size() > kMaxFieldLength) {
      damage_ = "The text of field '" + EscapeControls(fields_[i]->FieldName()) + "' is longer than " +
                std::to_string(kMaxFieldLength) + " characters";
      buffer_.assign(dataFields_, std::string());
      return;
    }
    buffer_[i] = std::move(values[i]);
  }
}

// A unidirectional table's next row; false at the end of the file, where
// the table holds an empty row.
bool TCsvDataSet::ReadNextRow() {
  std::string line;
  bool tooLong = false;
  if (!reader_ || !reader_->Next(line, tooLong, kMaxLineLength, false)) {
    reader_.reset();
    ClearRow();
    return false;
  }
  ++current_;
  LoadRow(line, tooLong);
  CalculateFields();
  return true;
}

void TCsvDataSet::CheckWritable() const {
  CheckActive();
  if (readOnly_ || uniDirectional_) throw EDatabaseError("Cannot modify a read-only dataset");
}

void TCsvDataSet::CheckBidirectional() const {
  CheckActive();
  if (uniDirectional_) throw EDatabaseError("Operation not allowed on a unidirectional dataset");
}

void TCsvDataSet::SetRecNo(int recNo) {
  CheckBidirectional();
  current_ = recNo - 1;
  const TGetResult found = GetRecord(TGetMode::Current);
  if (found != TGetResult::Ok) ClearRow();
  eof_ = found == TGetResult::Eof;
  bof_ = found == TGetResult::Bof;
}

void TCsvDataSet::First() {
  CheckActive();
  if (uniDirectional_) {
    if (!started_) {
      started_ = true;
      eof_ = GetRecord(TGetMode::Next) != TGetResult::Ok;
      bof_ = true;
    } else if (current_ > 0) {
      throw EDatabaseError("Operation not allowed on a unidirectional dataset");
    }
    return;
  }
  current_ = -1;
  eof_ = GetRecord(TGetMode::Next) != TGetResult::Ok;
  if (eof_) ClearRow();
  bof_ = true;
}

void TCsvDataSet::Next() {
  CheckActive();
  if (uniDirectional_ && eof_) return;
  if (GetRecord(TGetMode::Next) == TGetResult::Ok) {
    eof_ = bof_ = false;
  } else {
    eof_ = true;
  }
}

void TCsvDataSet::Prior() {
  CheckBidirectional();
  if (GetRecord(TGetMode::Prior) == TGetResult::Ok) {
    eof_ = bof_ = false;
  } else {
    bof_ = true;
  }
}

void TCsvDataSet::Last() {
  CheckBidirectional();
  current_ = RecordCount();
  bof_ = GetRecord(TGetMode::Prior) != TGetResult::Ok;
  if (bof_) ClearRow();
  eof_ = true;
}

void TCsvDataSet::Append() {
  CheckWritable();
  if (state_ != State::Browse) Post();
  state_ = State::Insert;
  ClearRow();
}

void TCsvDataSet::AddRecord(const std::vector<std::string>& values) {
  Append();
  for (size_t i = 0; i < std::min(values.size(), dataFields_); ++i) fields_[i]->SetAsString(values[i]);
  Post();
}

void TCsvDataSet::Edit() {
  CheckWritable();
  if (current_ < 0 || current_ >= RecordCount()) throw EDatabaseError("No current row to edit");
  if (!damage_.empty()) throw EDatabaseError(damage_);
  state_ = State::Edit;
}

void TCsvDataSet::Post() {
  CheckActive();
  const std::string line = FormatRow(buffer_);
  if (state_ == State::Insert) {
    lines_.push_back(line);
    current_ = RecordCount() - 1;
    eof_ = bof_ = false;
  } else if (state_ == State::Edit) {
    lines_[static_cast<size_t>(current_) + 1] = line;
  }
  state_ = State::Browse;
}

void TCsvDataSet::Cancel() {
  CheckActive();
  state_ = State::Browse;
  if (!uniDirectional_) ReadCurrent();
}

void TCsvDataSet::Delete() {
  CheckWritable();
  // The new row is not in the file yet: deleting it is taking it back, and
  // the stored row under the cursor stays.
  if (state_ == State::Insert) {
    Cancel();
    return;
  }
  if (current_ < 0 || current_ >= RecordCount()) throw EDatabaseError("No current row to delete");
  lines_.erase(lines_.begin() + current_ + 1);
  const auto row = static_cast<size_t>(current_);
  // The row's own mark goes; the marks of later rows move up with their lines.
  auto at = std::lower_bound(longLines_.begin(), longLines_.end(), row);
  if (at != longLines_.end() && *at == row) at = longLines_.erase(at);
  for (; at != longLines_.end(); ++at) --*at;
  if (current_ >= RecordCount()) current_ = RecordCount() - 1;
  eof_ = bof_ = RecordCount() <= 0;
  // An edit ends with its row: a Post now would write the next row's texts
  // over it, or over the header once the table is empty.
  state_ = State::Browse;
  ReadCurrent();
}

TCsvField& TCsvDataSet::Fields(size_t index) { return *fields_.at(index); }

TCsvField* TCsvDataSet::FindField(std::string_view name) {
  for (auto& field : fields_) {
    if (SameTextAscii(field->FieldName(), name)) return field.get();
  }
  return nullptr;
}

TCsvField& TCsvDataSet::FieldByName(std::string_view name) {
  if (TCsvField* field = FindField(name)) return *field;
  throw EDatabaseError("Field '" + std::string(name) + "' not found");
}

std::string TCsvDataSet::FormatRow(const std::vector<std::string>& values) {
  std::string line;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) line.push_back(',');
    const std::string& v = values[i];
    if (v.find_first_of(",\"") == std::string::npos) {
      line += v;
      continue;
    }
    line.push_back('"');
    for (char c : v) {
      if (c == '"') line.push_back('"');
      line.push_back(c);
    }
    line.push_back('"');
  }
  return line;
}

std::vector<std::string> TCsvDataSet::ParseRow(std::string_view line, size_t maxTexts, bool* unclosed) {
  std::vector<std::string> values;
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const bool kept = values.size() < maxTexts;
    const char c = line[i];
    if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        if (kept) field.push_back('"');
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == ',' && !quoted) {
      if (kept) values.push_back(std::move(field));
      field.clear();
    } else if (kept) {
      field.push_back(c);
    }
  }
  // The line reads as if it ended with ",": its last text ends there, inside quotes or not.
  if (values.size() < maxTexts) values.push_back(std::move(field));
  if (unclosed) *unclosed = quoted;
  return values;
}

}  // namespace kv
