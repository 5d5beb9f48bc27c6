#include "engine/word_index.h"
#include "engine/word_search.h"
#include "tests/engine/word_search_plain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace kv {
namespace {

using Seq = std::vector<int32_t>;

std::vector<int32_t> Sorted(std::vector<int32_t> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// ------------------------------------------------------------ dictionary --

TEST(WordDictionary, KeepsNumbersInOrderAndFoldsAsciiOnly) {
  TCustomStrFinder d;
  EXPECT_EQ(d.FindFirst("love"), -1);
  EXPECT_EQ(d.HighestNumber(), -1);
  d.AddString("love", 2);
  d.AddString("LOVE", 1);
  d.AddString("Lov", 7);
  const auto numbers = d.Find("lOvE").Numbers();
  EXPECT_EQ(Seq(numbers.begin(), numbers.end()), (Seq{2, 1}));
  EXPECT_EQ(d.FindFirst("love"), 2);
  EXPECT_EQ(d.FindFirst("lo"), -1);      // a prefix is not a word
  EXPECT_EQ(d.FindFirst("loves"), -1);   // nor is a longer word
  EXPECT_EQ(d.HighestNumber(), 7);
  d.AddString("\xE9t\xE9", 9);
  EXPECT_EQ(d.FindFirst("\xE9T\xE9"), 9);
  EXPECT_EQ(d.FindFirst("\xC9T\xC9"), -1);  // bytes above 127 are not folded
  // With folding off every byte counts as it is.
  TCustomStrFinder exact;
  EXPECT_TRUE(exact.CaseFolding);
  exact.CaseFolding = false;
  exact.AddString("love", 2);
  exact.AddString("LOVE", 1);
  EXPECT_EQ(exact.FindFirst("love"), 2);
  EXPECT_EQ(exact.FindFirst("LOVE"), 1);
  EXPECT_EQ(exact.FindFirst("Love"), -1);
  EXPECT_FALSE(exact.Contains("lOVE"));
}

// Whatever order the letters arrive in, and however often a node nearer the
// centre is lifted above its parent, every word stays findable with its own
// numbers, each level lists each of its letters exactly once, and a letter
// already present is found rather than added again.
TEST(WordDictionary, WordsStayFindableWhateverOrderTheirLettersArriveIn) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> keys;
    for (int k = 1; k < 256; ++k)
      if (rng() % 8 == 0) keys.push_back(static_cast<uint8_t>(k));
    std::shuffle(keys.begin(), keys.end(), rng);
    TCustomStrFinder d;
    for (size_t i = 0; i < keys.size(); ++i) {
      d.AddString(std::string(1, static_cast<char>(keys[i])) + "x", static_cast<int32_t>(i));
      d.AddString(std::string(1, static_cast<char>(keys[i])), static_cast<int32_t>(i + 1000));
    }
    const size_t nodes = d.NodeCount();
    std::vector<uint8_t> listed;
    for (TLetterTree x = d.Root().Root(); x; x = x.GetNextLetter()) listed.push_back(x.Key());
    std::sort(listed.begin(), listed.end());
    std::vector<uint8_t> stored;
    for (uint8_t k : keys) stored.push_back(k >= 'a' && k <= 'z' ? static_cast<uint8_t>(k - 32) : k);
    std::sort(stored.begin(), stored.end());
    stored.erase(std::unique(stored.begin(), stored.end()), stored.end());
    ASSERT_EQ(listed, stored) << "round " << round;
    for (uint8_t k : stored) {
      // The first of the letters that fold to k gave the oldest numbers.
      const auto first = std::find_if(keys.begin(), keys.end(), [k](uint8_t key) {
        return key == k || (key >= 'a' && key <= 'z' && key - 32 == k);
      });
      const auto i = static_cast<int32_t>(first - keys.begin());
      const std::string letter(1, static_cast<char>(k));
      EXPECT_EQ(d.FindFirst(letter + "x"), i) << int(k);
      EXPECT_EQ(d.FindFirst(letter), i + 1000) << int(k);
      const TLetterTree node = d.Root().FindLetter(k);
      ASSERT_TRUE(node) << int(k);
      EXPECT_EQ(node.Key(), k);
      EXPECT_EQ(d.Root().AddLetter(k), node);
    }
    EXPECT_EQ(d.NodeCount(), nodes);  // finding added nothing
  }
}

