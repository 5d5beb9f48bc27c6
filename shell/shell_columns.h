#pragma once
// The detail columns of an explorer tree without the window: the standard
// columns, the shell columns' default widths, the remembered layout of a
// folder, the column manager's width toggles, and the entries of the column
// menu and of the column settings dialog.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "shell/node_storage.h"

namespace kv {

// Whose columns the header shows.
enum TColumnDetailType : uint8_t { cdUser, cdExplorerColumns, cdShellColumns };

// What a column shows; every column built from the shell is cdCustom.
enum TColumnDetails : uint8_t {
  cdFileName, cdSize, cdType, cdModified, cdAccessed, cdCreated, cdAttributes, cdPath, cdDOSName, cdCustom,
};

struct TColumnDetailsInfo {
  const char16_t* Text;
  int Width;
};
const TColumnDetailsInfo& ColumnDetailsInfo(TColumnDetails details);

// The folder a shell header is built for, as far as the default widths care.
enum class TShellColumnRoot : uint8_t { General, MyComputer, ControlPanel, Network };
int DefaultShellColumnWidth(int index, TShellColumnRoot root);

// One header column as the column code reads and writes it.
struct TColumnState {
  int Index = 0;
  int Position = 0;
  int Width = 0;
  bool Visible = true;
  std::u16string Text;
};

// A width as stored (16 bits).
uint16_t ClampColumnWidth(int64_t width);

// Writes the columns (in index order) into the storage's layout, growing its
// arrays to the column count.
void StoreColumnLayout(TColumnStorage& storage, const std::vector<TColumnState>& columns);
// Gives the columns their stored width, position and visibility. A layout of
// another column count is cleared and false answered: the defaults stay.
bool RestoreColumnLayout(TColumnStorage& storage, std::vector<TColumnState>& columns);

// Toggles a column between its width, its best fit and zero.
enum class TColumnWidthState : uint8_t { Normal = 0, Fitted = 1, Minimized = 2 };
struct TColumnWidthEntry {
  int32_t Width = 0;
  TColumnWidthState State = TColumnWidthState::Normal;
};
class TColumnManager {
 public:
  // What the manager reads and sets of the header.
  class TColumns {
   public:
    virtual ~TColumns() = default;
    virtual int Count() = 0;
    virtual int Width(int column) = 0;
    virtual void SetWidth(int column, int width) = 0;
    // The widest content of the column.
    virtual int FitWidth(int column) = 0;
  };

  void StoreColumnWidth(TColumns& columns, int column);
  void ToggleWidthAutoFit(TColumns& columns, int column);
  void ToggleWidthMinimize(TColumns& columns, int column);

  std::vector<TColumnWidthEntry> ColumnWidths;

 private:
  // Lengthens ColumnWidths to the header; false for a column outside it.
  bool Prepare(TColumns& columns, int column);
  void Toggle(TColumns& columns, int column, TColumnWidthState state, int width);
};

// The column menu: column items, then (when a column was left out) a
// separator and "More ...".
inline constexpr int kColumnMenuMore = -2;
inline constexpr int kColumnMenuSeparator = -1;
struct TColumnMenuEntry {
  std::u16string Caption;
  bool Checked = false;
  int ColumnIndex = 0;
};
// `columns` in index order; `secondary[i]` marks a shell column the folder
// lists only in its "more" choice. With shell columns at most `maxItems`
// columns are listed; else every column and no "More ...".
std::vector<TColumnMenuEntry> BuildColumnMenu(const std::vector<TColumnState>& columns,
                                              const std::vector<bool>& secondary, bool shellColumns, int maxItems);

// An entry of the column settings dialog.
struct TColumnData {
  std::u16string Title;
  bool Visible = true;
  int32_t Width = 0;
  int32_t ColumnIndex = 0;
};
// In display order, without empty titles and titles listed already.
std::vector<TColumnData> ColumnSettingsEntries(const std::vector<TColumnState>& columns);
// The dragged entry moves after the target when it moved down, before it when it moved up.
template <class T>
void MoveColumnEntry(std::vector<T>& entries, size_t dragged, size_t target) {
  if (dragged >= entries.size() || target >= entries.size() || dragged == target) return;
  T moving = std::move(entries[dragged]);
  entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(dragged));
  // Moving down the target slid up by one: its old place is after it.
  entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(target), std::move(moving));
}
// Characters the width box takes: digits, backspace and Enter.
bool WidthBoxAccepts(char16_t c);
// A text that is no 32-bit whole number.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// The width the box says; none for an empty box (the width stays).
// EConvertError for any other text that is no 32-bit whole number.
std::optional<int32_t> ParseColumnWidth(std::u16string_view text);
// The columns (in index order) as the entries say: entry order is the position.
void ApplyColumnEntries(const std::vector<TColumnData>& entries, std::vector<TColumnState>& columns);

}  // namespace kv
