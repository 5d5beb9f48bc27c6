#pragma once
// Keeps a picture a tree test made as screenshots/<name>.bmp in the build folder;
// prints a window's client area, or takes it from the screen.
#include <windows.h>

#include <fstream>
#include <string>

#include "ui/gdi_win.h"
#include "ui/graphics_win.h"

namespace kv::test {

inline void SaveShot(const ui::TBitmap& shot, const std::string& name) {
  const std::string folder = std::string(KV_TEST_BINARY_DIR) + "/screenshots";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string bmp = shot.ToBmpFile();
  std::ofstream(folder + "/" + name + ".bmp", std::ios::binary)
      .write(bmp.data(), static_cast<std::streamsize>(bmp.size()));
}

// The client area as the window paints it for WM_PRINTCLIENT.
inline ui::TBitmap PrintClient(HWND window) {
  ui::TBitmap shot;
  RECT client;
  GetClientRect(window, &client);
  shot.Create(client.right, client.bottom);
  const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
  const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
  SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
  return shot;
}

// The client area as the screen shows it now, pending paints not done.
inline ui::TBitmap ClientOnScreen(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  ui::TBitmap shot;
  shot.CaptureScreen(r);
  return shot;
}

}  // namespace kv::test
