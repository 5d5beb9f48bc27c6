#include "diagnostics/td32.h"

namespace kv {

namespace {

constexpr uint32_t kFB09 = 0x39304246;
constexpr uint32_t kFB0A = 0x41304246;
constexpr int kMaxDirectories = 1024;

bool IsSignature(uint32_t v) { return v == kFB09 || v == kFB0A; }

}  // namespace

bool IsTD32DebugData(ByteView block) {
  if (block.Size() <= 8) return false;
  const uint64_t end = block.Size();
  const uint32_t signature = *block.U32(end - 8);
  const uint32_t offset = *block.U32(end - 4);
  if (!IsSignature(signature) || offset > end) return false;
  const auto start = block.U32(end - offset);
  return start && IsSignature(*start);
}

TDiagTD32InfoScanner::TDiagTD32InfoScanner(std::span<const uint8_t> bytes) {
  const ByteView block(bytes);
  if (!IsTD32DebugData(block)) return;
  // The data starts where the trailing offset points.
  const ByteView data = *block.Sub(block.Size() - *block.U32(block.Size() - 4), *block.U32(block.Size() - 4));
  const auto first = data.U32(4);
  if (!first) return;
  valid_ = true;
  data_ = data;
  workLeft_ = kWorkPerByte * data.Size() + kWorkBase;
  uint64_t dir = *first;
  std::vector<uint64_t> seen;
  for (int n = 0; n < kMaxDirectories && dir != 0; ++n) {
    for (uint64_t s : seen) {
      if (s == dir) return;  // a directory chain that loops
    }
    seen.push_back(dir);
    // The header's own size field (at dir) is not used: the entries follow
    // the 16-byte header.
    const auto entrySize = data.U16(dir + 2);
    const auto count = data.U32(dir + 4);
    const auto next = data.U32(dir + 8);
    if (!entrySize || !count || !next || *entrySize != 12) return;
    const uint64_t entries = dir + 16;
    if (!data.Has(entries, uint64_t{*count} * 12)) return;
    // Names first: the other subsections refer to them only by index.
    for (int pass = 0; pass < 2; ++pass) {
      for (uint64_t i = 0; i < *count; ++i) {
        if (!Spend(1)) return;
        const uint64_t e = entries + i * 12;
        const uint16_t type = *data.U16(e);
        const auto sub = data.Sub(*data.U32(e + 4), *data.U32(e + 8));
        if (!sub) continue;
        if (pass == 0 && type == 0x130) ReadNames(*sub);
        if (pass == 1 && type == 0x120) ReadModule(*sub);
        if (pass == 1 && type == 0x125) ReadSymbols(*sub);
        if (pass == 1 && type == 0x127) ReadSourceModule(*sub);
      }
    }
    dir = *next;
  }
}

void TDiagTD32InfoScanner::ReadNames(ByteView sub) {
  const auto count = sub.U32(0);
  if (!count) return;
  // The data is at most 4 GiB long (its size is a 32-bit offset), so every
  // position in it fits 32 bits.
  const uint64_t base = static_cast<uint64_t>(sub.Data() - data_.Data());
  uint64_t at = 4;
  for (uint64_t i = 0; i < *count && names_.size() < kMaxNames; ++i) {
    const auto length = sub.U8(at);
    if (!length || !sub.Has(at + 1, uint64_t{*length} + 1) || !Spend(uint64_t{*length} + 2)) return;
    names_.push_back(static_cast<uint32_t>(base + at));
    at += uint64_t{*length} + 2;
  }
}

std::string TDiagTD32InfoScanner::Name(uint32_t index) const {
  if (index < 1 || index > names_.size()) return {};
  const uint32_t at = names_[index - 1];
  return std::string(reinterpret_cast<const char*>(data_.Data() + at + 1), *data_.U8(at));
}

void TDiagTD32InfoScanner::ReadModule(ByteView sub) {
  const auto segments = sub.U16(4);
  const auto name = sub.U32(8);
  if (!segments || !name || !Spend(1) || modules_.size() >= kMaxModules) return;
  const size_t first = segments_.size();
  for (uint64_t i = 0; i < *segments && sub.Has(28 + i * 12, 12) && segments_.size() < kMaxModuleSegments && Spend(1);
       ++i) {
    segments_.push_back({*sub.U32(28 + i * 12 + 4), *sub.U32(28 + i * 12 + 8)});
  }
  // A module without a segment holds no address.
  if (segments_.size() == first) return;
  modules_.push_back({*name, static_cast<uint32_t>(first), static_cast<uint32_t>(segments_.size() - first)});
}

void TDiagTD32InfoScanner::ReadSymbols(ByteView sub) {
  for (uint64_t at = 4; sub.Has(at, 4) && Spend(1);) {
    const uint16_t size = *sub.U16(at);
    const uint16_t type = *sub.U16(at + 2);
    if (size < 2) return;
    if ((type == 0x204 || type == 0x205) && sub.Has(at, 44)) {
      if (procs_.size() >= kMaxProcs) return;
      procs_.push_back({*sub.U32(at + 28), *sub.U32(at + 16), *sub.U32(at + 40)});
    }
    at += uint64_t{size} + 2;
  }
}

void TDiagTD32InfoScanner::ReadSourceModule(ByteView sub) {
  const auto fileCount = sub.U16(0);
  if (!fileCount) return;
  for (uint64_t f = 0; f < *fileCount; ++f) {
    if (!Spend(1) || files_.size() >= kMaxSourceFiles) return;
    const auto fileOffset = sub.U32(2 + f * 4);
    if (!fileOffset) return;
    const uint64_t fe = *fileOffset;
    const auto segments = sub.U16(fe);
    const auto name = sub.U32(fe + 2);
    if (!segments || !name) continue;
    if (*name == 0) continue;
    const size_t firstRange = ranges_.size();
    const size_t firstLine = lines_.size();
    const uint64_t tables = fe + 6;
    const uint64_t ranges = tables + uint64_t{*segments} * 4;
    for (uint64_t s = 0; s < *segments; ++s) {
      if (!Spend(1)) break;
      const auto start = sub.U32(ranges + s * 8);
      const auto end = sub.U32(ranges + s * 8 + 4);
      const auto table = sub.U32(tables + s * 4);
      if (!start || !end || !table || ranges_.size() >= kMaxFileRanges) break;
      ranges_.push_back({*start, *end});
      const auto lineCount = sub.U16(*table + 2);
      if (!lineCount) continue;
      const uint64_t offsets = uint64_t{*table} + 4;
      const uint64_t numbers = offsets + uint64_t{*lineCount} * 4;
      if (!sub.Has(numbers, uint64_t{*lineCount} * 2)) continue;
      for (uint64_t i = 0; i < *lineCount && lines_.size() < kMaxLinePoints && Spend(1); ++i) {
        lines_.push_back({*sub.U32(offsets + i * 4), *sub.U16(numbers + i * 2)});
      }
    }
    // A file without a range holds no address (and so no line either).
    if (ranges_.size() == firstRange) continue;
    files_.push_back({*name, static_cast<uint32_t>(firstRange), static_cast<uint32_t>(ranges_.size() - firstRange),
                      static_cast<uint32_t>(firstLine), static_cast<uint32_t>(lines_.size() - firstLine)});
  }
}

bool TDiagTD32InfoScanner::Spend(uint64_t n) {
  if (n > workLeft_) {
    workLeft_ = 0;
    return false;
  }
  workLeft_ -= n;
  return true;
}

std::string TDiagTD32InfoScanner::ModuleNameFromAddr(uint32_t addr) const {
  for (const Module& m : modules_) {
    for (uint32_t i = 0; i < m.segmentCount; ++i) {
      const Range& r = segments_[m.firstSegment + i];
      if (addr >= r.start && addr - r.start <= r.size) return Name(m.name);
    }
  }
  return {};
}

std::string TDiagTD32InfoScanner::ProcNameFromAddr(uint32_t addr, uint32_t& offset) const {
  offset = 0;
  for (const Proc& p : procs_) {
    if (addr >= p.offset && addr - p.offset < p.size) {
      offset = addr - p.offset;
      return ShortProcName(Name(p.name));
    }
  }
  return {};
}

const TDiagTD32InfoScanner::SourceFile* TDiagTD32InfoScanner::FileOf(uint32_t addr) const {
  for (const SourceFile& f : files_) {
    for (uint32_t i = 0; i < f.rangeCount; ++i) {
      const FileRange& r = ranges_[f.firstRange + i];
      if (r.start <= addr && addr < r.end) return &f;
    }
  }
  return nullptr;
}

uint32_t TDiagTD32InfoScanner::LineNumberFromAddr(uint32_t addr, int32_t& offset) const {
  offset = 0;
  const SourceFile* f = FileOf(addr);
  if (f == nullptr) return 0;
  const std::span<const LinePoint> lines(lines_.data() + f->firstLine, f->lineCount);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].offset == addr) return lines[i].line;
    if (i > 0 && lines[i].offset > addr && lines[i - 1].offset < addr) {
      offset = static_cast<int32_t>(addr - lines[i - 1].offset);
      return lines[i - 1].line;
    }
  }
  return 0;
}

std::string TDiagTD32InfoScanner::SourceNameFromAddr(uint32_t addr) const {
  const SourceFile* f = FileOf(addr);
  return f == nullptr ? std::string() : Name(f->name);
}

std::string TDiagTD32InfoScanner::ShortProcName(const std::string& name) {
  if (name.empty() || name[0] != '@') return name;
  std::string rest = name.substr(1);
  const size_t at = rest.find('@');
  if (at == std::string::npos) return rest;
  rest = rest.substr(at + 1);
  std::string out;
  for (size_t i = 0; i < rest.size(); ++i) {
    out += rest[i] == '@' && (i == 0 || rest[i - 1] != '@') ? '.' : rest[i];
  }
  return out;
}

}  // namespace kv
