#include "ui/toolbar_win.h"

#include <algorithm>
#include <stdexcept>

#include "base/ansi_text_win.h"
#include "ui/application_win.h"
#include "ui/graphics_win.h"

namespace kv::ui {

// ------------------------------------------------------------- image list --
TChangeLink::~TChangeLink() {
  if (sender_) sender_->UnRegisterChanges(*this);
}

TImageList::~TImageList() {
  for (TChangeLink* link : links_) link->sender_ = nullptr;
}

void TImageList::RegisterChanges(TChangeLink& link) {
  if (link.sender_ == this) return;
  if (link.sender_) link.sender_->UnRegisterChanges(link);
  link.sender_ = this;
  links_.push_back(&link);
}

void TImageList::UnRegisterChanges(TChangeLink& link) {
  if (link.sender_ != this) return;
  link.sender_ = nullptr;
  links_.erase(std::remove(links_.begin(), links_.end(), &link), links_.end());
}

// A link's handler may unregister links or register new ones: only the
// links registered before the change and still registered hear of it.
void TImageList::Change() {
  const std::vector<TChangeLink*> links = links_;
  for (TChangeLink* link : links) {
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) Fire(link->OnChange, this);
  }
}

void TImageList::SetSize(int width, int height) {
  width_ = std::max(width, 1);
  height_ = std::max(height, 1);
  list_.Reset();
  shared_ = nullptr;
  Change();
}

void TImageList::ShareHandle(HIMAGELIST shared) {
  list_.Reset();
  shared_ = shared;
  int cx = 0, cy = 0;
  if (shared_ && ImageList_GetIconSize(shared_, &cx, &cy)) {
    width_ = cx;
    height_ = cy;
  }
  Change();
}

void TImageList::SetImageType(TImageType type) {
  if (type == imageType_) return;
  imageType_ = type;
  Change();
}

HIMAGELIST TImageList::Handle() {
  if (shared_) return shared_;
  if (!list_) {
    list_.Reset(ImageList_Create(width_, height_, ILC_COLOR32 | ILC_MASK, 0, 8));
    if (!list_) throw std::runtime_error("cannot create an image list");
  }
  return list_.Get();
}

int TImageList::Count() const { return Current() ? ImageList_GetImageCount(Current()) : 0; }

void TImageList::AddStrip(HBITMAP strip) {
  const WindowDc screen = GetClientDc(nullptr);
  const MemoryDc dc = CreateMemoryDc(screen.Get());
  BITMAP info{};
  GetObjectW(strip, sizeof info, &info);
  COLORREF transparent;
  {
    const SelectedObject sel = SelectInto(dc.Get(), strip);
    transparent = GetPixel(dc.Get(), 0, info.bmHeight - 1);
  }
  if (ImageList_AddMasked(Handle(), strip, transparent) < 0)
    throw std::runtime_error("cannot add images to an image list");
  Change();
}

void TImageList::LoadStripResource(const std::string& name) {
  const BitmapObject strip = LoadBitmapResource(name);
  AddStrip(strip.Get());
}

void TImageList::Draw(HDC dc, int x, int y, int index) const {
  if (Current()) ImageList_Draw(Current(), index, dc, x, y, ILD_TRANSPARENT);
}

