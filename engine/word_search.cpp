#include "engine/word_search.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace kv {

// ----------------------------------------------------------------- FlatMap64

namespace {

uint64_t Mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  return x;
}

}  // namespace

size_t FlatMap64::Probe(uint64_t key) const {
  const size_t mask = slots_.size() - 1;
  size_t i = Mix(key) & mask;
  while (slots_[i].key != kEmpty && slots_[i].key != key) i = (i + 1) & mask;
  return i;
}

uint32_t FlatMap64::Find(uint64_t key) const {
  if (slots_.empty()) return kMissing;
  const Slot& s = slots_[Probe(key)];
  return s.key == key ? s.value : kMissing;
}

uint32_t& FlatMap64::At(uint64_t key) {
  // Load stays at or below one half, so probes stay short.
  if ((size_ + 1) * 2 > slots_.size()) Grow();
  const size_t i = Probe(key);
  Slot& s = slots_[i];
  if (s.key != key) {
    s.key = key;
    s.value = kMissing;
    ++size_;
    if (track_) touched_.push_back(static_cast<uint32_t>(i));
  }
  return s.value;
}

void FlatMap64::Grow() {
  std::vector<Slot> old(slots_.empty() ? 16 : slots_.size() * 2, Slot{kEmpty, kMissing});
  old.swap(slots_);
  touched_.clear();
  size_ = 0;
  for (const Slot& s : old) {
    if (s.key == kEmpty) continue;
    const size_t i = Probe(s.key);
    slots_[i] = s;
    ++size_;
    if (track_) touched_.push_back(static_cast<uint32_t>(i));
  }
}

void FlatMap64::Clear() {
  if (track_) {
    for (uint32_t i : touched_) slots_[i] = Slot{kEmpty, kMissing};
    touched_.clear();
  } else {
    for (Slot& s : slots_) s = Slot{kEmpty, kMissing};
  }
  size_ = 0;
}

// ---------------------------------------------------------- TCustomStrFinder

TCustomStrFinder::TCustomStrFinder() : levelRoots_{kNoNode} {}

// Finds the key in the level or inserts it. The would-be parent is the last
// node of the ordinary search; a new node nearer to 128 than that parent takes
// the parent's place, the parent becoming its child on the appropriate side.
// A level holds at most 256 keys, so the walk is bounded.
uint32_t TCustomStrFinder::AddLetter(uint32_t level, uint8_t key) {
  uint32_t parent = kNoNode;
  for (uint32_t x = levelRoots_[level]; x != kNoNode;) {
    if (nodes_[x].key == key) return x;
    parent = x;
    x = key < nodes_[x].key ? nodes_[x].smaller : nodes_[x].larger;
  }
  const auto n = static_cast<uint32_t>(nodes_.size());
  nodes_.push_back(Node{key});
  nodes_[n].level = level;
  if (parent == kNoNode) {
    levelRoots_[level] = n;
    return n;
  }
  auto distance = [](int k) { return k < 128 ? 128 - k : k - 128; };
  Node& p = nodes_[parent];
  Node& nn = nodes_[n];
  if (distance(p.key) <= distance(key)) {
    (key >= p.key ? p.larger : p.smaller) = n;
    nn.parent = parent;
    return n;
  }
  // Lift: the parent's empty side is where n would have gone, so the parent
  // keeps both its subtrees and the order of the tree is preserved.
  (key > p.key ? nn.smaller : nn.larger) = parent;
  nn.parent = p.parent;
  if (p.parent == kNoNode) {
    levelRoots_[level] = n;
  } else {
    Node& g = nodes_[p.parent];
    (g.smaller == parent ? g.smaller : g.larger) = n;
  }
  p.parent = n;
  return n;
}

uint32_t TCustomStrFinder::FindLetter(uint32_t level, uint8_t key) const {
  uint32_t x = levelRoots_[level];
  while (x != kNoNode && nodes_[x].key != key) x = key < nodes_[x].key ? nodes_[x].smaller : nodes_[x].larger;
  return x;
}

