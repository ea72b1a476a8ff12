// The found-file list, the cache header, the option string and the engine command line.
#include <gtest/gtest.h>

#include <cstring>

#include "common/test_files.h"
#include "imaging/image.h"
#include "kestrune_command_line.h"
#include "session/cache_header.h"
#include "session/engine_launch.h"
#include "session/found_file_list.h"

namespace {
std::string ext_of(const char* path) {
  char ext[8];
  derive_extension(path, ext);
  return ext;
}
}  // namespace

TEST(FoundFileList, ResetDeletesEachImageOnceAndStartsOver) {
  reset_found_files();
  uint32_t generation = g_found_files.generation;
  const long images_before = CImage::LiveCount();
  for (const char* p : {"C:\\c\\tmp\\a.jpg", "C:\\c\\tmp\\b.jpg", "C:\\c\\tmp\\c.png"})
    ASSERT_EQ(append_cached_file(p), 0);
  {
    ListLock hold;
    g_found_files.records[0].image = new CImage;
    g_found_files.records[2].image = new CImage;
    g_found_files.thumbnail_cursor = 2;  // worker part-way through
    g_found_files.current_item = 1;
  }
  FoundFile* first = &g_found_files.records[0];
  EXPECT_EQ(CImage::LiveCount(), images_before + 2);
  reset_found_files();
  EXPECT_EQ(CImage::LiveCount(), images_before);
  EXPECT_EQ(g_found_files.records.size(), 0u);
  EXPECT_EQ(g_found_files.thumbnail_cursor, 0u);
  EXPECT_EQ(g_found_files.current_item, -1);
  EXPECT_NE(g_found_files.generation, generation);
  EXPECT_GE(g_found_files.records.capacity(), kReservedRecords);
  reset_found_files();  // nothing left to delete a second time
  EXPECT_EQ(CImage::LiveCount(), images_before);
  ASSERT_EQ(append_cached_file("C:\\c\\tmp\\d.jpg"), 0);
  EXPECT_EQ(&g_found_files.records[0], first) << "the reserved array must not move";
  EXPECT_EQ(g_found_files.records[0].image, nullptr);
  reset_found_files();
}

TEST(FoundFileList, ExtensionIsTextAfterLastDotCutToSeven) {
  EXPECT_EQ(ext_of("C:\\c\\tmp\\f00012.jpg"), "jpg");
  EXPECT_EQ(ext_of("C:\\c\\tmp\\a.b.JPEG"), "JPEG");
  EXPECT_EQ(ext_of("C:\\c\\tmp\\noext"), "");
  EXPECT_EQ(ext_of("C:\\c\\tmp.1\\noext"), "1\\noext");
  EXPECT_EQ(ext_of("C:\\c\\tmp\\x.abcdefghij"), "abcdefg");
  EXPECT_EQ(ext_of("C:\\c\\tmp\\x."), "");
}

TEST(FoundFileList, AppendedRecordsAreZeroedApartFromPathExtAndFlag) {
  reset_found_files();
  ASSERT_EQ(append_cached_file("C:\\c\\tmp\\a.b.nef"), 0);
  EXPECT_EQ(append_cached_file(""), -1);
  EXPECT_EQ(append_cached_file(std::string(260, 'a').c_str()), -1);
  ASSERT_EQ(g_found_files.records.size(), 1u);
  FoundFile expected;
  std::memset(&expected, 0, sizeof expected);
  std::strcpy(expected.file_path, "C:\\c\\tmp\\a.b.nef");
  std::strcpy(expected.ext, "nef");
  expected.complemented = 1;
  EXPECT_EQ(std::memcmp(&g_found_files.records[0], &expected, sizeof expected), 0);
  reset_found_files();
}

