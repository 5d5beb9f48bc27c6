#include "zip/zip_files.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "zip/zip_errors.h"
#include "zip/zip_support.h"

namespace kv {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::vector<std::string> ParseWildDir(TZipFileSystem& fs, const std::string& path) {
  std::string name = path;
  UnixToDOSFilename(name);
  const size_t cut = name.find_last_of('\\');
  if (cut == std::string::npos) return {""};

  // Components are kept as given up to the first wildcard; from there on
  // each is looked up among the sub-folders found, so the results name
  // folders that exist, spelled as the file system spells them.
  std::vector<std::string> folders{""};
  bool expanding = false;
  size_t start = 0;
  while (start <= cut) {
    const size_t end = name.find('\\', start);
    const std::string component = name.substr(start, end - start);
    start = end + 1;
    expanding = expanding || IsWildCard(component);
    std::vector<std::string> next;
    if (!expanding) {
      for (const std::string& folder : folders) next.push_back(folder + component + "\\");
    } else {
      const std::string pattern = Lower(component);
      for (const std::string& folder : folders) {
        std::vector<std::string> subs = fs.SubFolders(folder.empty() ? "." : folder);
        std::sort(subs.begin(), subs.end(), [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
        for (const std::string& sub : subs) {
          if (IsMatch(pattern, Lower(sub))) next.push_back(folder + sub + "\\");
        }
      }
    }
    folders.swap(next);
  }
  return folders;
}

std::string GetDirectory(TZipFileSystem& fs, char drive) {
  const auto letter = static_cast<unsigned char>(drive);
  if (drive != 0 && !std::isalpha(letter)) {
    throw EZipFileOpenError("Not a drive: \"" + std::string(1, drive) + "\"");
  }
  return fs.CurrentFolder(drive == 0 ? '\0' : static_cast<char>(std::toupper(letter)));
}

bool FileCopy(TZipFileSystem& fs, const std::string& source, const std::string& dest,
              const TZipDialogHook& dialogHook) {
  try {
    const std::unique_ptr<TStream> in = fs.Open(source, TFileOpenMode::ReadShared);
    const std::unique_ptr<TFileReplacement> out = fs.BeginReplace(dest, false);
    std::vector<uint8_t> buffer(kStreamBufferSize);
    for (;;) {
      const int64_t got = in->Read(buffer.data(), static_cast<int64_t>(buffer.size()));
      if (got <= 0) break;
      if (out->Write(buffer.data(), got) != got) throw EZipWriteError("Short write to \"" + dest + "\"");
    }
    out->Commit();
    return true;
  } catch (const std::exception&) {
    // The replacement, destroyed uncommitted, took its temporary file along.
  }
  TZipDialog box;
  box.text = "Could not copy from " + source + " to " + dest;
  box.caption = "Error";
  if (dialogHook) dialogHook(box);
  return false;
}

namespace {
// The root "X:\" of a path on drive X, else the path as it is.
std::string VolumeRoot(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) + ":\\";
  }
  return path;
}
}  // namespace

double FileDate(TZipFileSystem& fs, const std::string& name) {
  const auto date = fs.FileDosDateTime(name);
  return date ? DosDateTimeToValue(GoodTimeStamp(*date)) : 0.0;
}

bool SetVolLabel(TZipFileSystem& fs, const std::string& path, const std::string& label) {
  return fs.SetVolumeLabel(VolumeRoot(path), label);
}

std::string GetVolumeLabel(TZipFileSystem& fs, const std::string& path) { return fs.VolumeLabel(VolumeRoot(path)); }

}  // namespace kv
