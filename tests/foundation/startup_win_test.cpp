// The program's start-up and shut-down, run as kelvarin.exe itself in a
// folder of its own, and the action list with its "Menu" overrides.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "base/handle.h"
#include "foundation/files_win.h"
#include "foundation/foundation_init_win.h"
#include "foundation/settings_win.h"
#include "foundation/translate.h"
#include "tests/foundation/foundation_test_util.h"

namespace kv {
namespace {

// The program's visible main window (its title is the program's name), or null.
HWND VisibleWindowOf(DWORD processId) {
  struct Search {
    DWORD processId;
    HWND found;
  } search{processId, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) noexcept -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t title[64] = {};
        GetWindowTextW(window, title, 64);
        if (owner != s->processId || !IsWindowVisible(window) || std::wstring(title) != L"Torvane Kelvarin") return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A copy of the program in a folder of its own, removed afterwards.
class ProgramFolder : public TempFolder {
 public:
  ProgramFolder() {
    // Built by the whole build (not a dependency of this test program, so that
    // the foundation's tests build without the rest of the program).
    const std::filesystem::path exe = KV_TEST_BINARY_DIR "/kelvarin.exe";
    std::error_code error;
    built_ = std::filesystem::exists(exe, error);
    copied_ = built_ && std::filesystem::copy_file(exe, Path() / "kelvarin.exe", error);
  }
  bool Built() const { return built_; }
  bool Copied() const { return copied_; }

  // Runs the program with message boxes written to its log; its exit code, or -1.
  DWORD Run() const {
    SetEnvironmentVariableW(L"KELVARIN_LOG_MESSAGE_BOXES", L"1");
    std::wstring exe = File(L"kelvarin.exe");
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        Path().wstring().c_str(), &startup, &info);
    SetEnvironmentVariableW(L"KELVARIN_LOG_MESSAGE_BOXES", nullptr);
    if (!started) return static_cast<DWORD>(-1);
    const KernelHandle process(info.hProcess);
    const KernelHandle thread(info.hThread);
    // The program shows its window and runs until the user closes it: close
    // the first visible top-level window it shows, as the close box would.
    DWORD code = static_cast<DWORD>(-1);
    bool closed = false;
    for (int waited = 0; waited < 120000; waited += 50) {
      if (WaitForSingleObject(process.Get(), 50) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.Get(), &code);
        return code;
      }
      if (!closed) {
        if (HWND window = VisibleWindowOf(info.dwProcessId)) closed = PostMessageW(window, WM_CLOSE, 0, 0) != FALSE;
      }
    }
    TerminateProcess(process.Get(), 99);
    return code;
  }

