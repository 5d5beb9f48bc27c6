#pragma once
// Bitmaps (DIB sections, from resources or JPEG) and the canvas that draws
// text, lines and rectangles with a font, brush and pen.
#include <windows.h>

#include <string>

#include "ui/control_win.h"
#include "ui/gdi_win.h"
#include "ui/jpeg.h"

namespace kv::ui {

// A 32-bit top-down DIB section.
class TBitmap {
 public:
  TBitmap() = default;
  bool Empty() const { return !bitmap_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  HBITMAP Handle() const { return bitmap_.Get(); }
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
  BitmapObject bitmap_;
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
  FontObject font_;
  BrushObject brush_;
  PenObject pen_;
  TColor fontColor_ = clWindowText;
  TBrushStyle brushStyle_ = TBrushStyle::Solid;
};

// The extent of the text in the font (DrawText's measure); with wrapWidth > 0
// the text is word-wrapped to that width; without prefix "&" counts as a letter.
SIZE MeasureText(const std::string& text, HFONT font, int wrapWidth, bool prefix = true);
SIZE MeasureText(const std::wstring& text, HFONT font, int wrapWidth, bool prefix = true);

}  // namespace kv::ui
