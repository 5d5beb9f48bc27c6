#pragma once
// Paths of the folder page as single-byte texts: a path whose name does not
// fit the ANSI code page travels (to the scan and to the settings) in its
// short 8.3 form and is made long again when read back.
#include <string>

namespace kv {

// The ANSI text of the path; its short form when the long one does not
// convert exactly (and the path exists); else the lossy conversion.
std::string ScanPathOf(const std::wstring& path);

// A stored path made long again (the long form of an existing path, else the
// text as it stands).
std::wstring ExpandStoredPath(const std::string& stored);

}  // namespace kv
