#include "engine/readers/id3v1.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace kv {
namespace {

constexpr size_t kBlockSize = 128;

// The common genre list with its customary extensions, in number order, as
// one comma text.
constexpr std::string_view kGenreText =
    "Blues,Classic Rock,Country,Dance,Disco,Funk,Grunge,Hip-Hop,Jazz,Metal,New Age,Oldies,Other,Pop,"
    "R&B,Rap,Reggae,Rock,Techno,Industrial,Alternative,Ska,Death Metal,Pranks,Soundtrack,Euro-Techno,"
    "Ambient,Trip-Hop,Vocal,Jazz+Funk,Fusion,Trance,Classical,Instrumental,Acid,House,Game,Sound Clip,"
    "Gospel,Noise,AlternRock,Bass,Soul,Punk,Space,Meditative,Instrumental Pop,Instrumental Rock,"
    "Ethnic,Gothic,Darkwave,Techno-Industrial,Electronic,Pop-Folk,Eurodance,Dream,Southern Rock,"
    "Comedy,Cult,Gangsta,Top 40,Christian Rap,Pop/Funk,Jungle,Native American,Cabaret,New Wave,"
    "Psychadelic,Rave,Showtunes,Trailer,Lo-Fi,Tribal,Acid Punk,Acid Jazz,Polka,Retro,Musical,"
    "Rock & Roll,Hard Rock,Folk,Folk-Rock,National Folk,Swing,Fast Fusion,Bebob,Latin,Revival,Celtic,"
    "Bluegrass,Avantgarde,Gothic Rock,Progressive Rock,Psychedelic Rock,Symphonic Rock,Slow Rock,"
    "Big Band,Chorus,Easy Listening,Acoustic,Humour,Speech,Chanson,Opera,Chamber Music,Sonata,"
    "Symphony,Booty Bass,Primus,Porn Groove,Satire,Slow Jam,Club,Tango,Samba,Folklore,Ballad,"
    "Power Ballad,Rhythmic Soul,Freestyle,Duet,Punk Rock,Drum Solo,A capella,Euro-House,Dance Hall,"
    "Goa,Drum & Bass,Club-House,Hardcore,Terror,Indie,BritPop,Negerpunk,Polsk Punk,Beat,"
    "Christian Gangsta Rap,Heavy Metal,Black Metal,Crossover,Contemporary Christian,Christian Rock,"
    "Merengue,Salsa,Thrash Metal,Anime,JPop,Synthpop";

struct TGenreName {
  std::string name;
  int number;
};

std::vector<TGenreName> SplitGenres(std::string_view text) {
  std::vector<TGenreName> list;
  for (size_t start = 0;;) {
    const size_t comma = text.find(',', start);
    list.push_back({std::string(text.substr(start, comma - start)), static_cast<int>(list.size())});
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return list;
}

// The process-wide genre list, filled when the module is initialised; each
// name carries its number.
const std::vector<TGenreName> gGenres = SplitGenres(kGenreText);

// A fixed-width field: cut at its first 0 byte, then blanks and control
// characters removed at the right.
std::string Field(const uint8_t* p, size_t width) {
  const void* nul = std::memchr(p, 0, width);
  size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : width;
  while (n > 0 && p[n - 1] <= ' ') --n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

std::string Id3v1GenreName(int number) {
  if (number < 0 || static_cast<size_t>(number) >= gGenres.size()) return {};
  return gGenres[static_cast<size_t>(number)].name;
}

void TID3v1Tag::Decode(const uint8_t* block, size_t size) {
  Reset();
  if (size != kBlockSize || std::memcmp(block, "TAG", 3) != 0) return;
  Exists = true;
  Title = Field(block + 3, 30);
  Artist = Field(block + 33, 30);
  Album = Field(block + 63, 30);
  Year = Field(block + 93, 4);
  Comment = Field(block + 97, 30);
  if (block[125] == 0 && block[126] != 0) {
    Track = block[126];
  } else {
    Version10 = true;
  }
  GenreNo = block[127];
  Genre = Id3v1GenreName(GenreNo);
}

void TID3v1Tag::LoadFromStream(ByteSource& src, uint64_t start, uint64_t size) {
  Reset();
  const uint64_t total = src.Size();
  if (start > total) return;
  if (size > total - start) size = total - start;
  if (size < kBlockSize) return;
  std::array<uint8_t, kBlockSize> block{};
  const size_t got = src.ReadAt(start + size - kBlockSize, block);
  Decode(block.data(), got);
}

}  // namespace kv
