#include "engine/csv_data_set.h"

#include <algorithm>
#include <charconv>

#include "base/strings.h"

namespace kv {

std::string TCsvField::AsString() const {
  if (!owner_->damage_.empty()) throw EDatabaseError(owner_->damage_);
  return index_ < owner_->buffer_.size() ? owner_->buffer_[index_] : std::string();
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
    throw EDatabaseError("'" + text + "' is not a valid integer value for field '" + name_ + "'");
  }
  return value;
}

void TCsvField::SetAsString(std::string_view text) {
  if (owner_->state_ != TCsvDataSet::State::Edit && owner_->state_ != TCsvDataSet::State::Insert) {
    throw EDatabaseError("Data set not in edit or insert mode");
  }
  std::string value(text);
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  owner_->buffer_[index_] = std::move(value);
}

void TCsvDataSet::SetTableName(std::string path) {
  if (path == tableName_) return;
  if (Active()) Close();
  tableName_ = std::move(path);
}

void TCsvDataSet::CheckActive() const {
  if (!Active()) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TCsvDataSet::Open() {
  if (Active()) return;
  std::optional<std::string> text = storage_.Load(tableName_);
  if (!text) throw EDatabaseFileMissing("Cannot open file \"" + tableName_ + "\"");
  lines_.clear();
  longLines_.clear();
  // Lines end with CR LF; a lone LF or CR also ends a line. Empty lines are dropped.
  size_t start = 0;
  const std::string& t = *text;
  for (size_t i = 0; i <= t.size(); ++i) {
    if (i < t.size() && t[i] != '\r' && t[i] != '\n') continue;
    const size_t length = i - start;
    if (length > kMaxLineLength) {
      if (lines_.empty()) {
        throw EDatabaseError("The header of \"" + tableName_ + "\" is longer than " +
                             std::to_string(kMaxLineLength) + " characters");
      }
      longLines_.push_back(lines_.size() - 1);
      // The text is kept only where Close writes it back.
      lines_.push_back(readOnly_ ? std::string() : t.substr(start, length));
    } else if (length > 0) {
      lines_.push_back(t.substr(start, length));
    }
    start = i + 1;
  }
  text.reset();
  if (lines_.empty()) lines_.emplace_back();  // no header: no fields, no rows
  try {
    BuildFields();
  } catch (...) {
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
  std::vector<std::string> names;
  Separate(lines_[0], ",", names);
  if (names.size() > kMaxFields) {
    throw EDatabaseError("The header of \"" + tableName_ + "\" has more than " + std::to_string(kMaxFields) +
                         " fields");
  }
  for (std::string& name : names) {
    fields_.push_back(std::make_unique<TCsvField>(TCsvField::Key{}, *this, std::move(name), fields_.size()));
  }
  state_ = State::Browse;
  First();
}

void TCsvDataSet::Close() {
  if (!Active()) return;
  if (state_ == State::Edit || state_ == State::Insert) Cancel();
  if (!readOnly_) {
    std::string text;
    for (const std::string& line : lines_) {
      text += line;
      text += "\r\n";
    }
    storage_.Save(tableName_, text);
  }
  state_ = State::Inactive;
  fields_.clear();
  buffer_.clear();
  lines_.clear();
  longLines_.clear();
  damage_.clear();
  current_ = -1;
  eof_ = true;
}

void TCsvDataSet::LoadCurrent() {
  buffer_.assign(fields_.size(), std::string());
  damage_.clear();
  if (current_ < 0 || current_ >= RecordCount()) return;
  const auto row = static_cast<size_t>(current_);
  if (std::binary_search(longLines_.begin(), longLines_.end(), row)) {
    damage_ = "The line is longer than " + std::to_string(kMaxLineLength) + " characters";
    return;
  }
  bool more = false;
  std::vector<std::string> values = ParseRow(lines_[row + 1], fields_.size(), &more);
  if (more) {
    damage_ = "The row has more texts than the header has fields (" + std::to_string(fields_.size()) + ")";
    return;
  }
  // Missing texts read as empty.
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i].size() > kMaxFieldLength) {
      damage_ = "The text of field '" + fields_[i]->FieldName() + "' is longer than " +
                std::to_string(kMaxFieldLength) + " characters";
      buffer_.assign(fields_.size(), std::string());
      return;
    }
    buffer_[i] = std::move(values[i]);
  }
}

void TCsvDataSet::SetRecNo(int recNo) {
  CheckActive();
  current_ = recNo - 1;
  eof_ = current_ >= RecordCount();
  LoadCurrent();
}

void TCsvDataSet::First() {
  CheckActive();
  current_ = 0;
  eof_ = RecordCount() <= 0;
  LoadCurrent();
}

void TCsvDataSet::Next() {
  CheckActive();
  if (current_ < RecordCount() - 1) {
    ++current_;
    LoadCurrent();
  } else {
    eof_ = true;
  }
}

void TCsvDataSet::Last() {
  CheckActive();
  current_ = RecordCount() - 1;
  eof_ = current_ < 0;
  LoadCurrent();
}

void TCsvDataSet::Append() {
  CheckActive();
  if (readOnly_) throw EDatabaseError("Cannot modify a read-only dataset");
  if (state_ != State::Browse) Post();
  state_ = State::Insert;
  buffer_.assign(fields_.size(), std::string());
  damage_.clear();
}

void TCsvDataSet::Edit() {
  CheckActive();
  if (readOnly_) throw EDatabaseError("Cannot modify a read-only dataset");
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
    eof_ = false;
  } else if (state_ == State::Edit) {
    lines_[static_cast<size_t>(current_) + 1] = line;
  }
  state_ = State::Browse;
}

void TCsvDataSet::Cancel() {
  CheckActive();
  state_ = State::Browse;
  LoadCurrent();
}

void TCsvDataSet::Delete() {
  CheckActive();
  if (readOnly_) throw EDatabaseError("Cannot modify a read-only dataset");
  if (current_ < 0 || current_ >= RecordCount()) throw EDatabaseError("No current row to delete");
  lines_.erase(lines_.begin() + current_ + 1);
  const auto row = static_cast<size_t>(current_);
  // The row's own mark goes; the marks of later rows move up with their lines.
  auto at = std::lower_bound(longLines_.begin(), longLines_.end(), row);
  if (at != longLines_.end() && *at == row) at = longLines_.erase(at);
  for (; at != longLines_.end(); ++at) --*at;
  if (current_ >= RecordCount()) current_ = RecordCount() - 1;
  eof_ = RecordCount() <= 0;
  LoadCurrent();
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

std::vector<std::string> TCsvDataSet::ParseRow(std::string_view line, size_t maxTexts, bool* more) {
  std::vector<std::string> values;
  if (more) *more = false;
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i <= line.size(); ++i) {
    const char c = i < line.size() ? line[i] : ',';  // the line is read as if it ended with ","
    if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        field.push_back('"');
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == ',' && (!quoted || i == line.size())) {
      if (values.size() == maxTexts) {
        if (more) *more = true;
        break;
      }
      values.push_back(std::move(field));
      field.clear();
    } else {
      field.push_back(c);
    }
  }
  return values;
}

}  // namespace kv
