// The header's layout properties: "Columns" (a collection with one item per
// column, every published column property) and the header's own settings.

#include <windows.h>

#include "base/ansi_text_win.h"
#include "treeview/lazy_trees_win.h"
#include "ui/layout_loader_win.h"

namespace kv {

namespace {

using ui::TLayoutContext;
using ui::TLayoutValue;

int Int32(const TLayoutValue& v, const TLayoutContext& ctx) {
  return static_cast<int>(ctx.Integer(v));  // the parser keeps numbers within ±10^9
}

int Ranged(const TLayoutValue& v, const TLayoutContext& ctx, int low, int high) {
  const std::int64_t n = ctx.Integer(v);
  if (n < low || n > high)
    ctx.Fail("expected a number from " + std::to_string(low) + " to " + std::to_string(high));
  return static_cast<int>(n);
}

void SetColumnProperty(TBaseLazyTree& tree, TLazyTreeColumn& column, const ui::TLayoutProperty& prop,
                       TLayoutContext& ctx) {
  const std::string& name = prop.name;
  const TLayoutValue& v = prop.value;
  // "WideText" and "WideHint" are the names the texts are stored under; the
  // plain names are read as well (layout texts are ANSI either way).
  if (name == "Text" || name == "WideText") {
    column.SetText(AnsiToWString(ctx.String(v)));
  } else if (name == "Hint" || name == "WideHint") {
    column.SetHint(AnsiToWString(ctx.String(v)));
  } else if (name == "Width") {
    column.SetWidth(Ranged(v, ctx, 0, 10000));
  } else if (name == "MinWidth") {
    column.SetMinWidth(Ranged(v, ctx, 0, 10000));
  } else if (name == "MaxWidth") {
    column.SetMaxWidth(Ranged(v, ctx, 0, 10000));
  } else if (name == "Position") {
    column.SetPosition(Int32(v, ctx));  // places out of range are clamped once loaded
  } else if (name == "Style") {
    column.SetStyle(static_cast<TLazyTreeColumnStyle>(ctx.Enum(v, {{"vsText", 0}, {"vsOwnerDraw", 1}})));
  } else if (name == "ImageIndex") {
    column.SetImageIndex(Int32(v, ctx));
  } else if (name == "Layout") {
    column.SetLayout(static_cast<TLTHeaderColumnLayout>(ctx.Enum(
        v, {{"blGlyphLeft", 0}, {"blGlyphRight", 1}, {"blGlyphTop", 2}, {"blGlyphBottom", 3}})));
  } else if (name == "Margin") {
    column.SetMargin(Int32(v, ctx));
  } else if (name == "Spacing") {
    column.SetSpacing(Int32(v, ctx));
  } else if (name == "BiDiMode") {
    column.SetBiDiMode(
        static_cast<TLTBidiMode>(ctx.Enum(v, {{"bdLeftToRight", 0}, {"bdRightToLeft", 1}})));
  } else if (name == "Options") {
    column.SetOptions(static_cast<TLTColumnOptions>(ctx.Set(
        v, {{"coAllowClick", coAllowClick}, {"coDraggable", coDraggable}, {"coEnabled", coEnabled},
            {"coParentBidiMode", coParentBidiMode}, {"coParentColor", coParentColor},
            {"coResizable", coResizable}, {"coShowDropMark", coShowDropMark}, {"coVisible", coVisible},
            {"coAutoSpring", coAutoSpring}})));
  } else if (name == "Tag") {
    column.SetTag(Int32(v, ctx));
  } else if (name == "Alignment") {
    column.SetAlignment(static_cast<TLTAlignment>(
        ctx.Enum(v, {{"taLeftJustify", 0}, {"taRightJustify", 1}, {"taCenter", 2}})));
  } else if (name == "Color") {
    column.SetColor(ui::LayoutColor(v, ctx));
  } else if (!tree.SetColumnLayoutProperty(column, prop, ctx)) {
    ctx.Fail("unknown column property \"" + name + "\"");
  }
}

// Each item becomes a new column, its properties set in the order written;
// errors name the line of the property at fault.
void ReadColumns(TBaseLazyTree& tree, const TLayoutValue& v, TLayoutContext& ctx) {
  if (v.kind != TLayoutValue::Kind::Collection) ctx.Fail("expected a collection <item ... end>");
  int index = 0;
  tree.Header().ReadColumns(static_cast<int>(v.collection.size()), [&](TLazyTreeColumn& column) {
    for (const ui::TLayoutProperty& prop : v.collection[static_cast<std::size_t>(index)].properties) {
      ctx.SetLine(prop.line);
      SetColumnProperty(tree, column, prop, ctx);
    }
    ++index;
  });
}

template <class F>
void Prop(ui::TClassInfo& info, const char* name, F setter) {
  ui::AddProperty<TBaseLazyTree>(info, name, setter);
}

template <class F>
void ChangeFont(TBaseLazyTree& t, F change) {
  THeaderFont font = t.Header().Font();
  change(font);
  t.Header().SetFont(font);
}

}  // namespace

void RegisterHeaderProperties(ui::TClassInfo& c) {
  using T = TBaseLazyTree;
  Prop(c, "Columns", [](T& t, auto& v, auto& ctx) { ReadColumns(t, v, ctx); });
  Prop(c, "Header.Options", [](T& t, auto& v, auto& ctx) {
    t.Header().SetOptions(static_cast<TLTHeaderOptions>(ctx.Set(
        v, {{"hoAutoResize", hoAutoResize}, {"hoColumnResize", hoColumnResize},
            {"hoDblClickResize", hoDblClickResize}, {"hoDrag", hoDrag}, {"hoHotTrack", hoHotTrack},
            {"hoOwnerDraw", hoOwnerDraw}, {"hoRestrictDrag", hoRestrictDrag}, {"hoShowHint", hoShowHint},
            {"hoShowImages", hoShowImages}, {"hoShowSortGlyphs", hoShowSortGlyphs},
            {"hoVisible", hoVisible}, {"hoAutoSpring", hoAutoSpring}})));
  });
  // Column numbers out of range are clamped once the columns are known.
  Prop(c, "Header.MainColumn", [](T& t, auto& v, auto& ctx) { t.Header().SetMainColumn(Int32(v, ctx)); });
  Prop(c, "Header.AutoSizeIndex",
       [](T& t, auto& v, auto& ctx) { t.Header().SetAutoSizeIndex(Int32(v, ctx)); });
  Prop(c, "Header.SortColumn", [](T& t, auto& v, auto& ctx) { t.Header().SetSortColumn(Int32(v, ctx)); });
  Prop(c, "Header.SortDirection", [](T& t, auto& v, auto& ctx) {
    t.Header().SetSortDirection(
        static_cast<TSortDirection>(ctx.Enum(v, {{"sdAscending", 0}, {"sdDescending", 1}})));
  });
  Prop(c, "Header.Height", [](T& t, auto& v, auto& ctx) { t.Header().SetHeight(Ranged(v, ctx, 0, 1000)); });
  Prop(c, "Header.Style", [](T& t, auto& v, auto& ctx) {
    t.Header().SetStyle(static_cast<TLTHeaderStyle>(ctx.Enum(
        v, {{"hsThickButtons", 0}, {"hsFlatButtons", 1}, {"hsPlates", 2}, {"hsXPStyle", 3}})));
  });
  Prop(c, "Header.Background",
       [](T& t, auto& v, auto& ctx) { t.Header().SetBackground(ui::LayoutColor(v, ctx)); });
  Prop(c, "Header.Images", [](T& t, const TLayoutValue& v, TLayoutContext& ctx) {
    ctx.Reference<ui::TImageList>(v, [&t](ui::TImageList* list) { t.Header().SetImages(list); });
  });
  Prop(c, "Header.ParentFont", [](T& t, auto& v, auto& ctx) { t.Header().SetParentFont(ctx.Boolean(v)); });
  Prop(c, "Header.Font.Name", [](T& t, auto& v, auto& ctx) {
    ChangeFont(t, [&](THeaderFont& f) { f.Name = ctx.String(v); });
  });
  Prop(c, "Header.Font.Height", [](T& t, auto& v, auto& ctx) {
    ChangeFont(t, [&](THeaderFont& f) { f.Height = Ranged(v, ctx, -1000, 1000); });
  });
  Prop(c, "Header.Font.Style", [](T& t, auto& v, auto& ctx) {
    ChangeFont(t, [&](THeaderFont& f) {
      f.Style = static_cast<std::uint32_t>(
          ctx.Set(v, {{"fsBold", 1}, {"fsItalic", 2}, {"fsUnderline", 4}, {"fsStrikeOut", 8}}));
    });
  });
  Prop(c, "Header.Font.Color", [](T& t, auto& v, auto& ctx) {
    ChangeFont(t, [&](THeaderFont& f) { f.Color = ui::LayoutColor(v, ctx); });
  });
}

}  // namespace kv
