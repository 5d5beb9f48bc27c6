#pragma once
// Small helpers of the zip library: wildcard matching, rates, DOS time
// stamps, separators, the OEM conversion of entry names, and the compact
// string-table resources. Byte-level; the Win32 halves are in *_win.cpp.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// ------------------------------------------------------------ wildcards --
// True when the whole text matches the whole pattern: "*" any run (also
// empty), "?" one character, "<...>" one character of a set ("<^...>" or
// "<!...>" one not in it; "a-z" a range of codes). Case is significant;
// callers lower-case both sides. An unclosed set matches nothing.
bool IsMatch(std::string_view pattern, std::string_view text);
// True when s contains one of "*", "?", "<", ">", "|".
bool IsWildCard(std::string_view s);

// --------------------------------------------------------------- rates --
// done * 100 / total rounded half to even, at most 100; 0 when total < 1.
int CRate(int64_t total, int64_t done);
// The same for unsigned 64-bit totals; 0 when total is 0.
int CBigRate(uint64_t total, uint64_t done);

// ----------------------------------------------------------- DOS times --
// Clamps the fields of a DOS date-time (date high word, time low word):
// hours to 23, minutes and seconds to 59, years to 2099, months to 12, days
// to 31, month 0 and day 0 to 1. Unchanged when nothing needed clamping.
uint32_t GoodTimeStamp(uint32_t dosDateTime);

struct TDosDateTime {
  int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
TDosDateTime UnpackDosDateTime(uint32_t dosDateTime);
uint32_t PackDosDateTime(const TDosDateTime& t);
// Days since 1899-12-30 plus the time as a day fraction (the usual
// date-time value); 0 for a date that does not convert.
double DosDateTimeToValue(uint32_t dosDateTime);

// --------------------------------------------------------------- names --
void DOSToUnixFilename(std::string& s);  // every "\" to "/"
void UnixToDOSFilename(std::string& s);  // every "/" to "\"
std::string LeftStr(std::string_view s, size_t n);
std::string RightStr(std::string_view s, size_t n);
bool BlockCompare(const void* a, const void* b, size_t n);

// ------------------------------------------------------- small helpers --
inline int Min(int a, int b) { return a < b ? a : b; }
inline int Max(int a, int b) { return a > b ? a : b; }
// Counted and zero-terminated strings. A null pointer reads as "".
std::string PCharToStr(const char* p);
// Copies s into buf (size bytes), cut to fit and always zero-terminated
// (nothing written when size is 0); returns buf.
char* StrToPChar(char* buf, size_t size, std::string_view s);
inline const char* StringAsPChar(const std::string& s) { return s.c_str(); }
// A pointer plus an offset; a move of memory (the ranges may overlap).
inline const uint8_t* HugeOffset(const void* p, size_t offset) { return static_cast<const uint8_t*>(p) + offset; }
void HMemCpy(void* dest, const void* source, size_t n);
// Two texts equal without regard to letter case in the ANSI code page (the
// system's on Windows; code page 1252 elsewhere).
bool SameTextAnsi(const std::string& a, const std::string& b);

// Entry names travel in the OEM code page and are held in the ANSI code
// page. The built-in conversion is Windows-1252 <-> 437 (characters without
// a counterpart become '?'); the Windows build replaces it with the
// system's (UseSystemOemConversion, zip/oem_codec_win.cpp).
struct TOemCodec {
  void (*ansiToOem)(std::string&);
  void (*oemToAnsi)(std::string&);
};
void SetOemCodec(TOemCodec codec);
void AnsiToOem(std::string& s);
void OemToAnsi(std::string& s);
// Converts to the OEM code page and back, so characters without an OEM form
// are replaced as the conversion does.
void OemFilter(std::string& s);
// The built-in tables (also the reference for tests).
void AnsiToOemBuiltIn(std::string& s);
void OemToAnsiBuiltIn(std::string& s);
// Installs the system's CharToOem/OemToChar conversion (Windows only).
void UseSystemOemConversion();

// ------------------------------------------------------ string tables --
// A compact string table: records of a 16-bit little-endian identifier, an
// 8-bit length and that many characters; identifier 0 ends the table.
// Returns the text of the record with the identifier, empty when none has it
// (a record cut short by the end of the data ends the search).
std::string FindTableString(std::span<const uint8_t> table, uint16_t id);
// Builds such a table (used to produce the resource and by tests).
std::vector<uint8_t> BuildStringTable(const std::vector<std::pair<uint16_t, std::string>>& records);

// One loaded string table (the resource's bytes stay with the program).
class TS_StringResource {
 public:
  explicit TS_StringResource(std::span<const uint8_t> table) : table_(table) {}
  std::string Text(uint16_t id) const { return FindTableString(table_, id); }

 private:
  std::span<const uint8_t> table_;
};

// Loads the text `id` of the "S_STRINGTABLE" resource `name` of the running
// program; the tables are loaded once and kept. A missing resource raises
// EZipResourceError "No such string resource: <name>" (Windows only).
std::string LoadResourceString(const std::string& name, uint16_t id);

// Creates a new, empty file of a unique name in the folder `path` through
// the system's temporary-file service and returns its name; raises
// EZipFileOpenError when it cannot (Windows only).
std::string TempFileName(const std::string& path);

// The buffered streams' messages (resource "S_STREAM"), with "%d" filled.
enum TStreamMessageId : uint16_t {
  kStrSeekError = 1,
  kStrInvalidSeekOrigin = 2,
  kStrPutbackOverflow = 3,
  kStrCannotFindResource = 4,
  kStrCannotAccessResource = 5,
  kStrSeekPastEnd = 6,
  kStrCannotWriteResource = 7,
};
// The message from the program's resource when it has one, else the
// built-in English text.
std::string StreamMessage(TStreamMessageId id, int arg = 0);
// The built-in texts of the "S_STREAM" table.
std::vector<std::pair<uint16_t, std::string>> StreamMessageTable();

}  // namespace kv
