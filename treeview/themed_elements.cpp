#include "treeview/themed_elements.h"

#include <initializer_list>

namespace kv {
namespace {

// Last value of each run; runs follow each other from value 2 on.
TThemedElementDetails Details(TThemedElement element, int value,
                              std::initializer_list<int> runEnds) {
  int first = 2, part = 1;
  for (const int last : runEnds) {
    if (value >= first && value <= last) return {element, part, value - first + 1};
    first = last + 1;
    ++part;
  }
  return {element, 0, value + 1};
}

}  // namespace

const wchar_t* ThemedElementClassName(TThemedElement element) {
  static constexpr const wchar_t* kNames[kThemedElementCount] = {
      L"button", L"clock",      L"combobox",   L"edit",      L"explorerbar", L"header",
      L"listview", L"menu",     L"page",       L"progress",  L"rebar",       L"scrollbar",
      L"spin",   L"startpanel", L"status",     L"tab",       L"taskband",    L"taskbar",
      L"toolbar", L"tooltip",   L"trackbar",   L"traynotify", L"treeview",   L"window"};
  return kNames[static_cast<int>(element)];
}

TThemedElementDetails GetElementDetails(TThemedButton value) {
  return Details(TThemedElement::teButton, static_cast<int>(value), {6, 14, 26, 28, 29});
}
TThemedElementDetails GetElementDetails(TThemedEdit value) {
  return Details(TThemedElement::teEdit, static_cast<int>(value), {8, 9});
}
TThemedElementDetails GetElementDetails(TThemedHeader value) {
  return Details(TThemedElement::teHeader, static_cast<int>(value), {4, 7, 10, 12});
}
TThemedElementDetails GetElementDetails(TThemedRebar value) {
  return Details(TThemedElement::teRebar, static_cast<int>(value), {2, 3, 9, 13, 17});
}
TThemedElementDetails GetElementDetails(TThemedStatus value) {
  return Details(TThemedElement::teStatus, static_cast<int>(value), {2, 3, 4});
}
TThemedElementDetails GetElementDetails(TThemedTab value) {
  return Details(TThemedElement::teTab, static_cast<int>(value),
                 {6, 11, 16, 21, 26, 31, 36, 41, 42, 43});
}
TThemedElementDetails GetElementDetails(TThemedToolBar value) {
  return Details(TThemedElement::teToolBar, static_cast<int>(value), {7, 13, 19, 25, 31, 37});
}
TThemedElementDetails GetElementDetails(TThemedTrackBar value) {
  return Details(TThemedElement::teTrackBar, static_cast<int>(value),
                 {2, 3, 8, 13, 18, 23, 28, 33, 34, 35});
}
TThemedElementDetails GetElementDetails(TThemedTreeview value) {
  return Details(TThemedElement::teTreeview, static_cast<int>(value), {6, 8, 9});
}

}  // namespace kv
