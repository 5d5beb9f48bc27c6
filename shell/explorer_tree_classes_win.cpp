// The shell controls in the layout class registry, with the properties layouts set.
#include <windows.h>

#include <algorithm>
#include <string>

#include "shell/auto_complete_win.h"
#include "shell/explorer_combo_win.h"
#include "shell/explorer_views_win.h"
#include "ui/layout_loader_win.h"

namespace kv {

namespace {

using ui::TLayoutContext;
using ui::TLayoutValue;

// The special-folder root kinds by their layout names.
const std::initializer_list<std::pair<const char*, int>> kRootFolderNames = {
    {"rfAdminTools", 48}, {"rfAltStartup", 29}, {"rfAppData", 26}, {"rfBitBucket", 10}, {"rfCommonAdminTools", 47},
    {"rfCommonAltStartup", 30}, {"rfCommonAppData", 35}, {"rfCommonDesktopDirectory", 25}, {"rfCommonDocuments", 46},
    {"rfCommonFavorties", 31}, {"rfCommonPrograms", 23}, {"rfCommonStartMenu", 22}, {"rfCommonStartup", 24},
    {"rfCommonTemplates", 45}, {"rfControlPanel", 3}, {"rfCookies", 33}, {"rfDesktop", 0}, {"rfDesktopDirectory", 16},
    {"rfDrives", 17}, {"rfFavorites", 6}, {"rfFonts", 20}, {"rfHistory", 34}, {"rfInternet", 1},
    {"rfInternetCache", 32}, {"rfLocalAppData", 28}, {"rfMyPictures", 39}, {"rfNetHood", 19}, {"rfNetwork", 18},
    {"rfPersonal", 5}, {"rfPrinters", 4}, {"rfPrintHood", 27}, {"rfProfile", 40}, {"rfProgramFiles", 38},
    {"rfCommonProgramFiles", 43}, {"rfPrograms", 2}, {"rfRecent", 8}, {"rfSendTo", 9}, {"rfStartMenu", 11},
    {"rfStartUp", 7}, {"rfSystem", 37}, {"rfTemplate", 21}, {"rfWindows", 36}};

std::wstring WideFromUtf8(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                    static_cast<int>(wide.size()));
  wide.resize(static_cast<size_t>(std::max(0, n)));
  return wide;
}

const std::initializer_list<const char*> kContentNames = {
    "accCurrentDir", "accMyComputer", "accDesktop", "accFavorites", "accFileSysOnly",
    "accFileSysDirs", "accFileSysFiles", "accHidden", "accRecursive", "accSortList"};

uint32_t Flags(const TLayoutValue& v, const TLayoutContext& ctx, std::initializer_list<const char*> names) {
  if (v.kind != TLayoutValue::Kind::Set) ctx.Fail("expected a set [...]");
  uint32_t set = 0;
  for (const TLayoutValue& item : v.items) {
    auto it = std::find_if(names.begin(), names.end(), [&](const char* n) { return item.text == n; });
    if (it == names.end()) ctx.Fail("unknown option \"" + item.text + "\"");
    set |= 1u << (it - names.begin());
  }
  return set;
}

template <class F>
void Prop(ui::TClassInfo& info, const char* name, F setter) {
  ui::AddProperty<TCustomLazyExplorerTree>(info, name, setter);
}

void RegisterProperties(ui::TClassInfo& c) {
  using T = TCustomLazyExplorerTree;
  Prop(c, "Active", [](T& t, auto& v, auto& ctx) { t.SetActive(ctx.Boolean(v)); });
  Prop(c, "FileObjects", [](T& t, auto& v, auto& ctx) {
    t.SetFileObjects(Flags(v, ctx, {"foFolders", "foNonFolders", "foHidden"}));
  });
  Prop(c, "RootFolder", [](T& t, auto& v, auto& ctx) {
    t.SetRootFolder(static_cast<TRootFolder>(ctx.Enum(v, kRootFolderNames)));
  });
  Prop(c, "RootFolderCustomPath", [](T& t, auto& v, auto& ctx) {
    t.SetRootFolderCustomPath(WideFromUtf8(ctx.String(v)));
  });
  Prop(c, "TreeOptions.ExplorerFolderOptions", [](T& t, auto& v, auto& ctx) {
    t.SetExplorerFolderOptions(Flags(v, ctx, {"toFoldersExpandable", "toHideRootFolder", "toForceHideRecycleBin",
                                              "toForceShowMyDocuments", "toShowOpenIconOnSelect",
                                              "toDisableGhostedFolders", "toNoUseExplorerColorsProp"}));
  });
  Prop(c, "TreeOptions.ExplorerMiscOptions", [](T& t, auto& v, auto& ctx) {
    t.SetExplorerMiscOptions(Flags(
        v, ctx, {"toBrowseExecuteFolder", "toBrowseExecuteFolderShortcut", "toChangeNotifierThread",
                 "toListviewLimitBrowseToRoot", "toNoRebuildIconListOnAssocChange", "toTrackChangesInMappedDrives",
                 "toPersistentColumns", "toExecuteOnDblClk", "toRightButtonSelect", "toRemoveContextMenuShortCut",
                 "toUserSort", "toAutoScrollHorz", "toExplorerReadOnly", "toRestoreTopNodeOnRefresh"}));
  });
  Prop(c, "TreeOptions.ExplorerImageOptions", [](T& t, auto& v, auto& ctx) {
    t.SetExplorerImageOptions(
        Flags(v, ctx, {"toHideOverlay", "toImages", "toThreadedImages", "toLargeImages", "toMarkCutAndCopy"}));
  });
  Prop(c, "TreeOptions.ExplorerSyncOptions", [](T& t, auto& v, auto& ctx) {
    t.SetExplorerSyncOptions(Flags(v, ctx, {"toCollapseTargetFirst", "toExpandTarget", "toSelectTarget"}));
  });
  Prop(c, "TreeOptions.ExplorerShellOptions", [](T& t, auto& v, auto& ctx) {
    t.SetExplorerShellOptions(Flags(
        v, ctx, {"toRightAlignSizeColumn", "toContextMenus", "toDragDrop", "toShellHints", "toShellColumnMenu"}));
  });
  Prop(c, "ColumnDetails", [](T& t, auto& v, auto& ctx) {
    t.SetColumnDetails(static_cast<TColumnDetailType>(
        ctx.Enum(v, {{"cdUser", cdUser}, {"cdExplorerColumns", cdExplorerColumns}, {"cdShellColumns", cdShellColumns}})));
  });
  Prop(c, "ColumnMenuItemCount", [](T& t, auto& v, auto& ctx) {
    t.SetColumnMenuItemCount(static_cast<int>(ctx.Integer(v)));
  });
  Prop(c, "LazyExplorerTree", [](T& t, auto& v, auto& ctx) {
    ctx.template Reference<TCustomLazyExplorerTree>(v, [&t](TCustomLazyExplorerTree* tree) { t.SetLazyExplorerTree(tree); });
  });
}

using TCombo = TCustomLazyExplorerCombobox;

TComboBoxStyle ComboStyle(const TLayoutValue& v, const TLayoutContext& ctx) {
  return static_cast<TComboBoxStyle>(ctx.Enum(v, {{"cbsClassic", int(TComboBoxStyle::cbsClassic)},
                                                  {"cbsExplorerEnhanced", int(TComboBoxStyle::cbsExplorerEnhanced)}}));
}

// "Object.Name": a property of the option object the box's `get` hands out.
template <class O, class Get, class F>
void OptionProp(ui::TClassInfo& c, const char* object, Get get, const char* name, F setter) {
  ui::AddProperty<TCombo>(c, (std::string(object) + "." + name).c_str(),
                          [get, setter](TCombo& combo, const TLayoutValue& v, TLayoutContext& ctx) {
                            O& options = (combo.*get)();
                            setter(options, v, ctx);
                          });
}

// What both drop-downs' option objects publish.
template <class O>
void RegisterPopupOptions(ui::TClassInfo& c, const char* object, O& (TCombo::*get)()) {
  using B = TPopupOptionsBase;
  auto prop = [&](const char* name, auto setter) { OptionProp<B>(c, object, get, name, setter); };
  prop("AnimationSpeed", [](B& o, auto& v, auto& ctx) { o.SetAnimationSpeed(ui::LayoutUnsigned(v, ctx)); });
  prop("AutoScrollTimeFast", [](B& o, auto& v, auto& ctx) { o.SetAutoScrollTimeFast(ui::LayoutUnsigned(v, ctx)); });
  prop("AutoScrollTimeSlow", [](B& o, auto& v, auto& ctx) { o.SetAutoScrollTimeSlow(ui::LayoutUnsigned(v, ctx)); });
  prop("Background", [](B& o, auto& v, auto& ctx) { o.SetBackground(ui::LayoutBitmap(v, ctx)); });
  prop("BackgroundOffsetX", [](B& o, auto& v, auto& ctx) { o.SetBackgroundOffsetX(ui::LayoutSigned(v, ctx)); });
  prop("BackgroundOffsetY", [](B& o, auto& v, auto& ctx) { o.SetBackgroundOffsetY(ui::LayoutSigned(v, ctx)); });
  prop("Color", [](B& o, auto& v, auto& ctx) { o.SetColor(ui::LayoutColor(v, ctx)); });
  prop("DefaultNodeHeight", [](B& o, auto& v, auto& ctx) { o.SetDefaultNodeHeight(ui::LayoutUnsigned(v, ctx)); });
  prop("DropDownCount", [](B& o, auto& v, auto& ctx) {
    const int64_t rows = ctx.Integer(v);
    if (rows < 1 || rows > kMaxDropDownCount)
      ctx.Fail("expected a number of rows from 1 to " + std::to_string(kMaxDropDownCount));
    o.SetDropDownCount(static_cast<int>(rows));
  });
  prop("Indent", [](B& o, auto& v, auto& ctx) { o.SetIndent(ui::LayoutUnsigned(v, ctx)); });
  prop("Options", [](B& o, auto& v, auto& ctx) {
    o.SetOptions(Flags(v, ctx, {"poAnimated", "poEnabled", "poPersistentSizing", "poSizeable",
                                "poRespectSysAnimationFlag", "poThemeAware"}));
  });
}

void RegisterComboProperties(ui::TClassInfo& c) {
  ui::AddProperty<TCombo>(c, "Style", [](TCombo& combo, auto& v, auto& ctx) { combo.SetStyle(ComboStyle(v, ctx)); });
  ui::AddProperty<TCombo>(c, "Options", [](TCombo& combo, auto& v, auto& ctx) {
    combo.SetOptions(Flags(v, ctx, {"eoThreadedImages", "eoThemed", "eoSelectCurrentItem"}));
  });
  const char* const explorer = "PopupExplorerOptions";
  const auto getExplorer = &TCombo::PopupExplorerOptions;
  RegisterPopupOptions(c, explorer, getExplorer);
  OptionProp<TPopupExplorerOptions>(c, explorer, getExplorer, "ComboBoxStyle", [](auto& o, auto& v, auto& ctx) {
    o.SetComboBoxStyle(ComboStyle(v, ctx));
  });
  const char* const autoComplete = "PopupAutoCompleteOptions";
  const auto getCompletion = &TCombo::PopupAutoCompleteOptions;
  RegisterPopupOptions(c, autoComplete, getCompletion);
  OptionProp<TPopupAutoCompleteOptions>(c, autoComplete, getCompletion, "Contents", [](auto& o, auto& v, auto& ctx) {
    o.SetContents(Flags(v, ctx, kContentNames));
  });
  // An obsolete setting older layouts still store: read and dropped. It is
  // still checked as a Boolean, so a damaged value is reported.
  OptionProp<TPopupAutoCompleteOptions>(c, autoComplete, getCompletion, "AlwaysShow",
                                        [](auto&, auto& v, auto& ctx) { ctx.Boolean(v); });
}

}  // namespace

