// Arbitrary bytes as an archive: the directory is read, every entry is
// extracted into a stream (with and without a password, under an output
// cap) and onto a memory disk; then one entry is added by a rewrite, which
// either keeps every entry of the old directory or fails and leaves the old
// bytes. The bytes are also read as a two-part set whose last part starts
// with the last end record (an end record at a part boundary). Only the
// library's own exceptions may come out.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "zip/unzipper.h"
#include "zip/zip_errors.h"
#include "zip/zip_file_system.h"
#include "zip/zipper.h"

namespace {

std::string Folded(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

void Extract(const uint8_t* data, size_t size, int pass) {
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
      uint64_t written = 0;
      for (const auto& [name, file] : fs.Files()) {
        if (name != "in.zip" && name.rfind("dest\\", 0) != 0) std::abort();  // escaped the destination
        if (name != "in.zip") written += file.bytes->size();
      }
      if (written > unzip.maxOutputSize) std::abort();
    }
  } catch (const kv::EBadZipFile&) {
  } catch (const kv::EIncompleteZip&) {
  } catch (const kv::EFatalUnzipError&) {
  } catch (const kv::EListError&) {
  }
}

// in.001 holds the bytes before the last end-record signature, in.zip the rest.
void ExtractAsSet(const uint8_t* data, size_t size) {
  size_t cut = size < 4 ? 0 : size - 4;
  while (cut > 0 && !(data[cut] == 'P' && data[cut + 1] == 'K' && data[cut + 2] == 5 && data[cut + 3] == 6)) --cut;
  if (cut == 0) return;
  kv::TMemoryFileSystem fs;
  fs.Put("in.001", std::vector<uint8_t>(data, data + cut));
  fs.Put("in.zip", std::vector<uint8_t>(data + cut, data + size));
  kv::TUnZipper unzip(fs);
  unzip.SetZipName("in.zip");
  unzip.maxOutputSize = 1 << 20;
  try {
    kv::TMemoryStream out;
    unzip.UnZipToStream(out, "*");
    if (static_cast<uint64_t>(out.Size()) > unzip.maxOutputSize) std::abort();
    for (int i = 0; i < unzip.Count(); ++i) unzip.FileComment(i);
    unzip.ZipComment();
  } catch (const kv::EBadZipFile&) {
  } catch (const kv::EIncompleteZip&) {
  } catch (const kv::EFatalUnzipError&) {
  } catch (const kv::EListError&) {
  }
}

void Rewrite(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> old(data, data + size);
  kv::TMemoryFileSystem fs;
  fs.Put("in.zip", old);
  std::set<std::string> before;
  bool readable = false;
  try {
    kv::TUnZipper reader(fs);
    reader.SetZipName("in.zip");
    reader.incompleteZipMode = kv::TIncompleteZipMode::izAssumeBad;
    reader.ReadZip();
    readable = reader.DirectoryReadWhole();
    for (int i = 0; i < reader.Count(); ++i) before.insert(Folded(reader.FileName(i)));
  } catch (const std::runtime_error&) {
  }
  static const char kText[] = "added by the fuzz target";
  kv::TZipper zip(fs, kv::DefaultZipperDisk());
  zip.SetZipName("in.zip");
  zip.incompleteZipMode = kv::TIncompleteZipMode::izAssumeBad;
  try {
    zip.ZipFromBuffer(kText, sizeof kText - 1, "fuzz-new.txt");
  } catch (const std::runtime_error&) {
    if (fs.Files().size() != 1 || *fs.Files().at("in.zip").bytes != old) std::abort();  // old bytes lost
    return;
  }
  if (!readable) std::abort();  // rewrote a directory that was not read whole
  kv::TUnZipper after(fs);
  after.SetZipName("in.zip");
  after.ReadZip();
  std::set<std::string> now;
  for (int i = 0; i < after.Count(); ++i) now.insert(Folded(after.FileName(i)));
  before.insert("fuzz-new.txt");
  if (now != before) std::abort();  // an entry was dropped
  kv::TMemoryStream out;
  after.UnZipToStream(out, "fuzz-new.txt");
  if (out.Text() != kText) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int pass = 0; pass < 3; ++pass) Extract(data, size, pass);
  ExtractAsSet(data, size);
  Rewrite(data, size);
  return 0;
}
