#pragma once
// TAuFileStream: the FLAC reader's file stream, a handle stream opened by a
// wide file name. Mode 0 opens the file read-only with no sharing; a failed
// open raises EFOpenError "Cannot open file <name>", a failed create
// (kModeCreate) EFCreateError "Cannot create file <name>".
#include <cstdint>
#include <string>

#include "foundation/uni_file_stream_win.h"

namespace kv {

class TAuFileStream : public TUniFileStream {
 public:
  TAuFileStream(const std::wstring& fileName, uint16_t mode) : TUniFileStream(fileName, mode) {}
};

}  // namespace kv
