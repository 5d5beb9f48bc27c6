#include "wizard/reserve_list.h"

#include <algorithm>
#include <charconv>
#include <span>
#include <stdexcept>
#include <unordered_set>

#include "base/strings.h"
#include "zip/unzipper.h"
#include "zip/zip_file_system.h"
#include "zip/zip_records.h"
#include "zip/zipper.h"

namespace kv {
namespace {

constexpr std::string_view kArchiveName = "data";

// UTF-8 as WideToUtf8 writes a long path: a lone surrogate of a file name
// is taken as its own three bytes, but a high one followed by a low one is a
// pair, which the writer puts as one four-byte character.
bool IsUtf8(std::string_view s) {
  size_t i = 0;
  bool afterHigh = false;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t extra = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      afterHigh = false;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, cp = c & 0x07;
    } else {
      return false;
    }
    if (extra > s.size() - i - 1) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (afterHigh && cp >= 0xDC00 && cp <= 0xDFFF)) return false;
    afterHigh = cp >= 0xD800 && cp <= 0xDBFF;
    i += extra + 1;
  }
  return true;
}

bool HasControl(std::string_view s) {
  for (char ch : s)
    if (static_cast<unsigned char>(ch) < 0x20) return true;
  return false;
}

// One line without its CR LF; false when it is not a reserve line.
bool ParseLine(std::string_view text, TReserveLine& line) {
  const size_t tab = text.find('\t');
  if (tab == std::string_view::npos) return false;
  const std::string_view hidden = text.substr(0, tab);
  std::string_view rest = text.substr(tab + 1);
  std::string_view longPath;
  const size_t tab2 = rest.find('\t');
  if (tab2 != std::string_view::npos) {
    longPath = rest.substr(tab2 + 1);
    rest = rest.substr(0, tab2);
    if (longPath.find('\t') != std::string_view::npos || !IsUtf8(longPath)) return false;
  }
  if (FolderPart(hidden).empty() || !IsHiddenName(FileNamePart(hidden)) || rest.empty() || HasControl(hidden) ||
      HasControl(rest) || HasControl(longPath))
    return false;
  line.hidden.assign(hidden);
  line.display.assign(rest);
  line.longPath.assign(longPath);
  line.size = 0;
  return true;
}

}  // namespace

TParsedReserve ParseReserveList(std::string_view text, bool completeLinesOnly) {
  TReserveListReader reader(completeLinesOnly);
  reader.Feed(text);
  return reader.Finish();
}

void TReserveListReader::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    if (stopped_) {
      rest_.append(bytes.substr(0, kMaxRejectedLineBytes - std::min(rest_.size(), kMaxRejectedLineBytes)));
      return;
    }
    if (line_.empty() && Count() >= kMaxReserveLines) {
      stopped_ = true;
      continue;
    }
    const size_t end = bytes.find('\n');
    const std::string_view part = bytes.substr(0, end);
    if (!overlong_ && line_.size() + part.size() > kMaxReserveLineBytes + 1) {
      overlong_ = true;
      line_.append(part.substr(0, kMaxRejectedLineBytes - std::min(line_.size(), kMaxRejectedLineBytes)));
      line_.resize(std::min(line_.size(), kMaxRejectedLineBytes));
      line_.shrink_to_fit();
    } else if (!overlong_) {
      line_.append(part);
    }
    if (end == std::string_view::npos) return;
    EndLine();
    bytes.remove_prefix(end + 1);
  }
}