 private:
  bool built_ = false;
  bool copied_ = false;
};

const char kMarkers[] = "CommonInit:start\r\nCommonInit:success\r\nDpr:start\r\nDpr:conig\r\n";

TEST(Startup, AFirstRunCreatesTheSettingsFileAndLaterRunsWriteTheSettingsBackInFull) {
  ProgramFolder program;
  if (!program.Built()) GTEST_SKIP() << "kelvarin.exe is not built";
  ASSERT_TRUE(program.Copied());
  ASSERT_EQ(program.Run(), 0u);
  // The new file's header and info, with whatever the program stored at exit.
  const std::string fresh = NewSettingsText("kelvarin config file");
  const std::string head = fresh.substr(0, fresh.find("</XMLConfig>"));
  const std::string first = StrFromFileW(program.File(L"kelvarin.conf.xml"));
  EXPECT_EQ(first.rfind(head, 0), 0u) << first;
  EXPECT_TRUE(first.ends_with("</XMLConfig>")) << first;
  EXPECT_EQ(StrFromFileW(program.File(L"tmp.log")).rfind(kMarkers, 0), 0u);

  // A file written by someone else keeps its info and its values.
  WriteFileAtomic(program.File(L"kelvarin.conf.xml"),
                  "<?xml version=\"1.0\" encoding=\"Windows-1252\" ?><XMLConfig><info>mine</info>"
                  "<g n=\"Last\"><p n=\"Dir\">C:\\M\xFCsic</p></g></XMLConfig>");
  ASSERT_EQ(program.Run(), 0u);
  const std::string second = StrFromFileW(program.File(L"kelvarin.conf.xml"));
  EXPECT_EQ(second.rfind("<?xml version=\"1.0\" encoding=\"Windows-1252\" ?>\r\n<XMLConfig><info>mine</info>\r\n", 0),
            0u) << second;
  const size_t last = second.find("<group name=\"Last\">\r\n");
  ASSERT_NE(last, std::string::npos) << second;
  EXPECT_NE(second.find(" <param name=\"Dir\">C:\\M\xFCsic</param>\r\n", last), std::string::npos) << second;
  EXPECT_EQ(StrFromFileW(program.File(L"tmp.log")).rfind(kMarkers, 0), 0u);
}

TEST(Startup, ACorruptSettingsFileEndsTheProgramAndStaysUntouched) {
  ProgramFolder program;
  if (!program.Built()) GTEST_SKIP() << "kelvarin.exe is not built";
  ASSERT_TRUE(program.Copied());
  const std::string corrupt = "<?xml version=\"1.0\" encoding=\"Windows-1252\" ?>\r\n<XMLConfig><info>i</info>\r\n"
                              "<group name=\"Session\"><param name=\"A\">1</param>\r\n";  // cut short
  WriteFileAtomic(program.File(L"kelvarin.conf.xml"), corrupt);
  EXPECT_NE(program.Run(), 0u);
  EXPECT_EQ(StrFromFileW(program.File(L"kelvarin.conf.xml")), corrupt);
  const std::string log = StrFromFileW(program.File(L"tmp.log"));
  EXPECT_EQ(log.rfind("CommonInit:start\r\nMessageBox: Error in config file \"", 0), 0u) << log;
  // The text runs out just past its last line break: the start of line 4.
  EXPECT_NE(log.find("kelvarin.conf.xml\" at position 4:1\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("CommonInit:success"), std::string::npos);
  EXPECT_EQ(program.Entries().size(), 3u);  // the program, its settings and its log
}

// ---- the action list ----

class Actions : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileAtomic(path_,
                    "<?xml version=\"1.0\" encoding=\"Windows-1252\" ?><XMLConfig><info>i</info><group name=\"Menu\">"
                    "<param name=\"File~Open\">5|1,0,3,Ctrl+O</param>"
                    "<param name=\"File~Save$As\">x|z,1,,Shift+Ctrl+F12</param>"
                    "<param name=\"Help~About\">|,,7,Alt+,</param>"
                    "<param name=\"Edit~Find\">-2|0</param>"
                    "</group></XMLConfig>");
    ASSERT_EQ(Configer(), nullptr);
    SetLanguage(nullptr);
    CreateConfiger(path_);
  }
  void TearDown() override {
    ClearActions();
    FreeConfiger();
    SetLanguage(nullptr);
  }
  TempFolder dir_;
  const std::wstring path_ = dir_.File(L"actions.conf.xml");
};

TEST_F(Actions, OverridesFromTheMenuSectionReplaceTheRegisteredValues) {
  const struct {
    const char* path;
    bool flag2, flag3;  // registered as true, true
    int image;
    uint16_t shortcut;
    int order;          // -1: any random order from 0 to 999
  } cases[] = {
      {"File~Open", true, false, 3, 0x4000 | 'O', 5},
      {"-File~Save.As-", true, true, -1, 0x2000 | 0x4000 | VK_F12, 0},  // "." is read as "$"
      {"Help~About", true, true, 7, 0x8000 | VK_OEM_COMMA, -1},
      {"Edit~Find", false, true, -1, 0, -2},
      {"Tools~Unknown", true, true, -1, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    int runs = 0;
    TProgAction& a = AddAction(0, c.path, false, true, true, false, [&](TProgAction&) { ++runs; });
    EXPECT_EQ(a.Flags, (std::array<bool, 4>{false, c.flag2, c.flag3, false}));
    EXPECT_EQ(a.ImageIndex, c.image);
    EXPECT_EQ(a.ShortCut, c.shortcut);
    if (c.order == -1) {
      EXPECT_GE(a.Order, 0);
      EXPECT_LE(a.Order, 999);
    } else {
      EXPECT_EQ(a.Order, c.order);
    }
    a.OnExecute(a);
    EXPECT_EQ(runs, 1);
  }
  EXPECT_EQ(ProgActions().size(), 5u);
}

TEST_F(Actions, ActionsOfTheSamePathAreLinkedToTheLatestEarlierOne) {
  AddAction(0, "Tools~Run", false, false, false, false, {});
  AddAction(0, "Edit~Copy", false, false, false, false, {});
  AddAction(0, "-Tools~-Run", false, false, false, false, {});
  AddAction(0, "Tools~Run-", false, false, false, false, {});
  std::vector<int> links;
  for (const auto& a : ProgActions()) links.push_back(a->SamePathIndex);
  EXPECT_EQ(links, (std::vector<int>{-1, -1, 0, 2}));
  EXPECT_EQ(ProgActions()[0]->Order, 0);  // the first action without an order keeps 0
}

// A list-type action is registered by the same rules and freed through the base.
TEST_F(Actions, AListActionIsRegisteredLikeAnyOther) {
  AddAction(0, "File~Open", false, false, false, false, {});
  TDynActionList& list = AddActionList(0, "File~-Open-", true, true, true, true, {"a", "b"}, {});
  EXPECT_EQ(ProgActions().back().get(), &list);
  EXPECT_EQ(list.SamePathIndex, 0);
  EXPECT_EQ(list.Flags, (std::array<bool, 4>{true, true, false, true}));
  EXPECT_EQ(list.ImageIndex, 3);
  EXPECT_EQ(list.Lines.size(), 2u);
}

TEST(ShortCuts, TextsAreReadAsTheMenuShowsThem) {
  const struct {
    const char* text;
    uint16_t value;
  } cases[] = {{"", 0}, {"Ctrl+O", 0x4000 | 'O'}, {"ctrl+o", 0x4000 | 'O'}, {"Alt+F4", 0x8000 | VK_F4},
               {"Shift+Del", 0x2000 | VK_DELETE}, {"Ctrl+Alt+Shift+9", 0xE000 | '9'}, {"PgDn", VK_NEXT},
               {"F25", 0}, {"Ctrl+", 0}, {"Banana", 0}};
  for (const auto& c : cases) EXPECT_EQ(TextToShortCut(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace kv
