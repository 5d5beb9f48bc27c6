#include "foundation/grammar_parser.h"

#include <algorithm>

#include "base/strings.h"
#include "foundation/translate.h"

namespace kv {
namespace {

constexpr size_t kNone = static_cast<size_t>(-1);
// The node's rule index is one byte.
constexpr size_t kMaxRules = 256;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void DefinitionError(const std::string& what) {
  throw ESyntaxDefinitionError("Error in syntax definition : " + what);
}

}  // namespace

// ---------------------------------------------------------------- TAnaTree --

void ThrowTreeIndexError() { throw std::out_of_range("TTree:" + Translate("Delete error")); }

std::string_view TAnaTree::GetText(std::string_view text) const {
  if (Start < 1 || Len == 0 || static_cast<uint64_t>(Start - 1) >= text.size()) return {};
  return text.substr(static_cast<size_t>(Start - 1), static_cast<size_t>(Len));
}

// --------------------------------------------------------------- compiling --

void TAnalyser::LoadLang(std::string_view ruleText) {
  rules_.clear();
  std::vector<std::string> lines;
  Separate(ruleText, "\r\n", lines);
  if (lines.size() > kMaxRules) DefinitionError("too many rules");
  TNameList names;
  std::vector<std::string_view> expressions;
  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t eq = lines[i].find('=');
    names.emplace_back(lines[i].substr(0, eq), i);
    expressions.push_back(eq == std::string::npos ? std::string_view() : std::string_view(lines[i]).substr(eq + 1));
  }
  std::vector<TElement> rules(lines.size());
  for (const auto& [name, line] : names) {
    rules[line].Name = name;
    rules[line].Index = line;
  }
  // Of names alike, the first line's rule is the one referenced.
  std::stable_sort(names.begin(), names.end(),
                   [](const auto& a, const auto& b) { return CompareTextAscii(a.first, b.first) < 0; });
  for (TElement& rule : rules) {
    rule.Parts = CompileExpression(expressions[rule.Index], names);
    rule.Compiled = true;
  }
  rules_ = std::move(rules);
}

std::vector<TAnalyser::Part> TAnalyser::CompileExpression(std::string_view e, const TNameList& names) const {
  std::vector<Part> parts;
  for (size_t k = 0; k < e.size(); ++k) {
    const char c = e[k];
    switch (c) {
      case '\\':  // a trailing backslash stands for itself
        parts.push_back({Kind::Literal, static_cast<unsigned char>(k + 1 < e.size() ? e[++k] : c), {}, {}});
        break;
      case '<': {
        const size_t close = e.find('>', k + 1);
        if (close == std::string_view::npos) DefinitionError("\">\" not found");
        const std::string_view name = e.substr(k + 1, close - k - 1);
        const auto found = std::lower_bound(names.begin(), names.end(), name, [](const auto& entry, std::string_view n) {
          return CompareTextAscii(entry.first, n) < 0;
        });
        if (found == names.end() || !SameTextAscii(found->first, name)) {
          DefinitionError("element not found (" + std::string(name) + ")");
        }
        parts.push_back({Kind::RuleRef, static_cast<int>(found->second), {}, {}});
        k = close;
        break;
      }
      case '^': {
        // Consecutive runs form one part with several delimiters.
        Part run{Kind::Operator, kRun, {}, {}};
        while (k < e.size() && e[k] == '^') {
          if (k + 1 >= e.size()) DefinitionError("delimiter after \"^\" not found");
          char delimiter = e[k + 1];
          k += 2;
          if (delimiter == '\\' && k < e.size()) delimiter = e[k++] == 'n' ? '\r' : e[k - 1];
          char escape = ' ';
          if (k + 2 < e.size() && e[k] == '(' && e[k + 2] == ')') {
            escape = e[k + 1];
            k += 3;
          }
          run.text += delimiter;
          run.escapes += escape;
        }
        --k;
        parts.push_back(std::move(run));
        break;
      }
      case '~': {
        const size_t close = e.find('~', k + 1);
        if (close == std::string_view::npos) DefinitionError("second \"~\" not found");
        parts.push_back({Kind::Operator, kSkipTo, std::string(e.substr(k + 1, close - k - 1)), {}});
        k = close;
        break;
      }
      case ' ': case '\t': case '\r': case '\n': parts.push_back({Kind::Space, 0, {}, {}}); break;
      case '$': parts.push_back({Kind::Identifier, 0, {}, {}}); break;
      case '#': parts.push_back({Kind::Number, 0, {}, {}}); break;
      case '[': parts.push_back({Kind::Operator, kOptOpen, {}, {}}); break;
      case ']': parts.push_back({Kind::Operator, kOptClose, {}, {}}); break;
      case '{': parts.push_back({Kind::Operator, kRepOpen, {}, {}}); break;
      case '}': parts.push_back({Kind::Operator, kRepClose, {}, {}}); break;
      case '(': parts.push_back({Kind::Operator, kAltOpen, {}, {}}); break;
      case '|': parts.push_back({Kind::Operator, kAltNext, {}, {}}); break;
      case ')': parts.push_back({Kind::Operator, kAltClose, {}, {}}); break;
      default: parts.push_back({Kind::Literal, static_cast<unsigned char>(c), {}, {}}); break;
    }
  }
  return parts;
}

