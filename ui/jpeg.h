#pragma once
// JPEG decoding through libjpeg into 8-bit RGB rows. The library's errors
// (and its warnings about corrupt data) become EJpegError; it never gets
// to end the process.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace kv::ui {

class EJpegError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TRgbImage {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // rows top-down, 3 bytes per pixel (R, G, B)
};

// Larger pictures are refused before any pixel memory is taken.
constexpr int kMaxJpegSide = 16384;
constexpr uint64_t kMaxJpegPixels = 64ull * 1024 * 1024;

TRgbImage DecodeJpeg(std::span<const uint8_t> bytes);

}  // namespace kv::ui
