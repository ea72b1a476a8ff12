// Hostile pictures through the real thumbnail path: mutated JPEG, PNG, GIF, BMP, TIFF and
// DNG files are cached as a scan caches them (header complemented) and handed to the
// thumbnail worker's pass, which decodes them with libjpeg, GDI+ and LibRaw under Wine.
// No input may crash or hang the worker, change the cached file, or leave anything but
// a whole 117 x 82 thumbnail or none; the worker always moves on to the next record.
// TESS_FUZZ_INPUTS (default 600) and TESS_FUZZ_SEED (default 1) set the run; inputs that
// crash or hang are kept in TESS_FUZZ_KEEP (default: beside the test) for a regression.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "background_files.h"
#include "dng_preview.h"
#include "dng_writer.h"
#include "session/found_file_list.h"
#include "session/thumbnail_worker.h"

namespace {

struct Seed {
  std::string ext;
  std::string bytes;
};

std::vector<Seed> seeds() {
  std::vector<Seed> out;
  for (const char* name : {"seed.jpg", "progressive.jpg", "seed.png", "interlaced.png", "animated.gif",
                           "palette.bmp", "seed.bmp", "lzw.tiff"}) {
    std::string bytes = get_file(std::string("media\\") + name);
    if (!bytes.empty()) out.push_back({std::strrchr(name, '.') + 1, bytes});
  }
  out.push_back({"tif", get_file("media\\lzw.tiff")});  // a plain TIFF meets LibRaw under .tif
  DngParams with_preview;
  with_preview.preview = marked_preview(160, 120, true);
  DngParams bitmap_preview;
  bitmap_preview.preview = marked_preview(128, 96, false);
  bitmap_preview.orientation = 6;
  for (const DngParams& params : {DngParams{}, with_preview, bitmap_preview}) {
    std::vector<uint8_t> dng = make_dng(params);
    out.push_back({"dng", std::string(dng.begin(), dng.end())});
  }
  return out;
}

// One to three of: bit flips, interesting bytes, a large number over a length field,
// a cut, a repeated slice, a removed slice.
std::string mutate(std::string bytes, std::mt19937& rng) {
  auto pick = [&](size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; };
  const int steps = 1 + static_cast<int>(pick(3));
  for (int step = 0; step < steps && !bytes.empty(); ++step) {
    switch (pick(6)) {
      case 0:
        for (size_t n = 1 + pick(16); n > 0; --n) bytes[pick(bytes.size())] ^= static_cast<char>(1 << pick(8));
        break;
      case 1: {
        static const char interesting[] = {0, '\xFF', '\x7F', '\x80', 1, '\xFE'};
        for (size_t n = 1 + pick(8); n > 0; --n) bytes[pick(bytes.size())] = interesting[pick(6)];
        break;
      }
      case 2: {
        static const uint32_t large[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x0000FFFFu, 0x00010000u, 0x40000000u};
        const uint32_t v = large[pick(5)];
        const size_t at = pick(bytes.size());
        const bool big_endian = pick(2) != 0;
        for (size_t k = 0; k < 4 && at + k < bytes.size(); ++k)
          bytes[at + k] = static_cast<char>(v >> (8 * (big_endian ? 3 - k : k)));
        break;
      }
      case 3:
        bytes.resize(1 + pick(bytes.size()));
        break;
      case 4: {
        const size_t from = pick(bytes.size());
        const std::string slice = bytes.substr(from, 1 + pick(4096));
        bytes.insert(pick(bytes.size()), slice);
        break;
      }
      default:
        bytes.erase(pick(bytes.size()), 1 + pick(1024));
        break;
    }
  }
  return bytes;
}

std::string keep_folder() {
  char folder[MAX_PATH] = "fuzz_found";
  GetEnvironmentVariableA("TESS_FUZZ_KEEP", folder, MAX_PATH);
  CreateDirectoryA(folder, nullptr);
  return folder;
}

// The input that was being decoded when the process met a fault, kept for a regression.
std::string g_current_input, g_current_name;
LONG WINAPI keep_crashing_input(EXCEPTION_POINTERS* fault) {
  std::string kept = keep_folder() + "\\crash-" + g_current_name;
  CopyFileA(g_current_input.c_str(), kept.c_str(), FALSE);
  std::fprintf(stderr, "fault %08lx decoding %s, kept as %s\n", fault->ExceptionRecord->ExceptionCode,
               g_current_input.c_str(), kept.c_str());
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

unsigned long env_number(const char* name, unsigned long fallback) {
  char text[32] = {};
  return GetEnvironmentVariableA(name, text, sizeof text) ? std::strtoul(text, nullptr, 10) : fallback;
}

DWORD WINAPI one_pass(void*) { return thumbnail_worker_pass() ? 1 : 0; }

bool whole_thumbnail(const std::string& png) {
  auto be32 = [&](size_t at) {
    return (uint32_t(uint8_t(png[at])) << 24) | (uint32_t(uint8_t(png[at + 1])) << 16) |
           (uint32_t(uint8_t(png[at + 2])) << 8) | uint8_t(png[at + 3]);
  };
  return png.size() > 33 && png.compare(0, 4, "\x89PNG") == 0 && be32(16) == 117 && be32(20) == 82;
}

}  // namespace

TEST(ThumbnailFuzz, HostilePicturesNeitherCrashNorHangTheWorker) {
  const std::vector<Seed> originals = seeds();
  ASSERT_GE(originals.size(), 12u) << "the seed pictures are made beside the test";
  const unsigned long inputs = env_number("TESS_FUZZ_INPUTS", 600);
  const unsigned long seed = env_number("TESS_FUZZ_SEED", 1);
  const DWORD limit_ms = env_number("TESS_FUZZ_LIMIT_MS", 30000);
  ScratchFolder cache("fuzz");
  SetUnhandledExceptionFilter(keep_crashing_input);
  std::vector<unsigned long> per_seed(originals.size());
  unsigned long thumbnails = 0;
  for (unsigned long i = 0; i < inputs; ++i) {
    std::mt19937 rng(static_cast<uint32_t>(seed * 1000003u + i));
    const size_t which = i % originals.size();
    const Seed& original = originals[which];
    ++per_seed[which];
    const std::string input = mutate(original.bytes, rng);
    g_current_name = std::to_string(seed) + "-" + std::to_string(i) + "." + original.ext;
    g_current_input = cache / ("f" + std::to_string(i) + "." + original.ext);
    ASSERT_TRUE(put_file(g_current_input, input));
    reset_found_files();
    ASSERT_EQ(append_found_file(g_current_input.c_str()), 0);
    const std::string cached = get_file(g_current_input);

    HANDLE pass = CreateThread(nullptr, 0, one_pass, nullptr, 0, nullptr);
    if (WaitForSingleObject(pass, limit_ms) != WAIT_OBJECT_0) {
      CopyFileA(g_current_input.c_str(), (keep_folder() + "\\hang-" + g_current_name).c_str(), FALSE);
      FAIL() << "input " << i << " (" << original.ext << ") still decoding after " << limit_ms << " ms";
    }
    CloseHandle(pass);

    FoundFile record;
    {
      ListLock hold;
      ASSERT_EQ(g_found_files.thumbnail_cursor, 1u) << "the worker moves on";
      record = g_found_files.records[0];
    }
    EXPECT_EQ(get_file(g_current_input), cached) << "input " << i << ": the cached file is as the scan left it";
    const std::string thumb = get_file(record.thumb_path);
    if (!thumb.empty()) {
      ++thumbnails;
      EXPECT_TRUE(whole_thumbnail(thumb)) << "input " << i;
    } else if (original.ext != "dng" && original.ext != "tif") {
      EXPECT_EQ(record.width, 0) << "input " << i << ": a rejected picture keeps its placeholder";
    }
    DeleteFileA(record.thumb_path);
    DeleteFileA(g_current_input.c_str());
  }
  reset_found_files();
  std::printf("%lu inputs from seed %lu, %lu thumbnails written\n", inputs, seed, thumbnails);
}
