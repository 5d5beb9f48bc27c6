#include "shell/streamable.h"

#include <stdexcept>

#include "zip/zip_stream.h"

namespace kv {

void TStreamVersion::LoadVersion(TStream& stream, int32_t version, bool readVersion) {
  if (readVersion) {
    uint8_t b[4];
    stream.ReadBuffer(b, 4);
    version = static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  }
  version_ = version;
}

void TStreamVersion::SaveVersion(TStream& stream, int32_t version, bool writeVersion) {
  if (writeVersion) {
    auto v = static_cast<uint32_t>(version);
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    stream.WriteBuffer(b, 4);
  }
  version_ = version;
}

void TStreamableClass::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
  version_.LoadVersion(stream, version, readVerFromStream);
}
void TStreamableClass::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
  version_.SaveVersion(stream, version, writeVerToStream);
}
void TStreamableList::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
  Clear();
  version_.LoadVersion(stream, version, readVerFromStream);
}
void TStreamableList::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
  version_.SaveVersion(stream, version, writeVerToStream);
}

#ifndef _WIN32
// The file entry points open files by wide name, on Windows only
// (streamable_win.cpp); the host build has them for the virtual slots.
namespace {
[[noreturn]] void NoWideFiles() { throw std::runtime_error("Files by wide name are opened on Windows only"); }
}  // namespace
void TStreamableClass::LoadFromFile(const std::wstring&, int32_t, bool) { NoWideFiles(); }
void TStreamableClass::SaveToFile(const std::wstring&, int32_t, bool) { NoWideFiles(); }
void TStreamableList::LoadFromFile(const std::wstring&, int32_t, bool) { NoWideFiles(); }
void TStreamableList::SaveToFile(const std::wstring&, int32_t, bool) { NoWideFiles(); }
#endif

}  // namespace kv
