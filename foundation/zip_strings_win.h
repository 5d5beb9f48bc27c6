#pragma once
// One string kept as one entry of a zip archive (the reserve's bookkeeping
// and the error history use these). Exceptions of the zip library pass
// through; a failed save leaves the archive as it was.
#include <string>

namespace kv {

// Stores data as `entry` of `archive` (created when missing; an entry of the
// same name is replaced in its place), deflated at level 6 and encrypted
// when password is not empty.
void SaveStringToZip(const std::string& archive, const std::string& entry, const std::string& data,
                     const std::string& password);

// The text of `entry`; empty when the archive has no such entry or the
// password does not open it.
std::string LoadStringFromZip(const std::string& archive, const std::string& entry, const std::string& password);

}  // namespace kv
