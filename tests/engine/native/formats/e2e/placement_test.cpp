// Generated media placed on FAT32 and exFAT cards by the fragment placer: contiguous, in
// pieces (pairs interleaved cluster-wise), and in pieces on a card quick-formatted after
// use (its file system made again over it: nothing is listed any more), some of them
// past 4 GiB of a sparse image. Every file comes back byte for byte or cut where its
// structure stopped vouching for it, never with another file's bytes in its place; sound
// and pixels that no structure checks are read on contiguously, but never into a
// cluster where another file begins.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "formats/e2e/placed_card.h"

namespace kes::test {
namespace {

struct Layout {
  const char* what;
  const char* make;   // {} stands for the image
  const char* quick;  // the same file system made again over it after use; null: none
  int pieces;
  uint64_t at;  // where the placer begins
};

// Formats whose payload no structure checks: their contiguous reading is kept.
bool unchecked(const std::string& name) {
  const std::string ext = name.substr(name.rfind('.'));
  return ext == ".wav" || ext == ".bmp" || ext == ".au";
}

Bytes read_at(const std::string& img, uint64_t offset, size_t n) {
  std::ifstream in(img, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  Bytes b(n);
  in.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(n));
  b.resize(static_cast<size_t>(in.gcount()));
  return b;
}

TEST(Placement, FilesComeBackWholeOrCutNeverWithAnotherFilesBytes) {
  if (!run("command -v mkfs.fat && command -v mkfs.exfat")) GTEST_SKIP() << "no mkfs tools";
  const uint64_t GiB = uint64_t(1) << 30;
  const Layout layouts[] = {
      {"FAT32, contiguous", "mkfs.fat -F 32 -s 8 -C {} 300000", nullptr, 1, 0},
      {"FAT32, in pieces", "mkfs.fat -F 32 -s 8 -C {} 300000", nullptr, 3, 0},
      {"FAT32, in pieces, quick-formatted", "mkfs.fat -F 32 -s 8 -C {} 300000", "mkfs.fat -F 32 -s 8 {}", 3, 0},
      {"exFAT, in pieces, quick-formatted", "truncate -s 24M {} && mkfs.exfat -c 4K {}", "mkfs.exfat -c 4K {}", 3, 0},
      {"exFAT, past 4 GiB, in pieces, quick-formatted", "truncate -s 4160M {} && mkfs.exfat -c 32K {}",
       "mkfs.exfat -c 32K {}", 2, 4 * GiB + 1234567},
  };
  // Pairs interleave: each file's gaps hold its partner's pieces.
  const std::vector<Planned> plan = {
      {"jpg_big.jpg", 0, false},      {"mpg_muxed.mpg", 0, false},    // a program stream
      {"bmp_24.bmp", 0, false},       {"riff_avi.avi", 0, false},     // pixels, then a movie's start
      {"m2ts_packets.m2t", 0, false}, {"riff_wav.wav", 0, false},     // a stream, sound read on over it
      {"gif_still.gif", 0, false},    {"mov_mp4.mp4", 0, false},
      {"flac_stereo.flac", 0, false}, {"jpg_progressive.jpg", 0, false},
      {"mpg_vob.mpg", 0, false},      {"png_rgb.png", 0, false},
      {"mkv_webm.webm", 0, false},    {"flv_video.flv", 0, false},
  };
  const std::string options =
      "fileopt,everything,disable,jpg,enable,png,enable,gif,enable,bmp,enable,riff,enable,mov,enable,mkv,enable,"
      "flv,enable,mpg,enable,m2ts,enable,flac,enable,search";
  int seed = 3;
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.what);
    kes_test::TempDir dir;
    const std::string img = dir / "card.img";
    ASSERT_TRUE(run(with_image(l.make, img)));
    std::vector<Planned> files = plan;
    for (Planned& p : files) p.pieces = l.pieces;
    const std::map<std::string, Original> originals = place(dir.path(), img, files, seed++, l.at);
    ASSERT_EQ(originals.size(), plan.size());
    if (l.quick) ASSERT_TRUE(run(with_image(l.quick, img)));
    kes_test::EngineRun r = kes_test::run_engine(KESSRV_EXE, {"/d", dir / "out", "/cmd", img, options});
    ASSERT_EQ(r.exit_code, 0) << r.err;

    std::set<uint64_t> starts;  // of every placed file
    for (const auto& entry : originals) starts.insert(entry.second.extents[0].first);
    std::set<Bytes> found;
    for (const Bytes& f : written(r)) {
      found.insert(f);
      bool clean = false;
      for (const auto& [name, o] : originals) {
        if (is_prefix(f, o.bytes)) clean = true;
        // A contiguous reading of unchecked bytes, up to the next file's first cluster.
        const uint64_t start = o.extents[0].first;
        const auto next = starts.upper_bound(start);
        if (unchecked(name) && f.size() > 64 && std::equal(f.begin(), f.begin() + 64, o.bytes.begin()) &&
            (next == starts.end() || start + f.size() <= *next))
          clean = clean || f == read_at(img, start, f.size());
      }
      std::string whose = "no original";
      for (const auto& [name, o] : originals)
        if (f.size() >= 512 && o.bytes.size() >= 512 && std::equal(f.begin(), f.begin() + 512, o.bytes.begin()))
          whose = name;
      EXPECT_TRUE(clean) << "a written file of " << f.size() << " bytes begun as " << whose << " holds other bytes";
    }
    // Whole, but for what no structure vouches for after a piece, a PNG chunk that spans
    // three pieces and a movie whose index comes last, past more than one break: no one
    // splice can check those.
    for (const auto& [name, o] : originals) {
      const bool chunk_spans = name.rfind(".png") != std::string::npos && o.shortest_middle() < 32 * 1024 + 12;
      const bool index_last = name.rfind(".mp4") != std::string::npos && o.pieces > 2;
      if (o.pieces == 1 || !(unchecked(name) || chunk_spans || index_last))
        EXPECT_TRUE(found.count(o.bytes)) << name << " in " << o.pieces << " pieces";
    }
  }
}

// Movies whose later pieces were written over by another file's bytes: their structure
// says they go on, nothing continues them, and the unit that reaches past their first
// piece is not checked there: each is cut before it, never written with those bytes.
TEST(Placement, FilesWhoseNextPieceIsGoneEndBeforeIt) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  kes_test::TempDir dir;
  const std::string img = dir / "card.img";
  ASSERT_TRUE(run("mkfs.fat -F 32 -s 8 -C " + img + " 300000"));
  const std::map<std::string, Original> originals =
      place(dir.path(), img,
            {{"flv_video.flv", 2, false},
             {"mkv_webm.webm", 2, false},
             {"riff_avi.avi", 2, false},
             {"mkv_video.mkv", 2, false}},
            7);
  {
    std::fstream card(img, std::ios::in | std::ios::out | std::ios::binary);
    for (const auto& entry : originals) {
      const auto& [at, length] = entry.second.extents.back();
      const Bytes other = noise(length, 9);
      card.seekp(static_cast<std::streamoff>(at));
      card.write(reinterpret_cast<const char*>(other.data()), static_cast<std::streamsize>(other.size()));
    }
  }
  const std::string options = "fileopt,everything,disable,riff,enable,mkv,enable,flv,enable,search";
  kes_test::EngineRun r = kes_test::run_engine(KESSRV_EXE, {"/d", dir / "out", "/cmd", img, options});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<Bytes> files = written(r);
  EXPECT_EQ(files.size(), originals.size());
  expect_no_foreign_bytes(files, originals);
}

}  // namespace
}  // namespace kes::test
