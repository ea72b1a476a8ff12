#include "imaging/image.h"

#include <gdiplus.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// GDI+ runs while CImage objects live; the count and the token share one lock.
struct GdiplusRuntime {
  CRITICAL_SECTION lock;
  long live = 0;
  ULONG_PTR token = 0;
  GdiplusRuntime() { InitializeCriticalSection(&lock); }
  ~GdiplusRuntime() {  // process exit
    if (token) Gdiplus::GdiplusShutdown(token);
    token = 0;
  }
};

GdiplusRuntime& runtime() {
  static GdiplusRuntime instance;
  return instance;
}

// Spare memory contexts, exchanged slot by slot without a lock.
std::atomic<HDC> g_context_slots[4];

HDC take_context() {
  for (auto& slot : g_context_slots) {
    HDC dc = slot.exchange(nullptr);
    if (dc) return dc;
  }
  return CreateCompatibleDC(nullptr);
}

void return_context(HDC dc) {
  for (auto& slot : g_context_slots) {
    HDC empty = nullptr;
    if (slot.compare_exchange_strong(empty, dc)) return;
  }
  DeleteDC(dc);
}

bool is_gdi_format(Gdiplus::PixelFormat format) {
  switch (format) {
    case PixelFormat1bppIndexed:
    case PixelFormat4bppIndexed:
    case PixelFormat8bppIndexed:
    case PixelFormat16bppRGB555:
    case PixelFormat24bppRGB:
    case PixelFormat32bppRGB:
      return true;
    default:
      return false;
  }
}

HBITMAP create_dib(int width, int height, int bpp, void** bits) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } info = {};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;  // positive: bottom-up
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(bpp);
  info.header.biCompression = BI_RGB;
  if (bpp <= 8) info.header.biClrUsed = 256;
  return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                          bits, nullptr, 0);
}

bool find_encoder(const wchar_t* path, CLSID* clsid) {
  const wchar_t* dot = wcsrchr(path, L'.');
  const wchar_t* slash = wcspbrk(dot ? dot : path, L"\\/");
  if (!dot || slash) return false;
  UINT count = 0, size = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
  std::vector<BYTE> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    // The list reads like "*.JPG;*.JPEG;*.JPE": compare each pattern's ".ext" part.
    const wchar_t* list = codecs[i].FilenameExtension;
    while (list && *list) {
      const wchar_t* end = wcschr(list, L';');
      size_t length = end ? static_cast<size_t>(end - list) : wcslen(list);
      const wchar_t* pattern_dot = static_cast<const wchar_t*>(wmemchr(list, L'.', length));
      if (pattern_dot) {
        size_t ext_length = length - static_cast<size_t>(pattern_dot - list);
        if (ext_length == wcslen(dot) && _wcsnicmp(pattern_dot, dot, ext_length) == 0) {
          *clsid = codecs[i].Clsid;
          return true;
        }
      }
      list = end ? end + 1 : nullptr;
    }
  }
  return false;
}

}  // namespace

bool start_gdiplus() {
  GdiplusRuntime& rt = runtime();
  EnterCriticalSection(&rt.lock);
  if (!rt.token) {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&rt.token, &input, nullptr) != Gdiplus::Ok) rt.token = 0;
  }
  bool running = rt.token != 0;
  LeaveCriticalSection(&rt.lock);
  return running;
}

CImage::CImage() {
  GdiplusRuntime& rt = runtime();
  EnterCriticalSection(&rt.lock);
  ++rt.live;
  LeaveCriticalSection(&rt.lock);
}

CImage::~CImage() {
  Destroy();
  GdiplusRuntime& rt = runtime();
  EnterCriticalSection(&rt.lock);
  if (--rt.live == 0 && rt.token) {
    Gdiplus::GdiplusShutdown(rt.token);
    rt.token = 0;
  }
  LeaveCriticalSection(&rt.lock);
}

long CImage::LiveCount() {
  GdiplusRuntime& rt = runtime();
  EnterCriticalSection(&rt.lock);
  long live = rt.live;
  LeaveCriticalSection(&rt.lock);
  return live;
}

