// The whole road with the real pieces: a FAT32 card whose photos were deleted (made at
// build time, with a manifest of the originals' sha256s) is scanned by the real engine
// through the application's scan thread, thumbnailed by the real worker and recovered.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/settings.h"
#include "common/card_manifest.h"
#include "common/scan_run.h"
#include "common/test_files.h"
#include "common/wine_drive.h"
#include "session/found_file_list.h"
#include "session/recover.h"
#include "session/thumbnail_worker.h"
#include "session/user_message.h"

namespace {

using Bytes = std::vector<unsigned char>;
using card_manifest::sha256_hex;

const char kCard[] = "card.img";
const char kManifest[] = "card.img.originals\\manifest.tsv";

std::string sha256_of_file(const std::string& path) { return card_manifest::sha256_hex(read_bytes(path)); }

// The content a found file stands for: its cached bytes with the header restored.
Bytes found_content(const FoundFile& f) {
  Bytes bytes = read_bytes(f.file_path);
  if (f.complemented)
    for (size_t i = 0; i < 16 && i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(~bytes[i]);
  return bytes;
}

std::map<std::string, std::string> deleted_originals() { return card_manifest::deleted_originals(kManifest); }

// One scan of `volume` by the real engine, as the recovery page starts it. Returns how
// it ended; the found files are in g_found_files.
int scan(const std::string& volume, const std::string& cache) {
  ScanRequest request = {};
  std::snprintf(request.cache_folder, sizeof request.cache_folder, "%s", cache.c_str());
  std::snprintf(request.volume, sizeof request.volume, "%s", volume.c_str());
  request.photo = 1;
  ScanJob job;
  return run_scan(job, request).outcome;
}

std::vector<FoundFile> found_files() {
  ListLock hold;
  return g_found_files.records;
}

// Every deleted original must be among the found files, byte for byte.
void expect_every_original_found(const std::map<std::string, std::string>& originals) {
  std::set<std::string> found;
  for (const FoundFile& f : found_files()) found.insert(sha256_hex(found_content(f)));
  for (const auto& original : originals)
    EXPECT_TRUE(found.count(original.first)) << original.second << " " << original.first << " not recovered";
}

class CardAsDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!wine_drive::running_under_wine()) GTEST_SKIP() << "needs Wine's mount manager";
    originals_ = deleted_originals();
    ASSERT_GE(originals_.size(), 15u) << "the card's manifest is there";
    card_hash_ = sha256_of_file(kCard);
    ASSERT_EQ(card_hash_.size(), 64u);
    letter_ = wine_drive::free_drive_letter();
    ASSERT_NE(L'\0', letter_);
    CreateDirectoryW(L"card_view", nullptr);
    ASSERT_TRUE(wine_drive::define_drive(letter_, DRIVE_REMOVABLE,
                                         wine_drive::unix_path_of(L"card_view"),
                                         wine_drive::unix_path_of(L"card.img")));
    defined_ = true;
  }
  void TearDown() override {
    if (defined_) wine_drive::define_drive(letter_, DRIVE_REMOVABLE, "", "");
    RemoveDirectoryW(L"card_view");
    reset_found_files();
  }
  std::string root() const { return std::string(1, char(letter_)) + ":\\"; }

  ScratchFolder scratch_{"e2e"};
  std::map<std::string, std::string> originals_;
  std::string card_hash_;
  wchar_t letter_ = L'\0';
  bool defined_ = false;
};

TEST_F(CardAsDrive, TheVolumeGuidPathAsTheOptionsPagePassesItBringsBackEveryOriginal) {
  wchar_t name[MAX_PATH] = {};
  std::wstring mount = std::wstring(1, letter_) + L":\\";
  ASSERT_TRUE(GetVolumeNameForVolumeMountPointW(mount.c_str(), name, MAX_PATH));
  std::string volume;
  for (const wchar_t* p = name; *p; ++p) volume += static_cast<char>(*p);
  ASSERT_EQ(volume.rfind("\\\\?\\Volume{", 0), 0u) << volume;
  ASSERT_EQ(volume.back(), '\\');

  ASSERT_EQ(scan(volume, scratch_ / "cache"), 0);
  EXPECT_GE(found_files().size(), originals_.size());
  expect_every_original_found(originals_);
  EXPECT_EQ(sha256_of_file(kCard), card_hash_) << "the engine never writes to the card";
}

TEST_F(CardAsDrive, TheDeviceNameOfTheDriveBringsBackEveryOriginal) {
  std::string device = "\\\\.\\" + std::string(1, char(letter_)) + ":";
  ASSERT_EQ(scan(device, scratch_ / "cache"), 0);
  EXPECT_GE(found_files().size(), originals_.size());
  expect_every_original_found(originals_);
  EXPECT_EQ(sha256_of_file(kCard), card_hash_) << "the engine never writes to the card";
}

int g_messages_shown = 0;
int record_message(HWND, int, const wchar_t*) {
  ++g_messages_shown;
  return 1;
}

// Pixel size of a PNG from its header, or 0 x 0 when the bytes are no PNG.
std::pair<uint32_t, uint32_t> png_size(const Bytes& png) {
  static const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 24 || std::memcmp(png.data(), signature, 8) || std::memcmp(&png[12], "IHDR", 4))
    return {0, 0};
  auto be32 = [&](size_t at) {
    return (uint32_t(png[at]) << 24) | (uint32_t(png[at + 1]) << 16) | (uint32_t(png[at + 2]) << 8) | png[at + 3];
  };
  return {be32(16), be32(20)};
}

