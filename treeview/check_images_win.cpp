// The shared check image lists: strips cut from bitmap resources, and the
// system's frame-control drawings.

#include "treeview/check_images_win.h"

#include <array>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "treeview/lazy_node.h"
#include "ui/gdi_win.h"

namespace kv {

namespace {

struct ImageListCloser {
  void operator()(HIMAGELIST list) const { ImageList_Destroy(list); }
};
using ImageListOwner = std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListCloser>;

constexpr int kCell = 16;

struct StripDef {
  TCheckImageKind kind;
  const char* name;
  bool mapColors;
};
constexpr std::array<StripDef, 6> kStrips{{{ckLightCheck, "LT_CHECK_LIGHT", true},
                                           {ckDarkCheck, "LT_CHECK_DARK", true},
                                           {ckLightTick, "LT_TICK_LIGHT", true},
                                           {ckDarkTick, "LT_TICK_DARK", true},
                                           {ckFlat, "LT_FLAT", true},
                                           {ckXP, "LT_XP", false}}};

struct SharedLists {
  std::mutex lock;
  bool made = false;
  std::array<ImageListOwner, kStrips.size()> strips;
  ImageListOwner utilities, system, systemFlat;
};

SharedLists& Shared() {
  static SharedLists lists;
  return lists;
}

// 32 bits with a mask, as every system the program runs on takes.
constexpr UINT kListFlags = ILC_COLOR32 | ILC_MASK;

ImageListOwner MakeList(int width, int height, UINT flags = kListFlags) {
  ImageListOwner list(ImageList_Create(width, height, flags, 25, 0));
  if (!list) throw std::runtime_error("The tree's check image list could not be made.");
  return list;
}

ui::BitmapObject MakeDib(int width, int height, std::uint32_t** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* raw = nullptr;
  ui::BitmapObject bitmap(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &raw, nullptr, 0));
  if (!bitmap) throw std::runtime_error("The tree's check image could not be made.");
  *bits = static_cast<std::uint32_t*>(raw);
  return bitmap;
}

std::uint32_t Word(COLORREF c) {
  return (std::uint32_t{GetRValue(c)} << 16) | (std::uint32_t{GetGValue(c)} << 8) | GetBValue(c);
}

// Adds `bits` (width x height, 32-bit words) to the list with `transparent` as mask colour.
void AddCell(HIMAGELIST list, const std::uint32_t* source, int stride, int height, COLORREF transparent) {
  int w = 0, h = 0;
  ImageList_GetIconSize(list, &w, &h);
  std::uint32_t* bits = nullptr;
  const ui::BitmapObject cell = MakeDib(w, h, &bits);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      bits[y * w + x] = y < height && x < stride ? source[y * stride + x] : Word(transparent);
  if (ImageList_AddMasked(list, cell.Get(), transparent) < 0)
    throw std::runtime_error("A check image could not be added.");
}

void ConvertLocked(HIMAGELIST list, const std::string& name, bool mapColors) {
  const HANDLE loaded = LoadImageA(GetModuleHandleW(nullptr), name.c_str(), IMAGE_BITMAP, 0, 0,
                                   LR_CREATEDIBSECTION);
  if (loaded == nullptr) throw ELazyTreeAssertion("Internal image \"" + name + "\" is missing or corrupt.");
  const ui::BitmapObject strip(static_cast<HBITMAP>(loaded));
  BITMAP bm{};
  GetObjectW(strip.Get(), sizeof bm, &bm);
  int cw = 0, ch = 0;
  ImageList_GetIconSize(list, &cw, &ch);
  if (bm.bmWidth < cw || bm.bmHeight < ch)
    throw ELazyTreeAssertion("Internal image \"" + name + "\" is missing or corrupt.");
  // Copy into 32-bit words, mapping the standard colours on the way.
  std::uint32_t* bits = nullptr;
  const ui::BitmapObject words = MakeDib(bm.bmWidth, bm.bmHeight, &bits);
  {
    const ui::MemoryDc from = ui::CreateMemoryDc(nullptr), to = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject a = ui::SelectInto(from.Get(), strip.Get());
    const ui::SelectedObject b = ui::SelectInto(to.Get(), words.Get());
    BitBlt(to.Get(), 0, 0, bm.bmWidth, bm.bmHeight, from.Get(), 0, 0, SRCCOPY);
  }
  GdiFlush();
  const std::size_t count = static_cast<std::size_t>(bm.bmWidth) * static_cast<std::size_t>(bm.bmHeight);
  for (std::size_t i = 0; i < count; ++i) bits[i] &= 0xFFFFFFu;
  if (mapColors) {
    const std::uint32_t from[4] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x000000};
    const std::uint32_t to[4] = {Word(GetSysColor(COLOR_WINDOW)), Word(GetSysColor(COLOR_BTNFACE)),
                                 Word(GetSysColor(COLOR_BTNSHADOW)), Word(GetSysColor(COLOR_BTNTEXT))};
    for (std::size_t i = 0; i < count; ++i)
      for (int k = 0; k < 4; ++k)
        if (bits[i] == from[k]) {
          bits[i] = to[k];
          break;
        }
  }
  const std::uint32_t t = bits[0];
  const COLORREF transparent = RGB((t >> 16) & 0xFF, (t >> 8) & 0xFF, t & 0xFF);
  ImageList_RemoveAll(list);
  for (int top = 0; top + ch <= bm.bmHeight; top += ch)
    AddCell(list, bits + static_cast<std::size_t>(top) * static_cast<std::size_t>(bm.bmWidth), bm.bmWidth, ch,
            transparent);
}

