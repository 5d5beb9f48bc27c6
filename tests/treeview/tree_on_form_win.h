#pragma once
// The window tests' usual bed: a borderless tree of class T at the top left
// of a 320 x 240 client area, 300 pixels wide.
#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"

namespace kv::test {

template <class T>
T& PlaceTree(ui::TForm& form, int height = 200) {
  T& tree = form.Create<T>();
  tree.SetParent(&form);
  form.SetClientWidth(320);
  form.SetClientHeight(240);
  tree.SetBounds(0, 0, 300, height);
  tree.SetBorderStyle(TTreeBorderStyle::bsNone);
  return tree;
}

}  // namespace kv::test
