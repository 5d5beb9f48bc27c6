// The change-event queue under a burst: "Item Create" events spread over 100
// folders go through the filtering AddEvent, which turns each into an
// "Update Directory" of its folder and keeps every folder once per batch.
// Cost per event at 1,000 and at 100,000 events (the second should stay
// within about twice the first: the queue never grows past the folders),
// then one batch taken.
//
// Figures are printed, not asserted (the tree and icon figures are in
// change_notifier_win_bench). Native: build without sanitizers (see
// DEVELOPERS.md) and run build/bench/change_notifier_bench.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "shell/change_events.h"

namespace {

using Clock = std::chrono::steady_clock;

kv::TIDListBytes List(const std::vector<std::string>& names) {
  kv::TIDListBytes bytes;
  for (const auto& name : names) {
    uint16_t count = static_cast<uint16_t>(name.size() + 2);
    bytes.push_back(static_cast<uint8_t>(count & 0xFF));
    bytes.push_back(static_cast<uint8_t>(count >> 8));
    bytes.insert(bytes.end(), name.begin(), name.end());
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

void Burst(size_t events) {
  constexpr size_t kFolders = 100;
  std::vector<kv::TIDListBytes> items;
  items.reserve(events);
  for (size_t i = 0; i < events; ++i)
    items.push_back(List({"C:", "music", "folder" + std::to_string(i % kFolders), "track" + std::to_string(i) + ".mp3"}));

  kv::TIDListComparer comparer;
  kv::TChangeEventQueue queue(comparer);
  queue.SetRecycleFolders({List({"bin"}), List({"C:", "$Recycle.Bin"})});
  const auto start = Clock::now();
  for (const auto& item : items) queue.AddEvent(kv::TShellEventKind::ItemCreate, item.data(), nullptr);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  kv::TLazyShellEventList* batch = queue.TakeBatch();
  std::printf("%7zu events: %8.1f ns per event, batch of %zu events\n", events, seconds * 1e9 / double(events),
              batch->Events().size());
  batch->Release();
}

}  // namespace

int main() {
  Burst(1000);
  Burst(100000);
  return 0;
}
