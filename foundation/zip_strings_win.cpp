#include "foundation/zip_strings_win.h"

#include "zip/zipper.h"

namespace kv {

void SaveStringToZip(const std::string& archive, const std::string& entry, const std::string& data,
                     const std::string& password) {
  TZipper zip;
  // Strings are stored from settings and from crash reports: handling other
  // messages midway could re-enter the caller.
  zip.doProcessMessages = false;
  zip.SetZipName(archive);
  zip.password = password;
  zip.ZipFromBuffer(data.data(), data.size(), entry);
  zip.SaveModifiedZipFile();
}

std::string LoadStringFromZip(const std::string& archive, const std::string& entry, const std::string& password) {
  TZipper zip;
  TMemoryStream text;
  zip.doProcessMessages = false;
  zip.SetZipName(archive);
  zip.password = password;
  zip.UnZipToStream(text, entry);
  return text.Text();
}

}  // namespace kv
