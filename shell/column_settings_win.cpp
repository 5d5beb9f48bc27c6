#include "shell/column_settings_win.h"

#include <algorithm>
#include <utility>

namespace kv {

namespace {

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

std::u16string EditText(ui::TEdit& edit) {
  HWND h = edit.HandleIfAllocated();
  if (!h) return {};
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(h, text.data(), static_cast<int>(text.size()))));
  return std::u16string(text.begin(), text.end());
}

int TextWidthOf(ui::TControl& control) {
  HWND h = control.HandleIfAllocated();
  if (!h) return control.Width();
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(h, text.data(), static_cast<int>(text.size()))));
  HDC dc = GetDC(h);
  HGDIOBJ old = SelectObject(dc, control.FontHandle());
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(h, dc);
  return size.cx;
}

}  // namespace

// The width box: leaving it stores the width.
class TFormColumnSettings::TWidthEdit : public ui::TEdit {
 public:
  std::function<void()> OnLeave;

 protected:
  void WndProc(ui::TMessage& m) override {
    ui::TEdit::WndProc(m);
    // Left for another control of the dialog (not for another window).
    if (m.msg == WM_KILLFOCUS && OnLeave) {
      const HWND to = reinterpret_cast<HWND>(m.wParam);
      if (to && GetAncestor(to, GA_ROOT) == GetAncestor(HandleIfAllocated(), GA_ROOT)) OnLeave();
    }
  }
};