// The pictures make-card.sh draws, by format (its raw files are checked for a size only).
std::pair<int, int> drawn_size(const std::string& format) {
  static const std::map<std::string, std::pair<int, int>> sizes = {
      {"jpg", {2048, 1536}}, {"png", {1024, 768}}, {"gif", {640, 480}},
      {"bmp", {800, 600}},   {"tif", {1200, 900}}};
  auto it = sizes.find(format);
  return it == sizes.end() ? std::pair<int, int>(0, 0) : it->second;
}

class UserRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    originals_ = deleted_originals();
    ASSERT_GE(originals_.size(), 15u) << "the card's manifest is there";
    card_hash_ = sha256_of_file(kCard);
    previous_ = set_user_message_function(record_message);
    g_messages_shown = 0;
    saved_recovery_ = recovery_path;
    // Start-up: the list lock and the thumbnail worker, which then runs beside the scan.
    static bool worker_started = false;
    create_list_lock();
    if (!worker_started) worker_started = start_thumbnail_worker(kThumbnailWorkerMinMemory);
    ASSERT_TRUE(worker_started);
  }
  void TearDown() override {
    wait_for_thumbnails();
    EXPECT_EQ(sha256_of_file(kCard), card_hash_) << "scanning, thumbnails and recovering never write to the card";
    wcscpy(recovery_path, saved_recovery_.c_str());
    set_user_message_function(previous_);
    reset_found_files();
  }
  static void wait_for_thumbnails() {
    for (int waited = 0; waited < 60000; waited += 50) {
      {
        ListLock hold;
        if (g_found_files.thumbnail_cursor >= g_found_files.records.size()) return;
      }
      Sleep(50);
    }
  }
  std::string format_of(const std::string& hash) {
    return originals_.count(hash) ? originals_[hash] : "?";
  }
  // Every record has its 117 x 82 PNG beside the cached file and the picture's size.
  void expect_thumbnails() {
    for (const FoundFile& f : found_files()) {
      const std::string format = format_of(sha256_hex(found_content(f)));
      SCOPED_TRACE(std::string(f.file_path) + " (" + format + ")");
      EXPECT_EQ(std::string(f.thumb_path), thumbnail_name(f.file_path));
      EXPECT_EQ(png_size(read_bytes(f.thumb_path)), std::make_pair(117u, 82u));
      std::pair<int, int> drawn = drawn_size(format);
      if (drawn.first) {
        EXPECT_EQ(f.width, drawn.first);
        EXPECT_EQ(f.height, drawn.second);
      } else {
        EXPECT_GT(f.width, 0);
        EXPECT_GT(f.height, 0);
      }
    }
  }
  // Selects every record and recovers into a fresh folder; the folder then holds one
  // FILE%05d.<ext> per record with an original's bytes, and each cached file keeps its
  // complemented header.
  void recover_all_and_check() {
    std::vector<FoundFile> records = found_files();
    {
      ListLock hold;
      for (FoundFile& f : g_found_files.records) f.selected = 1;
    }
    std::string out = scratch_ / "recovered";
    ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
    std::wstring wide_out(out.begin(), out.end());
    wcscpy(recovery_path, wide_out.c_str());
    EXPECT_EQ(recover_selected_thread(nullptr), static_cast<int>(records.size()));

    std::set<std::string> recovered;
    for (uint32_t i = 0; i < records.size(); ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "FILE%05u.%s", i, records[i].ext);
      Bytes copy = read_bytes(out + "\\" + name);
      std::string hash = sha256_hex(copy);
      EXPECT_EQ(hash, sha256_hex(found_content(records[i]))) << name;
      EXPECT_TRUE(originals_.count(hash)) << name << " is not an original";
      recovered.insert(hash);
      Bytes cached = read_bytes(records[i].file_path);
      ASSERT_GE(cached.size(), 16u);
      ASSERT_GE(copy.size(), 16u);
      for (size_t k = 0; k < 16; ++k)
        EXPECT_EQ(cached[k], static_cast<unsigned char>(~copy[k])) << name << " byte " << k;
    }
    EXPECT_EQ(recovered.size(), originals_.size()) << "every original once";
    WIN32_FIND_DATAA entry;
    int files = 0;
    HANDLE find = FindFirstFileA((out + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do files += !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
      while (FindNextFileA(find, &entry));
      FindClose(find);
    }
    EXPECT_EQ(files, static_cast<int>(records.size()));
  }

  ScratchFolder scratch_{"e2e"};
  std::map<std::string, std::string> originals_;
  std::string card_hash_;
  UserMessageFunction previous_ = nullptr;
  std::wstring saved_recovery_;
};

TEST_F(UserRoad, ScanThumbnailSelectAllAndRecoverGivesBackEveryOriginal) {
  ASSERT_EQ(scan(kCard, scratch_ / "cache"), 0);
  ASSERT_EQ(found_files().size(), originals_.size()) << "one record per deleted original";
  wait_for_thumbnails();
  expect_thumbnails();
  recover_all_and_check();
  EXPECT_EQ(g_messages_shown, 0) << "no message box on the way";
}

// The user need not wait for the thumbnails: recovering while the worker still reads
// the cached files gives the same bytes, and the worker still finishes every picture.
TEST_F(UserRoad, RecoveringWhileThumbnailsAreStillBeingMadeLosesNothing) {
  ASSERT_EQ(scan(kCard, scratch_ / "cache"), 0);
  ASSERT_EQ(found_files().size(), originals_.size());
  recover_all_and_check();
  wait_for_thumbnails();
  expect_thumbnails();
  EXPECT_EQ(g_messages_shown, 0) << "no message box on the way";
}

}  // namespace
