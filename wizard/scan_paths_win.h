#pragma once
// Paths of the folder page: scanned by their wide names, stored in the
// settings as stored_paths.h keeps them, read back exactly. Older settings
// hold ANSI texts, some of them short 8.3 forms, made long when read.
#include <string>
#include <vector>

namespace kv {

// The ANSI text of the path; its short form when the long one does not
// convert exactly (and the path exists); else the lossy conversion.
std::string ScanPathOf(const std::wstring& path);

// A stored path read back: a UTF-8 one exactly; an ANSI one as its long form
// when it exists, else the text as it stands.
std::wstring ExpandStoredPath(const std::string& stored);
// The text that keeps the path (StoredPathText).
std::string StoredPathOf(const std::wstring& path);

// The paths to scan, as ScanRoots picks them, with names compared as the
// file system compares them (ignoring case in every script).
std::vector<std::wstring> ScanRoots(const std::vector<std::wstring>& paths);

}  // namespace kv