bool CImage::GdiplusRunning() {
  GdiplusRuntime& rt = runtime();
  EnterCriticalSection(&rt.lock);
  bool running = rt.token != 0;
  LeaveCriticalSection(&rt.lock);
  return running;
}

int CImage::CachedContextCount() {
  int count = 0;
  for (auto& slot : g_context_slots) count += slot.load() != nullptr;
  return count;
}

bool CImage::Create(int width, int height, int bpp, DWORD flags) {
  if (!IsNull() || width <= 0 || height <= 0) return false;
  void* bits = nullptr;
  HBITMAP bitmap = create_dib(width, height, bpp, &bits);
  if (!bitmap) return false;
  FillFields(bitmap, DIBOR_BOTTOMUP);
  has_alpha_ = (flags & createAlphaChannel) && bpp == 32;
  return true;
}

void CImage::Attach(HBITMAP bitmap, DIBOrientation orientation) {
  if (!IsNull()) Destroy();
  FillFields(bitmap, orientation);
}

HBITMAP CImage::Detach() {
  HBITMAP bitmap = bitmap_;
  bitmap_ = nullptr;
  Destroy();
  return bitmap;
}

bool CImage::LoadFromResource(HINSTANCE instance, UINT id) {
  HANDLE bitmap = LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0,
                             LR_CREATEDIBSECTION);
  if (!bitmap) return false;
  Attach(static_cast<HBITMAP>(bitmap));
  return true;
}

void CImage::FillFields(HBITMAP bitmap, DIBOrientation orientation) {
  bitmap_ = bitmap;
  transparent_color_ = CLR_INVALID;
  transparent_index_ = -1;
  has_alpha_ = false;
  DIBSECTION section = {};
  if (GetObjectW(bitmap, sizeof section, &section) == sizeof section) {
    is_dib_section_ = true;
    width_ = section.dsBmih.biWidth;
    height_ = abs(section.dsBmih.biHeight);
    bpp_ = section.dsBmih.biBitCount;
    pitch_ = ((width_ * bpp_ + 31) / 32) * 4;
    bool bottom_up = orientation == DIBOR_BOTTOMUP ||
                     (orientation == DIBOR_DEFAULT && section.dsBmih.biHeight > 0);
    bits_ = section.dsBm.bmBits;
    if (bottom_up) {
      bits_ = static_cast<BYTE*>(bits_) + static_cast<size_t>(pitch_) * (height_ - 1);
      pitch_ = -pitch_;
    }
    return;
  }
  BITMAP plain = {};
  GetObjectW(bitmap, sizeof plain, &plain);
  is_dib_section_ = false;
  width_ = plain.bmWidth;
  height_ = abs(plain.bmHeight);
  bpp_ = plain.bmBitsPixel;
  pitch_ = 0;
  bits_ = nullptr;
}

void CImage::Destroy() {
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = pitch_ = bpp_ = 0;
  is_dib_section_ = false;
  has_alpha_ = false;
  transparent_index_ = -1;
  transparent_color_ = CLR_INVALID;
}

HRESULT CImage::Load(const wchar_t* path) {
  if (!start_gdiplus()) return E_FAIL;
  Gdiplus::Bitmap source(path);
  return LoadFromGdiplus(&source);
}

HRESULT CImage::Load(IStream* stream) {
  if (!start_gdiplus()) return E_FAIL;
  Gdiplus::Bitmap source(stream);
  return LoadFromGdiplus(&source);
}

