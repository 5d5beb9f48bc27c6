#include "diagnostics/pe_image.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <numeric>
#include <set>
#include <tuple>

#include "diagnostics/diag_errors.h"
#include "base/ansi_text.h"
#include "base/strings.h"

namespace kv {

namespace {

constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint64_t kExportDirectorySize = 40;
constexpr uint64_t kImportDescriptorSize = 20;
constexpr uint64_t kMaxNameLength = 4096;
// Entries read from one resource directory at most (the counts are 16-bit each).
constexpr uint64_t kMaxResourceEntries = 65536;
// What the lists keep, whatever the tables claim (every entry may name the
// same long name): the largest system libraries export some tens of thousands
// of names in a few MB and carry a few thousand resources. Past a limit the
// rest is left out.
constexpr size_t kMaxExports = 65536;  // hints and ordinals are 16-bit
constexpr size_t kMaxExportNameBytes = size_t{16} << 20;
constexpr size_t kMaxResourceNames = size_t{1} << 18;
constexpr size_t kMaxResourceNameBytes = size_t{4} << 20;

std::string SectionName(ByteView image, uint64_t header) {
  std::string name;
  for (uint64_t i = 0; i < 8; ++i) {
    const auto c = image.U8(header + i);
    if (!c || *c == 0) break;
    name += static_cast<char>(*c);
  }
  return name;
}

// The last RVA a section holds: it spans its raw size, or its virtual size
// when the raw size is 0, and the end itself still counts as inside.
uint64_t SectionLastRva(const TDiagPeSectionHeader& s) {
  return uint64_t{s.virtualAddress} + (s.sizeOfRawData != 0 ? s.sizeOfRawData : s.virtualSize);
}

}  // namespace

std::optional<uint64_t> PeMapImgNtHeaders(ByteView image) {
  if (!image.Has(0, 64) || *image.U16(0) != 0x5A4D) return std::nullopt;
  const uint32_t offset = *image.U32(60);
  if (offset == 0 || !image.Has(offset, kPe32PlusNtHeadersSize) || *image.U32(offset) != 0x00004550) {
    return std::nullopt;
  }
  return offset;
}

std::optional<uint64_t> PeMapImgSections(ByteView image, uint64_t ntHeaders) {
  const auto optionalSize = image.U16(ntHeaders + 20);
  if (!optionalSize) return std::nullopt;
  return ntHeaders + 24 + *optionalSize;
}

std::optional<uint64_t> PeMapImgFindSection(ByteView image, uint64_t ntHeaders, std::string_view name) {
  const auto first = PeMapImgSections(image, ntHeaders);
  const auto count = image.U16(ntHeaders + 6);
  if (!first || !count || name.size() > 8) return std::nullopt;
  for (uint64_t i = 0; i < *count; ++i) {
    const uint64_t header = *first + i * kSectionHeaderSize;
    if (!image.Has(header, kSectionHeaderSize)) return std::nullopt;
    if (SectionName(image, header) == name) return header;
  }
  return std::nullopt;
}

// ------------------------------------------------------------ image reader --

void TDiagPeImage::Clear() {
  status_ = kNotLoaded;
  attached_ = false;
  fileName_.clear();
  image_ = ByteView();
  ntHeaders_ = imageBase_ = 0;
  sizeOfImage_ = 0;
  characteristics_ = 0;
  sections_.clear();
  exports_.reset();
  debug_.reset();
  resources_.reset();
}

void TDiagPeImage::AttachView(ByteView image, const std::string& fileName) {
  Clear();
  const auto nt = PeMapImgNtHeaders(image);
  if (!nt || *image.U16(*nt + 24) != kPe32PlusMagic) {
    status_ = kNotPe;
    if (!noExceptions_) throw EDiagError(DiagText::kNotPeFormat);
    return;
  }
  attached_ = true;
  status_ = kOk;
  image_ = image;
  fileName_ = fileName;
  ntHeaders_ = *nt;
  characteristics_ = *image.U16(*nt + 22);
  imageBase_ = *image.U64(*nt + 24 + 24);
  sizeOfImage_ = *image.U32(*nt + 24 + 56);
  const uint64_t first = *PeMapImgSections(image, *nt);
  const uint16_t count = *image.U16(*nt + 6);
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t h = first + i * kSectionHeaderSize;
    if (!image.Has(h, kSectionHeaderSize)) break;
    TDiagPeSectionHeader s;
    s.name = SectionName(image, h);
    s.virtualSize = *image.U32(h + 8);
    s.virtualAddress = *image.U32(h + 12);
    s.sizeOfRawData = *image.U32(h + 16);
    s.pointerToRawData = *image.U32(h + 20);
    s.characteristics = *image.U32(h + 36);
    s.headerOffset = h;
    sections_.push_back(std::move(s));
  }
  AfterOpen();
}

