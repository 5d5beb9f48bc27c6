#pragma once
// Image lists, the tool bar and its buttons.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "base/handle.h"
#include "ui/control_win.h"

namespace kv::ui {

struct ImageListTraits {
  using Type = HIMAGELIST;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ImageList_Destroy(h); }
};
using ImageListHandle = Handle<ImageListTraits>;

class TImageList;

// Tells its owner of every change of one image list's images (added images,
// a new size, another shared list, another type). A link unregisters itself
// when it dies; a dying list unhooks its links first.
class TChangeLink {
 public:
  explicit TChangeLink(TNotifyEvent onChange = nullptr) : OnChange(std::move(onChange)) {}
  TChangeLink(const TChangeLink&) = delete;
  TChangeLink& operator=(const TChangeLink&) = delete;
  ~TChangeLink();
  // The list this link is registered with (null: none).
  TImageList* Sender() const { return sender_; }
  TNotifyEvent OnChange;

 private:
  friend class TImageList;
  TImageList* sender_ = nullptr;
};

// How a list's images are drawn: as they are, or as their masks.
enum class TImageType { itImage, itMask };

class TImageList : public TComponent {
 public:
  TImageList() = default;
  ~TImageList() override;
  const char* ClassName() const override { return "TImageList"; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Changing the size empties the list.
  void SetSize(int width, int height);
  int Count() const;
  HIMAGELIST Handle();
  // The list's handle without making one (null while the list has none).
  HIMAGELIST HandleIfMade() const { return Current(); }
  // Cuts a bitmap strip into tiles of the list's size; the colour of the
  // strip's bottom-left pixel is transparent.
  void AddStrip(HBITMAP strip);
  void LoadStripResource(const std::string& name);
  void Draw(HDC dc, int x, int y, int index) const;
  // The disabled look of an image: its shape in the button highlight colour
  // one pixel right and down, then in the button shadow colour in place.
  // `overlay`: an overlay mask (INDEXTOOVERLAYMASK) whose shape joins it.
  void DrawDisabled(HDC dc, int x, int y, int index, UINT overlay = 0) const;
  // Non-owning mode: shows a list that someone else owns and frees (the
  // system's image list); the size becomes the list's. Null leaves the mode.
  void ShareHandle(HIMAGELIST shared);
  bool SharesHandle() const { return shared_ != nullptr; }
  TImageType ImageType() const { return imageType_; }
  void SetImageType(TImageType type);

  // A registered link hears of every change until it is unregistered or
  // either side dies. Registering a link moves it from its former list.
  void RegisterChanges(TChangeLink& link);
  void UnRegisterChanges(TChangeLink& link);
  // Tells the links; whoever changes the images through Handle() calls it.
  void Change();

 private:
  HIMAGELIST Current() const { return shared_ ? shared_ : list_.Get(); }
  int width_ = 16, height_ = 16;
  ImageListHandle list_;
  HIMAGELIST shared_ = nullptr;
  TImageType imageType_ = TImageType::itImage;
  std::vector<TChangeLink*> links_;
};

class TToolBar;

enum class TToolButtonStyle { Button, Separator, Check };

class TToolButton : public TComponent {
 public:
  ~TToolButton() override;
  const char* ClassName() const override { return "TToolButton"; }
  void SetParentComponent(TComponent* parent) override;
  TToolBar* ToolBar() const { return toolBar_; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint) { hint_ = std::move(hint); }
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index);
  TToolButtonStyle Style() const { return style_; }
  void SetStyle(TToolButtonStyle style);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  TNotifyEvent OnClick;
  void Click();

  bool GetTextProperty(std::string_view name, std::string& value) const override;
  bool SetTextProperty(std::string_view name, const std::string& value) override;

 private:
  friend class TToolBar;
  TToolBar* toolBar_ = nullptr;
  std::string caption_, hint_;
  int imageIndex_ = -1;
  TToolButtonStyle style_ = TToolButtonStyle::Button;
  bool enabled_ = true, visible_ = true;
};

class TToolBar : public TControl {
 public:
  TToolBar();
  ~TToolBar() override;
  const char* ClassName() const override { return "TToolBar"; }
  void SetImages(TImageList* images);
  void SetButtonSize(int width, int height);
  int ButtonWidth() const { return buttonWidth_; }
  int ButtonHeight() const { return buttonHeight_; }
  void SetFlat(bool on);
  void SetShowCaptions(bool on);
  void SetAutoSize(bool on);
  size_t ButtonCount() const { return buttons_.size(); }
  TToolButton* Buttons(size_t index) const { return buttons_.at(index); }
  void AddButton(TToolButton* button);
  void RemoveButton(TToolButton* button);
  // Puts the buttons into the window again.
  void RebuildButtons();
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitHandle() override;
  void CommandIdNotify(WORD id, WORD code) override;
  bool NotifyNotify(NMHDR* header, LRESULT& result) override;

 private:
  std::vector<TToolButton*> buttons_;
  TImageList* images_ = nullptr;
  int buttonWidth_ = 23, buttonHeight_ = 22;
  bool flat_ = false, showCaptions_ = false, autoSize_ = false;
  std::wstring tipText_;  // lives until the tooltip has copied it
};

}  // namespace kv::ui
