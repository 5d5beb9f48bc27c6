// The file entry points of the streamable bases.
#include "shell/streamable.h"
#include "shell/wide_string_list_win.h"

namespace kv {

void TStreamableClass::LoadFromFile(const std::wstring& fileName, int32_t version, bool readVerFromStream) {
  TWideFileStream stream(fileName, kOpenRead | kShareNone);
  LoadFromStream(stream, version, readVerFromStream);
}

void TStreamableClass::SaveToFile(const std::wstring& fileName, int32_t version, bool writeVerToStream) {
  TWideFileStream stream(fileName, kModeCreate);
  SaveToStream(stream, version, writeVerToStream);
  stream.Flush();
}

void TStreamableList::LoadFromFile(const std::wstring& fileName, int32_t version, bool readVerFromStream) {
  TWideFileStream stream(fileName, kOpenRead | kShareNone);
  LoadFromStream(stream, version, readVerFromStream);
}

void TStreamableList::SaveToFile(const std::wstring& fileName, int32_t version, bool writeVerToStream) {
  TWideFileStream stream(fileName, kModeCreate);
  SaveToStream(stream, version, writeVerToStream);
  stream.Flush();
}

}  // namespace kv
