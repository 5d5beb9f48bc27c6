#pragma once
// Two slow oracles for the sequence search, for differential tests only.
//
// PlainIntFinder is the search as first designed, with nothing indexed: each
// trie level is a binary search tree in which a key nearer to 32000 than its
// would-be parent takes the parent's place, and every step walks every node of
// the level in pre-order and recurses. Exponential on repetitive input; keep
// the inputs small.
//
// DpSearch computes the cost of every stored sequence against the query
// directly (equal words match free; an unequal stored word is substituted or
// skipped; query words left when the stored sequence ends cost one deletion
// each) and keeps the records within the budget.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace kv::plain {

class PlainIntFinder {
 public:
  PlainIntFinder(int32_t substitute, int32_t insert, int32_t del) : sub_(substitute), ins_(insert), del_(del) {}

  void AddString(std::vector<int32_t> words, int32_t record) {
    if (words.empty() || words.back() != 0) words.push_back(0);
    int* level = &root_;
    int node = -1;
    for (int32_t key : words) {
      if (node >= 0) {
        if (nodes_[node].next < 0) {
          levels_.push_back(-1);
          nodes_[node].next = static_cast<int>(levels_.size() - 1);
        }
        level = &levels_[nodes_[node].next];
      }
      node = AddLetter(level, key);
    }
    nodes_[node].ids.push_back(record);
  }

  // The records found, rings in the order the walk adds them.
  std::vector<int32_t> FuzzySearch(std::vector<int32_t> query, int32_t budget) {
    found_.clear();
    if (query.empty()) return {};
    if (query.back() != 0) query.push_back(0);
    query_ = query;
    FSearch(0, budget, root_);
    std::vector<int32_t> out;
    for (int n : found_) out.insert(out.end(), nodes_[n].ids.begin(), nodes_[n].ids.end());
    return out;
  }

 private:
  struct Node {
    int32_t key;
    int smaller = -1, larger = -1, parent = -1, next = -1;
    std::vector<int32_t> ids;
  };
  static int64_t Distance(int32_t key) { return key < 32000 ? int64_t{32000} - key : int64_t{key} - 32000; }

  int AddLetter(int* root, int32_t key) {
    int parent = -1;
    for (int x = *root; x >= 0;) {
      if (nodes_[x].key == key) return x;
      parent = x;
      x = key < nodes_[x].key ? nodes_[x].smaller : nodes_[x].larger;
    }
    nodes_.push_back(Node{key, -1, -1, -1, -1, {}});
    const int n = static_cast<int>(nodes_.size() - 1);
    if (parent < 0) {
      *root = n;
      return n;
    }
    if (Distance(nodes_[parent].key) <= Distance(key)) {
      (key >= nodes_[parent].key ? nodes_[parent].larger : nodes_[parent].smaller) = n;
      nodes_[n].parent = parent;
      return n;
    }
    (key > nodes_[parent].key ? nodes_[n].smaller : nodes_[n].larger) = parent;
    const int grand = nodes_[parent].parent;
    nodes_[n].parent = grand;
    if (grand < 0) {
      *root = n;
    } else {
      (nodes_[grand].smaller == parent ? nodes_[grand].smaller : nodes_[grand].larger) = n;
    }
    nodes_[parent].parent = n;
    return n;
  }

  int NextLetter(int x) const {
    if (nodes_[x].smaller >= 0) return nodes_[x].smaller;
    if (nodes_[x].larger >= 0) return nodes_[x].larger;
    for (; nodes_[x].parent >= 0; x = nodes_[x].parent) {
      const Node& p = nodes_[nodes_[x].parent];
      if (p.smaller == x && p.larger >= 0) return p.larger;
    }
    return -1;
  }

  void FSearch(size_t q, int64_t b, int levelRoot) {
    if (levelRoot < 0 || b < 0) return;
    const int32_t c = q < query_.size() ? query_[q] : 0;
    int64_t n = 0;
    for (size_t i = q; i < query_.size(); ++i) n += query_[i] != 0;
    for (int x = levelRoot; x >= 0; x = NextLetter(x)) {
      const int next = nodes_[x].next < 0 ? -1 : levels_[nodes_[x].next];
      if (c != nodes_[x].key) {
        if (c != 0) FSearch(q + 1, b - sub_, next);
        FSearch(q, b - ins_, next);
      } else if (c != 0) {
        FSearch(q + 1, b, next);
      }
      if (!nodes_[x].ids.empty() && b >= del_ * n && std::find(found_.begin(), found_.end(), x) == found_.end()) {
        found_.push_back(x);
      }
    }
  }

  int64_t sub_, ins_, del_;
  std::vector<Node> nodes_;
  std::vector<int> levels_;
  int root_ = -1;
  std::vector<int32_t> query_;
  std::vector<int> found_;
};

struct Stored {
  std::vector<int32_t> words;
  int32_t record;
};

inline int64_t DpCost(const std::vector<int32_t>& s, const std::vector<int32_t>& q, int64_t sub, int64_t ins,
                      int64_t del) {
  const size_t ls = s.size(), lq = q.size();
  // d[i][j]: cost of turning the stored words from i into the query words from j.
  std::vector<std::vector<int64_t>> d(ls + 1, std::vector<int64_t>(lq + 1));
  for (size_t j = 0; j <= lq; ++j) d[ls][j] = del * static_cast<int64_t>(lq - j);
  for (size_t i = ls; i-- > 0;) {
    for (size_t j = 0; j <= lq; ++j) {
      if (j < lq && s[i] == q[j]) {
        d[i][j] = d[i + 1][j + 1];
      } else {
        d[i][j] = ins + d[i + 1][j];
        if (j < lq) d[i][j] = std::min(d[i][j], sub + d[i + 1][j + 1]);
      }
    }
  }
  return d[0][0];
}

// Records within budget, ascending. Costs must not be negative.
inline std::vector<int32_t> DpSearch(const std::vector<Stored>& stored, const std::vector<int32_t>& query,
                                     int64_t budget, int64_t sub, int64_t ins, int64_t del) {
  std::vector<int32_t> out;
  if (query.empty() || budget < 0) return out;
  for (const Stored& s : stored) {
    if (DpCost(s.words, query, sub, ins, del) <= budget) out.push_back(s.record);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace kv::plain
