// The shell's context menu with the program's submenu, and the verbs on
// siblings, driven through Wine's shell with keys and timers.

#include "shell/namespace_win.h"
#include "shell/shell_utils_win.h"
#include "tests/shell/shell_test_util.h"
#include "ui/popup_menu.h"

namespace kv {
namespace {
using namespace test;

class OwnerWindow {
 public:
  OwnerWindow() {
    hwnd_ = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(hwnd_);
  }
  ~OwnerWindow() { DestroyWindow(hwnd_); }
  HWND Get() const { return hwnd_; }

 private:
  HWND hwnd_;
};

void PressKeys(std::initializer_list<BYTE> keys) {
  for (BYTE k : keys) {
    keybd_event(k, 0, 0, 0);
    keybd_event(k, 0, KEYEVENTF_KEYUP, 0);
  }
}

std::vector<std::wstring> MenuVerbs(TNamespace& item, HMENU menu) {
  std::vector<std::wstring> verbs;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    UINT id = GetMenuItemID(menu, i);
    if (id != 0 && id != UINT(-1)) verbs.push_back(item.ContextMenuVerb(id));
  }
  return verbs;
}

std::wstring MenuText(HMENU menu, int position) {
  wchar_t text[128] = {};
  GetMenuStringW(menu, static_cast<UINT>(position), text, 128, MF_BYPOSITION);
  return text;
}

TEST(ContextMenu, ShowCallbackSeesVerbsAndSubmenuThenCancels) {
  OwnerWindow owner;
  auto item = Item(L"ops\\copy1.txt");
  ui::TPopupMenu popup;
  popup.Add(L"First");
  popup.Add(L"-");
  popup.Add(L"Second \u0416").Enabled = false;
  bool commandSeen = false;
  std::vector<std::wstring> verbs;
  std::vector<std::wstring> subTexts;
  UINT subState = 0;
  POINT at{150, 150};
  bool result = item->ShowContextMenu(
      owner.Get(), [&](TNamespace&, const std::wstring&, UINT, bool&) { commandSeen = true; },
      [&](TNamespace& ns, HMENU menu, bool& allow) {
        verbs = MenuVerbs(ns, menu);
        int last = GetMenuItemCount(menu) - 1;
        EXPECT_EQ(MenuText(menu, last), L"Kelvarin \u00e9");
        EXPECT_EQ(GetMenuState(menu, static_cast<UINT>(last - 1), MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
        HMENU sub = GetSubMenu(menu, last);
        for (int i = 0; i < GetMenuItemCount(sub); ++i) subTexts.push_back(MenuText(sub, i));
        subState = GetMenuState(sub, 2, MF_BYPOSITION);
        allow = false;
      },
      nullptr, &at, &popup, L"Kelvarin \u00e9");
  EXPECT_FALSE(result);
  EXPECT_FALSE(commandSeen);
  // Wine's menu of a file: no rename even with a command callback, no paste.
  EXPECT_EQ(verbs, (std::vector<std::wstring>{L"open", L"cut", L"copy", L"link", L"delete", L"properties"}));
  EXPECT_EQ(subTexts, (std::vector<std::wstring>{L"First", L"", L"Second \u0416"}));
  EXPECT_TRUE(subState & MF_GRAYED);
}

// A menu that tells verbs only in the way it is made to.
class VerbMenu : public IContextMenu {
 public:
  VerbMenu(HRESULT wideAnswer, const wchar_t* wide, HRESULT ansiAnswer) : wideAnswer_(wideAnswer), wide_(wide), ansiAnswer_(ansiAnswer) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT type, UINT*, LPSTR name, UINT) override {
    if (type == GCS_VERBW) {
      if (SUCCEEDED(wideAnswer_)) lstrcpyW(reinterpret_cast<LPWSTR>(name), wide_);
      return wideAnswer_;
    }
    if (SUCCEEDED(ansiAnswer_)) lstrcpyA(name, "ansi");
    return ansiAnswer_;
  }

 private:
  HRESULT wideAnswer_;
  const wchar_t* wide_;
  HRESULT ansiAnswer_;
};

TEST(ContextMenu, TheChosenVerbIsTheWideOne) {
  const struct {
    HRESULT wide;
    const wchar_t* text;
    HRESULT ansi;
    bool read;
    const wchar_t* verb;
  } cases[] = {
      {S_OK, L"open", S_OK, true, L"open"},
      {S_OK, L"", S_OK, true, L""},  // an empty verb is still a verb read
      {E_FAIL, L"", S_OK, false, L"Unknown Command"},
      {E_FAIL, L"", E_FAIL, false, L"Unknown Command"},
  };
  for (const auto& c : cases) {
    VerbMenu menu(c.wide, c.text, c.ansi);
    std::wstring verb = L"before";
    EXPECT_EQ(ChosenCommandVerb(&menu, 3, verb), c.read) << Narrow(c.verb);
    EXPECT_EQ(verb, c.verb);
  }
}

// Every command ID of the menu, its submenus' included, but the one at `skip`.
void CollectIDs(HMENU menu, int skip, std::vector<UINT>& ids) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (i == skip) continue;
    if (HMENU sub = GetSubMenu(menu, i)) CollectIDs(sub, -1, ids);
    else if (UINT id = GetMenuItemID(menu, i); id != 0 && id != UINT(-1)) ids.push_back(id);
  }
}