// A key nearer to 128 than its would-be parent takes the parent's place:
// 65, 66, 67 in this order end with 67 at the root, 66 as its smaller child
// and 65 below 66. Equal distances do not lift, and the end key 0 never is.
TEST(WordDictionary, KeysNearerTheCentreAreLiftedAboveTheirParents) {
  TCustomStrFinder d;
  for (const char* word : {"A", "B", "C"}) d.AddString(word, 1);
  const TLetterTree root = d.Root().Root();
  ASSERT_TRUE(root);
  EXPECT_EQ(root.Key(), 67);
  EXPECT_FALSE(root.Parent());
  EXPECT_FALSE(root.Larger());
  const TLetterTree b = root.Smaller();
  ASSERT_TRUE(b);
  EXPECT_EQ(b.Key(), 66);
  EXPECT_EQ(b.Parent(), root);
  EXPECT_FALSE(b.Larger());
  const TLetterTree a = b.Smaller();
  ASSERT_TRUE(a);
  EXPECT_EQ(a.Key(), 65);
  EXPECT_EQ(a.Parent(), b);
  EXPECT_FALSE(a.Smaller());
  EXPECT_FALSE(a.Larger());
  // Traversal: node, smaller subtree, larger subtree.
  EXPECT_EQ(root.GetNextLetter(), b);
  EXPECT_EQ(b.GetNextLetter(), a);
  EXPECT_FALSE(a.GetNextLetter());

  // 127 and 129 lie equally far from 128: the second hangs below the first.
  // Below a lifted node its old parent keeps its own subtree.
  TCustomStrFinder e;
  for (uint8_t key : {127, 129, 120, 126}) e.Root().AddLetter(key);
  const TLetterTree top = e.Root().Root();
  ASSERT_EQ(top.Key(), 127);
  ASSERT_TRUE(top.Larger() && top.Smaller() && top.Smaller().Smaller());
  EXPECT_EQ(top.Larger().Key(), 129);
  EXPECT_EQ(top.Smaller().Key(), 126);  // 126 lifted above 120
  EXPECT_EQ(top.Smaller().Smaller().Key(), 120);
  EXPECT_EQ(top.Smaller().Smaller().Parent(), top.Smaller());

  // The end key 0 lies farthest from 128: a letter after it is lifted above
  // it, and it is never lifted itself.
  for (const bool shortFirst : {true, false}) {
    TCustomStrFinder f;
    f.AddString(shortFirst ? "A" : "AB", 1);
    f.AddString(shortFirst ? "AB" : "A", 2);
    const TLetterTree level = f.Root().Root().Next().Root();
    EXPECT_EQ(level.Key(), 66) << shortFirst;
    EXPECT_EQ(level.Smaller().Key(), 0) << shortFirst;
    EXPECT_EQ(f.FindFirst("A"), shortFirst ? 1 : 2);
  }
}

TEST(WordDictionary, VeryLongWordNeedsNoDeepRecursion) {
  TCustomStrFinder d;
  const std::string word(200000, 'x');
  d.AddString(word, 3);
  EXPECT_EQ(d.FindFirst(word), 3);
  EXPECT_EQ(d.FindFirst(word.substr(1)), -1);
}

// ------------------------------------------------------------- word lists --

