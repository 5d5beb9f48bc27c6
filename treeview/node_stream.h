#pragma once
// The byte stream the tree writes its nodes to and reads them from. The tree
// sits below the archive library, so it brings its own small interface; a
// layer that sees both adapts the library's streams to it. Window-free.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// A read or write the stream could not complete (a short read inside a chunk,
// a full disk).
class ENodeStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TNodeStream {
 public:
  virtual ~TNodeStream() = default;
  // Up to `count` bytes; fewer only at the end.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Position() = 0;
  virtual void SetPosition(std::int64_t position) = 0;
  virtual std::int64_t Size() = 0;
  // Cuts the stream (or extends it with zeros); the position stays inside.
  virtual void SetSize(std::int64_t size) = 0;

  // Exactly `count` bytes or ENodeStreamError.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
};

class TNodeMemoryStream : public TNodeStream {
 public:
  TNodeMemoryStream() = default;
  explicit TNodeMemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Position() override { return position_; }
  void SetPosition(std::int64_t position) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }
  void SetSize(std::int64_t size) override;

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::int64_t position_ = 0;
};

// A write into a stream that only reads.
class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A read-only stream over bytes its owner keeps (a locked clipboard block,
// read in place). Writing or resizing raises EStreamError.
class TOLEMemoryStream : public TNodeStream {
 public:
  TOLEMemoryStream(const void* data, std::int64_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size > 0 && data != nullptr ? size : 0) {}
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Position() override { return position_; }
  void SetPosition(std::int64_t position) override;
  std::int64_t Size() override { return size_; }
  void SetSize(std::int64_t size) override;

 private:
  const std::uint8_t* data_;
  std::int64_t size_;
  std::int64_t position_ = 0;
};

// The string tree's caption chunk: the main column's text as UTF-16LE without
// terminator, after the node's other chunks. Reading takes size / 2 units.
inline constexpr std::uint32_t kCaptionChunk = 3;
void WriteCaptionChunk(TNodeStream& stream, std::u16string_view text);
std::u16string ReadCaptionChunk(TNodeStream& stream, std::uint32_t size);

// The bytes of the native clipboard block: a 32-bit length, then the node
// chunks. A block shorter than it claims gives what it holds; one under 4
// bytes gives nothing.
std::span<const std::uint8_t> NativeBlockPayload(const void* block, std::size_t blockSize);

// Reads a whole file into memory (others may read it meanwhile, not write).
// Throws ENodeStreamError naming the file when it cannot be read.
std::vector<std::uint8_t> ReadNodeStreamFile(const std::filesystem::path& name);

}  // namespace kv