TFormColumnSettings::TFormColumnSettings() {
  SetCaption("Column Settings");
  SetBorderIcons(ui::biSystemMenu);
  SetPosition(ui::TPosition::ScreenCenter);
  ui::TFontSpec font;
  font.name = "MS Sans Serif";
  font.height = -11;
  SetFont(font);
  SetBounds(0, 0, 295, 370);
  SetMinSize(295, 370);
  const int cw = ClientWidth(), ch = ClientHeight();

  Panel1 = &Create<ui::TPanel>();
  Panel1->SetParent(this);
  Panel1->SetBevelOuter(ui::TBevel::None);
  Panel1->SetBounds(0, 0, cw, 35);
  Panel1->SetAlign(ui::TAlign::Top);
  Label1 = &Create<ui::TLabel>();
  Label1->SetParent(Panel1);
  Label1->SetAutoSize(false);
  Label1->SetWordWrap(true);
  Label1->SetAlignment(ui::TAlignment::Center);
  Label1->SetBounds(4, 4, cw - 8, 27);
  Label1->SetAnchors(ui::akLeft | ui::akTop | ui::akRight);
  Label1->SetText(
      "Check the columns you would like to make visible in this Folder.  Drag and Drop to reorder the columns. ");

  LSTColumnNames = &Create<TLazyStringTree>();
  LSTColumnNames->SetParent(this);
  LSTColumnNames->SetBounds(8, 40, cw - 16, ch - 40 - 92);
  LSTColumnNames->SetAnchors(ui::akLeft | ui::akTop | ui::akRight | ui::akBottom);
  LSTColumnNames->SetCheckImageKind(ckDarkCheck);
  LSTColumnNames->SetNodeDataSize(static_cast<int>(sizeof(TColumnData*)));
  auto& options = LSTColumnNames->TreeOptions();
  options.SetAutoOptions(toAutoDropExpand | toAutoScroll | toAutoScrollOnExpand | toAutoTristateTracking);
  options.SetMiscOptions(toAcceptOLEDrop | toCheckSupport | toInitOnSave | toToggleOnDblClick);
  options.SetPaintOptions(toShowButtons | toShowRoot | toThemeAware | toUseBlendedImages);

  Label2 = &Create<ui::TLabel>();
  Label2->SetParent(this);
  Label2->SetText("The selected column should be ");
  Label2->SetBounds(8, ch - 84, 150, 13);
  auto& edit = Create<TWidthEdit>();
  EditPixelWidth = &edit;
  EditPixelWidth->SetParent(this);
  EditPixelWidth->SetBounds(160, ch - 88, 35, 21);
  Label3 = &Create<ui::TLabel>();
  Label3->SetParent(this);
  Label3->SetText("pixels wide");
  Label3->SetBounds(200, ch - 84, 60, 13);
  CheckBoxLiveUpdate = &Create<ui::TCheckBox>();
  CheckBoxLiveUpdate->SetParent(this);
  CheckBoxLiveUpdate->SetText("Live Update");
  CheckBoxLiveUpdate->SetBounds(8, ch - 62, 120, 17);
  Bevel1 = &Create<ui::TPanel>();
  Bevel1->SetParent(this);
  Bevel1->SetBevelOuter(ui::TBevel::Lowered);
  Bevel1->SetBounds(8, ch - 40, cw - 16, 2);
  Bevel1->SetAnchors(ui::akLeft | ui::akRight | ui::akBottom);
  ButtonOk = &Create<ui::TButton>();
  ButtonOk->SetParent(this);
  ButtonOk->SetText("&OK");
  ButtonOk->SetModalResult(ui::mrOk);
  ButtonOk->SetBounds(cw - 168, ch - 32, 75, 25);
  ButtonCancel = &Create<ui::TButton>();
  ButtonCancel->SetParent(this);
  ButtonCancel->SetText("&Cancel");
  ButtonCancel->SetModalResult(ui::mrCancel);
  ButtonCancel->SetBounds(cw - 85, ch - 32, 75, 25);
  for (ui::TControl* c : {static_cast<ui::TControl*>(Label2), static_cast<ui::TControl*>(EditPixelWidth),
                          static_cast<ui::TControl*>(Label3), static_cast<ui::TControl*>(CheckBoxLiveUpdate)})
    c->SetAnchors(ui::akLeft | ui::akBottom);
  for (ui::TControl* c : {ButtonOk, ButtonCancel}) c->SetAnchors(ui::akRight | ui::akBottom);

  LSTColumnNames->OnGetText = [this](TBaseLazyTree&, PLazyNode node, TColumnIndex, TLSTTextType, std::wstring& text) {
    if (TColumnData* d = Data(node)) text = Wide(d->Title);
  };
  LSTColumnNames->OnInitNode = [this](TLazyTreeModel&, PLazyNode, PLazyNode node, TLazyNodeInitStates&) {
    node->CheckType = ctCheckBox;
    if (TColumnData* d = Data(node)) node->CheckState = d->Visible ? csCheckedNormal : csUncheckedNormal;
  };
  LSTColumnNames->OnChecked = [this](TLazyTreeModel&, PLazyNode node) {
    if (TColumnData* d = Data(node)) d->Visible = LSTColumnNames->GetCheckState(node) == csCheckedNormal;
    LiveUpdate();
  };
  LSTColumnNames->OnFocusChanging = [this](TLazyTreeModel&, PLazyNode oldNode, PLazyNode newNode, TColumnIndex,
                                           TColumnIndex, bool& allowed) {
    if (oldNode) StoreWidth(oldNode);
    if (TColumnData* d = Data(newNode)) EditPixelWidth->SetText(std::to_string(d->Width));
    allowed = true;
  };
  // Rows are reordered by the tree's own drag and drop (drag image, drop
  // target, auto-scroll); the drop moves the remembered row itself.
  LSTColumnNames->OnDragAllowed = [this](TBaseLazyTree&, PLazyNode node, TColumnIndex, bool& allowed) {
    dragNode_ = node;
    allowed = true;
  };
  LSTColumnNames->OnDragOver = [](TBaseLazyTree&, TBaseLazyTree*, TShiftState, TDragState, POINT, TDropMode, DWORD&,
                                  bool& accept) { accept = true; };
  LSTColumnNames->OnDragDrop = [this](TBaseLazyTree& tree, TBaseLazyTree* source, IDataObject*,
                                      const std::vector<CLIPFORMAT>&, TShiftState, POINT, DWORD& effect, TDropMode) {
    // The row is moved here: the source side must delete nothing.
    effect = DROPEFFECT_NONE;
    const PLazyNode dragged = std::exchange(dragNode_, nullptr);
    // The remembered row is this list's only while its own drag runs; a drop
    // from elsewhere (files from another program) moves nothing.
    if (source != &tree || !dragged || !tree.DropTargetNode()) return;
    DropEntry(PlaceOf(dragged), PlaceOf(tree.DropTargetNode()));
  };
  EditPixelWidth->OnKeyPress = [this](ui::TComponent*, char& key) { WidthKey(key); };
  edit.OnLeave = [this] {
    if (PLazyNode node = LSTColumnNames->GetFirstSelected()) StoreWidth(node);
    LiveUpdate();
  };
  CheckBoxLiveUpdate->OnClick = [this](ui::TComponent*) { LiveUpdate(); };
  OnResize = [this](ui::TComponent*) { PlaceWidthRow(); };
  PlaceWidthRow();
}