TDiagPeDirectoryEntry TDiagPeImage::DirectoryEntry(uint32_t index) const {
  if (!StatusOK() || index >= 16) return {};
  const uint64_t optional = ntHeaders_ + 24;
  const auto count = image_.U32(optional + 108);
  if (!count || index >= *count) return {};
  const uint64_t at = optional + 112 + 8 * uint64_t{index};
  return {image_.U32(at).value_or(0), image_.U32(at + 4).value_or(0)};
}

std::optional<ByteView> TDiagPeImage::DirectoryEntryToData(uint32_t index) const {
  const TDiagPeDirectoryEntry entry = DirectoryEntry(index);
  if (entry.virtualAddress == 0) return std::nullopt;
  return image_.Sub(entry.virtualAddress, entry.size);
}

const uint8_t* TDiagPeImage::RvaToVa(uint64_t rva) const {
  return StatusOK() && rva < image_.Size() ? image_.Data() + rva : nullptr;
}

const TDiagPeSectionHeader* TDiagPeImage::GetSectionHeader(std::string_view name) const {
  for (const TDiagPeSectionHeader& s : sections_) {
    if (SameTextAscii(s.name, name)) return &s;
  }
  return nullptr;
}

std::string TDiagPeImage::GetSectionName(size_t index) const {
  return index < sections_.size() ? sections_[index].name : std::string();
}

const TDiagPeSectionHeader* TDiagPeImage::RvaToSection(uint64_t rva) const {
  ++sectionLookups_;
  for (const TDiagPeSectionHeader& s : sections_) {
    if (s.virtualAddress <= rva && rva <= SectionLastRva(s)) return &s;
  }
  return nullptr;
}

// The first section in header order holds an address, for overlapping ones.
// Each section takes the addresses within its range that no earlier section
// took, so the work grows with (addresses + sections) x log addresses, not
// with their product: an image may claim 65,535 sections.
std::vector<std::string_view> TDiagPeImage::SectionNamesOf(const std::vector<TDiagPeExportFuncItem>& items) const {
  std::set<uint32_t> untaken;
  for (const TDiagPeExportFuncItem& item : items) untaken.insert(item.address);
  std::map<uint32_t, std::string_view> found;
  for (const TDiagPeSectionHeader& s : sections_) {
    if (untaken.empty()) break;
    const uint64_t last = SectionLastRva(s);
    for (auto it = untaken.lower_bound(s.virtualAddress); it != untaken.end() && *it <= last; it = untaken.erase(it)) {
      found.emplace(*it, s.name);
    }
  }
  std::vector<std::string_view> names;
  names.reserve(items.size());
  for (const TDiagPeExportFuncItem& item : items) {
    const auto f = found.find(item.address);
    names.push_back(f != found.end() ? f->second : std::string_view());
  }
  sectionLookups_ += items.size();
  return names;
}

// ------------------------------------------------------------------ exports --

TDiagPeExportFuncList& TDiagPeImage::ExportList() {
  if (!exports_) {
    auto list = std::make_unique<TDiagPeExportFuncList>();
    list->image_ = this;
    BuildExports(*list);
    exports_ = std::move(list);
  }
  return *exports_;
}

