#pragma once
// File-system tests and path lookups; never raise.
#include <string>

namespace kv {

// True when the path exists and is a folder.
bool DirectoryExists(const std::string& path);
// True when a find-first search for the path finds an entry (folders and
// wildcard matches included); system error boxes are off meanwhile.
bool FileExists(const std::string& path);

// The system's long and short (8.3) forms of a wide path; empty when the
// system cannot tell (no such file, or no short name on the volume).
std::wstring LongPathName(const std::wstring& path);
std::wstring ShortPathName(const std::wstring& path);
// The long form, or the path itself when the system cannot tell.
std::wstring LongPathOf(const std::wstring& path);

}  // namespace kv