void TCustomStrFinder::AddString(std::string_view word, int32_t number) {
  // A word that already ends in its end key is not given a second one.
  const bool hasEnd = !word.empty() && word.back() == '\0';
  const size_t letters = hasEnd ? word.size() - 1 : word.size();
  uint32_t level = 0;
  uint32_t node = kNoNode;
  for (size_t i = 0; i <= letters; ++i) {
    if (node != kNoNode) {
      if (nodes_[node].next == kNoNode) {
        nodes_[node].next = static_cast<uint32_t>(levelRoots_.size());
        levelRoots_.push_back(kNoNode);
      }
      level = nodes_[node].next;
    }
    const uint8_t key = i < letters ? Fold(static_cast<uint8_t>(word[i])) : 0;
    node = AddLetter(level, key);
  }
  AddNumber(node, number);
  if (number > highest_) highest_ = number;
}

void TCustomStrFinder::AddNumber(uint32_t node, int32_t number) {
  if (nodes_[node].numbers == kNoNode) {
    nodes_[node].numbers = static_cast<uint32_t>(numbers_.size());
    numbers_.emplace_back();
  }
  numbers_[nodes_[node].numbers].push_back(number);
}

uint32_t TCustomStrFinder::FindNode(std::string_view word) const {
  const bool hasEnd = !word.empty() && word.back() == '\0';
  const size_t letters = hasEnd ? word.size() - 1 : word.size();
  uint32_t node = kNoNode;
  for (size_t i = 0; i <= letters; ++i) {
    uint32_t level = 0;
    if (node != kNoNode) {
      level = nodes_[node].next;
      if (level == kNoNode) return kNoNode;
    }
    node = FindLetter(level, i < letters ? Fold(static_cast<uint8_t>(word[i])) : 0);
    if (node == kNoNode) return kNoNode;
  }
  return node;
}

TLetterTree TCustomStrFinder::Find(std::string_view word) { return Handle(FindNode(word)); }

int32_t TCustomStrFinder::FindFirst(std::string_view word) const {
  const uint32_t node = FindNode(word);
  if (node == kNoNode || nodes_[node].numbers == kNoNode) return -1;
  return numbers_[nodes_[node].numbers].front();
}

// Pre-order step by parent links: the smaller child, else the larger child,
// else the larger child of the nearest ancestor reached from its smaller side.
uint32_t TCustomStrFinder::NextInLevel(uint32_t node) const {
  const Node& n = nodes_[node];
  if (n.smaller != kNoNode) return n.smaller;
  if (n.larger != kNoNode) return n.larger;
  for (uint32_t x = node; nodes_[x].parent != kNoNode; x = nodes_[x].parent) {
    const Node& p = nodes_[nodes_[x].parent];
    if (p.smaller == x && p.larger != kNoNode) return p.larger;
  }
  return kNoNode;
}

size_t TCustomStrFinder::MemoryBytes() const {
  size_t bytes = nodes_.capacity() * sizeof(Node) + levelRoots_.capacity() * sizeof(uint32_t) +
                 numbers_.capacity() * sizeof(std::vector<int32_t>);
  for (const auto& v : numbers_) bytes += v.capacity() * sizeof(int32_t);
  return bytes;
}

// ---------------------------------------------------- TLetterTree, TWordsTree

TLetterTree::TLetterTree(TCustomStrFinder* owner, uint32_t node) : owner_(owner), node_(node) {}

uint8_t TLetterTree::Key() const { return owner_->nodes_[node_].key; }
TLetterTree TLetterTree::Smaller() const { return owner_->Handle(owner_->nodes_[node_].smaller); }
TLetterTree TLetterTree::Larger() const { return owner_->Handle(owner_->nodes_[node_].larger); }
TLetterTree TLetterTree::Parent() const { return owner_->Handle(owner_->nodes_[node_].parent); }