void TDiagPeImage::BuildExports(TDiagPeExportFuncList& list) const {
  const TDiagPeDirectoryEntry dir = DirectoryEntry(kImageDirectoryEntryExport);
  if (dir.virtualAddress == 0 || !image_.Has(dir.virtualAddress, kExportDirectorySize)) return;
  const uint64_t d = dir.virtualAddress;
  list.base_ = *image_.U32(d + 16);
  const uint32_t functionCount = *image_.U32(d + 20);
  const uint32_t nameCount = *image_.U32(d + 24);
  const uint32_t functions = *image_.U32(d + 28);
  const uint32_t names = *image_.U32(d + 32);
  const uint32_t ordinals = *image_.U32(d + 36);
  // Every table must lie in the image; a count larger than that is a lie.
  if (!image_.Has(names, uint64_t{nameCount} * 4) || !image_.Has(ordinals, uint64_t{nameCount} * 2) ||
      !image_.Has(functions, uint64_t{functionCount} * 4)) {
    return;
  }
  size_t nameBytes = 0;
  for (uint32_t i = 0; i < nameCount && list.items_.size() < kMaxExports; ++i) {
    const uint16_t k = *image_.U16(ordinals + uint64_t{i} * 2);
    if (k >= functionCount) continue;  // an ordinal past the function table names nothing
    const auto name = image_.CString(*image_.U32(names + uint64_t{i} * 4), kMaxNameLength);
    if (!name) continue;
    nameBytes += name->size();
    if (nameBytes > kMaxExportNameBytes) return;
    TDiagPeExportFuncItem item;
    item.address = *image_.U32(functions + uint64_t{k} * 4);
    item.hint = static_cast<uint16_t>(i);
    item.name = std::string(*name);
    item.ordinal = static_cast<uint16_t>(k + list.base_);
    if (item.address >= dir.virtualAddress && item.address <= uint64_t{dir.virtualAddress} + dir.size) {
      const auto forward = image_.CString(item.address, kMaxNameLength);
      nameBytes += forward.value_or("").size();
      if (nameBytes > kMaxExportNameBytes) return;
      item.forwardedName = std::string(forward.value_or(""));
      list.hasForwards_ = true;
    }
    list.items_.push_back(std::move(item));
  }
}

