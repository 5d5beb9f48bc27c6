#include "engine/engine_init_win.h"

#include <charconv>
#include <string>

#include "base/file_utils_win.h"
#include "engine/audio_environment_win.h"
#include "engine/audio_informer.h"
#include "engine/mp3_collection.h"
#include "foundation/files_win.h"
#include "foundation/settings_win.h"

namespace kv {
namespace {

int SessionInt(const char* key, int fallback) {
  TConfiger* configer = Configer();
  if (!configer) return fallback;
  const std::string text = configer->GetVal("Session", key);
  int value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return (!text.empty() && ec == std::errc() && ptr == text.data() + text.size()) ? value : fallback;
}

void SetSessionInt(const char* key, int value) {
  if (TConfiger* configer = Configer()) configer->SetVal("Session", key, std::to_string(value));
}

}  // namespace

void EngineInitialize() {
  NameTemplates().Load(StrFromFile(AppFile("fnametemplates.txt")));
  const std::string excludeFile = AppFile("excludewords.txt");
  if (FileExists(excludeFile)) LoadExcludeWords(StrFromFile(excludeFile));
  SetSessionFlagWriter([](std::string_view key) {
    if (TConfiger* configer = Configer()) configer->SetVal("Session", key, "1");
  });
}

void EngineFinalize() {
  SetSessionFlagWriter(nullptr);
  NameTemplates().Load("");
  ExcludeWords() = TCustomStrFinder();
}

void ReadSimilaritySettings(TMP3Collection& collection) {
  collection.ArtistBound = SessionInt("ArtistBound", 90);
  collection.TitleBound = SessionInt("TitleBound", 85);
  collection.Combine = static_cast<uint8_t>(SessionInt("Combine", 3));
  collection.TimeDifference = SessionInt("TimeDifference", 5);
  collection.CheckAlbums = SessionInt("CheckAlbums", 0);
}

void WriteSimilaritySettings(const TMP3Collection& collection) {
  SetSessionInt("ArtistBound", collection.ArtistBound);
  SetSessionInt("TitleBound", collection.TitleBound);
  SetSessionInt("Combine", collection.Combine);
  SetSessionInt("TimeDifference", collection.TimeDifference);
  SetSessionInt("CheckAlbums", collection.CheckAlbums);
}

}  // namespace kv