// ---------------------------------------------------------------- matching --

void TAnalyser::Parse(std::string text, size_t startRule) {
  failPos_ = 0;
  failChar_ = 0;
  failDelimiters_.clear();
  message_.clear();
  if (rules_.empty()) return;
  if (startRule >= rules_.size()) throw std::out_of_range("TAnalyser::Parse: no such rule");
  if (text.size() > UINT32_MAX) throw EParseError("The text is longer than 4 GiB", 1);
  tree_ = std::make_unique<TAnaTree>();
  text_ = std::move(text);
  int64_t end = 0;
  try {
    end = Match(startRule, 1, *tree_, 1);
  } catch (...) {
    tree_->Clear();
    throw;
  }
  if (end == 0 && failPos_ > 0) {
    message_ = BuildMessage();
    throw EParseError(message_, failPos_);
  }
}

size_t TAnalyser::FindOperator(const TElement& rule, size_t from, int code) const {
  for (size_t i = from; i < rule.Count(); ++i) {
    if (rule.Parts[i].kind == Kind::Operator && rule.Parts[i].value == code) return i;
  }
  DefinitionError("close item is absent");
}

int64_t TAnalyser::FindRunEnd(const Part& part, int64_t pos) const {
  const std::string_view text(text_);
  for (size_t q = static_cast<size_t>(pos - 1); q < text.size(); ++q) {
    q = text.find_first_of(part.text, q);
    if (q == std::string_view::npos) break;
    const char escape = part.escapes[part.text.find(text[q])];
    if (escape != ' ' && q + 1 > static_cast<size_t>(pos) && text[q - 1] == escape) continue;
    return static_cast<int64_t>(q) + 1 == pos ? 0 : static_cast<int64_t>(q) + 1;
  }
  return 0;
}

void TAnalyser::RecordFailure(int64_t pos, const Part& part) {
  if (pos <= failPos_) return;
  failPos_ = pos;
  failKind_ = part.kind;
  failOp_ = part.kind == Kind::Operator ? part.value : 0;
  failChar_ = part.kind == Kind::Literal ? static_cast<char>(part.value) : 0;
  failDelimiters_ = failOp_ == kRun ? part.text : std::string();
}

std::string TAnalyser::BuildMessage() const {
  if (failKind_ == Kind::Literal) {
    return Translate("Syntax error") + ": \"" + std::string(1, failChar_) + "\" " + Translate("expected");
  }
  if (failKind_ == Kind::Operator && failOp_ == kRun) {
    return Translate("Syntax error") + ": " + Translate("delimiter") + " \"" + failDelimiters_ + "\" " +
           Translate("not found");
  }
  if (failKind_ == Kind::Identifier) return Translate("Syntax error") + ": " + Translate("identifier expected");
  return {};
}

