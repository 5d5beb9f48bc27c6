// The results page: the result list as two-line rows with check marks, the
// check buttons, smart marking, play, the music-store search, processing of
// the marked files and the HTML report.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "base/ansi_text_win.h"
#include "base/scope_guard.h"
#include "base/strings.h"
#include "engine/mp3_collection.h"
#include "foundation/foundation_init_win.h"
#include "foundation/settings_win.h"
#include "foundation/translate.h"
#include "ui/application_win.h"
#include "ui/layout_loader_win.h"
#include "ui/save_dialog_win.h"
#include "ui/std_controls_win.h"
#include "ui/toolbar_win.h"
#include "wizard/html_report_win.h"
#include "wizard/later_pages_win.h"
#include "wizard/move_to_frame_win.h"
#include "wizard/pages_win.h"
#include "wizard/processing_win.h"
#include "wizard/result_rows.h"
#include "wizard/result_tree_win.h"
#include "wizard/smart_marking.h"
#include "wizard/tune_smart_frame_win.h"

namespace kv {

namespace {

ui::TFontSpec FontOf(const ui::TFontSpec& base, int points, bool bold) {
  ui::TFontSpec spec = base;
  spec.height = ui::FontHeightFromPoints(points);
  spec.bold = bold;
  return spec;
}

// Text at (x, y) clipped to the rectangle, whose background it fills.
void TextRect(HDC dc, const RECT& clip, int x, int y, const std::string& text) {
  ExtTextOutA(dc, x, y, ETO_CLIPPED | ETO_OPAQUE, &clip, text.data(), static_cast<UINT>(text.size()), nullptr);
}

int TextWidth(HDC dc, const std::string& text) {
  SIZE size{};
  GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
  return size.cx;
}

}  // namespace

TCollectionFrame::TCollectionFrame() {
  RegisterWizardClasses();
  RegisterHandler("PlayButtonClick", &TCollectionFrame::PlayButtonClick);
  RegisterHandler("DelButtonClick", &TCollectionFrame::DelButtonClick);
  RegisterHandler("MoveButtonClick", &TCollectionFrame::MoveButtonClick);
  RegisterHandler("CopyButtonClick", &TCollectionFrame::CopyButtonClick);
  RegisterHandler("CheckAllButtonClick", &TCollectionFrame::CheckAllButtonClick);
  RegisterHandler("CheckNoneButtonClick", &TCollectionFrame::CheckNoneButtonClick);
  RegisterHandler("CheckInvertButtonClick", &TCollectionFrame::CheckInvertButtonClick);
  RegisterHandler("CheckSmartButtonClick", &TCollectionFrame::CheckSmartButtonClick);
  RegisterHandler("OptionsButtonClick", &TCollectionFrame::OptionsButtonClick);
  RegisterHandler("Export", &TCollectionFrame::Export);
  ui::LoadLayout(*this, "collection_frame");
  TTuneSmartFrame::LoadMode();
  SetAlign(ui::TAlign::Client);

  tree_ = &Create<TResultTree>();
  tree_->SetParent(&Get<ui::TPanel>("TreePanel"));
  auto& options = tree_->TreeOptions();
  options.SetAutoOptions(0);
  options.SetMiscOptions(0);
  options.SetSelectionOptions(toFullRowSelect);
  options.SetAnimationOptions(0);
  options.SetPaintOptions(toThemeAware);
  tree_->OnDrawNode = [this](TBaseLazyTree& sender, const TLTPaintInfo& info) { OnDrawNode(sender, info); };
  tree_->OnMouseUp = [this](TBaseLazyTree& sender, int button, unsigned shift, int x, int y) {
    OnMouseUp(sender, button, shift, x, y);
  };
  tree_->OnKeyUp = [this](TBaseLazyTree& sender, WORD& key) { OnKeyUp(sender, key); };
  tree_->OnDblClick = [this](ui::TComponent* sender) { PlayButtonClick(sender); };

  const ui::TFontSpec& font = tree_->Font();
  bigFont_ = ui::MakeFont(FontOf(font, 16, true));
  boldFont_ = ui::MakeFont(FontOf(font, 8, true));
  plainFont_ = ui::MakeFont(FontOf(font, 8, false));
  LoadReserve();
  ChooseDestination = [this](std::wstring& folder, bool& savePaths) {
    auto& chooser = Create<TMoveToFrame>();
    ScopeGuard free([&] { FreeComponent(&chooser); });
    chooser.Select(folder);
    savePaths = chooser.Get<ui::TCheckBox>("SavePathsCheckbox").Checked();
    return !folder.empty();
  };
}

TMP3Info* TCollectionFrame::RowRecord(PLazyNode node) {
  if (!results_ || !node) return nullptr;
  const int32_t i = tree_->GetData(node);
  return i >= 0 && i < results_->Count() ? &results_->Items(i) : nullptr;
}

bool TCollectionFrame::Checked(int row) {
  PLazyNode node = tree_->GetFirst();
  for (int i = 0; node && i < row; ++i) node = tree_->GetNextSibling(node);
  return node && tree_->GetCheckState(node) == csCheckedNormal;
}

void TCollectionFrame::DisplayCollection(TMP3Collection* collection) {
  if (!collection) return;
  const int32_t count = collection->Count();
  tree_->BeginUpdate();
  {
    ScopeGuard end([&] { tree_->EndUpdate(); });
    tree_->SetRootNodeCount(static_cast<uint32_t>(std::max(count, 1)));
    int32_t i = 0;
    for (PLazyNode node = tree_->GetFirst(); node; node = tree_->GetNextSibling(node), ++i) {
      tree_->SetData(node, i);
      tree_->SetMultiLine(node, true);
      tree_->SetCheckType(node, ctCheckBox);
      // Every row is set: marks of a list shown before must not stay on rows of this one.
      bool checked = false;
      if (i < count) checked = TakeSavedMark(collection->Items(i).Tag);
      tree_->WriteCheckState(node, checked ? csCheckedNormal : csUncheckedNormal);
    }
  }
  results_ = collection;
  tree_->Repaint();
  UpdateStatus();
}

void TCollectionFrame::UpdateStatus() {
  auto& status = Get<ui::TStatusBar>("Status");
  const int32_t groups = results_ ? GroupCount(*results_) : 0;
  const int32_t files = results_ ? results_->Count() : 0;
  const int64_t size = results_ ? results_->GetTotalSize() : 0;
  status.SetPanelText(1, std::to_string(groups) + " " + Translate("groups"));
  status.SetPanelText(2, std::to_string(files) + " " + Translate("files"));
  status.SetPanelText(3, SizeToStr(size, 2) + Translate("bytes"));
}

void TCollectionFrame::ReleaseCollection(const TMP3Collection* collection) {
  if (results_ != collection) return;
  results_ = nullptr;
  tree_->Repaint();
}

void TCollectionFrame::SaveMp3Tags() {
  if (!results_ || results_->Count() == 0) return;
  for (PLazyNode node = tree_->GetFirst(); node; node = tree_->GetNextSibling(node))
    if (TMP3Info* record = RowRecord(node))
      record->Tag = WithSavedMark(record->Tag, tree_->GetCheckState(node) == csCheckedNormal);
}

void TCollectionFrame::SaveSettings() {
  TConfiger* store = Configer();
  if (!store) return;
  const TLazyTreeColumns& columns = tree_->Header().Columns();
  for (int i = 0; i < columns.Count(); ++i)
    store->SetVal("CollectionDisplay", "Column" + std::to_string(i + 1) + "Width", std::to_string(columns[i].Width()));
}

void TCollectionFrame::OnDrawNode(TBaseLazyTree&, const TLTPaintInfo& paintInfo) {
  const HDC dc = paintInfo.Canvas;
  const PLazyNode node = paintInfo.Node;
  const RECT& cell = paintInfo.CellRect;
  if (!results_) return;
  const int saved = SaveDC(dc);
  ScopeGuard restore([&] { RestoreDC(dc, saved); });
  SetBkMode(dc, TRANSPARENT);
  if (results_->Count() == 0) {
    SelectObject(dc, bigFont_.Get());
    SetTextColor(dc, kSilver);
    const std::string text = Translate("There are no duplicates.");
    TextOutA(dc, 5, 5, text.data(), static_cast<int>(text.size()));
    return;
  }
  const int32_t i = tree_->GetData(node);
  if (i < 0 || i >= results_->Count()) return;
  const TMP3Info& record = results_->Items(i);
  std::optional<int32_t> nextTag;
  if (i + 1 < results_->Count()) nextTag = results_->Items(i + 1).Tag;
  const bool separator = GroupSeparatorBelow(record.Tag, nextTag);
  const ui::PenObject pen = ui::MakeSolidPen(separator ? kGray : kSilver, separator ? 2 : 1);

  const TRowLook look = RowLook(record.Tag);
  if (tree_->Selected(node)) {
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    SetBkMode(dc, TRANSPARENT);
  } else {
    SetTextColor(dc, look.font);
    SetBkColor(dc, look.brush);
    SetBkMode(dc, OPAQUE);
  }
  const int l = cell.left, t = cell.top, r = cell.right, b = cell.bottom;
  // A selected row keeps the tree's selection colour behind its texts.
  const auto text = [&](const RECT& clip, int x, int y, const std::string& s) {
    if (tree_->Selected(node))
      ExtTextOutA(dc, x, y, ETO_CLIPPED, &clip, s.data(), static_cast<UINT>(s.size()), nullptr);
    else
      TextRect(dc, clip, x, y, s);
  };

  SelectObject(dc, boldFont_.Get());
  const std::string headline = RowHeadline(record);
  text(cell, l + 25, t, headline);
  const int w = TextWidth(dc, headline);
  SelectObject(dc, plainFont_.Get());
  if (const std::string album = RowAlbumText(record); !album.empty())
    text(RECT{l + 40 + w, t, r, b}, l + 40 + w, t, album);

  const RECT line2{l, t + kSecondLine, r, b};
  text(line2, l + 25, t + kSecondLine, SecondsToStr(record.GetInfoPart(kInfoLength)));
  if (auto* glyphs = FindComponent("Checkboxes")) {
    const int state = tree_->GetCheckState(node) + (tree_->Selected(node) ? 1 : 0);
    static_cast<ui::TImageList*>(glyphs)->Draw(dc, 2, t + 7, state);
  }
  const auto piece = [&](int x, const std::string& s) { text(RECT{l + x, t + kSecondLine, r, b}, l + x, t + kSecondLine, s); };
  piece(60, BitRateText(record.GetInfoPart(kInfoBitRate)));
  piece(110, SampleRateText(record));
  {  // the full wide path: names the code page lacks read as they are
    const std::wstring path = ToWString(record.ShownPath());
    const RECT clip{l + 230, t + kSecondLine, r, b};
    ExtTextOutW(dc, l + 230, t + kSecondLine, ETO_CLIPPED | (tree_->Selected(node) ? 0 : ETO_OPAQUE), &clip,
                path.data(), static_cast<UINT>(path.size()), nullptr);
  }

  SelectObject(dc, pen.Get());
  MoveToEx(dc, l, b - 1, nullptr);
  LineTo(dc, r, b - 1);
}

void TCollectionFrame::ToggleMark(PLazyNode node) {
  if (!node || !RowRecord(node)) return;
  tree_->WriteCheckState(node, tree_->GetCheckState(node) == csUncheckedNormal ? csCheckedNormal : csUncheckedNormal);
}

void TCollectionFrame::OnMouseUp(TBaseLazyTree&, int, unsigned, int x, int y) {
  PLazyNode node = tree_->GetNodeAt(x, y);
  if (!node) return;
  if (x < kCheckColumn) {
    ToggleMark(node);
    return;
  }
  const int row = static_cast<int>(tree_->DefaultNodeHeight());
  if (((y - tree_->OffsetY()) % row + row) % row >= kSecondLine) return;
  const TMP3Info* record = RowRecord(node);
  if (!record) return;
  const std::string artist = record->GetTagPart(kTagArtist);
  int limit = 0;
  {
    const ui::WindowDc dc = ui::GetClientDc(tree_->Handle());
    const int saved = SaveDC(dc.Get());
    SelectObject(dc.Get(), tree_->FontHandle());
    const double width = TextWidth(dc.Get(), artist) * 1.2;
    RestoreDC(dc.Get(), saved);
    limit = static_cast<int>(std::nearbyint(width)) + 27;
  }
  const std::string address = x < limit ? MusicStoreAddress(artist, "artist")
                                        : MusicStoreAddress(record->GetTagPart(kTagAlbum), "album");
  if (!address.empty()) ui::ShellDefault(address);  // the shell's failures are not reported
}

void TCollectionFrame::OnKeyUp(TBaseLazyTree&, WORD& key) {
  if (key == VK_SPACE) ToggleMark(tree_->FocusedNode());
}

void TCollectionFrame::PlayButtonClick(ui::TComponent*) {
  if (const TMP3Info* record = RowRecord(tree_->FocusedNode())) ui::ShellDefault(ToWString(record->FilePath()));
}

namespace {

void ApplyCheckButton(TResultTree& tree, TCheckButton button, const std::function<TMP3Info*(PLazyNode)>& recordOf) {
  tree.BeginUpdate();
  ScopeGuard end([&] { tree.EndUpdate(); });
  for (PLazyNode node = tree.GetFirst(); node; node = tree.GetNextSibling(node)) {
    const TMP3Info* record = recordOf(node);
    const bool checked = record && CheckedAfter(button, record->Tag, tree.GetCheckState(node) == csCheckedNormal);
    tree.WriteCheckState(node, checked ? csCheckedNormal : csUncheckedNormal);
  }
}

}  // namespace

void TCollectionFrame::CheckAllButtonClick(ui::TComponent*) {
  ApplyCheckButton(*tree_, TCheckButton::All, [this](PLazyNode n) { return RowRecord(n); });
}
void TCollectionFrame::CheckNoneButtonClick(ui::TComponent*) {
  ApplyCheckButton(*tree_, TCheckButton::None, [this](PLazyNode n) { return RowRecord(n); });
}
void TCollectionFrame::CheckInvertButtonClick(ui::TComponent*) {
  ApplyCheckButton(*tree_, TCheckButton::Invert, [this](PLazyNode n) { return RowRecord(n); });
}

void TCollectionFrame::CheckSmartButtonClick(ui::TComponent*) {
  std::vector<PLazyNode> nodes;
  std::vector<const TMP3Info*> rows;
  for (PLazyNode node = tree_->GetFirst(); node; node = tree_->GetNextSibling(node)) {
    nodes.push_back(node);
    rows.push_back(RowRecord(node));
  }
  const std::vector<bool> marks = SmartMarks(rows, KeepPreferences());
  tree_->BeginUpdate();
  ScopeGuard end([&] { tree_->EndUpdate(); });
  for (size_t i = 0; i < nodes.size(); ++i)
    tree_->WriteCheckState(nodes[i], marks[i] ? csCheckedNormal : csUncheckedNormal);
}

void TCollectionFrame::Process(int mode) {
  if (!results_) return;
  std::vector<PLazyNode> nodes;
  std::vector<TProcessRow> rows;
  bool anyChecked = false;
  for (PLazyNode node = tree_->GetFirst(); node; node = tree_->GetNextSibling(node)) {
    nodes.push_back(node);
    rows.push_back({RowRecord(node), tree_->GetCheckState(node) == csCheckedNormal});
    anyChecked = anyChecked || rows.back().checked;
  }
  // Nothing checked: no chooser either.
  if (!anyChecked) return;
  std::wstring destination;
  bool savePaths = false;
  if ((mode & kProcessCopy) && !(ChooseDestination && ChooseDestination(destination, savePaths))) return;
  TWindowProcessUi processUi(ParentForm(), [this] { tree_->Repaint(); },
                             [&](size_t row) { tree_->WriteCheckState(nodes[row], csUncheckedNormal); });
  // The rows done lose their marks however the run ends: a save that fails
  // at its end leaves files in the reserve all the same.
  auto writeBack = [&] {
    tree_->BeginUpdate();
    {
      ScopeGuard end([&] { tree_->EndUpdate(); });
      for (size_t i = 0; i < nodes.size(); ++i)
        tree_->WriteCheckState(nodes[i], rows[i].checked ? csCheckedNormal : csUncheckedNormal);
    }
    tree_->Repaint();
  };
  TProcessResult result;
  try {
    result = ProcessRows(mode, rows, destination, savePaths, *reserve_, processUi);
  } catch (...) {
    writeBack();
    throw;
  }
  writeBack();
  if (const std::string summary = OwnFolderSummary(result); !summary.empty()) ShowMessageBox(summary, MB_OK | MB_ICONINFORMATION);
}

void TCollectionFrame::OptionsButtonClick(ui::TComponent*) {
  auto& dialog = Create<TTuneSmartFrame>();
  ScopeGuard free([&] { FreeComponent(&dialog); });
  dialog.Run();
}

void TCollectionFrame::DelButtonClick(ui::TComponent*) { Process(kProcessReserve); }
void TCollectionFrame::MoveButtonClick(ui::TComponent*) { Process(kProcessCopy | kProcessReserve); }
void TCollectionFrame::CopyButtonClick(ui::TComponent*) { Process(kProcessCopy); }

void TCollectionFrame::Export(ui::TComponent*) {
  auto& dialog = Get<ui::TSaveDialog>("SaveDialog1");
  if (!dialog.Execute()) return;
  std::vector<const TMP3Info*> rows;
  for (PLazyNode node = tree_->GetFirst(); node; node = tree_->GetNextSibling(node))
    if (const TMP3Info* record = RowRecord(node)) rows.push_back(record);
  ExportReport(dialog.WideFileName.empty() ? AnsiToWString(dialog.FileName) : dialog.WideFileName, rows);
}

}  // namespace kv
