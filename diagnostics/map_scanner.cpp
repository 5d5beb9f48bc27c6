#include "diagnostics/map_scanner.h"

#include <algorithm>

namespace kv {

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= 9 && c <= 13); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A cursor over the map text; every step stays inside it.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  bool End() const { return pos_ >= text_.size(); }
  char Peek() const { return End() ? '\0' : text_[pos_]; }
  void SkipSpace() {
    while (!End() && IsSpace(text_[pos_])) ++pos_;
  }
  // Spaces and tabs only, staying on the line.
  void SkipBlanks() {
    while (!End() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  void NextLine() {
    while (!End() && text_[pos_] != '\n') ++pos_;
    if (!End()) ++pos_;
  }
  std::string_view RestOfLine() const {
    const size_t end = text_.find_first_of("\r\n", pos_);
    return text_.substr(pos_, (end == std::string_view::npos ? text_.size() : end) - pos_);
  }
  // Reads lines until one whose trimmed text begins with header; the cursor
  // then stands on the next line. Without it the cursor stays where it was,
  // so a missing section does not hide the ones after it.
  bool FindLine(std::string_view header) {
    const size_t start = pos_;
    while (!End()) {
      SkipSpace();
      const bool found = RestOfLine().starts_with(header);
      NextLine();
      if (found) return true;
    }
    pos_ = start;
    return false;
  }
  bool NextLineStartsWithDigit() {
    SkipSpace();
    return IsDigit(Peek());
  }
  uint32_t Hex() {
    uint64_t v = 0;
    int digits = 0;
    while (HexValue(Peek()) >= 0 && digits < 16) {
      v = (v << 4) | static_cast<uint64_t>(HexValue(Peek()));
      ++pos_;
      ++digits;
    }
    if (Peek() == 'H' || Peek() == 'h') ++pos_;
    return static_cast<uint32_t>(v);
  }
  uint32_t Decimal() {
    uint64_t v = 0;
    while (IsDigit(Peek())) {
      if (v < 0xFFFFFFFFu) v = v * 10 + static_cast<uint64_t>(Peek() - '0');
      ++pos_;
    }
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
  }
  // segment:offset
  bool Address(uint32_t& segment, uint32_t& offset) {
    SkipBlanks();
    if (HexValue(Peek()) < 0) return false;
    segment = Hex();
    if (Peek() != ':') return false;
    ++pos_;
    offset = Hex();
    return true;
  }
  // A name: "(" ... ")" or up to the line end, a space or "(". The cursor
  // passes the whole name; what is kept is cut to kMaxNameLength.
  std::string_view Name() {
    SkipBlanks();
    size_t start = pos_;
    if (Peek() == '(') {
      start = ++pos_;
      while (!End() && Peek() != ')' && Peek() != '\r' && Peek() != '\n') ++pos_;
    } else {
      while (!End() && !IsSpace(Peek()) && Peek() != '(') ++pos_;
    }
    return text_.substr(start, std::min(pos_ - start, TDiagMapScanner::kMaxNameLength));
  }
  // The value after key ("C=", "M=") on the current line, if any.
  std::string_view ValueAfter(std::string_view key) {
    const std::string_view line = RestOfLine();
    const size_t at = line.find(key);
    if (at == std::string_view::npos) return {};
    Cursor value(line.substr(at + key.size()));
    return value.Name();
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

TDiagMapScanner::TDiagMapScanner(std::string_view text) {
  Cursor c(text);
  if (c.FindLine("Start         Length     Name                   Class")) {
    while (c.NextLineStartsWithDigit()) c.NextLine();
  }
  if (c.FindLine("Detailed map of segments")) {
    while (c.NextLineStartsWithDigit()) {
      uint32_t segment = 0, offset = 0;
      if (c.Address(segment, offset)) {
        c.SkipBlanks();
        const uint32_t length = c.Hex();
        const std::string_view unit = c.ValueAfter("M=");
        if (segment == 1 && segments_.size() < kMaxSegments) {
          const uint32_t end = offset + length < offset ? 0xFFFFFFFFu : offset + length;
          segments_.push_back({offset, end, unit});
          if (end > highestEnd_) highestEnd_ = end;
        }
      }
      c.NextLine();
    }
  }
  if (c.FindLine("Address         Publics by Name")) {
    while (c.NextLineStartsWithDigit()) c.NextLine();
  }
  if (c.FindLine("Address         Publics by Value")) {
    while (c.NextLineStartsWithDigit()) {
      uint32_t segment = 0, offset = 0;
      if (c.Address(segment, offset) && segment == 1 && publics_.size() < kMaxPublics) {
        publics_.push_back({offset, c.Name()});
      }
      c.NextLine();
    }
  }
  uint32_t previousSegment = 0;
  // Past either limit no more units are read: each pair kept depends on the
  // last, and a unit's lines need its source entry.
  while (lines_.size() < kMaxLines && sources_.size() < kMaxSources) {
    c.SkipSpace();
    if (!c.RestOfLine().starts_with("Line numbers for")) break;
    const std::string_view header = c.RestOfLine();
    const size_t paren = header.find('(');
    std::string_view source;
    if (paren != std::string_view::npos) {
      Cursor name(header.substr(paren));
      source = name.Name();
    }
    c.NextLine();
    bool first = true;
    while (lines_.size() < kMaxLines && c.NextLineStartsWithDigit()) {
      const uint32_t line = c.Decimal();
      uint32_t segment = 0, offset = 0;
      if (!c.Address(segment, offset)) {
        c.NextLine();
        continue;
      }
      const bool anyNonZero = !lines_.empty() && lines_.back().offset != 0;
      const bool keep = !anyNonZero || (offset >= 1 && offset <= highestEnd_ && segment == previousSegment &&
                                        offset > lines_.back().offset);
      if (keep) {
        lines_.push_back({offset, line});
        previousSegment = segment;
        if (first) sources_.push_back({offset, source});
        first = false;
      } else {
        ++skipped_;
      }
      c.SkipBlanks();
      if (c.Peek() == '\r' || c.Peek() == '\n') c.NextLine();
    }
  }
}

uint32_t TDiagMapScanner::ModuleStartFromAddr(uint32_t addr) const {
  for (size_t i = segments_.size(); i-- > 0;) {
    if (segments_[i].start <= addr && addr <= segments_[i].end) return segments_[i].start;
  }
  return 0xFFFFFFFFu;
}

std::string TDiagMapScanner::ModuleNameFromAddr(uint32_t addr) const {
  for (size_t i = segments_.size(); i-- > 0;) {
    if (segments_[i].start <= addr && addr <= segments_[i].end) return std::string(segments_[i].name);
  }
  return {};
}

template <class T>
const T* TDiagMapScanner::Find(const std::vector<T>& items, uint32_t addr) const {
  const uint32_t unitStart = ModuleStartFromAddr(addr);
  for (size_t i = items.size(); i-- > 0;) {
    if (items[i].offset <= addr) return unitStart != 0xFFFFFFFFu && items[i].offset >= unitStart ? &items[i] : nullptr;
  }
  return nullptr;
}

std::string TDiagMapScanner::ProcNameFromAddr(uint32_t addr, uint32_t& offset) const {
  offset = 0;
  const Named* p = Find(publics_, addr);
  if (p == nullptr) return {};
  offset = addr - p->offset;
  return std::string(p->name);
}

uint32_t TDiagMapScanner::LineNumberFromAddr(uint32_t addr, int32_t& offset) const {
  offset = 0;
  const Line* l = Find(lines_, addr);
  if (l == nullptr) return 0;
  offset = static_cast<int32_t>(addr - l->offset);
  return l->line;
}

std::string TDiagMapScanner::SourceNameFromAddr(uint32_t addr) const {
  const Named* s = Find(sources_, addr);
  return s == nullptr ? std::string() : std::string(s->name);
}

}  // namespace kv
