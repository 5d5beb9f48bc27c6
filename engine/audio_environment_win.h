#pragma once
// The system side of reading a music file: existence tests without error
// boxes, files opened by wide name, sizes from directory entries, and the
// "Session" flags written to the settings.
#include <functional>

#include "engine/audio_informer.h"

namespace kv {

class TWin32AudioEnvironment : public TAudioReadEnvironment {
 public:
  bool FileExists(const std::string& accessPath) override;
  std::unique_ptr<ByteSource> Open(const std::string& accessPath) override;
  uint32_t FileSize(const std::string& displayPath) override;
  void SetSessionFlag(std::string_view key) override;
};

// Where "Session" flags go (the settings store sets this at start-up; tests record them).
using TSessionFlagWriter = std::function<void(std::string_view key)>;
void SetSessionFlagWriter(TSessionFlagWriter writer);

}  // namespace kv
