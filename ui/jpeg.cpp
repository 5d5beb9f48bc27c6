#include "ui/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>

namespace kv::ui {

namespace {

// libjpeg reports through error_exit, which must not return; we jump back to
// Decode, which then throws. Only libjpeg's own C frames are skipped by the
// jump, so no destructor is bypassed.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info) {
  auto* err = reinterpret_cast<ErrorManager*>(info->err);
  err->base.format_message(info, err->message);
  std::longjmp(err->jump, 1);
}

// A warning (level -1) means corrupt data that libjpeg would paper over with
// grey rows; a picture shown to the user is refused instead.
void EmitMessage(j_common_ptr info, int level) {
  if (level < 0) ErrorExit(info);
}

void OutputMessage(j_common_ptr) {}

// Everything between setjmp and the end lives in this frame or the caller's.
bool DecodeInto(std::span<const uint8_t> bytes, jpeg_decompress_struct& cinfo, ErrorManager& err,
                TRgbImage& out, std::string& failure) {
  if (setjmp(err.jump)) {
    failure = err.message;
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  if (cinfo.image_width == 0 || cinfo.image_height == 0 ||
      cinfo.image_width > static_cast<unsigned>(kMaxJpegSide) ||
      cinfo.image_height > static_cast<unsigned>(kMaxJpegSide) ||
      uint64_t{cinfo.image_width} * cinfo.image_height > kMaxJpegPixels) {
    failure = "picture too large";
    return false;
  }
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out.width = static_cast<int>(cinfo.output_width);
  out.height = static_cast<int>(cinfo.output_height);
  const size_t stride = size_t{cinfo.output_width} * 3;
  out.pixels.assign(stride * cinfo.output_height, 0);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.pixels.data() + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

}  // namespace

TRgbImage DecodeJpeg(std::span<const uint8_t> bytes) {
  if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
    throw EJpegError("not a JPEG picture");
  if (bytes.size() > 0xFFFFFFFFu) throw EJpegError("picture too large");
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ErrorManager err;
  std::memset(&err, 0, sizeof err);
  cinfo.err = jpeg_std_error(&err.base);
  err.base.error_exit = ErrorExit;
  err.base.emit_message = EmitMessage;
  err.base.output_message = OutputMessage;
  TRgbImage image;
  std::string failure;
  const bool ok = DecodeInto(bytes, cinfo, err, image, failure);
  jpeg_destroy_decompress(&cinfo);  // frees libjpeg's memory on both paths
  if (!ok) throw EJpegError("bad JPEG picture: " + failure);
  return image;
}

}  // namespace kv::ui
