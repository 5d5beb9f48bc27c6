#pragma once
// Drives kelvarin.exe from outside, as a user would: the program is started
// with CreateProcessW in a program folder of its own, its windows are found
// by text, buttons clicked with BM_CLICK, tool buttons with WM_COMMAND, and
// the texts of status bars and tool bars read through a buffer in the
// program's memory (VirtualAllocEx).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "base/ansi_text_win.h"
#include "base/handle.h"
#include "foundation/settings_win.h"
#include "tests/wizard/window_search_win.h"
#include "tests/wizard/wizard_test_util.h"
#include "wizard/scan_paths_win.h"

namespace kv::test {

inline std::string WindowText(HWND window) {
  wchar_t text[1024] = {};
  SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return WStringToAnsi(text);
}

inline std::string ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return WStringToAnsi(name);
}

// Waits up to ms for the condition, handling this process's messages.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD ms = 20000) {
  const DWORD end = GetTickCount() + ms;
  while (!condition()) {
    if (static_cast<int>(end - GetTickCount()) <= 0) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return true;
}

class ProgramFixture : public ::testing::Test {
 protected:
  // The program and its data files in an empty program folder.
  void InstallProgram(const std::filesystem::path& to) {
    programFolder = to;
    std::filesystem::copy_file(std::filesystem::path(KV_TEST_BINARY_DIR) / "kelvarin.exe", to / "kelvarin.exe");
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(KV_TEST_SOURCE_DIR) / "data"))
      std::filesystem::copy_file(entry.path(), to / entry.path().filename());
  }
  void TearDown() override {
    if (process) {
      TerminateProcess(process.Get(), 99);
      WaitForSingleObject(process.Get(), 5000);
      process = KernelHandle();
    }
  }

  // Starts the program and waits for its visible main window.
  HWND Start() { return Launch() ? WaitForMain() : nullptr; }
  HWND WaitForMain() {
    HWND found = nullptr;
    if (!WaitUntil([&] { return (found = FindTop("Torvane Kelvarin")) || !Running(); }, 30000) || !found)
      ADD_FAILURE() << "no main window";
    return found;
  }
  bool Launch() {
    if (unmanagedWindows) LeaveWindowsUnmanaged(true);
    const std::wstring exe = (programFolder / "kelvarin.exe").wstring();
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        programFolder.wstring().c_str(), &startup, &info)) {
      ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
      if (unmanagedWindows) LeaveWindowsUnmanaged(false);
      return false;
    }
    CloseHandle(info.hThread);
    process = KernelHandle(info.hProcess);
    processId = info.dwProcessId;
    if (unmanagedWindows) {  // read by then: the program's other starts stay as they were
      WaitUntil([&] { return FindTopIf([](HWND) { return true; }) || !Running(); });
      LeaveWindowsUnmanaged(false);
    }
    return true;
  }
  // Without a window manager on the test display, Wine waits two seconds
  // for every hidden managed window to be withdrawn (the splash, message
  // boxes, the progress window). Wine reads the setting when the program
  // starts; it is taken away once the program shows a window, so that other
  // starts (tests of the window geometry, a user's own) stay managed.
  static void LeaveWindowsUnmanaged(bool on) { LeaveProgramWindowsUnmanaged(on); }
  bool Running() const { return process && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT; }
  // The exit code; a program still running after a minute is a failure and
  // is ended here, or it would hold this folder (and the test run's output)
  // for the tests after.
  DWORD WaitForExit() {
    if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the program did not end";
      TerminateProcess(process.Get(), 99);
      WaitForSingleObject(process.Get(), 5000);
    }
    DWORD code = 12345;
    GetExitCodeProcess(process.Get(), &code);
    process = KernelHandle();
    return code;
  }

  // From the page shown to the end of a search, and the status bar's texts
  // then. A search that found nothing is a failure of its own: the program
  // is closed to learn which folders it had ticked (it stores them at exit),
  // and what it was given and found is reported.
  std::vector<std::string> SearchFromHere(HWND main, const std::string& resultsStep) {
    for (int i = 0; i < 4 && !Child(main, "Search"); ++i) Click(main, "Next >");
    Click(main, "Search");  // returns when the search has ended
    const std::vector<std::string> status = StatusTexts(main);
    const std::string step = StepMemo(main);
    if (step == resultsStep && (status.size() < 2 || status[1] != "0 groups")) return status;
    const std::string given = Setting("Last", "TreeSelection");
    std::string report = "step: " + step + "\nstatus: ";
    for (const std::string& text : status) report += text + " / ";
    report += "\nfolders given: " + given;
    if (IsWindowEnabled(main)) {
      Click(main, "&Exit");
      if (WaitForSingleObject(process.Get(), 20000) == WAIT_OBJECT_0) {
        process = KernelHandle();
        report += "\nfolders ticked at exit: " + Setting("Last", "TreeSelection");
      }
    }
    for (size_t at = 0, end; at < given.size(); at = end + 2) {
      end = std::min(given.find("\r\n", at), given.size());
      const std::string line = given.substr(at, end - at);
      const std::filesystem::path folder = ExpandStoredPath(line);
      int files = 0;
      std::error_code error;
      for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
           !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        files += it->is_regular_file();
      report += "\n" + line + ": " + std::to_string(files) + " files" + (error ? " (" + error.message() + ")" : "");
    }
    // The drives as this machine shows them: the folder page reaches a
    // folder through its drive under My Computer.
    report += "\ndrives:";
    const DWORD drives = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
      if (!(drives & (1u << letter))) continue;
      const wchar_t root[] = {static_cast<wchar_t>(L'A' + letter), L':', L'\\', 0};
      report += " " + WStringToAnsi(root) + " type " + std::to_string(GetDriveTypeW(root));
    }
    ADD_FAILURE() << "the search ended on another page or found nothing\n" << report << "\nlog:\n"
                  << ReadWhole(programFolder / "tmp.log");
    return status;
  }

  // The program's visible top-level window with this text (or whose text
  // the predicate accepts), or null.
  HWND FindTop(const std::string& text) {
    return FindTopIf([&](HWND w) { return WindowText(w) == text; });
  }
  HWND FindTopIf(const std::function<bool(HWND)>& accept) { return FindTopWindowIf(processId, accept); }
  // The first (visible) child window the predicate accepts.
  static HWND ChildIf(HWND parent, const std::function<bool(HWND)>& accept, bool visibleOnly = true) {
    return FindChildWindowIf(parent, accept, visibleOnly);
  }
  static HWND Child(HWND parent, const std::string& text, bool visibleOnly = true) {
    return ChildIf(parent, [&](HWND w) { return WindowText(w) == text; }, visibleOnly);
  }
  static HWND ChildOfClass(HWND parent, const std::string& className) {
    return ChildIf(parent, [&](HWND w) { return lstrcmpiA(ClassOf(w).c_str(), className.c_str()) == 0; });
  }
  // The text of the step memo: the only read-only EDIT.
  static std::string StepMemo(HWND main) {
    HWND memo = ChildIf(main, [](HWND w) {
      return lstrcmpiA(ClassOf(w).c_str(), "Edit") == 0 && (GetWindowLongW(w, GWL_STYLE) & ES_READONLY);
    }, false);
    return memo ? WindowText(memo) : std::string("(no memo)");
  }
  // Clicks the button and waits until the program has handled the click.
  static void Click(HWND parent, const std::string& caption) {
    HWND button = Child(parent, caption);
    ASSERT_TRUE(button) << caption;
    SendMessageW(button, BM_CLICK, 0, 0);
  }
  // Clicks without waiting: for clicks that open a modal window.
  static void PostClick(HWND parent, const std::string& caption) {
    HWND button = Child(parent, caption);
    ASSERT_TRUE(button) << caption;
    PostMessageW(button, BM_CLICK, 0, 0);
  }

  // A wide text the program writes into its own memory for a message.
  std::string RemoteText(HWND window, UINT message, WPARAM wParam) {
    KernelHandle target(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ, FALSE, processId));
    if (!target) return "(no process)";
    constexpr SIZE_T kChars = 512;
    void* remote = VirtualAllocEx(target.Get(), nullptr, kChars * 2, MEM_COMMIT, PAGE_READWRITE);
    if (!remote) return "(no memory)";
    wchar_t text[kChars] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, message, wParam, reinterpret_cast<LPARAM>(remote), SMTO_BLOCK, 5000, &ignored);
    SIZE_T got = 0;
    ReadProcessMemory(target.Get(), remote, text, sizeof text - 2, &got);
    VirtualFreeEx(target.Get(), remote, 0, MEM_RELEASE);
    return WStringToAnsi(text);
  }
  // The panels of the first visible status bar.
  std::vector<std::string> StatusTexts(HWND main) {
    std::vector<std::string> texts;
    HWND bar = ChildOfClass(main, "msctls_statusbar32");
    if (!bar) return texts;
    const int parts = static_cast<int>(SendMessageW(bar, SB_GETPARTS, 0, 0));
    for (int i = 0; i < parts; ++i) texts.push_back(RemoteText(bar, SB_GETTEXTW, i));
    return texts;
  }
  // Clicks a tool button, without waiting. The program's tool buttons show
  // no captions; their commands number them from 1 in layout order
  // (separators included).
  void ToolCommand(HWND main, int command) {
    HWND bar = ChildOfClass(main, "ToolbarWindow32");
    ASSERT_TRUE(bar);
    ASSERT_TRUE(SendMessageW(bar, TB_ISBUTTONENABLED, command, 0)) << command;
    PostMessageW(GetParent(bar), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), reinterpret_cast<LPARAM>(bar));
  }
  // Waits for a message box of the program and returns it with its text.
  std::pair<HWND, std::string> WaitForMessageBox() {
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindTopIf([](HWND w) { return ClassOf(w) == "#32770"; })) != nullptr; });
    if (!box) return {nullptr, "(no message box)"};
    HWND text = GetDlgItem(box, 0xFFFF);
    return {box, text ? WindowText(text) : std::string()};
  }
  // Answers a message box with the button of this id (IDYES, IDOK...).
  static void Answer(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    ASSERT_TRUE(button) << id;
    PostMessageW(button, BM_CLICK, 0, 0);
    WaitUntil([&] { return !IsWindow(box); }, 10000);
  }

  // Captures the window as the screen shows it into a BMP under the build
  // folder's screenshots, and returns it.
  static ui::TBitmap Screenshot(HWND window, const std::string& name) {
    return ui::test::Screenshot(window, name, 300);
  }

  std::string Setting(const char* section, const char* key) {
    auto config = LoadXMLConfig((programFolder / "kelvarin.conf.xml").wstring(), false);
    return config->ReadString(section, key, "(missing)");
  }

  std::filesystem::path programFolder;
  bool unmanagedWindows = false;
  KernelHandle process;
  DWORD processId = 0;
};

}  // namespace kv::test
