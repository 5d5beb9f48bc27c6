#include "shell/auto_complete_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/shell/shell_test_util.h"

namespace kv {
namespace {

std::vector<std::wstring> Texts(TCustomLazyShellAutoComplete& source) {
  TWideStringList& list = source.GetStringsW();
  std::vector<std::wstring> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
  return out;
}

TEST(ShellAutoComplete, ContentsChooseWhatIsOffered) {
  const std::wstring enumDir = test::kFixture + L"\\enum", e = enumDir + L"\\";
  const struct {
    TAutoCompleteContents contents;
    std::vector<std::wstring> expected;
  } cases[] = {
      {accCurrentDir | accFileSysDirs | accSortList, {e + L"alpha", e + L"beta"}},
      {accCurrentDir | accFileSysDirs | accFileSysFiles | accSortList,
       {e + L"alpha", e + L"beta", e + L"Folder.zip", e + L"one.txt", e + L"two.dat"}},
      {accCurrentDir | accFileSysDirs | accFileSysFiles | accHidden | accRecursive | accSortList,
       {e + L".dotfile", e + L".dotfolder", e + L".dotfolder\\inside.txt", e + L"alpha", e + L"beta",
        e + L"Folder.zip", e + L"one.txt", e + L"two.dat"}},
      // My Computer holds C: and the Control Panel; only the drive is a file-system item.
      {accMyComputer | accFileSysOnly | accFileSysDirs | accFileSysFiles, {L"C:\\"}},
  };
  for (const auto& c : cases) {
    TLazyShellAutoComplete source;
    source.SetContents(c.contents);
    source.SetCurrentDir(enumDir);
    source.Refresh();
    EXPECT_EQ(Texts(source), c.expected) << std::hex << c.contents;
  }
  TLazyShellAutoComplete virtualToo;
  virtualToo.SetContents(accMyComputer | accFileSysDirs | accFileSysFiles);
  virtualToo.Refresh();
  EXPECT_EQ(virtualToo.NamespaceList().Count(), 2u);
}

TEST(ShellAutoComplete, RefreshesOnlyAfterAChangeAndHandlersDecide) {
  TLazyShellAutoComplete source;
  int asked = 0;
  source.OnAutoCompleteAddItem = [&](TCustomLazyShellAutoComplete&, TNamespace&, bool&, bool&) { ++asked; };
  source.SetContents(accCurrentDir | accFileSysDirs);
  source.SetCurrentDir(test::kFixture + L"\\enum");
  ASSERT_TRUE(source.Dirty());
  source.Refresh();
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(source.Dirty());
  source.Refresh();
  EXPECT_EQ(asked, 2);
  // A folder that does not exist is not taken and leaves the list clean.
  source.SetCurrentDir(test::kFixture + L"\\enum\\missing");
  EXPECT_EQ(source.CurrentDir(), test::kFixture + L"\\enum");
  EXPECT_FALSE(source.Dirty());
  // Nothing allowed: nothing kept; a stop after the first item ends the walk.
  source.OnAutoCompleteAddItem = [&](TCustomLazyShellAutoComplete&, TNamespace&, bool& allow, bool&) {
    ++asked;
    allow = false;
  };
  source.SetCurrentDir(test::kFixture + L"\\sizes");
  source.Refresh();
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(source.NamespaceList().Count(), 0u);
  EXPECT_TRUE(Texts(source).empty());
  source.OnAutoCompleteAddItem = [&](TCustomLazyShellAutoComplete&, TNamespace&, bool&, bool& terminate) {
    ++asked;
    terminate = true;
  };
  source.SetContents(accCurrentDir | accFileSysDirs | accFileSysFiles | accRecursive);
  source.SetCurrentDir(test::kFixture + L"\\enum");
  source.Refresh();
  EXPECT_EQ(asked, 4);
  EXPECT_EQ(source.NamespaceList().Count(), 1u);

  // A stop inside a subfolder ends that subfolder's walk only: the folder
  // itself and its neighbours are still offered.
  TLazyShellAutoComplete deep;
  deep.OnAutoCompleteAddItem = [&](TCustomLazyShellAutoComplete&, TNamespace& item, bool&, bool& terminate) {
    terminate = item.GetNameParseAddress().ends_with(L"inside.txt");
  };
  deep.SetContents(accCurrentDir | accFileSysDirs | accFileSysFiles | accHidden | accRecursive);
  deep.SetCurrentDir(test::kFixture + L"\\enum");
  deep.Refresh();
  EXPECT_EQ(deep.NamespaceList().Count(), 8u);
}

}  // namespace
}  // namespace kv