void TImageList::DrawDisabled(HDC dc, int x, int y, int index, UINT overlay) const {
  HIMAGELIST list = Current();
  if (!list) return;
  int w = 0, h = 0;
  ImageList_GetIconSize(list, &w, &h);
  if (w <= 0 || h <= 0) return;
  // The shape: 0 where the image (or its overlay) covers, 1 elsewhere.
  const BitmapObject shape(CreateBitmap(w, h, 1, 1, nullptr));
  if (!shape) return;
  const MemoryDc mask = CreateMemoryDc(dc);
  const SelectedObject selected = SelectInto(mask.Get(), shape.Get());
  PatBlt(mask.Get(), 0, 0, w, h, WHITENESS);
  ImageList_DrawEx(list, index, mask.Get(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_MASK | (overlay & ILD_OVERLAYMASK));
  // A monochrome source takes the text colour for 0 bits: white there puts
  // the brush down, black elsewhere keeps what is under it.
  const COLORREF oldText = SetTextColor(dc, RGB(255, 255, 255));
  const COLORREF oldBack = SetBkColor(dc, RGB(0, 0, 0));
  constexpr DWORD kBrushWhereSourceSet = 0x00E20746;  // ((destination ^ brush) & source) ^ destination
  for (const auto& [offset, colour] : {std::pair{1, COLOR_BTNHIGHLIGHT}, std::pair{0, COLOR_BTNSHADOW}}) {
    const BrushObject brush = MakeSolidBrush(GetSysColor(colour));
    const SelectedObject b = SelectInto(dc, brush.Get());
    BitBlt(dc, x + offset, y + offset, w, h, mask.Get(), 0, 0, kBrushWhereSourceSet);
  }
  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBack);
}

// ------------------------------------------------------------ tool button --
TToolButton::~TToolButton() {
  if (toolBar_) toolBar_->RemoveButton(this);
}

void TToolButton::SetParentComponent(TComponent* parent) {
  if (auto* bar = dynamic_cast<TToolBar*>(parent)) bar->AddButton(this);
}

void TToolButton::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  if (toolBar_) toolBar_->RebuildButtons();
}

void TToolButton::SetImageIndex(int index) {
  imageIndex_ = index;
  if (toolBar_) toolBar_->RebuildButtons();
}

void TToolButton::SetStyle(TToolButtonStyle style) {
  style_ = style;
  if (toolBar_) toolBar_->RebuildButtons();
}

void TToolButton::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (toolBar_) toolBar_->RebuildButtons();
}

void TToolButton::SetVisible(bool visible) {
  visible_ = visible;
  if (toolBar_) toolBar_->RebuildButtons();
}

void TToolButton::Click() {
  Fire(OnClick, this);
}

bool TToolButton::GetTextProperty(std::string_view name, std::string& value) const {
  if (SameName(name, "Caption")) value = caption_;
  else if (SameName(name, "Hint")) value = hint_;
  else return false;
  return true;
}

bool TToolButton::SetTextProperty(std::string_view name, const std::string& value) {
  if (SameName(name, "Caption")) SetCaption(value);
  else if (SameName(name, "Hint")) SetHint(value);
  else return false;
  return true;
}

// --------------------------------------------------------------- tool bar --
TToolBar::TToolBar() {
  bounds_ = {0, 0, 150, 29};
  SetAlign(TAlign::Top);
}

TToolBar::~TToolBar() {
  for (TToolButton* b : buttons_) b->toolBar_ = nullptr;
}

void TToolBar::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = TOOLBARCLASSNAMEW;
  params.style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER | TBSTYLE_TOOLTIPS |
                  (flat_ ? TBSTYLE_FLAT : 0) |
                  (flat_ && VisualStylesEnabled() ? TBSTYLE_TRANSPARENT : 0);
}

