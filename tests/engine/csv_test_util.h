#pragma once
// The result-list tests keep their files in memory.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/csv_data_set.h"

namespace kv {

// Reads a text the storage keeps, without a copy of its own.
class ViewSource : public TCsvSource {
 public:
  explicit ViewSource(std::string_view text) : text_(text) {}
  size_t Read(char* buffer, size_t size) override {
    const size_t n = std::min(size, text_.size());
    std::copy_n(text_.data(), n, buffer);
    text_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view text_;
};

class MemoryStorage : public TCsvStorage {
 public:
  std::unique_ptr<TCsvSource> OpenRead(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return nullptr;
    return std::make_unique<ViewSource>(it->second);
  }
  void Save(const std::string& path, std::string_view text) override {
    ++saves;
    files[path] = std::string(text);
  }
  std::map<std::string, std::string> files;
  int saves = 0;
};

// A file made while it is read, never held whole: a head, then `repeat`
// bytes produced by `fill` from the offset into that part, then a tail.
// It hands out at most `piece` bytes a call and counts what it handed out.
class GeneratedSource : public TCsvSource {
 public:
  using Fill = std::function<char(uint64_t offset)>;
  GeneratedSource(std::string head, uint64_t repeat, Fill fill, std::string tail, uint64_t* count, size_t piece)
      : head_(std::move(head)), repeat_(repeat), fill_(std::move(fill)), tail_(std::move(tail)), count_(count),
        piece_(piece) {}
  size_t Read(char* buffer, size_t size) override {
    size = std::min(size, piece_);
    size_t n = 0;
    const uint64_t total = head_.size() + repeat_ + tail_.size();
    for (; n < size && pos_ < total; ++n, ++pos_) {
      if (pos_ < head_.size()) buffer[n] = head_[pos_];
      else if (pos_ - head_.size() < repeat_) buffer[n] = fill_(pos_ - head_.size());
      else buffer[n] = tail_[pos_ - head_.size() - repeat_];
    }
    *count_ += n;
    return n;
  }

 private:
  std::string head_;
  uint64_t repeat_;
  Fill fill_;
  std::string tail_;
  uint64_t* count_;
  size_t piece_;
  uint64_t pos_ = 0;
};

// One generated file under every name; a file that raises once `failAt` bytes were read when set.
class GeneratedStorage : public TCsvStorage {
 public:
  std::unique_ptr<TCsvSource> OpenRead(const std::string&) override {
    if (failAt) return std::make_unique<Failing>(make(), *failAt);
    return make();
  }
  void Save(const std::string&, std::string_view) override { throw EDatabaseError("not writable"); }

  std::function<std::unique_ptr<GeneratedSource>()> make;
  std::optional<uint64_t> failAt;

 private:
  class Failing : public TCsvSource {
   public:
    Failing(std::unique_ptr<TCsvSource> inner, uint64_t at) : inner_(std::move(inner)), left_(at) {}
    size_t Read(char* buffer, size_t size) override {
      if (left_ == 0) throw EDatabaseReadError("The file \"gen\" cannot be read: The device is not ready.");
      const size_t n = inner_->Read(buffer, std::min<uint64_t>(size, left_));
      left_ -= n;
      return n;
    }

   private:
    std::unique_ptr<TCsvSource> inner_;
    uint64_t left_;
  };
};

}  // namespace kv