void RegisterExplorerTreeClasses() {
  static const bool done = [] {
    RegisterLazyTreeClasses();
    ui::TClassRegistry& r = ui::ClassRegistry();
    RegisterProperties(r.Register("TLazyExplorerTree", "TLazyStringTree",
                                  [] { return std::make_unique<TLazyExplorerTree>(); }));
    ui::TClassInfo& treeview = r.Register("TLazyExplorerTreeview", "TLazyStringTree",
                                          [] { return std::make_unique<TLazyExplorerTreeview>(); });
    RegisterProperties(treeview);
    // The partners name each other; each becomes the other's follower.
    ui::AddProperty<TLazyExplorerTreeview>(treeview, "LazyExplorerListview", [](auto& t, auto& v, auto& ctx) {
      ctx.template Reference<TLazyExplorerListview>(
          v, [&t](TLazyExplorerListview* list) { t.SetLazyExplorerListview(list); });
    });
    ui::TClassInfo& listview = r.Register("TLazyExplorerListview", "TLazyStringTree",
                                          [] { return std::make_unique<TLazyExplorerListview>(); });
    RegisterProperties(listview);
    ui::AddProperty<TLazyExplorerListview>(listview, "LazyExplorerTreeview", [](auto& t, auto& v, auto& ctx) {
      ctx.template Reference<TLazyExplorerTreeview>(
          v, [&t](TLazyExplorerTreeview* tree) { t.SetLazyExplorerTreeview(tree); });
    });
    // The address bar's completion source: its folder and what it offers.
    ui::TClassInfo& complete = r.Register("TLazyShellAutoComplete", "TComponent",
                                          [] { return std::make_unique<TLazyShellAutoComplete>(); });
    ui::AddProperty<TLazyShellAutoComplete>(complete, "CurrentDir", [](auto& c, auto& v, auto& ctx) {
      c.SetCurrentDir(WideFromUtf8(ctx.String(v)));
    });
    ui::AddProperty<TLazyShellAutoComplete>(complete, "Contents", [](auto& c, auto& v, auto& ctx) {
      c.SetContents(Flags(v, ctx, kContentNames));
    });
    RegisterComboProperties(r.Register("TLazyExplorerCombobox", "TControl",
                                       [] { return std::make_unique<TLazyExplorerCombobox>(); }));
    return true;
  }();
  (void)done;
}

}  // namespace kv
