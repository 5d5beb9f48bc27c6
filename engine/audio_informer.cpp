#include "engine/audio_informer.h"

#include "base/ansi_text.h"
#include "base/strings.h"
#include "engine/readers/asf.h"
#include "engine/readers/flac.h"
#include "engine/readers/id3v1.h"
#include "engine/readers/id3v2.h"
#include "engine/readers/mp4.h"
#include "engine/readers/mpeg_frames.h"
#include "engine/readers/ogg.h"
#include "engine/readers/reader_support.h"
#include "foundation/log.h"

#include <limits>
#include <stdexcept>

namespace kv {
namespace {

// A positive decimal sub-match number, or 0. Leading zeros are allowed; a
// number past the int range names no sub-match either, so it gives 0 too.
int GroupNumber(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  int number = 0;
  for (const char c : text) {
    if (number > (std::numeric_limits<int>::max() - (c - '0')) / 10) return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::string CleanName(std::string text) {
  ReplaceStr(text, "_", " ", false);
  ReplaceStr(text, "  ", " ", false);
  return TrimSymbol(text, ' ');
}

std::string UpperExtension(std::string_view path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || path.find_first_of("\\/", dot) != std::string_view::npos) return {};
  return AsciiUpper(path.substr(dot));
}

// The record's size slot: the low 32 bits of the open file's size.
int32_t LowSize(const ByteSource& file) { return static_cast<int32_t>(static_cast<uint32_t>(file.Size())); }

}  // namespace

void TNameTemplates::Load(std::string_view fileText) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < fileText.size()) {
    size_t end = fileText.find('\n', start);
    if (end == std::string_view::npos) end = fileText.size();
    std::string line(fileText.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  templates_.clear();
  for (size_t i = 0; i + 2 < lines.size(); i += 3) {
    Template t;
    t.expression = lines[i];
    t.artistGroup = lines[i + 1];
    t.titleGroup = lines[i + 2];
    templates_.push_back(std::move(t));
  }
}

bool TNameTemplates::Find(std::string_view path, Match& match) {
  for (size_t i = 0; i < templates_.size(); ++i) {
    Template& t = templates_[i];
    if (t.broken) continue;
    try {
      if (!t.compiled) {
        t.regex.SetModifierBits(t.regex.ModifierBits() | TRegex::kModI);
        t.regex.SetExpression(t.expression);
        t.regex.Compile();
        t.compiled = true;
      }
      if (!t.regex.Exec(path)) continue;
    } catch (const ERegexError& e) {
      // A bad line of the data file must not cost the user files: the
      // template is skipped from now on.
      AddToLog("fnametemplates: template " + std::to_string(i + 1) + " skipped: " + e.what());
      t.broken = !t.compiled;
      continue;
    }
    const int artist = GroupNumber(t.artistGroup);
    const int title = GroupNumber(t.titleGroup);
    match.artist = artist > 0 ? t.regex.GetMatch(artist) : std::string();
    match.title = title > 0 ? t.regex.GetMatch(title) : std::string();
    match.templateNo = static_cast<int32_t>(i + 1);
    return true;
  }
  return false;
}

TNameTemplates& NameTemplates() {
  static TNameTemplates templates;  // process-wide, filled at start-up
  return templates;
}

int32_t ChannelCodeFor(uint32_t channels) {
  switch (channels) {
    case 1: return kMono;
    case 2: return kStereo;
    default: return kChannelsUnknown;  // none, or more than two
  }
}

void TMP3Informer::ExtractInfoFromFilename(const std::string& path, TAudioReadEnvironment& env,
                                           TNameTemplates& templates) {
  TNameTemplates::Match match;
  if (templates.Find(path, match)) {
    SetTagPartRaw(kTagArtist, CleanName(match.artist));
    SetTagPartRaw(kTagTitle, CleanName(match.title));
    TemplateNo = match.templateNo;
  }
  env.SetSessionFlag("EmptyTags");
}

void TMP3Informer::ReadFile(const std::string& displayPath, TAudioReadEnvironment& env) {
  ResetTags();
  SetTagPart(kTagDisplayPath, displayPath);
  if (!env.FileExists(FileName())) {
    ExtractInfoFromFilename(displayPath, env);
    return;
  }
  try {
    std::unique_ptr<ByteSource> file = env.Open(FileName());
    TID3v2 v2;
    v2.ReadFromSource(*file);
    SetTagPart(kTagArtist, v2.Artist);
    SetTagPart(kTagTitle, v2.Title);
    SetTagPart(kTagAlbum, v2.Album);
    SetTagPart(kTagYear, v2.Year);
    SetTagPart(kTagComment, v2.Comment);
    SetTagPart(kTagTrack, std::to_string(v2.Track));
    SetTagPart(kTagGenre, v2.Genre);

    bool anyEmpty = false;
    for (int slot = kTagArtist; slot <= kTagGenre; ++slot) anyEmpty = anyEmpty || GetTagPart(slot).empty();
    bool v1Found = false;
    if (anyEmpty) {
      TID3v1Tag v1;
      v1.LoadFromSource(*file);
      v1Found = v1.Exists;
      if (v1.Exists) {
        const std::string* fields[] = {&v1.Artist, &v1.Title, &v1.Album, &v1.Year, &v1.Comment, nullptr, &v1.Genre};
        for (int slot = kTagArtist; slot <= kTagGenre; ++slot) {
          if (fields[slot] && GetTagPart(slot).empty()) SetTagPart(slot, *fields[slot]);
        }
      }
    }
    // The templates stand in when the file has neither tag.
    if (!v2.Exists && !v1Found) ExtractInfoFromFilename(displayPath, env);
    for (int slot = 0; slot < static_cast<int>(kTagCount); ++slot) {
      std::string text = GetTagPart(slot);
      std::erase(text, '\0');
      SetTagPartRaw(slot, std::move(text));
    }

    TAudInfo stream;
    stream.LoadFromSource(*file);
    SetPart(kInfoLength, stream.LengthSeconds());
    SetPart(kInfoSampleRate, stream.SampleRateHz());
    SetPart(kInfoBitRate, stream.BitRateKbps());
    SetPart(kInfoChannels, stream.ChannelCode());
    SetPart(kInfoFileSize, LowSize(*file));
    SetPart(kInfoMpegVersion, stream.VersionCode());
    SetPart(kInfoMpegLayer, stream.LayerCode());
  } catch (...) {
    // A damaged MPEG file keeps what was read so far and is still added.
  }
}

namespace {

// What a WMA, Ogg Vorbis, FLAC or M4A reader gave, in the record's units.
struct ReaderResult {
  TTagTexts texts;
  TStreamProperties stream;
  int32_t length = 0;   // seconds
  int32_t bitRate = 0;  // kbit/s
};

ReaderResult ReadOtherFormat(const std::string& ext, ByteSource& file) {
  if (ext == ".WMA") {
    TWMAfile r;
    r.ReadFromSource(file);
    return {r.texts, r.stream, RoundHalfEven(r.duration).value_or(0), r.bitRate};
  }
  if (ext == ".OGG") {
    TOggVorbis r;
    r.ReadFromSource(file);
    return {r.texts, r.stream, RoundHalfEven(r.FGetDuration()).value_or(0), r.FGetBitRate()};
  }
  if (ext == ".FLAC") {
    TFlacFile r;
    if (!r.ReadFromSource(file)) {
      // No stream figures to compute a bit rate from: the file is left out.
      throw std::runtime_error(std::string("FLAC file not read: ") + ReadFaultText(r.fault));
    }
    // A length of 0 seconds (no STREAMINFO, or under one second) raises too.
    return {r.texts, r.stream, static_cast<int32_t>(r.duration), FlacBitRate(file.Size(), r.duration)};
  }
  TM4AFile r;
  r.ReadFromSource(file);
  TTagTexts texts = r.texts;  // as read: UTF-8
  for (std::string* text : {&texts.title, &texts.artist, &texts.album, &texts.year, &texts.genre, &texts.comment})
    *text = Utf8ToAnsi(*text);
  return {texts, r.stream, static_cast<int32_t>(r.duration), kLosslessBitRate};
}

}  // namespace

void TAudioInformer::ReadFile(const std::string& displayPath, TAudioReadEnvironment& env) {
  const std::string ext = UpperExtension(displayPath);
  if (ext == ".MP3") {
    TMP3Informer::ReadFile(displayPath, env);
    return;
  }
  if (ext != ".WMA" && ext != ".OGG" && ext != ".FLAC" && ext != ".M4A") return;
  if (ext == ".M4A") env.SetSessionFlag("iTunesInstalled");

  ResetTags();
  SetTagPart(kTagDisplayPath, displayPath);
  std::unique_ptr<ByteSource> file = env.Open(FileName());  // raises: the file is left out
  const ReaderResult r = ReadOtherFormat(ext, *file);

  SetTagPart(kTagArtist, r.texts.artist);
  SetTagPart(kTagTitle, r.texts.title);
  SetTagPart(kTagAlbum, r.texts.album);
  SetTagPart(kTagYear, r.texts.year);
  SetTagPart(kTagComment, r.texts.comment);
  SetTagPart(kTagTrack, std::to_string(r.texts.track));
  SetTagPart(kTagGenre, r.texts.genre);
  ClearInfo();
  SetPart(kInfoLength, r.length);
  SetPart(kInfoSampleRate, static_cast<int32_t>(r.stream.sampleRate));
  SetPart(kInfoBitRate, r.bitRate);
  SetPart(kInfoChannels, ChannelCodeFor(r.stream.channels));
  SetPart(kInfoFileSize, LowSize(*file));
}

}  // namespace kv