TEST(WordsList, CutsNumbersAndExcludes) {
  TCustomStrFinder exclude;
  exclude.AddString("the", 0);
  exclude.AddString("FEAT", 1);
  struct Case {
    const char* text;
    Seq numbers;
  };
  // One dictionary through the whole table: numbers continue row to row.
  const Case cases[] = {
      {"", {}},
      {" -/.,!", {}},
      {"AC/DC", {1, 2}},
      {"ac dc", {1, 2}},                // ASCII case folds
      {"The Beatles feat. AC", {3, 1}}, // excluded words vanish
      {"Beyonc\xE9", {4}},              // bytes above 127 are letters
      {"BEYONC\xC9", {5}},              // and are not folded
      {"the FEAT The", {}},
      {"2Pac_2pac\t99", {6, 6, 7}},
  };
  TCustomStrFinder words;
  for (const Case& c : cases) EXPECT_EQ(GetWordsList(c.text, words, &exclude), c.numbers) << c.text;
  EXPECT_EQ(GetWordsList("ac", words, nullptr), Seq{1});
}

// ---------------------------------------------------------------- budgets --

TEST(SimilarityBudget, RoundsHalfToEvenAndClamps) {
  struct Case {
    int64_t words;
    int32_t bound;
    int32_t budget;
  };
  const Case cases[] = {
      {4, 85, 3},     // 0.6 -> 1
      {5, 90, 0},     // 0.5 -> 0
      {15, 90, 6},    // 1.5 -> 2
      {25, 90, 6},    // 2.5 -> 2
      {3, 85, 0},     // 0.45
      {7, 50, 12},    // 3.5 -> 4
      {9, 100, 0},
      {1, 0, 3},
      {5, 110, 0},    // -0.5 -> 0
      {15, 110, -6},  // -1.5 -> -2
      {25, 110, -6},  // -2.5 -> -2
      {3, 150, -6},   // -1.5
      {2147483647, -2147483647 - 1, 2147483647},
      {2147483647, 2147483647, -2147483647 - 1},
  };
  for (const Case& c : cases) EXPECT_EQ(SimilarityBudget(c.words, c.bound), c.budget) << c.words << " " << c.bound;
}

// ----------------------------------------------------------------- search --

TEST(SequenceSearch, BudgetNeededPerEdit) {
  struct Case {
    Seq stored;
    int32_t needed;
  };
  const Seq query = {5, 7};
  const Case cases[] = {
      {{5, 7}, 0}, {{5, 9, 7}, 3}, {{5}, 3}, {{5, 8}, 4}, {{7}, 7}, {{}, 6}, {{9, 5, 7}, 3}, {{5, 7, 7}, 3},
      {{7, 5}, 6},  // skip 7, match 5, drop the trailing 7
  };
  for (const Case& c : cases) {
    TCustomIntArrFinder f(4, 3, 3);
    f.AddString(c.stored, 42);
    EXPECT_EQ(f.FuzzySearch(query, c.needed), 1) << c.needed;
    EXPECT_EQ(f.GetResultArray(), Seq{42});
    if (c.needed > 0) {
      EXPECT_EQ(f.FuzzySearch(query, c.needed - 1), 0) << c.needed;
      EXPECT_TRUE(f.GetResultArray().empty());
    }
  }
}

TEST(SequenceSearch, EmptyQueriesNegativeBudgetsAndBadInput) {
  TCustomIntArrFinder f(4, 3, 3);
  f.AddString(Seq{}, 1);         // an empty sequence is stored at the root
  f.AddString(Seq{5, 7, 0}, 2);    // a trailing end key is not doubled
  f.AddString(Seq{5, 7}, 3);
  EXPECT_EQ(f.FuzzySearch(Seq{5, 7}, 0), 2);
  EXPECT_EQ(Sorted(f.GetResultArray()), (Seq{2, 3}));
  EXPECT_EQ(f.FuzzySearch(Seq{}, 100), 0);
  EXPECT_EQ(f.FuzzySearch(Seq{5, 7}, -1), 0);
  EXPECT_TRUE(f.GetResultArray().empty());
  EXPECT_EQ(f.FuzzySearch(Seq{0}, 0), 1);   // the end key alone asks for the empty sequence
  EXPECT_EQ(f.GetResultArray(), Seq{1});
  f.ClearSearchResults();
  EXPECT_TRUE(f.GetResultArray().empty());

  EXPECT_THROW(f.AddString(Seq{5, 0, 7}, 4), std::invalid_argument);
  EXPECT_THROW(f.FuzzySearch(Seq{5, 0, 7}, 3), std::invalid_argument);
  f.InsertCost = -1;
  EXPECT_THROW(f.FuzzySearch(Seq{5}, 3), std::invalid_argument);
  f.InsertCost = 3;
  EXPECT_EQ(f.FuzzySearch(Seq{5, 7}, 0), 2);  // nothing was stored by the refused call
}

