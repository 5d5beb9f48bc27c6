// The header's binary stream: a marker and the version, the columns with
// their display order, the header's settings and font, and the main and sort
// column. Little-endian, 32-bit values.
//
// Saved views come from disk, so the reader trusts no count or length: each
// is checked against the bytes left before anything is allocated for it, and
// enumerations and the display order must be valid, or the read fails with
// the stream's read error.

#include <algorithm>
#include <cstring>

#include "treeview/header_model.h"

namespace kv {

namespace {

// Per column at least: two lengths and ten values; two more from version 1,
// the colour from version 2.
constexpr std::int64_t kColumnMinBytes = 48;

[[noreturn]] void ReadError() { throw ENodeStreamError("Stream read error."); }

// Header height and column spacing: the frame and layout arithmetic adds them
// to window coordinates, so a stored value far beyond any real header is a
// damaged stream, not a size to clamp. Negative values meant 0 before.
constexpr std::int32_t kMaxStoredSize = 1000;

void WriteI32(TNodeStream& stream, std::int64_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  stream.WriteBuffer(b, 4);
}

std::uint32_t ReadU32(TNodeStream& stream) {
  std::uint8_t b[4];
  stream.ReadBuffer(b, 4);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
}

std::int32_t ReadI32(TNodeStream& stream) { return static_cast<std::int32_t>(ReadU32(stream)); }

// Fails unless `bytes` more can be read.
void NeedBytes(TNodeStream& stream, std::int64_t bytes) {
  if (bytes < 0 || bytes > stream.Size() - stream.Position()) ReadError();
}

// An enumeration value stored widened to 32 bits, below `count`.
template <class E>
E ReadEnum(TNodeStream& stream, int count) {
  const std::uint32_t v = ReadU32(stream);
  if (v >= static_cast<std::uint32_t>(count)) ReadError();
  return static_cast<E>(v);
}

// A header height or column spacing: below 0 reads as 0, above the bound fails.
std::int32_t ReadBoundedSize(TNodeStream& stream) {
  const std::int32_t v = ReadI32(stream);
  if (v > kMaxStoredSize) ReadError();
  return std::max(v, 0);
}

// Widths beyond the widest column a header allows are a damaged stream as
// well; negative ones count as 0.
std::int32_t ReadColumnWidth(TNodeStream& stream) {
  const std::int32_t v = ReadI32(stream);
  if (v > kMaxColumnWidth) ReadError();
  return std::max(v, 0);
}

void WriteWide(TNodeStream& stream, const std::wstring& text) {
  WriteI32(stream, static_cast<std::int64_t>(text.size()));
  std::vector<std::uint8_t> bytes(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<std::uint16_t>(text[i]);
    bytes[2 * i] = static_cast<std::uint8_t>(c);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(c >> 8);
  }
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

std::wstring ReadWide(TNodeStream& stream) {
  const std::int32_t length = ReadI32(stream);
  NeedBytes(stream, std::int64_t{length} * 2);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length) * 2);
  stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return text;
}

// Column options of older streams in today's bits.
TLTColumnOptions ConvertColumnOptions(std::uint32_t stored, int version) {
  if (version >= 3) return static_cast<TLTColumnOptions>(stored);
  if (version == 2) return static_cast<TLTColumnOptions>(stored & 0x00FF);
  const std::uint32_t moved = (stored & 0x0F) | ((stored & 0x70) << 1) | ((stored & ~0x7FFFu) << 1);
  return static_cast<TLTColumnOptions>(moved);
}

}  // namespace

void TLazyTreeColumn::SaveToStream(TNodeStream& stream) const {
  WriteWide(stream, text_);
  WriteWide(stream, hint_);
  for (std::int64_t v : {std::int64_t{width_}, std::int64_t{minWidth_}, std::int64_t{maxWidth_},
                         std::int64_t{static_cast<int>(style_)}, std::int64_t{imageIndex_},
                         std::int64_t{static_cast<int>(layout_)}, std::int64_t{margin_}, std::int64_t{spacing_},
                         std::int64_t{static_cast<int>(bidiMode_)}, std::int64_t{options_}, std::int64_t{tag_},
                         std::int64_t{static_cast<int>(alignment_)}, std::int64_t{color_}})
    WriteI32(stream, v);
}

void TLazyTreeColumn::LoadFromStream(TNodeStream& stream, int version) {
  text_ = ReadWide(stream);
  hint_ = ReadWide(stream);
  const int width = ReadColumnWidth(stream);
  const int minWidth = ReadColumnWidth(stream);
  const int maxWidth = ReadColumnWidth(stream);
  style_ = ReadEnum<TLazyTreeColumnStyle>(stream, 2);
  imageIndex_ = ReadI32(stream);
  layout_ = ReadEnum<TLTHeaderColumnLayout>(stream, 4);
  const int margin = ReadI32(stream);
  margin_ = margin < 0 ? 4 : margin;
  spacing_ = ReadBoundedSize(stream);
  bidiMode_ = ReadEnum<TLTBidiMode>(stream, 2);
  options_ = ConvertColumnOptions(ReadU32(stream), version);
  if (version >= 1) {
    tag_ = ReadI32(stream);
    alignment_ = ReadEnum<TLTAlignment>(stream, 3);
  }
  if (version >= 2) color_ = ReadU32(stream);
  // The limits first, each kept inside the other, then the width inside them.
  maxWidth_ = maxWidth;
  minWidth_ = std::min(minWidth, maxWidth_);
  width_ = std::clamp(width, minWidth_, maxWidth_);
  previousWidth_ = width_;
}

