#pragma once
// Test-only archive builder: entries with given raw data, method, flags and
// optional traditional encryption, written through the library's own
// record writers; small helpers to corrupt and inspect the result; and the
// sample data of the writer's tests and of bench/deflate_bench.cpp.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "zip/crc32.h"
#include "zip/deflate.h"
#include "zip/zip_cipher.h"
#include "zip/zip_records.h"
#include "zip/zip_stream.h"

#if defined(KV_HAVE_ZLIB) || KV_DEFLATE_ZLIB_ORACLE
#include <zlib.h>
#endif

namespace kv::test {

inline std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Words of skewed frequency: matches at every distance, short and long.
inline std::vector<uint8_t> Text(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"the ",   "music ",    "file ",  "artist ",  "title ", "album ", "similar ",
                                       "group ", "folder ",   "track ", "of ",      "and ",   "delete ", "reserve ",
                                       "scan ",  ".\r\n",     "Bach ",  "1987 ",    "remix ", "duplicate "};
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  while (out.size() < size) {
    const size_t a = rng() % std::size(kWords), b = rng() % std::size(kWords);
    const char* w = kWords[std::min(a, b)];
    out.insert(out.end(), w, w + std::strlen(w));
  }
  out.resize(size);
  return out;
}

inline std::vector<uint8_t> Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// Records of little-endian integers and short names, like an index file.
inline std::vector<uint8_t> Binary(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  uint32_t counter = 0;
  while (out.size() < size) {
    counter += rng() % 300;
    const uint32_t small = rng() % 1000;
    for (uint32_t v : {counter, counter >> 8, counter >> 16, counter >> 24, small, small >> 8})
      out.push_back(static_cast<uint8_t>(v));
    for (int i = 0; i < 6; ++i) out.push_back(static_cast<uint8_t>('A' + rng() % 8));
  }
  out.resize(size);
  return out;
}

struct TestEntry {
  TestEntry(std::string name_, std::vector<uint8_t> plain_, std::optional<std::vector<uint8_t>> packed_ = {},
            uint16_t method_ = 0, std::string password_ = {}, std::optional<uint32_t> crc_ = {},
            std::optional<uint32_t> size_ = {}, uint16_t flag_ = 0, std::string comment_ = {})
      : name(std::move(name_)), plain(std::move(plain_)), packed(std::move(packed_)), method(method_),
        password(std::move(password_)), crc(crc_), size(size_), flag(flag_), comment(std::move(comment_)) {}
  std::string name;                 // held form ("\" separators)
  std::vector<uint8_t> plain;       // what the entry holds
  std::optional<std::vector<uint8_t>> packed;  // raw data for method != 0; stored when empty
  uint16_t method = 0;
  std::string password;             // encrypts when not empty
  std::optional<uint32_t> crc;      // overrides the true CRC
  std::optional<uint32_t> size;     // overrides the uncompressed size
  uint16_t flag = 0;
  std::string comment;
};

// Writes the entries, their central records and the end record.
inline std::vector<uint8_t> BuildZip(const std::vector<TestEntry>& entries, const std::string& zipComment = {}) {
  TMemoryStream s;
  std::vector<TZipHeaderInfo> heads;
  for (const TestEntry& e : entries) {
    TZipHeaderInfo h;
    h.SetFullName(e.name);
    h.compressionMethod = e.method;
    h.crc32 = e.crc.value_or(Crc32(e.plain));
    h.uncompressedSize = e.size.value_or(static_cast<uint32_t>(e.plain.size()));
    h.lastModFileDateTime = 0x5A210000;
    h.flag = e.flag;
    std::vector<uint8_t> data = e.packed.value_or(e.plain);
    if (!e.password.empty()) {
      h.flag |= kFlagEncrypted;
      TZipKeys keys;
      keys.Init(e.password);
      std::vector<uint8_t> header(kEncryptionHeaderSize, 0x55);
      header[11] = PasswordCheckByte(h.flag, h.lastModFileDateTime, h.crc32);
      keys.EncryptBuff(header);
      keys.EncryptBuff(data);
      data.insert(data.begin(), header.begin(), header.end());
    }
    h.compressedSize = static_cast<uint32_t>(data.size());
    h.SaveLocalToStream(s);
    s.WriteBuffer(data);
    if (!e.comment.empty()) h.SetFileComment(e.comment);
    heads.push_back(h);
  }
  TEndCentral end;
  end.centralOffset = static_cast<uint32_t>(s.Position());
  for (TZipHeaderInfo& h : heads) h.SaveCentralToStream(s);
  end.signature = kEndCentralSignature;
  end.totalEntries = end.entriesThisDisk = static_cast<uint16_t>(heads.size());
  end.centralSize = static_cast<uint32_t>(s.Position() - end.centralOffset);
  if (!zipComment.empty()) end.SetZipComment(zipComment);
  end.SaveToStream(s);
  return s.Bytes();
}