TWordsTree TLetterTree::Next() const {
  const uint32_t level = owner_->nodes_[node_].next;
  return level == TCustomStrFinder::kNoNode ? TWordsTree() : TWordsTree(owner_, level);
}

std::span<const int32_t> TLetterTree::Numbers() const {
  const uint32_t numbers = owner_->nodes_[node_].numbers;
  if (numbers == TCustomStrFinder::kNoNode) return {};
  return owner_->numbers_[numbers];
}

void TLetterTree::AddID(int32_t number) { owner_->AddNumber(node_, number); }

TLetterTree TLetterTree::GetNextLetter() const { return owner_->Handle(owner_->NextInLevel(node_)); }

TLetterTree TWordsTree::Root() const { return owner_->Handle(owner_->levelRoots_[level_]); }
TLetterTree TWordsTree::AddLetter(uint8_t key) { return owner_->Handle(owner_->AddLetter(level_, key)); }
TLetterTree TWordsTree::FindLetter(uint8_t key) const { return owner_->Handle(owner_->FindLetter(level_, key)); }

// ------------------------------------------------------- TCustomIntArrFinder

namespace {

// The words of a sequence without its optional trailing end key; a 0 anywhere
// else would end the sequence early and is refused.
std::span<const int32_t> WithoutEndKey(std::span<const int32_t> words, const char* what) {
  if (!words.empty() && words.back() == 0) words = words.first(words.size() - 1);
  for (int32_t w : words) {
    if (w == 0) throw std::invalid_argument(std::string(what) + ": word number 0 before the end of the sequence");
  }
  return words;
}

}  // namespace

uint32_t TCustomIntArrFinder::Child(uint32_t parent, int32_t key) const {
  const Node& p = nodes_[parent];
  if (p.count > kSmallLevel) return children_.Find(Pair(parent, key));
  for (uint32_t x = p.first; x != kNone; x = nodes_[x].sibling) {
    if (nodes_[x].key == key) return x;
  }
  return kNone;
}

// Large levels keep lists of their children by what follows them, so that a
// skipped or substituted word followed by an exact match, or by one more skip,
// need not try every child. For a child X of such a level and keys k1, k2:
//   bucket (k1):        X -> k1
//   pairs (k1, k2):     X -> k1 -> k2
//   great (k1):         X -> any -> k1 (each X once per key)
//   star1 (k1, k2):     X -> any -> k1 -> k2
//   star2 (k1, k2):     X -> k1 -> any -> k2
// A node is listed under each large ancestor up to four levels up.
uint32_t TCustomIntArrFinder::Prepend(uint32_t head, uint32_t node) {
  via_.push_back(Via{node, head == FlatMap64::kMissing ? kNone : head});
  return static_cast<uint32_t>(via_.size() - 1);
}

uint32_t TCustomIntArrFinder::Bucket(FlatMap64& map, uint32_t level, int32_t key) {
  uint32_t& bucket = map.At(Pair(level, key));
  if (bucket == FlatMap64::kMissing) {
    bucket = static_cast<uint32_t>(bucketHead_.size());
    bucketHead_.push_back(kNone);
  }
  return bucket;
}

// path[0] is a child of level, path[i + 1] a child of path[i]; the last node
// is the one being listed.
void TCustomIntArrFinder::Register(uint32_t level, const uint32_t* path, int depth) {
  const uint32_t x = path[0];
  const int32_t key = nodes_[path[depth - 1]].key;
  if (depth == 2) {
    const uint32_t b = Bucket(grandchildren_, level, key);
    bucketHead_[b] = Prepend(bucketHead_[b], x);
  } else if (depth == 3) {
    uint32_t& pair = pairs_.At(Pair(Bucket(grandchildren_, level, nodes_[path[1]].key), key));
    pair = Prepend(pair, x);
    const uint32_t b = Bucket(greatGrandchildren_, level, key);
    uint32_t& seen = greatSeen_.At(Pair(x, key));
    if (seen == FlatMap64::kMissing) {
      seen = 1;
      bucketHead_[b] = Prepend(bucketHead_[b], x);
    }
  } else if (depth == 4) {
    uint32_t& star1 = star1_.At(Pair(Bucket(greatGrandchildren_, level, nodes_[path[2]].key), key));
    star1 = Prepend(star1, x);
    uint32_t& star2 = star2_.At(Pair(Bucket(grandchildren_, level, nodes_[path[1]].key), key));
    star2 = Prepend(star2, x);
  }
}

