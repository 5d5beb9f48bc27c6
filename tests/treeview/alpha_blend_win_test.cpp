// Blending through device contexts: the DIB bits behind a DC are found in
// both orientations, and a DC without a 32-bit section draws nothing.

#include <gtest/gtest.h>

#include <optional>

#include "treeview/alpha_blend_win.h"

#include <commctrl.h>
#include "ui/gdi_win.h"

namespace kv {
namespace {

struct DibDc {
  DibDc(int w, int h, COLORREF fill) : dc(ui::CreateMemoryDc(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap = ui::BitmapObject(CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    selected.emplace(ui::SelectInto(dc.Get(), bitmap.Get()));
    const RECT all{0, 0, w, h < 0 ? -h : h};
    const ui::BrushObject brush = ui::MakeSolidBrush(fill);
    FillRect(dc.Get(), &all, brush.Get());
  }
  ui::MemoryDc dc;
  ui::BitmapObject bitmap;
  std::optional<ui::SelectedObject> selected;
};

TEST(AlphaBlendDc, BlendsThroughTheSelectedSections) {
  for (int height : {8, -8}) {
    DibDc source(8, height, RGB(200, 0, 0)), destination(10, -height, RGB(0, 0, 100));
    int width = 0, rows = 0;
    ASSERT_NE(GetBitmapBitsFromDeviceContext(destination.dc.Get(), width, rows), nullptr);
    EXPECT_EQ(width, 10);
    EXPECT_EQ(rows, -height);
    AlphaBlend(source.dc.Get(), destination.dc.Get(), RECT{2, 2, 12, 4}, POINT{0, 0},
               TBlendMode::bmConstantAlpha, 128, 0);
    EXPECT_EQ(GetPixel(destination.dc.Get(), 3, 3), RGB(100, 0, 50)) << height;
    EXPECT_EQ(GetPixel(destination.dc.Get(), 3, 4), RGB(0, 0, 100)) << height;
    AlphaBlend(nullptr, destination.dc.Get(), RECT{0, 0, 1, 1}, POINT{},
               TBlendMode::bmConstantAlphaAndColor, 255, RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(destination.dc.Get(), 0, 0), RGB(254, 0, 0)) << height;
  }
}

TEST(AlphaBlendDc, WithoutADibSectionNothingIsDrawn) {
  const ui::MemoryDc plain = ui::CreateMemoryDc(nullptr);
  int width = -1, height = -1;
  EXPECT_EQ(GetBitmapBitsFromDeviceContext(plain.Get(), width, height), nullptr);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(height, 0);
  DibDc destination(4, 4, RGB(1, 2, 3));
  AlphaBlend(plain.Get(), destination.dc.Get(), RECT{0, 0, 4, 4}, POINT{},
             TBlendMode::bmConstantAlpha, 255, 0);
  EXPECT_EQ(GetPixel(destination.dc.Get(), 1, 1), RGB(1, 2, 3));
}

TEST(AlphaBlendDc, RgbColorOfLibraryColours) {
  EXPECT_EQ(GetRGBColor(ui::clNone), CLR_NONE);
  EXPECT_EQ(GetRGBColor(clDefault), CLR_DEFAULT);
  EXPECT_EQ(GetRGBColor(ui::clHighlight), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(GetRGBColor(ui::clRed), RGB(255, 0, 0));
}

}  // namespace
}  // namespace kv