int64_t TAnalyser::Match(size_t ruleIndex, int64_t pos, TAnaTree& parent, int depth) {
  // A cap on nesting keeps hostile text from exhausting the stack.
  if (depth > kMaxDepth) throw EParseError(Translate("Syntax error") + ": " + Translate("nesting too deep"), pos);
  const TElement& rule = rules_[ruleIndex];
  const int64_t length = static_cast<int64_t>(text_.size());
  TAnaTree& node = TAnaTree::Create(parent, pos, static_cast<uint8_t>(ruleIndex));
  TAnaStack open;
  int64_t p = pos;
  size_t i = 0;
  while (i < rule.Count()) {
    const Part& part = rule.Parts[i];
    bool ok = true;
    if (part.kind == Kind::Operator) {
      switch (part.value) {
        case kOptOpen: case kRepOpen: case kAltOpen:
          open.Push({p, i + 1, part.value, node.Count()});
          ++i;
          continue;
        case kOptClose: case kAltClose:
          if (open.GetLen() != 0) open.Pop();
          ++i;
          continue;
        case kRepClose:
          // A pass that consumed nothing would repeat for ever: it ends the repetition.
          if (open.GetLen() == 0 || open.GetValue().pos == p) {
            if (open.GetLen() != 0) open.Pop();
            ++i;
            continue;
          }
          open.GetValue().pos = p;
          open.GetValue().children = node.Count();
          i = open.GetValue().part;
          continue;
        case kAltNext:  // an alternative succeeded: the rest are skipped
          i = FindOperator(rule, i + 1, kAltClose) + 1;
          if (open.GetLen() != 0) open.Pop();
          continue;
        case kRun: {
          const int64_t end = FindRunEnd(part, p);
          if (end == 0) ok = false; else p = end;
          break;
        }
        default: {  // kSkipTo
          const size_t at = p > length ? std::string::npos : text_.find(part.text, static_cast<size_t>(p - 1));
          p = at == std::string::npos ? length + 1 : static_cast<int64_t>(at + part.text.size()) + 1;
          break;
        }
      }
    } else if (p > length) {
      ok = false;
    } else {
      auto at = [&](int64_t q) { return text_[static_cast<size_t>(q - 1)]; };
      switch (part.kind) {
        case Kind::Literal:
          while (true) {
            if (p > length) { ok = false; break; }
            const char c = at(p);
            if (c == static_cast<char>(part.value)) { ++p; break; }
            if (!IsSpace(c)) { ok = false; break; }
            ++p;
          }
          break;
        case Kind::RuleRef: {
          const int64_t end = Match(static_cast<size_t>(part.value), p, node, depth + 1);
          if (end <= p) ok = false; else p = end;
          break;
        }
        case Kind::Identifier:
          if (!IsLetter(at(p))) { ok = false; break; }
          while (p <= length && (IsLetter(at(p)) || IsDigit(at(p)))) ++p;
          break;
        case Kind::Number:
          if (!IsDigit(at(p))) { ok = false; break; }
          while (p <= length && IsDigit(at(p))) ++p;
          break;
        default:  // Kind::Space
          while (p <= length && IsSpace(at(p))) ++p;
          break;
      }
    }
    if (ok) {
      ++i;
      continue;
    }
    // Backtrack to the innermost open bracket; with none left the rule fails.
    while (true) {
      if (open.GetLen() == 0) {
        RecordFailure(p, part);
        parent.Items.pop_back();
        return 0;
      }
      TAnaStackItem& top = open.GetValue();
      p = top.pos;
      node.Items.resize(top.children);  // what the abandoned attempt added
      if (top.code == kOptOpen || top.code == kRepOpen) {
        i = FindOperator(rule, i, top.code == kOptOpen ? kOptClose : kRepClose) + 1;
        open.Pop();
        break;
      }
      const size_t close = FindOperator(rule, i, kAltClose);
      size_t next = kNone;
      for (size_t k = i; k < close && next == kNone; ++k) {
        if (rule.Parts[k].kind == Kind::Operator && rule.Parts[k].value == kAltNext) next = k;
      }
      if (next != kNone) {
        i = next + 1;
        break;
      }
      open.Pop();
      i = close;  // fails again at the enclosing level
    }
  }
  node.Len = static_cast<uint32_t>(p - pos);
  if (node.Len == 0) parent.Items.pop_back();
  else if (OnNodeParsed) OnNodeParsed(node);
  return p;
}

}  // namespace kv
