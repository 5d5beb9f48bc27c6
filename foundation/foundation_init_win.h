#pragma once
// Start-up and shut-down of the foundation, run explicitly from the entry
// point (never from static initialisers), and the registry of program
// actions with their per-action overrides from the settings section "Menu".
// User-interface thread only.
#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// A message box captioned with the program's title, through the GUI layer's
// replaceable message box (ui::SetMessageBoxHook).
int ShowMessageBox(const std::string& text, UINT type = MB_OK | MB_ICONERROR);

// Logs "CommonInit:start", records the program folder, creates the settings
// store (and the language table), logs "CommonInit:success". False when the
// settings file cannot be read: the error has been shown, nothing was loaded,
// and the caller must end the program after FoundationFinalize.
bool FoundationInitialize();
// Writes "tmp.log", frees the language table and the actions, then writes the
// settings file back and frees the store (when it still exists). A failed
// write is shown, never thrown.
void FoundationFinalize();

// One program action, registered by the wizard's units.
class TProgAction {
 public:
  virtual ~TProgAction() = default;
  int Group = 0;
  std::string Path;            // menu levels separated by "~"; "-" next to "~" marks a separator
  uint16_t ShortCut = 0;       // virtual key with the modifier bits of TextToShortCut; 0: none
  int ImageIndex = -1;
  int Order = 0;
  std::array<bool, 4> Flags{}; // as registered; the override may replace the second and third
  std::function<void(TProgAction&)> OnExecute;
  std::function<bool(HWND activeForm, TProgAction&)> OnUpdate;
  bool Enabled = true;
  int SamePathIndex = -1;      // latest earlier action with the same normalised path
};

// A list-type action: the menu shows one item per line, and choosing a line
// runs OnExecuteLine with the line's index (from 0).
class TDynActionList : public TProgAction {
 public:
  std::vector<std::string> Lines;
  std::function<void(TDynActionList&, int line)> OnExecuteLine;
};

// Registers an action (creating the settings store first when missing) and applies its override.
TProgAction& AddAction(int group, std::string path, bool flag1, bool flag2, bool flag3, bool flag4,
                       std::function<void(TProgAction&)> onExecute,
                       std::function<bool(HWND, TProgAction&)> onUpdate = {});
// The same for a list-type action with its first lines.
TDynActionList& AddActionList(int group, std::string path, bool flag1, bool flag2, bool flag3, bool flag4,
                              std::vector<std::string> lines,
                              std::function<void(TDynActionList&, int line)> onExecuteLine,
                              std::function<bool(HWND, TProgAction&)> onUpdate = {});
// Reads the action's override "order|a,b,image,shortcut" from section "Menu".
void ReInitAction(TProgAction& action);
void ClearActions();
const std::vector<std::unique_ptr<TProgAction>>& ProgActions();

// "Ctrl+Shift+F5" style text as a shortcut value (Shift 0x2000, Ctrl 0x4000,
// Alt 0x8000, plus the virtual key); 0 for empty or unknown text.
uint16_t TextToShortCut(std::string_view text);

}  // namespace kv
