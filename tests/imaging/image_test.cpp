// CImage against real DIB sections, real GDI drawing and GDI+ under Wine.
#include "imaging/image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string read_head(const wchar_t* path, size_t count) {
  FILE* f = _wfopen(path, L"rb");
  if (!f) return {};
  std::string head(count, '\0');
  head.resize(fread(&head[0], 1, count, f));
  fclose(f);
  return head;
}

// A 24-bit canvas filled with one colour, to draw onto.
struct Canvas {
  CImage image;
  explicit Canvas(COLORREF fill, int w = 40, int h = 30) {
    image.Create(w, h, 24);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image.SetPixel(x, y, fill);
  }
  // Draws `picture` at the top left through the canvas's own drawing context.
  bool draw(CImage& picture) {
    HDC dc = image.GetDC();
    bool drawn = picture.Draw(dc, 0, 0);
    image.ReleaseDC();
    GdiFlush();
    return drawn;
  }
};

}  // namespace

TEST(ImageLayout, Create117x82BottomUpPitchAndTopRow) {
  CImage image;
  ASSERT_TRUE(image.Create(117, 82, 24));
  EXPECT_EQ(117, image.GetWidth());
  EXPECT_EQ(82, image.GetHeight());
  EXPECT_EQ(-352, image.GetPitch());
  DIBSECTION section = {};
  ASSERT_EQ(static_cast<int>(sizeof section), GetObjectW(image, sizeof section, &section));
  EXPECT_GT(section.dsBmih.biHeight, 0);
  auto* base = static_cast<BYTE*>(section.dsBm.bmBits);
  EXPECT_EQ(base + 81 * 352, image.GetBits());
  // The top row as GDI sees it is the row the bits pointer addresses.
  HDC dc = image.GetDC();
  ::SetPixel(dc, 0, 0, RGB(10, 20, 30));
  image.ReleaseDC();
  GdiFlush();
  const BYTE* top = static_cast<const BYTE*>(image.GetBits());
  EXPECT_EQ(30, top[0]);
  EXPECT_EQ(10, top[2]);
  EXPECT_FALSE(image.Create(10, 10, 24)) << "a second fill needs an empty object";
}

TEST(ImageLayout, AttachReadsDibSectionsAndPlainBitmaps) {
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 10, -6, 1, 32, BI_RGB};
  void* bits = nullptr;
  HBITMAP top_down = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  CImage image;
  // Wine reports top-down DIB sections with a positive height, so say it explicitly.
  image.Attach(top_down, CImage::DIBOR_TOPDOWN);
  EXPECT_TRUE(image.IsDIBSection());
  EXPECT_EQ(6, image.GetHeight());
  EXPECT_EQ(40, image.GetPitch());
  EXPECT_EQ(bits, image.GetBits());
  EXPECT_EQ(CLR_INVALID, image.GetTransparentColor());

  info.bmiHeader.biHeight = 6;
  info.bmiHeader.biBitCount = 24;
  HBITMAP bottom_up = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  image.Attach(bottom_up);  // replaces (and deletes) the first one
  EXPECT_EQ(-32, image.GetPitch());
  EXPECT_EQ(static_cast<BYTE*>(bits) + 5 * 32, image.GetBits());

  HDC screen = ::GetDC(nullptr);
  HBITMAP plain = CreateCompatibleBitmap(screen, 7, 5);
  ::ReleaseDC(nullptr, screen);
  image.Attach(plain);
  EXPECT_FALSE(image.IsDIBSection());
  EXPECT_EQ(7, image.GetWidth());
  EXPECT_EQ(5, image.GetHeight());
  EXPECT_EQ(0, image.GetPitch());
  EXPECT_EQ(nullptr, image.GetBits());
}

