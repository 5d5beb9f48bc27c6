#include "diagnostics/frame_kind.h"

#include <optional>

namespace kv {
namespace {

constexpr uint8_t kEncodingOmit = 0xFF;
constexpr int kMaxCallSites = 100000;  // bounds a table in corrupt data
constexpr int kMaxActions = 256;       // bounds an action chain

// A cursor over the view whose failure sticks: every read after a failed
// one fails too.
class Cursor {
 public:
  Cursor(const ByteView& view, uint64_t at) : view_(view), at_(at) {}
  bool Ok() const noexcept { return ok_; }
  uint64_t At() const noexcept { return at_; }

  uint8_t U8() {
    const std::optional<uint8_t> v = ok_ ? view_.U8(at_) : std::nullopt;
    if (!v) return Fail<uint8_t>();
    ++at_;
    return *v;
  }
  uint64_t Uleb() { return Leb(false); }
  int64_t Sleb() { return static_cast<int64_t>(Leb(true)); }
  // A value in one of the pointer encodings (only its format is used: the
  // offsets of the tables are relative, and only zero tests are made).
  uint64_t Encoded(uint8_t encoding) {
    switch (encoding & 0x0F) {
      case 0x00: return Fixed(8);
      case 0x01: return Uleb();
      case 0x02: case 0x0A: return Fixed(2);
      case 0x03: case 0x0B: return Fixed(4);
      case 0x04: case 0x0C: return Fixed(8);
      case 0x09: return static_cast<uint64_t>(Sleb());
      default: return Fail<uint64_t>();
    }
  }

 private:
  // A little-endian base-128 number; a signed one extends its last sign bit.
  uint64_t Leb(bool isSigned) {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const uint8_t byte = U8();
      if (!ok_) return 0;
      value |= static_cast<uint64_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) {
        if (isSigned && shift + 7 < 64 && (byte & 0x40) != 0) value |= ~uint64_t{0} << (shift + 7);
        return value;
      }
    }
    return Fail<uint64_t>();
  }
  uint64_t Fixed(int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(U8()) << (8 * i);
    return ok_ ? value : 0;
  }
  template <class T>
  T Fail() {
    ok_ = false;
    return T{};
  }

  const ByteView& view_;
  uint64_t at_;
  bool ok_ = true;
};

// The size of one type-table entry; 0 for encodings a table cannot use.
int TypeEntrySize(uint8_t encoding) {
  switch (encoding & 0x0F) {
    case 0x00: case 0x04: case 0x0C: return 8;
    case 0x02: case 0x0A: return 2;
    case 0x03: case 0x0B: return 4;
    default: return 0;
  }
}

// Whether the type entry of a catch clause is null (catch of everything);
// nullopt when it cannot be read.
std::optional<bool> CatchesEverything(const ByteView& lsda, uint64_t typeBase, int entrySize, int64_t filter) {
  if (entrySize == 0 || typeBase == 0) return std::nullopt;
  const uint64_t distance = static_cast<uint64_t>(filter) * static_cast<uint64_t>(entrySize);
  if (filter <= 0 || filter > 0x10000 || distance > typeBase) return std::nullopt;
  Cursor entry(lsda, typeBase - distance);
  const uint64_t value = entry.Encoded(static_cast<uint8_t>(entrySize == 8 ? 0x04 : entrySize == 4 ? 0x03 : 0x02));
  if (!entry.Ok()) return std::nullopt;
  return value == 0;
}

}  // namespace

TDiagFrameKind FrameKindFromLsda(const ByteView& lsda, uint64_t offset) {
  Cursor c(lsda, 0);
  const uint8_t lpStartEncoding = c.U8();
  if (lpStartEncoding != kEncodingOmit) c.Encoded(lpStartEncoding);
  const uint8_t typeEncoding = c.U8();
  uint64_t typeBase = 0;  // the end of the type table; entries lie below it
  if (typeEncoding != kEncodingOmit) {
    const uint64_t typeOffset = c.Uleb();
    typeBase = c.At() + typeOffset;
    if (typeBase < c.At()) return kFrameUnknown;
  }
  const uint8_t callSiteEncoding = c.U8();
  const uint64_t tableLength = c.Uleb();
  if (!c.Ok() || !lsda.Has(c.At(), tableLength)) return kFrameUnknown;
  const uint64_t tableEnd = c.At() + tableLength;
  const uint64_t actionTable = tableEnd;

  for (int n = 0; n < kMaxCallSites && c.At() < tableEnd; ++n) {
    const uint64_t start = c.Encoded(callSiteEncoding);
    const uint64_t length = c.Encoded(callSiteEncoding);
    const uint64_t landingPad = c.Encoded(callSiteEncoding);
    const uint64_t action = c.Uleb();
    if (!c.Ok() || c.At() > tableEnd) return kFrameUnknown;
    // The table is sorted by start: past the offset, nothing covers it.
    if (offset < start) return kFrameUnknown;
    if (offset - start >= length) continue;
    if (landingPad == 0) return kFrameUnknown;
    if (action == 0) return kFrameFinally;

    bool cleanup = false, catchAll = false, typed = false;
    uint64_t record = actionTable + action - 1;
    for (int step = 0; step < kMaxActions; ++step) {
      Cursor a(lsda, record);
      const int64_t filter = a.Sleb();
      const uint64_t nextAt = a.At();
      const int64_t next = a.Sleb();
      if (!a.Ok()) return kFrameUnknown;
      if (filter == 0) {
        cleanup = true;
      } else if (filter > 0) {
        const std::optional<bool> all = CatchesEverything(lsda, typeBase, TypeEntrySize(typeEncoding), filter);
        if (!all) return kFrameUnknown;
        (*all ? catchAll : typed) = true;
      }
      if (next == 0) break;
      // Self-relative; a target outside the data fails at its first read.
      record = nextAt + static_cast<uint64_t>(next);
    }
    if (typed) return kFrameOnException;
    if (catchAll) return kFrameAnyException;
    return cleanup ? kFrameFinally : kFrameUnknown;
  }
  return kFrameUnknown;
}

uint64_t GetJmpDest(uint64_t address, const TDiagMemoryReader& read) {
  uint8_t code[5] = {};
  if (!read(address, code, 1)) return 0;
  uint64_t target = 0;
  if (code[0] == 0xE9) {
    if (!read(address, code, 5)) return 0;
    const auto displacement = static_cast<int32_t>(code[1] | code[2] << 8 | code[3] << 16 | uint32_t{code[4]} << 24);
    target = address + 5 + static_cast<uint64_t>(static_cast<int64_t>(displacement));
  } else if (code[0] == 0xEB) {
    if (!read(address, code, 2)) return 0;
    target = address + 2 + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int8_t>(code[1])));
  } else {
    return 0;
  }
  uint8_t indirect[6] = {};
  if (read(target, indirect, 6) && indirect[0] == 0xFF && indirect[1] == 0x25) {
    const auto displacement =
        static_cast<int32_t>(indirect[2] | indirect[3] << 8 | indirect[4] << 16 | uint32_t{indirect[5]} << 24);
    const uint64_t slot = target + 6 + static_cast<uint64_t>(static_cast<int64_t>(displacement));
    uint64_t pointer = 0;
    if (read(slot, &pointer, sizeof pointer)) target = pointer;
  }
  return target;
}

}  // namespace kv
