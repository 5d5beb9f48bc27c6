// Benchmark: the file-name templates (artist and title from a path) against
// 100,000 synthetic paths, each template compiled once.
//
//   regex_bench [templates-file]
//
// Without an argument it reads data/fnametemplates.txt of the source tree
// when that exists, else uses a few typical templates of its own. The file
// holds triples of lines: expression, artist sub-match, title sub-match.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "foundation/regex.h"

namespace {

struct Template {
  std::string expression;
  int artist;
  int title;
};

const Template kOwnTemplates[] = {
    {"[\\\\/](\\d+\\s*[-.]?\\s*)?([^\\\\/]+?)\\s+-\\s+([^\\\\/]+?)\\.(mp3|wma|ogg|flac|m4a)$", 2, 3},
    {"[\\\\/]([^\\\\/]+?)_-_([^\\\\/]+?)\\.\\w+$", 1, 2},
    {"[\\\\/]([^\\\\/]+)[\\\\/][^\\\\/]+[\\\\/]\\d+\\s*-?\\s*([^\\\\/]+?)\\.\\w+$", 1, 2},
    {"[\\\\/]([^\\\\/-]+)-([^\\\\/]+)\\.\\w{3,4}$", 1, 2},
};

std::vector<Template> LoadTemplates(const std::filesystem::path& file) {
  std::vector<Template> out;
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  for (size_t i = 0; i + 2 < lines.size(); i += 3) {
    out.push_back({lines[i], std::atoi(lines[i + 1].c_str()), std::atoi(lines[i + 2].c_str())});
  }
  return out;
}

std::vector<std::string> SyntheticPaths(size_t n) {
  static const char* const kWords[] = {"Love", "Night", "Blue", "Dance", "Heart", "Road", "Fire", "Rain",
                                       "Summer", "Dream", "City", "Lights", "Wild", "River", "Gold", "Time"};
  static const char* const kExt[] = {".mp3", ".MP3", ".wma", ".ogg", ".flac", ".m4a"};
  std::mt19937 rng(42);
  auto word = [&] { return std::string(kWords[rng() % 16]); };
  auto words = [&](int most) {
    std::string s = word();
    for (int k = static_cast<int>(rng() % static_cast<unsigned>(most)); k > 0; --k) s += " " + word();
    return s;
  };
  std::vector<std::string> paths;
  paths.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const std::string artist = words(2), title = words(3), album = words(2);
    const std::string ext = kExt[rng() % 6];
    const int track = 1 + static_cast<int>(rng() % 20);
    char num[8];
    std::snprintf(num, sizeof num, "%02d", track);
    const std::string root = "C:\\Music\\" + artist + "\\" + album + "\\";
    switch (rng() % 6) {
      case 0: paths.push_back(root + artist + " - " + title + ext); break;
      case 5: paths.push_back("C:\\Music\\" + artist + "\\" + num + ". " + title + ext); break;
      case 1: paths.push_back(root + num + " - " + artist + " - " + title + ext); break;
      case 2: paths.push_back(root + num + " " + title + ext); break;
      case 3: paths.push_back("D:/mp3/" + artist + "_-_" + title + ext); break;
      default: paths.push_back(root + "track" + num + ext); break;  // nothing to take
    }
  }
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path file = argc > 1 ? std::filesystem::path(argv[1])
                                        : std::filesystem::path(__FILE__).parent_path().parent_path() / "data" /
                                              "fnametemplates.txt";
  std::vector<Template> templates;
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) templates = LoadTemplates(file);
  const bool own = templates.empty();
  if (own) templates.assign(std::begin(kOwnTemplates), std::end(kOwnTemplates));
  std::printf("templates: %zu (%s)\n", templates.size(), own ? "built in" : file.string().c_str());

  std::vector<kv::TRegex> compiled(templates.size());
  for (size_t t = 0; t < templates.size(); ++t) {
    compiled[t].SetModifier(1, true);  // templates are matched ignoring case
    compiled[t].SetExpression(templates[t].expression);
    try {
      compiled[t].Compile();
    } catch (const kv::ERegexError& e) {
      std::printf("template %zu does not compile: %s\n", t + 1, e.what());
      return 1;
    }
  }

  const std::vector<std::string> paths = SyntheticPaths(100000);
  std::vector<size_t> wins(templates.size() + 1, 0);
  size_t textBytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& path : paths) {
    size_t winner = templates.size();
    for (size_t t = 0; t < templates.size(); ++t) {
      if (compiled[t].Exec(path)) {
        winner = t;
        textBytes += compiled[t].GetMatch(templates[t].artist).size() + compiled[t].GetMatch(templates[t].title).size();
        break;
      }
    }
    ++wins[winner];
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("paths: %zu  time: %.3f s  per path: %.2f us  artist+title bytes: %zu\n", paths.size(), seconds,
              seconds * 1e6 / static_cast<double>(paths.size()), textBytes);
  for (size_t t = 0; t < templates.size(); ++t) std::printf("  template %zu matched %zu\n", t + 1, wins[t]);
  std::printf("  no template matched %zu\n", wins[templates.size()]);
  return 0;
}
