#include "shell/id_list.h"

#include <algorithm>
#include <string>

#include "zip/zip_stream.h"

namespace kv {

size_t IDListSize(const void* list) {
  if (!list) return 0;
  auto p = static_cast<const uint8_t*>(list);
  size_t size = 0;
  for (uint16_t n = IDCountAt(p); n != 0; n = IDCountAt(p)) {
    size += n;
    p += n;
  }
  return size + 2;
}

size_t IDListCount(const void* list) {
  if (!list) return 0;
  auto p = static_cast<const uint8_t*>(list);
  size_t count = 0;
  for (uint16_t n = IDCountAt(p); n != 0; n = IDCountAt(p)) {
    ++count;
    p += n;
  }
  return count;
}

const void* NextIDItem(const void* item) {
  if (!item) return nullptr;
  return static_cast<const uint8_t*>(item) + IDCountAt(item);
}

const void* LastIDItem(const void* list) {
  if (!list) return nullptr;
  auto p = static_cast<const uint8_t*>(list);
  const uint8_t* last = p;
  for (uint16_t n = IDCountAt(p); n != 0; n = IDCountAt(p)) {
    last = p;
    p += n;
  }
  return last;
}

bool IsDesktopIDList(const void* list) { return list && IDCountAt(list) == 0; }

std::span<const uint8_t> IDItemBytes(const void* item) {
  if (!item) return {};
  return {static_cast<const uint8_t*>(item), IDCountAt(item)};
}

void ValidateIDList(std::span<const uint8_t> bytes) {
  if (bytes.size() < 2) throw EIDListFormat("Item-ID list shorter than its terminator");
  size_t pos = 0;
  for (;;) {
    if (bytes.size() - pos < 2) throw EIDListFormat("Item-ID list without terminator");
    uint16_t n = IDCountAt(bytes.data() + pos);
    if (n == 0) break;
    if (n < 2) throw EIDListFormat("Item-ID count below 2");
    if (n > bytes.size() - pos) throw EIDListFormat("Item-ID count runs past the list");
    pos += n;
  }
  if (pos + 2 != bytes.size()) throw EIDListFormat("Item-ID list ends before its size");
}

namespace {

uint32_t ReadU32(TStream& stream) {
  uint8_t b[4];
  stream.ReadBuffer(b, 4);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

void WriteU32(TStream& stream, uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  stream.WriteBuffer(b, 4);
}

int64_t BytesLeft(TStream& stream) { return std::max<int64_t>(0, stream.Size() - stream.Position()); }

}  // namespace

std::vector<uint8_t> ReadIDList(TStream& stream) {
  int64_t left = BytesLeft(stream);
  if (left < 4) throw EIDListFormat("Item-ID list size missing");
  uint32_t size = ReadU32(stream);
  if (size == 0) return {};  // an absent list
  if (size < 2) throw EIDListFormat("Item-ID list size below 2");
  if (size > kMaxIDListBytes) throw EIDListFormat("Item-ID list too large");
  if (static_cast<int64_t>(size) > left - 4) throw EIDListFormat("Item-ID list size runs past the stream");
  std::vector<uint8_t> bytes(size);
  stream.ReadBuffer(bytes.data(), size);
  ValidateIDList(bytes);
  return bytes;
}

void WriteIDList(TStream& stream, const void* list) {
  size_t size = IDListSize(list);  // 0 for an absent list, which then has no bytes
  WriteU32(stream, static_cast<uint32_t>(size));
  if (size) stream.WriteBuffer(list, static_cast<int64_t>(size));
}

void ReadIDLists(TStream& stream, const std::function<void(std::vector<uint8_t>)>& add) {
  if (BytesLeft(stream) < 4) throw EIDListFormat("Item-ID list count missing");
  uint32_t count = ReadU32(stream);
  // Each list takes at least its 4-byte size, so a count the stream cannot
  // hold fails on the first list that is not there, not in a long loop.
  for (uint32_t i = 0; i < count; ++i) add(ReadIDList(stream));
}

std::vector<std::vector<uint8_t>> ReadIDLists(TStream& stream) {
  if (BytesLeft(stream) < 4) throw EIDListFormat("Item-ID list count missing");
  uint32_t count = ReadU32(stream);
  // Each list takes at least its 4-byte size (an absent list has nothing more).
  if (count > BytesLeft(stream) / 4) throw EIDListFormat("Item-ID list count runs past the stream");
  std::vector<std::vector<uint8_t>> lists;
  lists.reserve(count);
  for (uint32_t i = 0; i < count; ++i) lists.push_back(ReadIDList(stream));
  return lists;
}

int CompareIDItemBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  size_t n = std::min(a.size(), b.size());
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (c != 0) return c < 0 ? -1 : 1;
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int CompareIDsResult(int32_t hresult, std::span<const uint8_t> first, std::span<const uint8_t> second) {
  if (hresult >= 0) {
    auto code = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(hresult) & 0xFFFF));
    return code < 0 ? -1 : (code > 0 ? 1 : 0);
  }
  int c = CompareIDItemBytes(first, second);
  // Identical bytes are one item whatever the folder says.
  return c;
}

}  // namespace kv
