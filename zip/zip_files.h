#pragma once
// File helpers of the zip library over a TZipFileSystem: folders named with
// wildcards, the current folder of a drive, copying a file, and volume labels.
#include <string>
#include <vector>

#include "zip/zip_dialogs.h"
#include "zip/zip_file_system.h"

namespace kv {

// Expands the wildcards ("*", "?", "<...>") of the folder part of path (all
// that precedes the last "\" or "/") into the folders that match, compared
// without regard to ASCII case. Each result is a folder with "\" separators
// and a closing "\", in the order of the names found; the file part is left
// to the caller. A folder part without wildcards comes back as it is, and a
// path without one gives the single result "" (the current folder). From
// the first wildcard on, every component names folders that exist, spelled
// as the file system spells them.
std::vector<std::string> ParseWildDir(TZipFileSystem& fs, const std::string& path);

// The current folder of drive 'A'..'Z' (either case), or of the current
// drive for 0. EZipFileOpenError for any other drive.
std::string GetDirectory(TZipFileSystem& fs, char drive);

// Copies source into dest, replacing dest only once the whole content is
// written. On any failure dest stays as it was, the box "Could not copy
// from <source> to <dest>" goes through dialogHook, and the result is false.
bool FileCopy(TZipFileSystem& fs, const std::string& source, const std::string& dest,
              const TZipDialogHook& dialogHook);

// The file's last-modification time after GoodTimeStamp, as a date-time
// value (DosDateTimeToValue); 0 when the file is missing.
double FileDate(TZipFileSystem& fs, const std::string& name);

// Sets the volume label of the drive that holds path ("A:", "A:\\" or a
// name on it); false when it cannot be set.
bool SetVolLabel(TZipFileSystem& fs, const std::string& path, const std::string& label);
// The volume label of the drive that holds path; empty when it has none or
// cannot be read.
std::string GetVolumeLabel(TZipFileSystem& fs, const std::string& path);

}  // namespace kv
