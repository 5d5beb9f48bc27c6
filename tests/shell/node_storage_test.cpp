// Node storage against a stand-in shell whose items carry their names:
// items order by name bytes, a path is the names joined by backslashes.
#include "shell/node_storage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "shell/id_list.h"
#include "zip/zip_stream.h"

namespace kv {
namespace {

std::vector<uint8_t> Pidl(const std::vector<std::string>& names) {
  std::vector<uint8_t> out;
  for (const auto& n : names) {
    auto count = static_cast<uint16_t>(n.size() + 2);
    out.push_back(uint8_t(count));
    out.push_back(uint8_t(count >> 8));
    out.insert(out.end(), n.begin(), n.end());
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

struct FakeShell : TNodeStorageShell {
  std::set<std::u16string>* missing = nullptr;  // paths deleted from "disk"
  std::set<std::vector<uint8_t>>* vanished = nullptr;
  int pathQuestions = 0;  // FileSystemPath calls
  bool CompareIDs(TNodeStorage&, std::span<const uint8_t> a, std::span<const uint8_t> b, int& order) override {
    order = CompareIDItemBytes(IDItemBytes(a.data()), IDItemBytes(b.data()));
    return true;
  }
  bool ChildExists(const TNodeStorage& child) override {
    return !vanished || !vanished->count(child.AbsolutePIDL());
  }
  std::u16string FileSystemPath(const TNodeStorage& node) override {
    ++pathQuestions;
    std::u16string path;
    const uint8_t* item = node.AbsolutePIDL().data();
    while (IDCountAt(item)) {
      auto bytes = IDItemBytes(item).subspan(2);
      if (!path.empty()) path += u'\\';
      path += Widen(std::string(bytes.begin(), bytes.end()));
      item = static_cast<const uint8_t*>(NextIDItem(item));
    }
    return path;
  }
  bool PathExists(const std::u16string& path) override { return !missing || !missing->count(path); }
};

struct Note : TNodeUserData {
  std::string text;
  std::string ClassName() const override { return "TNote"; }
  void Assign(const TNodeUserData& source) override { text = static_cast<const Note&>(source).text; }
  void SaveToStream(TStream& stream, int32_t version, bool writeVer) override {
    TNodeUserData::SaveToStream(stream, version, writeVer);
    uint8_t n = uint8_t(text.size());
    stream.WriteBuffer(&n, 1);
    stream.WriteBuffer(text.data(), n);
  }
  void LoadFromStream(TStream& stream, int32_t version, bool readVer) override {
    TNodeUserData::LoadFromStream(stream, version, readVer);
    uint8_t n;
    stream.ReadBuffer(&n, 1);
    text.assign(n, '\0');
    stream.ReadBuffer(text.data(), n);
  }
};

std::unique_ptr<TRootNodeStorage> MakeRoot(FakeShell** shellOut = nullptr, bool knowsNotes = true) {
  auto shell = std::make_unique<FakeShell>();
  if (shellOut) *shellOut = shell.get();
  auto root = std::make_unique<TRootNodeStorage>(std::move(shell));
  if (knowsNotes) root->RegisterUserDataClass("TNote", [] { return std::make_unique<Note>(); });
  return root;
}

void Check(TRootNodeStorage& root, const std::vector<std::string>& path, uint8_t state = kStoredChecked) {
  if (state == kStoredUnchecked) {
    root.Delete(Pidl(path), kStoreCheck, false, false);
    return;
  }
  TNodeStorage* node = root.Store(Pidl(path), kStoreCheck);
  ASSERT_NE(node, nullptr);
  node->Storage.CheckType = kStoredTriStateType;
  node->Storage.CheckState = state;
}

TEST(NodeStorage, StoreFindDeleteFollowTheirRules) {
  // Intermediate levels: nothing stored, or mixed with a tri-state root.
  for (bool triState : {false, true}) {
    auto root = MakeRoot();
    if (triState) root->Storage.CheckType = kStoredTriStateType;
    Check(*root, {"C:", "A", "B", "C"});
    for (auto path : {std::vector<std::string>{"C:"}, {"C:", "A"}, {"C:", "A", "B"}}) {
      TNodeStorage* node = root->WalkPIDLToStorageNode(Pidl(path), false);
      ASSERT_NE(node, nullptr);
      EXPECT_EQ(node->Storage.Types, triState ? kStoreCheck : 0);
      EXPECT_EQ(node->Storage.CheckState, triState ? kStoredMixed : kStoredUnchecked);
      EXPECT_EQ(node->AbsolutePIDL(), Pidl(path));
    }
    EXPECT_NE(root->Find(Pidl({"C:", "A", "B", "C"}), kStoreCheck), nullptr);
    EXPECT_EQ(root->Find(Pidl({"C:", "A", "B", "C"}), kStoreColumns), nullptr);  // exists, other type
    EXPECT_EQ(root->Find(Pidl({"C:", "A", "X"}), kStoreCheck), nullptr);
  }
  // Removing the last type of C:\A takes C:\A\B with it; the root stays.
  auto root = MakeRoot();
  Check(*root, {"C:", "A"});
  Check(*root, {"C:", "A", "B"});
  root->Delete(Pidl({"C:", "A"}), kStoreCheck, false, false);
  EXPECT_EQ(root->WalkPIDLToStorageNode(Pidl({"C:", "A", "B"}), false), nullptr);
  EXPECT_EQ(root->CacheNode(), nullptr);
  // The root only forgets its own check: the states below it stay.
  Check(*root, {"C:", "X"});
  root->Storage.CheckState = kStoredChecked;
  root->Delete(Pidl({}), kStoreCheck | kStoreColumns, true, false);
  EXPECT_EQ(root->WalkPIDLToStorageNode(Pidl({}), false), root.get());
  EXPECT_EQ(root->Storage.CheckState, kStoredUnchecked);
  EXPECT_NE(root->Find(Pidl({"C:", "X"}), kStoreCheck), nullptr);
  // Deleting one type of two keeps the node, no longer checked for the search.
  Check(*root, {"D:"});
  TNodeStorage* both = root->Store(Pidl({"D:"}), kStoreColumns);
  root->Delete(Pidl({"D:"}), kStoreCheck, false, false);
  EXPECT_EQ(root->Find(Pidl({"D:"}), kStoreColumns), both);
  EXPECT_EQ(root->Find(Pidl({"D:"}), kStoreCheck), nullptr);
  const std::vector<std::u16string> onlyX{u"C:\\X"};
  EXPECT_EQ(root->GetCheckedFileNamesW(), onlyX);
  EXPECT_EQ(root->GetResolvedFileNamesW(), onlyX);
}

TEST(NodeStorage, SiblingsStaySortedAndTheCacheFindsThem) {
  auto root = MakeRoot();
  std::vector<std::string> names = {"m", "c", "x", "a", "q", "b"};
  for (const auto& n : names) Check(*root, {"C:", "F", n});
  TNodeStorage* folder = root->CacheNode();
  EXPECT_EQ(folder, root->WalkPIDLToStorageNode(Pidl({"C:", "F"}), false));
  TNodeStorageList* list = folder->ChildNodeList();
  ASSERT_EQ(list->Count(), names.size());
  std::sort(names.begin(), names.end());
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(list->Items(i)->AbsolutePIDL(), Pidl({"C:", "F", names[i]}));
  for (const auto& n : names) EXPECT_NE(root->Find(Pidl({"C:", "F", n}), kStoreCheck), nullptr);
  EXPECT_EQ(root->Find(Pidl({"C:", "G", "a"}), kStoreCheck), nullptr);
}

TEST(NodeStorage, AssignCopiesDeeplyAndKeepsUserDataObjects) {
  auto source = MakeRoot();
  Check(*source, {"C:", "A", "B"});
  TNodeStorage* withNote = source->Store(Pidl({"C:", "A"}), kStoreUserData);
  auto note = std::make_shared<Note>();
  note->text = "hi";
  withNote->Storage.UserData = note;
  withNote->Storage.Column.Widths = {180, 96};
  auto copy = MakeRoot();
  copy->Assign(*source);
  source->Clear(false);
  TNodeStorage* b = copy->Find(Pidl({"C:", "A", "B"}), kStoreCheck);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->ParentNode()->ParentNode()->ParentNode(), copy.get());
  TNodeStorage* a = copy->Find(Pidl({"C:", "A"}), kStoreUserData);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Storage.Column.Widths, (std::vector<uint16_t>{180, 96}));
  EXPECT_EQ(a->Storage.UserData, nullptr);  // a missing object is not made
  EXPECT_EQ(note->text, "hi");              // clearing without FreeUserData keeps it
}

TEST(NodeStorage, ResolvedPathsDropEverythingAtOrBelowAKeptPath) {
  // Sorted first (here by upper case); then each entry that begins with the
  // kept entry before it and a backslash goes. Only neighbours are compared,
  // and case counts.
  const std::vector<std::pair<std::vector<std::u16string>, std::vector<std::u16string>>> cases = {
      {{u"C:\\Music\\Rock", u"C:\\Music"}, {u"C:\\Music"}},
      {{u"C:\\Music", u"C:\\Music2"}, {u"C:\\Music", u"C:\\Music2"}},
      {{u"C:\\Music", u"C:\\Music\\Rock", u"C:\\Music\\Rock\\Live", u"C:\\Music\\Jazz"}, {u"C:\\Music"}},
      // A name that sorts between a folder and its child keeps the child.
      {{u"C:\\Music", u"C:\\Music (2)", u"C:\\Music Extra", u"C:\\Music.old", u"C:\\Music\\Rock"},
       {u"C:\\Music", u"C:\\Music (2)", u"C:\\Music Extra", u"C:\\Music.old", u"C:\\Music\\Rock"}},
      {{u"C:\\Users\\ME\\Documents", u"c:\\users\\me\\documents\\x"},
       {u"C:\\Users\\ME\\Documents", u"c:\\users\\me\\documents\\x"}},
      {{u"C:\\", u"C:\\A", u"D:\\B"}, {u"C:\\", u"D:\\B"}},
      {{u"C:\\Music\\", u"C:\\Music\\Rock"}, {u"C:\\Music\\"}},
  };
  TNodeStorageShell plain;
  for (const auto& [in, want] : cases) {
    auto got = ResolvePathList(in, [&](std::vector<std::u16string>& paths) { plain.SortPaths(paths); });
    EXPECT_EQ(got, want) << "first input " << std::string(in[0].begin(), in[0].end());
  }
}

// Resolved = checked less those equal to or below another checked path, on
// random check sets over a generated tree, against a brute-force oracle.
TEST(NodeStorage, ResolvedMatchesBruteForceOnRandomCheckSets) {
  std::vector<std::vector<std::string>> tree;
  const char* names[] = {"a", "a b", "a.b", "a (2)", "ab", "b"};
  for (const char* x : names) {
    tree.push_back({"C:", x});
    for (const char* y : names) {
      tree.push_back({"C:", x, y});
      tree.push_back({"C:", x, y, "z"});
    }
  }
  std::mt19937 rng(21);
  for (int round = 0; round < 1000; ++round) {
    FakeShell* shell = nullptr;
    auto root = MakeRoot(&shell);
    std::set<std::u16string> missing;
    shell->missing = &missing;
    std::vector<std::u16string> checked;
    size_t n = 1 + rng() % 12;
    std::set<size_t> picked;
    for (size_t i = 0; i < n; ++i) picked.insert(rng() % tree.size());
    for (size_t i : picked) {
      Check(*root, tree[i], rng() % 5 == 0 ? kStoredMixed : kStoredChecked);
      std::u16string path;
      for (const auto& part : tree[i]) path += (path.empty() ? u"" : u"\\") + Widen(part);
      if (rng() % 10 == 0) missing.insert(path);
      else if (root->Find(Pidl(tree[i]), kStoreCheck)->Storage.CheckState == kStoredChecked)
        checked.push_back(path);
    }
    auto upper = [](std::u16string s) {
      for (auto& c : s) c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
      return s;
    };
    // Sorted by upper case; an entry below the kept one before it goes.
    std::stable_sort(checked.begin(), checked.end(),
                     [&](const std::u16string& a, const std::u16string& b) { return upper(a) < upper(b); });
    std::vector<std::u16string> oracle;
    for (const auto& c : checked)
      if (oracle.empty() || c.rfind(oracle.back() + u"\\", 0) != 0) oracle.push_back(c);
    auto got = root->GetResolvedFileNamesW();
    ASSERT_EQ(got, oracle) << "round " << round;
    auto all = root->GetCheckedFileNamesW();
    ASSERT_EQ(all.size(), checked.size()) << "round " << round;
  }
}

// Every checked node is asked for its path, the ones below a checked folder
// too (a folder shortcut's child lies elsewhere on disk); a drive counts by
// its form, with or without a medium. The sorted list then loses the
// entries below their kept neighbour.
TEST(NodeStorage, ResolvingListsEveryCheckedPathThenDropsThoseBelowANeighbour) {
  FakeShell* shell = nullptr;
  auto root = MakeRoot(&shell);
  std::set<std::u16string> missing;
  shell->missing = &missing;
  Check(*root, {"C:", "Music"});
  for (int i = 0; i < 300; ++i) Check(*root, {"C:", "Music", "Artist " + std::to_string(i)});
  Check(*root, {"C:", "Other", "Album"});
  Check(*root, {"D:", "Gone"});
  Check(*root, {"D:", "Gone", "Kept"});
  missing.insert(u"D:\\Gone");
  Check(*root, {"E:\\"});
  missing.insert(u"E:\\");  // a drive without a medium

  shell->pathQuestions = 0;
  auto resolved = root->GetResolvedFileNamesW();
  EXPECT_EQ(resolved, (std::vector<std::u16string>{u"C:\\Music", u"C:\\Other\\Album", u"D:\\Gone\\Kept", u"E:\\"}));
  EXPECT_EQ(shell->pathQuestions, 305);

  EXPECT_EQ(root->GetCheckedFileNamesW().size(), 304u);
}

TEST(NodeStorage, StreamsRoundTripInEveryVersion) {
  for (int32_t version = 0; version <= 3; ++version) {
    for (bool withVersion : {false, true}) {
      auto source = MakeRoot();
      Check(*source, {"C:", "A", "B"});
      Check(*source, {"C:", "A", "C"}, kStoredMixed);
      TNodeStorage* a = source->Store(Pidl({"C:", "A"}), kStoreColumns | kStoreUserData);
      a->Storage.Column = {{180, 96, 120}, {0, 2, 1}, {1, 0, 1}};
      auto note = std::make_shared<Note>();
      note->text = "kept";
      a->Storage.UserData = note;
      TMemoryStream stream;
      source->SaveToStream(stream, version, withVersion);
      stream.SetPosition(0);
      auto loaded = MakeRoot();
      loaded->LoadFromStream(stream, withVersion ? 99 : version, withVersion);
      EXPECT_EQ(stream.Position(), stream.Size());
      EXPECT_EQ(loaded->StreamVersion(), version);
      TNodeStorage* la = loaded->Find(Pidl({"C:", "A"}), kStoreColumns);
      ASSERT_NE(la, nullptr) << version;
      EXPECT_EQ(la->Storage.Column.Positions, (std::vector<uint16_t>{0, 2, 1}));
      EXPECT_EQ(la->Storage.Column.Visible, (std::vector<uint8_t>{1, 0, 1}));
      if (version >= 1) {
        ASSERT_NE(la->Storage.UserData, nullptr);
        EXPECT_EQ(static_cast<Note&>(*la->Storage.UserData).text, "kept");
      }
      TNodeStorage* c = loaded->Find(Pidl({"C:", "A", "C"}), kStoreCheck);
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(c->Storage.CheckState, kStoredMixed);
      EXPECT_EQ(c->Storage.CheckType, version >= 2 ? kStoredTriStateType : 0);
      EXPECT_EQ(c->ParentNode(), la);
    }
  }
}

TEST(NodeStorage, BadStreamsNameTheirFaultAndChangeNothing) {
  auto source = MakeRoot();
  Check(*source, {"C:", "A"});
  Check(*source, {"C:", "B"});
  TNodeStorage* a = source->Find(Pidl({"C:", "A"}), kStoreCheck);
  a->Storage.UserData = std::make_shared<Note>();
  TMemoryStream good;
  source->SaveToStream(good, 3, false);
  const auto bytes = good.Bytes();

  auto expectRejected = [&](std::vector<uint8_t> bad, const std::string& fault, bool knowsNotes = true) {
    auto target = MakeRoot(nullptr, knowsNotes);
    Check(*target, {"D:"});
    TMemoryStream stream(std::move(bad));
    try {
      target->LoadFromStream(stream, 3, false);
      ADD_FAILURE() << "accepted: " << fault;
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(fault), std::string::npos) << e.what();
    }
    EXPECT_NE(target->Find(Pidl({"D:"}), kStoreCheck), nullptr) << fault;
    EXPECT_EQ(target->Find(Pidl({"C:", "A"}), kStoreCheck), nullptr) << fault;
  };
  // Every truncation fails.
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    auto target = MakeRoot();
    Check(*target, {"D:"});
    TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
    EXPECT_ANY_THROW(target->LoadFromStream(stream, 3, false)) << cut;
    EXPECT_NE(target->Find(Pidl({"D:"}), kStoreCheck), nullptr);
  }
  // The root's child count (after the root's list of 2 bytes and its size, and the flag).
  auto huge = bytes;
  huge[7] = 0xFF, huge[8] = 0xFF, huge[9] = 0xFF, huge[10] = 0x7F;
  expectRejected(huge, "child count beyond the stream");
  // A user-data class nobody registered.
  expectRejected(bytes, "unknown user-data class \"TNote\"", false);
  // A child that is no child of its parent: C: holding C:\B's list as its own.
  TMemoryStream crafted;
  {
    auto r = MakeRoot();
    Check(*r, {"C:", "A"});
    r->SaveToStream(crafted, 3, false);
  }
  auto wrong = crafted.Bytes();
  auto inner = Pidl({"C:", "A"});
  auto at = std::search(wrong.begin(), wrong.end(), inner.begin(), inner.end());
  ASSERT_NE(at, wrong.end());
  at[2] = 'D';
  expectRejected(wrong, "a child is not one item below its parent");
  // A node stored without its list (size 0 and no bytes).
  auto noList = crafted.Bytes();
  auto listAt = std::search(noList.begin(), noList.end(), inner.begin(), inner.end());
  ASSERT_NE(listAt, noList.end());
  listAt = noList.erase(listAt, listAt + static_cast<ptrdiff_t>(inner.size()));
  std::fill(listAt - 4, listAt, uint8_t{0});
  expectRejected(noList, "Node storage stream: a node without its item-ID list");
  // Children out of order.
  auto swapped = bytes;
  auto bA = Pidl({"C:", "A"}), bB = Pidl({"C:", "B"});
  auto pa = std::search(swapped.begin(), swapped.end(), bA.begin(), bA.end());
  auto pb = std::search(swapped.begin(), swapped.end(), bB.begin(), bB.end());
  pa[6] = 'B', pb[6] = 'A';
  expectRejected(swapped, "children out of order");
  // Deep nesting.
  std::vector<std::string> deep{"C:"};
  for (int i = 0; i < 300; ++i) deep.push_back("d");
  {
    auto r = MakeRoot();
    Check(*r, deep);
    TMemoryStream s;
    r->SaveToStream(s, 3, false);
    expectRejected(s.Bytes(), "nesting too deep");
  }
}

TEST(NodeStorage, VanishedChildrenAreDroppedWhileLoading) {
  auto source = MakeRoot();
  Check(*source, {"C:", "A", "X"});
  Check(*source, {"C:", "B"});
  TMemoryStream stream;
  source->SaveToStream(stream, 3, true);
  stream.SetPosition(0);
  FakeShell* shell = nullptr;
  auto loaded = MakeRoot(&shell);
  std::set<std::vector<uint8_t>> vanished{Pidl({"C:", "A"})};
  shell->vanished = &vanished;
  loaded->LoadFromStream(stream, 0, true);
  EXPECT_EQ(loaded->WalkPIDLToStorageNode(Pidl({"C:", "A"}), false), nullptr);
  EXPECT_NE(loaded->Find(Pidl({"C:", "B"}), kStoreCheck), nullptr);
}

}  // namespace
}  // namespace kv
