#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <utility>

#include "ui/gdi_win.h"
#include "ui/graphics_win.h"

namespace kv::ui {
namespace {

TEST(Gdi, ASelectionRestoresOnceWhereverItMovesAndARefusalThrows) {
  TBitmap a, b;
  a.Create(4, 4);
  b.Create(4, 4);
  const MemoryDc dc = CreateMemoryDc(nullptr);
  auto current = [&] { return GetCurrentObject(dc.Get(), OBJ_BITMAP); };
  const HGDIOBJ original = current();
  {
    std::optional<SelectedObject> first = SelectInto(dc.Get(), a.Handle());
    SelectedObject kept = std::move(*first);
    first.reset();  // moved from: restores nothing
    EXPECT_EQ(current(), a.Handle());
    {
      const SelectedObject inner = SelectInto(dc.Get(), b.Handle());
      EXPECT_EQ(current(), b.Handle());
      // A bitmap sits in one DC at a time.
      const MemoryDc other = CreateMemoryDc(dc.Get());
      EXPECT_THROW((void)SelectInto(other.Get(), b.Handle()), std::runtime_error);
    }
    EXPECT_EQ(current(), a.Handle());
  }
  EXPECT_EQ(current(), original);
}

}  // namespace
}  // namespace kv::ui
