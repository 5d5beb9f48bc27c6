#include "ui/graphics_win.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "base/ansi_text_win.h"

namespace kv::ui {

void TBitmap::Create(int width, int height) {
  if (width <= 0 || height <= 0) throw std::invalid_argument("empty bitmap");
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  BitmapObject made(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!made || !bits) throw std::runtime_error("cannot create a bitmap");
  bitmap_ = std::move(made);
  bits_ = static_cast<uint32_t*>(bits);
  width_ = width;
  height_ = height;
}

void TBitmap::LoadFromRgb(const TRgbImage& image) {
  TBitmap made;
  made.Create(image.width, image.height);
  const uint8_t* p = image.pixels.data();
  const size_t count = size_t(image.width) * size_t(image.height);
  for (size_t i = 0; i < count; ++i, p += 3)
    made.bits_[i] = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  *this = std::move(made);
}

void TBitmap::LoadFromJpegFile(const std::wstring& path) {
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  const std::string shown = WStringToAnsi(path);
  if (!file) throw EJpegError("cannot open the picture \"" + shown + "\"");
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024)
    throw EJpegError("cannot read the picture \"" + shown + "\"");
  std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() &&
      (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
       read != bytes.size()))
    throw EJpegError("cannot read the picture \"" + shown + "\"");
  try {
    LoadFromRgb(DecodeJpeg(bytes));
  } catch (const EJpegError& e) {
    throw EJpegError(std::string(e.what()) + " (\"" + shown + "\")");
  }
}

void TBitmap::LoadFromResource(const std::string& name) {
  const BitmapObject loaded = LoadBitmapResource(name);
  BITMAP info{};
  GetObjectW(loaded.Get(), sizeof info, &info);
  TBitmap made;
  made.Create(info.bmWidth, info.bmHeight);
  const MemoryDc src = CreateMemoryDc(nullptr), dst = CreateMemoryDc(nullptr);
  const SelectedObject a = SelectInto(src.Get(), loaded.Get()), b = SelectInto(dst.Get(), made.Handle());
  BitBlt(dst.Get(), 0, 0, info.bmWidth, info.bmHeight, src.Get(), 0, 0, SRCCOPY);
  *this = std::move(made);
}

void TBitmap::CaptureScreen(const RECT& rect) {
  TBitmap made;
  made.Create(rect.right - rect.left, rect.bottom - rect.top);
  const WindowDc screen = GetClientDc(nullptr);
  const MemoryDc dst = CreateMemoryDc(screen.Get());
  const SelectedObject sel = SelectInto(dst.Get(), made.Handle());
  BitBlt(dst.Get(), 0, 0, made.width_, made.height_, screen.Get(), rect.left, rect.top, SRCCOPY);
  GdiFlush();
  *this = std::move(made);
}

uint32_t TBitmap::Pixel(int x, int y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  GdiFlush();
  return bits_[size_t(y) * size_t(width_) + size_t(x)] & 0xFFFFFF;
}

std::string TBitmap::ToBmpFile() const {
  GdiFlush();
  const uint32_t stride = (uint32_t(width_) * 3 + 3) & ~3u;
  const uint32_t imageSize = stride * uint32_t(height_);
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = fh.bfOffBits + imageSize;
  ih.biSize = sizeof ih;
  ih.biWidth = width_;
  ih.biHeight = height_;  // bottom-up rows
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biSizeImage = imageSize;
  std::string out(reinterpret_cast<const char*>(&fh), sizeof fh);
  out.append(reinterpret_cast<const char*>(&ih), sizeof ih);
  std::string row(stride, '\0');
  for (int y = height_ - 1; y >= 0; --y) {
    for (int x = 0; x < width_; ++x) {
      uint32_t px = bits_[size_t(y) * size_t(width_) + size_t(x)];
      row[size_t(x) * 3] = char(px & 0xFF);
      row[size_t(x) * 3 + 1] = char((px >> 8) & 0xFF);
      row[size_t(x) * 3 + 2] = char((px >> 16) & 0xFF);
    }
    out += row;
  }
  return out;
}

