// The real engine against the application's scan thread and pipe reader: a card image
// with generated PNGs, scanned as the recovery page would scan a volume.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/ansi_text.h"
#include "base/settings.h"
#include "common/scan_run.h"
#include "common/test_files.h"
#include "common/wine_drive.h"
#include "session/found_file_list.h"
#include "session/resume.h"

namespace {

using Bytes = std::vector<unsigned char>;

uint32_t crc32(const unsigned char* p, size_t n, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void put32(Bytes& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void chunk(Bytes& png, const char* type, const Bytes& data) {
  put32(png, static_cast<uint32_t>(data.size()));
  size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  put32(png, crc32(png.data() + start, png.size() - start));
}

// An RGB PNG whose pixel data is kept in stored (uncompressed) deflate blocks.
Bytes make_png(uint32_t w, uint32_t h, uint32_t seed) {
  Bytes raw;
  for (uint32_t y = 0; y < h; ++y) {
    raw.push_back(0);
    for (uint32_t x = 0; x < w * 3; ++x) raw.push_back(static_cast<unsigned char>(x * seed + y * 3 + seed));
  }
  Bytes z = {0x78, 0x01};
  for (size_t pos = 0; pos < raw.size();) {
    size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
    z.push_back(pos + n == raw.size() ? 1 : 0);
    z.push_back(static_cast<unsigned char>(n));
    z.push_back(static_cast<unsigned char>(n >> 8));
    z.push_back(static_cast<unsigned char>(~n));
    z.push_back(static_cast<unsigned char>(~n >> 8));
    z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
    pos += n;
  }
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  put32(z, (b << 16) | a);
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  put32(ihdr, w);
  put32(ihdr, h);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", {});
  return png;
}

// Files below `folder` that the engine is still writing, or left unfinished.
std::vector<std::string> unfinished_files(const std::string& folder) {
  std::vector<std::string> found;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    const std::string name = entry.cFileName, path = folder + "\\" + name;
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      for (const std::string& inner : unfinished_files(path)) found.push_back(inner);
    } else if (name[0] == kestrune::kUnfinishedMark) {
      found.push_back(path);
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return found;
}

std::vector<std::string> listed_paths() {
  ListLock hold;
  std::vector<std::string> paths;
  for (const FoundFile& f : g_found_files.records) paths.push_back(f.file_path);
  return paths;
}

class EngineUnderWine : public ::testing::Test {
 protected:
  void SetUp() override { std::strcpy(request.cache_folder, (scratch / "cache").c_str()); }
  void TearDown() override {
    job.stop();
    reset_found_files();
    if (!card_.empty()) {
      EXPECT_TRUE(read_bytes(scratch / "card.img") == card_) << "the engine never writes to the card";
    }
  }
  // A card of `sectors` sectors with the PNGs at the given sectors; returns the PNGs.
  std::vector<Bytes> make_card(uint32_t sectors, const std::vector<uint32_t>& at) {
    Bytes card(size_t(sectors) * 512);
    std::vector<Bytes> pngs;
    for (size_t i = 0; i < at.size(); ++i) {
      pngs.push_back(make_png(40 + 13 * uint32_t(i), 30 + 7 * uint32_t(i), uint32_t(i) + 3));
      std::memcpy(card.data() + size_t(at[i]) * 512, pngs.back().data(), pngs.back().size());
    }
    EXPECT_TRUE(write_bytes(scratch / "card.img", card));
    std::strcpy(request.volume, (scratch / "card.img").c_str());
    card_ = card;
    return pngs;
  }

  // The first `count` of the PNGs are the files found, in order, their bytes whole once
  // the first 16 that the session complements are turned back.
  void expect_found(const std::vector<Bytes>& pngs, size_t count) {
    ASSERT_GE(g_found_files.records.size(), count);
    for (size_t i = 0; i < count; ++i) {
      Bytes got = read_bytes(g_found_files.records[i].file_path);
      ASSERT_EQ(got.size(), pngs[i].size());
      for (size_t k = 0; k < 16; ++k) got[k] = static_cast<unsigned char>(~got[k]);
      EXPECT_EQ(got, pngs[i]);
    }
  }

  ScratchFolder scratch{"kes_wine"};
  Bytes card_;  // the card as written, checked after the scan; empty when a test changes it
  ScanRequest request = {};
  ScanJob job;
};

}  // namespace

TEST_F(EngineUnderWine, FoundFilesAreListedWithHeadersComplementedAndProgressComplete) {
  const uint32_t sectors = 6000;
  std::vector<Bytes> pngs = make_card(sectors, {1, 700, 3000, 5900});
  request.photo = 1;
  const ScanSnapshot end = run_scan(job, request);
  ASSERT_EQ(end.outcome, kScanEnded) << "the scan ends with the zero-length message";
  ASSERT_EQ(g_found_files.records.size(), pngs.size());
  for (size_t i = 0; i < pngs.size(); ++i) {
    const FoundFile& f = g_found_files.records[i];
    EXPECT_STREQ(f.ext, "png");
    EXPECT_EQ(f.complemented, 1);
    EXPECT_EQ(std::string(f.file_path).find("thumb_"), std::string::npos);
    EXPECT_EQ(std::string(f.file_path).rfind(scratch / "cache\\tmp\\", 0), 0u) << f.file_path;
    Bytes got = read_bytes(f.file_path);
    ASSERT_EQ(got.size(), pngs[i].size()) << f.file_path;
    for (size_t k = 0; k < 16; ++k) got[k] = static_cast<unsigned char>(~got[k]);
    EXPECT_EQ(got, pngs[i]) << f.file_path;
  }
  EXPECT_EQ(end.sectors_total, sectors);
  EXPECT_EQ(end.sectors_done, sectors);
}

TEST_F(EngineUnderWine, OnlyTheWantedKindsAreSearched) {
  make_card(2000, {10, 500});
  request.video = 1;
  request.audio = 1;
  const ScanSnapshot end = run_scan(job, request);
  ASSERT_EQ(end.outcome, kScanEnded);
  EXPECT_TRUE(g_found_files.records.empty());
  EXPECT_EQ(end.sectors_total, 2000u);
}

TEST_F(EngineUnderWine, AVolumeThatCannotBeOpenedEndsTheScanAsFailed) {
  std::strcpy(request.volume, (scratch / "missing.img").c_str());
  request.photo = 1;
  EXPECT_EQ(run_scan(job, request).outcome, kScanFailed);
  EXPECT_TRUE(g_found_files.records.empty());
}

// The card goes away during the scan (its image is cut short under the engine): the
// engine goes through the rest without asking the card for it, the scan ends as
// "unreadable", and the files found before stay listed with their bytes.
TEST_F(EngineUnderWine, ACardRemovedDuringTheScanEndsItAsUnreadable) {
  std::vector<Bytes> pngs = make_card(6000, {1, 700, 3000, 5900});
  HANDLE image = CreateFileA(request.volume, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(image, INVALID_HANDLE_VALUE);
  auto cut_at = [&](LONGLONG bytes) {
    LARGE_INTEGER size;
    size.QuadPart = bytes;
    return SetFilePointerEx(image, size, nullptr, FILE_BEGIN) && SetEndOfFile(image);
  };
  ASSERT_TRUE(cut_at(512ll << 20));  // a card of 512 MiB, its photos at the start
  card_.clear();                     // cut short below, as a removed card
  request.photo = 1;
  ASSERT_TRUE(job.start(request));
  // The first report comes once the engine has the card open, before it reads any of it.
  ASSERT_NE(poll_until(job, [](const ScanSnapshot& s) { return s.sectors_total != 0; }, 30000).sectors_total, 0u);
  ASSERT_TRUE(cut_at(128ll << 20));
  CloseHandle(image);
  const ScanSnapshot end = poll_until(job, has_ended);
  EXPECT_EQ(end.outcome, kScanUnreadable);
  EXPECT_EQ(end.sectors_done, end.sectors_total) << "the scan went to the end";
  ASSERT_EQ(g_found_files.records.size(), pngs.size());
  expect_found(pngs, pngs.size());
}

// A card past 4 GiB, sparse but for its pictures: those that lie past 4 GiB come back
// whole, every offset on the way being 64-bit in the 32-bit engine.
TEST_F(EngineUnderWine, PicturesPastFourGibibytesComeBackWhole) {
  HANDLE image = CreateFileA((scratch / "card.img").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(image, INVALID_HANDLE_VALUE);
  const LONGLONG gib = 1ll << 30;
  const LONGLONG at[] = {4 * gib - 16384, 4 * gib + 32768, 4 * gib + 131072};  // across 4 GiB, then past it
  std::vector<Bytes> pngs;
  for (size_t i = 0; i < 3; ++i) {
    pngs.push_back(make_png(120 + 20 * uint32_t(i), 90, uint32_t(i) + 5));
    LARGE_INTEGER pos;
    pos.QuadPart = at[i];
    DWORD wrote = 0;
    ASSERT_TRUE(SetFilePointerEx(image, pos, nullptr, FILE_BEGIN) &&
                WriteFile(image, pngs.back().data(), DWORD(pngs.back().size()), &wrote, nullptr));
  }
  LARGE_INTEGER size;
  size.QuadPart = 4 * gib + (1 << 20);
  ASSERT_TRUE(SetFilePointerEx(image, size, nullptr, FILE_BEGIN) && SetEndOfFile(image));
  CloseHandle(image);
  std::strcpy(request.volume, (scratch / "card.img").c_str());
  request.photo = 1;
  const ScanSnapshot end = run_scan(job, request);
  ASSERT_EQ(end.outcome, kScanEnded);
  ASSERT_EQ(g_found_files.records.size(), pngs.size());
  expect_found(pngs, pngs.size());
  EXPECT_EQ(end.sectors_total, uint64_t(size.QuadPart / 512));
  DeleteFileA((scratch / "card.img").c_str());
}

// The cache's disk fills up while the engine writes: the scan ends as "cache full",
// every file listed before keeps its bytes, and no partial file is left behind.
TEST_F(EngineUnderWine, AFullCacheDiskEndsTheScanAsCacheFull) {
  wine_drive::SmallDisk disk(scratch / "small", 512 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "no small file system could be mounted here";
  std::strcpy(request.cache_folder, (scratch / "small").c_str());
  const uint32_t sectors = 8000;
  Bytes card(size_t(sectors) * 512);
  std::vector<Bytes> pngs;
  for (uint32_t i = 0; i < 12; ++i) {  // about 90 KB each: the disk takes five or six
    pngs.push_back(make_png(200, 150, i + 3));
    std::memcpy(card.data() + size_t(1 + 640 * i) * 512, pngs.back().data(), pngs.back().size());
  }
  ASSERT_TRUE(write_bytes(scratch / "card.img", card));
  std::strcpy(request.volume, (scratch / "card.img").c_str());
  card_ = card;
  request.photo = 1;
  EXPECT_EQ(run_scan(job, request).outcome, kScanCacheFull);
  const size_t listed = g_found_files.records.size();
  EXPECT_GE(listed, 1u);
  EXPECT_LT(listed, pngs.size());
  expect_found(pngs, listed);
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((scratch / "small\\tmp\\000\\*.part").c_str(), &entry);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "no partial file is left";
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

// Stop lands while the engine writes a long recording: the engine deletes its partial copy,
// reports the files it finished, ends its reports and exits with its stopped code within
// the grace. Nothing unfinished is left, and resuming lists what the scan listed.
TEST_F(EngineUnderWine, AStopMidFileLeavesOnlyFinishedFiles) {
  const Bytes recording = read_bytes(wide_to_ansi(own_folder()) + "media\\recording.wav");
  ASSERT_GT(recording.size(), 160u << 20);
  const Bytes photo = make_png(40, 30, 3);
  Bytes card(1u << 20);  // the photo at sector 1, the recording at 1 MiB
  std::memcpy(card.data() + 512, photo.data(), photo.size());
  card.insert(card.end(), recording.begin(), recording.end());
  card.resize(card.size() + (1u << 20));
  ASSERT_TRUE(write_bytes(scratch / "card.img", card));
  std::strcpy(request.volume, (scratch / "card.img").c_str());
  request.photo = request.audio = 1;

  ASSERT_TRUE(job.start(request));
  const std::string scan_folder = scratch / "cache\\tmp";
  const ScanSnapshot writing =
      poll_until(job, [&](const ScanSnapshot& s) { return has_ended(s) || !unfinished_files(scan_folder).empty(); });
  ASSERT_FALSE(has_ended(writing)) << "the recording was written before the stop";
  HANDLE engine = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, writing.engine_id);
  ASSERT_NE(engine, nullptr);
  const DWORD before = GetTickCount();
  job.stop();
  const DWORD stop_ms = GetTickCount() - before;
  EXPECT_EQ(job.poll().outcome, kScanStopped);
  DWORD code = 0;
  EXPECT_EQ(WaitForSingleObject(engine, 5000), WAIT_OBJECT_0);
  GetExitCodeProcess(engine, &code);
  CloseHandle(engine);
  EXPECT_EQ(code, static_cast<DWORD>(kestrune::kExitStopped)) << "the engine stopped by itself";
  EXPECT_LT(stop_ms, ScanJob::kStopGraceMs);
  EXPECT_TRUE(unfinished_files(scan_folder).empty());

  const std::vector<std::string> listed = listed_paths();
  ASSERT_FALSE(listed.empty());
  Bytes first = read_bytes(listed[0]);
  for (size_t k = 0; k < 16 && k < first.size(); ++k) first[k] = static_cast<unsigned char>(~first[k]);
  EXPECT_EQ(first, photo) << "the file finished before the stop is reported";
  for (const std::string& path : listed) EXPECT_LT(read_bytes(path).size(), recording.size()) << path;

  reset_found_files();
  wcscpy(cache_path, ansi_to_wide(request.cache_folder).c_str());
  EXPECT_EQ(resume_thread(nullptr), 0);
  std::vector<std::string> resumed = listed_paths(), scanned = listed;
  std::sort(resumed.begin(), resumed.end());
  std::sort(scanned.begin(), scanned.end());
  EXPECT_EQ(resumed, scanned) << "resuming lists the finished files and nothing else";
}