HRESULT CImage::LoadFromGdiplus(void* gdiplus_bitmap) {
  auto& source = *static_cast<Gdiplus::Bitmap*>(gdiplus_bitmap);
  if (source.GetLastStatus() != Gdiplus::Ok) return E_FAIL;
  int width = static_cast<int>(source.GetWidth());
  int height = static_cast<int>(source.GetHeight());
  Gdiplus::PixelFormat format = source.GetPixelFormat();
  Gdiplus::PixelFormat target = PixelFormat32bppRGB;
  bool alpha = Gdiplus::IsAlphaPixelFormat(format);
  if (alpha) {
    target = PixelFormat32bppARGB;
  } else if (is_gdi_format(format)) {
    target = format;
  }
  if (width <= 0 || height <= 0) return E_FAIL;
  if (!IsNull()) Destroy();
  if (!Create(width, height, Gdiplus::GetPixelFormatSize(target),
              alpha ? createAlphaChannel : 0)) {
    return E_OUTOFMEMORY;
  }
  if (Gdiplus::IsIndexedPixelFormat(target)) {
    INT palette_size = source.GetPaletteSize();
    if (palette_size <= 0) return E_FAIL;
    std::vector<BYTE> buffer(palette_size);
    auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(buffer.data());
    if (source.GetPalette(palette, palette_size) != Gdiplus::Ok) return E_FAIL;
    if (palette->Count < 1 || palette->Count > 256) return E_FAIL;
    RGBQUAD colors[256] = {};
    for (UINT i = 0; i < palette->Count; ++i) {
      Gdiplus::ARGB c = palette->Entries[i];
      colors[i] = {static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16), 0};
    }
    SetColorTable(0, palette->Count, colors);
  }
  // GDI+ hands the pixels over in the DIB's own format, converting where they differ.
  Gdiplus::Rect whole(0, 0, width, height);
  Gdiplus::BitmapData data = {};
  if (source.LockBits(&whole, Gdiplus::ImageLockModeRead, target, &data) != Gdiplus::Ok) {
    return E_FAIL;
  }
  size_t row = (static_cast<size_t>(width) * bpp_ + 7) / 8;
  for (int y = 0; y < height; ++y) {
    memcpy(static_cast<BYTE*>(bits_) + static_cast<ptrdiff_t>(pitch_) * y,
           static_cast<const BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(data.Stride) * y, row);
  }
  source.UnlockBits(&data);
  return S_OK;
}

HRESULT CImage::Save(const wchar_t* path) const {
  if (IsNull() || !start_gdiplus()) return E_FAIL;
  CLSID encoder;
  if (!find_encoder(path, &encoder)) return E_FAIL;
  std::unique_ptr<Gdiplus::Bitmap> bitmap;
  if (has_alpha_) {
    bitmap.reset(new Gdiplus::Bitmap(width_, height_, pitch_, PixelFormat32bppARGB,
                                     static_cast<BYTE*>(bits_)));
  } else {
    bitmap.reset(new Gdiplus::Bitmap(bitmap_, nullptr));
  }
  if (bitmap->GetLastStatus() != Gdiplus::Ok) return E_FAIL;
  return bitmap->Save(path, &encoder, nullptr) == Gdiplus::Ok ? S_OK : E_FAIL;
}

HDC CImage::GetDC() const {
  if (IsNull()) return nullptr;
  if (dc_count_++ == 0) {
    dc_ = take_context();
    previous_bitmap_ = dc_ ? static_cast<HBITMAP>(SelectObject(dc_, bitmap_)) : nullptr;
  }
  return dc_;
}

void CImage::ReleaseDC() const {
  if (dc_count_ <= 0 || --dc_count_ > 0) return;
  if (dc_) {
    SelectObject(dc_, previous_bitmap_);
    return_context(dc_);
  }
  dc_ = nullptr;
  previous_bitmap_ = nullptr;
}