TCanvas::TCanvas(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}

TCanvas::~TCanvas() { RestoreDC(dc_, saved_); }  // deselects our objects before they go

void TCanvas::SetFont(const TFontSpec& font) {
  FontObject made = MakeFont(font);
  SelectObject(dc_, made.Get());
  font_ = std::move(made);
  fontColor_ = font.color;
  ::SetTextColor(dc_, ColorToRGB(font.color));
}

void TCanvas::SetBrush(TColor color, TBrushStyle style) {
  brushStyle_ = style;
  BrushObject made = style == TBrushStyle::Clear ? BrushObject() : MakeSolidBrush(ColorToRGB(color));
  SelectObject(dc_, made ? made.Get() : GetStockObject(NULL_BRUSH));
  brush_ = std::move(made);
  ::SetBkColor(dc_, ColorToRGB(color));
  ::SetBkMode(dc_, style == TBrushStyle::Clear ? TRANSPARENT : OPAQUE);
}

void TCanvas::SetPen(TColor color, int width) {
  PenObject made = MakeSolidPen(ColorToRGB(color), width);
  SelectObject(dc_, made.Get());
  pen_ = std::move(made);
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  std::wstring w = AnsiToWString(text);
  ::TextOutW(dc_, x, y, w.c_str(), static_cast<int>(w.size()));
}

void TCanvas::TextRect(const RECT& rect, int x, int y, const std::string& text) {
  std::wstring w = AnsiToWString(text);
  UINT options = ETO_CLIPPED | (brushStyle_ == TBrushStyle::Clear ? 0 : ETO_OPAQUE);
  ExtTextOutW(dc_, x, y, options, &rect, w.c_str(), static_cast<UINT>(w.size()), nullptr);
}

int TCanvas::TextWidth(const std::string& text) {
  std::wstring w = AnsiToWString(text);
  SIZE size{};
  GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &size);
  return size.cx;
}

int TCanvas::TextHeight(const std::string& text) {
  std::wstring w = AnsiToWString(text.empty() ? std::string("W") : text);
  SIZE size{};
  GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &size);
  return size.cy;
}

void TCanvas::MoveTo(int x, int y) { MoveToEx(dc_, x, y, nullptr); }
void TCanvas::LineTo(int x, int y) { ::LineTo(dc_, x, y); }

void TCanvas::FillRect(const RECT& rect) {
  if (brush_) ::FillRect(dc_, &rect, brush_.Get());
}

void TCanvas::Draw(int x, int y, const TBitmap& bitmap) {
  if (bitmap.Empty()) return;
  const MemoryDc src = CreateMemoryDc(dc_);
  const SelectedObject sel = SelectInto(src.Get(), bitmap.Handle());
  BitBlt(dc_, x, y, bitmap.Width(), bitmap.Height(), src.Get(), 0, 0, SRCCOPY);
}

SIZE MeasureText(const std::string& text, HFONT font, int wrapWidth, bool prefix) {
  return MeasureText(AnsiToWString(text), font, wrapWidth, prefix);
}

SIZE MeasureText(const std::wstring& text, HFONT font, int wrapWidth, bool prefix) {
  const WindowDc screen = GetClientDc(nullptr);
  const SelectedObject sel = SelectInto(screen.Get(), font);
  const std::wstring w = text.empty() ? std::wstring(L" ") : text;
  RECT r{0, 0, wrapWidth > 0 ? wrapWidth : 0, 0};
  UINT flags = DT_CALCRECT | DT_EXPANDTABS | (wrapWidth > 0 ? DT_WORDBREAK : 0) | (prefix ? 0 : DT_NOPREFIX);
  DrawTextW(screen.Get(), w.c_str(), static_cast<int>(w.size()), &r, flags);
  return {r.right - r.left, r.bottom - r.top};
}

}  // namespace kv::ui
