// make_thumbnail on pictures made by ImageMagick and DNGs written here, through GDI+
// and LibRaw under Wine.
#include "session/thumbnail_worker.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "dng_preview.h"
#include "imaging/image.h"

namespace {

std::string read_all(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_all(const char* path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

bool exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// A record for a copy of a media file under a new name, with its thumbnail path beside.
FoundFile record_for(const char* media, const char* name) {
  CopyFileA(media, name, FALSE);
  FoundFile record = {};
  strcpy(record.file_path, name);
  snprintf(record.thumb_path, sizeof record.thumb_path, "thumb_%s.png", name);
  DeleteFileA(record.thumb_path);
  return record;
}

// The PNG's header: 117 x 82, 8 bits per sample, colour type 2 (RGB, no alpha).
void expect_thumbnail_png(const char* path) {
  std::string png = read_all(path);
  ASSERT_GT(png.size(), 33u) << path;
  EXPECT_EQ("\x89PNG", png.substr(0, 4));
  auto be32 = [&](size_t at) {
    return (uint8_t(png[at]) << 24) | (uint8_t(png[at + 1]) << 16) | (uint8_t(png[at + 2]) << 8) |
           uint8_t(png[at + 3]);
  };
  EXPECT_EQ(117, be32(16));
  EXPECT_EQ(82, be32(20));
  EXPECT_EQ(8, png[24]);
  EXPECT_EQ(2, png[25]);
}

bool reddish(COLORREF c) { return GetRValue(c) > 2 * GetBValue(c) + 40; }
bool bluish(COLORREF c) { return GetBValue(c) > 2 * GetRValue(c) + 40; }
bool greenish(COLORREF c) { return GetGValue(c) > 2 * GetRValue(c) + 40 && GetGValue(c) > 2 * GetBValue(c) + 40; }

}  // namespace

TEST(Thumbnail, DecoderChosenByLowerCasedShellExtension) {
  EXPECT_EQ(ThumbnailDecoder::common, thumbnail_decoder_for("C:\\c\\IMG_0001.JPG"));
  EXPECT_EQ(ThumbnailDecoder::common, thumbnail_decoder_for("photo.jpeg"));
  EXPECT_EQ(ThumbnailDecoder::common, thumbnail_decoder_for("scan.TIFF"));
  EXPECT_EQ(ThumbnailDecoder::raw, thumbnail_decoder_for("scan.tif"));
  EXPECT_EQ(ThumbnailDecoder::raw, thumbnail_decoder_for("C:\\x.y\\a.NEF"));
  EXPECT_EQ(ThumbnailDecoder::raw, thumbnail_decoder_for("IMG_0001.CR3"));
  EXPECT_EQ(ThumbnailDecoder::heif, thumbnail_decoder_for("IMG_0002.HEIC"));
  EXPECT_EQ(ThumbnailDecoder::heif, thumbnail_decoder_for("f0000001.heif"));
  EXPECT_EQ(ThumbnailDecoder::heif, thumbnail_decoder_for("f0000002.avif"));
  EXPECT_EQ(ThumbnailDecoder::none, thumbnail_decoder_for("C:\\tmp.jpg\\noext"));
  EXPECT_EQ(ThumbnailDecoder::none, thumbnail_decoder_for("clip.mp4"));
  EXPECT_EQ(ThumbnailDecoder::none, thumbnail_decoder_for("a.jpg.txt"));
}

TEST(Thumbnail, CommonFormatsBecomeScaled117x82Pngs) {
  struct Case { const char* media; const char* name; int width, height; };
  for (Case c : {Case{"media\\halves.jpg", "IMG_0001.JPG", 300, 200},
                 Case{"media\\halves.jpg", "photo.jpeg", 300, 200},
                 Case{"media\\halves.bmp", "pic.bmp", 60, 40},
                 Case{"media\\halves.gif", "pic.gif", 60, 40},
                 Case{"media\\plain.tiff", "scan.tiff", 64, 48}}) {
    FoundFile record = record_for(c.media, c.name);
    ASSERT_EQ(0, make_thumbnail(record)) << c.name;
    EXPECT_EQ(c.width, record.width) << c.name;
    EXPECT_EQ(c.height, record.height) << c.name;
    expect_thumbnail_png(record.thumb_path);
    CImage thumb;
    ASSERT_EQ(S_OK, thumb.Load(std::wstring(record.thumb_path, record.thumb_path +
                                            strlen(record.thumb_path)).c_str()));
    // The whole source is squeezed in: red left half, blue right half.
    EXPECT_TRUE(reddish(thumb.GetPixel(10, 41))) << c.name;
    EXPECT_TRUE(bluish(thumb.GetPixel(106, 41))) << c.name;
  }
}

TEST(Thumbnail, PanoramaAndPortraitAreDistortedTo117x82) {
  for (const char* media : {"media\\panorama.jpg", "media\\portrait.png"}) {
    FoundFile record = record_for(media, strstr(media, "panorama") ? "pano.jpg" : "tall.png");
    ASSERT_EQ(0, make_thumbnail(record));
    expect_thumbnail_png(record.thumb_path);
  }
}

TEST(Thumbnail, NoDecoderOrBadInputLeavesRecordAndNoFile) {
  write_all("clip.mp4", "not a picture at all");
  write_all("song.mp3", "ID3 not a picture");
  write_all("noext", "\x89PNG");
  write_all("empty.jpg", "");
  std::string corrupt = read_all("media\\halves.jpg").substr(0, 200);
  write_all("corrupt.jpg", corrupt + std::string(2000, '\x55'));
  // A marker whose length runs far past the end of the file.
  write_all("overrun.jpg", "\xFF\xD8\xFF\xE0\x5A\x5A" + std::string(2000, '\x5A'));
  for (const char* name : {"clip.mp4", "song.mp3", "noext", "empty.jpg", "corrupt.jpg",
                           "overrun.jpg", "missing.png"}) {
    FoundFile record = {};
    strcpy(record.file_path, name);
    snprintf(record.thumb_path, sizeof record.thumb_path, "thumb_bad_%s.png", name);
    EXPECT_EQ(-1, make_thumbnail(record)) << name;
    EXPECT_EQ(0, record.width) << name;
    EXPECT_EQ(0, record.height) << name;
    EXPECT_FALSE(exists(record.thumb_path)) << name;
  }
}

TEST(Thumbnail, PlainTiffNamedTifGoesToTheRawDecoderAndFails) {
  FoundFile raw_named = record_for("media\\plain.tiff", "scan.tif");
  EXPECT_EQ(-1, make_thumbnail(raw_named));
  EXPECT_FALSE(exists(raw_named.thumb_path));
  FoundFile common_named = record_for("media\\plain.tiff", "scan2.tiff");
  EXPECT_EQ(0, make_thumbnail(common_named));
  EXPECT_TRUE(exists(common_named.thumb_path));
}

TEST(Thumbnail, ExistingThumbnailMeansNothingIsRead) {
  FoundFile record = record_for("media\\halves.jpg", "again.jpg");
  ASSERT_EQ(0, make_thumbnail(record));
  std::string first = read_all(record.thumb_path);
  DeleteFileA("again.jpg");
  FoundFile second = {};
  strcpy(second.file_path, "again.jpg");
  strcpy(second.thumb_path, record.thumb_path);
  EXPECT_EQ(0, make_thumbnail(second));
  EXPECT_EQ(0, second.width);
  EXPECT_EQ(first, read_all(record.thumb_path));
}

TEST(Thumbnail, CachedFilesAreReadWithRestoredHeaderAndNeverChanged) {
  std::string jpeg = read_all("media\\halves.jpg");
  for (int i = 0; i < 16; ++i) jpeg[i] = static_cast<char>(~jpeg[i]);
  write_all("cached.jpg", jpeg);
  std::vector<uint8_t> dng = make_dng(DngParams{});
  for (int i = 0; i < 16; ++i) dng[i] = static_cast<uint8_t>(~dng[i]);
  write_all("cached.nef", std::string(dng.begin(), dng.end()));

  for (const char* name : {"cached.jpg", "cached.nef"}) {
    std::string before = read_all(name);
    FoundFile record = {};
    strcpy(record.file_path, name);
    snprintf(record.thumb_path, sizeof record.thumb_path, "thumb_c_%s.png", name);
    DeleteFileA(record.thumb_path);
    record.complemented = 1;
    ASSERT_EQ(0, make_thumbnail(record)) << name;
    EXPECT_GT(record.width, 0) << name;
    EXPECT_EQ(1, record.complemented);
    EXPECT_EQ(before, read_all(name)) << "the cached file stays complemented";
    expect_thumbnail_png(record.thumb_path);
  }
}

TEST(Thumbnail, RawThumbnailsCarryCameraFactsStayUprightAndReturnTheContext) {
  // The mosaic's top is red; the preview's top right quarter green, and orientation 6
  // turns it to the bottom right.
  struct Case { bool preview; int orientation; POINT top_right, bottom; bool (*top_colour)(COLORREF); };
  for (Case c : {Case{false, 1, {88, 20}, {58, 72}, reddish}, Case{true, 6, {88, 61}, {16, 41}, greenish}}) {
    DngParams params;
    params.orientation = c.orientation;
    if (c.preview) params.preview = marked_preview(640, 480, true);
    ASSERT_TRUE(write_dng("camera.dng", params));
    FoundFile record = {};
    strcpy(record.file_path, "camera.dng");
    strcpy(record.thumb_path, "thumb_camera.png");
    DeleteFileA(record.thumb_path);
    int cached_before = CImage::CachedContextCount();
    ASSERT_EQ(0, make_thumbnail(record));
    // Two contexts are borrowed at the peak (picture and thumbnail); both come back.
    EXPECT_EQ(cached_before > 2 ? cached_before : 2, CImage::CachedContextCount())
        << "every borrowed context went back to the cache";
    EXPECT_STREQ("Synth SynthCam K1", record.camera);
    EXPECT_EQ(c.orientation == 6 ? 96 : 128, record.width);
    expect_thumbnail_png(record.thumb_path);
    CImage thumb;
    ASSERT_EQ(S_OK, thumb.Load(L"thumb_camera.png"));
    EXPECT_TRUE(c.top_colour(thumb.GetPixel(c.top_right.x, c.top_right.y))) << c.preview;
    EXPECT_TRUE(bluish(thumb.GetPixel(c.bottom.x, c.bottom.y))) << c.preview;
  }
}

// HEIF pictures through libheif (HEVC by libde265, AV1 by dav1d), a camera's with its
// Exif facts and thumbnail item; CR3s through their PRVW preview (not the full-size one,
// all green here), turned by their orientation, with LibRaw's facts.
TEST(Thumbnail, HeifAndCr3StillsBecomeThumbnailsWithTheirFacts) {
  auto local_time = [](int year, int month, int day, int hour, int minute, int second) {
    std::tm t = {};
    t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
    t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second, t.tm_isdst = -1;
    return static_cast<int64_t>(_mktime64(&t));
  };
  struct Case {
    const char* media;
    int width, height;
    const char* camera;
    int64_t timestamp;
    POINT red, blue;
  };
  const Case cases[] = {
      {"halves.heic", 300, 200, "", 0, {10, 41}, {106, 41}},
      {"halves.avif", 300, 200, "", 0, {10, 41}, {106, 41}},
      {"deep.heic", 300, 200, "", 0, {10, 41}, {106, 41}},
      {"camera.heic", 800, 600, "Canon EOS R6", local_time(2024, 5, 17, 9, 41, 27), {10, 41}, {106, 41}},
      {"canon.cr3", 6024, 4020, "Canon EOS M50", local_time(2018, 2, 21, 12, 8, 56), {10, 41}, {106, 41}},
      {"turned.cr3", 4020, 6024, "Canon EOS M50", local_time(2018, 2, 21, 12, 8, 56), {58, 10}, {58, 72}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.media);
    FoundFile record = record_for(("media\\" + std::string(c.media)).c_str(), c.media);
    ASSERT_EQ(0, make_thumbnail(record));
    EXPECT_EQ(c.width, record.width);
    EXPECT_EQ(c.height, record.height);
    EXPECT_STREQ(c.camera, record.camera);
    EXPECT_EQ(c.timestamp, record.timestamp);
    expect_thumbnail_png(record.thumb_path);
    CImage thumb;
    ASSERT_EQ(S_OK, thumb.Load(std::wstring(record.thumb_path, record.thumb_path + strlen(record.thumb_path)).c_str()));
    EXPECT_TRUE(reddish(thumb.GetPixel(c.red.x, c.red.y)));
    EXPECT_TRUE(bluish(thumb.GetPixel(c.blue.x, c.blue.y)));
  }
}

// exiftool's samples hold text where their pictures were, and a HEIC cut short lacks
// the end of its picture: no thumbnail, the placeholder stays.
TEST(Thumbnail, StillsThatDoNotDecodeKeepThePlaceholder) {
  const std::string heic = read_all("media\\halves.heic");
  write_all("cut.heic", heic.substr(0, heic.size() - 100));
  for (const char* name : {"media\\stripped.cr3", "media\\stripped.heic", "cut.heic"}) {
    FoundFile record = {};
    strcpy(record.file_path, name);
    strcpy(record.thumb_path, "thumb_undecodable.png");
    EXPECT_EQ(-1, make_thumbnail(record)) << name;
    EXPECT_FALSE(exists(record.thumb_path)) << name;
  }
}

TEST(Thumbnail, UnwritableThumbnailStillCountsAndKeepsTheSize) {
  FoundFile record = record_for("media\\halves.jpg", "lost.jpg");
  strcpy(record.thumb_path, "no-such-folder\\thumb_lost.png");
  EXPECT_EQ(0, make_thumbnail(record));
  EXPECT_EQ(300, record.width);
  EXPECT_FALSE(exists(record.thumb_path));
}

// Pictures that once faulted a decoder under Wine (kept by the thumbnail fuzzing in
// regressions/, header as the camera wrote it): each gets no thumbnail, and the process
// goes on to the next.
TEST(Thumbnail, PicturesThatOnceBrokeADecoderGetNone) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA("regressions\\*.*", &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  int count = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    FoundFile record = {};
    snprintf(record.file_path, sizeof record.file_path, "regressions\\%s", found.cFileName);
    snprintf(record.thumb_path, sizeof record.thumb_path, "thumb_regression_%d.png", count++);
    EXPECT_EQ(-1, make_thumbnail(record)) << record.file_path;
    EXPECT_FALSE(exists(record.thumb_path)) << record.file_path;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  EXPECT_EQ(3, count);
}
