#pragma once
// Path and string routines of the diagnostics code. Texts are single-byte
// strings in the system code page; "\" separates folders, ":" ends a drive.
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// The path with "\" appended unless it already ends with one ("" gives "\").
std::string PathAddSeparator(std::string_view path);
// The folder part of the path, ending with "\".
std::string PathExtractFileDirFixed(std::string_view path);
// The path without its extension; unchanged when the last ".", ":" or "\" is not a ".".
std::string PathRemoveExtension(std::string_view path);
// The file-name part of the path without its extension.
std::string PathExtractFileNameNoExt(std::string_view path);
// The file-name part of the path (after the last "\" or ":").
std::string PathExtractFileName(std::string_view path);

// The text, with the suffix appended unless it already ends with it.
std::string StrEnsureSuffix(std::string_view suffix, std::string_view text);
// The text repeated count times (empty for count <= 0).
std::string StrRepeat(std::string_view text, int count);
// Cuts the text at its first zero character.
void StrResetLength(std::string& text);

// The larger of two signed and the smaller of two unsigned 32-bit integers.
constexpr int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }
constexpr uint32_t Min(uint32_t a, uint32_t b) { return a < b ? a : b; }

}  // namespace kv