void TLazyTreeColumns::SaveToStream(TNodeStream& stream) const {
  WriteI32(stream, Count());
  for (const auto& column : items_) column->SaveToStream(stream);
  if (Count() > 0)
    for (TColumnIndex index : positions_) WriteI32(stream, index);
}

void TLazyTreeColumns::LoadFromStream(TNodeStream& stream, int version) {
  Clear();
  const std::int32_t count = ReadI32(stream);
  if (count <= 0) return;
  const std::int64_t perColumn = kColumnMinBytes + (version >= 1 ? 8 : 0) + (version >= 2 ? 4 : 0);
  NeedBytes(stream, std::int64_t{count} * (perColumn + 4));
  for (std::int32_t i = 0; i < count; ++i) {
    TLazyTreeColumn& column = Add();
    column.LoadFromStream(stream, version);
  }
  std::vector<TColumnIndex> positions(static_cast<std::size_t>(count));
  std::vector<bool> seen(static_cast<std::size_t>(count), false);
  for (auto& entry : positions) {
    const std::int32_t index = ReadI32(stream);
    if (index < 0 || index >= count || seen[static_cast<std::size_t>(index)]) ReadError();
    seen[static_cast<std::size_t>(index)] = true;
    entry = index;
  }
  positions_ = std::move(positions);
  needPositionsFix_ = false;
  UpdatePositions(true);
}

void TLTHeaderModel::SaveToStream(TNodeStream& stream) const {
  WriteI32(stream, -1);
  WriteI32(stream, kHeaderStreamVersion);
  if (CanWriteColumns()) {
    columns_->SaveToStream(stream);
  } else {
    WriteI32(stream, 0);
  }
  WriteI32(stream, autoSizeIndex_);
  WriteI32(stream, background_);
  WriteI32(stream, height_);
  WriteI32(stream, options_);
  WriteI32(stream, static_cast<int>(style_));
  WriteI32(stream, font_.Color);
  WriteI32(stream, font_.Height);
  WriteI32(stream, static_cast<std::int64_t>(font_.Name.size()));
  stream.WriteBuffer(font_.Name.data(), static_cast<std::int64_t>(font_.Name.size()));
  WriteI32(stream, font_.Pitch);
  WriteI32(stream, font_.Style);
  WriteI32(stream, mainColumn_);
  WriteI32(stream, sortColumn_);
  WriteI32(stream, static_cast<int>(sortDirection_));
}

void TLTHeaderModel::LoadFromStream(TNodeStream& stream) {
  const TLTHeaderOptions oldOptions = options_;
  bool optionsRead = false;
  EnterState(hstLoading);
  options_ = 0;
  auto finish = [&] {
    if (!optionsRead) options_ = oldOptions;
    LeaveState(hstLoading);
    Loaded();
  };
  try {
    int version = -1;
    const std::int32_t first = ReadI32(stream);
    if (first >= 0) {
      // Written before the marker existed: the value is already the count.
      stream.SetPosition(stream.Position() - 4);
    } else {
      version = ReadI32(stream);
      if (version < 0 || version > kHeaderStreamVersion) ReadError();
    }
    columns_->LoadFromStream(stream, version);
    autoSizeIndex_ = ReadI32(stream);
    background_ = ReadU32(stream);
    height_ = ReadBoundedSize(stream);
    const auto options = static_cast<TLTHeaderOptions>(ReadU32(stream));
    options_ = oldOptions;
    optionsRead = true;
    SetOptions(options);
    style_ = ReadEnum<TLTHeaderStyle>(stream, 4);
    THeaderFont font;
    font.Color = ReadU32(stream);
    font.Height = ReadI32(stream);
    const std::int32_t nameLength = ReadI32(stream);
    NeedBytes(stream, nameLength);
    font.Name.resize(static_cast<std::size_t>(nameLength));
    stream.ReadBuffer(font.Name.data(), nameLength);
    font.Pitch = ReadI32(stream);
    font.Style = ReadU32(stream);
    font_ = font;
    if (version >= 1) {
      mainColumn_ = ReadI32(stream);
      sortColumn_ = ReadI32(stream);
      sortDirection_ = ReadEnum<TSortDirection>(stream, 2);
    } else {
      mainColumn_ = 0;
      sortColumn_ = -1;
      sortDirection_ = TSortDirection::sdAscending;
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

}  // namespace kv
