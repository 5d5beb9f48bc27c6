// Element values to (class, part, state) for every class at every run boundary.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "treeview/themed_elements.h"

namespace kv {
namespace {

template <class E>
std::function<TThemedElementDetails(int)> Of() {
  return [](int v) { return GetElementDetails(static_cast<E>(v)); };
}

TEST(ThemedElements, EveryRunBoundaryOfEveryClass) {
  struct Class {
    const char* name;
    TThemedElement element;
    std::function<TThemedElementDetails(int)> details;
    std::vector<std::pair<int, int>> runs;  // part n: runs[n - 1] = first..last
  };
  using E = TThemedElement;
  const Class classes[] = {
      {"button", E::teButton, Of<TThemedButton>(), {{2, 6}, {7, 14}, {15, 26}, {27, 28}, {29, 29}}},
      {"edit", E::teEdit, Of<TThemedEdit>(), {{2, 8}, {9, 9}}},
      {"header", E::teHeader, Of<TThemedHeader>(), {{2, 4}, {5, 7}, {8, 10}, {11, 12}}},
      {"rebar", E::teRebar, Of<TThemedRebar>(), {{2, 2}, {3, 3}, {4, 9}, {10, 13}, {14, 17}}},
      {"status", E::teStatus, Of<TThemedStatus>(), {{2, 2}, {3, 3}, {4, 4}}},
      {"tab", E::teTab, Of<TThemedTab>(),
       {{2, 6}, {7, 11}, {12, 16}, {17, 21}, {22, 26}, {27, 31}, {32, 36}, {37, 41}, {42, 42},
        {43, 43}}},
      {"toolbar", E::teToolBar, Of<TThemedToolBar>(),
       {{2, 7}, {8, 13}, {14, 19}, {20, 25}, {26, 31}, {32, 37}}},
      {"trackbar", E::teTrackBar, Of<TThemedTrackBar>(),
       {{2, 2}, {3, 3}, {4, 8}, {9, 13}, {14, 18}, {19, 23}, {24, 28}, {29, 33}, {34, 34},
        {35, 35}}},
      {"treeview", E::teTreeview, Of<TThemedTreeview>(), {{2, 6}, {7, 8}, {9, 9}}},
  };
  for (const Class& c : classes) {
    EXPECT_EQ(std::wstring(ThemedElementClassName(c.element)),
              std::wstring(c.name, c.name + std::char_traits<char>::length(c.name)));
    for (int part = 1; part <= static_cast<int>(c.runs.size()); ++part) {
      const auto [first, last] = c.runs[part - 1];
      EXPECT_EQ(c.details(first), (TThemedElementDetails{c.element, part, 1}))
          << c.name << " " << first;
      EXPECT_EQ(c.details(last), (TThemedElementDetails{c.element, part, last - first + 1}))
          << c.name << " " << last;
    }
    // Don't care, root and the value after the last run lie outside every run.
    const int past = c.runs.back().second + 1;
    for (int outside : {0, 1, past})
      EXPECT_EQ(c.details(outside), (TThemedElementDetails{c.element, 0, outside + 1}))
          << c.name << " " << outside;
  }
}

TEST(ThemedElements, ValuesOtherCodeRelies) {
  EXPECT_EQ(GetElementDetails(TThemedTreeview::ttGlyphOpened),
            (TThemedElementDetails{TThemedElement::teTreeview, 2, 2}));
  EXPECT_EQ(GetElementDetails(TThemedTreeview::ttGlyphClosed),
            (TThemedElementDetails{TThemedElement::teTreeview, 2, 1}));
  EXPECT_EQ(GetElementDetails(TThemedEdit::teEditTextNormal),
            (TThemedElementDetails{TThemedElement::teEdit, 1, 1}));
  EXPECT_EQ(GetElementDetails(TThemedButton::tbCheckBoxMixedDisabled),
            (TThemedElementDetails{TThemedElement::teButton, 3, 12}));
  EXPECT_EQ(GetElementDetails(TThemedButton::tbGroupBoxDisabled),
            (TThemedElementDetails{TThemedElement::teButton, 4, 2}));
  EXPECT_EQ(std::wstring(ThemedElementClassName(TThemedElement::teWindow)), L"window");
  EXPECT_EQ(std::wstring(ThemedElementClassName(TThemedElement::teClock)), L"clock");
}

}  // namespace
}  // namespace kv