void TCustomIntArrFinder::IndexLevel(uint32_t level) {
  uint32_t path[4];
  auto children = [&](uint32_t node, auto&& go) {
    if (nodes_[node].key == 0) return;  // an end node's first/last are its ring
    for (uint32_t c = nodes_[node].first; c != kNone; c = nodes_[c].sibling) go(c);
  };
  for (uint32_t x = nodes_[level].first; x != kNone; x = nodes_[x].sibling) {
    children_.At(Pair(level, nodes_[x].key)) = x;
    path[0] = x;
    children(x, [&](uint32_t y) {
      path[1] = y;
      Register(level, path, 2);
      children(y, [&](uint32_t z) {
        path[2] = z;
        Register(level, path, 3);
        children(z, [&](uint32_t w) {
          path[3] = w;
          Register(level, path, 4);
        });
      });
    });
  }
}

uint32_t TCustomIntArrFinder::AddChild(uint32_t parent, int32_t key) {
  const uint32_t existing = Child(parent, key);
  if (existing != kNone) return existing;
  if (nodes_.size() >= kNone - 1) throw std::length_error("word index: too many nodes");
  const auto n = static_cast<uint32_t>(nodes_.size());
  nodes_.push_back(Node{key});
  parent_.push_back(parent);
  Node& p = nodes_[parent];
  (p.first == kNone ? p.first : nodes_[p.last].sibling) = n;
  p.last = n;
  ++p.count;
  if (p.count == kSmallLevel + 1) {
    IndexLevel(parent);
  } else if (p.count > kSmallLevel + 1) {
    children_.At(Pair(parent, key)) = n;
  }
  // List n under its large ancestors two to four levels up.
  uint32_t up[5] = {n, parent, kNone, kNone, kNone};
  for (int d = 2; d <= 4 && up[d - 1] != kNone; ++d) {
    up[d] = parent_[up[d - 1]];
    if (up[d] == kNone || nodes_[up[d]].count <= kSmallLevel) continue;
    uint32_t path[4];
    for (int i = 0; i < d; ++i) path[i] = up[d - 1 - i];
    Register(up[d], path, d);
  }
  return n;
}

uint32_t TCustomIntArrFinder::AddString(std::span<const int32_t> words, int32_t record) {
  words = WithoutEndKey(words, "AddString");
  uint32_t node = 0;
  for (int32_t w : words) node = AddChild(node, w);
  const uint32_t end = AddChild(node, 0);
  ring_.push_back(RingEntry{record, kNone});
  const auto entry = static_cast<uint32_t>(ring_.size() - 1);
  Node& e = nodes_[end];
  (e.first == kNone ? e.first : ring_[e.last].next) = entry;
  e.last = entry;
  ++e.count;
  return end;
}

bool TCustomIntArrFinder::Found(uint32_t endNode) const {
  return endNode < foundStamp_.size() && foundStamp_[endNode] == generation_;
}

void TCustomIntArrFinder::ClearSearchResults() {
  found_.clear();
  resultCount_ = 0;
  // Found marks are tied to a search generation; wrapping resets them.
  if (++generation_ == 0) {
    std::fill(foundStamp_.begin(), foundStamp_.end(), 0);
    generation_ = 1;
  }
}

