// Times make_thumbnail over every picture in a folder and reports thumbnails per second
// and the peak working set. Usage: thumbnail_bench <folder> [dng-count]
// With a dng-count, that many 4000x3000 synthetic DNGs are written into the folder first.
// Every common picture is also timed through the full-size GDI+ decode for comparison.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "dng_writer.h"
#include "imaging/image.h"
#include "imaging/image_files.h"
#include "imaging/thumbnail.h"

namespace {

std::string milliseconds(double seconds) {
  return std::to_string(static_cast<long>(seconds * 1000.0 + 0.5)) + " ms";
}

std::string mebibytes(SIZE_T bytes) {
  return std::to_string(static_cast<unsigned long>(bytes / (1024 * 1024))) + " MiB";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: thumbnail_bench <folder> [dng-count]\n");
    return 2;
  }
  std::string folder = argv[1];
  int dngs = argc > 2 ? atoi(argv[2]) : 0;
  for (int i = 0; i < dngs; ++i) {
    DngParams params;
    params.width = 4000;
    params.height = 3000;
    std::string path = folder + "\\raw" + std::to_string(i) + ".dng";
    if (!write_dng(path.c_str(), params)) fprintf(stderr, "cannot write %s\n", path.c_str());
  }

  std::vector<std::string> files;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.rfind("thumb_", 0) != 0 &&
          thumbnail_decoder_for(name.c_str()) != ThumbnailDecoder::none)
        files.push_back(name);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }

  CImage keep_gdiplus;  // one live image keeps GDI+ started between thumbnails
  double jpeg_total = 0, raw_total = 0, full_total = 0;
  int jpegs = 0, raws = 0, failed = 0;
  for (const std::string& name : files) {
    FoundFile record = {};
    snprintf(record.file_path, sizeof record.file_path, "%s\\%s", folder.c_str(), name.c_str());
    snprintf(record.thumb_path, sizeof record.thumb_path, "%s\\thumb_%s.png", folder.c_str(),
             name.c_str());
    DeleteFileA(record.thumb_path);
    double start = seconds_now();
    int rc = make_thumbnail(record);
    double took = seconds_now() - start;
    bool raw = thumbnail_decoder_for(name.c_str()) == ThumbnailDecoder::raw;
    if (rc != 0 || GetFileAttributesA(record.thumb_path) == INVALID_FILE_ATTRIBUTES) ++failed;
    (raw ? raw_total : jpeg_total) += took;
    ++(raw ? raws : jpegs);
    std::string full;
    if (!raw) {
      // The same picture decoded whole by GDI+ and scaled by the halftone stretch alone.
      double begin = seconds_now();
      std::vector<uint8_t> bytes;
      CImage image;
      if (read_file_to_memory(record.file_path, bytes) == 0 &&
          load_image_from_memory(bytes, image) == 0) {
        save_thumbnail(image, (std::string(record.thumb_path) + ".full.png").c_str());
      }
      double full_took = seconds_now() - begin;
      full_total += full_took;
      full = "  (full GDI+ decode: " + milliseconds(full_took) + ")";
    }
    printf("%-16s %5dx%-5d %s%s\n", name.c_str(), record.width, record.height,
           milliseconds(took).c_str(), full.c_str());
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  if (jpegs)
    printf("common: %d files, %s each, %.2f thumbnails/s (full GDI+ decode: %s each)\n", jpegs,
           milliseconds(jpeg_total / jpegs).c_str(), jpegs / jpeg_total,
           milliseconds(full_total / jpegs).c_str());
  if (raws)
    printf("raw:    %d files, %s each, %.2f thumbnails/s\n", raws,
           milliseconds(raw_total / raws).c_str(), raws / raw_total);
  printf("all:    %.2f thumbnails/s, peak working set %s, failed %d\n",
         (jpegs + raws) / (jpeg_total + raw_total), mebibytes(memory.PeakWorkingSetSize).c_str(),
         failed);
  return failed ? 1 : 0;
}