void TDiagPeExportFuncList::SortList(TDiagPeExportSort kind, bool descending) {
  if (sortedBy_ && sortedBy_->first == kind && sortedBy_->second == descending) return;
  // Section names are found once per item before sorting, not per comparison.
  std::vector<std::string_view> sectionNames;
  if (kind == TDiagPeExportSort::kSectionName) {
    sectionNames = image_ != nullptr ? image_->SectionNamesOf(items_) : std::vector<std::string_view>(items_.size());
  }
  auto addressText = [](const TDiagPeExportFuncItem& item) {
    if (item.forwardedName) return *item.forwardedName;
    char text[16];
    std::snprintf(text, sizeof text, "%.8x", item.address);
    return std::string(text);
  };
  // Compares the items at two positions of the unsorted list.
  auto less = [&](size_t i, size_t j) {
    const TDiagPeExportFuncItem& a = items_[i];
    const TDiagPeExportFuncItem& b = items_[j];
    switch (kind) {
      case TDiagPeExportSort::kName:
        return a.name < b.name;
      case TDiagPeExportSort::kOrdinal:
        return a.ordinal < b.ordinal;
      case TDiagPeExportSort::kHint:
        return a.hint < b.hint;
      case TDiagPeExportSort::kAddress:
        return std::tie(a.address, a.name) < std::tie(b.address, b.name);
      case TDiagPeExportSort::kForwardedName: {
        const std::string fa = a.forwardedName.value_or(""), fb = b.forwardedName.value_or("");
        return std::tie(fa, a.name) < std::tie(fb, b.name);
      }
      case TDiagPeExportSort::kAddressOrForward:
        return addressText(a) < addressText(b);
      case TDiagPeExportSort::kSectionName:
        return std::tie(sectionNames[i], a.name) < std::tie(sectionNames[j], b.name);
    }
    return false;
  };
  // A stable sort of positions, then the items moved once into that order.
  std::vector<size_t> order(items_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  if (descending) {
    std::stable_sort(order.begin(), order.end(), [&](size_t i, size_t j) { return less(j, i); });
  } else {
    std::stable_sort(order.begin(), order.end(), less);
  }
  std::vector<TDiagPeExportFuncItem> sorted;
  sorted.reserve(items_.size());
  for (size_t i : order) sorted.push_back(std::move(items_[i]));
  items_ = std::move(sorted);
  sortedBy_ = std::make_pair(kind, descending);
}

// -------------------------------------------------------------- debug list --

const std::vector<TDiagPeDebugEntry>& TDiagPeImage::DebugList() {
  if (!debug_) {
    auto list = std::make_unique<std::vector<TDiagPeDebugEntry>>();
    BuildDebugList(*list);
    debug_ = std::move(list);
  }
  return *debug_;
}

void TDiagPeImage::BuildDebugList(std::vector<TDiagPeDebugEntry>& list) const {
  const TDiagPeDirectoryEntry dir = DirectoryEntry(kImageDirectoryEntryDebug);
  if (dir.virtualAddress == 0) return;
  uint64_t at = dir.virtualAddress;
  // A ".debug" section starting at the directory holds as many entries as the
  // size field says; else the size counts bytes, and the directory is read
  // only in an image that has an ".rdata" section.
  const auto named = [this](std::string_view name, auto&& also) {
    return std::any_of(sections_.begin(), sections_.end(),
                       [&](const TDiagPeSectionHeader& s) { return s.name == name && also(s); });
  };
  uint64_t count = 0;
  if (named(".debug", [&](const TDiagPeSectionHeader& s) { return s.virtualAddress == dir.virtualAddress; })) {
    count = dir.size;
  } else if (named(".rdata", [](const TDiagPeSectionHeader&) { return true; })) {
    count = dir.size / kPeDebugEntrySize;
  }
  // The entries of a loaded image lie at base + RVA, wherever the linker put them.
  for (uint64_t i = 0; i < count && image_.Has(at, kPeDebugEntrySize); ++i, at += kPeDebugEntrySize) {
    TDiagPeDebugEntry e;
    e.characteristics = *image_.U32(at);
    e.timeDateStamp = *image_.U32(at + 4);
    e.majorVersion = *image_.U16(at + 8);
    e.minorVersion = *image_.U16(at + 10);
    e.type = *image_.U32(at + 12);
    e.sizeOfData = *image_.U32(at + 16);
    e.addressOfRawData = *image_.U32(at + 20);
    e.pointerToRawData = *image_.U32(at + 24);
    list.push_back(e);
  }
}

// --------------------------------------------------------------- resources --

const TDiagPeRootResourceList& TDiagPeImage::ResourceList() {
  if (!resources_) {
    auto list = std::make_unique<TDiagPeRootResourceList>();
    BuildResources(*list);
    resources_ = std::move(list);
  }
  return *resources_;
}

void TDiagPeImage::BuildResources(TDiagPeRootResourceList& list) const {
  const auto data = DirectoryEntryToData(kImageDirectoryEntryResource);
  if (!data) return;
  const ByteView res = *data;
  // Entries of the directory at offset: (name field, offset field), bounded.
  auto entries = [&res](uint64_t dir) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    const auto named = res.U16(dir + 12);
    const auto ids = res.U16(dir + 14);
    if (!named || !ids) return out;
    const uint64_t n = std::min<uint64_t>(uint64_t{*named} + *ids, kMaxResourceEntries);
    for (uint64_t i = 0; i < n && res.Has(dir + 16 + i * 8, 8); ++i) {
      out.emplace_back(*res.U32(dir + 16 + i * 8), *res.U32(dir + 20 + i * 8));
    }
    return out;
  };
  auto nameOf = [&res](uint32_t field) {
    if ((field & 0x80000000u) == 0) return std::to_string(field);
    const uint64_t at = field & 0x7FFFFFFFu;
    const auto length = res.U16(at);
    if (!length || !res.Has(at + 2, uint64_t{*length} * 2)) return std::string();
    std::u16string text;
    for (uint64_t i = 0; i < *length; ++i) text += static_cast<char16_t>(*res.U16(at + 2 + 2 * i));
    return WideToAnsi(text);
  };
  size_t names = 0, nameBytes = 0;
  for (const auto& [name, offset] : entries(0)) {
    TDiagPeRootResourceList::Entry entry;
    entry.type = (name & 0x80000000u) != 0 ? 25 : std::min<uint32_t>(name, 25);
    // Only a sub-directory that lies past the root can hold names; the bit
    // test keeps a directory from naming itself. Sub-directories may all be
    // one: the names kept are bounded across them.
    if ((offset & 0x80000000u) != 0 && (offset & 0x7FFFFFFFu) != 0 && names < kMaxResourceNames &&
        nameBytes <= kMaxResourceNameBytes) {
      for (const auto& sub : entries(offset & 0x7FFFFFFFu)) {
        std::string text = nameOf(sub.first);
        nameBytes += text.size();
        if (++names > kMaxResourceNames || nameBytes > kMaxResourceNameBytes) break;
        entry.names.push_back(std::move(text));
      }
    }
    list.types_.push_back(std::move(entry));
  }
}

bool TDiagPeRootResourceList::FindResource(uint32_t type, std::string_view name) const {
  const uint32_t wanted = std::min<uint32_t>(type, 25);
  for (const Entry& entry : types_) {
    if (entry.type != wanted) continue;
    return std::find(entry.names.begin(), entry.names.end(), name) != entry.names.end();
  }
  return false;
}