void TCustomIntArrFinder::AddRing(uint32_t endNode) {
  if (foundStamp_.size() < nodes_.size()) foundStamp_.resize(nodes_.size(), 0);
  if (foundStamp_[endNode] == generation_) return;
  foundStamp_[endNode] = generation_;
  found_.push_back({endNode, nodes_[endNode].count});
  resultCount_ += static_cast<int32_t>(nodes_[endNode].count);
}

// A state (level, query position) already explored with at least this budget
// can find nothing new: every path open to a smaller budget was open then.
// The entry is claimed at push time; a later push with a higher budget
// supersedes it and the stale entry is dropped when popped.
void TCustomIntArrFinder::Push(uint32_t node, uint32_t q, int64_t budget) {
  uint32_t& best = explored_.At(Pair(node, static_cast<int32_t>(q)));
  const auto b = static_cast<uint32_t>(budget);  // 0 <= budget <= INT32_MAX here
  if (best != FlatMap64::kMissing && best >= b) return;
  best = b;
  stack_.push_back(State{node, q, budget});
}

// With a budget below both the substitution and the skip cost the only way on
// is the query's own words; a stored sequence ending on the way counts when the
// budget covers dropping the rest of the query. Such a walk needs no memory of
// explored states: it branches nowhere and repeating it finds nothing new.
void TCustomIntArrFinder::ExactWalk(uint32_t node, uint32_t q, int64_t budget, std::span<const int32_t> query) {
  for (;;) {
    ++steps_;
    const uint32_t end = Child(node, 0);
    if (end != kNone && budget >= int64_t{DeleteCost} * static_cast<int64_t>(query.size() - q)) AddRing(end);
    if (q == query.size()) return;
    node = Child(node, query[q]);
    if (node == kNone) return;
    ++q;
  }
}

// Continues from every child of `node` except the one keyed `except` (it
// matched, so it has no other move) and the end node (nothing follows it).
// On a large level, when the budget left allows no trailing drop, no
// substitution and at most one more skip, a child can only lead somewhere
// through the query's word at q as its child or grandchild: only the children
// listed for that word are tried.
void TCustomIntArrFinder::Spread(uint32_t node, uint32_t q, int64_t budget, int32_t except,
                                 std::span<const int32_t> query) {
  const auto left = static_cast<int64_t>(query.size() - q);
  const bool small = budget < SubstituteCost && budget < InsertCost;
  const bool noDrop = left == 0 || budget < int64_t{DeleteCost} * left;
  const Node& n = nodes_[node];
  if (noDrop && n.count > kSmallLevel) {
    auto each = [&](uint32_t head, auto&& go) {
      for (uint32_t v = head == FlatMap64::kMissing ? kNone : head; v != kNone; v = via_[v].next) {
        if (nodes_[via_[v].parent].key != except) go(via_[v].parent);
      }
    };
    const uint32_t bucket = grandchildren_.Find(Pair(node, q < query.size() ? query[q] : 0));
    const uint32_t children = bucket == FlatMap64::kMissing ? kNone : bucketHead_[bucket];
    if (small) {
      // The two next query words must follow the child unless a sequence
      // may end after the first of them.
      const bool pair = left >= 1 && (left == 1 || budget < int64_t{DeleteCost} * (left - 1));
      const uint32_t head =
          !pair || bucket == FlatMap64::kMissing
              ? children
              : pairs_.Find(Pair(bucket, q + 1 < query.size() ? query[q + 1] : 0));
      each(head, [&](uint32_t x) { ExactWalk(x, q, budget, query); });
      return;
    }
    if (budget < SubstituteCost && budget - InsertCost < InsertCost) {
      // One more skip at most: before or after the child's match of the word
      // at q. With two words to go (or one and the end) the next word must
      // follow within one level.
      auto push = [&](uint32_t x) { Push(x, q, budget); };
      const uint32_t great = greatGrandchildren_.Find(Pair(node, q < query.size() ? query[q] : 0));
      const bool pair = left >= 1 && (left == 1 || budget < int64_t{DeleteCost} * (left - 1));
      if (!pair) {
        each(children, push);
        if (great != FlatMap64::kMissing) each(bucketHead_[great], push);
        return;
      }
      const int32_t next = q + 1 < query.size() ? query[q + 1] : 0;
      if (bucket != FlatMap64::kMissing) {
        each(pairs_.Find(Pair(bucket, next)), push);
        each(star2_.Find(Pair(bucket, next)), push);
      }
      if (great != FlatMap64::kMissing) each(star1_.Find(Pair(great, next)), push);
      return;
    }
  }
  for (uint32_t x = n.first; x != kNone; x = nodes_[x].sibling) {
    const int32_t key = nodes_[x].key;
    if (key == except || key == 0) continue;
    if (small) {
      ExactWalk(x, q, budget, query);
    } else {
      Push(x, q, budget);
    }
  }
}

