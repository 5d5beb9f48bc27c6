// The program's own debug data: how long mkdiag.py takes, how large the data
// is against the code it describes, and how fast lookups are.
//
//   diag_lookup_bench <kelvarin.debug.exe> <kelvarin.map> [repo root]
//
// Targets: generation <= 3 s, DIAG size / .text size <= 0.7, first lookup
// (tables decoded) < 50 ms, later lookups < 10 us each.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "diagnostics/diag_binary.h"
#include "diagnostics/pe_image.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <name.debug.exe> <name.map> [repo root]\n", argv[0]);
    return 2;
  }
  const std::string root = argc > 3 ? argv[3] : ".";
  const std::string block = "diag_lookup_bench.bin";
  const std::string command = "/usr/bin/python3 " + root + "/tools/mkdiag.py --exe " + argv[1] + " --map " + argv[2] +
                              " --block-only " + block;
  const auto g0 = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "mkdiag.py failed\n");
    return 1;
  }
  const double generation = Ms(Clock::now() - g0);

  const std::vector<uint8_t> exe = ReadFile(argv[1]);
  uint64_t textSize = 0;
  // Section headers lie at the same offsets in the file as in memory.
  const kv::ByteView view(exe.data(), exe.size());
  if (const auto nt = kv::PeMapImgNtHeaders(view)) {
    if (const auto text = kv::PeMapImgFindSection(view, *nt, ".text")) textSize = view.U32(*text + 8).value_or(0);
  }
  const std::vector<uint8_t> data = ReadFile(block);

  kv::TDiagBinDebugScanner scanner(data);
  if (!scanner.ValidFormat() || textSize == 0) {
    std::fprintf(stderr, "no valid data\n");
    return 1;
  }
  auto lookup = [&scanner](uint32_t r) {
    uint32_t procOffset = 0;
    int32_t lineOffset = 0;
    return scanner.ModuleNameFromAddr(r).size() + scanner.ProcNameFromAddr(r, procOffset).size() +
           scanner.LineNumberFromAddr(r, lineOffset) + scanner.SourceNameFromAddr(r).size();
  };
  std::mt19937 rng(27);
  const auto f0 = Clock::now();
  size_t sink = lookup(static_cast<uint32_t>(rng() % textSize));
  const double first = Ms(Clock::now() - f0);
  constexpr int kLookups = 100000;
  const auto l0 = Clock::now();
  for (int i = 0; i < kLookups; ++i) sink += lookup(static_cast<uint32_t>(rng() % textSize));
  const double each = Ms(Clock::now() - l0) * 1000.0 / kLookups;

  std::printf("generation      %8.0f ms   (target <= 3000)\n", generation);
  std::printf("DIAG size       %8zu bytes, .text %llu bytes, ratio %.2f (target <= 0.7)\n", data.size(),
              static_cast<unsigned long long>(textSize), static_cast<double>(data.size()) / static_cast<double>(textSize));
  std::printf("first lookup    %8.3f ms   (target < 50)\n", first);
  std::printf("later lookups   %8.3f us   (target < 10)   [%zu]\n", each, sink % 10);
  std::remove(block.c_str());
  return 0;
}
