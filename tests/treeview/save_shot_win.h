#pragma once
// Keeps a picture a tree test made as screenshots/<name>.bmp in the build folder.
#include <windows.h>

#include <fstream>
#include <string>

#include "ui/graphics_win.h"

namespace kv::test {

inline void SaveShot(const ui::TBitmap& shot, const std::string& name) {
  const std::string folder = std::string(KV_TEST_BINARY_DIR) + "/screenshots";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string bmp = shot.ToBmpFile();
  std::ofstream(folder + "/" + name + ".bmp", std::ios::binary)
      .write(bmp.data(), static_cast<std::streamsize>(bmp.size()));
}

}  // namespace kv::test