TEST(ContextMenu, CustomIDsLieAboveEveryShellID) {
  OwnerWindow owner;
  for (const wchar_t* path : {L"ops\\copy1.txt", L"ops"}) {
    auto item = Item(path);
    ui::TPopupMenu popup;
    popup.Add(L"First");
    popup.Add(L"Second");
    std::vector<UINT> shellIDs, customIDs;
    POINT at{150, 150};
    item->ShowContextMenu(
        owner.Get(), nullptr,
        [&](TNamespace&, HMENU menu, bool& allow) {
          int last = GetMenuItemCount(menu) - 1;
          CollectIDs(menu, last, shellIDs);
          CollectIDs(GetSubMenu(menu, last), -1, customIDs);
          allow = false;
        },
        nullptr, &at, &popup, L"Mine");
    ASSERT_FALSE(shellIDs.empty()) << Narrow(path);
    ASSERT_EQ(customIDs.size(), 2u);
    EXPECT_GT(customIDs[0], *std::max_element(shellIDs.begin(), shellIDs.end())) << Narrow(path);
    EXPECT_EQ(customIDs[1], customIDs[0] + 1);
  }
}

TEST(ContextMenu, KeysChooseTheCustomItem) {
  OwnerWindow owner;
  auto item = Item(L"ops\\copy1.txt");
  ui::TPopupMenu popup;
  int firstClicks = 0, secondClicks = 0;
  popup.Add(L"First").OnClick = [&](ui::TMenuItem&) { ++firstClicks; };
  popup.Add(L"Second").OnClick = [&](ui::TMenuItem&) { ++secondClicks; };
  bool commandSeen = false, afterSeen = false;
  POINT at{150, 150};
  item->ShowContextMenu(
      owner.Get(), [&](TNamespace&, const std::wstring&, UINT, bool&) { commandSeen = true; },
      [&](TNamespace&, HMENU, bool&) {
        // Once the menu runs its loop: the last entry (the submenu), open it, its second item.
        SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
          KillTimer(nullptr, id);
          PressKeys({VK_UP, VK_RIGHT, VK_DOWN, VK_RETURN});
        });
      },
      [&](TNamespace&, const std::wstring&, UINT, bool) { afterSeen = true; }, &at, &popup, L"Mine");
  EXPECT_EQ(firstClicks, 0);
  EXPECT_EQ(secondClicks, 1);
  EXPECT_FALSE(commandSeen);
  EXPECT_FALSE(afterSeen);
  EXPECT_TRUE(FileExistsW(kFixture + L"\\ops\\copy1.txt"));
}

TEST(ContextMenu, CopyPutsTheFilesOnTheClipboard) {
  auto one = Item(L"ops\\copy1.txt"), two = Item(L"ops\\copy2.txt");
  ASSERT_TRUE(one->Copy({one.get(), two.get()}));
  ComPtr<IDataObject> data;
  ASSERT_TRUE(SUCCEEDED(OleGetClipboard(data.Put())));
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  ASSERT_TRUE(SUCCEEDED(data->GetData(&format, &medium)));
  auto drop = static_cast<HDROP>(medium.hGlobal);
  std::vector<std::wstring> files;
  UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    wchar_t name[MAX_PATH];
    DragQueryFileW(drop, i, name, MAX_PATH);
    files.push_back(name);
  }
  ReleaseStgMedium(&medium);
  EXPECT_EQ(files, (std::vector<std::wstring>{kFixture + L"\\ops\\copy1.txt", kFixture + L"\\ops\\copy2.txt"}));
  OleSetClipboard(nullptr);
}

TEST(ContextMenu, ItemsOfTwoFoldersAreRefused) {
  auto mine = Item(L"ops\\delete1.txt"), other = Item(L"other\\elsewhere.txt");
  std::wstring text;
  SetWideMessageHook([&](HWND, const std::wstring& caption, const std::wstring& t) {
    EXPECT_EQ(caption, L"Error");
    text = t;
  });
  EXPECT_FALSE(mine->Delete({mine.get(), other.get()}));
  SetWideMessageHook(nullptr);
  EXPECT_EQ(text, L"PIDLs to operate on are not siblings of the Namespace doing the operation.");
  EXPECT_TRUE(FileExistsW(kFixture + L"\\ops\\delete1.txt"));
  EXPECT_TRUE(FileExistsW(kFixture + L"\\other\\elsewhere.txt"));
}

TEST(ContextMenu, DeleteAsksAndDeletesWhenAnswered) {
  static std::wstring seen;
  seen.clear();
  UINT_PTR timer = SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindWindowW(nullptr, L"Confirm file deletion");
    if (!box) return;
    wchar_t title[64];
    GetWindowTextW(box, title, 64);
    seen = title;
    PostMessageW(box, WM_COMMAND, IDYES, 0);
  });
  auto item = Item(L"ops\\delete1.txt");
  EXPECT_TRUE(item->Delete({item.get()}));
  KillTimer(nullptr, timer);
  EXPECT_EQ(seen, L"Confirm file deletion");
  EXPECT_FALSE(FileExistsW(kFixture + L"\\ops\\delete1.txt"));
  // The file comes back as the fixture made it, for the tests after this one.
  HANDLE file = CreateFileW((kFixture + L"\\ops\\delete1.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "delete1.txt", 11, &written, nullptr);
  CloseHandle(file);
  EXPECT_EQ(written, 11u);
}

TEST(ContextMenu, VerbNotInTheMenuGoesToTheShellAsText) {
  auto item = Item(L"ops\\copy2.txt");
  // Wine's menu knows no such verb: the shell is asked with the text and refuses.
  EXPECT_FALSE(item->ExecuteContextMenuVerb(L"nosuchverb", {item->RelativePIDL()}));
  EXPECT_FALSE(item->ExecuteContextMenuVerb(L"copy", {}));
}

}  // namespace
}  // namespace kv