TEST(SequenceSearch, RecordsOfOneSequenceComeOnceEach) {
  TCustomIntArrFinder f(4, 3, 3);
  for (int32_t r = 0; r < 5; ++r) f.AddString(Seq{1, 2, 3}, r);
  // Many paths reach the same end node with a large budget.
  EXPECT_EQ(f.FuzzySearch(Seq{1, 2, 3}, 40), 5);
  EXPECT_EQ(f.GetResultArray(), (Seq{0, 1, 2, 3, 4}));
  // Records stored after the search are no part of its result, nor do they
  // push out records that are.
  f.AddString(Seq{7}, 10);
  EXPECT_EQ(f.FuzzySearch(Seq{1, 2, 3}, 40), 6);
  f.AddString(Seq{1, 2, 3}, 5);
  f.AddString(Seq{7}, 11);
  EXPECT_EQ(Sorted(f.GetResultArray()), (Seq{0, 1, 2, 3, 4, 10}));
}

// Random small collections, some with wide levels so that the indexed paths
// are taken: the search must agree with the direct cost computation.
TEST(SequenceSearch, AgreesWithDirectCost) {
  std::mt19937 rng(20261206);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int foundAny = 0;
  for (int round = 0; round < 3000; ++round) {
    const bool wide = round % 5 == 0;
    const int vocabulary = wide ? pick(10, 30) : pick(1, 6);
    const int records = wide ? pick(20, 80) : pick(1, 12);
    const int maxLen = wide ? 7 : 6;
    int32_t sub = 4, ins = 3, del = 3;
    if (wide ? round % 2 != 0 : round % 3 != 0) {
      const int top = round % 2 ? 2 : 6;
      sub = pick(0, top);
      ins = pick(0, top);
      del = pick(0, top);
    }
    TCustomIntArrFinder fast(sub, ins, del);
    std::vector<plain::Stored> stored;
    auto word = [&] { return pick(1, 3) == 1 ? pick(31990, 32010) : pick(1, vocabulary); };
    for (int32_t r = 0; r < records; ++r) {
      Seq s(static_cast<size_t>(pick(0, maxLen)));
      for (auto& w : s) w = word();
      if (!stored.empty() && pick(0, 3) == 0) s = stored[static_cast<size_t>(pick(0, r - 1))].words;
      fast.AddString(s, r);
      stored.push_back({s, r});
    }
    for (int k = 0; k < 4; ++k) {
      Seq q(static_cast<size_t>(pick(1, maxLen + 1)));
      for (auto& w : q) w = word();
      if (pick(0, 1) == 0) {
        // A stored sequence with a few words removed, added or replaced.
        q = stored[static_cast<size_t>(pick(0, records - 1))].words;
        for (int edits = pick(0, 3); edits > 0; --edits) {
          const auto at = q.begin() + pick(0, static_cast<int>(q.size()));
          const int how = pick(0, 3);
          if (how == 0 && at != q.end()) q.erase(at);
          if (how == 3 && !q.empty()) q.erase(q.begin());  // skips at the widest level
          if (how == 1) q.insert(at, word());
          if (how == 2 && at != q.end()) *at = word();
        }
      }
      if (q.empty()) q.push_back(word());
      const int32_t budget = wide ? pick(0, 9) : pick(-1, 14);
      const int32_t count = fast.FuzzySearch(q, budget);
      const Seq got = fast.GetResultArray();
      ASSERT_EQ(static_cast<size_t>(count), got.size());
      const Seq expected = plain::DpSearch(stored, q, budget, sub, ins, del);
      ASSERT_EQ(Sorted(got), expected) << "round " << round << " budget " << budget;
      foundAny += !expected.empty();
    }
  }
  EXPECT_GT(foundAny, 3000);  // the cases are not trivially empty
}