void TDiagPeQarnImage::AfterOpen() {
  isPackage_ = isCompilerImage_ = false;
  if (!StatusOK()) return;
  const TDiagPeRootResourceList& resources = ResourceList();
  constexpr uint32_t kRcData = 10;
  isPackage_ = resources.FindResource(kRcData, "PACKAGEINFO") && resources.FindResource(kRcData, "PACKAGEOPTIONS");
  isCompilerImage_ = isPackage_ || resources.FindResource(kRcData, "DVCLAL");
}

// ----------------------------------------------------------------- imports --

std::vector<uint64_t> FindImportEntries(ByteView image, std::string_view moduleName, uint64_t from) {
  std::vector<uint64_t> found;
  const auto nt = PeMapImgNtHeaders(image);
  if (!nt) return found;
  const uint64_t optional = *nt + 24;
  const auto count = image.U32(optional + 108);
  if (!count || *count <= kImageDirectoryEntryImport) return found;
  const uint32_t directory = image.U32(optional + 112 + 8).value_or(0);
  if (directory == 0) return found;
  // Descriptors until one with a zero name; each must lie in the image.
  for (uint64_t d = directory; image.Has(d, kImportDescriptorSize); d += kImportDescriptorSize) {
    const uint32_t nameRva = *image.U32(d + 12);
    if (nameRva == 0) break;
    const auto name = image.CString(nameRva, kMaxNameLength);
    if (!name || !SameTextAscii(*name, moduleName)) continue;
    for (uint64_t slot = *image.U32(d + 16); slot != 0; slot += 8) {
      const auto value = image.U64(slot);
      if (!value || *value == 0) break;
      if (*value == from) found.push_back(slot);
    }
  }
  return found;
}

// ---------------------------------------------------------------- unmangle --

namespace {

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }

}  // namespace

TDiagUnmangleResult PeQarnUnmangleName(std::string_view name, std::string& unmangled, TDiagUnmangleInfo& description,
                                       int& basePos) {
  constexpr size_t kOutputLimit = 1024;
  unmangled.clear();
  description = {};
  basePos = 1;
  if (name.empty()) return TDiagUnmangleResult::kError;
  if (name[0] == '?') return TDiagUnmangleResult::kMicrosoft;
  if (IsNameStart(name[0])) return TDiagUnmangleResult::kNotMangled;
  if (name[0] != '@') return TDiagUnmangleResult::kError;

  size_t p = 1;
  bool qualified = false;
  auto at = [&](size_t i) { return i < name.size() ? name[i] : '\0'; };
  auto qualifier = [&]() {
    if (!qualified) {
      basePos = static_cast<int>(unmangled.size()) + 2;
      description.modifiers |= kUnmangleQualified;
      qualified = true;
    }
    unmangled += '.';
  };
  auto tooLong = [&]() { return unmangled.size() >= kOutputLimit; };

  if (at(p) == '$') {
    if (name.substr(p, 4) != "$xp$") return TDiagUnmangleResult::kError;
    p += 4;
    description.kind = TDiagUnmangleKind::kRtti;
    size_t length = 0;
    while (at(p) >= '0' && at(p) <= '9' && length < kOutputLimit) length = length * 10 + static_cast<size_t>(name[p++] - '0');
    if (length > name.size() - p) return TDiagUnmangleResult::kError;
    for (size_t i = 0; i < length && !tooLong(); ++i) {
      const char c = name[p + i];
      if (c == '@') {
        qualifier();
      } else {
        unmangled += c;
      }
    }
    return TDiagUnmangleResult::kOk;
  }
  if (!IsNameStart(at(p))) return TDiagUnmangleResult::kError;

  for (;;) {
    if (at(p) == '@' && qualified) {
      description.modifiers |= kUnmangleLinkProc;
      ++p;
    }
    while (IsNameChar(at(p)) && !tooLong()) unmangled += name[p++];
    if (tooLong()) return TDiagUnmangleResult::kError;
    const char c = at(p);
    if (c == '$') {
      description.kind = TDiagUnmangleKind::kFunction;
      break;
    }
    if (c != '@') break;  // data
    const char next = at(p + 1);
    if (next == '\0') {
      description.kind = TDiagUnmangleKind::kVTable;
      break;
    }
    if (next == '$') {
      if (at(p + 2) == 'b') {
        if (at(p + 3) == 'c') description.kind = TDiagUnmangleKind::kConstructor;
        if (at(p + 3) == 'd') description.kind = TDiagUnmangleKind::kDestructor;
      } else {
        description.kind = TDiagUnmangleKind::kFunction;
      }
      break;
    }
    qualifier();
    ++p;
  }
  return TDiagUnmangleResult::kOk;
}

}  // namespace kv
