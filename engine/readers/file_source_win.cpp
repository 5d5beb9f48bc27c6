#include "engine/readers/file_source_win.h"

#include <algorithm>
#include <utility>

namespace kv {

FileSource::FileSource(const std::wstring& path) : FileSource(TUniFileStream(path, kOpenRead | kShareRead)) {}

FileSource::FileSource(TUniFileStream stream) : stream_(std::move(stream)), size_(static_cast<uint64_t>(stream_.Size())) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(stream_.Handle(), &info)) return;
  attributes_ = info.dwFileAttributes;
  FILETIME local;
  WORD date = 0, time = 0;
  if (FileTimeToLocalFileTime(&info.ftLastWriteTime, &local) && FileTimeToDosDateTime(&local, &date, &time))
    date_ = static_cast<int32_t>((uint32_t{date} << 16) | time);
}

size_t FileSource::ReadAt(uint64_t offset, std::span<uint8_t> buffer) {
  if (offset >= size_ || buffer.empty()) return 0;
  stream_.Seek(static_cast<int64_t>(offset), TSeekOrigin::Beginning);
  const auto n = static_cast<size_t>(
      stream_.Read(buffer.data(), static_cast<int64_t>(std::min<uint64_t>(buffer.size(), size_ - offset))));
  bytesRead_ += n;
  return n;
}

}  // namespace kv
