#pragma once
// The window tests' usual bed: a borderless tree of class T at the top left
// of the form's client area (300 x 200 in 320 x 240 unless said otherwise).
#include <windows.h>

#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"

namespace kv::test {

template <class T>
T& PlaceTree(ui::TForm& form, SIZE size = {300, 200}, SIZE client = {320, 240}) {
  T& tree = form.Create<T>();
  tree.SetParent(&form);
  form.SetClientWidth(client.cx);
  form.SetClientHeight(client.cy);
  tree.SetBounds(0, 0, size.cx, size.cy);
  tree.SetBorderStyle(TTreeBorderStyle::bsNone);
  return tree;
}

}  // namespace kv::test
