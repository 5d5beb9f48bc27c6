#pragma once
// Word-level similarity: a letter trie that numbers words, and a trie of
// word-number sequences searched within an error budget. Byte-level code:
// no system headers, builds natively.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kv {

// Open-addressing hash map from 64-bit keys to 32-bit values, for the
// indexes of the sequence trie. The key ~0 is reserved as the empty slot.
class FlatMap64 {
 public:
  static constexpr uint32_t kMissing = UINT32_MAX;

  // The value stored under key, or kMissing.
  uint32_t Find(uint64_t key) const;
  // Reference to the value under key, inserting kMissing first when absent.
  uint32_t& At(uint64_t key);
  // Removes every entry; with `touched` tracking on, costs only the slots used.
  void Clear();
  size_t Size() const { return size_; }
  size_t MemoryBytes() const { return slots_.capacity() * sizeof(Slot) + touched_.capacity() * sizeof(uint32_t); }
  // Remember the slots written so that Clear need not sweep the whole table.
  void TrackTouched(bool on) { track_ = on; }

 private:
  struct Slot {
    uint64_t key;
    uint32_t value;
  };
  static constexpr uint64_t kEmpty = ~uint64_t{0};
  void Grow();
  size_t Probe(uint64_t key) const;

  std::vector<Slot> slots_;
  std::vector<uint32_t> touched_;
  size_t size_ = 0;
  bool track_ = false;
};

class TCustomStrFinder;
class TWordsTree;

// One node of a word dictionary's letter trie: its key (a letter, or 0 at the
// end of a word), its two children and parent within its level, the numbers
// of the word that ends here, and the level of the following letter. A handle
// into the dictionary, valid while the dictionary lives and is not assigned
// to; a default-made handle is "none".
class TLetterTree {
 public:
  TLetterTree() = default;
  explicit operator bool() const { return owner_ != nullptr; }
  bool operator==(const TLetterTree&) const = default;

  uint8_t Key() const;
  TLetterTree Smaller() const;  // keys below this one
  TLetterTree Larger() const;   // keys at or above this one
  TLetterTree Parent() const;   // none at the level's root
  TWordsTree Next() const;      // level of the following letter; none when absent
  // The numbers of the word that ends here, oldest first.
  std::span<const int32_t> Numbers() const;
  // Appends a number at the end of the node's numbers.
  void AddID(int32_t number);
  // The node after this one in its level's traversal order (node, smaller
  // subtree, larger subtree), stepping by parent links; none after the last.
  TLetterTree GetNextLetter() const;

 private:
  friend class TCustomStrFinder;
  friend class TWordsTree;
  TLetterTree(TCustomStrFinder* owner, uint32_t node);
  TCustomStrFinder* owner_ = nullptr;
  uint32_t node_ = 0;
};

// One level of a word dictionary's letter trie: a binary search tree of the
// letters that may follow one prefix. A handle as TLetterTree.
class TWordsTree {
 public:
  TWordsTree() = default;
  explicit operator bool() const { return owner_ != nullptr; }
  bool operator==(const TWordsTree&) const = default;

  // The level's root node; none while the level is empty.
  TLetterTree Root() const;
  // The key's node, inserted when missing: a new node nearer to 128 than its
  // would-be parent takes the parent's place, the parent becoming its child.
  TLetterTree AddLetter(uint8_t key);
  // The key's node by a plain search; none when absent.
  TLetterTree FindLetter(uint8_t key) const;

 private:
  friend class TCustomStrFinder;
  friend class TLetterTree;
  TWordsTree(TCustomStrFinder* owner, uint32_t level) : owner_(owner), level_(level) {}
  TCustomStrFinder* owner_ = nullptr;
  uint32_t level_ = 0;
};

// Word dictionary: a trie of letters giving each distinct word its numbers,
// ASCII letters folded to upper case while CaseFolding is on. Each level (TWordsTree) is a binary
// search tree of nodes (TLetterTree) in which a new key nearer to 128 than
// its would-be parent takes the parent's place. Nodes live in one pool, so
// no destructor recurses however long a word is.
class TCustomStrFinder {
 public:
  TCustomStrFinder();

