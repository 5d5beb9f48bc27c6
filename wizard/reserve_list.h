#pragma once
// The reserve of deleted files as bytes: the list kept in the archive "data"
// and in the journal "data.journal", one line per reserved file:
//
//   hidden path TAB display path [TAB long path in UTF-8] CR LF
//
// The hidden path is the file's folder, "\" and 32 upper-case hexadecimal
// digits; the display path is ANSI; the long path is the file's real name
// (WideToUtf8, so that a lone surrogate in it comes back as itself).
// Also the archive itself (entries "data", "size" and the history) and the
// day numbers of the history entries. Byte-level: no system calls.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

struct TReserveLine {
  std::string hidden;    // ANSI
  std::string display;   // ANSI
  std::string longPath;  // UTF-8 (WideToUtf8); empty in lines of the older two-field form
  int64_t size = 0;      // bytes, in memory only; 0 when unknown
};

// Bounds of a list that is still believed: longer lines or more of them are
// not a list this program wrote.
inline constexpr size_t kMaxReserveLineBytes = 3 * 4 * 32768;
inline constexpr size_t kMaxReserveLines = 4'000'000;
// What is kept of lines that are not reserve lines: the start of each (a
// line of ordinary paths whole) and so many of them; the rest only counted.
inline constexpr size_t kMaxRejectedLineBytes = 4096;
inline constexpr size_t kMaxRejectedLines = 1000;

struct TParsedReserve {
  std::vector<TReserveLine> lines;
  std::vector<std::string> rejected;  // lines that are not reserve lines, as they were (their start)
  bool torn = false;                  // the text ended inside a line (a killed append)
  bool cut = false;                   // more than kMaxReserveLines lines: the rest was not read
};

// Parses a list. Empty lines are skipped; a line that breaks the form goes to
// rejected, the lines past kMaxRejectedLines only to a last rejected line
// that counts them. With completeLinesOnly (the journal), a last line without
// CR LF is left out and `torn` is set; otherwise it counts as a line.
TParsedReserve ParseReserveList(std::string_view text, bool completeLinesOnly);
// The same parse over a text handed over in pieces of any size (the journal
// read from disk). It holds the lines kept, the starts of rejected lines and
// one line in progress of at most kMaxReserveLineBytes + 1 bytes; a longer
// line keeps only its start.
class TReserveListReader {
 public:
  explicit TReserveListReader(bool completeLinesOnly) : completeLinesOnly_(completeLinesOnly) {}
  void Feed(std::string_view bytes);
  // True when further bytes can change nothing (past kMaxReserveLines).
  bool Done() const { return stopped_ && rest_.size() >= kMaxRejectedLineBytes; }
  // The result, as ParseReserveList gives it for all bytes fed.
  TParsedReserve Finish();

 private:
  void EndLine();
  size_t Count() const { return out_.lines.size() + out_.rejected.size() + uncounted_; }

  bool completeLinesOnly_;
  TParsedReserve out_;
  std::string line_;       // the line in progress, CR included
  bool overlong_ = false;  // line_ past the bound: only its start is kept
  bool stopped_ = false;   // past kMaxReserveLines: only the start of the rest is kept
  std::string rest_;
  size_t uncounted_ = 0;  // rejected lines past kMaxRejectedLines
};

// One line in the form above, CR LF included.
std::string FormatReserveLine(const TReserveLine& line);
std::string FormatReserveList(const std::vector<TReserveLine>& lines);

// True for a name of exactly 32 upper-case hexadecimal digits.
bool IsHiddenName(std::string_view name);
// The part after the last "\" (the whole text without one).
std::string_view FileNamePart(std::string_view path);
// The part before the last "\" (empty without one).
std::string_view FolderPart(std::string_view path);
// ASCII-case-insensitive equality (paths as Windows compares them, as far as
// the hidden names of this program need).
bool SamePath(std::string_view a, std::string_view b);

// What start-up finds for a line's hidden file.
enum class THiddenState { Present, Missing, Unreachable };

// Lines of the archive first, then those of the journal; each hidden path
// once. A line stays while its file is present or its folder cannot be
// reached (a drive not plugged in).
std::vector<TReserveLine> MergeReserve(const std::vector<TReserveLine>& archived,
                                       const std::vector<TReserveLine>& journal,
                                       const std::function<THiddenState(const TReserveLine&)>& probe);

// The day number of a date, 1 January of the year 1 being day 1.
int64_t DayNumber(int year, int month, int day);
// "del." / "rec." + D + "." + T.
std::string HistoryEntryName(std::string_view kind, int64_t day, int64_t millisecondsOfDay);

// --- the archive "data" ---
inline constexpr char kReservePassword[] = "wrenfield";
// Most bytes one load of the archive reads and decodes, over all its entries
// and tries: each entry counts its compressed bytes and the size it claims
// (a list of some 500,000 reserved files of ordinary path length with its
// compressed form). Input counts because deflate data may decode to little
// or nothing at a high cost per byte.
inline constexpr uint64_t kMaxReserveArchiveText = uint64_t{128} << 20;
// Most bytes of the "size" entry (one decimal number).
inline constexpr uint64_t kMaxReserveSizeText = 32;

struct TReserveArchive {
  std::string list;
  std::string size;  // the "size" entry's text
  bool hasList = false;
  std::vector<std::string> entryNames;
  // Entries whose bytes do not lie whole in the archive (local header, data,
  // descriptor): a rewrite cannot copy them, so the archive cannot be
  // written to as it is.
  std::vector<std::string> uncopyable;
};

// Reads "data" and "size" without password and, when the list comes back
// empty, the encrypted ones of them again with the reserve's password,
// within `budget` (input and output). Raises the zip library's errors for
// bytes that are not an archive, and EBadZipFile for a "data" entry that is
// damaged (CRC, size, data), cannot be decrypted, holds more compressed
// bytes than a writer needs for its size, or would take more than is left of
// the budget (refused before it is decoded). A "size" entry that is damaged
// or past kMaxReserveSizeText reads as "" (unknown); any entry that a rewrite
// could not copy is named in `uncopyable`.
TReserveArchive ReadReserveArchive(const std::vector<uint8_t>& bytes, uint64_t budget = kMaxReserveArchiveText);
// True when every entry is one this program writes ("data", "size" and the
// history entries "del.", "rec.", "bad.").
bool IsReserveArchive(const TReserveArchive& archive);
// The archive with each given entry added or replaced, in one rewrite, no
// password. Empty bytes start a new archive.
std::vector<uint8_t> RewriteReserveArchive(const std::vector<uint8_t>& bytes,
                                           const std::vector<std::pair<std::string, std::string>>& entries);

// The "size" entry as a 64-bit count; 0 when it is not a decimal number.
int64_t ParseReserveSize(std::string_view text);

}  // namespace kv
