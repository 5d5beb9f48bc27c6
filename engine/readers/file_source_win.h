#pragma once
// A music file opened by its wide name for the readers, through the
// wide-name file stream: read-only, others may read but not write while it
// is open. 64-bit offsets.
#include <string>

#include "engine/readers/byte_source.h"
#include "foundation/uni_file_stream_win.h"

namespace kv {

class FileSource final : public ByteSource {
 public:
  // Opens the file; raises EFOpenError naming it when it cannot.
  explicit FileSource(const std::wstring& path);
  // Reads a stream opened by the caller (with its own access and sharing).
  explicit FileSource(TUniFileStream stream);
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, std::span<uint8_t> buffer) override;
  int32_t FileDate() const override { return date_; }
  uint32_t FileAttributes() const override { return attributes_; }
  // Bytes handed out so far (benchmarks).
  uint64_t BytesRead() const { return bytesRead_; }

 private:
  TUniFileStream stream_;
  uint64_t size_ = 0;
  uint64_t bytesRead_ = 0;
  int32_t date_ = -1;
  uint32_t attributes_ = 0;
};

}  // namespace kv
