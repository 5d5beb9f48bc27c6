#include "engine/audio_info.h"

#include <charconv>

#include "base/ansi_text.h"
#include "base/strings.h"

namespace kv {

std::u16string TAudioInfo::FilePath() const { return widePath_.empty() ? AnsiToWide(fileName_) : widePath_; }

std::u16string TAudioInfo::ShownPath() const {
  return widePath_.empty() ? AnsiToWide(tagParts_[kTagDisplayPath]) : widePath_;
}

std::string TAudioInfo::GetTagPart(int index) const {
  return index >= 0 && static_cast<size_t>(index) < kTagCount ? tagParts_[static_cast<size_t>(index)] : std::string();
}

void TAudioInfo::SetTagPart(int index, std::string_view text) {
  SetTagPartRaw(index, std::string(text.substr(0, text.find('\r'))));
}

void TAudioInfo::SetTagPartRaw(int index, std::string text) {
  if (index >= 0 && static_cast<size_t>(index) < kTagCount) tagParts_[static_cast<size_t>(index)] = std::move(text);
}

int TAudioInfo::GetTagPartInt(int index) const {
  const std::string text = GetTagPart(index);
  const char* b = text.data();
  const char* e = b + text.size();
  if (b != e && *b == '+') ++b;
  int value = 0;
  const auto [ptr, ec] = std::from_chars(b, e, value);
  return (b != e && ec == std::errc() && ptr == e) ? value : 0;
}

void TAudioInfo::SetTagPartInt(int index, int value) {
  if (index == kTagYear && (value < 0 || value > 9999)) return;
  if (index == kTagTrack && (value < 0 || value > 99)) return;
  SetTagPart(index, std::to_string(value));
}

int32_t TAudioInfo::GetInfoPart(int index) const {
  return index >= 0 && static_cast<size_t>(index) < infoParts_.size() ? infoParts_[static_cast<size_t>(index)] : 0;
}

void TAudioInfo::SetPart(int index, int32_t value) {
  const size_t i = static_cast<size_t>(index & 0x7F);
  if (infoParts_.size() <= i) infoParts_.resize(i + 1, 0);
  infoParts_[i] = value;
}

bool CanRead(std::string_view path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || path.find_first_of("\\/", dot) != std::string_view::npos) return false;
  const std::string ext = AsciiUpper(path.substr(dot));
  return ext == ".MP3" || ext == ".WMA" || ext == ".OGG" || ext == ".FLAC" || ext == ".M4A";
}

bool CanRead(std::u16string_view path) {
  const size_t dot = path.rfind(u'.');
  if (dot == std::u16string_view::npos || path.size() - dot > 5) return false;
  std::string ext;
  for (char16_t c : path.substr(dot)) {
    if (c > 0x7F) return false;
    ext.push_back(static_cast<char>(c));
  }
  return CanRead(std::string_view(ext));
}

}  // namespace kv
