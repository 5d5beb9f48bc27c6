// Arbitrary bytes as an archive: the directory is read, every entry is
// extracted into a stream (with and without a password, under an output
// cap) and onto a memory disk. Only the library's own exceptions may come out.
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "zip/unzipper.h"
#include "zip/zip_errors.h"
#include "zip/zip_file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int pass = 0; pass < 3; ++pass) {
    kv::TMemoryFileSystem fs;
    fs.Put("in.zip", std::vector<uint8_t>(data, data + size));
    kv::TUnZipper unzip(fs);
    unzip.SetZipName("in.zip");
    unzip.maxOutputSize = 1 << 20;
    unzip.incompleteZipMode = kv::TIncompleteZipMode::izAssumeBad;
    unzip.password = pass == 1 ? "pw" : "";
    try {
      if (pass < 2) {
        kv::TMemoryStream out;
        unzip.UnZipToStream(out, "*");
        if (static_cast<uint64_t>(out.Size()) > unzip.maxOutputSize) std::abort();
        for (int i = 0; i < unzip.Count(); ++i) unzip.FileComment(i);
        unzip.ZipComment();
      } else {
        unzip.SetDestDir("dest");
        unzip.recreateDirs = true;
        unzip.doAll = true;
        unzip.overwriteMode = kv::TUZOverwriteMode::Always;
        unzip.UnZip();
        for (const auto& [name, file] : fs.Files()) {
          if (name != "in.zip" && name.rfind("dest\\", 0) != 0) std::abort();  // escaped the destination
        }
      }
    } catch (const kv::EBadZipFile&) {
    } catch (const kv::EIncompleteZip&) {
    } catch (const kv::EFatalUnzipError&) {
    } catch (const kv::EListError&) {
    }
  }
  return 0;
}
