#pragma once
// The texts of the plain report log: the stamp that opens each report and
// the report's lines, right-trimmed and indented. Byte-level.
#include <string>

namespace kv {

// The stamp of width (0: 100, at least 20): an empty line first when the
// file already holds text, then a line of "=", "= <date and time> =" padded
// to the width, and another line of "="; every line ends with CR LF.
std::string ExceptionLogStamp(int width, bool fileWasEmpty, const std::string& dateTime);
// The text's lines (CR LF, LF or CR breaks; a final break adds no line),
// each right-trimmed, indented by indent blanks and ended with CR LF.
std::string ExceptionLogLines(const std::string& text, int indent);

}  // namespace kv
