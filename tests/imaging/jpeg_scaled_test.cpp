// The reduced-scale JPEG path against GDI+'s full decode of the same files.
#include "imaging/jpeg_scaled.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "imaging/image.h"
#include "imaging/image_files.h"
#include "imaging/thumbnail.h"
#include "session/thumbnail_worker.h"

namespace {

std::vector<uint8_t> media(const char* path) {
  std::vector<uint8_t> bytes;
  read_file_to_memory(path, bytes);
  return bytes;
}

}  // namespace

TEST(JpegScaled, PicksTheSmallestScaleThatKeepsTwoPixelsPerThumbnailPixel) {
  CImage image;
  int width = 0, height = 0;
  ASSERT_EQ(0, decode_jpeg_scaled(media("media\\structured.jpg"), 234, 164, image, width, height));
  EXPECT_EQ(2000, width);
  EXPECT_EQ(1500, height);
  EXPECT_EQ(250, image.GetWidth()) << "1/8 of 2000";
  EXPECT_EQ(188, image.GetHeight());
  EXPECT_EQ(24, image.GetBPP());

  CImage panorama;
  ASSERT_EQ(0, decode_jpeg_scaled(media("media\\panorama.jpg"), 234, 164, panorama, width, height));
  EXPECT_EQ(1000, panorama.GetWidth()) << "1/4: 1/8 would leave 125 rows";
  EXPECT_EQ(250, panorama.GetHeight());

  CImage small;
  ASSERT_EQ(0, decode_jpeg_scaled(media("media\\halves.jpg"), 234, 164, small, width, height));
  EXPECT_EQ(300, small.GetWidth()) << "too small to scale";
  EXPECT_GT(GetRValue(small.GetPixel(10, 10)), 240);
  EXPECT_GT(GetBValue(small.GetPixel(290, 190)), 240);
}

TEST(JpegScaled, AnythingUnusualIsLeftToTheGeneralDecoder) {
  int width = 0, height = 0;
  std::vector<uint8_t> whole = media("media\\structured.jpg");
  std::vector<uint8_t> truncated(whole.begin(), whole.begin() + whole.size() / 2);
  std::vector<uint8_t> png = media("media\\rgb24.png");
  for (const auto* bytes : {&truncated, &png}) {
    CImage image;
    EXPECT_EQ(-1, decode_jpeg_scaled(*bytes, 234, 164, image, width, height));
    EXPECT_TRUE(image.IsNull());
  }
  CImage cmyk;
  EXPECT_EQ(-1, decode_jpeg_scaled(media("media\\cmyk.jpg"), 234, 164, cmyk, width, height));
  EXPECT_TRUE(cmyk.IsNull());
}

TEST(JpegScaled, ThumbnailMatchesTheFullDecode) {
  // Reference: GDI+ decodes the whole picture and the halftone filter does all scaling.
  CImage full;
  ASSERT_EQ(S_OK, full.Load(L"media\\structured.jpg"));
  save_thumbnail(full, "reference.png");
  FoundFile record = {};
  strcpy(record.file_path, "media\\structured.jpg");
  strcpy(record.thumb_path, "fast.png");
  DeleteFileA("fast.png");
  ASSERT_EQ(0, make_thumbnail(record));
  EXPECT_EQ(2000, record.width);
  EXPECT_EQ(1500, record.height);

  CImage reference, fast;
  ASSERT_EQ(S_OK, reference.Load(L"reference.png"));
  ASSERT_EQ(S_OK, fast.Load(L"fast.png"));
  ASSERT_EQ(117, fast.GetWidth());
  ASSERT_EQ(82, fast.GetHeight());
  // Only pixels on the shapes' edges may differ noticeably (the reduced decode averages
  // whole blocks, which smooths edges that the full-size stretch leaves stepped).
  long total = 0, far_off = 0;
  for (int y = 0; y < 82; ++y)
    for (int x = 0; x < 117; ++x) {
      COLORREF a = reference.GetPixel(x, y), b = fast.GetPixel(x, y);
      long worst = 0;
      for (int shift : {0, 8, 16}) {
        long d = labs(static_cast<long>((a >> shift) & 0xFF) - static_cast<long>((b >> shift) & 0xFF));
        total += d;
        worst = d > worst ? d : worst;
      }
      far_off += worst > 40;
    }
  EXPECT_LT(total / (117.0 * 82 * 3), 3.0) << "mean difference per sample";
  EXPECT_LT(far_off, 117 * 82 / 20) << "pixels far off";
}