void TCustomIntArrFinder::Visit(const State& s, std::span<const int32_t> query) {
  if (s.budget < SubstituteCost && s.budget < InsertCost) {
    ExactWalk(s.node, s.q, s.budget, query);
    return;
  }
  ++steps_;
  const auto left = static_cast<int64_t>(query.size() - s.q);
  const int32_t c = s.q < query.size() ? query[s.q] : 0;
  const uint32_t end = Child(s.node, 0);
  if (end != kNone && s.budget >= int64_t{DeleteCost} * left) AddRing(end);
  if (c != 0) {
    const uint32_t match = Child(s.node, c);
    if (match != kNone) Push(match, s.q + 1, s.budget);
    if (s.budget - SubstituteCost >= 0) Spread(s.node, s.q + 1, s.budget - SubstituteCost, c, query);
  }
  if (s.budget - InsertCost >= 0) Spread(s.node, s.q, s.budget - InsertCost, c, query);
}

int32_t TCustomIntArrFinder::FuzzySearch(std::span<const int32_t> query, int32_t budget) {
  ClearSearchResults();
  steps_ = 0;
  if (SubstituteCost < 0 || InsertCost < 0 || DeleteCost < 0) {
    throw std::invalid_argument("FuzzySearch: negative edit cost");
  }
  if (query.empty() || budget < 0) return 0;
  query = WithoutEndKey(query, "FuzzySearch");
  if (query.size() >= kNone) throw std::length_error("FuzzySearch: query too long");
  explored_.TrackTouched(true);
  explored_.Clear();
  stack_.clear();
  Push(0, 0, budget);
  while (!stack_.empty()) {
    const State s = stack_.back();
    stack_.pop_back();
    if (explored_.Find(Pair(s.node, static_cast<int32_t>(s.q))) != static_cast<uint32_t>(s.budget)) continue;
    Visit(s, query);
  }
  return resultCount_;
}

std::vector<int32_t> TCustomIntArrFinder::GetResultArray() const {
  std::vector<int32_t> out;
  out.reserve(static_cast<size_t>(resultCount_));
  for (const FoundRing& found : found_) {
    uint32_t e = nodes_[found.node].first;
    for (uint32_t i = 0; i < found.count; ++i, e = ring_[e].next) out.push_back(ring_[e].record);
  }
  return out;
}

size_t TCustomIntArrFinder::MemoryBytes() const {
  return nodes_.capacity() * sizeof(Node) + parent_.capacity() * sizeof(uint32_t) +
         ring_.capacity() * sizeof(RingEntry) + children_.MemoryBytes() + grandchildren_.MemoryBytes() +
         greatGrandchildren_.MemoryBytes() + greatSeen_.MemoryBytes() + pairs_.MemoryBytes() +
         star1_.MemoryBytes() + star2_.MemoryBytes() +
         bucketHead_.capacity() * sizeof(uint32_t) +
         via_.capacity() * sizeof(Via) + found_.capacity() * sizeof(FoundRing) +
         foundStamp_.capacity() * sizeof(uint32_t) + explored_.MemoryBytes() + stack_.capacity() * sizeof(State);
}

}  // namespace kv
