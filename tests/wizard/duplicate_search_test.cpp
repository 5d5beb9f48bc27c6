#include "wizard/duplicate_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/allocation_meter.h"

namespace kv {
namespace {

struct Rec {
  const char* artist;
  const char* title;
  const char* path;
  int length = 200;
  const char* album = "";
};

// A scan collection of the records, with the default bounds 90/85 (and).
std::unique_ptr<TMP3Collection> Scan(const std::vector<Rec>& recs, int timeDifference = -1) {
  auto c = std::make_unique<TMP3Collection>(nullptr);
  c->ArtistBound = 90;
  c->TitleBound = 85;
  c->Combine = 3;
  c->TimeDifference = timeDifference;
  for (const Rec& r : recs) {
    auto info = std::make_unique<TMP3Info>();
    info->SetTagPart(kTagArtist, r.artist);
    info->SetTagPart(kTagTitle, r.title);
    info->SetTagPart(kTagAlbum, r.album);
    info->SetTagPart(kTagDisplayPath, r.path);
    info->SetFileName(r.path);
    info->SetPart(kInfoLength, r.length);
    c->AddRecord(std::move(info));
  }
  return c;
}

// The result rows as "group:display path".
std::vector<std::string> Rows(const TMP3Collection& results) {
  std::vector<std::string> rows;
  for (int32_t i = 0; i < results.Count(); ++i)
    rows.push_back(std::to_string(results.Items(i).Tag) + ":" + results.Items(i).GetTagPart(kTagDisplayPath));
  return rows;
}

using Strings = std::vector<std::string>;

TEST(DuplicateSearch, GroupsTransitivelyInDiscoveryOrderNumberedByLowestRecord) {
  // "Hey Jude" sits between and after the members of the first group; the
  // group of "Yesterday" starts below the first group's last member.
  auto c = Scan({{"Beatles", "Let It Be", "c:\\a.mp3"},
                 {"Beatles", "Yesterday", "c:\\b.mp3"},
                 {"Beatles", "Hey Jude", "c:\\c.mp3"},
                 {"Beatles", "Let It Be", "c:\\d.mp3"},
                 {"Beatles", "Yesterday", "c:\\e.mp3"},
                 {"Beatles", "Let It Be", "c:\\f.mp3"}});
  c->Items(2).Tag = 7;  // whatever a previous comparison left
  auto results = CompareCollection(*c, false);
  ASSERT_TRUE(results);
  EXPECT_EQ(Rows(*results), (Strings{"1:c:\\a.mp3", "1:c:\\d.mp3", "1:c:\\f.mp3", "2:c:\\b.mp3", "2:c:\\e.mp3"}));
  EXPECT_EQ(results->IndexEnabled, 0);
  for (int32_t i = 0; i < c->Count(); ++i) EXPECT_EQ(c->Items(i).Tag, 0) << i;
}

TEST(DuplicateSearch, AChainJoinsThroughItsMiddleMember) {
  // A finds B, B finds A and C, C finds B: one group A, B, C although A and C
  // are not similar (at 100/75 the titles differ by one word each step).
  auto c = Scan({{"Band", "one two three four", "c:\\a.mp3"},
                 {"Band", "one two three four five", "c:\\b.mp3"},
                 {"Band", "one two three four five six", "c:\\c.mp3"}});
  c->ArtistBound = 100;
  c->TitleBound = 80;
  std::vector<int32_t> found;
  c->FindSimilar("Band", "one two three four", found);
  ASSERT_EQ(found, (std::vector<int32_t>{0, 1}));  // the precondition: A does not reach C
  c->FindSimilar("Band", "one two three four five", found);
  ASSERT_EQ(found, (std::vector<int32_t>{0, 1, 2}));
  auto results = CompareCollection(*c, false);
  EXPECT_EQ(Rows(*results), (Strings{"1:c:\\a.mp3", "1:c:\\b.mp3", "1:c:\\c.mp3"}));
}

TEST(DuplicateSearch, TimeAndAlbumFilters) {
  struct Case {
    int timeDifference;
    int secondLength;
    int checkAlbums;
    const char* secondAlbum;
    bool grouped;
  };
  const Case cases[] = {
      {5, 205, 0, "", true},      // exactly the allowed difference
      {5, 206, 0, "", false},     // one second more
      {5, 195, 0, "", true},      // shorter by as much
      {0, 200, 0, "", true},      // 0: equal lengths only
      {0, 201, 0, "", false},
      {-5, 900, 0, "", true},     // negative: lengths not looked at
      {-1, 0, 0, "", true},
      {-1, 200, 1, "ALBUM", false},  // album check: case counts
      {-1, 200, 1, "Album", true},
      {-1, 200, 0, "Other", true},   // album check off
      {-1, 200, -1, "Other", false}, // any value but 0 turns it on
  };
  for (const Case& k : cases) {
    auto c = Scan({{"Band", "Song", "c:\\1.mp3", 200, "Album"}, {"Band", "Song", "c:\\2.mp3", k.secondLength, k.secondAlbum}},
                  k.timeDifference);
    c->CheckAlbums = k.checkAlbums;
    auto results = CompareCollection(*c, true);
    EXPECT_EQ(results->Count(), k.grouped ? 2 : 0)
        << k.timeDifference << " " << k.secondLength << " " << k.secondAlbum;
  }
}

TEST(DuplicateSearch, DuplicatesOnlyUsesExactBoundsAndPutsTheSettingsBack) {
  auto c = Scan({{"Beatles", "Let It Be", "c:\\1.mp3"}, {"Beatles", "Let It Be Naked", "c:\\2.mp3"}});
  c->ArtistBound = 40;
  c->TitleBound = 40;
  c->Combine = 4;
  EXPECT_EQ(CompareCollection(*c, false)->Count(), 2);  // similar at 40/40
  EXPECT_EQ(CompareCollection(*c, true)->Count(), 0);   // not duplicates
  EXPECT_EQ(c->ArtistBound, 40);
  EXPECT_EQ(c->TitleBound, 40);
  EXPECT_EQ(c->Combine, 4);

  // After a stop as well.
  TCompareEvents events;
  events.Cancelled = [] { return true; };
  EXPECT_EQ(CompareCollection(*c, true, events), nullptr);
  EXPECT_EQ(c->ArtistBound, 40);
  EXPECT_EQ(c->TitleBound, 40);
  EXPECT_EQ(c->Combine, 4);
  EXPECT_EQ(c->Items(0).Tag, 0);
}

TEST(DuplicateSearch, SimilarTitlesGroupOnlyWhenSimilarFilesAreAskedFor) {
  auto c = Scan({{"Pink Floyd", "Shine On You Crazy Diamond Parts One To Five Remastered", "c:\\1.mp3"},
                 {"Pink Floyd", "Shine On You Crazy Diamond Parts One To Five", "c:\\2.mp3"}});
  EXPECT_EQ(CompareCollection(*c, false)->Count(), 2);
  EXPECT_EQ(CompareCollection(*c, true)->Count(), 0);
}

TEST(DuplicateSearch, AnAsymmetricMatchGivesEachFileOneRow) {
  // At 90/85 "Let It Be Naked" finds "Let It Be" but not the other way round.
  auto c = Scan({{"Beatles", "Let It Be", "c:\\be1.mp3"},
                 {"Beatles", "Let It Be", "c:\\be2.mp3"},
                 {"Beatles", "Let It Be Naked", "c:\\naked.mp3"}});
  std::vector<int32_t> found;
  c->FindSimilar("Beatles", "Let It Be", found);
  ASSERT_EQ(found, (std::vector<int32_t>{0, 1}));
  c->FindSimilar("Beatles", "Let It Be Naked", found);
  ASSERT_EQ(found, (std::vector<int32_t>{0, 1, 2}));
  auto results = CompareCollection(*c, false);
  EXPECT_EQ(Rows(*results), (Strings{"1:c:\\be1.mp3", "1:c:\\be2.mp3"}));

  // A record searched alone still joins a later group, once.
  auto d = Scan({{"Beatles", "Let It Be", "c:\\be.mp3"},
                 {"Beatles", "Let It Be Naked", "c:\\naked1.mp3"},
                 {"Beatles", "Let It Be Naked", "c:\\naked2.mp3"}});
  d->FindSimilar("Beatles", "Let It Be", found);
  ASSERT_EQ(found, (std::vector<int32_t>{0}));
  results = CompareCollection(*d, false);
  EXPECT_EQ(Rows(*results), (Strings{"1:c:\\naked1.mp3", "1:c:\\be.mp3", "1:c:\\naked2.mp3"}));
}

TEST(DuplicateSearch, TwoRecordsOfOneFileGiveOneRow) {
  // The same file reached twice (paths differing in case), and a display path
  // shared by two different files (lossy names): told apart by access path.
  auto c = Scan({{"Band", "Song", "C:\\Music\\SONG~1.MP3"},
                 {"Band", "Song", "c:\\music\\song~1.mp3"},
                 {"Band", "Song", "C:\\Other\\song.mp3"}});
  c->Items(2).SetTagPart(kTagDisplayPath, "C:\\Music\\SONG~1.MP3");
  auto results = CompareCollection(*c, false);
  ASSERT_EQ(results->Count(), 2);
  EXPECT_EQ(results->Items(0).FileName(), "C:\\Music\\SONG~1.MP3");
  EXPECT_EQ(results->Items(1).FileName(), "C:\\Other\\song.mp3");

  // Only copies of one file: no group at all.
  auto d = Scan({{"Band", "Song", "C:\\x\\\xE9t\xE9.mp3"}, {"Band", "Song", "c:\\X\\\xC9T\xC9.MP3"}});
  EXPECT_EQ(CompareCollection(*d, false)->Count(), 0);
  EXPECT_EQ(FoldPathCase("a\xE9\xFF\x9A\xF7z"), "A\xC9\x9F\x8A\xF7Z");
}

TEST(DuplicateSearch, ReportsEachSearchAndStopsWhereAsked) {
  auto c = Scan({{"A", "One", "c:\\1.mp3"}, {"A", "One", "c:\\2.mp3"}, {"B", "Two", "c:\\3.mp3"},
                 {"B", "Two", "c:\\4.mp3"}, {"C", "Three", "c:\\5.mp3"}});
  std::vector<std::string> searched;
  std::vector<int32_t> counts;
  TCompareEvents events;
  events.OnSearch = [&](int32_t n, const TMP3Info& r) {
    counts.push_back(n);
    searched.push_back(r.GetTagPart(kTagDisplayPath));
  };
  auto results = CompareCollection(*c, false, events);
  EXPECT_EQ(Rows(*results), (Strings{"1:c:\\1.mp3", "1:c:\\2.mp3", "2:c:\\3.mp3", "2:c:\\4.mp3"}));
  // Every record searched once; the members of a group are never searched again.
  EXPECT_EQ(searched, (Strings{"c:\\1.mp3", "c:\\2.mp3", "c:\\3.mp3", "c:\\4.mp3", "c:\\5.mp3"}));
  EXPECT_EQ(counts, (std::vector<int32_t>{0, 1, 2, 3, 4}));

  for (int32_t i = 0; i < c->Count(); ++i) EXPECT_EQ(c->Items(i).Tag, 0);  // cleared at the end

  // A stop during the second group: nothing comes back, and the marks of the
  // records searched into groups stay as they were.
  events.Cancelled = [&] { return searched.size() >= 3; };
  searched.clear();
  EXPECT_EQ(CompareCollection(*c, false, events), nullptr);
  std::vector<int32_t> tags;
  for (int32_t i = 0; i < c->Count(); ++i) tags.push_back(c->Items(i).Tag);
  EXPECT_EQ(tags, (std::vector<int32_t>{kGroupedMark, kGroupedMark, kGroupedMark, kGroupedMark, 0}));
}

TEST(DuplicateSearch, EmptyCollectionsAndRecordsWithoutWords) {
  auto empty = Scan({});
  EXPECT_EQ(CompareCollection(*empty, false)->Count(), 0);
  // Texts that give the engine no words find nothing, not even themselves.
  auto c = Scan({{"", "", "c:\\1.mp3"}, {"", "", "c:\\2.mp3"}});
  EXPECT_EQ(CompareCollection(*c, false)->Count(), 0);
}

// The groups as the walk makes them, each frame holding its own list: the
// order the comparison must keep (distinct files, no time or album check).
std::vector<std::string> PlainWalkRows(TMP3Collection& c) {
  const auto n = static_cast<size_t>(c.Count());
  std::vector<bool> searched(n), joined(n);
  std::vector<std::string> rows;
  int group = 0;
  struct Step {
    int32_t record;
    std::vector<int32_t> found;
    size_t next = 0;
  };
  for (int32_t i = 0; i < c.Count(); ++i) {
    if (searched[size_t(i)] || joined[size_t(i)]) continue;
    std::vector<int32_t> members{i};
    joined[size_t(i)] = true;
    std::vector<Step> stack;
    auto enter = [&](int32_t r) {
      if (searched[size_t(r)]) return;
      Step s{r, {}};
      c.FindSimilar(c.Items(r).GetTagPart(kTagArtist), c.Items(r).GetTagPart(kTagTitle), s.found);
      if (s.found.size() < 2) return;
      searched[size_t(r)] = true;
      stack.push_back(std::move(s));
    };
    enter(i);
    while (!stack.empty()) {
      Step& top = stack.back();
      if (top.next == top.found.size()) {
        stack.pop_back();
        continue;
      }
      const int32_t k = top.found[top.next++];
      if (k == top.record || searched[size_t(k)] || joined[size_t(k)]) continue;
      members.push_back(k);
      joined[size_t(k)] = true;
      enter(k);
    }
    if (members.size() < 2) {
      joined[size_t(i)] = false;
      continue;
    }
    ++group;
    for (int32_t m : members) rows.push_back(std::to_string(group) + ":" + c.Items(m).GetTagPart(kTagDisplayPath));
  }
  return rows;
}

TEST(DuplicateSearch, AGroupChainedThroughDifferentTextsKeepsItsOrderInMemoryLinearInItsSize) {
  // Artist only: one artist over distinct titles. Artist or title: lists that
  // differ from member to member (titles shared by a few records, artists by
  // many), so the walk goes deep through lists of its own.
  struct Case {
    uint8_t combine;
    int count;
  };
  for (const Case& k : {Case{1, 3000}, Case{4, 3000}}) {
    std::vector<std::string> artists, titles, paths;
    for (int i = 0; i < k.count; ++i) {
      artists.push_back(k.combine == 1 || i % 7 != 3 ? "Various Artists" : "Band " + std::to_string(i % 11));
      titles.push_back(k.combine == 1 ? "Title " + std::to_string(i) : "Song " + std::to_string((i * 37) % 1000));
      paths.push_back("c:\\v\\" + std::to_string(i) + ".mp3");
    }
    std::vector<Rec> recs;
    for (int i = 0; i < k.count; ++i)
      recs.push_back({artists[size_t(i)].c_str(), titles[size_t(i)].c_str(), paths[size_t(i)].c_str()});
    auto c = Scan(recs);
    c->Combine = k.combine;
    c->ArtistBound = 100;
    c->TitleBound = 100;
    const Strings expected = PlainWalkRows(*c);
    ASSERT_GT(expected.size(), size_t(k.count) / 2) << int(k.combine);
    std::unique_ptr<TMP3Collection> results;
    size_t peak = 0;
    {
      test::AllocationMeter meter;
      results = CompareCollection(*c, false);
      peak = meter.Peak();
    }
    ASSERT_TRUE(results);
    EXPECT_EQ(Rows(*results), expected) << int(k.combine);
    // A list per member would hold count^2 numbers (36 MB); the rows
    // themselves take about 1.5 kB each.
    EXPECT_LT(peak, size_t(k.count) * 2048 + 2 * 1024 * 1024) << int(k.combine);
  }
}

TEST(DuplicateSearch, TenThousandEqualRecordsFormOneGroupInOrder) {
  std::vector<std::string> paths;
  for (int i = 0; i < 10000; ++i) paths.push_back("c:\\m\\" + std::to_string(i) + ".mp3");
  std::vector<Rec> recs;
  for (const std::string& p : paths) recs.push_back({"Same Artist", "Same Title", p.c_str()});
  auto c = Scan(recs);
  int32_t searched = 0;
  TCompareEvents events;
  events.OnSearch = [&](int32_t, const TMP3Info&) { ++searched; };
  auto results = CompareCollection(*c, false, events);
  ASSERT_EQ(results->Count(), 10000);
  for (int32_t i = 0; i < 10000; ++i) {
    ASSERT_EQ(results->Items(i).FileName(), paths[static_cast<size_t>(i)]);
    ASSERT_EQ(results->Items(i).Tag, 1);
  }
  EXPECT_EQ(searched, 10000);
}

}  // namespace
}  // namespace kv
