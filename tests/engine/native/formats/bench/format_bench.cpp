// Prints how fast each format measures its generated samples (build without
// sanitizers for real figures). Usage: kes_format_bench [seconds-per-sample [folder]]
// (the folder defaults to the generated samples; files are picked by name prefix, or
// by extension: .jpg/.JPG files such as camera pictures, movies and Matroska).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "format.h"

int main(int argc, char** argv) {
  double budget = argc > 1 ? std::atof(argv[1]) : 0.3;
  const std::pair<const char*, const char*> by_prefix[] = {
      {"jpg_", "jpg"}, {"png_", "png"}, {"gif_", "gif"}, {"bmp_", "bmp"},
      {"ico_", "ico"}, {"psd_", "psd"}, {"tif_", "tif"}, {"riff_", "riff"},
      {"mpg_", "mpg"}, {"m2ts_", "m2ts"}, {"dv_", "dv"},   {"ifo_", "ifo"},
      {"mp3_", "mp3"}, {"ogg_", "ogg"},   {"flac_", "flac"}, {"wv_", "wv"}};
  std::printf("%-28s %10s %12s %10s\n", "sample", "bytes", "us/measure", "MB/s");
  std::vector<std::filesystem::path> paths;
  const char* dir = argc > 2 ? argv[2] : KES_MEDIA_DIR;
  for (const auto& e : std::filesystem::directory_iterator(dir)) paths.push_back(e.path());
  std::sort(paths.begin(), paths.end());
  for (const auto& path : paths) {
    std::string name = path.filename().string();
    const kes::Format* f = nullptr;
    for (auto [prefix, option] : by_prefix)
      if (name.rfind(prefix, 0) == 0) f = kes::find_format(option);
    const std::pair<const char*, const char*> by_ext[] = {{".jpg", "jpg"}, {".JPG", "jpg"}, {".mp4", "mov"},
                                                          {".mov", "mov"}, {".m4a", "mov"}, {".3gp", "mov"},
                                                          {".mkv", "mkv"}, {".webm", "mkv"}};
    for (auto [ext, option] : by_ext)
      if (!f && path.extension() == ext) f = kes::find_format(option);
    if (!f) continue;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    kes::MemorySource src(data.data(), data.size());
    // Processor time, not wall time: the figures hold on a machine shared with other work.
    const std::clock_t start = std::clock();
    double secs = 0;
    long runs = 0;
    do {
      f->measure(src, 0, f->max_length);
      ++runs;
      secs = double(std::clock() - start) / CLOCKS_PER_SEC;
    } while (secs < budget);
    std::printf("%-28s %10zu %12.1f %10.1f\n", name.c_str(), data.size(), secs / runs * 1e6,
                data.size() * double(runs) / secs / 1e6);
  }
  return 0;
}
