#pragma once
// Test doubles for the writer: a disk over TMemoryFileSystem, and a file
// system that fails a chosen write, the flush or the final move.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/zip/zip_test_util.h"
#include "zip/zip_errors.h"
#include "zip/zip_file_system.h"
#include "zip/zipper.h"

namespace kv::ziptest {

using Bytes = std::vector<uint8_t>;

using test::Random;
using test::Text;

// Folders are implied by the files below them.
class MemoryDisk : public TZipperDisk {
 public:
  explicit MemoryDisk(TMemoryFileSystem& fs) : fs_(fs) {}
  std::vector<TFoundFile> List(const std::string& folder) override {
    std::string prefix = folder;
    while (!prefix.empty() && prefix.back() == '\\') prefix.pop_back();
    prefix += '\\';
    std::vector<TFoundFile> out;
    std::set<std::string> dirs;
    for (const auto& [name, file] : fs_.Files()) {
      if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string rest = name.substr(prefix.size());
      const size_t cut = rest.find('\\');
      if (cut == std::string::npos) {
        out.push_back({rest, false, file.attributes.value_or(0x20)});
      } else if (dirs.insert(rest.substr(0, cut)).second) {
        out.push_back({rest.substr(0, cut), true, 0x10});
      }
    }
    return out;
  }
  std::optional<uint32_t> Attributes(const std::string& name) override {
    const auto it = fs_.Files().find(name);
    if (it != fs_.Files().end()) return it->second.attributes.value_or(0x20);
    for (const auto& [n, f] : fs_.Files())
      if (n.rfind(name + "\\", 0) == 0) return 0x10;
    return std::nullopt;
  }
  void SetAttributes(const std::string& name, uint32_t attributes) override {
    const auto it = fs_.Files().find(name);
    if (it != fs_.Files().end()) fs_.SetFileDateAndAttributes(name, it->second.dosDateTime, attributes);
  }
  std::string ShortName(const std::string& name) override { return name; }

 private:
  TMemoryFileSystem& fs_;
};

// Fails the Nth write to a created file (1-based; 0 never), its flush, or
// the move over the target.
class FaultyFileSystem : public TMemoryFileSystem {
 public:
  int failWrite = 0;
  bool failFlush = false;
  bool failReplace = false;
  int writes = 0;  // writes to created files so far

  std::unique_ptr<TStream> Open(const std::string& name, TFileOpenMode mode) override {
    auto inner = TMemoryFileSystem::Open(name, mode);
    if (mode != TFileOpenMode::Create) return inner;
    return std::make_unique<Stream>(*this, std::move(inner));
  }
  void ReplaceFile(const std::string& source, const std::string& target) override {
    if (failReplace) throw EZipFileOpenError("Cannot replace \"" + target + "\"");
    TMemoryFileSystem::ReplaceFile(source, target);
  }

 private:
  class Stream : public TStream {
   public:
    Stream(FaultyFileSystem& fs, std::unique_ptr<TStream> inner) : fs_(fs), inner_(std::move(inner)) {}
    int64_t Read(void* b, int64_t n) override { return inner_->Read(b, n); }
    int64_t Write(const void* b, int64_t n) override {
      if (++fs_.writes == fs_.failWrite) return 0;  // disk full
      return inner_->Write(b, n);
    }
    int64_t Seek(int64_t o, TSeekOrigin w) override { return inner_->Seek(o, w); }
    int64_t Size() override { return inner_->Size(); }
    void Flush() override {
      if (fs_.failFlush) throw EZipWriteError("Stream write error (flush)");
      inner_->Flush();
    }

   private:
    FaultyFileSystem& fs_;
    std::unique_ptr<TStream> inner_;
  };
};

}  // namespace kv::ziptest
