// A small mutation driver for fuzz targets in the native sanitizer build
// (g++ has no libFuzzer). Runs every file of the corpus folder, then a
// bounded number of seeded mutations of them. Any crash, sanitizer report or
// hang fails the CTest test that runs it.
//
//   <target> <corpus-dir> [--runs=N] [--seed=N] [--max-len=N]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> LoadCorpus(const std::filesystem::path& dir) {
  std::vector<Bytes> corpus;
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) return corpus;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, ec)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return corpus;
}

Bytes Mutate(Bytes input, const std::vector<Bytes>& corpus, std::mt19937_64& rng, size_t maxLen) {
  auto pick = [&](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(rng() % n); };
  const int steps = 1 + static_cast<int>(pick(8));
  for (int s = 0; s < steps; ++s) {
    switch (pick(7)) {
      case 0:  // flip a bit
        if (!input.empty()) input[pick(input.size())] ^= static_cast<uint8_t>(1u << pick(8));
        break;
      case 1:  // set a byte to an interesting value
        if (!input.empty()) {
          static const uint8_t kInteresting[] = {0, 1, 0x7f, 0x80, 0xff, 0xfe, 0x20, 0x10};
          input[pick(input.size())] = kInteresting[pick(sizeof kInteresting)];
        }
        break;
      case 2:  // insert random bytes
        if (input.size() < maxLen) {
          size_t at = pick(input.size() + 1), n = 1 + pick(16);
          for (size_t i = 0; i < n; ++i) input.insert(input.begin() + static_cast<long>(at), static_cast<uint8_t>(rng()));
        }
        break;
      case 3:  // erase a run
        if (!input.empty()) {
          size_t at = pick(input.size()), n = 1 + pick(std::min<size_t>(64, input.size() - at));
          input.erase(input.begin() + static_cast<long>(at), input.begin() + static_cast<long>(at + n));
        }
        break;
      case 4:  // truncate
        if (!input.empty()) input.resize(pick(input.size()));
        break;
      case 5:  // splice with another corpus entry
        if (!corpus.empty()) {
          const Bytes& other = corpus[pick(corpus.size())];
          if (!other.empty()) {
            size_t from = pick(other.size()), n = 1 + pick(other.size() - from);
            size_t at = pick(input.size() + 1);
            input.insert(input.begin() + static_cast<long>(at), other.begin() + static_cast<long>(from),
                         other.begin() + static_cast<long>(from + n));
          }
        }
        break;
      default:  // overwrite four bytes with a random 32-bit number
        if (input.size() >= 4) {
          uint32_t v = static_cast<uint32_t>(rng());
          std::memcpy(&input[pick(input.size() - 3)], &v, 4);
        }
        break;
    }
  }
  if (input.size() > maxLen) input.resize(maxLen);
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <corpus-dir> [--runs=N] [--seed=N] [--max-len=N]\n", argv[0]);
    return 2;
  }
  long runs = 10000;
  unsigned long long seed = 1;
  size_t maxLen = 1 << 16;
  for (int i = 2; i < argc; ++i) {
    if (std::strncmp(argv[i], "--runs=", 7) == 0) runs = std::atol(argv[i] + 7);
    else if (std::strncmp(argv[i], "--seed=", 7) == 0) seed = std::strtoull(argv[i] + 7, nullptr, 10);
    else if (std::strncmp(argv[i], "--max-len=", 10) == 0) maxLen = std::strtoul(argv[i] + 10, nullptr, 10);
  }
  std::vector<Bytes> corpus = LoadCorpus(argv[1]);
  for (const Bytes& b : corpus) LLVMFuzzerTestOneInput(b.data(), b.size());
  if (corpus.empty()) corpus.push_back(Bytes{});
  std::mt19937_64 rng(seed);
  for (long i = 0; i < runs; ++i) {
    Bytes input = Mutate(corpus[rng() % corpus.size()], corpus, rng, maxLen);
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("%zu corpus inputs, %ld mutations: no failure\n", corpus.size(), runs);
  return 0;
}
