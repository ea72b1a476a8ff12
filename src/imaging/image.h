// CImage: the bitmap class for every picture of the program, a DIB section with a
// borrowable drawing context, GDI+ loading, transparent drawing and saving by extension.
#pragma once
#include <windows.h>
#include <objidl.h>

class CImage {
 public:
  enum DIBOrientation { DIBOR_DEFAULT, DIBOR_TOPDOWN, DIBOR_BOTTOMUP };
  static const DWORD createAlphaChannel = 1;

  CImage();
  ~CImage();
  CImage(const CImage&) = delete;
  CImage& operator=(const CImage&) = delete;

  // A bottom-up DIB section; 8 bits per pixel or fewer get a zeroed 256-entry colour table.
  bool Create(int width, int height, int bpp, DWORD flags = 0);
  // Takes ownership of an existing bitmap (usually a resource loaded as a DIB section).
  void Attach(HBITMAP bitmap, DIBOrientation orientation = DIBOR_DEFAULT);
  HBITMAP Detach();
  // A bitmap resource of the module, loaded as a DIB section. False when it is missing.
  bool LoadFromResource(HINSTANCE instance, UINT id);
  // GDI+ decoding into a new DIB section; S_OK or a failure code.
  HRESULT Load(const wchar_t* path);
  HRESULT Load(IStream* stream);
  // Encodes through the first installed GDI+ encoder that lists the path's extension.
  HRESULT Save(const wchar_t* path) const;
  void Destroy();

  // The drawing context the bitmap is selected into; every GetDC needs one ReleaseDC.
  HDC GetDC() const;
  void ReleaseDC() const;

  // Draws the source rectangle onto the target rectangle with the image's transparency.
  bool Draw(HDC target, int x, int y, int width, int height, int src_x, int src_y,
            int src_width, int src_height) const;
  // The whole image onto a rectangle of the given size.
  bool Draw(HDC target, int x, int y, int width, int height) const;
  // The whole image at its natural size.
  bool Draw(HDC target, int x, int y) const;
  bool Draw(HDC target, const RECT& rect) const;
  // Plain copies that ignore transparency.
  bool BitBlt(HDC target, int x, int y, DWORD rop = SRCCOPY) const;
  bool StretchBlt(HDC target, int x, int y, int width, int height, DWORD rop = SRCCOPY) const;

  bool IsNull() const { return bitmap_ == nullptr; }
  bool IsDIBSection() const { return is_dib_section_; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  int GetPitch() const { return pitch_; }
  int GetBPP() const { return bpp_; }
  bool HasAlpha() const { return has_alpha_; }
  void* GetBits() const { return bits_; }
  void* GetPixelAddress(int x, int y) const;
  operator HBITMAP() const { return bitmap_; }

  COLORREF GetPixel(int x, int y) const;
  void SetPixel(int x, int y, COLORREF color);
  void SetColorTable(UINT first, UINT count, const RGBQUAD* colors);
  void GetColorTable(UINT first, UINT count, RGBQUAD* colors) const;

  // Returns the previous value; CLR_INVALID (-1) means none.
  COLORREF SetTransparentColor(COLORREF color);
  COLORREF GetTransparentColor() const { return transparent_color_; }
  // Returns the previous index; -1 means none.
  LONG SetTransparentColorIndex(LONG index);
  void SetHasAlphaChannel(bool has_alpha) { has_alpha_ = has_alpha && bpp_ == 32; }

  // Process-wide bookkeeping, visible for tests.
  static long LiveCount();
  static bool GdiplusRunning();
  static int CachedContextCount();

 private:
  void FillFields(HBITMAP bitmap, DIBOrientation orientation);
  HRESULT LoadFromGdiplus(void* gdiplus_bitmap);
  bool DrawPremultiplied(HDC target, int x, int y, int width, int height, int src_x,
                         int src_y, int src_width, int src_height) const;

  HBITMAP bitmap_ = nullptr;
  void* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int pitch_ = 0;
  int bpp_ = 0;
  bool is_dib_section_ = false;
  bool has_alpha_ = false;
  LONG transparent_index_ = -1;
  COLORREF transparent_color_ = CLR_INVALID;
  mutable HDC dc_ = nullptr;
  mutable int dc_count_ = 0;
  mutable HBITMAP previous_bitmap_ = nullptr;
};

// Starts GDI+ when it isn't running; false when it cannot be started.
bool start_gdiplus();
