// The thumbnail worker over a real cache folder with complemented headers.
#include "session/thumbnail_worker.h"

#include <gtest/gtest.h>
#include <process.h>

#include <cstring>
#include <fstream>

#include "background_files.h"
#include "dng_writer.h"
#include "raw/raw_decoder.h"
#include "session/found_file_list.h"

namespace {

void run_worker_until_idle() {
  while (thumbnail_worker_pass()) {
  }
}

std::string dng_bytes(const DngParams& params) {
  std::vector<uint8_t> bytes = make_dng(params);
  return std::string(bytes.begin(), bytes.end());
}

size_t log_lines() {
  std::ifstream in(kRawLogPath);
  size_t count = 0;
  for (std::string line; std::getline(in, line);) ++count;
  return count;
}

unsigned __stdcall one_pass(void*) { return thumbnail_worker_pass() ? 1 : 0; }

}  // namespace

TEST(ThumbnailName, StemInTheSameFolder) {
  EXPECT_EQ("C:\\c\\tmp\\thumb_a.b.png", thumbnail_name("C:\\c\\tmp\\a.b.jpg"));
  EXPECT_EQ("D:\\cache\\tmp\\thumb_f00012.png", thumbnail_name("D:\\cache\\tmp\\f00012.jpg"));
  EXPECT_EQ("C:\\tmp.1\\thumb_noext.png", thumbnail_name("C:\\tmp.1\\noext"));
  EXPECT_EQ("C:/cache/tmp/thumb_x.png", thumbnail_name("C:/cache/tmp/x.nef"));
  EXPECT_EQ("thumb_alone.png", thumbnail_name("alone.jpg"));
}

TEST(ThumbnailWorker, FillsRecordsAndLeavesCachedFilesComplemented) {
  ScratchFolder cache("worker");
  std::string jpeg = get_file("media\\photo.jpg");
  ASSERT_FALSE(jpeg.empty());
  std::string dng = dng_bytes(DngParams{});
  put_file(cache / "f1.jpg", jpeg);
  put_file(cache / "f2.nef", dng);
  put_file(cache / "f3.mp3", "ID3 some audio");
  reset_found_files();
  for (const char* name : {"f1.jpg", "f2.nef", "f3.mp3"})
    append_found_file((cache / name).c_str());

  run_worker_until_idle();
  ListLock hold;
  ASSERT_EQ(3u, g_found_files.thumbnail_cursor);
  const auto& records = g_found_files.records;
  EXPECT_EQ(cache / "thumb_f1.png", records[0].thumb_path);
  EXPECT_EQ(320, records[0].width);
  EXPECT_EQ(240, records[0].height);
  EXPECT_EQ(128, records[1].width);
  EXPECT_STREQ("Synth SynthCam K1", records[1].camera);
  EXPECT_NE(0, records[1].timestamp);
  EXPECT_EQ(cache / "thumb_f3.png", records[2].thumb_path) << "set even without a picture";
  EXPECT_EQ(0, records[2].width);
  for (const FoundFile& record : records) EXPECT_EQ(1, record.complemented);
  EXPECT_TRUE(exists(cache / "thumb_f1.png"));
  EXPECT_TRUE(exists(cache / "thumb_f2.png"));
  EXPECT_FALSE(exists(cache / "thumb_f3.png"));
  EXPECT_EQ(complemented(jpeg), get_file(cache / "f1.jpg"));
  EXPECT_EQ(complemented(dng), get_file(cache / "f2.nef"));
}

TEST(ThumbnailWorker, ExistingThumbnailIsKeptAndNothingDecoded) {
  ScratchFolder cache("worker");
  put_file(cache / "a.jpg", get_file("media\\photo.jpg"));
  put_file(cache / "a.nef", dng_bytes(DngParams{}));
  put_file(cache / "thumb_a.png", "an earlier thumbnail");
  reset_found_files();
  append_found_file((cache / "a.jpg").c_str());
  append_found_file((cache / "a.nef").c_str());
  size_t lines = log_lines();
  run_worker_until_idle();
  ListLock hold;
  for (const FoundFile& record : g_found_files.records) {
    EXPECT_EQ(cache / "thumb_a.png", record.thumb_path);
    EXPECT_EQ(0, record.width);
    EXPECT_EQ(0, record.height);
  }
  EXPECT_EQ(lines, log_lines()) << "the RAW file sharing the name was not decoded";
  EXPECT_EQ("an earlier thumbnail", get_file(cache / "thumb_a.png"));
}

TEST(ThumbnailWorker, ResetDuringADecodeDropsTheCopy) {
  ScratchFolder cache("worker");
  DngParams big;
  big.width = 3000;
  big.height = 2000;
  put_file(cache / "big.dng", dng_bytes(big));
  put_file(cache / "next.jpg", get_file("media\\photo.jpg"));
  reset_found_files();
  append_found_file((cache / "big.dng").c_str());

  size_t lines = log_lines();
  HANDLE pass = reinterpret_cast<HANDLE>(_beginthreadex(
      nullptr, 0, one_pass, nullptr, 0, nullptr));
  // The decoder's log line shows the worker has taken its copy and is decoding.
  for (int waited = 0; log_lines() == lines && waited < 20000; ++waited) Sleep(1);
  {
    ListLock hold;
    EXPECT_EQ(0u, g_found_files.thumbnail_cursor) << "still decoding";
    reset_found_files();
    append_found_file((cache / "next.jpg").c_str());
  }
  WaitForSingleObject(pass, INFINITE);
  CloseHandle(pass);
  {
    ListLock hold;
    EXPECT_EQ(0u, g_found_files.thumbnail_cursor);
    EXPECT_STREQ("", g_found_files.records[0].thumb_path) << "the old copy was not written";
    EXPECT_EQ(0, g_found_files.records[0].width);
  }
  run_worker_until_idle();
  ListLock hold;
  EXPECT_EQ(cache / "thumb_next.png", g_found_files.records[0].thumb_path);
  EXPECT_EQ(320, g_found_files.records[0].width);
}

TEST(ThumbnailWorker, NotStartedWithTooLittleMemory) {
  EXPECT_FALSE(start_thumbnail_worker(1048575999ull));
}
