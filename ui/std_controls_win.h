#pragma once
// The standard controls the program's forms use, each over its Win32
// control. Setting a value from code never fires the control's change or
// click event; only the user's actions do.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/control_win.h"
#include "ui/forms_win.h"
#include "ui/graphics_win.h"

namespace kv::ui {

enum class TAlignment { Left, Center, Right };
enum class TBevel { None, Raised, Lowered };
// The sides a panel's bevel is drawn on (BF_LEFT ...; all four by default).
using TBevelEdges = UINT;

class TPanel : public TControl {
 public:
  TPanel();
  const char* ClassName() const override { return "TPanel"; }
  TBevel BevelOuter() const { return bevel_; }
  void SetBevelOuter(TBevel bevel);
  TBevelEdges BevelEdges() const { return bevelEdges_; }
  void SetBevelEdges(TBevelEdges edges);
  void SetAlignment(TAlignment alignment);
  TAlignment Alignment() const { return alignment_; }
  void SetDoubleBuffered(bool on);
  void SetText(const std::string& text) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void WndProc(TMessage& m) override;

 private:
  TBevel bevel_ = TBevel::Raised;
  TBevelEdges bevelEdges_ = BF_RECT;
  TAlignment alignment_ = TAlignment::Center;
  bool doubleBuffered_ = false;
};

class TGroupBox : public TControl {
 public:
  TGroupBox();
  const char* ClassName() const override { return "TGroupBox"; }

 protected:
  void CreateParams(TCreateParams& params) override;
  TBounds AlignRect() const override;
};

class TButton : public TControl {
 public:
  TButton();
  const char* ClassName() const override { return "TButton"; }
  bool Default() const { return default_; }
  void SetDefault(bool on);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool on) { cancel_ = on; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result) { modalResult_ = result; }
  // Sets the form's modal result (when it has one), then runs OnClick.
  void Click() override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CommandNotify(WORD code) override;
  bool ReportsOwnClicks() const override { return true; }
  HBRUSH CtlColor(HDC dc) override;
  bool NotifyNotify(NMHDR* header, LRESULT& result) override;

 private:
  bool default_ = false, cancel_ = false;
  int modalResult_ = 0;
};

class TSpeedButton : public TButton {
 public:
  const char* ClassName() const override { return "TSpeedButton"; }

 protected:
  void CreateParams(TCreateParams& params) override;
};

class TCheckBox : public TControl {
 public:
  TCheckBox();
  const char* ClassName() const override { return "TCheckBox"; }
  bool Checked() const;
  void SetChecked(bool checked);

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitHandle() override;
  void CommandNotify(WORD code) override;
  bool ReportsOwnClicks() const override { return true; }

 private:
  bool checked_ = false;
};

class TRadioButton : public TControl {
 public:
  TRadioButton();
  const char* ClassName() const override { return "TRadioButton"; }
  bool Checked() const { return checked_; }
  // Checking one clears the other radio buttons of the same parent.
  void SetChecked(bool checked);

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitHandle() override;
  void CommandNotify(WORD code) override;
  bool ReportsOwnClicks() const override { return true; }

 private:
  bool checked_ = false;
};

class TRadioGroup : public TGroupBox {
 public:
  TRadioGroup();
  ~TRadioGroup() override;
  const char* ClassName() const override { return "TRadioGroup"; }
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);
  int ItemIndex() const;
  void SetItemIndex(int index);

 protected:
  void ApplyBounds() override;
  void FontChanged() override;

 private:
  void Arrange();
  void ButtonClicked(TComponent* sender);

  std::vector<std::string> items_;
  std::vector<std::unique_ptr<TRadioButton>> buttons_;
};

class TLabel : public TControl {
 public:
  TLabel();
  const char* ClassName() const override { return "TLabel"; }
  void SetAutoSize(bool on);
  void SetWordWrap(bool on);
  void SetAlignment(TAlignment alignment);
  // Off: "&" is drawn as it stands instead of underlining the next letter
  // (labels that show file names, tags or other user text).
  void SetShowAccelChar(bool on);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetText(const std::string& text) override;
  void Loaded() override;

 protected:
  void TextChanged() override;
  void CreateParams(TCreateParams& params) override;
  void CommandNotify(WORD code) override;
  bool ReportsOwnClicks() const override { return true; }
  void FontChanged() override;

