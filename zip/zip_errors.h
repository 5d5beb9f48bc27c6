#pragma once
// The zip library's exception classes. Their messages are fixed English texts
// and are not translated. Every class derives directly from
// std::runtime_error and carries only its message.
//
// Reader side first; writer-side classes are appended at the end.
#include <stdexcept>
#include <string>

namespace kv {

#define KV_ZIP_EXCEPTION(Name, Default)                                  \
  class Name : public std::runtime_error {                              \
   public:                                                             \
    Name() : std::runtime_error(Default) {}                            \
    explicit Name(const std::string& message) : std::runtime_error(message) {} \
  }

// The archive's directory cannot be read (no end record and no local header,
// a directory shorter than announced, an offset outside the file...).
KV_ZIP_EXCEPTION(EBadZipFile, "Not a valid zip file!");
// No end record was found and the archive is assumed to be one part of a set.
KV_ZIP_EXCEPTION(EIncompleteZip, "Incomplete Zip File");
// The archive ended inside an entry's data.
KV_ZIP_EXCEPTION(EFatalUnzipError, "Premature end of file reached");
// The cancel flag was seen, or a dialog was cancelled.
KV_ZIP_EXCEPTION(EUserCanceled, "User Aborted Operation");
// An entry decodes to more bytes than its stored uncompressed size (or than
// the caller's output cap).
KV_ZIP_EXCEPTION(EBiggerThanUncompressed, "File is larger than uncompressed size!");
// Index or capacity errors of the library's lists ("Index %d is out of range",
// "Duplicate Object index", ...).
KV_ZIP_EXCEPTION(EListError, "List error");
// Errors of the library's streams ("Seek error", "Putback overflow", ...).
KV_ZIP_EXCEPTION(EZipStreamError, "Stream error");
// A stream read or write moved fewer bytes than required.
KV_ZIP_EXCEPTION(EZipReadError, "Stream read error");
KV_ZIP_EXCEPTION(EZipWriteError, "Stream write error");
// A file could not be opened or created; the message names the file.
KV_ZIP_EXCEPTION(EZipFileOpenError, "Cannot open file");
// A string resource is missing or cannot be loaded.
KV_ZIP_EXCEPTION(EZipResourceError, "No such string resource");

// Writer-side classes follow, declared with KV_ZIP_EXCEPTION as above.

}  // namespace kv
