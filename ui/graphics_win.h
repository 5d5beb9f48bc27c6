#pragma once
// Device contexts (each kind released its own way), GDI object selection,
// bitmaps (DIB sections, from resources or JPEG) and the canvas that draws
// text, lines and rectangles with a font, brush and pen.
#include <windows.h>

#include <string>

#include "base/handle.h"
#include "ui/control_win.h"
#include "ui/jpeg.h"

namespace kv::ui {

class WindowDc {  // GetDC / ReleaseDC; a null window means the screen
 public:
  explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

class PaintDc {  // BeginPaint / EndPaint
 public:
  explicit PaintDc(HWND hwnd) : hwnd_(hwnd) { dc_ = BeginPaint(hwnd, &ps_); }
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;
  ~PaintDc() { EndPaint(hwnd_, &ps_); }
  HDC Get() const { return dc_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

class MemoryDc {  // CreateCompatibleDC / DeleteDC
 public:
  explicit MemoryDc(HDC like) : dc_(CreateCompatibleDC(like)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (dc_) DeleteDC(dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

class SelectedObject {  // restores the previous object
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() {
    if (previous_) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A 32-bit top-down DIB section.
class TBitmap {
 public:
  TBitmap() = default;
  bool Empty() const { return !bitmap_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  HBITMAP Handle() const { return static_cast<HBITMAP>(bitmap_.Get()); }
  // Throws on failure; the bitmap is unchanged then.
  void Create(int width, int height);
  void LoadFromRgb(const TRgbImage& image);
  void LoadFromJpegFile(const std::wstring& path);
  void LoadFromResource(const std::string& name);
  // Copies the screen rectangle (what a window shows, its frame included).
  void CaptureScreen(const RECT& rect);
  // 0x00RRGGBB of one pixel.
  uint32_t Pixel(int x, int y) const;
  // A 24-bit BMP file's bytes.
  std::string ToBmpFile() const;

 private:
  GdiObject bitmap_;
  uint32_t* bits_ = nullptr;
  int width_ = 0, height_ = 0;
};

enum class TBrushStyle { Solid, Clear };

// Draws on a DC the caller owns; restores the DC's objects when it ends.
class TCanvas {
 public:
  explicit TCanvas(HDC dc);
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  ~TCanvas();
  HDC Handle() const { return dc_; }

  void SetFont(const TFontSpec& font);
  void SetBrush(TColor color, TBrushStyle style = TBrushStyle::Solid);
  void SetPen(TColor color, int width = 1);
  void TextOut(int x, int y, const std::string& text);
  // Text clipped to the rectangle, drawn at (x, y).
  void TextRect(const RECT& rect, int x, int y, const std::string& text);
  int TextWidth(const std::string& text);
  int TextHeight(const std::string& text);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void FillRect(const RECT& rect);
  void Draw(int x, int y, const TBitmap& bitmap);

 private:
  HDC dc_;
  int saved_;
  GdiObject font_, brush_, pen_;
  TColor fontColor_ = clWindowText;
  TBrushStyle brushStyle_ = TBrushStyle::Solid;
};

// The extent of the text in the font (DrawText's measure); with wrapWidth > 0
// the text is word-wrapped to that width.
SIZE MeasureText(const std::string& text, HFONT font, int wrapWidth);

}  // namespace kv::ui