TEST(FoundFileList, ReportedFileIsComplementedOrHonestlyMarkedPlain) {
  ScratchFolder dir;
  std::vector<unsigned char> content(40);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<unsigned char>(i * 3);
  write_bytes(dir / "ok.jpg", content);
  write_bytes(dir / "busy.jpg", content);
  HANDLE busy = CreateFileA((dir / "busy.jpg").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);  // held without sharing: nobody else opens it
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);

  reset_found_files();
  EXPECT_EQ(append_found_file((dir / "ok.jpg").c_str()), 0);
  EXPECT_EQ(append_found_file((dir / "busy.jpg").c_str()), 0);
  EXPECT_EQ(append_found_file((dir / "missing.jpg").c_str()), 0);
  ASSERT_EQ(g_found_files.records.size(), 3u);
  EXPECT_EQ(g_found_files.records[0].complemented, 1);
  EXPECT_EQ(g_found_files.records[1].complemented, 0);
  EXPECT_EQ(g_found_files.records[2].complemented, 0);
  CloseHandle(busy);
  EXPECT_EQ(read_bytes(dir / "busy.jpg"), content);
  std::vector<unsigned char> on_disk = read_bytes(dir / "ok.jpg");
  ASSERT_EQ(on_disk.size(), content.size());
  EXPECT_EQ(on_disk[0], 255 - content[0]);
  reset_found_files();
}

TEST(CacheHeader, ComplementsFirstSixteenBytesAndRestoresOnSecondCall) {
  ScratchFolder dir;
  std::vector<unsigned char> long_file(20), short_file = {0x00, 0x7F, 0xFF, 0x10, 0xAA};
  for (size_t i = 0; i < long_file.size(); ++i) long_file[i] = static_cast<unsigned char>(i + 200);
  write_bytes(dir / "long", long_file);
  write_bytes(dir / "short", short_file);
  write_bytes(dir / "empty", {});

  ASSERT_EQ(complement_header((dir / "long").c_str()), 0);
  std::vector<unsigned char> flipped = read_bytes(dir / "long");
  ASSERT_EQ(flipped.size(), 20u);
  for (size_t i = 0; i < 20; ++i)
    EXPECT_EQ(flipped[i], i < 16 ? 255 - long_file[i] : long_file[i]) << i;
  ASSERT_EQ(complement_header((dir / "long").c_str()), 0);
  EXPECT_EQ(read_bytes(dir / "long"), long_file);

  ASSERT_EQ(complement_header((dir / "short").c_str()), 0);
  EXPECT_EQ(read_bytes(dir / "short"), (std::vector<unsigned char>{0xFF, 0x80, 0x00, 0xEF, 0x55}));
  EXPECT_EQ(complement_header((dir / "empty").c_str()), 0);
  EXPECT_TRUE(read_bytes(dir / "empty").empty());
  EXPECT_EQ(complement_header((dir / "none").c_str()), -1);
}

TEST(SearchOptions, KindsComeInVideoPhotoAudioOrder) {
  using kestrune::build_search_options;
  EXPECT_EQ(build_search_options(0, 0, 0), "fileopt,everything,disable,search");
  std::string photo_audio = build_search_options(1, 0, 1);
  EXPECT_EQ(photo_audio.find("max,"), std::string::npos);
  EXPECT_EQ(photo_audio.compare(0, 43, "fileopt,everything,disable,tif,enable,dsc,e"), 0);
  EXPECT_LT(photo_audio.find("psd,enable,heif,enable,"), photo_audio.find("aif,enable,"));
  // Sound-only ISO media (m4a) are found under the movie option, the audio table's last.
  EXPECT_EQ(photo_audio.size() - photo_audio.rfind("wtv,enable,"), std::strlen("wtv,enable,mov,enable,search"));
  std::string all = build_search_options(1, 1, 1);
  EXPECT_LT(all.find("TiVo,enable,"), all.find("tif,enable,"));
  size_t entries = 0;
  for (size_t at = 0; (at = all.find(",enable,", at)) != std::string::npos; ++at) ++entries;
  EXPECT_EQ(entries, 15u + 15u + 26u);
}

TEST(EngineCommand, NamesScanFolderVolumeAndOptions) {
  EXPECT_EQ(engine_command_line("C:\\cache", "E:\\", "fileopt,everything,disable,search"),
            "client.exe /d \"C:\\cache\\tmp\" /cmd E: fileopt,everything,disable,search");
  EXPECT_EQ(engine_command_line("C:\\my cache\\", "\\\\.\\F:", "o"),
            "client.exe /d \"C:\\my cache\\tmp\" /cmd \\\\.\\F: o");
  EXPECT_EQ(engine_volume_argument("E:"), "E:");
  EXPECT_EQ(engine_volume_argument("C:\\mnt\\card\\"), "C:\\mnt\\card");
}