// Wide levels with shared tails: every way of skipping leading stored words,
// or dropping query words, must be found through the large levels' lists.
TEST(SequenceSearch, SkipsAcrossWideLevelsAgreeWithDirectCost) {
  TCustomIntArrFinder fast(4, 3, 3);
  std::vector<plain::Stored> stored;
  int32_t record = 0;
  auto add = [&](const Seq& s) {
    fast.AddString(s, record);
    stored.push_back({s, record++});
  };
  const Seq tails[] = {{5}, {5, 7}, {5, 7, 9}, {7, 9, 11, 13}, {5, 9}};
  for (int32_t lead = 100; lead < 112; ++lead) {
    for (const Seq& tail : tails) {
      Seq s = {lead};
      s.insert(s.end(), tail.begin(), tail.end());
      add(s);
      s.insert(s.begin() + 1, 200 + lead % 3);  // and with a second leading word
      add(s);
      s.insert(s.begin() + 1, 300);             // and a third
      add(s);
    }
  }
  for (const Seq& tail : tails) add(tail);
  std::vector<Seq> queries;
  for (const auto& s : stored) {
    for (size_t from = 0; from < s.words.size(); ++from) {
      queries.emplace_back(s.words.begin() + static_cast<long>(from), s.words.end());
      if (s.words.size() - from > 1) {
        queries.emplace_back(s.words.begin() + static_cast<long>(from), s.words.end() - 1);
      }
    }
  }
  std::sort(queries.begin(), queries.end());
  queries.erase(std::unique(queries.begin(), queries.end()), queries.end());
  for (const Seq& q : queries) {
    std::vector<int64_t> cost;
    for (const auto& s : stored) cost.push_back(plain::DpCost(s.words, q, 4, 3, 3));
    for (int32_t budget = 0; budget <= 10; ++budget) {
      Seq expected;
      for (size_t i = 0; i < stored.size(); ++i) {
        if (cost[i] <= budget) expected.push_back(stored[i].record);
      }
      fast.FuzzySearch(q, budget);
      ASSERT_EQ(Sorted(fast.GetResultArray()), expected)
          << "query of " << q.size() << " from " << q.front() << ", budget " << budget;
    }
  }
}

TEST(SequenceSearch, LongRepetitiveSequencesAgreeWithDirectCost) {
  std::mt19937 rng(7);
  TCustomIntArrFinder fast(4, 3, 3);
  std::vector<plain::Stored> stored;
  for (int32_t r = 0; r < 30; ++r) {
    Seq s(static_cast<size_t>(60 + rng() % 10));
    for (auto& w : s) w = static_cast<int32_t>(1 + rng() % 3);
    fast.AddString(s, r);
    stored.push_back({s, r});
  }
  for (int32_t r = 0; r < 30; r += 3) {
    Seq q = stored[static_cast<size_t>(r)].words;
    q[q.size() / 2] = 2;
    for (int32_t budget : {0, 9, 30, 60}) {
      fast.FuzzySearch(q, budget);
      ASSERT_EQ(Sorted(fast.GetResultArray()), plain::DpSearch(stored, q, budget, 4, 3, 3)) << r << " " << budget;
    }
  }
}

// ------------------------------------------------------------- collection --

class WordIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    exclude_.AddString("the", 0);
    exclude_.AddString("feat", 1);
    const char* rows[][2] = {
        {"The Beatles", "Let It Be"},                  // 0
        {"Beatles", "Let It Be Naked"},                // 1
        {"Beatles", "Hey Jude"},                       // 2
        {"Rolling Stones", "Let It Bleed"},            // 3
        {"Beatles feat. Billy Preston", "Let It Be"},  // 4
        {"", "Let It Be"},                             // 5
        {"The", "Yesterday"},                          // 6
        {"beatles", "let it be"},                      // 7
    };
    for (int32_t i = 0; i < 8; ++i) index_.AddSearchInfo(rows[i][0], rows[i][1], i);
  }
  TCustomStrFinder exclude_;
  WordIndex index_{&exclude_};
};

TEST_F(WordIndexTest, CombineModes) {
  struct Case {
    const char* artist;
    const char* title;
    int32_t artistBound, titleBound;
    uint8_t combine;
    Seq expected;
  };
  const Case cases[] = {
      {"Beatles", "Let It Be", 100, 100, 0, {}},
      {"Beatles", "Let It Be", 100, 100, 1, {0, 1, 2, 7}},
      {"Beatles", "Let It Be", 100, 100, 2, {0, 4, 5, 7}},
      {"Beatles", "Let It Be", 100, 100, 3, {0, 7}},
      {"Beatles", "Let It Be", 100, 100, 4, {0, 1, 2, 4, 5, 7}},
      {"Beatles", "Let It Be", 90, 85, 3, {0, 7}},     // 3 title words: still exact
      {"Beatles", "Let It Be", 90, 70, 3, {0, 1, 7}},  // budget 3: one extra stored word
      {"Beatles", "Let It Be", 90, 70, 2, {0, 1, 4, 5, 7}},
      {"Beatles", "Let It Be", 90, 50, 2, {0, 1, 3, 4, 5, 7}},  // budget 6: a substitution
      {"Beatles", "Let It Be", 50, 50, 4, {0, 1, 2, 3, 4, 5, 7}},
      {"The", "Let It Be", 0, 100, 3, {}},             // artist of excluded words only
      {"Beatles", "Let It Be", 100, 100, 5, {}},       // no such mode
      {"Beatles", "", 100, 0, 3, {}},
      // Never-indexed artist words: only the empty artists are near enough.
      {"Unknown Band", "Hey Jude", 0, 100, 4, {2, 5, 6}},
      {"Beatles", "Let It Be", 200, 120, 4, {}},       // negative budgets
  };
  for (const Case& c : cases) {
    EXPECT_EQ(index_.FindSimilar(c.artist, c.title, c.artistBound, c.titleBound, c.combine), c.expected)
        << c.artist << "/" << c.title << " " << c.artistBound << "/" << c.titleBound << " mode "
        << int{c.combine};
  }
}

TEST_F(WordIndexTest, EveryRecordWithWordsFindsItselfAndQueriesNumberNewWords) {
  const char* rows[][2] = {{"The Beatles", "Let It Be"}, {"Beatles", "Let It Be Naked"}, {"Beatles", "Hey Jude"},
                           {"Rolling Stones", "Let It Bleed"}};
  for (int32_t i = 0; i < 4; ++i) {
    const Seq found = index_.FindSimilar(rows[i][0], rows[i][1], 90, 85, 3);
    EXPECT_TRUE(std::binary_search(found.begin(), found.end(), i)) << i;
  }
  const int32_t highest = index_.TitleWords().HighestNumber();
  EXPECT_TRUE(index_.FindSimilar("Beatles", "Penny Lane", 100, 100, 2).empty());
  EXPECT_EQ(index_.TitleWords().HighestNumber(), highest + 2);
  EXPECT_EQ(index_.TitleWords().FindFirst("lane"), highest + 2);
  index_.Clear();
  EXPECT_TRUE(index_.FindSimilar("Beatles", "Let It Be", 0, 0, 4).empty());
  EXPECT_EQ(index_.ArtistWords().FindFirst("beatles"), 1);  // numbering restarts at 1
}

}  // namespace
}  // namespace kv
