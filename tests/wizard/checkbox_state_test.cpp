#include "wizard/checkbox_state.h"

#include <gtest/gtest.h>

#include <vector>

#include "treeview/check_types.h"

namespace kv {
namespace {

// A folder node with loaded children in the given states.
struct Folder {
  explicit Folder(const std::vector<std::uint8_t>& states) : children(states.size()) {
    folder.FirstChild = children.empty() ? nullptr : &children[0];
    for (size_t i = 0; i < children.size(); ++i) {
      children[i].CheckState = states[i];
      children[i].NextSibling = i + 1 < children.size() ? &children[i + 1] : nullptr;
    }
  }
  TLazyNode folder{};
  std::vector<TLazyNode> children;
};

TEST(CheckStateTrack, FolderStateFromItsLoadedChildren) {
  struct Case {
    std::vector<std::uint8_t> children;
    std::uint8_t expected;
  };
  const Case cases[] = {
      {{}, csCheckedNormal},  // nothing loaded: the folder itself was checked
      {{csCheckedNormal, csCheckedNormal}, csCheckedNormal},
      {{csUncheckedNormal, csUncheckedNormal}, csUncheckedNormal},
      {{csCheckedNormal, csUncheckedNormal, csCheckedNormal}, csMixedNormal},
      {{csUncheckedNormal, csMixedNormal}, csMixedNormal},
      {{csCheckedNormal, csMixedNormal, csCheckedNormal}, csMixedNormal},
      // A box held down under the mouse counts as not unchecked.
      {{csUncheckedPressed, csCheckedNormal}, csCheckedNormal},
      {{csUncheckedPressed, csUncheckedNormal}, csMixedNormal},
  };
  for (const Case& c : cases) {
    Folder f(c.children);
    EXPECT_EQ(CheckStateTrack(&f.folder), c.expected) << c.children.size();
  }
  EXPECT_EQ(CheckStateTrack(nullptr), csUncheckedNormal);
}

TEST(FilenamePrefixChain, FoldersLeadingToThePath) {
  using Chain = std::vector<std::u16string>;
  EXPECT_EQ(FilenamePrefixChain(u"C:\\Music\\Rock"), (Chain{u"C:\\", u"C:\\Music", u"C:\\Music\\Rock"}));
  EXPECT_EQ(FilenamePrefixChain(u"c:\\Music\\\\"), (Chain{u"c:\\", u"c:\\Music"}));
  EXPECT_EQ(FilenamePrefixChain(u"C:\\"), (Chain{u"C:\\"}));
  EXPECT_EQ(FilenamePrefixChain(u"C:\\a.mp3"), (Chain{u"C:\\", u"C:\\a.mp3"}));
  EXPECT_EQ(FilenamePrefixChain(u"no folder"), (Chain{u"no folder"}));
}

}  // namespace
}  // namespace kv
