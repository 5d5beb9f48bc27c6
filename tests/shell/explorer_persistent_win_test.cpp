// Stream forms of the explorer tree's saved state and of view managers.
#include "shell/explorer_persistent_win.h"

#include <gtest/gtest.h>

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
