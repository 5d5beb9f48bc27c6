// The readers' file entry points: each opens the file by its wide name for
// reading (others may read, not write) and reads it through the byte-level
// reader of its format.
#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "base/ansi_text_win.h"

#include "engine/readers/asf.h"
#include "engine/readers/au_file_stream_win.h"
#include "engine/readers/file_source_win.h"
#include "engine/readers/flac.h"
#include "engine/readers/id3v1.h"
#include "engine/readers/id3v2.h"
#include "engine/readers/mp4.h"
#include "engine/readers/mpeg_frames.h"
#include "engine/readers/ogg.h"

namespace kv {

bool TWMAfile::ReadFromFile(const std::wstring& fileName) {
  Reset();
  try {
    FileSource file(fileName);
    return ReadFromSource(file);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    // A file that cannot be opened fails quietly, like one that is not WMA.
    fault = ReadFault::kReadError;
    return false;
  }
}

bool TID3v2::ReadFromFile(const std::wstring& fileName) {
  ResetData();
  FileSource file(fileName);
  return ReadFromSource(file);
}

void TID3v1Tag::LoadFromFile(const std::string& fileName) {
  Reset();
  FileSource file(AnsiToWString(fileName));
  LoadFromSource(file);
}

bool TOggVorbis::ReadFromFile(const std::wstring& fileName) {
  Reset();  // an open that raises leaves no fields of an earlier read
  FileSource file(fileName);
  return ReadFromSource(file);
}

bool TFlacFile::ReadFromFile(const std::wstring& fileName) {
  Reset();  // an open that raises leaves no fields of an earlier read
  FileSource file(TAuFileStream(fileName, 0));
  return ReadFromSource(file);
}

void TAudInfo::LoadFromFile(const std::wstring& path) {
  ClearInfo();
  const auto blank = [](wchar_t c) { return c <= L' '; };
  if (std::all_of(path.begin(), path.end(), blank)) return;
  FileSource file(TUniFileStream(path, kOpenRead | kShareReadWrite));  // others may read and write
  LoadFromSource(file);
}

bool TM4AFile::ReadFromFile(const std::wstring& fileName) {
  if (fileName.size() < 2) {  // no file has such a name: nothing is read
    Reset();
    return false;
  }
  const std::string ansiName = WStringToAnsi(fileName);
  if (AnsiToWString(ansiName) != fileName) throw EInOutError("File name outside the ANSI code page: " + ansiName);
  std::optional<FileSource> file;
  try {
    file.emplace(AnsiToWString(ansiName));
  } catch (const EFOpenError& e) {
    throw EInOutError(e.what());
  }
  try {
    return ReadFromSource(*file);
  } catch (const std::system_error& e) {  // a failing read of the file
    throw EInOutError(e.what());
  }
}

}  // namespace kv
