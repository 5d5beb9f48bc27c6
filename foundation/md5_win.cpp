#include "foundation/md5_win.h"

#include <windows.h>

#include "base/handle.h"
#include "foundation/md5.h"

namespace kv {

bool Md5OfFile(const std::wstring& fileName, std::array<uint8_t, 16>& digest) {
  const FileHandle file(CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  TCrMD5 md5;
  uint8_t block[4096];
  DWORD read = 0;
  do {
    if (!ReadFile(file.Get(), block, sizeof block, &read, nullptr)) return false;
    md5.Update({block, read});
  } while (read > 0);
  digest = md5.MD5_Finish();
  return true;
}

}  // namespace kv
