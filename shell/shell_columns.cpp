#include "shell/shell_columns.h"

#include <algorithm>
#include <array>
#include <climits>

#include "base/ansi_text.h"
#include "base/strings.h"

namespace kv {

const TColumnDetailsInfo& ColumnDetailsInfo(TColumnDetails details) {
  static const std::array<TColumnDetailsInfo, 10> kInfo{{
      {u"Name", 180}, {u"Size", 96}, {u"Type", 120}, {u"Modified", 120}, {u"Accessed", 180},
      {u"Created", 120}, {u"Attributes", 60}, {u"Path", 150}, {u"DOS Name", 80}, {u"Custom", 80},
  }};
  return kInfo[std::min<size_t>(details, kInfo.size() - 1)];
}

int DefaultShellColumnWidth(int index, TShellColumnRoot root) {
  static constexpr std::array<int, 37> kGeneral{180, 96,  120, 120, 60,  180, 120, 120, 120, 120,
                                                120, 120, 120, 60,  120, 120, 120, 120, 120, 120,
                                                72,  90,  102, 30,  30,  108, 60,  48,  180, 180,
                                                180, 180, 180, 180, 180, 180, 180};
  static constexpr std::array<int, 4> kMyComputer{180, 120, 96, 96};
  static constexpr std::array<int, 2> kTwoWide{180, 300};
  if (index < 0) return 0;
  const auto i = static_cast<size_t>(index);
  if (root == TShellColumnRoot::MyComputer && i < kMyComputer.size()) return kMyComputer[i];
  if ((root == TShellColumnRoot::ControlPanel || root == TShellColumnRoot::Network) && i < kTwoWide.size())
    return kTwoWide[i];
  return i < kGeneral.size() ? kGeneral[i] : 120;
}

uint16_t ClampColumnWidth(int64_t width) { return static_cast<uint16_t>(std::clamp<int64_t>(width, 0, 65535)); }

void StoreColumnLayout(TColumnStorage& storage, const std::vector<TColumnState>& columns) {
  const size_t n = columns.size();
  if (storage.Widths.size() < n) storage.Widths.resize(n);
  if (storage.Positions.size() < n) storage.Positions.resize(n);
  if (storage.Visible.size() < n) storage.Visible.resize(n);
  for (size_t i = 0; i < n; ++i) {
    storage.Widths[i] = ClampColumnWidth(columns[i].Width);
    storage.Positions[i] = ClampColumnWidth(columns[i].Position);
    storage.Visible[i] = columns[i].Visible ? 1 : 0;
  }
}

bool RestoreColumnLayout(TColumnStorage& storage, std::vector<TColumnState>& columns) {
  const size_t n = columns.size();
  if (storage.Widths.size() != n || storage.Positions.size() != n || storage.Visible.size() != n) {
    storage = TColumnStorage{};
    return false;
  }
  for (size_t i = 0; i < n; ++i) {
    columns[i].Width = storage.Widths[i];
    columns[i].Position = storage.Positions[i];
    columns[i].Visible = storage.Visible[i] != 0;
  }
  return true;
}

// ------------------------------------------------------------ column manager --

bool TColumnManager::Prepare(TColumns& columns, int column) {
  const int count = columns.Count();
  if (ColumnWidths.size() < static_cast<size_t>(std::max(count, 0))) ColumnWidths.resize(static_cast<size_t>(count));
  return column >= 0 && column < count;
}

void TColumnManager::StoreColumnWidth(TColumns& columns, int column) {
  if (Prepare(columns, column)) ColumnWidths[static_cast<size_t>(column)].Width = columns.Width(column);
}

void TColumnManager::Toggle(TColumns& columns, int column, TColumnWidthState state, int width) {
  if (!Prepare(columns, column)) return;
  TColumnWidthEntry& entry = ColumnWidths[static_cast<size_t>(column)];
  if (entry.State == state) {
    columns.SetWidth(column, entry.Width);
    entry.State = TColumnWidthState::Normal;
  } else {
    // The width shown now is the one to come back to, also a fitted or
    // minimised one: the toggle undoes only its own step.
    entry.Width = columns.Width(column);
    columns.SetWidth(column, width);
    entry.State = state;
  }
}

void TColumnManager::ToggleWidthAutoFit(TColumns& columns, int column) {
  if (Prepare(columns, column)) Toggle(columns, column, TColumnWidthState::Fitted, columns.FitWidth(column));
}

void TColumnManager::ToggleWidthMinimize(TColumns& columns, int column) {
  Toggle(columns, column, TColumnWidthState::Minimized, 0);
}

// --------------------------------------------------------------- column menu --

std::vector<TColumnMenuEntry> BuildColumnMenu(const std::vector<TColumnState>& columns,
                                              const std::vector<bool>& secondary, bool shellColumns, int maxItems) {
  std::vector<TColumnMenuEntry> entries;
  if (!shellColumns) {
    for (const TColumnState& c : columns) entries.push_back({c.Text, c.Visible, c.Index});
    return entries;
  }
  bool leftOut = false;
  for (size_t i = 0; i < columns.size(); ++i) {
    const TColumnState& c = columns[i];
    const bool listable = !(i < secondary.size() && secondary[i]) && !c.Text.empty() &&
                          std::none_of(entries.begin(), entries.end(),
                                       [&](const TColumnMenuEntry& e) { return e.Caption == c.Text; });
    if (listable && static_cast<int>(entries.size()) < maxItems) entries.push_back({c.Text, c.Visible, c.Index});
    else leftOut = true;
  }
  if (leftOut) {
    entries.push_back({u"-", false, kColumnMenuSeparator});
    entries.push_back({u"More ...", false, kColumnMenuMore});
  }
  return entries;
}

// ------------------------------------------------------ column settings dialog --

std::vector<TColumnData> ColumnSettingsEntries(const std::vector<TColumnState>& columns) {
  std::vector<const TColumnState*> byPosition;
  for (const TColumnState& c : columns) byPosition.push_back(&c);
  std::stable_sort(byPosition.begin(), byPosition.end(),
                   [](const TColumnState* a, const TColumnState* b) { return a->Position < b->Position; });
  std::vector<TColumnData> entries;
  for (const TColumnState* c : byPosition) {
    if (c->Text.empty() ||
        std::any_of(entries.begin(), entries.end(), [&](const TColumnData& e) { return e.Title == c->Text; }))
      continue;
    entries.push_back({c->Text, c->Visible, c->Width, c->Index});
  }
  return entries;
}

bool WidthBoxAccepts(char16_t c) { return (c >= u'0' && c <= u'9') || c == 8 || c == 13; }

std::optional<int32_t> ParseColumnWidth(std::u16string_view text) {
  if (text.empty()) return std::nullopt;
  auto fail = [&]() -> std::optional<int32_t> {
    throw EConvertError("'" + EscapeControls(WideToAnsi(text)) + "' is not a valid integer value");
  };
  // Leading blanks, a sign, then decimal digits or hexadecimal ones after "$" or "0x".
  size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  int base = 10;
  if (i < text.size() && text[i] == u'$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return fail();
  const int64_t limit = negative ? int64_t{INT32_MAX} + 1 : INT32_MAX;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    int digit = -1;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    if (digit < 0) return fail();
    value = value * base + digit;
    if (value > limit) return fail();
  }
  return static_cast<int32_t>(negative ? -value : value);
}

void ApplyColumnEntries(const std::vector<TColumnData>& entries, std::vector<TColumnState>& columns) {
  std::vector<bool> listed(columns.size(), false);
  for (size_t position = 0; position < entries.size(); ++position) {
    const TColumnData& e = entries[position];
    if (e.ColumnIndex < 0 || static_cast<size_t>(e.ColumnIndex) >= columns.size()) continue;
    TColumnState& c = columns[static_cast<size_t>(e.ColumnIndex)];
    c.Position = static_cast<int>(position);
    c.Visible = e.Visible;
    c.Width = e.Width;  // the column keeps it within its own limits
    listed[static_cast<size_t>(e.ColumnIndex)] = true;
  }
  // Each listed column is moved to its entry's place in turn, so the columns
  // the dialog left out (empty or repeated titles) end after the listed ones,
  // in the order they had.
  std::vector<TColumnState*> rest;
  for (size_t i = 0; i < columns.size(); ++i)
    if (!listed[i]) rest.push_back(&columns[i]);
  std::stable_sort(rest.begin(), rest.end(),
                   [](const TColumnState* a, const TColumnState* b) { return a->Position < b->Position; });
  int next = static_cast<int>(entries.size());
  for (TColumnState* c : rest) c->Position = next++;
}

}  // namespace kv
