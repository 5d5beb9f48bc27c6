#include "diagnostics/file_version_info.h"

#include <array>
#include <cstdio>

#include "diagnostics/byte_view.h"
#include "diagnostics/diag_errors.h"
#include "base/ansi_text.h"
#include "base/strings.h"

namespace kv {

namespace {

constexpr std::array<const char*, 12> kVersionKeyNames{
    "Comments",       "CompanyName",  "FileDescription", "FileVersion",    "InternalName", "LegalCopyright",
    "LegalTradeMarks", "OriginalFilename", "ProductName", "ProductVersion", "SpecialBuild", "PrivateBuild"};

[[noreturn]] void Malformed() { throw EDiagFileVersionInfoError(DiagText::kNoVersionInfo); }

uint64_t Align4(uint64_t offset) { return (offset + 3) & ~uint64_t{3}; }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

// One block of the resource: a header (length, value length, in the newer
// layout a type), the key, the value and the children, each part on a 4-byte
// boundary. Every block lies within its parent.
class TDiagFileVersionInfo::Parser {
 public:
  struct Block {
    uint64_t end = 0;
    std::string key;
    uint16_t valueLength = 0;
    uint16_t type = 1;
    uint64_t value = 0;     // offset of the value
    uint64_t children = 0;  // offset of the first child
  };

  explicit Parser(ByteView bytes) : bytes_(bytes) {
    const auto word = bytes_.U16(4);
    if (!word) Malformed();
    wide_ = *word < 2;
  }

  // The block at offset, which must end by limit.
  Block Read(uint64_t offset, uint64_t limit) const {
    Block b;
    const auto length = bytes_.U16(offset);
    const auto valueLength = bytes_.U16(offset + 2);
    if (!length || !valueLength) Malformed();
    b.end = offset + *length;
    if (*length < (wide_ ? 6u : 4u) || b.end > limit) Malformed();
    b.valueLength = *valueLength;
    uint64_t at = offset + 4;
    if (wide_) {
      b.type = *bytes_.U16(at);
      at += 2;
      std::u16string key;
      for (;;) {
        const auto c = bytes_.U16(at);
        if (!c || at + 2 > b.end) Malformed();
        at += 2;
        if (*c == 0) break;
        key += static_cast<char16_t>(*c);
      }
      b.key = WideToAnsi(key);
    } else {
      b.type = 1;
      const auto key = ByteView(bytes_.Data(), static_cast<size_t>(b.end)).CString(at, b.end);
      if (!key) Malformed();
      b.key = std::string(*key);
      at += key->size() + 1;
    }
    b.value = Align4(at);
    b.children = Align4(b.value + ValueBytes(b));
    if (b.value > b.end) b.value = b.end;
    if (b.children > b.end) b.children = b.end;
    return b;
  }

  // Bytes of a block's value: text values count characters in the newer layout.
  uint64_t ValueBytes(const Block& b) const { return wide_ && b.type == 1 ? uint64_t{b.valueLength} * 2 : b.valueLength; }
  bool Wide() const { return wide_; }
  ByteView Bytes() const { return bytes_; }

  // The text of a string value: its characters up to the first zero, within the block.
  std::string Text(const Block& b) const {
    if (wide_) {
      std::u16string text;
      for (uint64_t at = b.value; at + 2 <= b.end; at += 2) {
        const uint16_t c = *bytes_.U16(at);
        if (c == 0) break;
        text += static_cast<char16_t>(c);
      }
      return WideToAnsi(text);
    }
    std::string text;
    for (uint64_t at = b.value; at < b.end; ++at) {
      const uint8_t c = *bytes_.U8(at);
      if (c == 0) break;
      text += static_cast<char>(c);
    }
    return text;
  }

