// Node storage over the shell of the test prefix.
#include "shell/node_storage_win.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "shell/id_list_win.h"
#include "shell/wide_string_list_win.h"
#include "shell_test_util.h"

namespace kv {
namespace {

std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

TEST(ShellNodeStorage, CheckedFoldersResolveInEveryScriptOnceEach) {
  const std::wstring base = test::kFixture + L"\\storage";
  const std::vector<std::wstring> folders = {
      L"", L"\\Music", L"\\Music (2)", L"\\Music.old", L"\\Music\\Rock",
      L"\\\u041c\u0443\u0437\u044b\u043a\u0430", L"\\\u65e5\u672c", L"\\gone"};
  for (const auto& f : folders) CreateDirectoryW((base + f).c_str(), nullptr);
  auto root = MakeShellNodeStorage();
  auto check = [&](LPCITEMIDLIST list) {
    ASSERT_NE(list, nullptr);
    TNodeStorage* node = root->Store(StorageBytes(list), kStoreCheck);
    ASSERT_NE(node, nullptr);
    node->Storage.CheckType = kStoredTriStateType;
    node->Storage.CheckState = kStoredChecked;
  };
  for (size_t i = 1; i < folders.size(); ++i) check(PathToPIDL(base + folders[i]).get());
  // Documents on the desktop and the same folder under C:.
  check(GetMyDocumentsVirtualFolder().get());
  wchar_t personal[MAX_PATH] = {};
  ASSERT_HRESULT_SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, personal));
  check(PathToPIDL(personal).get());
  ASSERT_TRUE(RemoveDirectoryW((base + L"\\gone").c_str()));

  std::vector<std::wstring> resolved;
  for (const auto& p : root->GetResolvedFileNamesW()) resolved.push_back(W(p));
  std::vector<std::wstring> checked;
  for (const auto& p : root->GetCheckedFileNamesW()) checked.push_back(W(p));
  std::string listed;
  for (const auto& c : checked) listed += test::Narrow(c) + "|";
  EXPECT_EQ(checked.size(), 8u) << listed;  // all but the deleted folder, Documents twice
  // A checked desktop is listed: under Wine it is a folder of the file system.
  wchar_t desktopPath[MAX_PATH] = {};
  ASSERT_HRESULT_SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktopPath));
  root->Storage.Types |= kStoreCheck;
  root->Storage.CheckState = kStoredChecked;
  std::vector<std::wstring> withDesktop;
  for (const auto& p : root->GetCheckedFileNamesW()) withDesktop.push_back(W(p));
  ASSERT_EQ(withDesktop.size(), 9u);
  EXPECT_EQ(withDesktop.front(), desktopPath);
  root->Storage.CheckState = kStoredUnchecked;
  EXPECT_EQ(std::count(checked.begin(), checked.end(), base + L"\\gone"), 0);
  std::vector<std::wstring> want = {base + L"\\Music", base + L"\\Music (2)", base + L"\\Music.old",
                                    base + folders[5], base + folders[6]};
  std::vector<std::wstring> withoutDocuments;
  int documents = 0;
  for (const auto& r : resolved)
    if (r.find(L"Documents") != std::wstring::npos) ++documents;
    else withoutDocuments.push_back(r);
  // Only neighbours in the list's order are compared: the two equal
  // Documents paths both stay, and Rock stays unless it follows Music
  // directly (the scan takes each folder once).
  EXPECT_EQ(documents, 2);
  TWideStringList order;
  for (const auto& r : resolved) order.Add(r);
  order.Sort();
  for (int i = 0; i < order.Count(); ++i) EXPECT_EQ(resolved[static_cast<size_t>(i)], order.Get(i));
  const auto music = std::find(resolved.begin(), resolved.end(), base + L"\\Music");
  ASSERT_NE(music, resolved.end());
  if (music + 1 == resolved.end() || *(music + 1) != base + L"\\Music\\Rock") want.push_back(base + folders[4]);
  std::sort(want.begin(), want.end());
  std::sort(withoutDocuments.begin(), withoutDocuments.end());
  EXPECT_EQ(withoutDocuments, want);
  // The shell's order found every stored folder again.
  for (size_t i = 1; i + 1 < folders.size(); ++i)
    EXPECT_NE(root->Find(StorageBytes(PathToPIDL(base + folders[i]).get()), kStoreCheck), nullptr)
        << test::Narrow(folders[i]);
}

}  // namespace
}  // namespace kv
