#include "treeview/node_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <share.h>
#endif

namespace kv {

void TNodeStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw ENodeStreamError("Stream read error.");
}

void TNodeStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw ENodeStreamError("Stream write error.");
}

void WriteCaptionChunk(TNodeStream& stream, std::u16string_view text) {
  const auto size = static_cast<std::uint32_t>(2 * text.size());
  std::vector<std::uint8_t> bytes(8 + size);
  const std::uint32_t header[2] = {kCaptionChunk, size};
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(header[i / 4] >> (8 * (i % 4)));
  for (std::size_t i = 0; i < text.size(); ++i) {
    bytes[8 + 2 * i] = static_cast<std::uint8_t>(text[i]);
    bytes[9 + 2 * i] = static_cast<std::uint8_t>(text[i] >> 8);
  }
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

std::u16string ReadCaptionChunk(TNodeStream& stream, std::uint32_t size) {
  std::vector<std::uint8_t> bytes(size / 2 * 2);
  stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return text;
}

std::span<const std::uint8_t> NativeBlockPayload(const void* block, std::size_t blockSize) {
  if (block == nullptr || blockSize < 4) return {};
  const auto* b = static_cast<const std::uint8_t*>(block);
  const std::size_t claimed = b[0] | (b[1] << 8) | (b[2] << 16) | (std::size_t{b[3]} << 24);
  return {b + 4, std::min(claimed, blockSize - 4)};
}

std::int64_t TNodeMemoryStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t available = std::max<std::int64_t>(Size() - position_, 0);
  const std::int64_t n = std::clamp<std::int64_t>(count, 0, available);
  if (n > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TNodeMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const std::int64_t end = position_ + count;
  if (end > Size()) {
    // Geometric growth keeps a long run of small writes linear.
    if (static_cast<std::size_t>(end) > bytes_.capacity())
      bytes_.reserve(std::max<std::size_t>(static_cast<std::size_t>(end), bytes_.capacity() * 2));
    bytes_.resize(static_cast<std::size_t>(end));
  }
  std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}

void TNodeMemoryStream::SetPosition(std::int64_t position) { position_ = std::max<std::int64_t>(position, 0); }

void TNodeMemoryStream::SetSize(std::int64_t size) {
  bytes_.resize(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
  position_ = std::min(position_, Size());
}

std::int64_t TOLEMemoryStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t available = std::max<std::int64_t>(size_ - position_, 0);
  const std::int64_t n = std::clamp<std::int64_t>(count, 0, available);
  if (n > 0) std::memcpy(buffer, data_ + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TOLEMemoryStream::Write(const void*, std::int64_t) {
  throw EStreamError("Can't write to a read-only resource stream");
}

void TOLEMemoryStream::SetPosition(std::int64_t position) { position_ = std::max<std::int64_t>(position, 0); }

void TOLEMemoryStream::SetSize(std::int64_t) { throw EStreamError("Can't write to a read-only resource stream"); }

namespace {
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

std::vector<std::uint8_t> ReadNodeStreamFile(const std::filesystem::path& name) {
#ifdef _WIN32
  std::unique_ptr<std::FILE, FileCloser> file(_wfsopen(name.c_str(), L"rb", _SH_DENYWR));
#else
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
#endif
  if (!file) throw ENodeStreamError("Cannot open file \"" + name.string() + "\".");
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[65536];
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
    bytes.insert(bytes.end(), chunk, chunk + n);
    if (n < sizeof chunk) break;
  }
  if (std::ferror(file.get())) throw ENodeStreamError("Cannot read file \"" + name.string() + "\".");
  return bytes;
}

}  // namespace kv
