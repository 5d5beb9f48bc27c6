// The trees in the layout class registry, with their published properties.

#include <windows.h>

#include <algorithm>
#include <memory>

#include "base/ansi_text_win.h"
#include "treeview/lazy_trees_win.h"
#include "ui/layout_loader_win.h"

namespace kv {

void RegisterHeaderProperties(ui::TClassInfo& c);  // header_properties_win.cpp

namespace {

using ui::TLayoutContext;
using ui::TLayoutValue;

TBevelCut Cut(const TLayoutValue& v, const TLayoutContext& ctx) {
  return static_cast<TBevelCut>(ctx.Enum(v, {{"bvNone", 0}, {"bvLowered", 1}, {"bvRaised", 2}, {"bvSpace", 3}}));
}

template <class F>
void Prop(ui::TClassInfo& info, const char* name, F setter) {
  ui::AddProperty<TBaseLazyTree>(info, name, setter);
}

std::uint32_t OptionSet(const TLayoutValue& v, const TLayoutContext& ctx,
                        std::initializer_list<const char*> names) {
  std::vector<std::pair<const char*, int>> bits;
  int bit = 1;
  for (const char* n : names) {
    bits.emplace_back(n, bit);
    bit <<= 1;
  }
  std::uint32_t set = 0;
  if (v.kind != TLayoutValue::Kind::Set) ctx.Fail("expected a set [...]");
  for (const TLayoutValue& item : v.items) {
    auto it = std::find_if(bits.begin(), bits.end(), [&](auto& b) { return item.text == b.first; });
    if (it == bits.end()) ctx.Fail("unknown option \"" + item.text + "\"");
    set |= static_cast<std::uint32_t>(it->second);
  }
  return set;
}

void RegisterBase(ui::TClassRegistry& r) {
  ui::TClassInfo& c = r.Register("TBaseLazyTree", "TControl", nullptr);
  using T = TBaseLazyTree;
  Prop(c, "AnimationDuration", [](T& t, auto& v, auto& ctx) { t.SetAnimationDuration(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "AutoExpandDelay", [](T& t, auto& v, auto& ctx) { t.SetAutoExpandDelay(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "AutoScrollDelay", [](T& t, auto& v, auto& ctx) { t.SetAutoScrollDelay(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "AutoScrollInterval",
       [](T& t, auto& v, auto& ctx) { t.SetAutoScrollInterval(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "BorderStyle", [](T& t, auto& v, auto& ctx) {
    t.SetBorderStyle(static_cast<TTreeBorderStyle>(ctx.Enum(v, {{"bsNone", 0}, {"bsSingle", 1}})));
  });
  Prop(c, "BevelKind", [](T& t, auto& v, auto& ctx) {
    const int kind = ctx.Enum(v, {{"bkNone", 0}, {"bkTile", 1}, {"bkSoft", 2}, {"bkFlat", 3}});
    t.SetBevels(static_cast<TBevelKind>(kind), t.BevelInner(), t.BevelOuter(), t.BevelWidth());
  });
  Prop(c, "BevelInner", [](T& t, auto& v, auto& ctx) {
    t.SetBevels(t.BevelKind(), Cut(v, ctx), t.BevelOuter(), t.BevelWidth());
  });
  Prop(c, "BevelOuter", [](T& t, auto& v, auto& ctx) {
    t.SetBevels(t.BevelKind(), t.BevelInner(), Cut(v, ctx), t.BevelWidth());
  });
  Prop(c, "BevelWidth", [](T& t, auto& v, auto& ctx) {
    const std::int64_t n = ctx.Integer(v);
    if (n < 1 || n > 255) ctx.Fail("expected a number from 1 to 255");
    t.SetBevels(t.BevelKind(), t.BevelInner(), t.BevelOuter(), static_cast<int>(n));
  });
  Prop(c, "BorderWidth", [](T& t, auto& v, auto& ctx) {
    const std::int64_t n = ctx.Integer(v);
    if (n < 0 || n > 255) ctx.Fail("expected a number from 0 to 255");
    t.SetBorderWidth(static_cast<int>(n));
  });
  // A bitmap resource of the program, kept by the tree.
  Prop(c, "Background", [](T& t, auto& v, auto& ctx) { t.SetBackground(ui::LayoutBitmap(v, ctx)); });
  Prop(c, "BackgroundOffsetX", [](T& t, auto& v, auto& ctx) {
    t.SetBackgroundOffset(ui::LayoutSigned(v, ctx), t.BackgroundOffset().y);
  });
  Prop(c, "BackgroundOffsetY", [](T& t, auto& v, auto& ctx) {
    t.SetBackgroundOffset(t.BackgroundOffset().x, ui::LayoutSigned(v, ctx));
  });
  // ClipboardFormats = ("Plain text", "CSV"): names the tree's class offers.
  Prop(c, "ClipboardFormats", [](T& t, auto& v, auto& ctx) {
    const std::vector<std::string> names = ctx.Strings(v);
    t.ClipboardFormats().Clear();
    for (const std::string& name : names)
      if (t.ClipboardFormats().Add(name) < 0)
        ctx.Fail("clipboard format \"" + name + "\" is not offered by " + t.ClassName());
  });
  Prop(c, "CustomCheckImages", [](T& t, const TLayoutValue& v, TLayoutContext& ctx) {
    ctx.Reference<ui::TImageList>(v, [&t](ui::TImageList* list) { t.SetCustomCheckImages(list); });
  });
  Prop(c, "Images", [](T& t, const TLayoutValue& v, TLayoutContext& ctx) {
    ctx.Reference<ui::TImageList>(v, [&t](ui::TImageList* list) { t.SetImages(list); });
  });
  Prop(c, "StateImages", [](T& t, const TLayoutValue& v, TLayoutContext& ctx) {
    ctx.Reference<ui::TImageList>(v, [&t](ui::TImageList* list) { t.SetStateImages(list); });
  });
  Prop(c, "DefaultPasteMode", [](T& t, auto& v, auto& ctx) {
    t.SetDefaultPasteMode(static_cast<TLTNodeAttachMode>(
        ctx.Enum(v, {{"amNoWhere", 0}, {"amInsertBefore", 1}, {"amInsertAfter", 2}, {"amAddChildFirst", 3},
                     {"amAddChildLast", 4}})));
  });
  Prop(c, "DragHeight", [](T& t, auto& v, auto& ctx) { t.SetDragHeight(ui::LayoutSigned(v, ctx)); });
  Prop(c, "DragWidth", [](T& t, auto& v, auto& ctx) { t.SetDragWidth(ui::LayoutSigned(v, ctx)); });
  Prop(c, "DragImageKind", [](T& t, auto& v, auto& ctx) {
    t.SetDragImageKind(static_cast<TLTDragImageKind>(
        ctx.Enum(v, {{"diComplete", 0}, {"diMainColumnOnly", 1}, {"diNoImage", 2}})));
  });
  Prop(c, "DragOperations", [](T& t, auto& v, auto& ctx) {
    t.SetDragOperations(
        static_cast<std::uint8_t>(ctx.Set(v, {{"doCopy", doCopy}, {"doMove", doMove}, {"doLink", doLink}})));
  });
  Prop(c, "DrawSelectionMode", [](T& t, auto& v, auto& ctx) {
    t.SetDrawSelectionMode(static_cast<TLTDrawSelectionMode>(
        ctx.Enum(v, {{"smDottedRectangle", 0}, {"smBlendedRectangle", 1}})));
  });
  Prop(c, "HintAnimation", [](T& t, auto& v, auto& ctx) {
    t.SetHintAnimation(static_cast<THintAnimationType>(
        ctx.Enum(v, {{"hatNone", 0}, {"hatFade", 1}, {"hatSlide", 2}, {"hatSystemDefault", 3}})));
  });
  Prop(c, "HotCursor", [](T& t, auto& v, auto& ctx) { t.SetHotCursor(ui::LayoutCursor(v, ctx)); });
  Prop(c, "IncrementalSearch", [](T& t, auto& v, auto& ctx) {
    t.SetIncrementalSearch(static_cast<TLTIncrementalSearch>(
        ctx.Enum(v, {{"isAll", 0}, {"isNone", 1}, {"isInitializedOnly", 2}, {"isVisibleOnly", 3}})));
  });
  Prop(c, "IncrementalSearchDirection", [](T& t, auto& v, auto& ctx) {
    t.SetIncrementalSearchDirection(
        static_cast<TLTSearchDirection>(ctx.Enum(v, {{"sdForward", 0}, {"sdBackward", 1}})));
  });
  Prop(c, "IncrementalSearchStart", [](T& t, auto& v, auto& ctx) {
    t.SetIncrementalSearchStart(static_cast<TLTSearchStart>(
        ctx.Enum(v, {{"ssAlwaysStartOver", 0}, {"ssLastHit", 1}, {"ssFocusedNode", 2}})));
  });
  Prop(c, "IncrementalSearchTimeout",
       [](T& t, auto& v, auto& ctx) { t.SetIncrementalSearchTimeout(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "ButtonFillMode", [](T& t, auto& v, auto& ctx) {
    t.SetButtonFillMode(static_cast<TLTButtonFillMode>(ctx.Enum(
        v, {{"fmTreeColor", 0}, {"fmWindowColor", 1}, {"fmShaded", 2}, {"fmTransparent", 3}})));
  });
  Prop(c, "ButtonStyle", [](T& t, auto& v, auto& ctx) {
    t.SetButtonStyle(static_cast<TLTButtonStyle>(ctx.Enum(v, {{"bsRectangle", 0}, {"bsTriangle", 1}})));
  });
  Prop(c, "CheckImageKind", [](T& t, auto& v, auto& ctx) {
    t.SetCheckImageKind(static_cast<TCheckImageKind>(ctx.Enum(
        v, {{"ckLightCheck", ckLightCheck}, {"ckDarkCheck", ckDarkCheck}, {"ckLightTick", ckLightTick},
            {"ckDarkTick", ckDarkTick}, {"ckFlat", ckFlat}, {"ckXP", ckXP}, {"ckCustom", ckCustom},
            {"ckSystem", ckSystem}, {"ckSystemFlat", ckSystemFlat}})));
  });
  Prop(c, "DragType", [](T& t, auto& v, auto& ctx) {
    t.SetDragType(static_cast<TLTDragType>(ctx.Enum(v, {{"dtOLE", 0}, {"dtNative", 1}})));
  });
  Prop(c, "EditDelay", [](T& t, auto& v, auto& ctx) { t.SetEditDelay(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "HintMode", [](T& t, auto& v, auto& ctx) {
    t.SetHintMode(static_cast<TLTHintMode>(
        ctx.Enum(v, {{"hmDefault", 0}, {"hmHint", 1}, {"hmHintAndDefault", 2}, {"hmTooltip", 3}})));
  });
  Prop(c, "LineMode", [](T& t, auto& v, auto& ctx) {
    t.SetLineMode(static_cast<TLTLineMode>(ctx.Enum(v, {{"lmNormal", 0}, {"lmBands", 1}})));
  });
  Prop(c, "LineStyle", [](T& t, auto& v, auto& ctx) {
    t.SetLineStyle(
        static_cast<TLTLineStyle>(ctx.Enum(v, {{"lsCustomStyle", 0}, {"lsDotted", 1}, {"lsSolid", 2}})));
  });
  Prop(c, "NodeAlignment", [](T& t, auto& v, auto& ctx) {
    t.SetNodeAlignment(static_cast<TLTNodeAlignment>(
        ctx.Enum(v, {{"naFromBottom", 0}, {"naFromTop", 1}, {"naProportional", 2}})));
  });
  Prop(c, "ChangeDelay", [](T& t, auto& v, auto& ctx) { t.SetChangeDelay(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "DefaultNodeHeight", [](T& t, auto& v, auto& ctx) { t.SetDefaultNodeHeight(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "Indent", [](T& t, auto& v, auto& ctx) { t.SetIndentAndRepaint(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "Margin", [](T& t, auto& v, auto& ctx) { t.SetMarginAndRepaint(static_cast<int>(ctx.Integer(v))); });
  Prop(c, "TextMargin", [](T& t, auto& v, auto& ctx) { t.SetTextMargin(static_cast<int>(ctx.Integer(v))); });
  Prop(c, "NodeDataSize", [](T& t, auto& v, auto& ctx) { t.SetNodeDataSize(static_cast<int>(ctx.Integer(v))); });
  Prop(c, "RootNodeCount", [](T& t, auto& v, auto& ctx) { t.SetRootNodeCountLoading(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "SelectionBlendFactor", [](T& t, auto& v, auto& ctx) {
    const unsigned n = ui::LayoutUnsigned(v, ctx);
    if (n > 255) ctx.Fail("expected a number from 0 to 255");
    t.SetSelectionBlendFactor(static_cast<std::uint8_t>(n));
  });
  Prop(c, "SelectionCurveRadius",
       [](T& t, auto& v, auto& ctx) { t.SetSelectionCurveRadius(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "WantTabs", [](T& t, auto& v, auto& ctx) { t.SetWantTabs(ctx.Boolean(v)); });
  Prop(c, "TreeOptions.PaintOptions", [](T& t, auto& v, auto& ctx) {
    t.TreeOptions().SetPaintOptions(OptionSet(
        v, ctx, {"toHideFocusRect", "toHideSelection", "toHotTrack", "toPopupMode", "toShowBackground",
                 "toShowButtons", "toShowDropmark", "toShowHorzGridLines", "toShowRoot",
                 "toShowTreeLines", "toShowVertGridLines", "toThemeAware", "toUseBlendedImages",
                 "toGhostedIfUnfocused", "toFullVertGridLines", "toAlwaysHideSelection",
                 "toUseBlendedSelection"}));
  });
  Prop(c, "TreeOptions.AnimationOptions", [](T& t, auto& v, auto& ctx) {
    t.TreeOptions().SetAnimationOptions(OptionSet(v, ctx, {"toAnimatedToggle"}));
  });
  Prop(c, "TreeOptions.AutoOptions", [](T& t, auto& v, auto& ctx) {
    t.TreeOptions().SetAutoOptions(OptionSet(
        v, ctx, {"toAutoDropExpand", "toAutoExpand", "toAutoScroll", "toAutoScrollOnExpand",
                 "toAutoSort", "toAutoSpanColumns", "toAutoTristateTracking", "toAutoHideButtons",
                 "toAutoDeleteMovedNodes", "toDisableAutoscrollOnFocus", "toAutoChangeScale",
                 "toAutoFreeOnCollapse"}));
  });
  Prop(c, "TreeOptions.SelectionOptions", [](T& t, auto& v, auto& ctx) {
    t.TreeOptions().SetSelectionOptions(OptionSet(
        v, ctx, {"toDisableDrawSelection", "toExtendedFocus", "toFullRowSelect",
                 "toLevelSelectConstraint", "toMiddleClickSelect", "toMultiSelect",
                 "toRightClickSelect", "toSiblingSelectConstraint", "toCenterScrollIntoView",
                 "toSimpleDrawSelection"}));
  });
  Prop(c, "TreeOptions.MiscOptions", [](T& t, auto& v, auto& ctx) {
    t.TreeOptions().SetMiscOptions(OptionSet(
        v, ctx, {"toAcceptOLEDrop", "toCheckSupport", "toEditable", "toFullRepaintOnResize",
                 "toGridExtensions", "toInitOnSave", "toReportMode", "toToggleOnDblClick",
                 "toWheelPanning", "toReadOnly", "toVariableNodeHeight", "toFullRowDrag"}));
  });
  Prop(c, "ScrollBarOptions.AlwaysVisible",
       [](T& t, auto& v, auto& ctx) { t.ScrollBarOptions().SetAlwaysVisible(ctx.Boolean(v)); });
  Prop(c, "ScrollBarOptions.HorizontalIncrement",
       [](T& t, auto& v, auto& ctx) { t.ScrollBarOptions().SetHorizontalIncrement(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "ScrollBarOptions.VerticalIncrement",
       [](T& t, auto& v, auto& ctx) { t.ScrollBarOptions().SetVerticalIncrement(ui::LayoutUnsigned(v, ctx)); });
  Prop(c, "ScrollBarOptions.ScrollBars", [](T& t, auto& v, auto& ctx) {
    t.ScrollBarOptions().SetScrollBars(static_cast<TScrollStyle>(ctx.Enum(
        v, {{"ssNone", 0}, {"ssHorizontal", 1}, {"ssVertical", 2}, {"ssBoth", 3}})));
  });
  Prop(c, "ScrollBarOptions.ScrollBarStyle", [](T& t, auto& v, auto& ctx) {
    t.ScrollBarOptions().SetScrollBarStyle(
        static_cast<TScrollBarStyle>(ctx.Enum(v, {{"sbmRegular", 0}, {"sbmFlat", 1}, {"sbm3D", 2}})));
  });
  // The older single option set; read, never written.
  Prop(c, "Options", [](T& t, auto& v, auto& ctx) {
    if (v.kind != TLayoutValue::Kind::Set) ctx.Fail("expected a set [...]");
    std::vector<std::string> names;
    for (const TLayoutValue& item : v.items) names.push_back(item.text);
    t.ReadOldOptions(names);
  });
  static const char* const kColorNames[] = {
      "DisabledColor", "DropMarkColor", "DropTargetColor", "FocusedSelectionColor", "GridLineColor",
      "TreeLineColor", "UnfocusedSelectionColor", "BorderColor", "HotColor",
      "FocusedSelectionBorderColor", "UnfocusedSelectionBorderColor", "DropTargetBorderColor",
      "SelectionRectangleBlendColor", "SelectionRectangleBorderColor", "HeaderHotColor"};
  for (int i = 0; i < TLTColors::kCount; ++i) {
    static std::string names[TLTColors::kCount];
    names[i] = std::string("Colors.") + kColorNames[i];
    Prop(c, names[i].c_str(), [i](T& t, auto& v, auto& ctx) {
      t.Colors().SetColor(static_cast<TLTColors::Index>(i), static_cast<ui::TColor>(ctx.Integer(v)));
    });
  }
  RegisterHeaderProperties(c);
}

}  // namespace

void RegisterLazyTreeClasses() {
  static const bool done = [] {
    ui::TClassRegistry& r = ui::ClassRegistry();
    RegisterBase(r);
    r.Register("TLazyDrawTree", "TBaseLazyTree", [] { return std::make_unique<TLazyDrawTree>(); });
    ui::TClassInfo& s =
        r.Register("TLazyStringTree", "TBaseLazyTree", [] { return std::make_unique<TLazyStringTree>(); });
    ui::AddProperty<TCustomLazyStringTree>(s, "TreeOptions.StringOptions", [](auto& t, auto& v, auto& ctx) {
      t.GetOptions().SetStringOptions(
          OptionSet(v, ctx, {"toSaveCaptions", "toShowStaticText", "toAutoAcceptEditChange"}));
    });
    // The default text as a layout stores it (texts of layouts are ANSI).
    ui::AddProperty<TCustomLazyStringTree>(s, "WideDefaultText", [](auto& t, auto& v, auto& ctx) {
      t.SetDefaultText(AnsiToWString(ctx.String(v)));
    });
    // The older string option set; read, never written: the string options
    // are emptied, then the old names move over; other names are skipped.
    ui::AddProperty<TCustomLazyStringTree>(s, "StringOptions", [](auto& t, auto& v, auto& ctx) {
      if (v.kind != TLayoutValue::Kind::Set) ctx.Fail("expected a set [...]");
      std::uint32_t options = 0;
      for (const TLayoutValue& item : v.items) {
        if (item.text == "soSaveCaptions") options |= toSaveCaptions;
        if (item.text == "soShowStaticText") options |= toShowStaticText;
      }
      t.GetOptions().SetStringOptions(options);
    });
    ui::AddProperty<TCustomLazyStringTree>(s, "DefaultText", [](auto& t, auto& v, auto& ctx) {
      t.SetDefaultText(AnsiToWString(ctx.String(v)));
    });
    return true;
  }();
  (void)done;
}

}  // namespace kv
