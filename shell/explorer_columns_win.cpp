// The explorer tree's detail cells: the header and column kinds, each cell's
// text by the column's kind, the order of rows by a column, header clicks
// (sorting, Ctrl fits a column, Shift shrinks it), text colours and hints.
#include <string>

#include "shell/explorer_tree_win.h"
#include "shell/shell_utils_win.h"
#include "ui/layout_loader_win.h"

namespace kv {

namespace {

std::wstring Wide(const char16_t* text) {
  return std::wstring(text, text + std::char_traits<char16_t>::length(text));
}

// The column manager's view of the tree's header.
class THeaderColumns : public TColumnManager::TColumns {
 public:
  explicit THeaderColumns(TBaseLazyTree& tree) : tree_(tree) {}
  int Count() override { return tree_.Header().Columns().Count(); }
  int Width(int column) override { return tree_.Header().Columns()[column].Width(); }
  void SetWidth(int column, int width) override { tree_.Header().Columns()[column].SetWidth(width); }
  int FitWidth(int column) override { return tree_.GetMaxColumnWidth(column); }

 private:
  TBaseLazyTree& tree_;
};

}  // namespace

// ---------------------------------------------------------- header, columns --

TExplorerColumn::TExplorerColumn(TLazyTreeColumns& owner) : TLazyTreeColumn(owner) {
  SetText(Wide(ColumnDetailsInfo(cdFileName).Text));
  SetWidth(200);
}

TCustomLazyExplorerTree* TExplorerColumn::Tree() const {
  auto* header = dynamic_cast<TExplorerHeader*>(&Owner().Header());
  return header ? &header->ExplorerTree() : nullptr;
}

void TExplorerColumn::SetColumnDetails(TColumnDetails value) {
  if (value == columnDetails_) return;
  TCustomLazyExplorerTree* tree = Tree();
  if (tree && tree->ColumnDetails() == cdShellColumns) {
    columnDetails_ = cdCustom;
    return;
  }
  columnDetails_ = value;
  const TColumnDetailsInfo& info = ColumnDetailsInfo(value);
  SetText(Wide(info.Text));
  if (!Owner().Header().OwnerLoading()) SetWidth(info.Width);
  if (value == cdSize && tree && (tree->ExplorerShellOptions() & toRightAlignSizeColumn))
    SetAlignment(TLTAlignment::taRightJustify);
  Owner().Header().InvalidateTree();
}

void TExplorerColumn::Assign(const TLazyTreeColumn& source) {
  TLazyTreeColumn::Assign(source);
  if (auto* explorer = dynamic_cast<const TExplorerColumn*>(&source)) columnDetails_ = explorer->columnDetails_;
}

TExplorerHeader::TExplorerHeader(TCustomLazyExplorerTree& tree) : TLTHeader(tree), explorerTree_(tree) {}

bool TExplorerHeader::CanWriteColumns() const { return explorerTree_.ColumnDetails() != cdShellColumns; }

std::unique_ptr<TLazyTreeColumn> TExplorerHeader::CreateColumn(TLazyTreeColumns& owner) {
  return std::make_unique<TExplorerColumn>(owner);
}

std::unique_ptr<TLTHeader> TCustomLazyExplorerTree::CreateHeader() {
  return std::make_unique<TExplorerHeader>(*this);
}

TColumnDetails TCustomLazyExplorerTree::ColumnKind(TColumnIndex column) {
  if (!Header().Columns().IsValidColumn(column)) return cdCustom;
  auto* explorer = dynamic_cast<TExplorerColumn*>(&Header().Columns()[column]);
  return explorer ? explorer->ColumnDetails() : cdCustom;
}

void TCustomLazyExplorerTree::SetFileSizeFormat(TFileSizeFormat value) {
  if (value == fileSizeFormat_) return;
  fileSizeFormat_ = value;
  if (HandleAllocated()) InvalidateRect(HandleIfAllocated(), nullptr, FALSE);
}

void TCustomLazyExplorerTree::DoAddCustomShellColumn(TColumnIndex firstFree) {
  if (OnAddCustomShellColumn) OnAddCustomShellColumn(*this, firstFree, Header());
}

// ------------------------------------------------------------------- texts --

void TCustomLazyExplorerTree::DoGetText(PLazyNode node, TColumnIndex column, TLSTTextType, std::wstring& text) {
  text.clear();
  TNamespace* ns = nullptr;
  if (ValidateNamespace(node, ns)) {
    const bool noColumn = column < 0 || (column == 0 && !Header().UseColumns());
    if (noColumn) {
      text = ns->GetNameInFolder();
    } else if (columnDetails_ == cdShellColumns) {
      if (column == 0) text = ns->GetNameInFolder();
      else if (column < shellColumnCount_) text = ns->DetailsOf(column);
    } else {
      switch (ColumnKind(column)) {
        case cdFileName: text = ns->GetNameInFolder(); break;
        case cdSize:
          switch (fileSizeFormat_) {
            case fsfExplorer: text = ns->GetSizeOfFileKB(); break;
            case fsfActual: text = ns->GetSizeOfFile(); break;
            case fsfDiskUsage: text = ns->GetSizeOfFileDiskUsage(); break;
          }
          break;
        case cdType: text = ns->GetFileType(); break;
        case cdModified: text = ns->GetLastWriteTime(); break;
        case cdAccessed: text = ns->GetLastAccessTime(); break;
        case cdCreated: text = ns->GetCreationTime(); break;
        case cdAttributes: text = ns->GetAttributesString(); break;
        case cdPath: text = ns->GetNameParseAddress(); break;
        case cdDOSName: text = ns->GetShortFileName(); break;
        case cdCustom: break;
      }
    }
  }
  DoGetExplorerText(column, node, text, ns);
}

void TCustomLazyExplorerTree::DoGetExplorerText(TColumnIndex column, PLazyNode node, std::wstring& text,
                                                TNamespace* ns) {
  if (OnGetExplorerText) OnGetExplorerText(*this, column, node, text, ns);
}

void TCustomLazyExplorerTree::DoGetNodeHint(PLazyNode node, TColumnIndex column, std::wstring& text) {
  TNamespace* ns = nullptr;
  if ((ExplorerShellOptions() & toShellHints) && ValidateNamespace(node, ns)) text = ns->GetInfoTip();
  else TCustomLazyStringTree::DoGetNodeHint(node, column, text);
}

void TCustomLazyExplorerTree::DoPaintText(PLazyNode node, HDC canvas, TColumnIndex column, TLSTTextType type) {
  TNamespace* ns = nullptr;
  const bool fullRowFocus = HasOption(toFullRowSelect) && node == FocusedNode();
  // The tree's own colours stand for the selection and the drop target.
  if (ValidateNamespace(node, ns) && !(ExplorerFolderOptions() & toNoUseExplorerColorsProp) && !Selected(node) &&
      node != DropTargetNode() && !fullRowFocus) {
    const bool mainColumn = column < 0 || !HeaderUsesColumns() || column == HeaderMainColumn();
    if (ns->GetCompressed()) SetTextColor(canvas, colors_->CompressedTextColor());
    else if (mainColumn) SetTextColor(canvas, ns->GetFolder() ? colors_->FolderTextColor() : colors_->FileTextColor());
  }
  TCustomLazyStringTree::DoPaintText(node, canvas, column, type);
}

// ---------------------------------------------------------------- ordering --

void TCustomLazyExplorerTree::DoCustomColumnCompare(TColumnIndex column, PLazyNode node1, PLazyNode node2,
                                                    int& result) {
  if (OnCustomColumnCompare) OnCustomColumnCompare(*this, column, node1, node2, result);
}

int TCustomLazyExplorerTree::CompareByColumn(PLazyNode node1, PLazyNode node2, TNamespace& a, TNamespace& b,
                                             TColumnIndex column) {
  TShellSortHelper& sort = sortHelper_;
  int result = 0;
  if (columnDetails_ == cdShellColumns) {
    if (a.GetParentShellDetailsInterface() || a.GetParentShellFolder2()) {
      // The shell compares its own columns; the extension order is ours.
      if (column == 2 && sort.FileSort == TFileSort::fsFileExtension) return sort.SortType(a, b);
      if (column >= shellColumnCount_) {
        DoCustomColumnCompare(column, node1, node2, result);
        return result;
      }
      return sort.CompareIDSort(column, a, b);
    }
    switch (column) {
      case 1: return sort.SortFileSize(a, b);
      case 2: return sort.SortType(a, b);
      case 3: return sort.SortFileTime(a.GetLastWriteTimeRaw(), b.GetLastWriteTimeRaw(), a, b);
      default: return sort.CompareIDSort(0, a, b);
    }
  }
  switch (ColumnKind(column)) {
    case cdFileName: return sort.CompareIDSort(0, a, b);
    case cdSize: return sort.SortFileSize(a, b);
    case cdType: return sort.SortType(a, b);
    case cdModified: return sort.SortFileTime(a.GetLastWriteTimeRaw(), b.GetLastWriteTimeRaw(), a, b);
    case cdAccessed: return sort.SortFileTime(a.GetLastAccessTimeRaw(), b.GetLastAccessTimeRaw(), a, b);
    case cdCreated: return sort.SortFileTime(a.GetCreationTimeRaw(), b.GetCreationTimeRaw(), a, b);
    case cdAttributes: return sort.SortString(a.GetAttributesString(), b.GetAttributesString(), a, b);
    case cdPath: return sort.SortString(a.GetNameParseAddress(), b.GetNameParseAddress(), a, b);
    case cdDOSName: return sort.SortString(a.GetShortFileName(), b.GetShortFileName(), a, b);
    case cdCustom: break;
  }
  DoCustomColumnCompare(column, node1, node2, result);
  return result;
}

// ----------------------------------------------------------- header clicks --

TColumnManager* TCustomLazyExplorerTree::FirstNodeColumnManager() {
  TNodeArea* area = Area(GetFirstNoInit());
  if (!area) return nullptr;
  if (!area->ColumnManager) area->ColumnManager = std::make_unique<TColumnManager>().release();  // freed in DoFreeNode
  return area->ColumnManager;
}

void TCustomLazyExplorerTree::DoHeaderClick(TColumnIndex column, int button, TShiftState shift, int x, int y) {
  TCustomLazyStringTree::DoHeaderClick(column, button, shift, x, y);
  if (button == 1 || !Header().Columns().IsValidColumn(column)) return;
  const TTreeWaitCursor wait(*this);
  if (shift & (ssCtrl | ssShift)) {
    TColumnManager* manager = FirstNodeColumnManager();
    if (!manager) return;
    THeaderColumns columns(*this);
    if (shift & ssCtrl) manager->ToggleWidthAutoFit(columns, column);
    else manager->ToggleWidthMinimize(columns, column);
    return;
  }
  TLTHeader& header = Header();
  // Inside an update the header's own sorting waits; ours sorts the nodes
  // there are: sorting with initialisation would read every folder below.
  BeginUpdate();
  if (header.SortColumn() == column)
    header.SetSortDirection(header.SortDirection() == TSortDirection::sdAscending ? TSortDirection::sdDescending
                                                                                 : TSortDirection::sdAscending);
  else
    header.SetSortColumn(column);
  SortTree(header.SortColumn(), header.SortDirection(), false);
  EndUpdate();
}

bool TCustomLazyExplorerTree::SetColumnLayoutProperty(TLazyTreeColumn& column, const ui::TLayoutProperty& prop,
                                                      ui::TLayoutContext& ctx) {
  auto* explorerColumn = dynamic_cast<TExplorerColumn*>(&column);
  if (prop.name != "ColumnDetails" || !explorerColumn) return TCustomLazyStringTree::SetColumnLayoutProperty(column, prop, ctx);
  explorerColumn->SetColumnDetails(static_cast<TColumnDetails>(
      ctx.Enum(prop.value, {{"cdFileName", cdFileName}, {"cdSize", cdSize}, {"cdType", cdType},
                            {"cdModified", cdModified}, {"cdAccessed", cdAccessed}, {"cdCreated", cdCreated},
                            {"cdAttributes", cdAttributes}, {"cdPath", cdPath}, {"cdDOSName", cdDOSName},
                            {"cdCustom", cdCustom}})));
  return true;
}

}  // namespace kv
