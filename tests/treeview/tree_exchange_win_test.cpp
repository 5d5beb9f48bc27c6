// Data exchange of string trees: captions in node streams.

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "treeview/lazy_trees_win.h"

namespace kv {
namespace {

// Texts kept by the owner, per node.
struct TextOwner {
  explicit TextOwner(TLazyStringTree& t) : tree(t) {
    tree.OnGetText = [this](TBaseLazyTree&, PLazyNode n, TColumnIndex, TLSTTextType, std::wstring& text) {
      if (auto it = texts.find(n); it != texts.end()) text = it->second;
    };
    tree.OnNewText = [this](TBaseLazyTree&, PLazyNode n, TColumnIndex, const std::wstring& text) {
      texts[n] = text;
    };
  }
  TLazyStringTree& tree;
  std::map<PLazyNode, std::wstring> texts;
};

std::size_t CountCaptionChunks(const std::vector<std::uint8_t>& bytes, std::u16string_view text) {
  std::vector<std::uint8_t> chunk{3, 0, 0, 0, static_cast<std::uint8_t>(2 * text.size()), 0, 0, 0};
  for (char16_t c : text) {
    chunk.push_back(static_cast<std::uint8_t>(c));
    chunk.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  std::size_t count = 0;
  for (auto it = bytes.begin(); (it = std::search(it, bytes.end(), chunk.begin(), chunk.end())) != bytes.end(); ++it)
    ++count;
  return count;
}

TEST(StringTreeStream, CaptionsTravelWithTheNodes) {
  TLazyStringTree source;
  TextOwner owner(source);
  PLazyNode a = source.AddChild(nullptr);
  PLazyNode b = source.AddChild(a);
  source.AddChild(nullptr);
  source.SetDefaultText(L"");
  owner.texts[a] = L"Ab\u20AC";
  owner.texts[b] = L"x";
  TNodeMemoryStream stream;
  source.SaveToStream(stream);
  // The third node has an empty text: no chunk for it.
  EXPECT_EQ(CountCaptionChunks(stream.Bytes(), u"Ab\u20AC"), 1u);
  EXPECT_EQ(CountCaptionChunks(stream.Bytes(), u"x"), 1u);

  TLazyStringTree target;
  TextOwner loaded(target);
  stream.SetPosition(0);
  target.LoadFromStream(stream);
  ASSERT_EQ(target.TotalCount(), 3u);
  PLazyNode first = target.GetFirst();
  EXPECT_EQ(loaded.texts[first], L"Ab\u20AC");
  EXPECT_EQ(loaded.texts[target.GetFirstChild(first)], L"x");
  EXPECT_EQ(loaded.texts.size(), 2u);

  // Without toSaveCaptions nothing of the texts is written.
  source.GetOptions().SetStringOptions(source.GetOptions().StringOptions() & ~toSaveCaptions);
  TNodeMemoryStream plain;
  source.SaveToStream(plain);
  EXPECT_EQ(CountCaptionChunks(plain.Bytes(), u"x"), 0u);
  EXPECT_EQ(stream.Size() - plain.Size(), 2 * 8 + 6 + 2);
}

}  // namespace
}  // namespace kv
