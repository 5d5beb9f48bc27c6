#include "foundation/log_display_win.h"

#include <windows.h>

#include <vector>

#include "foundation/translate.h"
#include "ui/application_win.h"

namespace kv {

namespace {

constexpr int kWindowWidth = 400;
constexpr DWORD kFinishPollMs = 50;

std::vector<std::string> OptionLines(const std::string& options) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = options.find("\r\n", start);
    lines.push_back(options.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  if (lines.size() > 1 && lines.back().empty()) lines.pop_back();  // a closing line break
  return lines;
}

}  // namespace

TLogDisplay::TLogDisplay() {
  Form = &Create<ui::TForm>();
  Form->SetBorderStyle(ui::TBorderStyle::Single);
  Form->SetBorderIcons(0);
  Form->SetWidth(kWindowWidth);
  Form->OnClose = [this](ui::TComponent* s, ui::TCloseAction& a) { FormClose(s, a); };
}

TLogDisplay::~TLogDisplay() {
  *alive_ = false;
  SetParentForm(nullptr);
  DestroyComponents();
}

void TLogDisplay::Notification(ui::TComponent* component, ui::TOperation operation) {
  if (operation == ui::TOperation::Remove && component == ParentForm) ParentForm = nullptr;
}

void TLogDisplay::SetParentForm(ui::TForm* form) {
  if (ParentForm) {
    ParentForm->SetEnabled(true);
    ParentForm->RemoveFreeNotification(this);
  }
  ParentForm = form;
  if (ParentForm) {
    ParentForm->FreeNotification(this);
    ParentForm->SetEnabled(false);
  }
}

void TLogDisplay::ClearControls() {
  for (ui::TControl* c : {static_cast<ui::TControl*>(StatusLabel), static_cast<ui::TControl*>(Memo),
                          static_cast<ui::TControl*>(ProgressBar), static_cast<ui::TControl*>(StopButton)})
    if (c) Form->FreeComponent(c);
  StatusLabel = nullptr;
  Memo = nullptr;
  ProgressBar = nullptr;
  StopButton = nullptr;
}

void TLogDisplay::Start(const std::string& caption, int flags, bool stayOnTop, ui::TForm* parent) {
  if (!parent) parent = ui::Application().MainForm();
  if (parent == Form) parent = nullptr;
  Caption = caption;
  Stopped = false;
  SetParentForm(nullptr);  // a Start without Finish leaves nothing disabled
  Form->SetText(caption);
  ClearControls();
  const int width = Form->ClientWidth();
  int height = 0;
  if (flags & kStatusLine) {
    StatusLabel = &Form->Create<ui::TLabel>();
    StatusLabel->SetShowAccelChar(false);  // file names
    StatusLabel->SetParent(Form);
    StatusLabel->SetAutoSize(false);
    const SIZE line = ui::MeasureText("Wg", StatusLabel->FontHandle(), 0);
    StatusLabel->SetBounds(5, height + 5, width - 10, line.cy);
    height += StatusLabel->Height() + 10;
  }
  if (flags & kTextArea) {
    Memo = &Form->Create<ui::TMemo>();
    Memo->SetReadOnly(true);
    Memo->SetScrollBars(ui::TScrollStyle::Both);
    Memo->SetWordWrap(false);
    Memo->SetParent(Form);
    Memo->SetBounds(5, height + 5, width - 10, Memo->Height());
    height += Memo->Height() + 10;
  }
  if (flags & kProgressBar) {
    ProgressBar = &Form->Create<ui::TProgressBar>();
    ProgressBar->SetRange(0, 100);
    ProgressBar->SetParent(Form);
    ProgressBar->SetBounds(5, height + 5, width - 10, ProgressBar->Height());
    height += ProgressBar->Height() + 10;
  }
  if (flags & kStopButton) {
    StopButton = &Form->Create<ui::TButton>();
    StopButton->SetParent(Form);
    StopButton->SetBounds(width - StopButton->Width() - 10, height + 5, StopButton->Width(),
                          StopButton->Height());
    StopButton->OnClick = [this](ui::TComponent* s) { StopClick(s); };
    height += StopButton->Height() + 10;
  }
  Form->SetClientHeight(height);
  Form->CenterOn(parent);
  // Anchored once the window has its size, so that they keep the places
  // just given: the text area and the bar stretch with the width and, held
  // at neither edge vertically, move by half of what a question adds below;
  // the stop button keeps to the top right corner.
  for (ui::TControl* c : {static_cast<ui::TControl*>(Memo), static_cast<ui::TControl*>(ProgressBar)})
    if (c) c->SetAnchors(ui::akLeft | ui::akRight);
  if (StopButton) StopButton->SetAnchors(ui::akTop | ui::akRight);
  pace_.Restart();
  Refresh();
  Form->SetFormStyle(stayOnTop ? ui::TFormStyle::StayOnTop : ui::TFormStyle::Normal);
  Form->Show();
  if (stayOnTop) SetParentForm(parent);
}

// Every text set paints at once (under Wine a round trip to the display),
// so the texts and the bar follow at the screen's pace, the latest values
// winning; messages are processed on every call.
void TLogDisplay::Refresh() {
  if (pace_.Due()) Show();
  ui::Application().ProcessMessages();
}

void TLogDisplay::Show() {
  if (StatusLabel && StatusLabel->Text() != Status) StatusLabel->SetText(Status);
  if (ProgressBar) ProgressBar->SetPosition(Progress);
  if (StopButton && StopButton->Text() != StopCaption) StopButton->SetText(StopCaption);
  if (Form->Text() != Caption) Form->SetText(Caption);
  Form->Repaint();
}

int TLogDisplay::Ask(const std::string& options, const std::string& question) {
  if (!StopButton || options.empty()) return -1;
  Show();  // the question comes with the latest texts and position
  const std::vector<std::string> lines = OptionLines(options);
  const int savedClientHeight = Form->ClientHeight();

  ui::TLabel& label = Form->Create<ui::TLabel>();
  label.SetShowAccelChar(false);  // questions name files
  label.SetParent(Form);
  label.SetText(question);
  label.SetBounds(5, StopButton->Top() + 5, label.Width(), label.Height());
  if (Form->ClientWidth() < label.Width() + 10) Form->SetClientWidth(label.Width() + 10);
  const int shift = label.Height() + 10;
  StopButton->SetTop(StopButton->Top() + shift);
  Form->SetClientHeight(StopButton->Top() + StopButton->Height() + 5);

  std::vector<ui::TButton*> buttons;
  int left = StopButton->Left();
  for (size_t i = lines.size(); i-- > 0;) {
    ui::TButton& b = Form->Create<ui::TButton>();
    b.SetParent(StopButton->Parent());
    b.SetTag(static_cast<intptr_t>(i));
    b.SetText(lines[i]);
    b.SetBounds(left - b.Width() - 20, StopButton->Top(), b.Width(), b.Height());
    b.SetAnchors(ui::akRight);
    b.OnClick = [this](ui::TComponent* s) { AnswerClick(s); };
    left = b.Left();
    buttons.push_back(&b);
  }

  Answer = -2;
  std::string savedStatus;
  if (StatusLabel) {
    savedStatus = StatusLabel->Text();
    StatusLabel->SetText(Translate("Confirmation") + ":");
  }
  ui::TApplication& app = ui::Application();
  const std::shared_ptr<bool> alive = alive_;
  while (Answer < -1) {
    app.HandleMessage();
    app.ProcessMessages();
    if (!*alive) return -1;  // freed by a handler meanwhile: its window went with it
    if (app.Terminated()) {  // the program is ending: no answer, and the quit goes on
      Answer = -1;
      app.RepostQuit();
    }
  }

  for (ui::TButton* b : buttons) Form->FreeComponent(b);
  Form->FreeComponent(&label);
  if (StatusLabel) StatusLabel->SetText(savedStatus);
  StopButton->SetTop(StopButton->Top() - shift);
  Form->SetClientHeight(savedClientHeight);
  Form->Repaint();
  return Answer;
}

void TLogDisplay::Finish(bool waitForStop) {
  ui::TApplication& app = ui::Application();
  const std::shared_ptr<bool> alive = alive_;
  // Without a stop button nothing but closing could end the wait.
  while (waitForStop && StopButton && !Stopped) {
    Sleep(kFinishPollMs);
    app.ProcessMessages();
    if (!*alive) return;
    if (app.Terminated()) {
      app.RepostQuit();
      break;
    }
  }
  SetParentForm(nullptr);
  Form->Hide();
}

void TLogDisplay::StopClick(ui::TComponent*) {
  Stopped = true;
  Answer = -1;
}

void TLogDisplay::AnswerClick(ui::TComponent* sender) { Answer = static_cast<int>(sender->Tag()); }

// Closing the window is the same as Stop; it stays up until Finish hides it.
void TLogDisplay::FormClose(ui::TComponent*, ui::TCloseAction& action) {
  Stopped = true;
  Answer = -1;
  action = ui::TCloseAction::None;
}

}  // namespace kv
