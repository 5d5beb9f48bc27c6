// Speed of the MP3 readers (ID3v2 texts, ID3v1 block, stream analysis) over a
// folder of MP3 files: files per second and bytes read per file.
//
//   mp3_bench <folder> [--rounds=N] [--files]
//
// By default every file is loaded into memory once and the readers run over
// memory; with --files each read opens the real file (Win32 file handles on
// Windows, stdio elsewhere), as the program does.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include "base/handle.h"
#endif

#include "engine/readers/id3v1.h"
#include "engine/readers/id3v2.h"
#include "engine/readers/mpeg_frames.h"
#include "tests/engine/reader_test_util.h"

namespace {

#ifdef _WIN32
class FileSource final : public kv::ByteSource {
 public:
  explicit FileSource(const std::filesystem::path& path)
      : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
    LARGE_INTEGER size{};
    if (!file_ || !GetFileSizeEx(file_.Get(), &size)) throw std::runtime_error("cannot open " + path.string());
    size_ = static_cast<uint64_t>(size.QuadPart);
  }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, std::span<uint8_t> buffer) override {
    if (offset >= size_) return 0;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(buffer.size(), size_ - offset));
    if (!ReadFile(file_.Get(), buffer.data(), want, &got, &at)) throw std::runtime_error("read failed");
    return got;
  }

 private:
  kv::FileHandle file_;
  uint64_t size_ = 0;
};
#else
class FileSource final : public kv::ByteSource {
 public:
  explicit FileSource(const std::filesystem::path& path) : file_(std::fopen(path.c_str(), "rb"), &std::fclose) {
    if (!file_) throw std::runtime_error("cannot open " + path.string());
    std::fseek(file_.get(), 0, SEEK_END);
    size_ = static_cast<uint64_t>(std::ftell(file_.get()));
  }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, std::span<uint8_t> buffer) override {
    if (offset >= size_) return 0;
    std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET);
    return std::fread(buffer.data(), 1, buffer.size(), file_.get());
  }

 private:
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
  uint64_t size_ = 0;
};
#endif

volatile int64_t g_sink = 0;

void ReadOne(kv::ByteSource& src) {
  kv::TID3v2 v2;
  v2.ReadFromSource(src);
  kv::TID3v1Tag v1;
  v1.LoadFromSource(src);
  kv::TAudInfo audio;
  audio.LoadFromSource(src);
  g_sink = g_sink + audio.Duration + static_cast<int64_t>(v2.Title.size() + v1.Title.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder> [--rounds=N] [--files]\n", argv[0]);
    return 2;
  }
  int rounds = 200;
  bool files = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::atoi(argv[i] + 9);
    else if (std::strcmp(argv[i], "--files") == 0) files = true;
  }
  std::vector<std::filesystem::path> paths;
  for (const auto& e : std::filesystem::directory_iterator(argv[1])) {
    if (e.is_regular_file() && e.path().extension() == ".mp3") paths.push_back(e.path());
  }
  if (paths.empty()) {
    std::fprintf(stderr, "no .mp3 files in %s\n", argv[1]);
    return 1;
  }
  std::vector<std::vector<uint8_t>> data;
  uint64_t totalSize = 0;
  for (const auto& p : paths) {
    std::ifstream in(p, std::ios::binary);
    data.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    totalSize += data.back().size();
  }

  uint64_t bytes = 0, reads = 0, count = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (size_t i = 0; i < paths.size(); ++i) {
      std::unique_ptr<kv::ByteSource> inner;
      if (files) inner = std::make_unique<FileSource>(paths[i]);
      else inner = std::make_unique<kv::MemorySource>(data[i]);
      kv::readtest::CountingSource src(*inner);
      ReadOne(src);
      bytes += src.bytesRead;
      reads += src.reads;
      ++count;
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%s: %zu files (%.0f KB on average), %llu reads in %.3f s\n", files ? "real files" : "memory",
              paths.size(), static_cast<double>(totalSize) / static_cast<double>(paths.size()) / 1024,
              static_cast<unsigned long long>(count), seconds);
  std::printf("  %.0f files/s, %.0f bytes and %.1f read calls per file\n", static_cast<double>(count) / seconds,
              static_cast<double>(bytes) / static_cast<double>(count),
              static_cast<double>(reads) / static_cast<double>(count));
  return 0;
}
