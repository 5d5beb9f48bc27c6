// Node storage benchmark (native): 100,000 stored items in 1,000 folders.
//  - Store and Find per operation, walking in folder order (the cache node
//    answers every sibling after the first) and in an order that changes
//    folder at every step (every lookup walks from the root);
//  - the resolved folder list of 100,000 checked paths against 10,000
//    (target: at most 12x the time).
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "shell/node_storage.h"

using Clock = std::chrono::steady_clock;
using namespace kv;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::vector<uint8_t> Pidl(const std::vector<std::string>& names) {
  std::vector<uint8_t> out;
  for (const auto& n : names) {
    auto count = static_cast<uint16_t>(n.size() + 2);
    out.push_back(uint8_t(count));
    out.push_back(uint8_t(count >> 8));
    out.insert(out.end(), n.begin(), n.end());
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::vector<uint8_t> Item(int folder, int file) {
  return Pidl({"C:", "music", "f" + std::to_string(folder), "t" + std::to_string(file) + ".mp3"});
}

double ResolveTime(int count) {
  std::vector<std::u16string> paths;
  for (int i = 0; i < count; ++i) {
    std::string p = "C:\\music\\f" + std::to_string(i / 100) + (i % 100 ? "\\t" + std::to_string(i % 100) : "");
    paths.emplace_back(p.begin(), p.end());
  }
  TNodeStorageShell shell;
  auto start = Clock::now();
  auto kept = ResolvePathList(paths, [&](std::vector<std::u16string>& list) { shell.SortPaths(list); });
  double ms = Ms(Clock::now() - start);
  std::printf("  resolve %6d paths: %8.2f ms (%zu kept)\n", count, ms, kept.size());
  return ms;
}

}  // namespace

int main() {
  constexpr int kFolders = 1000, kFiles = 100;
  TRootNodeStorage root(nullptr);
  auto start = Clock::now();
  for (int f = 0; f < kFolders; ++f)
    for (int i = 0; i < kFiles; ++i) root.Store(Item(f, i), kStoreCheck);
  double store = Ms(Clock::now() - start);
  start = Clock::now();
  size_t found = 0;
  for (int f = 0; f < kFolders; ++f)
    for (int i = 0; i < kFiles; ++i) found += root.Find(Item(f, i), kStoreCheck) != nullptr;
  double findCached = Ms(Clock::now() - start);
  start = Clock::now();
  for (int i = 0; i < kFiles; ++i)
    for (int f = 0; f < kFolders; ++f) found += root.Find(Item(f, i), kStoreCheck) != nullptr;
  double findWalked = Ms(Clock::now() - start);
  const double n = kFolders * kFiles;
  std::printf("node storage, %d items in %d folders (%zu found)\n", kFolders * kFiles, kFolders, found);
  std::printf("  Store:                   %7.3f us per item\n", store * 1000 / n);
  std::printf("  Find, cache node hit:    %7.3f us per item\n", findCached * 1000 / n);
  std::printf("  Find, walk from the root:%7.3f us per item\n", findWalked * 1000 / n);
  double small = ResolveTime(10000), large = ResolveTime(100000);
  std::printf("  100,000 / 10,000: %.1fx (target at most 12x)\n", large / small);
  return large / small <= 12 ? 0 : 1;
}
