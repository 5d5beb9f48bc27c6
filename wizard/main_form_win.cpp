#include "wizard/main_form_win.h"

#include <exception>
#include <functional>
#include <utility>

#include "base/ansi_text_win.h"
#include "engine/engine_init_win.h"
#include "foundation/files_win.h"
#include "foundation/foundation_init_win.h"
#include "foundation/settings_win.h"
#include "foundation/tip_window_win.h"
#include "foundation/translate.h"
#include "foundation/translate_component.h"
#include "ui/application_win.h"
#include "ui/layout_loader_win.h"
#include "wizard/about_form_win.h"
#include "wizard/duplicate_search.h"
#include "wizard/later_pages_win.h"
#include "wizard/pages_win.h"
#include "wizard/restorer_win.h"
#include "wizard/scan_paths.h"
#include "wizard/scan_paths_win.h"
#include "wizard/step_texts.h"

namespace kv {
namespace {

TMainForm* mainForm = nullptr;
TProgDispatcher* progDispatcher = nullptr;

// The step table: the page class of every step, in step order. Navigation
// asks for the class at a step, never for the index itself.
using TPageMaker = std::unique_ptr<ui::TFrame> (*)();
template <class T>
std::unique_ptr<ui::TFrame> MakePage() {
  return std::make_unique<T>();
}
constexpr TPageMaker kStepPages[kStepCount] = {
    MakePage<TFreeSpaceFrame>,   MakePage<TOpenScanFrame>, MakePage<TCheckboxDriveTree>,
    MakePage<TDupeSimilarFrame>, MakePage<TSimilarTuner>,  MakePage<TProgressFrame>,
    MakePage<TCollectionFrame>};

TConfiger& Settings() {
  TConfiger* store = Configer();
  if (!store) throw std::logic_error("the wizard needs the settings store");
  return *store;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

TMainForm* MainForm() { return mainForm; }
TProgDispatcher* ProgDispatcher() { return progDispatcher; }
void SetMainForm(TMainForm* form) { mainForm = form; }
void SetProgDispatcher(TProgDispatcher* dispatcher) { progDispatcher = dispatcher; }

TMainForm::TMainForm() {
  RegisterWizardClasses();
  RegisterHandler("NextButtonClick", &TMainForm::NextButtonClick);
  RegisterHandler("BackButtonClick", &TMainForm::BackButtonClick);
  RegisterHandler("CancelButtonClick", &TMainForm::CancelButtonClick);
  RegisterHandler("FormClose", &TMainForm::FormClose);
  RegisterHandler("FormCloseQuery", &TMainForm::FormCloseQuery);
  ui::LoadLayout(*this, "main_form");
  SteptextMemo = &Get<ui::TMemo>("SteptextMemo");
  panProperties = &Get<ui::TPanel>("panProperties");
  BackButton = &Get<ui::TButton>("BackButton");
  NextButton = &Get<ui::TButton>("NextButton");
  CancelButton = &Get<ui::TButton>("CancelButton");
}

TMainForm::~TMainForm() {
  // The pages go first: the results page must not outlive what it shows.
  if (CollectionFrame && Results) CollectionFrame->ReleaseCollection(Results.get());
  DestroyComponents();
}

template <class T>
bool TMainForm::PageIs(int step) const {
  return step >= 0 && step < static_cast<int>(Frames.size()) && dynamic_cast<T*>(Frames[step]);
}

template <class T>
int TMainForm::IndexOf() const {
  for (size_t i = 0; i < Frames.size(); ++i)
    if (dynamic_cast<T*>(Frames[i])) return static_cast<int>(i);
  throw std::logic_error("no such step page");
}

void TMainForm::CreatePages() {
  for (TPageMaker make : kStepPages) {
    std::unique_ptr<ui::TFrame> made = make();
    ui::TFrame& page = *made;
    InsertComponent(std::move(made));
    page.SetParent(panProperties);
    page.SetAlign(ui::TAlign::Client);
    page.Hide();
    if (auto* tuner = dynamic_cast<TSimilarTuner*>(&page)) tuner->AssignCollection(Collection.get());
    if (auto* progress = dynamic_cast<TProgressFrame*>(&page)) progress->SetCollection(Collection.get());
    Frames.push_back(&page);
  }
  FreeSpaceFrame = dynamic_cast<TFreeSpaceFrame*>(Frames[IndexOf<TFreeSpaceFrame>()]);
  OpenScanFrame = dynamic_cast<TOpenScanFrame*>(Frames[IndexOf<TOpenScanFrame>()]);
  CheckboxDriveTree = dynamic_cast<TCheckboxDriveTree*>(Frames[IndexOf<TCheckboxDriveTree>()]);
  DupeSimilarFrame = dynamic_cast<TDupeSimilarFrame*>(Frames[IndexOf<TDupeSimilarFrame>()]);
  SimilarTuner = dynamic_cast<TSimilarTuner*>(Frames[IndexOf<TSimilarTuner>()]);
  ProgressFrame = dynamic_cast<TProgressFrame*>(Frames[IndexOf<TProgressFrame>()]);
  CollectionFrame = dynamic_cast<TCollectionFrame*>(Frames[IndexOf<TCollectionFrame>()]);
}

void TMainForm::Init() {
  TConfiger& settings = Settings();
  StepsText = StrFromFile(AppFile("steps.txt"));
  TranslateComponent(*this);
  SetCaption(ui::Application().Title());
  Restore(*this, Name());
  Collection = std::make_unique<TMP3Collection>();
  ReadSimilaritySettings(*Collection);
  CreatePages();
  CheckboxDriveTree->Paths.clear();
  for (const std::string& line : SplitLines(settings.GetVal("Last", "TreeSelection")))
    if (!line.empty()) CheckboxDriveTree->Paths.push_back(ExpandStoredPath(line));
  CheckboxDriveTree->SetPaths();
  OpenScanFrame->ActionRG->SetItemIndex(StrToIntDef(settings.GetVal("Last", "OpenScan"), 0));
  DupeSimilarFrame->ActionRG->SetItemIndex(StrToIntDef(settings.GetVal("Last", "DupeSimilar"), 0));
  // Without a saved list the folder page comes first, even with a reserve;
  // but files that a run killed while deleting left in the reserve are
  // shown, or they would stay out of the user's sight.
  Step = IndexOf<TFreeSpaceFrame>();
  if (!FreeSpaceFrame->Display(*CollectionFrame)) Step = IndexOf<TOpenScanFrame>();
  if (!settings.GetFlag("Last", "Ready") && !(PageIs<TFreeSpaceFrame>(Step) &&
                                               CollectionFrame->Reserve().HoldsUnfinishedRun()))
    Step = IndexOf<TCheckboxDriveTree>();
  CheckButtonCaptions();
  BackButton->SetEnabled(false);
  Frames[Step]->Show();
  if (TAboutForm* splash = AboutForm()) splash->FinishSplash();
  Show();
}

void TMainForm::CheckButtonCaptions() {
  SteptextMemo->SetText(StepText(StepsText, Step));
  NextButton->SetCaption(PageIs<TSimilarTuner>(Step) ? Translate("Search") : Translate("Next") + " >");
  if (PageIs<TProgressFrame>(Step)) Search();
  NextButton->SetEnabled(Step != kStepCount - 1);
  BackButton->SetEnabled(Step != 0 && !(Step == 1 && !Settings().GetFlag("Last", "Ready")));
}

void TMainForm::NextButtonClick(ui::TComponent*) {
  Frames[Step]->Hide();
  if (NextButton->Caption() == Translate("Cancel")) {
    ProgressFrame->Cancelled = true;
    return;
  }
  if (PageIs<TDupeSimilarFrame>(Step) && DupeSimilarFrame->ActionRG->ItemIndex() == 0) ++Step;
  if (PageIs<TOpenScanFrame>(Step) && OpenScanFrame->ActionRG->ItemIndex() == 0) {
    if (!OpenSavedList()) {  // the wizard stays where it was
      Frames[Step]->Show();
      return;
    }
    Step = IndexOf<TCollectionFrame>();
  } else {
    ++Step;
  }
  Frames[Step]->Show();
  BackButton->SetEnabled(true);
  CheckButtonCaptions();
}

bool TMainForm::OpenSavedList() {
  if (Results) {
    CollectionFrame->DisplayCollection(Results.get());
    CollectionFrame->CheckSmartButtonClick(nullptr);
    return true;
  }
  // Loaded aside first: a list that cannot be read leaves no half-made
  // result collection behind.
  auto loaded = std::make_unique<TMP3Collection>();
  loaded->IndexEnabled = 0;
  try {
    loaded->LoadFromCSV(AppFile("last"));
  } catch (const std::exception& e) {
    ShowMessageBox(e.what());
    return false;
  }
  Results = std::move(loaded);
  CollectionFrame->DisplayCollection(Results.get());
  return true;
}

void TMainForm::BackButtonClick(ui::TComponent*) {
  Frames[Step]->Hide();
  --Step;
  if (PageIs<TProgressFrame>(Step) && OpenScanFrame->ActionRG->ItemIndex() == 0 &&
      Settings().GetFlag("Last", "Ready"))
    Step = IndexOf<TOpenScanFrame>();
  if (PageIs<TProgressFrame>(Step)) --Step;
  if (PageIs<TSimilarTuner>(Step) && DupeSimilarFrame->ActionRG->ItemIndex() == 0) --Step;
  Frames[Step]->Show();
  NextButton->SetEnabled(true);
  CheckButtonCaptions();
}

void TMainForm::CancelButtonClick(ui::TComponent*) { Close(); }

void TMainForm::FormClose(ui::TComponent*, ui::TCloseAction&) {
  if (TAboutForm* about = AboutForm()) about->Close();
}

void TMainForm::FormCloseQuery(ui::TComponent*, bool& canClose) { canClose = true; }

// Exit during the search closes the window at once; the search itself runs
// to its end (or to a stop) and the shut-down follows when it has returned.
void TMainForm::Search() {
  ProgressFrame->Cancelled = false;
  NextButton->SetCaption(Translate("Cancel"));
  BackButton->SetEnabled(false);
  try {
    ProgressFrame->SetStep(1);
    FillCollection();
    if (!ProgressFrame->Cancelled) {
      ProgressFrame->SetStep(2);
      Compare();
    }
  } catch (...) {
    // Told once; the wizard goes back to where the search started, as after
    // Cancel.
    if (PageIs<TProgressFrame>(Step)) BackButtonClick(nullptr);
    ui::Application().HandleException(std::current_exception());
    return;
  }
  if (ProgressFrame->Cancelled) BackButtonClick(nullptr);
}

void TMainForm::FillCollection() {
  Collection->Clear();
  CheckboxDriveTree->GetResolvedPaths();
  ProgressFrame->MainPanel->SetDoubleBuffered(true);
  Settings().SetVal("Session", "EmptyTags", "0");
  Settings().SetVal("Session", "iTunesInstalled", "0");
  const TScanFileEvent onFile = [this](TMP3Collection& sender, const std::u16string& name, bool& cancel) {
    ProgressFrame->OnFile(sender, ToWString(name), cancel);
  };
  // After a stop every remaining folder's scan ends at its first entry.
  for (const std::wstring& path : ScanRoots(CheckboxDriveTree->Paths)) Collection->ScanDisks(ToU16(path), onFile);
}

void TMainForm::Compare() {
  SimilarTuner->OnStateChange(nullptr);
  const bool duplicatesOnly = DupeSimilarFrame->ActionRG->ItemIndex() == 0;
  TCompareEvents events;
  events.OnSearch = [this](int32_t searched, const TMP3Info& record) {
    ProgressFrame->SetComparedFile(ToWString(record.ShownPath()));
    ProgressFrame->ItemsCompared(searched);  // the bar and the file, then pending messages
  };
  events.Cancelled = [this] { return ProgressFrame->Cancelled; };
  // The new list is built aside: a stopped comparison leaves the last
  // complete one and the results page as they were.
  std::unique_ptr<TMP3Collection> fresh = CompareCollection(*Collection, duplicatesOnly, events);
  ProgressFrame->ShowLatest();  // the file compared last
  if (duplicatesOnly) SimilarTuner->SaveChanges();
  if (!fresh) return;
  // The form keeps the new list before the page is shown it, and the page
  // lets go of the old one before that is freed: when showing fails half
  // way, the page holds the kept list or none, never a freed one.
  const std::unique_ptr<TMP3Collection> previous = std::exchange(Results, std::move(fresh));
  if (previous) CollectionFrame->ReleaseCollection(previous.get());
  CollectionFrame->DisplayCollection(Results.get());
  CollectionFrame->CheckSmartButtonClick(nullptr);
  NextButton->SetCaption(Translate("Next"));
  NextButtonClick(NextButton);
  ui::Application().ProcessMessages();
  OfferTips();
}

void TMainForm::OfferTips() {
  TConfiger& settings = Settings();
  // A tip that cannot be shown (its picture missing or broken) says why and
  // leaves the results and the other tip alone.
  auto offer = [&](const char* flag, const char* ignore, const char* picture, const char* url) {
    if (settings.GetVal("Session", flag) != "1" || settings.GetVal("Session", ignore) == "1") return;
    try {
      settings.SetVal("Session", ignore, DisplayAdv(picture, url) ? "1" : "0");
    } catch (const std::exception& e) {
      ShowMessageBox(e.what());
    }
  };
  offer("iTunesInstalled", "IgnoreiTunes", "Brisquel", kBrisquelUrl);
  offer("EmptyTags", "IgnoreEmptyTags", "EmptyTags", kCorvennaUrl);
}

void TMainForm::SaveStep(const std::string& what, const std::function<void()>& save) {
  try {
    save();
  } catch (const std::exception& e) {
    saveFailures_.push_back(what + ":\r\n" + e.what());
  }
}

// Every step runs even when an earlier one failed: a reserve list that
// cannot be written must not cost the settings or the result list. The
// failures are told together, once, at the end.
void TMainForm::Finish() {
  TConfiger& settings = Settings();
  SaveStep(Translate("The reserve of deleted files could not be saved"), [&] { CollectionFrame->SaveReserve(); });
  SaveStep(Translate("The settings could not be kept"), [&] {
    CheckboxDriveTree->GetResolvedPaths();
    std::vector<std::string> stored;
    for (const std::wstring& path : CheckboxDriveTree->Paths) stored.push_back(StoredPathOf(path));
    settings.SetVal("Last", "TreeSelection", JoinLines(stored));
    if (Collection) WriteSimilaritySettings(*Collection);
    settings.SetVal("Last", "OpenScan", std::to_string(OpenScanFrame->ActionRG->ItemIndex()));
    settings.SetVal("Last", "DupeSimilar", std::to_string(DupeSimilarFrame->ActionRG->ItemIndex()));
  });
  SimilarTuner->AssignCollection(nullptr);
  ProgressFrame->SetCollection(nullptr);
  Collection.reset();
  if (Results) {
    const std::string last = AppFile("last");
    SaveStep(Translate("The duplicates list \"$1\" could not be saved", last), [&] {
      // A list that did not reach the disk is offered all the same: opening
      // a missing list shows an empty one.
      settings.SetFlag("Last", "Ready", true);
      CollectionFrame->SaveMp3Tags();
      Results->SaveToCSV(last);
    });
    CollectionFrame->ReleaseCollection(Results.get());
    Results.reset();
  }
  SaveStep(Translate("The settings could not be kept"), [&] { CollectionFrame->SaveSettings(); });
  if (saveFailures_.empty()) return;
  std::string text;
  for (const std::string& failure : saveFailures_) text += (text.empty() ? "" : "\r\n\r\n") + failure;
  saveFailures_.clear();
  ShowMessageBox(text, MB_OK | MB_ICONERROR);
}

// ------------------------------------------------------------ dispatcher --
void TProgDispatcher::LoadEnvironment() {
  SetProgDispatcher(this);
  if (TMainForm* form = MainForm()) form->Init();
}

void TProgDispatcher::SaveEnvironment() {
  TMainForm* form = MainForm();
  if (!form) return;
  form->SaveStep(Translate("The window position could not be kept"), [&] { Save(*form, form->Name()); });
  form->Finish();
}

void TProgDispatcher::OnTryClose(ui::TComponent*, bool& canClose) { canClose = true; }

void LoadEnvironment() {
  if (TProgDispatcher* dispatcher = ProgDispatcher()) {
    dispatcher->SetName("_");
    dispatcher->LoadEnvironment();
  }
}

void SaveEnvironment() {
  if (TProgDispatcher* dispatcher = ProgDispatcher()) dispatcher->SaveEnvironment();
}

}  // namespace kv
