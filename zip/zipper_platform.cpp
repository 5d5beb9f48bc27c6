// The writer's disk and random source outside Windows (the native build and
// its tests); the Windows versions are in zipper_platform_win.cpp.
#ifndef _WIN32
#include <filesystem>
#include <random>
#include <system_error>

#include "zip/zipper.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

uint32_t AttributesOf(const fs::directory_entry& e) {
  std::error_code ec;
  if (e.is_directory(ec)) return 0x10;
  const auto perms = e.status(ec).permissions();
  return 0x20 | ((perms & fs::perms::owner_write) == fs::perms::none ? 0x01 : 0);
}

class StdZipperDisk : public TZipperDisk {
 public:
  std::vector<TFoundFile> List(const std::string& folder) override {
    std::vector<TFoundFile> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(Native(folder), ec)) {
      out.push_back({e.path().filename().string(), e.is_directory(ec), AttributesOf(e)});
    }
    return out;
  }
  std::optional<uint32_t> Attributes(const std::string& name) override {
    std::error_code ec;
    const fs::directory_entry e(Native(name), ec);
    if (ec || !e.exists(ec)) return std::nullopt;
    return AttributesOf(e);
  }
  // Only the read-only bit has a counterpart here.
  void SetAttributes(const std::string& name, uint32_t attributes) override {
    std::error_code ec;
    fs::permissions(Native(name), fs::perms::owner_write,
                    (attributes & 1) ? fs::perm_options::remove : fs::perm_options::add, ec);
  }
  std::string ShortName(const std::string& name) override { return name; }

 private:
  static std::string Native(std::string name) {
    for (char& c : name)
      if (c == '\\') c = '/';
    return name;
  }
};

}  // namespace

TZipperDisk& DefaultZipperDisk() {
  static StdZipperDisk disk;
  return disk;
}

void SystemRandomBytes(std::span<uint8_t> buf) {
  std::random_device rd("/dev/urandom");  // the kernel's generator
  for (auto& b : buf) b = static_cast<uint8_t>(rd());
}

}  // namespace kv
#endif
