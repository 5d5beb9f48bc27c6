#include "engine/readers/file_source_win.h"

#include <stdexcept>

#include "foundation/ansi_text_win.h"

namespace kv {

FileSource::FileSource(const std::wstring& path)
    : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {
  LARGE_INTEGER size{};
  if (!file_ || !GetFileSizeEx(file_.Get(), &size)) {
    throw std::runtime_error("Cannot open file " + WStringToAnsi(path));
  }
  size_ = static_cast<uint64_t>(size.QuadPart);
}

size_t FileSource::ReadAt(uint64_t offset, std::span<uint8_t> buffer) {
  if (offset >= size_ || buffer.empty()) return 0;
  size_t done = 0;
  while (done < buffer.size()) {
    OVERLAPPED at{};
    const uint64_t pos = offset + done;
    at.Offset = static_cast<DWORD>(pos);
    at.OffsetHigh = static_cast<DWORD>(pos >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(buffer.size() - done, 1u << 24));
    DWORD read = 0;
    if (!ReadFile(file_.Get(), buffer.data() + done, chunk, &read, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      throw std::runtime_error("Cannot read file");
    }
    if (read == 0) break;
    done += read;
  }
  bytesRead_ += done;
  return done;
}

}  // namespace kv
