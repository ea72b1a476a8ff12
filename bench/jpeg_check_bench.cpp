// The engine's JPEG check on one thread: every file measured from memory, in passes over
// all of them until two seconds of processor time have gone; prints the bytes of one pass
// and the checked MB per second of processor time. Each file must measure whole, to its
// own end: a check that stopped early would flatter the figure.
//   kes_jpeg_check_bench <file>...
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

#include "format.h"

int main(int argc, char** argv) {
  const kes::Format* jpg = kes::find_format("jpg");
  std::vector<std::vector<uint8_t>> files;
  double bytes = 0;
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    kes::MemorySource src(files.back().data(), files.back().size());
    const kes::Carve c = jpg->measure(src, 0, jpg->max_length);
    if (c.verdict != kes::Verdict::complete || c.length != files.back().size()) {
      std::fprintf(stderr, "%s does not measure whole (%llu of %zu bytes)\n", argv[i],
                   static_cast<unsigned long long>(c.length), files.back().size());
      return 1;
    }
    bytes += static_cast<double>(files.back().size());
  }
  if (files.empty()) return 2;
  const std::clock_t start = std::clock();
  double secs = 0;
  long passes = 0;
  do {
    for (const auto& f : files) {
      kes::MemorySource src(f.data(), f.size());
      jpg->measure(src, 0, jpg->max_length);
    }
    ++passes;
    secs = double(std::clock() - start) / CLOCKS_PER_SEC;
  } while (secs < 2.0);
  std::printf("%.0f %.1f\n", bytes, bytes * static_cast<double>(passes) / secs / 1e6);
  return 0;
}