void TReserveListReader::EndLine() {
  std::string_view raw = line_;
  if (!overlong_ && !raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  TReserveLine line;
  if (raw.empty()) {
    // skipped
  } else if (!overlong_ && raw.size() <= kMaxReserveLineBytes && ParseLine(raw, line)) {
    out_.lines.push_back(std::move(line));
  } else if (out_.rejected.size() < kMaxRejectedLines) {
    out_.rejected.emplace_back(raw.substr(0, kMaxRejectedLineBytes));
  } else {
    ++uncounted_;
  }
  line_.clear();
  overlong_ = false;
}

TParsedReserve TReserveListReader::Finish() {
  out_.cut = stopped_;
  if (stopped_) {
    out_.rejected.push_back(std::move(rest_));
  } else if (!line_.empty()) {
    if (completeLinesOnly_)
      out_.torn = true;
    else
      EndLine();
  }
  line_.clear();
  overlong_ = false;
  if (uncounted_ > 0)
    out_.rejected.push_back("(" + std::to_string(uncounted_) + " more lines that are not reserve lines)");
  uncounted_ = 0;
  return std::move(out_);
}

std::string FormatReserveLine(const TReserveLine& line) {
  std::string text = line.hidden + '\t' + line.display;
  if (!line.longPath.empty()) text += '\t' + line.longPath;
  return text + "\r\n";
}

std::string FormatReserveList(const std::vector<TReserveLine>& lines) {
  std::string text;
  for (const TReserveLine& line : lines) text += FormatReserveLine(line);
  return text;
}

bool IsHiddenName(std::string_view name) {
  if (name.size() != 32) return false;
  for (char ch : name)
    if (!((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F'))) return false;
  return true;
}

std::string_view FileNamePart(std::string_view path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view FolderPart(std::string_view path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::vector<TReserveLine> MergeReserve(const std::vector<TReserveLine>& archived,
                                       const std::vector<TReserveLine>& journal,
                                       const std::function<THiddenState(const TReserveLine&)>& probe) {
  std::vector<TReserveLine> merged;
  std::unordered_set<std::string> seen;
  auto key = [](const std::string& path) {
    std::string k = path;
    for (char& ch : k)
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    return k;
  };
  for (const auto* list : {&archived, &journal})
    for (const TReserveLine& line : *list) {
      if (!seen.insert(key(line.hidden)).second) continue;
      if (probe(line) != THiddenState::Missing) merged.push_back(line);
    }
  return merged;
}

// Days before the year, the month's days before it, the day (proleptic
// Gregorian calendar).
int64_t DayNumber(int year, int month, int day) {
  static constexpr int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  if (month < 1 || month > 12) throw std::invalid_argument("month out of range");
  const int64_t y = int64_t{year} - 1;
  int64_t days = y * 365 + y / 4 - y / 100 + y / 400 + kBefore[month - 1] + day;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (leap && month > 2) ++days;
  return days;
}

std::string HistoryEntryName(std::string_view kind, int64_t day, int64_t millisecondsOfDay) {
  return std::string(kind) + "." + std::to_string(day) + "." + std::to_string(millisecondsOfDay);
}

// --- the archive ---

namespace {

// What reading one entry found.
struct TEntryRead {
  std::string text;
  bool found = false;      // an entry of that name is in the archive
  bool encrypted = false;  // it is encrypted
  bool read = false;       // its bytes came out whole and checked
};

// A deflate writer that finds no gain stores the bytes, 5 bytes of framing
// per 65,535: data longer than that for the size it claims was not written
// as a list, and empty blocks may decode to nothing at some 0.25 s per MiB.
uint64_t MostCompressedBytes(uint64_t size) { return size + size / 1024 + 1024; }

// Extracts one entry (the last of that name) within what is left of the
// load's budget, which is charged the entry's compressed size and the size it
// claims before anything is decoded (decoding passes neither). An entry past
// `cap`, the budget or MostCompressedBytes is refused unread: it raises, or
// with `lenient` reads as not read. So does a damaged one (CRC, size, data).
// An encrypted entry is decoded only with a password; a wrong one leaves it
// not read.
TEntryRead ReadEntry(TUnZipper& zip, const std::string& name, const std::string& password, uint64_t cap,
                     bool lenient, uint64_t& budget) {
  TEntryRead entry;
  uint64_t charge = 0;
  std::string refusal;
  for (int i = 0; i < zip.Count(); ++i) {
    if (!SameTextAscii(zip.FileName(i), name)) continue;
    const TZipHeaderInfo& header = zip.Entry(i);
    entry.found = true;
    entry.encrypted = entry.encrypted || header.IsEncrypted();
    const uint64_t claimed = header.uncompressedSize;
    const uint64_t input = header.compressedSize;
    if (claimed > std::min(cap, budget)) {
      refusal = "is larger than " + std::to_string(std::min(cap, budget)) + " bytes";
    } else if (input > MostCompressedBytes(claimed)) {
      refusal = "holds " + std::to_string(input) + " bytes of data for " + std::to_string(claimed) + " bytes";
    } else if (input + claimed > budget) {
      refusal = "holds " + std::to_string(input) + " bytes of data for " + std::to_string(claimed) +
                " bytes, more than the " + std::to_string(budget) + " bytes left to read";
    }
    charge = std::max(charge, input + claimed);
  }
  if (!refusal.empty()) {
    if (lenient) return entry;
    throw EBadZipFile("The entry \"" + name + "\" of the reserve's archive " + refusal);
  }
  if (!entry.found || (entry.encrypted && password.empty())) return entry;
  budget -= charge;

  TMemoryStream out;
  bool damaged = false;
  bool started = false;  // the password check passed: what fails now is the data
  zip.password = password;
  zip.maxOutputSize = cap;
  zip.onStartUnZip = [&](int, const std::string&, bool&) { started = true; };
  zip.onEndUnZip = [&](int, const std::string&) { entry.read = true; };
  zip.onSkippingFile = [&](TSkipReason reason, const std::string&, int) {
    if (reason != TSkipReason::BadPassword || started) damaged = true;
  };
  zip.onBadCRC = [&](uint32_t, uint32_t, int) { damaged = true; };
  try {
    zip.UnZipToStream(out, name);
  } catch (const EFatalUnzipError&) {
    damaged = true;  // the archive ends inside the entry's data
  }
  if (damaged) {
    entry.read = false;
    if (lenient) return entry;
    throw EBadZipFile("The entry \"" + name + "\" of the reserve's archive is damaged");
  }
  if (entry.read) entry.text = out.Text();
  return entry;
}

uint32_t Le(const std::vector<uint8_t>& bytes, uint64_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | bytes[static_cast<size_t>(at) + static_cast<size_t>(i)];
  return v;
}

// True when the entry's bytes lie whole in the single-file archive, as a
// rewrite copies them: local header with name and extra field, data and
// descriptor, none of them past the end, no field at its 32-bit maximum.
bool CopiesWhole(const std::vector<uint8_t>& bytes, const TZipHeaderInfo& e) {
  constexpr uint32_t kMax = 0xFFFFFFFFu;
  const uint64_t size = bytes.size();
  const uint64_t local = e.relativeOffset;
  if (e.diskNumberStart != 0 || local == kMax || e.compressedSize == kMax || e.uncompressedSize == kMax) return false;
  if (local > size || size - local < kLocalHeaderSize || Le(bytes, local, 4) != kLocalHeaderSignature) return false;
  const uint64_t nameLength = Le(bytes, local + 26, 2), extraLength = Le(bytes, local + 28, 2);
  uint64_t at = local + kLocalHeaderSize + nameLength + extraLength;
  if (at > size || size - at < e.compressedSize) return false;
  if (!e.HasDescriptor()) return true;
  at += e.compressedSize;
  if (size - at < 4) return false;
  const std::span<const uint8_t> extra(bytes.data() + local + kLocalHeaderSize + nameLength, extraLength);
  const uint64_t sizes = FindExtraBlock(extra, kZip64ExtraId) ? 16 : 8;
  return size - at >= (Le(bytes, at, 4) == kDataDescriptorSignature ? 8 : 4) + sizes;
}

}  // namespace

TReserveArchive ReadReserveArchive(const std::vector<uint8_t>& bytes, uint64_t budget) {
  TMemoryFileSystem fs;
  fs.Put(std::string(kArchiveName), bytes);
  TUnZipper zip(fs);
  zip.doProcessMessages = false;
  // A damaged archive is told by the load's notice, not by the library's
  // boxes ("Unknown Compression Method"): none is shown at start-up.
  zip.dialogHook = nullptr;
  zip.SetZipName(std::string(kArchiveName));
  zip.ReadZip();
  TReserveArchive archive;
  for (int i = 0; i < zip.Count(); ++i) {
    archive.entryNames.push_back(zip.FileName(i));
    if (!CopiesWhole(bytes, zip.Entry(i))) archive.uncopyable.push_back(zip.FileName(i));
  }
  // One budget for every entry and try. Only encrypted entries are read a
  // second time: the password changes nothing for the others.
  TEntryRead list = ReadEntry(zip, "data", "", kMaxReserveArchiveText, false, budget);
  TEntryRead size = ReadEntry(zip, "size", "", kMaxReserveSizeText, true, budget);
  if (list.text.empty()) {
    if (list.encrypted) list = ReadEntry(zip, "data", kReservePassword, kMaxReserveArchiveText, false, budget);
    if (size.encrypted) size = ReadEntry(zip, "size", kReservePassword, kMaxReserveSizeText, true, budget);
  }
  // A list that is there but cannot be read is not an empty list: the files
  // it names would be forgotten.
  if (list.found && !list.read)
    throw EBadZipFile("The entry \"data\" of the reserve's archive cannot be read with the reserve's password");
  archive.hasList = list.found;
  archive.list = std::move(list.text);
  archive.size = std::move(size.text);
  return archive;
}

bool IsReserveArchive(const TReserveArchive& archive) {
  for (const std::string& name : archive.entryNames) {
    if (name == "data" || name == "size") continue;
    const std::string_view kind = std::string_view(name).substr(0, 4);
    if (kind != "del." && kind != "rec." && kind != "bad.") return false;
  }
  return true;
}

std::vector<uint8_t> RewriteReserveArchive(const std::vector<uint8_t>& bytes,
                                           const std::vector<std::pair<std::string, std::string>>& entries) {
  // Each entry rewrites the archive in memory; only the last result reaches
  // the disk, so the file changes once for all entries.
  TMemoryFileSystem fs;
  const std::string name(kArchiveName);
  if (!bytes.empty()) fs.Put(name, bytes);
  for (const auto& [entry, text] : entries) {
    TZipper zip(fs, DefaultZipperDisk());
    zip.doProcessMessages = false;
    zip.SetZipName(name);
    zip.ZipFromBuffer(text.data(), text.size(), entry);
  }
  const auto it = fs.Files().find(name);
  if (it == fs.Files().end()) throw std::logic_error("the reserve's archive was not written");
  return *it->second.bytes;
}

int64_t ParseReserveSize(std::string_view text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return 0;
  return value;
}

}  // namespace kv