  // On (as made): ASCII letters are stored and looked up in upper case, so
  // words differing only in their case are one word. Off: every byte as it
  // is. Set it before the first word is stored.
  bool CaseFolding = true;

  // Stores word (with its end key 0) and appends number to its end node's
  // numbers; raises HighestNumber when number is greater.
  void AddString(std::string_view word, int32_t number);
  // The word's end node, or none when it was never stored.
  TLetterTree Find(std::string_view word);
  // Whether the word was ever stored.
  bool Contains(std::string_view word) const { return FindNode(word) != kNoNode; }
  // The first (oldest) number stored for word, or -1.
  int32_t FindFirst(std::string_view word) const;
  // Highest number stored so far; -1 in a new dictionary.
  int32_t HighestNumber() const { return highest_; }
  // The level of the first letters.
  TWordsTree Root() { return TWordsTree(this, 0); }
  size_t NodeCount() const { return nodes_.size(); }
  size_t MemoryBytes() const;

 private:
  friend class TLetterTree;
  friend class TWordsTree;
  static constexpr uint32_t kNoNode = UINT32_MAX;

  struct Node {
    uint8_t key;
    uint32_t smaller = kNoNode, larger = kNoNode, parent = kNoNode;
    uint32_t level = 0;          // the level this node belongs to
    uint32_t next = kNoNode;     // level of the following letter
    uint32_t numbers = kNoNode;  // index into numbers_ (end nodes only)
  };

  TLetterTree Handle(uint32_t node) { return node == kNoNode ? TLetterTree() : TLetterTree(this, node); }
  uint32_t FindNode(std::string_view word) const;
  void AddNumber(uint32_t node, int32_t number);
  uint8_t Fold(uint8_t c) const { return CaseFolding && c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 32) : c; }
  uint32_t AddLetter(uint32_t level, uint8_t key);
  uint32_t FindLetter(uint32_t level, uint8_t key) const;
  uint32_t NextInLevel(uint32_t node) const;

  std::vector<Node> nodes_;
  std::vector<uint32_t> levelRoots_;  // level 0 is the root level
  std::vector<std::vector<int32_t>> numbers_;
  int32_t highest_ = -1;
};

// Sequence index: a trie whose letters are word numbers (positive; 0 ends a
// sequence), with record numbers kept at the end nodes. FuzzySearch finds
// every stored sequence that turns into the query by substituting words,
// skipping stored words and dropping trailing query words within a budget.
//
// Each level is indexed so that following one word is a lookup; a large level
// also lists its children by the one or two words that follow them, directly
// or across one more level, so that skipping or replacing a stored word there
// tries only children that can still lead to the query. The search remembers
// the highest budget each (level, query position) was explored with and walks
// without branching once the budget allows no further edit. The records found
// are exactly those of a plain walk over every node of every level; rings are
// listed in the order this search meets them.
class TCustomIntArrFinder {
 public:
  TCustomIntArrFinder() = default;
  TCustomIntArrFinder(int32_t substituteCost, int32_t insertCost, int32_t deleteCost)
      : SubstituteCost(substituteCost), InsertCost(insertCost), DeleteCost(deleteCost) {}

  // Cost of replacing a query word by a different stored word.
  int32_t SubstituteCost = 1;
  // Cost of a stored word that the query does not have.
  int32_t InsertCost = 1;
  // Cost of each query word left over when a stored sequence ends.
  int32_t DeleteCost = 1;