TEST(ImageLoad, TrueColourPngLoadsAs24BitsAndDrawsPlain) {
  CImage image;
  ASSERT_EQ(S_OK, image.Load(L"media\\rgb24.png"));
  EXPECT_EQ(24, image.GetBPP());
  EXPECT_FALSE(image.HasAlpha());
  EXPECT_EQ(RGB(255, 0, 0), image.GetPixel(0, 0));
  EXPECT_EQ(RGB(0, 0, 255), image.GetPixel(39, 29));
  Canvas canvas(RGB(0, 255, 0));
  EXPECT_TRUE(canvas.draw(image));
  EXPECT_EQ(RGB(255, 0, 0), canvas.image.GetPixel(5, 5));
  EXPECT_EQ(RGB(0, 0, 255), canvas.image.GetPixel(35, 25));
}

TEST(ImageLoad, AlphaPngLoadsStraightAndBlendsCorrectly) {
  CImage image;
  ASSERT_EQ(S_OK, image.Load(L"media\\alpha.png"));
  EXPECT_EQ(32, image.GetBPP());
  EXPECT_TRUE(image.HasAlpha());
  const BYTE* p = static_cast<const BYTE*>(image.GetPixelAddress(3, 3));
  EXPECT_EQ(255, p[1]) << "straight alpha keeps the full green";
  EXPECT_NEAR(128, p[3], 1);
  // Half-transparent green over blue: half of each, not a saturated green.
  Canvas canvas(RGB(0, 0, 255));
  EXPECT_TRUE(canvas.draw(image));
  COLORREF mixed = canvas.image.GetPixel(5, 5);
  EXPECT_NEAR(128, GetGValue(mixed), 3);
  EXPECT_NEAR(127, GetBValue(mixed), 3);
  EXPECT_EQ(RGB(0, 0, 255), canvas.image.GetPixel(30, 5)) << "outside the drawn area";
}

TEST(ImageLoad, IndexedGifKeepsItsPalette) {
  CImage image;
  ASSERT_EQ(S_OK, image.Load(L"media\\indexed.gif"));
  EXPECT_LE(image.GetBPP(), 8);
  EXPECT_EQ(RGB(255, 0, 0), image.GetPixel(2, 2));
  EXPECT_EQ(RGB(255, 255, 0), image.GetPixel(12, 2));
}

TEST(ImageLoad, MissingOrBrokenFileFails) {
  CImage image;
  EXPECT_NE(S_OK, image.Load(L"media\\no-such-file.png"));
  FILE* f = _wfopen(L"broken.png", L"wb");
  fputs("\x89PNG\r\n\x1a\nthis is not a picture", f);
  fclose(f);
  EXPECT_NE(S_OK, image.Load(L"broken.png"));
  EXPECT_TRUE(image.IsNull());
}

TEST(ImageDraw, TransparentColourAndIndexLeaveTheBackground) {
  CImage sprite;
  ASSERT_TRUE(sprite.Create(10, 10, 24));
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) sprite.SetPixel(x, y, x < 5 ? RGB(255, 0, 255) : RGB(9, 9, 9));
  sprite.SetTransparentColor(RGB(255, 0, 255));
  Canvas canvas(RGB(0, 200, 0), 10, 10);
  EXPECT_TRUE(canvas.draw(sprite));
  EXPECT_EQ(RGB(0, 200, 0), canvas.image.GetPixel(2, 2));
  EXPECT_EQ(RGB(9, 9, 9), canvas.image.GetPixel(7, 2));

  CImage indexed;
  ASSERT_TRUE(indexed.Create(10, 10, 8));
  RGBQUAD colors[2] = {{0, 0, 0, 0}, {0, 0, 255, 0}};  // black, red
  indexed.SetColorTable(0, 2, colors);
  BYTE* row = static_cast<BYTE*>(indexed.GetBits());
  for (int y = 0; y < 10; ++y, row += indexed.GetPitch())
    for (int x = 0; x < 10; ++x) row[x] = x < 5 ? 1 : 0;
  indexed.SetTransparentColorIndex(1);
  Canvas back(RGB(0, 0, 200), 10, 10);
  EXPECT_TRUE(back.draw(indexed));
  EXPECT_EQ(RGB(0, 0, 200), back.image.GetPixel(2, 2));
  EXPECT_EQ(RGB(0, 0, 0), back.image.GetPixel(7, 2));
}

