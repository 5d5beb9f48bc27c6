// Element values of the visual-style classes the program draws, and their
// translation into the (class, part, state) triple the style library wants.
// Values 0 and 1 of each class are "don't care" and "root"; then every part
// is a run of consecutive values, one per state.
#pragma once

#include <cstdint>

namespace kv {

// The style library's classes, in the order of their handles.
enum class TThemedElement : std::uint8_t {
  teButton, teClock, teComboBox, teEdit, teExplorerBar, teHeader, teListView, teMenu, tePage,
  teProgress, teRebar, teScrollBar, teSpin, teStartPanel, teStatus, teTab, teTaskBand,
  teTaskBar, teToolBar, teToolTip, teTrackBar, teTrayNotify, teTreeview, teWindow,
};
constexpr int kThemedElementCount = 24;
// The class name the library opens, e.g. L"button".
const wchar_t* ThemedElementClassName(TThemedElement element);

struct TThemedElementDetails {
  TThemedElement element = TThemedElement::teButton;
  std::int32_t part = 0;
  std::int32_t state = 0;
  bool operator==(const TThemedElementDetails&) const = default;
};

// One enumeration per class; the named values are the ones the program uses,
// any other value of a run may be cast.
enum class TThemedButton : int {
  tbButtonDontCare = 0, tbButtonRoot = 1,
  tbPushButtonNormal = 2, tbPushButtonHot = 3, tbPushButtonPressed = 4,
  tbPushButtonDisabled = 5, tbPushButtonDefaulted = 6,
  tbCheckBoxUncheckedNormal = 15, tbCheckBoxUncheckedDisabled = 18,
  tbCheckBoxCheckedNormal = 19, tbCheckBoxCheckedDisabled = 22,
  tbCheckBoxMixedNormal = 23, tbCheckBoxMixedDisabled = 26,
  tbGroupBoxNormal = 27, tbGroupBoxDisabled = 28, tbUserButton = 29,
};
enum class TThemedEdit : int { teEditDontCare = 0, teEditRoot = 1, teEditTextNormal = 2 };
enum class TThemedHeader : int { thHeaderDontCare = 0, thHeaderRoot = 1, thHeaderItemNormal = 2 };
enum class TThemedRebar : int { trRebarDontCare = 0, trRebarRoot = 1, trBand = 14 };
enum class TThemedStatus : int { tsStatusDontCare = 0, tsStatusRoot = 1 };
enum class TThemedTab : int { ttTabDontCare = 0, ttTabRoot = 1, ttBody = 42 };
enum class TThemedToolBar : int {
  ttbToolBarDontCare = 0, ttbToolBarRoot = 1, ttbButtonNormal = 2, ttbButtonHot = 3,
  ttbButtonPressed = 4, ttbButtonDisabled = 5,
};
enum class TThemedTrackBar : int { ttbTrackBarDontCare = 0, ttbTrackBarRoot = 1 };
enum class TThemedTreeview : int {
  ttTreeviewDontCare = 0, ttTreeviewRoot = 1, ttItemNormal = 2, ttGlyphClosed = 7,
  ttGlyphOpened = 8, ttBranch = 9,
};

// Part := number of the run holding the value, state := offset in it + 1;
// a value outside every run gives part 0 and state value + 1.
TThemedElementDetails GetElementDetails(TThemedButton value);
TThemedElementDetails GetElementDetails(TThemedEdit value);
TThemedElementDetails GetElementDetails(TThemedHeader value);
TThemedElementDetails GetElementDetails(TThemedRebar value);
TThemedElementDetails GetElementDetails(TThemedStatus value);
TThemedElementDetails GetElementDetails(TThemedTab value);
TThemedElementDetails GetElementDetails(TThemedToolBar value);
TThemedElementDetails GetElementDetails(TThemedTrackBar value);
TThemedElementDetails GetElementDetails(TThemedTreeview value);

}  // namespace kv
