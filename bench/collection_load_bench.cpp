// Loading a generated result list of 1 M and 2 M rows (and more when asked):
// the time should roughly double with the rows. A size whose rows would pass
// the memory bound (3 M of these rows) is reported as refused.
//   collection_load_bench [millions ...]     default: 1 2
// The rows are generated while they are read, so the figures are the load's own.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/collection_csv.h"

namespace {

// A list of `rows` rows, made piece by piece as the reader asks for it.
class GeneratedList : public kv::TCsvSource {
 public:
  explicit GeneratedList(uint64_t rows) : rows_(rows) { pending_ = std::string(kv::kCsvHeader) + "\r\n"; }
  size_t Read(char* buffer, size_t size) override {
    size_t n = 0;
    while (n < size) {
      if (at_ == pending_.size()) {
        if (row_ == rows_) break;
        pending_ = std::to_string(row_ % 5000) + ",Artist " + std::to_string(row_ % 9973) + ",Title " +
                   std::to_string(row_) + ",C:\\Music\\Folder " + std::to_string(row_ % 701) + "\\Track " +
                   std::to_string(row_) + ".mp3,Album,Comment,2001,7,215,44100,192,2,5160960\r\n";
        at_ = 0;
        ++row_;
      }
      const size_t take = std::min(size - n, pending_.size() - at_);
      pending_.copy(buffer + n, take, at_);
      n += take;
      at_ += take;
    }
    return n;
  }

 private:
  uint64_t rows_;
  uint64_t row_ = 0;
  std::string pending_;
  size_t at_ = 0;
};

class GeneratedStorage : public kv::TCsvStorage {
 public:
  explicit GeneratedStorage(uint64_t rows) : rows_(rows) {}
  std::unique_ptr<kv::TCsvSource> OpenRead(const std::string&) override { return std::make_unique<GeneratedList>(rows_); }
  void Save(const std::string&, std::string_view) override {}

 private:
  uint64_t rows_;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<uint64_t> millions;
  for (int i = 1; i < argc; ++i) millions.push_back(std::strtoull(argv[i], nullptr, 10));
  if (millions.empty()) millions = {1, 2};
  std::printf("%10s %10s %12s\n", "rows", "seconds", "us per row");
  for (const uint64_t m : millions) {
    const uint64_t rows = m * 1'000'000;
    GeneratedStorage storage(rows);
    kv::TMP3Collection collection;
    collection.IndexEnabled = 0;  // the result collection is not indexed
    const auto start = std::chrono::steady_clock::now();
    try {
      kv::LoadCollectionFromCSV(collection, "last", storage, nullptr);
    } catch (const kv::EDatabaseError& e) {
      // A size past the memory bound is refused, as the program refuses it;
      // the other sizes are still measured.
      std::printf("%10llu refused: %s\n", static_cast<unsigned long long>(rows), e.what());
      std::fflush(stdout);
      continue;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (static_cast<uint64_t>(collection.Count()) != rows) {
      std::printf("loaded %d rows of %llu\n", collection.Count(), static_cast<unsigned long long>(rows));
      return 1;
    }
    std::printf("%10llu %10.2f %12.3f\n", static_cast<unsigned long long>(rows), seconds, seconds * 1e6 / double(rows));
    std::fflush(stdout);
  }
  return 0;
}