TEST(ImageContexts, CacheKeepsAtMostFourAndReusesThem) {
  std::vector<std::unique_ptr<CImage>> images;
  for (int i = 0; i < 6; ++i) {
    images.emplace_back(new CImage);
    images.back()->Create(4, 4, 24);
  }
  std::vector<HDC> held;
  for (auto& image : images) held.push_back(image->GetDC());
  EXPECT_EQ(0, CImage::CachedContextCount()) << "six borrowers emptied the cache";
  for (size_t i = 0; i < held.size(); ++i)
    for (size_t j = i + 1; j < held.size(); ++j) EXPECT_NE(held[i], held[j]);
  for (auto& image : images) image->ReleaseDC();
  EXPECT_EQ(4, CImage::CachedContextCount());
  HDC again = images[0]->GetDC();
  EXPECT_EQ(3, CImage::CachedContextCount());
  EXPECT_EQ(images[0].get()->operator HBITMAP(), GetCurrentObject(again, OBJ_BITMAP));
  images[0]->ReleaseDC();
}

TEST(ImageSave, EncoderChosenByExtensionWithoutCase) {
  CImage image;
  ASSERT_TRUE(image.Create(117, 82, 24));
  DeleteFileW(L"upper.PNG");
  EXPECT_EQ(S_OK, image.Save(L"upper.PNG"));
  EXPECT_EQ("\x89PNG", read_head(L"upper.PNG", 4));
  EXPECT_EQ(S_OK, image.Save(L"lower.png"));
  EXPECT_EQ("\x89PNG", read_head(L"lower.png", 4));
  EXPECT_NE(S_OK, image.Save(L"unknown.xyz"));
  EXPECT_NE(S_OK, image.Save(L"noextension"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"unknown.xyz"));
}

TEST(ImageSave, AlphaRoundTripsThroughPng) {
  CImage image;
  ASSERT_TRUE(image.Create(8, 8, 32, CImage::createAlphaChannel));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      BYTE* p = static_cast<BYTE*>(image.GetPixelAddress(x, y));
      p[0] = 200; p[1] = 100; p[2] = 50; p[3] = y < 4 ? 255 : 64;
    }
  ASSERT_EQ(S_OK, image.Save(L"alpha_out.png"));
  CImage back;
  ASSERT_EQ(S_OK, back.Load(L"alpha_out.png"));
  EXPECT_TRUE(back.HasAlpha());
  EXPECT_EQ(255, static_cast<BYTE*>(back.GetPixelAddress(1, 1))[3]);
  EXPECT_EQ(64, static_cast<BYTE*>(back.GetPixelAddress(1, 6))[3]);
  EXPECT_EQ(RGB(50, 100, 200), back.GetPixel(1, 1));
}

TEST(ImageRuntime, GdiplusStopsWithTheLastImageAndRestarts) {
  ASSERT_EQ(0, CImage::LiveCount());
  EXPECT_FALSE(CImage::GdiplusRunning());
  {
    CImage first;
    CImage second;
    EXPECT_EQ(2, CImage::LiveCount());
    ASSERT_EQ(S_OK, first.Load(L"media\\rgb24.png"));
    EXPECT_TRUE(CImage::GdiplusRunning());
    first.Destroy();
    EXPECT_TRUE(CImage::GdiplusRunning()) << "objects still live";
  }
  EXPECT_EQ(0, CImage::LiveCount());
  EXPECT_FALSE(CImage::GdiplusRunning());
  CImage again;
  EXPECT_EQ(S_OK, again.Load(L"media\\rgb24.png"));
  EXPECT_EQ(40, again.GetWidth());
}