constexpr COLORREF kSystemTransparent = RGB(255, 0, 0);

// Adds one cell drawn by `draw` onto pure red, red being transparent.
template <typename Draw>
void AddDrawnCell(HIMAGELIST list, Draw draw) {
  int w = 0, h = 0;
  ImageList_GetIconSize(list, &w, &h);
  std::uint32_t* bits = nullptr;
  const ui::BitmapObject cell = MakeDib(w, h, &bits);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject s = ui::SelectInto(dc.Get(), cell.Get());
    const RECT all{0, 0, w, h};
    const ui::BrushObject red = ui::MakeSolidBrush(kSystemTransparent);
    FillRect(dc.Get(), &all, red.Get());
    draw(dc.Get(), w, h);
  }
  GdiFlush();
  const std::vector<std::uint32_t> copy(bits, bits + static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  AddCell(list, copy.data(), w, h, kSystemTransparent);
}

// Image k (0 .. 19, landing at index k + 1): the system's radio button (k
// 0-7), check box (8-15) or three-state box (16-19), normal, hot, pushed or
// inactive by k mod 4, checked for k 4-7 and 12-19.
void AddSystemImage(HIMAGELIST list, int k, bool flat) {
  AddDrawnCell(list, [&](HDC d, int w, int h) {
    UINT state = k < 8 ? DFCS_BUTTONRADIO : k < 16 ? DFCS_BUTTONCHECK : DFCS_BUTTON3STATE;
    const int look = k % 4;
    if (look == 1) state |= DFCS_HOT;
    if (look == 2) state |= DFCS_PUSHED;
    if (look == 3) state |= DFCS_INACTIVE;
    if ((k >= 4 && k < 8) || k >= 12) state |= DFCS_CHECKED;
    if (flat) state |= DFCS_FLAT;
    RECT r{1, 2, w - 2, h - 1};
    DrawFrameControl(d, &r, DFC_BUTTON, state);
  });
}

// The push buttons (indexes 21-24) from the flat strip, centred in the larger cell.
void AddNodeImages(HIMAGELIST list, HIMAGELIST flatStrip) {
  for (int i = 21; i <= 24; ++i) {
    AddDrawnCell(list, [&](HDC d, int w, int h) {
      ImageList_Draw(flatStrip, i, d, (w - kCell) / 2, (h - kCell) / 2, ILD_TRANSPARENT);
    });
  }
}

// The system's check mark size plus 3 each way, on white: a blank image,
// the system's drawings, then the push buttons.
ImageListOwner CreateSystemImageSet(UINT colorFlags, bool flat, HIMAGELIST flatStrip) {
  ImageListOwner list =
      MakeList(GetSystemMetrics(SM_CXMENUCHECK) + 3, GetSystemMetrics(SM_CYMENUCHECK) + 3, colorFlags);
  ImageList_SetBkColor(list.get(), RGB(255, 255, 255));
  AddDrawnCell(list.get(), [](HDC, int, int) {});
  for (int k = 0; k < 20; ++k) AddSystemImage(list.get(), k, flat);
  AddNodeImages(list.get(), flatStrip);
  return list;
}

void MakeAllLocked(SharedLists& s) {
  if (s.made) return;
  for (std::size_t i = 0; i < kStrips.size(); ++i) {
    s.strips[i] = MakeList(kCell, kCell);
    ConvertLocked(s.strips[i].get(), kStrips[i].name, kStrips[i].mapColors);
  }
  s.utilities = MakeList(kCell, kCell);
  ConvertLocked(s.utilities.get(), "LT_UTILITIES", true);
  s.system = CreateSystemImageSet(kListFlags, false, s.strips[4].get());
  s.systemFlat = CreateSystemImageSet(kListFlags, true, s.strips[4].get());
  s.made = true;
}

}  // namespace

void ConvertImageList(HIMAGELIST list, const std::string& name, bool mapColors) {
  SharedLists& s = Shared();
  const std::lock_guard<std::mutex> guard(s.lock);
  ConvertLocked(list, name, mapColors);
}

HIMAGELIST CheckImagesFor(TCheckImageKind kind, HIMAGELIST custom) {
  SharedLists& s = Shared();
  const std::lock_guard<std::mutex> guard(s.lock);
  MakeAllLocked(s);
  if (kind == ckSystem) return s.system.get();
  if (kind == ckSystemFlat) return s.systemFlat.get();
  for (std::size_t i = 0; i < kStrips.size(); ++i)
    if (kStrips[i].kind == kind) return s.strips[i].get();
  return custom;
}

void MakeCheckImages() {
  SharedLists& s = Shared();
  const std::lock_guard<std::mutex> guard(s.lock);
  MakeAllLocked(s);
}

HIMAGELIST UtilityImages() {
  SharedLists& s = Shared();
  const std::lock_guard<std::mutex> guard(s.lock);
  MakeAllLocked(s);
  return s.utilities.get();
}

void RecolorCheckImages() {
  SharedLists& s = Shared();
  const std::lock_guard<std::mutex> guard(s.lock);
  if (!s.made) return;
  for (std::size_t i = 0; i < kStrips.size(); ++i)
    if (kStrips[i].mapColors) ConvertLocked(s.strips[i].get(), kStrips[i].name, true);
  ConvertLocked(s.utilities.get(), "LT_UTILITIES", true);
}

}  // namespace kv
