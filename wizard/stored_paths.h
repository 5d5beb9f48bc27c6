#pragma once
// Paths kept as single-byte texts (the settings' "TreeSelection",
// "CopyMoveTo" and "KeepFolder"): a path the ANSI code page holds exactly is
// kept as its ANSI text, as older versions kept it; any other path as the
// UTF-8 byte-order mark followed by its UTF-8 form. No path of the older
// form begins with the mark's bytes (a path begins with a drive letter or
// "\"), so both read back exactly. Byte-level.
#include <string>
#include <string_view>

namespace kv {

// The mark that begins a path kept in UTF-8.
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The text that keeps the path.
std::string StoredPathText(std::u16string_view path);
// True when the text keeps its path in UTF-8.
bool IsUtf8StoredPath(std::string_view text);
// The path a text keeps: the UTF-8 after the mark, else the ANSI text as it
// stands (an older short form is the caller's to expand).
std::u16string StoredPathValue(std::string_view text);

}  // namespace kv
