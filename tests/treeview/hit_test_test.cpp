// Cell positions of the hit test: indentation and button, check box, images,
// label and the free space beside it, read left to right and mirrored.

#include "treeview/hit_test.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

// A main-column cell of a second-level node: indent 36 (one step 18), margin
// 4, a 13-pixel check box, 16-pixel state and normal images, a 40-pixel label.
TCellHitLayout Cell(int alignment = 0) {
  TCellHitLayout c;
  c.Indent = 36;
  c.IndentStep = 18;
  c.HasButton = true;
  c.Margin = 4;
  c.CheckWidth = 13;
  c.StateWidth = 16;
  c.ImageWidth = 16;
  c.NodeWidth = 40;
  c.Alignment = alignment;
  return c;
}

TEST(CellHitPositions, PartsFromTheLeadingEdge) {
  // Check box from 36 (with the margin) to 54, state image to 72, normal image
  // to 90, text 91..130.
  struct Row { int offset; THitPositions expected; };
  const Row rows[] = {
      {0, {hpOnItem}},                        // left of the button's level
      {17, {hpOnItem}},
      {18, {hpOnItem, hpOnItemButton}},
      {35, {hpOnItem, hpOnItemButton}},
      {36, {hpOnItem, hpOnItemCheckbox}},     // the margin belongs to the box
      {54, {hpOnItem, hpOnItemCheckbox}},
      {55, {hpOnItem, hpOnStateIcon}},
      {72, {hpOnItem, hpOnStateIcon}},
      {73, {hpOnItem, hpOnNormalIcon}},       // 0x400 with hpOnItem
      {90, {hpOnItem, hpOnNormalIcon}},
      {91, {hpOnItem, hpOnItemLabel}},        // 0x80 with hpOnItem
      {130, {hpOnItem, hpOnItemLabel}},
      {131, {hpOnItem, hpOnItemRight}},
  };
  for (const Row& r : rows)
    EXPECT_EQ(CellHitPositionsLTR(Cell(), r.offset, 300).Bits(), r.expected.Bits()) << r.offset;
  EXPECT_EQ((THitPositions{hpOnItem, hpOnItemLabel}).Bits(), 0x88);
  EXPECT_EQ((THitPositions{hpOnItem, hpOnNormalIcon}).Bits(), 0x408);
}

TEST(CellHitPositions, ButtonAndCheckBoxOnlyWhenPresent) {
  TCellHitLayout c = Cell();
  c.HasButton = false;
  EXPECT_EQ(CellHitPositionsLTR(c, 20, 300), (THitPositions{hpOnItem}));
  c.CheckWidth = 0;
  c.StateWidth = 0;
  EXPECT_EQ(CellHitPositionsLTR(c, 40, 300), (THitPositions{hpOnItem, hpOnNormalIcon}));
  c.ContentOnly = true;  // another column in report mode: no parts at all
  EXPECT_EQ(CellHitPositionsLTR(c, 40, 300), (THitPositions{hpOnItem}));
}

TEST(CellHitPositions, SidesOfTheLabelOnlyWhenTheTextFits) {
  // Right-aligned text 260..300, centred (91 + 300 - 40) / 2 = 175..215.
  EXPECT_EQ(CellHitPositionsLTR(Cell(1), 259, 300), (THitPositions{hpOnItem, hpOnItemLeft}));
  EXPECT_EQ(CellHitPositionsLTR(Cell(1), 260, 300), (THitPositions{hpOnItem, hpOnItemLabel}));
  EXPECT_EQ(CellHitPositionsLTR(Cell(2), 174, 300), (THitPositions{hpOnItem, hpOnItemLeft}));
  EXPECT_EQ(CellHitPositionsLTR(Cell(2), 175, 300), (THitPositions{hpOnItem, hpOnItemLabel}));
  EXPECT_EQ(CellHitPositionsLTR(Cell(2), 215, 300), (THitPositions{hpOnItem, hpOnItemRight}));
  TCellHitLayout wide = Cell();
  wide.NodeWidth = 500;
  for (int alignment = 0; alignment < 3; ++alignment) {
    wide.Alignment = alignment;
    for (int offset : {95, 250, 299})
      EXPECT_EQ(CellHitPositionsLTR(wide, offset, 300), (THitPositions{hpOnItem, hpOnItemLabel}));
  }
}

TEST(CellHitPositions, MirroredReadingStartsAtTheRightEdge) {
  // The same cell 300 wide read right to left: pixel p of the parts before the
  // text is pixel 299 - p.
  for (int offset : {0, 18, 36, 55, 73, 90})
    EXPECT_EQ(CellHitPositionsRTL(Cell(), 299 - offset, 300), CellHitPositionsLTR(Cell(), offset, 300))
        << offset;
  // Left-aligned text in mirrored reading follows the images at 169..208, as
  // it is painted; right-aligned text sits at the far (left) edge, 0..39.
  EXPECT_EQ(CellHitPositionsRTL(Cell(1), 39, 300), (THitPositions{hpOnItem, hpOnItemLabel}));
  EXPECT_EQ(CellHitPositionsRTL(Cell(1), 40, 300), (THitPositions{hpOnItem, hpOnItemRight}));
  EXPECT_EQ(CellHitPositionsRTL(Cell(0), 168, 300), (THitPositions{hpOnItem, hpOnItemLeft}));
  EXPECT_EQ(CellHitPositionsRTL(Cell(0), 169, 300), (THitPositions{hpOnItem, hpOnItemLabel}));
}

}  // namespace
}  // namespace kv