 private:
  ByteView bytes_;
  bool wide_ = true;
};

const char* VersionKeyName(int index) {
  return index >= 1 && index <= 12 ? kVersionKeyNames[static_cast<size_t>(index - 1)] : "";
}

TDiagFileVersionInfo::TDiagFileVersionInfo(std::span<const uint8_t> resource) : raw_(resource.begin(), resource.end()) {
  // The copy is padded to a multiple of 4 as the parser walks 4-byte steps.
  raw_.resize(static_cast<size_t>(Align4(raw_.size())), 0);
  const ByteView bytes(raw_.data(), resource.size());
  const Parser parser(bytes);
  const Parser::Block root = parser.Read(0, bytes.Size());
  if (root.key != "VS_VERSION_INFO" || root.valueLength != kFixedFileInfoSize ||
      !bytes.Has(root.value, kFixedFileInfoSize) || *bytes.U32(root.value) != kFixedFileInfoSignature) {
    Malformed();
  }
  uint32_t* fields[] = {&fixed_.signature,     &fixed_.strucVersion,     &fixed_.fileVersionMS, &fixed_.fileVersionLS,
                        &fixed_.productVersionMS, &fixed_.productVersionLS, &fixed_.fileFlagsMask, &fixed_.fileFlags,
                        &fixed_.fileOS,        &fixed_.fileType,         &fixed_.fileSubtype,   &fixed_.fileDateMS,
                        &fixed_.fileDateLS};
  for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = *bytes.U32(root.value + 4 * i);
  // The fixed information always holds its 52 bytes, so the children start after it.
  const uint64_t rootChildren = Align4(root.value + kFixedFileInfoSize);

  int tableIndex = 0;
  for (uint64_t at = rootChildren; at < root.end;) {
    const Parser::Block child = parser.Read(at, root.end);
    if (child.key == "StringFileInfo") {
      for (uint64_t t = child.children; t < child.end;) {
        const Parser::Block table = parser.Read(t, child.end);
        std::string digits;
        std::string key = table.key;
        ReplaceStr(key, "0x", "", false);
        for (char c : key) {
          if (IsHexDigit(c)) digits += c;
        }
        if (table.valueLength != 0 || digits.size() != 8) break;
        const uint32_t language = static_cast<uint32_t>(std::stoul(digits.substr(0, 4), nullptr, 16));
        const uint32_t codePage = static_cast<uint32_t>(std::stoul(digits.substr(4, 4), nullptr, 16));
        languages_.push_back(language | (codePage << 16));
        // Every string takes some bytes of a block of at most 64 KiB, so
        // the walk ends however many strings the table holds.
        for (uint64_t s = table.children; s < table.end;) {
          const Parser::Block item = parser.Read(s, table.end);
          std::string value;
          if (!parser.Wide() || item.type == 1) {
            value = parser.Text(item);
          } else if (item.type == 0) {
            const uint64_t n = item.valueLength;
            if (n >= 1 && n <= 4 && bytes.Has(item.value, n)) {
              uint32_t number = 0;
              for (uint64_t i = 0; i < n; ++i) number |= uint32_t{*bytes.U8(item.value + i)} << (8 * i);
              char hex[16];
              std::snprintf(hex, sizeof hex, "$%.*x", static_cast<int>(2 * n), static_cast<unsigned>(number));
              value = hex;
            }
          } else {
            Malformed();
          }
          items_.push_back({item.key + "=" + value, tableIndex});
          s = Align4(item.end);
        }
        ++tableIndex;
        t = Align4(table.end);
      }
    } else if (child.key == "VarFileInfo") {
      for (uint64_t v = child.children; v < child.end;) {
        const Parser::Block var = parser.Read(v, child.end);
        if (var.key == "Translation") {
          const uint64_t n = var.valueLength;
          for (uint64_t i = 0; i + 4 <= n && bytes.Has(var.value + i, 4); i += 4) {
            translations_.push_back(*bytes.U32(var.value + i));
          }
        }
        v = Align4(var.end);
      }
    } else {
      break;
    }
    at = Align4(child.end);
  }

  fileFlags_ = fixed_.fileFlags & fixed_.fileFlagsMask;
  for (const Item& item : items_) {
    if (item.table == 0) selected_.push_back(item.text);
  }
}

std::string TDiagFileVersionInfo::GetBinFileVersion() const {
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", fixed_.fileVersionMS >> 16, fixed_.fileVersionMS & 0xFFFF,
                fixed_.fileVersionLS >> 16, fixed_.fileVersionLS & 0xFFFF);
  return text;
}

std::string TDiagFileVersionInfo::GetVersionKeyValue(int index) const {
  const std::string_view key = VersionKeyName(index);
  if (key.empty()) return {};
  for (const std::string& line : selected_) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos && SameTextAscii(std::string_view(line).substr(0, eq), key)) return line.substr(eq + 1);
  }
  return {};
}

}  // namespace kv
