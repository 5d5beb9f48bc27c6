#pragma once
// File-system tests of the diagnostics file utilities. ANSI paths; never raise.
#include <string>

namespace kv {

// True when the path exists and is a folder.
bool DirectoryExists(const std::string& path);
// True when a find-first search for the path finds an entry (folders and
// wildcard matches included); system error boxes are off meanwhile.
bool FileExists(const std::string& path);

}  // namespace kv
