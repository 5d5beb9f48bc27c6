#pragma once
// A small table-driven recursive-descent parser. A rule text ("name=expression"
// lines separated by CR LF) is compiled once; a text is then matched against
// one rule, which yields a tree with one node per rule that matched.
//
// Expression language, one part per character:
//   c or \c    the literal character c (white space in the text before it is skipped)
//   <name>     the named rule, which must consume at least one character
//   [ ... ]    optional part          { ... }  repetition
//   ( a | b )  first alternative that matches
//   ^c         a non-empty run up to (not including) c; ^a^b: up to a or b;
//              ^\n: up to CR; ^c(x): a c preceded by x does not end the run
//   ~text~     skip past the next occurrence of text (or to the end)
//   $          identifier (letter, then letters and digits)
//   #          number (digits)
//   blank      optional white space (tab, LF, CR, blank)
// Brackets of one kind do not nest within one rule.
// Byte-level: no system calls. Positions count from 1.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// The text does not match: the message and the furthest position reached.
class EParseError : public std::runtime_error {
 public:
  EParseError(const std::string& message, int64_t position) : std::runtime_error(message), position_(position) {}
  int64_t Position() const { return position_; }

 private:
  int64_t position_;
};

// A malformed rule text (found while compiling, or an unclosed bracket while parsing).
class ESyntaxDefinitionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a user of the parser hangs on a node of the result tree.
class TNodeData {
 public:
  virtual ~TNodeData() = default;
};

// One node of the result tree: the rule that matched and where.
class TAnaTree {
 public:
  TAnaTree() = default;
  TAnaTree(int64_t start, uint8_t rule) : Start(start), Rule(rule) {}
  TAnaTree(const TAnaTree&) = delete;
  TAnaTree& operator=(const TAnaTree&) = delete;

  // Appends a child and returns it.
  TAnaTree& Add(std::unique_ptr<TAnaTree> child);
  // Unlinks child i and hands it over; throws std::out_of_range for a bad index.
  std::unique_ptr<TAnaTree> Remove(size_t index);
  void Delete(size_t index) { Remove(index); }
  void Clear();
  size_t Count() const { return Items.size(); }
  TAnaTree& Item(size_t index) const { return *Items.at(index); }
  // The matched characters of the text the tree was built from.
  std::string_view GetText(std::string_view text) const;

  std::vector<std::unique_ptr<TAnaTree>> Items;
  TAnaTree* Parent = nullptr;
  std::unique_ptr<TNodeData> Data;  // owned by the node, freed with it
  int64_t Start = 0;  // from 1; -1 for a node made after parsing
  uint32_t Len = 0;   // texts past 4 GiB are refused, so a match fits
  uint8_t Rule = 0;
  // Left alone by the parser: the settings store marks the groups and params
  // it deleted here, where the node has room for it.
  bool Deleted = false;
};

class TAnalyser {
 public:
  // Deepest rule recursion allowed; deeper text is refused with EParseError.
  static constexpr int kMaxDepth = 1000;

  // Compiles the rules (replacing earlier ones); ESyntaxDefinitionError when malformed.
  void LoadLang(std::string_view ruleText);
  // Matches the text from position 1 against the start rule; EParseError when it
  // does not match. Text after the match is not looked at. No rules: does nothing.
  void Parse(std::string text, size_t startRule = 0);

  // Root of the last result; its first child is the start rule's node.
  TAnaTree* Tree() const { return tree_.get(); }
  const std::string& Text() const { return text_; }
  // Called for each node as soon as its rule has matched (a failing enclosing
  // attempt may still drop it). The receiver may attach data and shed the
  // node's children, so a large text need not keep every leaf in memory.
  std::function<void(TAnaTree&)> OnNodeParsed;
  size_t RuleCount() const { return rules_.size(); }
  int64_t FailPosition() const { return failPos_; }
  const std::string& Message() const { return message_; }

 private:
  enum class Kind : uint8_t { Literal = 1, RuleRef = 2, Operator = 3, Identifier = 4, Number = 5, Space = 6 };
  enum Op : int { kOptOpen, kOptClose, kRepOpen, kRepClose, kAltOpen, kAltNext, kAltClose, kRun, kSkipTo };
  struct Part {
    Kind kind;
    int value = 0;          // literal character, rule index or operator code
    std::string text;       // delimiters of a run, or the text to skip to
    std::string escapes;    // per delimiter, the character that cancels it (blank: none)
  };
  struct Rule {
    std::string name;
    std::vector<Part> parts;
  };
  struct Open {             // one open bracket while a rule is matched
    int64_t pos;
    size_t part;            // index of the part after the opening operator
    int code;
    size_t children;        // child nodes present when the bracket (or pass) began
  };

  std::vector<Part> CompileExpression(std::string_view expr, const std::vector<std::string>& names) const;
  // Returns the position after the match, or 0 when the rule fails.
  int64_t Match(size_t rule, int64_t pos, TAnaTree& parent, int depth);
  size_t FindOperator(const Rule& rule, size_t from, int code) const;
  int64_t FindRunEnd(const Part& part, int64_t pos) const;
  void RecordFailure(int64_t pos, const Part& part);
  std::string BuildMessage() const;

  std::vector<Rule> rules_;
  std::string text_;
  std::unique_ptr<TAnaTree> tree_;
  int64_t failPos_ = 0;
  Kind failKind_ = Kind::Literal;
  int failOp_ = 0;
  std::string failExpected_;
  std::string message_;
};

}  // namespace kv
