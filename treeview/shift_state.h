#pragma once
// Modifier keys and the double click, as mouse handling and header events report them.

namespace kv {

using TShiftState = unsigned;
inline constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssDouble = 8;

}  // namespace kv
