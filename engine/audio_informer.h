#pragma once
// Reading one music file into a record: the reader is chosen by the
// extension; an MPEG file's ID3v2 tag is read first, empty texts are filled
// from its ID3v1 tag and the stream is analysed; when no tag gives artist or
// title, the file-name templates supply them. Byte-level: the file system and
// the settings are reached through TAudioReadEnvironment.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/audio_info.h"
#include "engine/readers/byte_source.h"
#include "foundation/regex.h"

namespace kv {

// What a read needs from the system.
class TAudioReadEnvironment {
 public:
  virtual ~TAudioReadEnvironment() = default;
  // True when the access path names an existing file (no system error boxes meanwhile).
  virtual bool FileExists(const std::string& accessPath) = 0;
  // Opens the file for reading by its access path; raises when it cannot.
  virtual std::unique_ptr<ByteSource> Open(const std::string& accessPath) = 0;
  // Writes "1" under the key of the settings section "Session".
  virtual void SetSessionFlag(std::string_view key) = 0;
};

// The file-name templates: triples of lines (expression, sub-match number of
// the artist, sub-match number of the title), matched case-insensitively
// against the whole path. Each expression is compiled once.
class TNameTemplates {
 public:
  struct Match {
    std::string artist, title;
    int32_t templateNo = 0;  // from 1
  };

  // Replaces the list with the lines of a "fnametemplates.txt" text. An
  // incomplete last triple is ignored.
  void Load(std::string_view fileText);
  size_t Count() const { return templates_.size(); }
  // The first template that matches the path, or nothing. A template whose
  // expression does not compile never matches.
  bool Find(std::string_view path, Match& match);

 private:
  struct Template {
    std::string expression;
    std::string artistGroup, titleGroup;
    TRegex regex;
    bool compiled = false, broken = false;
  };
  std::vector<Template> templates_;
};

// The process-wide template list, filled at start-up.
TNameTemplates& NameTemplates();

// A record that can read MPEG files.
class TMP3Informer : public TMP3Info {
 public:
  // Reads the MPEG file at FileName(); never raises for a damaged file (the
  // record keeps what was read). A missing file, or one with neither tag,
  // gets artist and title from the templates.
  void ReadFile(const std::string& displayPath, TAudioReadEnvironment& env);
  // The same through the system (files and the program's settings).
  void ReadFile(const std::string& displayPath);
  // Artist and title from the templates; writes "EmptyTags".
  void ExtractInfoFromFilename(const std::string& path, TAudioReadEnvironment& env,
                               TNameTemplates& templates = NameTemplates());
  void ExtractInfoFromFilename(const std::string& path);
};

// A record that can read every supported format.
class TAudioInformer : public TMP3Informer {
 public:
  // True when the path's extension is one the readers take.
  static bool CanRead(std::string_view path) { return kv::CanRead(path); }
  // Reads the file by the extension of the display path; FileName() must be
  // set first. A WMA, Ogg Vorbis, FLAC or M4A file that cannot be read (a
  // FLAC file also when its length is 0 seconds) raises, and the collection
  // then leaves it out.
  void ReadFile(const std::string& displayPath, TAudioReadEnvironment& env);
  // The same through the system (files and the program's settings).
  void ReadFile(const std::string& displayPath);
};

// The record's channel code for a channel count (0 unknown, 1 mono 4, 2 stereo 1).
int32_t ChannelCodeFor(uint32_t channels);

}  // namespace kv
