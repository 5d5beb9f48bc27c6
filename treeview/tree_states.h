#pragma once
// The transient states of a tree (a set of up to 64) and the option sets.

#include <cstdint>
#include <initializer_list>

namespace kv {

enum TLazyTreeState : std::uint8_t {
  tsCancelHintAnimation = 0, tsChangePending = 1, tsCheckPropagation = 2, tsCollapsing = 3,
  tsToggleFocusPending = 4,
  tsClearPending = 5, tsCopyPending = 7, tsCutPending = 8, tsDrawSelPending = 9,
  tsDrawSelecting = 10, tsEditing = 11, tsEditPending = 12, tsExpanding = 13, tsHintShowing = 14,
  tsInAnimation = 15, tsSearching = 16, tsSearchPending = 17, tsOLEDragging = 18, tsKeyCheckPending = 19,
  tsLeftButtonDown = 20, tsMouseCheckPending = 21, tsMiddleButtonDown = 22, tsNeedScale = 23,
  tsRootCountDue = 24, tsClipboardFlushing = 25, tsDragPending = 26, tsPainting = 27,
  tsRightButtonDown = 28, tsPopupShown = 29, tsScrolling = 30, tsScrollPending = 31, tsSizing = 32,
  tsStopValidation = 33, tsStructureChangePending = 34, tsImmediateEvents = 35,
  tsThumbTracking = 36, tsHiddenChildrenDue = 37, tsUpdating = 38, tsUseCache = 39,
  tsUseThemes = 41, tsValidating = 42, tsValidationNeeded = 43, tsControlDragPending = 44,
  tsControlDragging = 45,
  tsPanningHeld = 46, tsPanningSticky = 47, tsWindowCreating = 48,
};

class TLazyTreeStates {
 public:
  constexpr TLazyTreeStates() = default;
  constexpr TLazyTreeStates(std::initializer_list<TLazyTreeState> states) {
    for (auto s : states) bits_ |= Bit(s);
  }
  static constexpr TLazyTreeStates FromBits(std::uint64_t bits) {
    TLazyTreeStates r;
    r.bits_ = bits;
    return r;
  }
  constexpr bool Contains(TLazyTreeState s) const { return (bits_ & Bit(s)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint64_t Bits() const { return bits_; }
  constexpr TLazyTreeStates operator+(TLazyTreeStates o) const { return FromBits(bits_ | o.bits_); }
  constexpr TLazyTreeStates operator-(TLazyTreeStates o) const { return FromBits(bits_ & ~o.bits_); }
  constexpr TLazyTreeStates operator*(TLazyTreeStates o) const { return FromBits(bits_ & o.bits_); }
  constexpr bool operator==(const TLazyTreeStates&) const = default;

 private:
  static constexpr std::uint64_t Bit(TLazyTreeState s) { return std::uint64_t{1} << s; }
  std::uint64_t bits_ = 0;
};

// Option sets: one bit per element.
enum TLTPaintOption : std::uint32_t {
  toHideFocusRect = 1u << 0, toHideSelection = 1u << 1, toHotTrack = 1u << 2, toPopupMode = 1u << 3,
  toShowBackground = 1u << 4, toShowButtons = 1u << 5, toShowDropmark = 1u << 6,
  toShowHorzGridLines = 1u << 7, toShowRoot = 1u << 8, toShowTreeLines = 1u << 9,
  toShowVertGridLines = 1u << 10, toThemeAware = 1u << 11, toUseBlendedImages = 1u << 12,
  toGhostedIfUnfocused = 1u << 13, toFullVertGridLines = 1u << 14, toAlwaysHideSelection = 1u << 15,
  toUseBlendedSelection = 1u << 16,
};
enum TLTAnimationOption : std::uint32_t { toAnimatedToggle = 1u << 0 };
enum TLTAutoOption : std::uint32_t {
  toAutoDropExpand = 1u << 0, toAutoExpand = 1u << 1, toAutoScroll = 1u << 2,
  toAutoScrollOnExpand = 1u << 3, toAutoSort = 1u << 4, toAutoSpanColumns = 1u << 5,
  toAutoTristateTracking = 1u << 6, toAutoHideButtons = 1u << 7, toAutoDeleteMovedNodes = 1u << 8,
  toDisableAutoscrollOnFocus = 1u << 9, toAutoChangeScale = 1u << 10, toAutoFreeOnCollapse = 1u << 11,
};
enum TLTSelectionOption : std::uint32_t {
  toDisableDrawSelection = 1u << 0, toExtendedFocus = 1u << 1, toFullRowSelect = 1u << 2,
  toLevelSelectConstraint = 1u << 3, toMiddleClickSelect = 1u << 4, toMultiSelect = 1u << 5,
  toRightClickSelect = 1u << 6, toSiblingSelectConstraint = 1u << 7,
  toCenterScrollIntoView = 1u << 8, toSimpleDrawSelection = 1u << 9,
};
enum TLTMiscOption : std::uint32_t {
  toAcceptOLEDrop = 1u << 0, toCheckSupport = 1u << 1, toEditable = 1u << 2,
  toFullRepaintOnResize = 1u << 3, toGridExtensions = 1u << 4, toInitOnSave = 1u << 5,
  toReportMode = 1u << 6, toToggleOnDblClick = 1u << 7, toWheelPanning = 1u << 8,
  toReadOnly = 1u << 9, toVariableNodeHeight = 1u << 10, toFullRowDrag = 1u << 11,
};
enum TLTStringOption : std::uint32_t {
  toSaveCaptions = 1u << 0, toShowStaticText = 1u << 1, toAutoAcceptEditChange = 1u << 2,
};

inline constexpr std::uint32_t kDefaultPaintOptions = 7008;
inline constexpr std::uint32_t kDefaultAutoOptions = 329;
inline constexpr std::uint32_t kDefaultMiscOptions = 425;
inline constexpr std::uint32_t kDefaultStringOptions = 5;
static_assert(kDefaultPaintOptions == (toShowButtons | toShowDropmark | toShowRoot | toShowTreeLines |
                                       toThemeAware | toUseBlendedImages));
static_assert(kDefaultAutoOptions == (toAutoDropExpand | toAutoScrollOnExpand |
                                      toAutoTristateTracking | toAutoDeleteMovedNodes));
static_assert(kDefaultMiscOptions == (toAcceptOLEDrop | toFullRepaintOnResize | toInitOnSave |
                                      toToggleOnDblClick | toWheelPanning));
static_assert(kDefaultStringOptions == (toSaveCaptions | toAutoAcceptEditChange));

enum class TLTOptionSet : std::uint8_t { Paint, Animation, Auto, Selection, Misc, String };

}  // namespace kv
