#pragma once
// String helpers with the exact semantics the rest of the program relies on.
// Positions count from 1; 0 means "none". A separator may be several
// characters long. Texts are single-byte (ANSI) strings.
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// Replaces every occurrence of oldText by newText (letter case ignored on
// request, for every letter of the ANSI code page).
void ReplaceStr(std::string& text, std::string_view oldText, std::string_view newText, bool ignoreCase);
// First occurrence of sub at or after start; a negative start counts from the end.
int FindFromPos(std::string_view sub, std::string_view text, int start);
// The n-th part (from 1) between separators; empty beyond the last part.
std::string PartByNum(std::string_view text, std::string_view separator, int n);
// Occurrences of sub, overlapping finds counted.
int EntryCount(std::string_view sub, std::string_view text);
// The text without runs of c at its start and end.
std::string TrimSymbol(std::string_view text, char c);
// Two upper-case hexadecimal digits per byte.
std::string ToHex(std::string_view bytes);
// The text as a message may show it: control bytes (below 32, and 127) as
// \xHH, so that a 0 byte cannot cut the message nor a line break split it.
std::string EscapeControls(std::string_view text);
// Splits at the first separator; without one, first is the text and rest empty.
void SeparFirst(std::string_view text, std::string_view separator, std::string& first, std::string& rest);
// Clears the list, then adds the parts (an empty middle part counts, a trailing separator adds none).
void Separate(std::string_view text, std::string_view separator, std::vector<std::string>& list);
// The n-th part read as a decimal integer, or def.
int Extract(std::string_view text, std::string_view separator, int n, int def);
// First position from start whose character's membership in the set equals wanted; 0 if none.
int ScanForTable(std::string_view text, const std::bitset<256>& set, int start, bool wanted);
// The same with the set given as characters; a negative start counts from the end.
int ScanForTable(std::string_view text, std::string_view chars, int start, bool wanted);
// Line and column (from 1) of a position, stepping over CR/LF forward or back.
void PosToXY(std::string_view text, int position, int& column, int& line, bool forward);
// "1500" -> "1K" style sizes, dividing while above 1000, up to `steps` times.
std::string SizeToStr(int64_t size, int steps);
// Play time as m:ss or h:mm:ss.
std::string SecondsToStr(int64_t seconds);
// The path without its extension and without a final ".".
std::string ExtractFileDirAndName(std::string_view path);
// ASCII-only letter case folding, for names compared without regard to case.
std::string AsciiUpper(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);
// <0, 0 or >0 as a sorts before, equals or sorts after b, ASCII letter case ignored.
int CompareTextAscii(std::string_view a, std::string_view b);
// The same with the letter case of every letter of the ANSI code page
// (Windows-1252) ignored: "Ä" and "ä" compare equal.
int CompareTextAnsi(std::string_view a, std::string_view b);

}  // namespace kv
