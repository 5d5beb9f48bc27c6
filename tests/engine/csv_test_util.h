#pragma once
// The result-list tests keep their files in memory.
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "engine/csv_data_set.h"

namespace kv {

class MemoryStorage : public TCsvStorage {
 public:
  std::optional<std::string> Load(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second;
  }
  void Save(const std::string& path, std::string_view text) override {
    ++saves;
    files[path] = std::string(text);
  }
  std::map<std::string, std::string> files;
  int saves = 0;
};

}  // namespace kv