void TToolBar::InitHandle() {
  SendMessageW(HandleIfAllocated(), TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  RebuildButtons();
}

void TToolBar::SetImages(TImageList* images) {
  if (images_) images_->RemoveFreeNotification(this);
  images_ = images;
  if (images_) images_->FreeNotification(this);
  RebuildButtons();
}

void TToolBar::Notification(TComponent* component, TOperation operation) {
  TControl::Notification(component, operation);
  if (operation == TOperation::Remove && component == images_) {
    images_ = nullptr;
    RebuildButtons();
  }
}

void TToolBar::SetButtonSize(int width, int height) {
  buttonWidth_ = width;
  buttonHeight_ = height;
  if (autoSize_) SetHeight(height + 2);
  RebuildButtons();
}

void TToolBar::SetFlat(bool on) {
  flat_ = on;
  HWND h = HandleIfAllocated();
  if (!h) return;
  const DWORD bits = TBSTYLE_FLAT | (VisualStylesEnabled() ? TBSTYLE_TRANSPARENT : 0);
  const auto style = static_cast<DWORD>(SendMessageW(h, TB_GETSTYLE, 0, 0));
  SendMessageW(h, TB_SETSTYLE, 0, on ? (style | bits) : (style & ~bits));
  InvalidateRect(h, nullptr, TRUE);
}

void TToolBar::SetShowCaptions(bool on) {
  showCaptions_ = on;
  RebuildButtons();
}

void TToolBar::SetAutoSize(bool on) {
  autoSize_ = on;
  if (on) SetHeight(buttonHeight_ + 2);
}

void TToolBar::AddButton(TToolButton* button) {
  if (button->toolBar_) button->toolBar_->RemoveButton(button);
  button->toolBar_ = this;
  buttons_.push_back(button);
  RebuildButtons();
}

void TToolBar::RemoveButton(TToolButton* button) {
  buttons_.erase(std::remove(buttons_.begin(), buttons_.end(), button), buttons_.end());
  button->toolBar_ = nullptr;
  RebuildButtons();
}

void TToolBar::RebuildButtons() {
  HWND h = HandleIfAllocated();
  if (!h || Loading()) return;
  while (SendMessageW(h, TB_BUTTONCOUNT, 0, 0) > 0) SendMessageW(h, TB_DELETEBUTTON, 0, 0);
  SendMessageW(h, TB_SETIMAGELIST, 0,
               reinterpret_cast<LPARAM>(images_ ? images_->Handle() : nullptr));
  SendMessageW(h, TB_SETBITMAPSIZE, 0,
               MAKELPARAM(images_ ? images_->Width() : 16, images_ ? images_->Height() : 15));
  std::vector<std::wstring> captions;
  captions.reserve(buttons_.size());
  std::vector<TBBUTTON> items;
  for (size_t i = 0; i < buttons_.size(); ++i) {
    const TToolButton* b = buttons_[i];
    captions.push_back(AnsiToWString(b->caption_));
    TBBUTTON item{};
    item.idCommand = static_cast<int>(i + 1);
    item.iBitmap = b->style_ == TToolButtonStyle::Separator ? 6 : b->imageIndex_;
    item.fsStyle = static_cast<BYTE>(b->style_ == TToolButtonStyle::Separator ? BTNS_SEP
                                     : b->style_ == TToolButtonStyle::Check   ? BTNS_CHECK
                                                                              : BTNS_BUTTON);
    item.fsState = static_cast<BYTE>((b->enabled_ ? TBSTATE_ENABLED : 0) |
                                     (b->visible_ ? 0 : TBSTATE_HIDDEN));
    item.iString = showCaptions_ ? reinterpret_cast<INT_PTR>(captions.back().c_str()) : -1;
    items.push_back(item);
  }
  if (!items.empty())
    SendMessageW(h, TB_ADDBUTTONSW, items.size(), reinterpret_cast<LPARAM>(items.data()));
  SendMessageW(h, TB_SETBUTTONSIZE, 0, MAKELPARAM(buttonWidth_, buttonHeight_));
}

void TToolBar::Loaded() {
  TControl::Loaded();
  RebuildButtons();
}

void TToolBar::CommandIdNotify(WORD id, WORD) {
  if (id >= 1 && id <= buttons_.size()) buttons_[id - 1]->Click();
}

bool TToolBar::NotifyNotify(NMHDR* header, LRESULT&) {
  if (header->code != TTN_GETDISPINFOW) return false;
  HWND tips = reinterpret_cast<HWND>(SendMessageW(HandleIfAllocated(), TB_GETTOOLTIPS, 0, 0));
  if (!tips || header->hwndFrom != tips) return false;
  auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
  const size_t id = header->idFrom;
  tipText_ = id >= 1 && id <= buttons_.size() ? AnsiToWString(buttons_[id - 1]->Hint()) : L"";
  info->lpszText = tipText_.data();
  return true;
}

}  // namespace kv::ui
