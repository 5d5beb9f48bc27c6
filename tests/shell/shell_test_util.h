#pragma once
// Helpers of the shell tests: items of the fixture C:\kvtest.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/namespace_win.h"
#include "ui/graphics_win.h"

namespace kv::test {

inline const std::wstring kFixture = L"C:\\kvtest";

// The entry point of a program testing in the fixture's namespace
// (scripts/shell_namespace_run.sh): OLE and the shell unit are started as the
// program's entry point does, never from static initialisers.
inline int RunInFixtureNamespace() {
  if (GetFileAttributesW((kFixture + L"\\fixture.ok").c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "The fixture C:\\kvtest is missing: run through scripts/shell_namespace_run.sh\n");
    return 2;
  }
  if (FAILED(OleInitialize(nullptr))) {
    std::fprintf(stderr, "OleInitialize failed\n");
    return 2;
  }
  ShellInitialize();
  const int status = RUN_ALL_TESTS();
  ShellFinalize();
  OleUninitialize();
  return status;
}

inline std::unique_ptr<TNamespace> Item(const std::wstring& relative) {
  return TNamespace::CreateFromFileName(kFixture + L"\\" + relative);
}

// In-folder names of a folder's children for the enumeration flags.
inline std::vector<std::wstring> ChildNames(TNamespace& folder, bool folders, bool nonFolders, bool hidden) {
  std::vector<std::wstring> names;
  folder.EnumerateFolder(folders, nonFolders, hidden, [&](TPidl child, TNamespace& parent, bool&) {
    TNamespace item(std::move(child), &parent);
    names.push_back(item.GetNameForParsingInFolder());
    return true;
  });
  return names;
}

inline std::string Narrow(const std::wstring& s) {
  int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

inline std::wstring UnixPath(const std::wstring& path);

// Runs a shell command line on the Linux side and waits for it while this
// thread serves its windows: the clipboard renders on demand, so a command
// reading it needs the messages handled. The handle of a Linux child never
// signals under Wine, so the command leaves a file behind when it is done.
// `command` holds no double quotes.
inline void RunUnix(const std::wstring& command) {
  const std::wstring done = kFixture + L"\\unix.done";
  DeleteFileW(done.c_str());
  std::wstring line = L"start.exe /unix /bin/sh -c \"" + command + L"; touch '" + UnixPath(done) + L"'\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  for (int i = 0; i < 2000 && GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
  DeleteFileW(done.c_str());
}

inline std::wstring UnixPath(const std::wstring& path) {
  using Convert = char*(CDECL*)(LPCWSTR);
  auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return {};
  char* unix = convert(path.c_str());
  if (!unix) return {};
  std::wstring out(unix, unix + strlen(unix));
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

// Delivers messages until `done` or five seconds passed; false on the timeout.
inline bool PumpUntil(const std::function<bool()>& done) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 5000) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return false;
}

// Keeps a screenshot in the fixture folder (the prefix has no Z: drive to
// reach the build folder): build/win/wine/shell-prefix/drive_c/kvtest.
inline void KeepShot(const ui::TBitmap& shot, const std::string& name) {
  const std::string bmp = shot.ToBmpFile();
  std::ofstream("C:\\kvtest\\" + name + ".bmp", std::ios::binary).write(bmp.data(), std::streamsize(bmp.size()));
}

}  // namespace kv::test
