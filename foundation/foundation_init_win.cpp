#include "foundation/foundation_init_win.h"

#include <charconv>
#include <random>

#include "base/ansi_text_win.h"
#include "base/strings.h"
#include "foundation/files_win.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "foundation/settings_win.h"
#include "foundation/translate.h"
#include "ui/application_win.h"

namespace kv {
namespace {

std::vector<std::unique_ptr<TProgAction>>& Actions() {
  static std::vector<std::unique_ptr<TProgAction>> actions;  // the process-wide action list
  return actions;
}

bool ToInt(std::string_view text, int& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::string NormalisedPath(std::string_view path) {
  std::string p(path);
  ReplaceStr(p, "~-", "~", false);
  ReplaceStr(p, "-~", "~", false);
  return TrimSymbol(p, '-');
}

// A settings error at a point where nobody can handle it: show it and end the
// program at once, still writing the log.
[[noreturn]] void HaltAfter(const std::string& message) {
  ShowMessageBox(message);
  FoundationFinalize();
  ExitProcess(1);
}

}  // namespace

int ShowMessageBox(const std::string& text, UINT type) {
  return ui::ShowMessageBox(text, "Torvane Kelvarin", type);
}

bool FoundationInitialize() {
  UseSystemAnsiCodePage();
  UseSystemRegexCaseTables();
  AddToLog("CommonInit:start");
  SetAppDirFromExecutable();
  if (Configer() == nullptr) {
    // A file that cannot be read leaves no store behind, so nothing can
    // overwrite it at exit.
    try {
      CreateConfiger();
    } catch (const std::exception& e) {
      ShowMessageBox(e.what());
      return false;
    }
  }
  AddToLog("CommonInit:success");
  return true;
}

void FoundationFinalize() {
  try {
    SaveLog();
  } catch (const std::exception&) {
    // Nowhere left to report a log that cannot be written.
  }
  SetLanguage(nullptr);
  ClearActions();
  try {
    FreeConfiger();
  } catch (const std::exception& e) {
    ShowMessageBox(e.what());
  }
  SetAppDir(L"");
  ClearLog();
}

namespace {

// The registration both kinds of action share: the settings store first,
// then the action appended, its override applied and its same-path link set.
template <class Action>
Action& Register(std::unique_ptr<Action> action, int group, std::string path,
                 std::array<bool, 4> flags, std::function<bool(HWND, TProgAction&)> onUpdate) {
  if (Configer() == nullptr) {
    try {
      CreateConfiger();
    } catch (const std::exception& e) {
      HaltAfter(e.what());
    }
  }
  action->Group = group;
  action->Path = std::move(path);
  action->Flags = flags;
  action->OnUpdate = std::move(onUpdate);
  Action& added = *action;
  auto& actions = Actions();
  actions.push_back(std::move(action));
  ReInitAction(added);
  const std::string normalised = NormalisedPath(added.Path);
  for (size_t i = actions.size() - 1; i-- > 0;) {
    if (NormalisedPath(actions[i]->Path) == normalised) {
      added.SamePathIndex = static_cast<int>(i);
      break;
    }
  }
  return added;
}

}  // namespace

TProgAction& AddAction(int group, std::string path, bool flag1, bool flag2, bool flag3, bool flag4,
                       std::function<void(TProgAction&)> onExecute, std::function<bool(HWND, TProgAction&)> onUpdate) {
  auto action = std::make_unique<TProgAction>();
  action->OnExecute = std::move(onExecute);
  return Register(std::move(action), group, std::move(path), {flag1, flag2, flag3, flag4}, std::move(onUpdate));
}

TDynActionList& AddActionList(int group, std::string path, bool flag1, bool flag2, bool flag3, bool flag4,
                              std::vector<std::string> lines,
                              std::function<void(TDynActionList&, int line)> onExecuteLine,
                              std::function<bool(HWND, TProgAction&)> onUpdate) {
  auto action = std::make_unique<TDynActionList>();
  action->Lines = std::move(lines);
  action->OnExecuteLine = std::move(onExecuteLine);
  return Register(std::move(action), group, std::move(path), {flag1, flag2, flag3, flag4}, std::move(onUpdate));
}

void ReInitAction(TProgAction& action) {
  if (Configer() == nullptr) return;
  std::string key = TrimSymbol(action.Path, '-');
  ReplaceStr(key, "~-", "~", false);
  ReplaceStr(key, "-~", "~", false);
  ReplaceStr(key, ".", "$", false);  // a dot would open a nested group
  std::string order, rest;
  SeparFirst(Configer()->GetVal("Menu", key), "|", order, rest);

  if (!ToInt(order, action.Order)) action.Order = 0;
  if (action.Order == 0 && order.empty() && Actions().size() > 1) {
    static std::minstd_rand random(1);
    action.Order = static_cast<int>(random() % 1000);
  }
  // a, b and the image are the first three comma-separated fields; the
  // shortcut is the rest, so that "Ctrl+," survives.
  std::string fields[3], shortcut = rest, next;
  for (std::string& field : fields) {
    SeparFirst(shortcut, ",", field, next);
    shortcut = next;
  }
  int number = 0;
  if (ToInt(fields[0], number)) action.Flags[1] = number != 0;
  if (ToInt(fields[1], number)) action.Flags[2] = number != 0;
  action.ImageIndex = ToInt(fields[2], number) ? number : -1;
  action.ShortCut = TextToShortCut(shortcut);
}

void ClearActions() {
  auto& actions = Actions();
  while (!actions.empty()) actions.pop_back();  // last first
}

const std::vector<std::unique_ptr<TProgAction>>& ProgActions() { return Actions(); }

uint16_t TextToShortCut(std::string_view text) {
  static const struct {
    const char* name;
    uint16_t bits;
  } kModifiers[] = {{"Shift+", 0x2000}, {"Ctrl+", 0x4000}, {"Alt+", 0x8000}};
  static const struct {
    const char* name;
    uint16_t key;
  } kKeys[] = {{"BkSp", VK_BACK}, {"Tab", VK_TAB}, {"Esc", VK_ESCAPE}, {"Enter", VK_RETURN},
               {"Space", VK_SPACE}, {"PgUp", VK_PRIOR}, {"PgDn", VK_NEXT}, {"End", VK_END},
               {"Home", VK_HOME}, {"Left", VK_LEFT}, {"Up", VK_UP}, {"Right", VK_RIGHT},
               {"Down", VK_DOWN}, {"Ins", VK_INSERT}, {"Del", VK_DELETE}};
  uint16_t bits = 0;
  for (bool more = true; more;) {
    more = false;
    for (const auto& m : kModifiers) {
      const std::string_view name(m.name);
      if (text.size() > name.size() && SameTextAscii(text.substr(0, name.size()), name)) {
        bits |= m.bits;
        text.remove_prefix(name.size());
        more = true;
      }
    }
  }
  if (text.size() == 1) {
    const char c = AsciiUpper(text)[0];
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<uint16_t>(bits | c);
    const SHORT vk = VkKeyScanA(c);
    return vk == -1 ? 0 : static_cast<uint16_t>(bits | (vk & 0xFF));
  }
  for (const auto& k : kKeys) {
    if (SameTextAscii(text, k.name)) return static_cast<uint16_t>(bits | k.key);
  }
  int f = 0;
  if (text.size() >= 2 && (text[0] == 'F' || text[0] == 'f') && ToInt(text.substr(1), f) && f >= 1 && f <= 24) {
    return static_cast<uint16_t>(bits | (VK_F1 + f - 1));
  }
  return 0;
}

}  // namespace kv