// Raw deflate by the library's own deflater at level 6.
inline std::vector<uint8_t> Deflated(const std::vector<uint8_t>& in) {
  Deflater deflater;
  DeflateEntry entry;
  std::vector<uint8_t> out;
  size_t pos = 0;
  deflater.Deflate(
      6,
      [&](std::span<uint8_t> buf) {
        const size_t n = std::min(buf.size(), in.size() - pos);
        std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(pos), n, buf.begin());
        pos += n;
        return n;
      },
      [&](std::span<const uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }, entry);
  return out;
}

#if defined(KV_HAVE_ZLIB) || KV_DEFLATE_ZLIB_ORACLE
// Raw deflate by the reference library; empty when it fails.
inline std::vector<uint8_t> ZlibDeflate(const std::vector<uint8_t>& in, int level, int strategy, int windowBits,
                                        int memLevel) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -windowBits, memLevel, strategy) != Z_OK) return {};
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(in.size())) + 64);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
  out.resize(done ? z.total_out : 0);
  deflateEnd(&z);
  return out;
}
#endif

inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
// Offset of the end record (the last "PK\5\6").
inline size_t EndRecordAt(const std::vector<uint8_t>& b) {
  for (size_t i = b.size() - 22 + 1; i-- > 0;) {
    if (b[i] == 'P' && b[i + 1] == 'K' && b[i + 2] == 5 && b[i + 3] == 6) return i;
  }
  return SIZE_MAX;
}

inline uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return Get16(b, at) | static_cast<uint32_t>(Get16(b, at + 2)) << 16;
}

// The archive with a zip64 end record and locator before its end record,
// whose fields then hold their maximum as zip64 writers leave them. The
// zip64 record gives the true values (or `entries` as the count).
inline std::vector<uint8_t> WithZip64End(std::vector<uint8_t> b, std::optional<uint64_t> entries = {}) {
  const size_t end = EndRecordAt(b);
  const uint64_t count = entries.value_or(b[end + 10] | b[end + 11] << 8);
  const uint64_t size = Get32(b, end + 12), offset = Get32(b, end + 16);
  std::vector<uint8_t> z(56 + 20, 0);
  auto put64 = [&](size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) z[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  Put32(z, 0, 0x06064b50);
  put64(4, 44);
  Put16(z, 12, 45);
  Put16(z, 14, 45);
  put64(24, count);
  put64(32, count);
  put64(40, size);
  put64(48, offset);
  Put32(z, 56, 0x07064b50);
  put64(64, end);  // where the zip64 end record starts
  Put32(z, 72, 1);
  b.insert(b.begin() + static_cast<std::ptrdiff_t>(end), z.begin(), z.end());
  const size_t moved = end + z.size();
  Put16(b, moved + 8, 0xFFFF);
  Put16(b, moved + 10, 0xFFFF);
  Put32(b, moved + 12, 0xFFFFFFFF);
  Put32(b, moved + 16, 0xFFFFFFFF);
  return b;
}

}  // namespace kv::test
