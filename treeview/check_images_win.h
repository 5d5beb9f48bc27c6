#pragma once
// The check image lists shared by every tree: the drawn strips ("LT_CHECK_LIGHT"
// ... "LT_XP"), the system's own drawings (plain and flat) and the auxiliary
// push button pictures. Made on first need, under one lock.

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "treeview/check_types.h"

namespace kv {

// The list a kind selects; ckCustom and unknown kinds give `custom`.
HIMAGELIST CheckImagesFor(TCheckImageKind kind, HIMAGELIST custom);
// Makes every shared list now (a missing strip is an ELazyTreeAssertion).
void MakeCheckImages();
// "LT_UTILITIES".
HIMAGELIST UtilityImages();
// Fills `list` with the 16x16 cells of the vertical strip resource `name`;
// the top-left pixel is the transparent colour. With `mapColors` white,
// C0C0C0, 808080 and black become the window, button face, button shadow and
// button text colours. A missing resource is an ELazyTreeAssertion.
void ConvertImageList(HIMAGELIST list, const std::string& name, bool mapColors);
// Converts the colour-mapped lists again (after a system colour change).
void RecolorCheckImages();

}  // namespace kv
