// The explorer trees in the layout class registry, with the properties layouts set.
#include <windows.h>

#include <algorithm>

#include "shell/auto_complete_win.h"
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
      c.SetContents(Flags(v, ctx, {"accCurrentDir", "accMyComputer", "accDesktop", "accFavorites", "accFileSysOnly",
                                   "accFileSysDirs", "accFileSysFiles", "accHidden", "accRecursive", "accSortList"}));
    });
    return true;
  }();
  (void)done;
}

}  // namespace kv
