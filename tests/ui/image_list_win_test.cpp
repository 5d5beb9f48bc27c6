// Change links of image lists: who hears of a change. (Either side dying
// first is exercised through trees in tests/treeview.)
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ui/graphics_win.h"
#include "ui/toolbar_win.h"

namespace kv::ui {
namespace {

HBITMAP Strip(TBitmap& strip, int tiles) {
  strip.Create(16 * tiles, 16);
  return strip.Handle();
}

TEST(ImageListLinks, EveryChangeReachesTheRegisteredLinksOnly) {
  TImageList list;
  std::vector<int> heard;
  TChangeLink* self = nullptr;
  TChangeLink first([&](TComponent* sender) {
    EXPECT_EQ(sender, self->Sender());
    heard.push_back(1);
  });
  self = &first;
  TChangeLink second([&](TComponent*) { heard.push_back(2); });
  list.RegisterChanges(first);
  list.RegisterChanges(second);
  list.RegisterChanges(first);  // once is enough
  EXPECT_EQ(first.Sender(), &list);

  TBitmap strip;
  list.AddStrip(Strip(strip, 2));
  EXPECT_EQ(heard, (std::vector<int>{1, 2}));
  heard.clear();
  list.SetImageType(TImageType::itMask);
  list.SetImageType(TImageType::itMask);  // no change
  list.SetSize(24, 24);
  HIMAGELIST shared = ImageList_Create(20, 20, ILC_COLOR32 | ILC_MASK, 0, 1);
  list.ShareHandle(shared);
  EXPECT_EQ(list.Width(), 20);
  list.ShareHandle(nullptr);
  ImageList_Destroy(shared);
  EXPECT_EQ(heard, (std::vector<int>{1, 2, 1, 2, 1, 2, 1, 2}));

  heard.clear();
  list.UnRegisterChanges(second);
  EXPECT_EQ(second.Sender(), nullptr);
  list.Change();
  EXPECT_EQ(heard, (std::vector<int>{1}));

  // Registering with another list moves the link.
  TImageList other;
  other.RegisterChanges(first);
  heard.clear();
  list.Change();
  other.Change();
  EXPECT_EQ(heard, (std::vector<int>{1}));
  EXPECT_EQ(first.Sender(), &other);
}

// A handler may unregister or destroy links that would hear of the same
// change; they are not called afterwards.
TEST(ImageListLinks, HandlersMayDropOtherLinksWhileAChangeRuns) {
  TImageList list;
  int firstCalls = 0, laterCalls = 0;
  auto later = std::make_unique<TChangeLink>([&](TComponent*) { ++laterCalls; });
  TChangeLink unregistered([&](TComponent*) { ++laterCalls; });
  TChangeLink first([&](TComponent*) {
    ++firstCalls;
    later.reset();
    list.UnRegisterChanges(unregistered);
  });
  list.RegisterChanges(first);
  list.RegisterChanges(*later);
  list.RegisterChanges(unregistered);
  list.Change();
  EXPECT_EQ(firstCalls, 1);
  EXPECT_EQ(laterCalls, 0);
  list.Change();
  EXPECT_EQ(firstCalls, 2);
}

}  // namespace
}  // namespace kv::ui