 private:
  void AdjustSize();
  DWORD StaticType() const;
  bool autoSize_ = true, wordWrap_ = false, showAccelChar_ = true;
  TAlignment alignment_ = TAlignment::Left;
};

class TEdit : public TControl {
 public:
  TEdit();
  const char* ClassName() const override { return "TEdit"; }
  void SetReadOnly(bool on);
  bool ReadOnly() const { return readOnly_; }
  // bsNone: no sunken border; any other style: the usual one.
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style);
  void SetText(const std::string& text) override;
  TNotifyEvent OnChange;
  // Runs for every typed character; setting key to 0 drops it.
  TKeyPressEvent OnKeyPress;

 protected:
  void CreateParams(TCreateParams& params) override;
  void WndProc(TMessage& m) override;
  void PutWindowText(const std::wstring& text) override;
  void CommandNotify(WORD code) override;
  HBRUSH CtlColor(HDC dc) override;
  bool HasCaption() const override { return false; }

  bool readOnly_ = false;
  bool settingText_ = false;
  TBorderStyle borderStyle_ = TBorderStyle::Single;
};

enum class TScrollStyle { None, Horizontal, Vertical, Both };

class TMemo : public TEdit {
 public:
  TMemo();
  const char* ClassName() const override { return "TMemo"; }
  void SetScrollBars(TScrollStyle style);
  void SetWordWrap(bool on);
  bool WantReturns() const { return !readOnly_; }
  // Appends one line (CR LF between lines).
  void AddLine(const std::string& line);

 protected:
  void CreateParams(TCreateParams& params) override;

 private:
  TScrollStyle scrollBars_ = TScrollStyle::None;
  bool wordWrap_ = true;
};

class TComboBox : public TControl {
 public:
  TComboBox();
  const char* ClassName() const override { return "TComboBox"; }
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);
  int ItemIndex() const;
  void SetItemIndex(int index);
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitHandle() override;
  void CommandNotify(WORD code) override;
  TBounds WindowBounds() const override;
  bool HasCaption() const override { return false; }

 private:
  std::vector<std::string> items_;
  int itemIndex_ = -1;
};

class TTrackBar : public TControl {
 public:
  TTrackBar();
  const char* ClassName() const override { return "TTrackBar"; }
  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetRange(int min, int max);
  int Position() const;
  // Clamped to the range.
  void SetPosition(int position);
  void SetLineSize(int size);
  void SetPageSize(int size);
  void SetFrequency(int frequency);
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitHandle() override;
  void ScrollNotify(WORD code) override;

 private:
  int min_ = 0, max_ = 10, position_ = 0, lineSize_ = 1, pageSize_ = 2, frequency_ = 1;
};

class TProgressBar : public TControl {
 public:
  TProgressBar();
  const char* ClassName() const override { return "TProgressBar"; }
  void SetRange(int min, int max);
  int Position() const { return position_; }
  void SetPosition(int position);

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitHandle() override;

 private:
  int min_ = 0, max_ = 100, position_ = 0;
};

class TStatusBar : public TControl {
 public:
  struct TPanelSpec {
    std::string text;
    int width = 50;
  };
  TStatusBar();
  const char* ClassName() const override { return "TStatusBar"; }
  const std::vector<TPanelSpec>& Panels() const { return panels_; }
  void SetPanels(std::vector<TPanelSpec> panels);
  void SetPanelText(size_t index, const std::string& text);
  // The panel's text as the control shows it.
  std::string PanelText(size_t index) const;

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitHandle() override;

 private:
  std::vector<TPanelSpec> panels_;
};

class TImage : public TControl {
 public:
  TImage();
  const char* ClassName() const override { return "TImage"; }
  const TBitmap& Picture() const { return picture_; }
  void SetPicture(TBitmap picture);
  void SetAutoSize(bool on) { autoSize_ = on; }
  void SetStretch(bool on) { stretch_ = on; }
  void SetCenter(bool on) { center_ = on; }
  // The picture's bottom-left colour is not drawn: the parent shows there.
  void SetTransparent(bool on);

 protected:
  void WndProc(TMessage& m) override;

 private:
  TBitmap picture_;
  bool autoSize_ = false, stretch_ = false, center_ = false, transparent_ = false;
};

}  // namespace kv::ui
