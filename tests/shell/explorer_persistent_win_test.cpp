// Stream forms of the explorer tree's saved state and of view managers.
#include "shell/explorer_persistent_win.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "shell/explorer_tree_win.h"
#include "shell_test_util.h"
#include "ui/forms_win.h"
#include "zip/zip_stream.h"

namespace kv {
namespace {

std::unique_ptr<TExplorerPersistent> Sample(const std::wstring& path) {
  auto state = std::make_unique<TExplorerPersistent>();
  state->LeafNodes.push_back({true, PathToPIDL(test::kFixture + L"\\enum")});
  state->LeafNodes.push_back({false, PathToPIDL(test::kFixture + L"\\names")});
  state->SelectedFolderPIDL = PathToPIDL(test::kFixture);
  state->SelectedPIDLs.push_back(TPIDLManager::CopyPIDL(TPIDLManager::GetPointerToLastID(state->LeafNodes[0].PIDL.get())));
  state->TopNodePIDL = PathToPIDL(test::kFixture + L"\\enum");
  state->RootFolder = static_cast<int>(TRootFolder::rfCustom);
  state->RootFolderCustomPath = path;
  TNodeStorage* node = state->Storage->Store(StorageBytes(state->TopNodePIDL.get()), kStoreCheck);
  node->Storage.CheckState = kStoredChecked;
  node->Storage.CheckType = kStoredTriStateType;
  return state;
}

TEST(ExplorerPersistent, RoundTripsInEveryVersion) {
  const std::wstring path = L"C:\\kvtest\\caf\u00e9\\";
  for (int32_t version = 0; version <= 3; ++version)
    for (bool withVersion : {false, true}) {
      auto source = Sample(path);
      TMemoryStream stream;
      source->SaveToStream(stream, version, withVersion);
      stream.SetPosition(0);
      TExplorerPersistent loaded;
      loaded.LoadFromStream(stream, withVersion ? 77 : version, withVersion);
      EXPECT_EQ(stream.Position(), stream.Size()) << version;
      EXPECT_EQ(loaded.StreamVersion(), version);
      EXPECT_EQ(loaded.RootFolderCustomPath, path) << version;  // before 3 as ANSI bytes, é in code page 1252
      ASSERT_EQ(loaded.LeafNodes.size(), 2u);
      EXPECT_TRUE(loaded.LeafNodes[0].Expanded);
      EXPECT_FALSE(loaded.LeafNodes[1].Expanded);
      EXPECT_TRUE(ILIsEqualSafe(loaded.LeafNodes[1].PIDL.get(), source->LeafNodes[1].PIDL.get()));
      ASSERT_EQ(loaded.SelectedPIDLs.size(), 1u);
      EXPECT_TRUE(ILIsEqualSafe(loaded.TopNodePIDL.get(), source->TopNodePIDL.get()));
      EXPECT_EQ(loaded.RootFolder, static_cast<int>(TRootFolder::rfCustom));
      EXPECT_NE(loaded.Storage->Find(StorageBytes(loaded.TopNodePIDL.get()), kStoreCheck), nullptr);
    }
}

TEST(ExplorerPersistent, BadStreamsChangeNothing) {
  auto source = Sample(L"C:\\kvtest\\");
  TMemoryStream good;
  source->SaveToStream(good, 3, true);
  const auto bytes = good.Bytes();
  for (size_t cut = 0; cut < bytes.size(); cut += 3) {
    auto target = Sample(L"C:\\keep\\");
    TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
    EXPECT_ANY_THROW(target->LoadFromStream(stream, 0, true)) << cut;
    EXPECT_EQ(target->RootFolderCustomPath, L"C:\\keep\\");
    EXPECT_EQ(target->LeafNodes.size(), 2u);
  }
  // A leaf count far beyond the stream (after the two versions).
  auto huge = bytes;
  huge[8] = 0xFF, huge[9] = 0xFF, huge[10] = 0xFF, huge[11] = 0x0F;
  TMemoryStream stream(huge);
  TExplorerPersistent target;
  try {
    target.LoadFromStream(stream, 0, true);
    ADD_FAILURE() << "accepted";
  } catch (const ENodeStorage& e) {
    EXPECT_STREQ(e.what(), "Explorer state stream: leaf count beyond the stream");
  }
}

TEST(ExplorerPersistent, AbsentListsStayAbsentWhereTheStateMayLackThem) {
  // Without a selected folder, custom root list or top row the state comes
  // back without them (a desktop list here would root the tree at the desktop).
  auto source = Sample(L"C:\\kvtest\\");
  source->SelectedFolderPIDL.reset();
  source->RootFolderCustomPIDL.reset();
  source->TopNodePIDL.reset();
  TMemoryStream stream;
  source->SaveToStream(stream, 3, false);
  stream.SetPosition(0);
  TExplorerPersistent loaded;
  loaded.LoadFromStream(stream, 3, false);
  EXPECT_EQ(stream.Position(), stream.Size());
  EXPECT_FALSE(loaded.SelectedFolderPIDL);
  EXPECT_FALSE(loaded.RootFolderCustomPIDL);
  EXPECT_FALSE(loaded.TopNodePIDL);
  ASSERT_EQ(loaded.LeafNodes.size(), 2u);

  // Leaves and selected items are always stored with their lists: one stored
  // as absent is refused and changes nothing.
  const auto bytes = stream.Bytes();
  auto sized = [](LPCITEMIDLIST list) {
    auto size = static_cast<uint32_t>(TPIDLManager::PIDLSize(list));
    std::vector<uint8_t> out = {uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)};
    auto span = StorageBytes(list);
    out.insert(out.end(), span.begin(), span.end());
    return out;
  };
  struct Case { std::vector<uint8_t> lead; LPCITEMIDLIST list; const char* error; } cases[] = {
      {{}, source->LeafNodes[0].PIDL.get(), "Explorer state stream: a leaf without its item-ID list"},
      {{1, 0, 0, 0}, source->SelectedPIDLs[0].get(),  // the count of one selected item, then its list
       "Explorer state stream: a selected item without its item-ID list"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> form = sized(c.list), pattern = c.lead;
    pattern.insert(pattern.end(), form.begin(), form.end());
    auto at = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
    ASSERT_NE(at, bytes.end()) << c.error;
    at += static_cast<ptrdiff_t>(c.lead.size());
    std::vector<uint8_t> bad(bytes.begin(), at);
    bad.insert(bad.end(), {0, 0, 0, 0});
    bad.insert(bad.end(), at + static_cast<ptrdiff_t>(form.size()), bytes.end());
    auto target = Sample(L"C:\\keep\\");
    TMemoryStream s(bad);
    try {
      target->LoadFromStream(s, 3, false);
      ADD_FAILURE() << "accepted: " << c.error;
    } catch (const ENodeStorage& e) {
      EXPECT_STREQ(e.what(), c.error);
    }
    EXPECT_EQ(target->RootFolderCustomPath, L"C:\\keep\\");
  }
}

TEST(ExplorerPersistent, ViewManagersFindViewsWithoutCaseAndStreamThem) {
  ui::TForm form;
  auto& tree = form.Create<TLazyExplorerTreeview>();
  tree.SetParent(&form);
  tree.TreeOptions().SetMiscOptions(tree.TreeOptions().MiscOptions() | toCheckSupport);
  tree.SetRootFolderCustomPath(test::kFixture);
  tree.SetActive(true);
  TPidl enumList = PathToPIDL(test::kFixture + L"\\enum");
  ASSERT_TRUE(tree.BrowseToByPIDL(enumList.get(), true, false, false, true));
  TNodeStorage* node = tree.GetNewStorage()->Store(StorageBytes(enumList.get()), kStoreCheck);
  node->Storage.CheckState = kStoredChecked;

  TGlobalViewManager manager;
  manager.Snapshot(L"Music", tree);
  manager.Snapshot(L"MUSIC", tree);  // the same view
  ASSERT_EQ(manager.Views.size(), 1u);
  tree.GetNewStorage()->Clear(false);
  tree.FullCollapse();
  TMemoryStream stream;
  manager.SaveToStream(stream);
  stream.SetPosition(0);
  TGlobalViewManager loaded;
  loaded.LoadFromStream(stream);
  ASSERT_NE(loaded.GetView(L"music"), nullptr);
  EXPECT_EQ(loaded.GetView(L"other"), nullptr);
  loaded.ShowView(L"music", tree);
  EXPECT_TRUE(tree.Expanded(tree.FindNode(test::kFixture + L"\\enum")));
  EXPECT_NE(tree.GetNewStorage()->Find(StorageBytes(enumList.get()), kStoreCheck), nullptr);
}

}  // namespace
}  // namespace kv
