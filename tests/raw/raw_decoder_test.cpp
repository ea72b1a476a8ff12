// decode_raw_image on DNG files written by the test, through the real LibRaw.
#include "raw/raw_decoder.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <regex>
#include <string>

#include "dng_preview.h"
#include "imaging/image.h"

namespace {

FoundFile record_for(const char* path) {
  FoundFile record = {};
  strcpy(record.file_path, path);
  return record;
}

std::string read_all(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool reddish(COLORREF c) { return GetRValue(c) > 2 * GetBValue(c); }
bool bluish(COLORREF c) { return GetBValue(c) > 2 * GetRValue(c); }
bool greenish(COLORREF c) { return GetGValue(c) > 2 * GetRValue(c) && GetGValue(c) > 2 * GetBValue(c); }
bool yellowish(COLORREF c) { return GetRValue(c) > 2 * GetBValue(c) && GetGValue(c) > 2 * GetBValue(c); }

// What LibRaw computes for an EXIF time: the C runtime's local-time conversion.
int64_t local_seconds(int year, int month, int day, int hour, int minute, int second) {
  tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&t));
}

}  // namespace

TEST(RawDecoder, LandscapeDngGivesPictureAndFacts) {
  ASSERT_TRUE(write_dng("landscape.dng", DngParams{}));
  FoundFile record = record_for("landscape.dng");
  CImage image;
  ASSERT_EQ(0, decode_raw_image(image, record));
  EXPECT_EQ(128, record.width);
  EXPECT_EQ(96, record.height);
  EXPECT_STREQ("Synth SynthCam K1", record.camera);
  int64_t expected = local_seconds(2023, 7, 14, 9, 26, 53);
  EXPECT_EQ(expected, record.timestamp);
  EXPECT_NEAR(1689326813, record.timestamp, 14 * 3600) << "2023-07-14 09:26:53 in some zone";

  // Without a preview the picture is LibRaw's half-size decode.
  EXPECT_EQ(64, image.GetWidth());
  EXPECT_EQ(48, image.GetHeight());
  EXPECT_EQ(24, image.GetBPP());
  EXPECT_TRUE(reddish(image.GetPixel(32, 10)));
  EXPECT_TRUE(bluish(image.GetPixel(32, 38)));
  // The context comes back borrowed once: a second borrow shares it.
  HDC borrowed = image.GetDC();
  EXPECT_EQ(static_cast<HBITMAP>(image), GetCurrentObject(borrowed, OBJ_BITMAP));
  image.ReleaseDC();
  image.ReleaseDC();
  EXPECT_NE(static_cast<HBITMAP>(image), GetCurrentObject(borrowed, OBJ_BITMAP))
      << "the last release takes the bitmap out of the context";
}

TEST(RawDecoder, PreviewWhenUsableElseHalfSizeDecodeAlwaysUpright) {
  // The preview's top is yellow and green, the mosaic's red: the top tells which was shown.
  enum Kind { none, jpeg, bitmap, tiny, broken };
  const char* const kinds[] = {"none", "jpeg", "bitmap", "tiny", "broken"};
  for (Kind kind : {none, jpeg, bitmap, tiny, broken}) {
    DngParams params;
    if (kind == jpeg || kind == broken) params.preview = marked_preview(320, 240, true);
    if (kind == bitmap) params.preview = marked_preview(160, 120, false);
    if (kind == tiny) params.preview = marked_preview(110, 80, false);  // either way up
    if (kind == broken) std::fill(params.preview.data.begin() + 4, params.preview.data.end(), 0x5A);
    for (int orientation : {1, 3, 6, 8}) {
      params.orientation = orientation;
      ASSERT_TRUE(write_dng("oriented.dng", params));
      FoundFile record = record_for("oriented.dng");
      CImage image;
      std::string what = std::string(kinds[kind]) + " " + std::to_string(orientation);
      ASSERT_EQ(0, decode_raw_image(image, record)) << what;
      bool turned = orientation >= 5;
      EXPECT_EQ(turned ? 96 : 128, record.width) << what;
      EXPECT_EQ(turned ? 128 : 96, record.height) << what;
      EXPECT_STREQ("Synth SynthCam K1", record.camera) << what;
      EXPECT_EQ(local_seconds(2023, 7, 14, 9, 26, 53), record.timestamp) << what;

      int width = kind == jpeg ? 320 : kind == bitmap ? 160 : 64;
      int height = width * 3 / 4;
      if (turned) std::swap(width, height);
      EXPECT_EQ(width, image.GetWidth()) << what;
      EXPECT_EQ(height, image.GetHeight()) << what;
      // A point of the stored picture where the orientation puts it in the upright one:
      // 3 turns the picture over, 6 to the right, 8 to the left.
      auto colour_at = [&](double u, double v) {
        double x = u, y = v;
        if (orientation == 3) x = 1 - u, y = 1 - v;
        if (orientation == 6) x = 1 - v, y = u;
        if (orientation == 8) x = v, y = 1 - u;
        return image.GetPixel(static_cast<int>(x * width), static_cast<int>(y * height));
      };
      bool from_preview = kind == jpeg || kind == bitmap;
      COLORREF top_left = colour_at(0.25, 0.25), top_right = colour_at(0.75, 0.25);
      EXPECT_TRUE(from_preview ? yellowish(top_left) : reddish(top_left)) << what;
      EXPECT_TRUE(from_preview ? greenish(top_right) : reddish(top_right)) << what;
      EXPECT_TRUE(bluish(colour_at(0.5, 0.8))) << what;
      image.ReleaseDC();
    }
  }
}

