#pragma once
// Check controls of tree nodes: their types and states, the image kinds, and
// the fixed tables between them. Window-free.

#include <cstdint>

namespace kv {

enum TCheckType : std::uint8_t {
  ctNone = 0, ctTriStateCheckBox = 1, ctCheckBox = 2, ctRadioButton = 3, ctButton = 4
};

enum TCheckState : std::uint8_t {
  csUncheckedNormal = 0, csUncheckedPressed = 1, csCheckedNormal = 2, csCheckedPressed = 3,
  csMixedNormal = 4, csMixedPressed = 5
};

enum TCheckImageKind : std::uint8_t {
  ckLightCheck = 0, ckDarkCheck = 1, ckLightTick = 2, ckDarkTick = 3, ckFlat = 4, ckXP = 5,
  ckCustom = 6, ckSystem = 7, ckSystemFlat = 8
};

// The pressed and the normal look of a state (out-of-range states map to the
// unchecked looks).
constexpr TCheckState PressedCheckState(std::uint8_t state) {
  constexpr TCheckState kPressed[] = {csUncheckedPressed, csUncheckedPressed, csCheckedPressed,
                                      csCheckedPressed,   csMixedPressed,     csMixedPressed};
  return state < 6 ? kPressed[state] : csUncheckedPressed;
}
constexpr TCheckState NormalCheckState(std::uint8_t state) {
  constexpr TCheckState kNormal[] = {csUncheckedNormal, csUncheckedNormal, csCheckedNormal,
                                     csCheckedNormal,   csMixedNormal,     csMixedNormal};
  return state < 6 ? kNormal[state] : csUncheckedNormal;
}
constexpr bool IsCheckedState(std::uint8_t s) { return s == csCheckedNormal || s == csCheckedPressed; }
constexpr bool IsMixedState(std::uint8_t s) { return s == csMixedNormal || s == csMixedPressed; }
constexpr bool IsPressedState(std::uint8_t s) { return s == csUncheckedPressed || s == csCheckedPressed || s == csMixedPressed; }
// Check boxes take part in tri-state tracking; radio buttons and buttons do not.
constexpr bool TracksCheckState(std::uint8_t type) { return type == ctTriStateCheckBox || type == ctCheckBox; }

// Positions in a check image list (16x16 cells; index 0 unused). Each group
// holds four looks: normal, hot, pressed, disabled.
inline constexpr int kRadioUncheckedImage = 1, kRadioCheckedImage = 5, kBoxUncheckedImage = 9,
                     kBoxCheckedImage = 13, kBoxMixedImage = 17, kButtonImage = 21;
inline constexpr int kCheckImageCount = 25;

enum class TCheckLook : std::uint8_t { Normal = 0, Hot = 1, Pressed = 2, Disabled = 3 };

// The image of a check control in a check image list; -1 for ctNone.
constexpr int CheckImageIndex(std::uint8_t type, std::uint8_t state, TCheckLook look) {
  if (type == ctNone) return -1;
  int group;
  if (IsMixedState(state)) {
    group = kBoxMixedImage;
  } else {
    const bool checked = IsCheckedState(state);
    switch (type) {
      case ctRadioButton: group = checked ? kRadioCheckedImage : kRadioUncheckedImage; break;
      case ctButton: group = kButtonImage; break;
      default: group = checked ? kBoxCheckedImage : kBoxUncheckedImage; break;
    }
  }
  return group + static_cast<int>(look);
}

}  // namespace kv
