#include "ui/layout_parser.h"

#include <cctype>

namespace kv::ui {

namespace {

class Parser {
 public:
  Parser(std::string_view text, const std::string& file) : s_(text), file_(file) {}

  TLayoutNode Root() {
    if (s_.size() > kMaxLayoutBytes) Fail("layout is larger than 1 MiB");
    SkipBlank();
    if (!Keyword("object")) Fail("expected \"object\"");
    TLayoutNode root = Block(0);
    SkipBlank();
    if (pos_ < s_.size()) Fail("text after the root block");
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& message) const { throw ELayoutError(file_, line_, message); }

  void SkipBlank() {  // spaces, line breaks and comments
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++pos_;
      } else if (c == '#') {
        while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
      } else {
        break;
      }
    }
  }

  static bool IdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
  }

  std::string Ident() {
    SkipBlank();
    size_t start = pos_;
    if (pos_ < s_.size() && (std::isalpha(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_'))
      while (pos_ < s_.size() && IdentChar(s_[pos_])) ++pos_;
    if (start == pos_) Fail("expected a name");
    return std::string(s_.substr(start, pos_ - start));
  }

  bool Keyword(std::string_view word) {
    SkipBlank();
    if (s_.substr(pos_, word.size()) != word) return false;
    size_t after = pos_ + word.size();
    if (after < s_.size() && IdentChar(s_[after])) return false;
    pos_ = after;
    return true;
  }

  void Expect(char c) {
    SkipBlank();
    if (pos_ >= s_.size() || s_[pos_] != c) Fail(std::string("expected \"") + c + "\"");
    ++pos_;
  }

  // After "object": "Name: Class", properties, child blocks, "end".
  TLayoutNode Block(int depth) {
    if (depth >= kMaxLayoutDepth) Fail("layout nested too deeply");
    TLayoutNode node;
    node.line = line_;
    node.name = Ident();
    Expect(':');
    node.className = Ident();
    for (;;) {
      SkipBlank();
      if (pos_ >= s_.size()) Fail("missing \"end\" of " + node.name);
      if (Keyword("end")) return node;
      if (Keyword("object")) {
        node.children.push_back(Block(depth + 1));
        continue;
      }
      node.properties.push_back(Property(depth));
    }
  }

  // "Name = value"; collections in the value nest one level below `depth`.
  TLayoutProperty Property(int depth) {
    TLayoutProperty prop;
    prop.line = line_;
    prop.name = Ident();
    Expect('=');
    prop.value = Value(true, depth);
    return prop;
  }

  // After "<": "item", properties, "end", ... ">". A collection counts as a
  // level of nesting, so items holding collections stay bounded too.
  TLayoutValue Collection(int depth) {
    if (depth + 1 >= kMaxLayoutDepth) Fail("layout nested too deeply");
    TLayoutValue v;
    v.kind = TLayoutValue::Kind::Collection;
    for (;;) {
      SkipBlank();
      if (pos_ < s_.size() && s_[pos_] == '>') {
        ++pos_;
        return v;
      }
      if (!Keyword("item")) Fail("expected \"item\" or \">\"");
      if (v.collection.size() >= kMaxLayoutItems)
        Fail("more than " + std::to_string(kMaxLayoutItems) + " items in a collection");
      TLayoutItem item;
      item.line = line_;
      for (;;) {
        SkipBlank();
        if (pos_ >= s_.size()) Fail("missing \"end\" of the item");
        if (Keyword("end")) break;
        item.properties.push_back(Property(depth + 1));
      }
      v.collection.push_back(std::move(item));
    }
  }

  TLayoutValue Value(bool allowList, int depth) {
    SkipBlank();
    if (pos_ >= s_.size()) Fail("expected a value");
    TLayoutValue v;
    char c = s_[pos_];
    if (c == '"') {
      v.kind = TLayoutValue::Kind::String;
      v.text = String();
    } else if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
      v.kind = TLayoutValue::Kind::Integer;
      v.number = Number();
    } else if (c == '[') {
      ++pos_;
      v.kind = TLayoutValue::Kind::Set;
      SkipBlank();
      if (pos_ < s_.size() && s_[pos_] == ']') {
        ++pos_;
        return v;
      }
      for (;;) {
        TLayoutValue item;
        item.kind = TLayoutValue::Kind::Ident;
        item.text = Ident();
        v.items.push_back(std::move(item));
        SkipBlank();
        if (pos_ < s_.size() && s_[pos_] == ',') {
          ++pos_;
          continue;
        }
        Expect(']');
        return v;
      }
    } else if (c == '(' && allowList) {
      ++pos_;
      v.kind = TLayoutValue::Kind::List;
      SkipBlank();
      if (pos_ < s_.size() && s_[pos_] == ')') {
        ++pos_;
        return v;
      }
      for (;;) {
        v.items.push_back(Value(false, depth));
        SkipBlank();
        if (pos_ < s_.size() && s_[pos_] == ',') {
          ++pos_;
          continue;
        }
        Expect(')');
        return v;
      }
    } else if (c == '<' && allowList) {
      ++pos_;
      return Collection(depth);
    } else {
      v.kind = TLayoutValue::Kind::Ident;
      v.text = Ident();
    }
    return v;
  }

  int64_t Number() {
    bool negative = s_[pos_] == '-';
    if (negative) ++pos_;
    if (pos_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[pos_])))
      Fail("expected a number");
    int64_t n = 0;
    while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
      if (n > 1'000'000'000) Fail("number out of range");
      n = n * 10 + (s_[pos_++] - '0');
    }
    if (pos_ < s_.size() && IdentChar(s_[pos_])) Fail("malformed number");
    return negative ? -n : n;
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  std::string String() {
    ++pos_;  // opening quote
    std::string out;
    for (;;) {
      if (pos_ >= s_.size() || s_[pos_] == '\n') Fail("unterminated string");
      char c = s_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) Fail("unterminated string");
      char e = s_[pos_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'x': {
          int hi = pos_ < s_.size() ? HexDigit(s_[pos_]) : -1;
          int lo = pos_ + 1 < s_.size() ? HexDigit(s_[pos_ + 1]) : -1;
          if (hi < 0 || lo < 0) Fail("\\x needs two hexadecimal digits");
          out += static_cast<char>(hi * 16 + lo);
          pos_ += 2;
          break;
        }
        default: Fail(std::string("unknown escape \\") + e);
      }
    }
  }

  std::string_view s_;
  const std::string& file_;
  size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

TLayoutNode ParseLayout(std::string_view text, const std::string& file) {
  return Parser(text, file).Root();
}

}  // namespace kv::ui
