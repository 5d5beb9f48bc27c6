#pragma once
// The folders and files a search scans, as the folder page hands them over.
#include <string>
#include <vector>

namespace kv {

// The paths to scan, in list order: empty entries (an empty path would mean
// every drive) are dropped, and so is every path equal to or lying inside
// another one of the list, compared by whole path components ignoring case,
// so that no file is scanned twice.
std::vector<std::string> ScanRoots(const std::vector<std::string>& paths);
// The same rule over paths already folded to one letter case: the indexes
// of the paths to scan, ascending.
std::vector<size_t> ScanRootIndexes(const std::vector<std::u16string>& foldedPaths);

}  // namespace kv
