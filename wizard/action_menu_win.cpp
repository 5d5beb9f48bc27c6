#include "wizard/action_menu_win.h"

#include <exception>
#include <stdexcept>

#include "foundation/files_win.h"
#include "ui/application_win.h"
#include "ui/gdi_win.h"
#include "wizard/face_win.h"

namespace kv {
namespace {

std::unique_ptr<TActionMenuItem>& RootHolder() {
  static std::unique_ptr<TActionMenuItem> root;  // the process-wide menu root
  return root;
}

// The image lists are found by name among the application's components, so
// nothing here can point to a list the application has freed.
constexpr const char* kSmallImages = "ActionImages";
constexpr const char* kLargeImages = "LargeActionImages";

int LineOf(const TActionMenuItem& item) {
  const auto* line = dynamic_cast<const TDynTBItem*>(&item);
  return line ? line->Index : -1;
}

template <class F>
void ForEachItem(TActionMenuItem& item, F&& f) {
  f(item);
  for (auto& sub : item.Items) ForEachItem(*sub, f);
}

// The action, then the earlier ones registered under the same menu path,
// newest first. Each link points further back, so the walk ends.
std::vector<TProgAction*> SamePathChain(TProgAction& action) {
  std::vector<TProgAction*> chain{&action};
  const auto& actions = ProgActions();
  for (int i = action.SamePathIndex; i >= 0 && i < static_cast<int>(actions.size());) {
    TProgAction& earlier = *actions[static_cast<size_t>(i)];
    chain.push_back(&earlier);
    if (earlier.SamePathIndex >= i) break;
    i = earlier.SamePathIndex;
  }
  return chain;
}

void ClickThroughStub(TActionMenuItem& sender) {
  if (TStub* stub = Stub()) stub->OnClick(sender);
}

// A line click runs a list's line handler, for a line the list has (its
// lines may have changed since the menu was built); anything else runs the
// action's own handler. Handlers are copied first: one may replace itself.
void Execute(TProgAction& action, int line) {
  auto* list = dynamic_cast<TDynActionList*>(&action);
  if (list && line >= 0) {
    if (line < static_cast<int>(list->Lines.size()) && list->OnExecuteLine) {
      const auto handler = list->OnExecuteLine;
      handler(*list, line);
    }
  } else if (action.OnExecute) {
    const auto handler = action.OnExecute;
    handler(action);
  }
}

// The item's sub-items become one line item per line of the list. Lines
// that are already there as they are stay, with their checked state.
void ExpandLines(TActionMenuItem& item, TDynActionList& list) {
  bool same = item.Items.size() == list.Lines.size();
  for (size_t i = 0; same && i < list.Lines.size(); ++i) {
    const TActionMenuItem& sub = *item.Items[i];
    same = LineOf(sub) == static_cast<int>(i) && sub.Action == &list && sub.Caption == list.Lines[i];
  }
  if (same) return;
  item.Items.clear();
  for (size_t i = 0; i < list.Lines.size(); ++i) {
    auto line = std::make_unique<TDynTBItem>();
    line->Caption = list.Lines[i];
    line->Index = static_cast<int>(i);
    line->Action = &list;
    line->OnClick = ClickThroughStub;
    item.Items.push_back(std::move(line));
  }
}

ui::BitmapObject LoadStrip(const wchar_t* name) {
  const std::wstring path = AppDirW() + L"\\" + name;
  ui::BitmapObject strip(static_cast<HBITMAP>(
      LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
  if (!strip) throw std::runtime_error("cannot load an image strip");
  return strip;
}

ui::TImageList* OwnedList(const char* name) {
  return dynamic_cast<ui::TImageList*>(ui::Application().FindComponent(name));
}

}  // namespace

void TActionMenuItem::Click() {
  const auto handler = OnClick;  // the handler may rebuild the menu this item is in
  if (handler) handler(*this);
}

std::unique_ptr<TActionMenuItem> NewActionItem(TProgAction& action) {
  auto item = std::make_unique<TActionMenuItem>();
  const size_t level = action.Path.rfind('~');
  item->Caption = level == std::string::npos ? action.Path : action.Path.substr(level + 1);
  item->ImageIndex = action.ImageIndex;
  item->Action = &action;
  item->OnClick = ClickThroughStub;
  return item;
}

TActionMenuItem* MenuRoot() { return RootHolder().get(); }
void SetMenuRoot(std::unique_ptr<TActionMenuItem> root) { RootHolder() = std::move(root); }

void Check(TActionMenuItem& item, HWND activeForm) {
  TProgAction* action = item.Action;
  if (action && LineOf(item) < 0) {
    bool enabled = false;
    for (TProgAction* each : SamePathChain(*action)) {
      if (each->OnUpdate) {
        const auto update = each->OnUpdate;
        each->Enabled = update(activeForm, *each);
      }
      enabled = enabled || each->Enabled;
    }
    if (auto* list = dynamic_cast<TDynActionList*>(action)) ExpandLines(item, *list);
    // Every item of the action follows, wherever it sits, its lines included.
    item.Enabled = enabled;
    TActionMenuItem* root = MenuRoot();
    ForEachItem(root ? *root : item, [&](TActionMenuItem& other) {
      if (other.Action == action) other.Enabled = enabled;
    });
    // Actions are bound to no form of their own: each serves the whole program.
    item.Visible = true;
  }
  for (auto& sub : item.Items) Check(*sub, activeForm);
}

void ReCheckMenu() {
  TActionMenuItem* root = MenuRoot();
  if (!root) return;
  const HWND active = GetActiveWindow();
  for (auto& item : root->Items) Check(*item, active);
}

// Mirrors the checked state first; the handlers may then rebuild the menu,
// so the sender is not touched once the first handler has run.
void TStub::OnClick(TActionMenuItem& sender) {
  TProgAction* action = sender.Action;
  if (!action) return;
  const int line = LineOf(sender);
  if (TActionMenuItem* root = MenuRoot()) {
    const bool checked = sender.Checked;
    ForEachItem(*root, [&](TActionMenuItem& other) {
      if (other.Action == action && LineOf(other) == line) other.Checked = checked;
    });
  }
  for (TProgAction* each : SamePathChain(*action)) {
    if (each->Enabled) Execute(*each, line);
  }
}

void FillImageList() {
  ui::TApplication& app = ui::Application();
  // A second start-up (tests) replaces the lists.
  for (const char* name : {kLargeImages, kSmallImages}) {
    if (ui::TImageList* old = OwnedList(name)) app.FreeComponent(old);
  }
  auto& small = app.Create<ui::TImageList>();
  small.SetName(kSmallImages);
  // Each strip on its own: a broken small strip does not cost the large one.
  // AddStrip takes the transparent colour from the strip's bottom-left pixel.
  try {
    const ui::BitmapObject strip = LoadStrip(L"images.bmp");
    small.AddStrip(strip.Get());
  } catch (const std::exception&) {
    // A missing or broken strip leaves the list empty: no pictures.
  }
  const DWORD large = GetFileAttributesW((AppDirW() + L"\\limages.bmp").c_str());
  if (large == INVALID_FILE_ATTRIBUTES || (large & FILE_ATTRIBUTE_DIRECTORY)) return;
  try {
    const ui::BitmapObject strip = LoadStrip(L"limages.bmp");
    BITMAP info{};
    if (!GetObjectW(strip.Get(), sizeof info, &info) || info.bmHeight <= 0)
      throw std::runtime_error("cannot read an image strip");
    auto list = std::make_unique<ui::TImageList>();
    list->SetSize(info.bmHeight, info.bmHeight);
    list->AddStrip(strip.Get());
    list->SetName(kLargeImages);
    app.InsertComponent(std::move(list));
  } catch (const std::exception&) {
    // The large list stays the small one.
  }
}

ui::TImageList* ActionImages() { return OwnedList(kSmallImages); }

ui::TImageList* LargeActionImages() {
  ui::TImageList* large = OwnedList(kLargeImages);
  return large ? large : OwnedList(kSmallImages);
}

}  // namespace kv