TFormColumnSettings::~TFormColumnSettings() { LSTColumnNames->Clear(); }

TColumnData* TFormColumnSettings::Data(PLazyNode node) const {
  if (!node) return nullptr;
  auto* slot = static_cast<TColumnData**>(LSTColumnNames->GetNodeData(node));
  return slot ? *slot : nullptr;
}

void TFormColumnSettings::SetEntries(std::vector<TColumnData> entries) {
  LSTColumnNames->BeginUpdate();
  LSTColumnNames->Clear();
  data_.clear();
  dragNode_ = nullptr;
  for (TColumnData& e : entries) {
    data_.push_back(std::make_unique<TColumnData>(std::move(e)));
    PLazyNode node = LSTColumnNames->AddChild(nullptr);
    *static_cast<TColumnData**>(LSTColumnNames->GetNodeData(node)) = data_.back().get();
  }
  LSTColumnNames->EndUpdate();
}

std::vector<TColumnData> TFormColumnSettings::Entries() const {
  std::vector<TColumnData> out;
  for (PLazyNode n = LSTColumnNames->GetFirstNoInit(); n; n = LSTColumnNames->GetNextSibling(n))
    if (TColumnData* d = Data(n)) out.push_back(*d);
  return out;
}

size_t TFormColumnSettings::PlaceOf(PLazyNode node) const {
  size_t place = 0;
  for (PLazyNode n = LSTColumnNames->GetFirstNoInit(); n && n != node; n = LSTColumnNames->GetNextSibling(n)) ++place;
  return place;
}

void TFormColumnSettings::DropEntry(size_t dragged, size_t target) {
  PLazyNode from = nullptr, to = nullptr;
  size_t place = 0;
  for (PLazyNode n = LSTColumnNames->GetFirstNoInit(); n; n = LSTColumnNames->GetNextSibling(n), ++place) {
    if (place == dragged) from = n;
    if (place == target) to = n;
  }
  if (!from || !to) return;
  if (from != to) {
    // Each row carries its entry, check mark and width; a row moved down lands
    // after the target, one moved up before it.
    const TLTNodeAttachMode mode =
        dragged < target ? TLTNodeAttachMode::amInsertAfter : TLTNodeAttachMode::amInsertBefore;
    LSTColumnNames->MoveTo(from, to, mode, false);
  }
  // Every drop is told, one onto its own row too.
  LiveUpdate();
}

void TFormColumnSettings::StoreWidth(PLazyNode node) {
  TColumnData* d = Data(node);
  if (!d) return;
  if (std::optional<int32_t> width = ParseColumnWidth(EditText(*EditPixelWidth))) d->Width = *width;
}

void TFormColumnSettings::WidthKey(char& key) {
  if (!WidthBoxAccepts(static_cast<char16_t>(static_cast<unsigned char>(key)))) {
    key = 0;
    if (Beep) Beep();
  }
}

bool TFormColumnSettings::DialogKey(HWND focus, WPARAM key) {
  if (key != VK_RETURN) return ui::TForm::DialogKey(focus, key);
  if (focus == EditPixelWidth->HandleIfAllocated()) {
    if (PLazyNode node = LSTColumnNames->GetFirstSelected()) StoreWidth(node);
    LiveUpdate();
  } else {
    ButtonOk->Click();
  }
  return true;
}

void TFormColumnSettings::LiveUpdate() {
  if (CheckBoxLiveUpdate->Checked() && OnLiveUpdate) OnLiveUpdate(*this);
}

void TFormColumnSettings::PlaceWidthRow() {
  if (!Label2 || !EditPixelWidth || !Label3) return;
  const int w2 = TextWidthOf(*Label2), w3 = TextWidthOf(*Label3);
  const int left = (Width() - (w2 + EditPixelWidth->Width() + w3)) / 2 - 8;
  Label2->SetBounds(left, Label2->Top(), w2, Label2->Height());
  EditPixelWidth->SetLeft(left + w2 + 4);
  Label3->SetBounds(EditPixelWidth->Left() + EditPixelWidth->Width() + 4, Label3->Top(), w3, Label3->Height());
  CheckBoxLiveUpdate->SetLeft(left);
}

}  // namespace kv