TEST(RawDecoder, LongCameraTextIsCutAndMissingTimeIsZero) {
  DngParams params;
  params.make = "Tessaline Optical Instruments";
  params.model = "Field Recorder X9";
  params.shot_time = "";
  ASSERT_TRUE(write_dng("long.dng", params));
  FoundFile record = record_for("long.dng");
  memset(record.camera, 'x', sizeof record.camera);
  CImage image;
  ASSERT_EQ(0, decode_raw_image(image, record));
  EXPECT_STREQ("Tessaline Optical Instruments F", record.camera);
  EXPECT_EQ(31u, strlen(record.camera));
  EXPECT_EQ(0, record.timestamp);
  image.ReleaseDC();
}

TEST(RawDecoder, CachedFileIsReadWithItsHeaderRestoredAndLeftAlone) {
  std::vector<uint8_t> dng = make_dng(DngParams{});
  for (int i = 0; i < 16; ++i) dng[i] = static_cast<uint8_t>(~dng[i]);
  FILE* f = fopen("cached.dng", "wb");
  fwrite(dng.data(), 1, dng.size(), f);
  fclose(f);
  std::string before = read_all("cached.dng");

  FoundFile record = record_for("cached.dng");
  CImage plain;
  EXPECT_EQ(-1, decode_raw_image(plain, record)) << "a complemented header is no DNG";
  record.complemented = 1;
  CImage image;
  ASSERT_EQ(0, decode_raw_image(image, record));
  EXPECT_EQ(128, record.width);
  EXPECT_EQ(1, record.complemented);
  EXPECT_EQ(before, read_all("cached.dng"));
  image.ReleaseDC();
}

TEST(RawDecoder, FailuresLeaveRecordAndImageEmpty) {
  FILE* f = fopen("junk.dng", "wb");
  for (int i = 0; i < 5000; ++i) fputc(i * 7, f);
  fclose(f);
  for (const char* path : {"junk.dng", "missing.nef"}) {
    FoundFile record = record_for(path);
    CImage image;
    EXPECT_EQ(-1, decode_raw_image(image, record)) << path;
    EXPECT_TRUE(image.IsNull());
    EXPECT_EQ(0, record.width);
    EXPECT_EQ(0, record.height);
    EXPECT_EQ(0, record.timestamp);
    EXPECT_STREQ("", record.camera);
  }
}

TEST(RawDecoder, EveryDecodeLogsOneLineFirst) {
  ASSERT_TRUE(write_dng("logged.dng", DngParams{}));
  auto lines = [] {
    std::ifstream in(kRawLogPath);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
  };
  size_t before = lines().size();
  FoundFile good = record_for("logged.dng");
  FoundFile bad = record_for("missing-file.dng");
  CImage first, second;
  ASSERT_EQ(0, decode_raw_image(first, good));
  first.ReleaseDC();
  EXPECT_EQ(-1, decode_raw_image(second, bad));
  std::vector<std::string> after = lines();
  ASSERT_EQ(before + 2, after.size());
  std::regex shape(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4}  \[src\\raw:6\] )");
  EXPECT_TRUE(std::regex_search(after[before], shape)) << after[before];
  EXPECT_NE(std::string::npos, after[before].rfind("] logged.dng"));
  EXPECT_NE(std::string::npos, after[before + 1].rfind("] missing-file.dng"));
}