  // Stores the sequence (a trailing 0 is accepted and not doubled), appends
  // record to its end node and returns that node. Throws
  // std::invalid_argument for a 0 before the end.
  uint32_t AddString(std::span<const int32_t> words, int32_t record);
  // Runs the search and returns how many record numbers it found. An empty
  // query or a negative budget finds nothing. Throws std::invalid_argument
  // for a 0 before the end of the query or a negative cost.
  int32_t FuzzySearch(std::span<const int32_t> query, int32_t budget);
  // The record numbers found by the last search, ResultCount() of them: each
  // end node's in the order they were added (records stored onto a found
  // node since the search are not part of its result).
  std::vector<int32_t> GetResultArray() const;
  // Forgets the last search's results; the trie is untouched.
  void ClearSearchResults();
  // How many record numbers the last search found.
  int32_t ResultCount() const { return resultCount_; }
  // Whether the last search found the end node returned by AddString.
  bool Found(uint32_t endNode) const;

  // Figures for benchmarks: trie nodes, trie levels visited by the last
  // search, and the memory held.
  size_t NodeCount() const { return nodes_.size(); }
  uint64_t LastSearchSteps() const { return steps_; }
  size_t MemoryBytes() const;

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  // Levels with more children than this get a hash index and the lists of
  // children by following words; smaller ones are scanned.
  static constexpr uint32_t kSmallLevel = 8;

  // key 0 marks an end node: its first/last/count describe its ring of
  // record numbers. Any other node: its children (a list in insertion order).
  struct Node {
    int32_t key;
    uint32_t sibling = kNone;
    uint32_t first = kNone;
    uint32_t last = kNone;
    uint32_t count = 0;
  };
  struct RingEntry {
    int32_t record;
    uint32_t next;
  };
  struct State {
    uint32_t node;
    uint32_t q;
    int64_t budget;
  };

  static uint64_t Pair(uint32_t a, int32_t b) { return (uint64_t{a} << 32) | static_cast<uint32_t>(b); }
  uint32_t Child(uint32_t parent, int32_t key) const;
  uint32_t AddChild(uint32_t parent, int32_t key);
  void IndexLevel(uint32_t level);
  void Register(uint32_t level, const uint32_t* path, int depth);
  uint32_t Bucket(FlatMap64& map, uint32_t level, int32_t key);
  uint32_t Prepend(uint32_t head, uint32_t node);
  void Push(uint32_t node, uint32_t q, int64_t budget);
  void Spread(uint32_t node, uint32_t q, int64_t budget, int32_t except, std::span<const int32_t> query);
  void Visit(const State& s, std::span<const int32_t> query);
  void ExactWalk(uint32_t node, uint32_t q, int64_t budget, std::span<const int32_t> query);
  void AddRing(uint32_t endNode);

  std::vector<Node> nodes_{Node{1}};   // node 0 owns the root level
  std::vector<uint32_t> parent_{kNone};
  std::vector<RingEntry> ring_;
  FlatMap64 children_;                 // (parent, key) -> child, large levels
  // Lists of a large level's children (see IndexLevel); heads index via_.
  FlatMap64 grandchildren_;            // (level, k1) -> bucket of "bucket (k1)"
  FlatMap64 greatGrandchildren_;      // (level, k1) -> bucket of "great (k1)"
  std::vector<uint32_t> bucketHead_;  // bucket -> head
  FlatMap64 pairs_;                    // (bucket (k1), k2) -> head
  FlatMap64 star1_;                    // (bucket of great (k1), k2) -> head
  FlatMap64 star2_;                    // (bucket (k1), k2) -> head
  FlatMap64 greatSeen_;               // (child, k1) pairs already in great (k1)
  struct Via {
    uint32_t parent;
    uint32_t next;
  };
  std::vector<Via> via_;

  // Search state, reused between searches.
  struct FoundRing {
    uint32_t node;   // end node
    uint32_t count;  // its records when found
  };
  std::vector<FoundRing> found_;      // end nodes found, in order
  std::vector<uint32_t> foundStamp_;  // per node: search generation that found it
  uint32_t generation_ = 0;
  int32_t resultCount_ = 0;
  FlatMap64 explored_;                 // (node, q) -> highest budget + bias
  std::vector<State> stack_;
  uint64_t steps_ = 0;
};

}  // namespace kv
