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
#include <utility>
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

[[noreturn]] void ThrowTreeIndexError();

// A node of an ordered tree that owns its children. Node is the derived class.
template <class Node>
class TTree {
 public:
  TTree(const TTree&) = delete;
  TTree& operator=(const TTree&) = delete;

  // Makes a node and appends it to the parent's Items.
  template <class... Args>
  static Node& Create(Node& parent, Args&&... args) {
    return parent.Add(std::make_unique<Node>(std::forward<Args>(args)...));
  }
  // Appends a child and returns it.
  Node& Add(std::unique_ptr<Node> child) {
    child->Parent = static_cast<Node*>(this);
    Items.push_back(std::move(child));
    return *Items.back();
  }
  // Unlinks child i and hands it over; throws std::out_of_range for a bad index.
  std::unique_ptr<Node> Remove(size_t index) {
    if (index >= Items.size()) ThrowTreeIndexError();
    std::unique_ptr<Node> child = std::move(Items[index]);
    Items.erase(Items.begin() + static_cast<std::ptrdiff_t>(index));
    child->Parent = nullptr;
    return child;
  }
  void Delete(size_t index) { Remove(index); }
  // Frees the children, last first.
  void Clear() {
    while (!Items.empty()) Items.pop_back();
  }
  size_t Count() const { return Items.size(); }
  Node& Item(size_t index) const { return *Items.at(index); }

  std::vector<std::unique_ptr<Node>> Items;
  Node* Parent = nullptr;

 protected:
  TTree() = default;
  // A node goes with its parent's entry (Remove, Delete, Clear) or as a root,
  // so it is never linked when it is freed; its children go last first.
  ~TTree() { Clear(); }
};

// One node of the result tree: the rule that matched and where.
class TAnaTree : public TTree<TAnaTree> {
 public:
  TAnaTree() = default;
  TAnaTree(int64_t start, uint8_t rule) : Start(start), Rule(rule) {}

  // The matched characters of the text the tree was built from.
  std::string_view GetText(std::string_view text) const;

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
  // One compiled rule.
  struct TElement {
    std::string Name;
    size_t Index = 0;  // its line in the rule text, from 0
    std::vector<Part> Parts;
    bool Compiled = false;
    size_t Count() const { return Parts.size(); }
  };
  // One open bracket while a rule is matched.
  struct TAnaStackItem {
    int64_t pos;            // where the bracket, or the current pass of a repetition, began
    size_t part;            // index of the part after the opening operator
    int code;               // the opening operator
    size_t children;        // child nodes present when the bracket (or pass) began
  };
  class TAnaStack {
   public:
    TAnaStackItem& Push(const TAnaStackItem& item) {
      items_.push_back(item);
      return items_.back();
    }
    void Pop() { items_.pop_back(); }
    TAnaStackItem& GetValue() { return items_.back(); }
    size_t GetLen() const { return items_.size(); }

   private:
    std::vector<TAnaStackItem> items_;
  };
  // The rule names, sorted without regard to letter case, with their lines.
  using TNameList = std::vector<std::pair<std::string, size_t>>;

  std::vector<Part> CompileExpression(std::string_view expr, const TNameList& names) const;
  // Returns the position after the match, or 0 when the rule fails.
  int64_t Match(size_t rule, int64_t pos, TAnaTree& parent, int depth);
  size_t FindOperator(const TElement& rule, size_t from, int code) const;
  int64_t FindRunEnd(const Part& part, int64_t pos) const;
  void RecordFailure(int64_t pos, const Part& part);
  std::string BuildMessage() const;

  std::vector<TElement> rules_;
  std::string text_;
  std::unique_ptr<TAnaTree> tree_;
  int64_t failPos_ = 0;
  Kind failKind_ = Kind::Literal;
  int failOp_ = 0;
  char failChar_ = 0;            // the literal expected
  std::string failDelimiters_;   // the delimiters of a run not found
  std::string message_;
};

}  // namespace kv
