#pragma once
// The slow oracle of the sequence search, for differential tests only.
//
// DpSearch computes the cost of every stored sequence against the query
// directly (equal words match free; an unequal stored word is substituted or
// skipped; query words left when the stored sequence ends cost one deletion
// each) and keeps the records within the budget.
#include <algorithm>
#include <cstdint>
#include <vector>

namespace kv::plain {

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
