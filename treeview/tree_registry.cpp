#include "treeview/tree_registry.h"

#include <mutex>
#include <unordered_map>

namespace kv {

namespace {

struct Registry {
  std::mutex lock;
  std::unordered_map<std::uint32_t, void*> trees;
  std::uint32_t lastSerial = 0;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

TLiveTreeRegistration::TLiveTreeRegistration(void* tree) {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.lock);
  // Serials are not reused while a tree holds them; 0 is never one.
  do {
    ++r.lastSerial;
  } while (r.lastSerial == 0 || r.trees.count(r.lastSerial) != 0);
  serial_ = r.lastSerial;
  r.trees.emplace(serial_, tree);
}

TLiveTreeRegistration::~TLiveTreeRegistration() {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.lock);
  r.trees.erase(serial_);
}

void* FindLiveTree(std::uint32_t serial) {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.lock);
  auto it = r.trees.find(serial);
  return it == r.trees.end() ? nullptr : it->second;
}

void MakeTreeReference(std::uint32_t processId, std::uint32_t serial, std::uint8_t out[kTreeReferenceSize]) {
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<std::uint8_t>(processId >> (8 * i));
    out[4 + i] = static_cast<std::uint8_t>(serial >> (8 * i));
  }
}

std::optional<std::uint32_t> ParseTreeReference(const void* bytes, std::size_t size, std::uint32_t processId) {
  if (bytes == nullptr || size < kTreeReferenceSize) return std::nullopt;
  const auto* b = static_cast<const std::uint8_t*>(bytes);
  std::uint32_t pid = 0, serial = 0;
  for (int i = 3; i >= 0; --i) {
    pid = (pid << 8) | b[i];
    serial = (serial << 8) | b[4 + i];
  }
  if (pid != processId || serial == 0) return std::nullopt;
  return serial;
}

}  // namespace kv