bool CImage::Draw(HDC target, int x, int y, int width, int height, int src_x, int src_y,
                  int src_width, int src_height) const {
  if (IsNull()) return false;
  COLORREF key = CLR_INVALID;
  if (transparent_index_ >= 0) {
    RGBQUAD entry = {};
    GetColorTable(static_cast<UINT>(transparent_index_), 1, &entry);
    key = RGB(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
  } else if (transparent_color_ != CLR_INVALID) {
    key = transparent_color_;
  } else if (has_alpha_) {
    return DrawPremultiplied(target, x, y, width, height, src_x, src_y, src_width, src_height);
  }
  HDC source = GetDC();
  BOOL ok;
  if (key != CLR_INVALID) {
    ok = TransparentBlt(target, x, y, width, height, source, src_x, src_y, src_width,
                        src_height, key);
  } else {
    ok = ::StretchBlt(target, x, y, width, height, source, src_x, src_y, src_width,
                      src_height, SRCCOPY);
  }
  ReleaseDC();
  return ok != FALSE;
}

// GDI blends premultiplied pixels while the image keeps straight alpha, so the
// blend goes through a premultiplied copy of the source rectangle.
bool CImage::DrawPremultiplied(HDC target, int x, int y, int width, int height, int src_x,
                               int src_y, int src_width, int src_height) const {
  if (src_x < 0 || src_y < 0 || src_width <= 0 || src_height <= 0 ||
      src_x + src_width > width_ || src_y + src_height > height_) {
    return false;
  }
  void* bits = nullptr;
  HBITMAP copy = create_dib(src_width, -src_height, 32, &bits);  // top-down
  if (!copy) return false;
  for (int row = 0; row < src_height; ++row) {
    const BYTE* from = static_cast<const BYTE*>(GetPixelAddress(src_x, src_y + row));
    BYTE* to = static_cast<BYTE*>(bits) + static_cast<size_t>(row) * src_width * 4;
    for (int col = 0; col < src_width; ++col, from += 4, to += 4) {
      unsigned alpha = from[3];
      for (int c = 0; c < 3; ++c) to[c] = static_cast<BYTE>((from[c] * alpha + 127) / 255);
      to[3] = from[3];
    }
  }
  HDC source = take_context();
  HGDIOBJ old = SelectObject(source, copy);
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  BOOL ok = AlphaBlend(target, x, y, width, height, source, 0, 0, src_width, src_height, blend);
  SelectObject(source, old);
  return_context(source);
  DeleteObject(copy);
  return ok != FALSE;
}

bool CImage::Draw(HDC target, int x, int y, int width, int height) const {
  return Draw(target, x, y, width, height, 0, 0, width_, height_);
}

bool CImage::Draw(HDC target, int x, int y) const {
  return Draw(target, x, y, width_, height_, 0, 0, width_, height_);
}

bool CImage::Draw(HDC target, const RECT& rect) const {
  return Draw(target, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0, 0,
              width_, height_);
}

bool CImage::BitBlt(HDC target, int x, int y, DWORD rop) const {
  if (IsNull()) return false;
  BOOL ok = ::BitBlt(target, x, y, width_, height_, GetDC(), 0, 0, rop);
  ReleaseDC();
  return ok != FALSE;
}

bool CImage::StretchBlt(HDC target, int x, int y, int width, int height, DWORD rop) const {
  if (IsNull()) return false;
  BOOL ok = ::StretchBlt(target, x, y, width, height, GetDC(), 0, 0, width_, height_, rop);
  ReleaseDC();
  return ok != FALSE;
}

void* CImage::GetPixelAddress(int x, int y) const {
  if (!bits_) return nullptr;
  return static_cast<BYTE*>(bits_) + static_cast<ptrdiff_t>(pitch_) * y + (x * bpp_) / 8;
}

COLORREF CImage::GetPixel(int x, int y) const {
  if (bits_ && (bpp_ == 24 || bpp_ == 32)) {
    const BYTE* p = static_cast<const BYTE*>(GetPixelAddress(x, y));
    return RGB(p[2], p[1], p[0]);
  }
  COLORREF color = ::GetPixel(GetDC(), x, y);
  ReleaseDC();
  return color;
}

void CImage::SetPixel(int x, int y, COLORREF color) {
  if (bits_ && (bpp_ == 24 || bpp_ == 32)) {
    BYTE* p = static_cast<BYTE*>(GetPixelAddress(x, y));
    p[0] = GetBValue(color);
    p[1] = GetGValue(color);
    p[2] = GetRValue(color);
    return;
  }
  ::SetPixel(GetDC(), x, y, color);
  ReleaseDC();
}

void CImage::SetColorTable(UINT first, UINT count, const RGBQUAD* colors) {
  SetDIBColorTable(GetDC(), first, count, colors);
  ReleaseDC();
}

void CImage::GetColorTable(UINT first, UINT count, RGBQUAD* colors) const {
  GetDIBColorTable(GetDC(), first, count, colors);
  ReleaseDC();
}

COLORREF CImage::SetTransparentColor(COLORREF color) {
  COLORREF previous = transparent_color_;
  transparent_color_ = color;
  return previous;
}

LONG CImage::SetTransparentColorIndex(LONG index) {
  LONG previous = transparent_index_;
  transparent_index_ = index;
  return previous;
}
