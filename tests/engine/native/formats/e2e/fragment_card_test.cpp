// Fragmented files through the real engine: FAT and exFAT images made by Debian's mkfs
// tools, samples written into them in pieces by the fragment placer (pairs of files
// interleaved cluster-wise, some still listed), scanned with every format enabled. Every
// deleted file of a format whose structure can be followed must come back byte for byte,
// and nothing written may hold a byte that is not its original's: a file the search
// could not finish is cut at its last validated byte. One card is carved with one and
// with four measure threads, for the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "byte_source.h"
#include "formats/e2e/placed_card.h"
#include "kestrune_contract.h"
#include "volume_layout.h"

namespace kes::test {
namespace {

struct Volume {
  const char* make;  // {} stands for the image path
  const char* kind;  // as the engine's summary names it
};

bool ends_with(const std::string& name, const char* ext) {
  const size_t n = std::strlen(ext);
  return name.size() > n && name.compare(name.size() - n, n, ext) == 0;
}

// A fresh volume at `img`, made as `v` says.
bool make_volume(const Volume& v, const std::string& img) {
  return run(with_image(v.make, img));
}

// A FAT volume made afresh at `img` by "mkfs.fat <options> -C img <KiB>": its bytes and
// its layout (none when mkfs failed).
struct Card {
  Bytes bytes;
  VolumeLayout layout;
};
Card fresh_fat(const std::string& img, const std::string& options, const std::string& kib) {
  Card c;
  if (!run("mkfs.fat " + options + " -C " + img + " " + kib)) return c;
  c.bytes = kes_test::read_file(img);
  MemorySource volume(c.bytes.data(), c.bytes.size());
  c.layout = read_volume_layout(volume);
  return c;
}

// Lists the clusters of [offset, offset + n) in every FAT of a FAT16 card, as another
// file's.
void list_fat16(Bytes& card, const VolumeLayout& layout, uint64_t offset, uint64_t n) {
  const uint32_t sector = card[11] | card[12] << 8, reserved = card[14] | card[15] << 8, fat = card[22] | card[23] << 8;
  for (uint64_t c = layout.cluster_at(offset); c <= layout.cluster_at(offset + n - 1); ++c)
    for (unsigned copy = 0; copy < card[16]; ++copy) put16le(card, (reserved + copy * fat) * sector + 2 * (c + 2), 0xFFFF);
}

// `file` written from cluster 200 of a copy of `fresh` in pieces that end at the file
// offsets `breaks`, `gap` after each, and carved with the search option `option` alone
// into `out`: the files written (none when the engine failed). With `listed_gaps` (a
// FAT16 card), the gaps, and one after the last piece, are another file's listed clusters.
std::vector<Bytes> carve_in_pieces(const Card& fresh, const std::string& img, const std::string& out, const Bytes& file,
                                   const std::vector<uint64_t>& breaks, const Bytes& gap, const std::string& option,
                                   bool listed_gaps = false) {
  Bytes card = fresh.bytes;
  uint64_t at = fresh.layout.cluster_offset(200), from = 0;
  for (size_t i = 0; i <= breaks.size(); ++i) {
    const uint64_t to = i < breaks.size() ? breaks[i] : file.size();
    std::copy(file.begin() + from, file.begin() + to, card.begin() + at);
    at += to - from;
    if (i == breaks.size() && listed_gaps) at = fresh.layout.cluster_offset(fresh.layout.cluster_at(at - 1) + 1);
    if (i < breaks.size() || listed_gaps) std::copy(gap.begin(), gap.end(), card.begin() + at);
    if (listed_gaps) list_fat16(card, fresh.layout, at, gap.size());
    at += gap.size();
    from = to;
  }
  kes_test::write_file(img, card);
  kes_test::EngineRun r =
      kes_test::run_engine(KESSRV_EXE, {"/d", out, "/cmd", img, "fileopt,everything,disable," + option + ",enable,search"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  return written(r);
}

// Formats whose structure tells a wrong continuation from the right one. A unit that
// spans three pieces (a PNG chunk of 32 KiB, an Ogg page of up to 17 KiB here) cannot
// be checked by any one splice, and a first piece of fewer than four MP3 frames is no
// sign of a stream: such files are only cut, never written with a wrong piece. PCM
// sound carries no check: its pieces are told by the listed clusters between them.
bool followed(const std::string& name, const Original& o) {
  if (ends_with(name, ".png")) return o.shortest_middle() > 32 * 1024 + 12;
  if (ends_with(name, ".ogg")) return o.shortest_middle() > 17214;
  if (ends_with(name, ".mp3")) return o.first() >= 4 * 418;
  for (const char* ext : {".jpg", ".gif", ".avi", ".wav", ".flac", ".m2t", ".webm", ".flv", ".tif"})
    if (ends_with(name, ext)) return true;
  return false;
}

TEST(FragmentCard, FragmentedFilesComeBackWhole) {
  if (!run("command -v mkfs.fat && command -v mkfs.exfat")) GTEST_SKIP() << "no mkfs tools";
  const Volume volumes[] = {
      {"mkfs.fat -F 12 -s 2 -C {} 4000", "FAT12"},     // 1 KiB clusters
      {"mkfs.fat -F 16 -s 4 -C {} 16384", "FAT16"},    // 2 KiB
      {"mkfs.fat -F 32 -s 8 -C {} 300000", "FAT32"},   // 4 KiB
      {"truncate -s 24M {} && mkfs.exfat -c 4K {}", "exFAT"},
      {"truncate -s 48M {} && mkfs.exfat -c 32K {}", "exFAT"},
  };
  // Pairs interleave: each file's gaps hold its partner's pieces.
  const std::vector<Planned> plan = {
      {"png_rgb.png", 5, false},       {"jpg_big.jpg", 4, false},
      {"gif_still.gif", 3, false},     {"riff_avi.avi", 3, true},
      {"jpg_progressive.jpg", 3, false}, {"png_stored.png", 6, false},
      {"jpg_exif_thumb.jpg", 2, false}, {"tif_strips.tif", 3, false},
      {"bmp_24.bmp", 2, true},         {"jpg_restart.jpg", 9, false},
      {"riff_wav.wav", 3, false},      {"png_rgba.png", 4, true},
      // Streams, each between the pieces of a listed picture.
      {"flac_stereo.flac", 3, false},  {"png_palette.png", 3, true},
      {"m2ts_packets.m2t", 3, false},  {"png_palette.png", 3, true},
      {"ogg_flac.ogg", 3, false},      {"png_palette.png", 3, true},
      {"mp3_bare.mp3", 3, false},      {"png_palette.png", 3, true},
      {"mkv_webm.webm", 3, false},     {"png_palette.png", 3, true},
      {"flv_video.flv", 3, false},     {"png_palette.png", 3, true},
      // Sound whose samples nothing checks, between a deleted picture's pieces: it comes
      // back cut, or whole, never with the picture's bytes.
      {"au_sox.au", 3, false},         {"png_rgb.png", 3, false},
  };
  const std::string options =
      "fileopt,everything,disable,jpg,enable,png,enable,gif,enable,bmp,enable,tif,enable,riff,enable,"
      "flac,enable,m2ts,enable,ogg,enable,mp3,enable,mkv,enable,flv,enable,au,enable,search";
  int seed = 1;
  for (const Volume& v : volumes) {
    SCOPED_TRACE(v.make);
    kes_test::TempDir dir;
    const std::string img = dir / "card.img";
    ASSERT_TRUE(make_volume(v, img));
    const std::map<std::string, Original> originals = place(dir.path(), img, plan, seed++);
    std::set<std::string> samples;
    for (const Planned& p : plan) samples.insert(p.sample);
    ASSERT_EQ(originals.size(), samples.size());
    auto carve = [&](const char* threads, const std::string& out) {
      kes_test::RunOptions opts;
      opts.env = {{"KESTRUNE_THREADS", threads}};
      return kes_test::run_engine(KESSRV_EXE, {"/d", out, "/cmd", img, options}, opts);
    };
    kes_test::EngineRun r = carve("1", dir / "out");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    if (&v == &volumes[0]) {  // the searches follow the medium's order, not the measures' timing
      kes_test::EngineRun again = carve("4", dir / "again");
      EXPECT_EQ(written(again), written(r));
    }
    EXPECT_NE(r.err.find(std::string("volume: ") + v.kind), std::string::npos) << r.err;

    const std::vector<Bytes> files = written(r);
    const std::set<Bytes> found(files.begin(), files.end());
    int fragmented = 0;
    for (const auto& [name, o] : originals) {
      if (!o.deleted || !followed(name, o)) continue;
      fragmented += o.pieces > 1;
      EXPECT_TRUE(found.count(o.bytes)) << name << " in " << o.pieces << " pieces did not come back whole";
    }
    EXPECT_GE(fragmented, 3);  // the placer did fragment them
    expect_no_foreign_bytes(files, originals);
  }
}

// Two shots of one camera interleaved cluster-wise, nothing listed: each one's data
// decodes as the other's, and only their pictures tell which piece goes on which.
TEST(FragmentCard, ShotsOfOneCameraInPiecesComeBackWhole) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  for (int seed : {1, 2, 3}) {
    SCOPED_TRACE(seed);
    kes_test::TempDir dir;
    const std::string img = dir / "card.img";
    ASSERT_TRUE(make_volume({"mkfs.fat -F 32 -s 8 -C {} 300000", "FAT32"}, img));
    const std::map<std::string, Original> originals =
        place(dir.path(), img, {{"jpg_shot_a.jpg", 3, false}, {"jpg_shot_b.jpg", 3, false}}, seed);
    const kes_test::EngineRun r =
        kes_test::run_engine(KESSRV_EXE, {"/d", dir / "out", "/cmd", img, "fileopt,everything,disable,jpg,enable,search"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::vector<Bytes> files = written(r);
    for (const auto& [name, o] : originals)
      EXPECT_TRUE(std::find(files.begin(), files.end(), o.bytes) != files.end()) << name << " did not come back whole";
    expect_no_foreign_bytes(files, originals);
  }
}

// Files the file system still lists are read along their chains, however many runs
// those hold: two pictures interleaved in a dozen pieces each come back whole.
TEST(FragmentCard, ListedFilesInManyPiecesComeBackWhole) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  kes_test::TempDir dir;
  const std::string img = dir / "card.img";
  ASSERT_TRUE(run("mkfs.fat -F 32 -s 8 -C " + img + " 300000"));
  const std::map<std::string, Original> originals =
      place(dir.path(), img, {{"jpg_big.jpg", 12, true}, {"png_rgb.png", 12, true}}, 3);
  kes_test::EngineRun r = kes_test::run_engine(
      KESSRV_EXE, {"/d", dir / "out", "/cmd", img, "fileopt,everything,disable,jpg,enable,png,enable,search"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<Bytes> files = written(r);
  const std::set<Bytes> found(files.begin(), files.end());
  for (const auto& [name, o] : originals) {
    EXPECT_GT(o.pieces, 9) << name;
    EXPECT_TRUE(found.count(o.bytes)) << name << " in " << o.pieces << " pieces did not come back whole";
  }
}

// A deleted JPEG in pieces on an empty FAT32 volume, laid out in two ways the search
// must see through: a middle piece four clusters long, which it must not pass over to
// the third piece, whose data decodes on with the same tables once the middle is
// skipped; and a file that reaches the volume's last cluster and goes on at its start,
// where the file system's allocation went round.
TEST(FragmentCard, ShortMiddlePiecesAndPiecesRoundTheVolumeEnd) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  kes_test::TempDir dir;
  const std::string img = dir / "card.img";
  const Card fresh = fresh_fat(img, "-F 32 -s 8", "300000");
  const Bytes& empty = fresh.bytes;
  const VolumeLayout& layout = fresh.layout;
  const uint64_t cluster = layout.cluster_bytes(), last = layout.clusters() - 1;
  ASSERT_NE(cluster, 0u);
  const Bytes jpg = sample("jpg_big.jpg");
  struct Piece {
    uint64_t at_cluster, from, length;
  };
  const std::vector<std::vector<Piece>> layouts = {
      {{100, 0, 10 * cluster}, {300, 10 * cluster, 4 * cluster}, {500, 14 * cluster, jpg.size() - 14 * cluster}},
      {{last - 7, 0, 8 * cluster}, {40, 8 * cluster, 5 * cluster}, {60, 13 * cluster, jpg.size() - 13 * cluster}},
  };
  for (const std::vector<Piece>& pieces : layouts) {
    SCOPED_TRACE(pieces[0].at_cluster);
    Bytes card = empty;
    for (const Piece& p : pieces)
      std::copy(jpg.begin() + p.from, jpg.begin() + p.from + p.length, card.begin() + layout.cluster_offset(p.at_cluster));
    kes_test::write_file(img, card);
    kes_test::EngineRun r = kes_test::run_engine(KESSRV_EXE, {"/d", dir / ("out" + std::to_string(pieces[0].at_cluster)),
                                                              "/cmd", img, "fileopt,everything,disable,jpg,enable,search"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::vector<Bytes> files = written(r);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0] == jpg) << files[0].size() << " of " << jpg.size() << " bytes";
  }
}

// A photo whose next piece lies far on, past free clusters that hold nothing of it, as
// on a card where nothing is listed any more. In clusters of 512 bytes (at three piece
// ends) the search goes as far in bytes as in clusters of 4 KiB; in clusters of 4 KiB,
// where it broke is tried with each of hundreds before the clusters further back.
TEST(FragmentCard, APhotoIsFollowedPastHundredsOfFreeClusters) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  struct Case {
    const char* mkfs;
    const char* kib;
    uint64_t cluster, gap_clusters;
    int seed;
    std::vector<uint64_t> breaks;  // in bytes
  };
  const Case cases[] = {{"-F 16 -s 1", "30000", 512, 1200, 5, {60000, 100000, 140000}},
                        {"-F 16 -s 8", "40000", 4096, 700, 9, {25 * 4096}}};
  const Bytes jpg = sample("jpg_big.jpg");
  for (const Case& c : cases) {
    kes_test::TempDir dir;
    const std::string img = dir / "card.img";
    const Card fresh = fresh_fat(img, c.mkfs, c.kib);
    ASSERT_EQ(fresh.layout.cluster_bytes(), c.cluster);
    const Bytes gap = noise(c.gap_clusters * c.cluster, c.seed);
    for (uint64_t first : c.breaks) {
      first -= first % c.cluster;
      SCOPED_TRACE(std::to_string(c.cluster) + " " + std::to_string(first));
      const std::vector<Bytes> files =
          carve_in_pieces(fresh, img, dir / ("out" + std::to_string(first)), jpg, {first}, gap, "jpg");
      ASSERT_EQ(files.size(), 1u);
      EXPECT_TRUE(files[0] == jpg) << files[0].size() << " of " << jpg.size() << " bytes";
    }
  }
}

// A stream whose every frame header is checked, in pieces with a middle one of a single
// cluster: its frames hold through that cluster and break at its end, which tells the
// piece, although the stream's own later clusters decode further from a wrong place.
TEST(FragmentCard, ASingleClusterPieceOfCloselyCheckedFramesIsTaken) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  kes_test::TempDir dir;
  const std::string img = dir / "card.img";
  Card fresh = fresh_fat(img, "-F 32 -s 8", "300000");
  ASSERT_TRUE(fresh.layout.known());
  Bytes& card = fresh.bytes;
  const VolumeLayout& layout = fresh.layout;
  const uint64_t cluster = layout.cluster_bytes();
  Bytes mp3;  // a take of some length: the sample's frames five times over
  const Bytes take = sample("mp3_bare.mp3");
  for (int i = 0; i < 5; ++i) mp3.insert(mp3.end(), take.begin(), take.end());
  auto put = [&](uint64_t at_cluster, uint64_t from, uint64_t length) {
    std::copy(mp3.begin() + from, mp3.begin() + from + length, card.begin() + layout.cluster_offset(at_cluster));
  };
  put(100, 0, 2 * cluster);
  put(300, 2 * cluster, cluster);
  put(400, 3 * cluster, mp3.size() - 3 * cluster);
  kes_test::write_file(img, card);
  kes_test::EngineRun r =
      kes_test::run_engine(KESSRV_EXE, {"/d", dir / "out", "/cmd", img, "fileopt,everything,disable,mp3,enable,search"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<Bytes> files = written(r);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(files[0] == mp3) << files[0].size() << " of " << mp3.size() << " bytes";
}

// Deleted streams without an end code, whole in their clusters, whose last unit reaches
// across a cluster boundary: what follows fails to start a unit, which places a break,
// had there been one, but does not say the stream goes on. Each comes back whole.
TEST(FragmentCard, AStreamEndingInsideItsLastClusterComesBackWhole) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  const struct {
    const char* option;
    const char* name;
    size_t unit, units;  // the last one crosses a cluster boundary
    const char* mkfs;
    const char* kib;
  } streams[] = {{"m2ts", "m2ts_packets.m2t", 188, 66, "-F 32 -s 8", "300000"},
                 {"m2ts", "m2ts_timecoded.m2ts", 192, 86, "-F 32 -s 8", "300000"},
                 {"mpg", "mpg_vob.mpg", 2048, 40, "-F 16 -s 1", "30000"}};  // packs over 512-byte clusters
  for (const auto& s : streams) {
    SCOPED_TRACE(s.name);
    kes_test::TempDir dir;
    const std::string img = dir / "card.img";
    Card fresh = fresh_fat(img, s.mkfs, s.kib);
    ASSERT_TRUE(fresh.layout.known());
    const uint64_t cluster = fresh.layout.cluster_bytes();
    const Bytes whole = sample(s.name);
    ASSERT_GT(whole.size(), s.unit * s.units);
    const Bytes stream(whole.begin(), whole.begin() + s.unit * s.units);
    ASSERT_NE((stream.size() - 1) / cluster, (stream.size() - s.unit) / cluster);
    std::copy(stream.begin(), stream.end(), fresh.bytes.begin() + fresh.layout.cluster_offset(100));
    kes_test::write_file(img, fresh.bytes);
    const std::string options = std::string("fileopt,everything,disable,") + s.option + ",enable,search";
    kes_test::EngineRun r = kes_test::run_engine(KESSRV_EXE, {"/d", dir / "out", "/cmd", img, options});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::vector<Bytes> files = written(r);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0] == stream) << files[0].size() << " of " << stream.size() << " bytes";
  }
}

// A video tag whose payload nothing checks, broken inside by a run of foreign clusters:
// the same splice moved a cluster along on both sides holds alike, so no structure says
// which clusters the file holds around it. It is cut there, never written whole with
// foreign bytes inside the tag.
TEST(FragmentCard, ASpliceInsideAnUncheckedUnitIsCutNotGuessed) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  kes_test::TempDir dir;
  const std::string img = dir / "card.img";
  const Card fresh = fresh_fat(img, "-F 16 -s 1", "30000");
  const uint64_t cluster = fresh.layout.cluster_bytes();
  ASSERT_EQ(cluster, 512u);
  const Bytes flv = sample("flv_video.flv");
  // The largest tag (a key frame of some 4 KB): the break lies four clusters into it.
  uint64_t tag = 13, big = 0, big_size = 0;
  while (tag + 11 <= flv.size()) {
    const uint64_t size = uint64_t(flv[tag + 1]) << 16 | flv[tag + 2] << 8 | flv[tag + 3];
    if (size > big_size) big = tag, big_size = size;
    tag += 11 + size + 4;
  }
  ASSERT_GT(big_size, 8 * cluster);
  const uint64_t first = (big / cluster + 4) * cluster;
  const std::vector<Bytes> files = carve_in_pieces(fresh, img, dir / "out", flv, {first}, noise(40 * cluster, 9), "flv");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_LE(files[0].size(), first);
  EXPECT_TRUE(std::equal(files[0].begin(), files[0].end(), flv.begin())) << "foreign bytes in " << files[0].size();
}

// Movies that keep their moov after the mdat, as phones and cameras write them, broken
// far before the mdat's end, in two pieces and in three: nothing ties the pieces together
// but the moov, found where the mdat's size puts it within its cluster; its sample tables
// place the breaks and tell the middle piece. Each comes back whole, or cut at a break
// where the cluster after it holds only sound samples that nothing checks; never with
// foreign bytes inside.
TEST(FragmentCard, AMovieIsJoinedToThePieceThatHoldsItsIndex) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  kes_test::TempDir dir;
  const std::string img = dir / "card.img";
  const Card fresh = fresh_fat(img, "-F 16 -s 8", "40000");
  const uint64_t cluster = fresh.layout.cluster_bytes();
  int runs = 0;
  for (const std::string name : {"world_phone.mp4", "world_hvc1.mov", "world_mjpeg_pcm.mov", "world_pcm24.mov"}) {
    const Bytes movie = sample(name);
    auto third = [&](int n) { return movie.size() * n / 3 / cluster * cluster; };
    for (const std::vector<uint64_t>& breaks : {std::vector<uint64_t>{third(1)}, {third(2)}, {third(1), third(2)}}) {
      SCOPED_TRACE(name + " broken at " + std::to_string(breaks[0]) + " in " + std::to_string(breaks.size() + 1));
      const std::vector<Bytes> files = carve_in_pieces(fresh, img, dir / ("out" + std::to_string(runs++)), movie, breaks,
                                                       noise(50 * cluster, 7), "mov");
      ASSERT_EQ(files.size(), 1u);
      const bool pcm = name.find("pcm") != std::string::npos;
      const bool at_break = std::count(breaks.begin(), breaks.end(), files[0].size()) == 1;
      EXPECT_TRUE(files[0] == movie || (pcm && at_break && is_prefix(files[0], movie)))
          << files[0].size() << " bytes written of " << movie.size();
    }
  }
}

// A camera JPEG whose first piece ends inside its EXIF block: the headers held as far as
// the piece went, and the search finds where they go on (the tables after the EXIF block
// tell the place: moved a cluster on, the continuation would begin past them).
TEST(FragmentCard, APhotoBrokenInsideItsHeadersIsFollowed) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  kes_test::TempDir dir;
  const std::string img = dir / "card.img";
  const Card fresh = fresh_fat(img, "-F 16 -s 4", "30000");
  ASSERT_EQ(fresh.layout.cluster_bytes(), 2048u);
  const Bytes jpg = sample("jpg_exif_thumb.jpg");  // its EXIF block: 3 KB
  const std::vector<Bytes> files = carve_in_pieces(fresh, img, dir / "out", jpg, {2048}, noise(60 * 2048, 3), "jpg");
  EXPECT_TRUE(std::find(files.begin(), files.end(), jpg) != files.end()) << files.size() << " files";
}

// A still deleted in two pieces with another file's pixel rows between them (a BMP's,
// nothing listed): its coded data (HEVC, AV1, a CR3's raw track) spreads its bytes as
// noise does and the rows do not, so the still is never read on over them. It comes back
// whole where its next piece's structure can be checked, else cut before the rows.
TEST(FragmentCard, AStillIsNotReadOnOverAnotherFilesPixelRows) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  kes_test::TempDir dir;
  const std::string img = dir / "card.img";
  const Card fresh = fresh_fat(img, "-F 16 -s 8", "60000");
  const uint64_t cluster = fresh.layout.cluster_bytes();
  const Bytes bmp = sample("bmp_32.bmp");
  Bytes rows;
  while (rows.size() < 10 * cluster) rows.insert(rows.end(), bmp.begin() + bmp[10], bmp.end());
  rows.resize(10 * cluster);
  for (const char* name : {"heif_large.heic", "heif_large.avif", "heif_canon.cr3"}) {
    SCOPED_TRACE(name);
    const Bytes still = sample(name);
    const uint64_t first = still.size() / 2 / cluster * cluster;
    const std::vector<Bytes> files = carve_in_pieces(fresh, img, dir / name, still, {first}, rows, "heif");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_GE(files[0].size(), first);
    EXPECT_TRUE(std::equal(files[0].begin(), files[0].end(), still.begin())) << "foreign bytes in " << files[0].size();
  }
  // A BMP of smooth rows.
  Bytes host(54, 0);
  host[0] = 'B', host[1] = 'M', host[10] = 54, host[14] = 40, host[26] = 1, host[28] = 24;
  put32le(host, 18, 256);
  put32le(host, 22, 256);
  for (size_t i = 0; i < 256 * 256 * 3; ++i) host.push_back(static_cast<uint8_t>(100 + 30 * std::sin(i / 3000.0 + i % 3)));
  put32le(host, 2, static_cast<uint32_t>(host.size()));
  // In three pieces with another file after each: listed rows, or a deleted BMP that
  // begins there. Where the spread breaks right at that file, the piece held as far as
  // its clusters went, and the CR3's raw data, which nothing else checks, is joined
  // through it.
  const Bytes cr3 = sample("heif_canon.cr3");
  const uint64_t third = cr3.size() / 3 / cluster * cluster;
  Bytes padded = host;
  padded.resize((host.size() + cluster - 1) / cluster * cluster);
  for (bool listed : {true, false}) {
    const std::vector<Bytes> joined = carve_in_pieces(fresh, img, dir / (listed ? "listed" : "deleted"), cr3,
                                                      {third, 2 * third}, listed ? rows : padded, "heif,enable,bmp", listed);
    EXPECT_TRUE(std::find(joined.begin(), joined.end(), cr3) != joined.end()) << (listed ? "listed rows" : "a BMP");
  }
  // The other way round: a BMP whose reading runs over the first piece of a HEIC that
  // breaks where the BMP's rows go on. A picture that ends inside another file's reading
  // may be a thumbnail it carries, but not one cut short: that is another file's start.
  const Bytes heic = sample("heif_large.heic");
  const Bytes piece(heic.begin(), heic.begin() + 16 * cluster);  // it ends inside the BMP's reading
  const std::vector<Bytes> files = carve_in_pieces(fresh, img, dir / "bmp", host, {8 * cluster}, piece, "bmp,enable,heif");
  for (const Bytes& f : files) {
    const Bytes& original = f[0] == 'B' ? host : heic;
    EXPECT_TRUE(f.size() <= original.size() && std::equal(f.begin(), f.end(), original.begin())) << f.size();
  }
}

// A raw photo's contiguous reading runs over another file's clusters: a whole JPEG and a
// PNG that begin amid its sensor data (which nothing checks) or amid its own full-size
// JPEG (which is decoded) are files of their own, not previews of the raw photo, and come
// back whole; the raw photo holds no byte that is not its own.
TEST(FragmentCard, PicturesAmidARawPhotosDataAreFilesOfTheirOwn) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  kes_test::TempDir dir;
  const std::string img = dir / "card.img";
  const Card fresh = fresh_fat(img, "-F 32 -s 8", "300000");
  const VolumeLayout& layout = fresh.layout;
  const uint64_t cluster = layout.cluster_bytes();
  const Bytes cr3 = sample("heif_canon.cr3"), jpg = sample("jpg_big.jpg"), png = sample("png_rgb.png");
  std::string options = "fileopt,everything,disable,";
  for (const char* o : kestrune::kPhotoSearch) options += std::string(o) + ",enable,";
  // Its first piece ends in its full-size JPEG (from 171 KB on), or in its first raw
  // track (from 770 KB on).
  for (uint64_t first : {60 * cluster, 240 * cluster}) {
    SCOPED_TRACE(first);
    Bytes card = fresh.bytes;
    auto put = [&](uint64_t at_cluster, const Bytes& b, uint64_t from, uint64_t to) {
      std::copy(b.begin() + from, b.begin() + to, card.begin() + layout.cluster_offset(at_cluster));
    };
    put(1000, cr3, 0, first);
    put(1000 + first / cluster, jpg, 0, jpg.size());
    put(1100 + first / cluster, png, 0, png.size());
    put(3000, cr3, first, cr3.size());
    kes_test::write_file(img, card);
    const std::string out = dir / ("out" + std::to_string(first));
    kes_test::EngineRun r = kes_test::run_engine(KESSRV_EXE, {"/d", out, "/cmd", img, options + "search"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::vector<Bytes> files = written(r);
    for (const Bytes* whole : {&jpg, &png})
      EXPECT_TRUE(std::find(files.begin(), files.end(), *whole) != files.end()) << whole->size() << " bytes";
    for (const Bytes& f : files)
      if (f.size() > 4 && f[4] == 'f')  // the raw photo
        EXPECT_TRUE(f.size() <= cr3.size() && std::equal(f.begin(), f.end(), cr3.begin())) << f.size();
  }
}

// A recording's first piece ends where a FLAC begins (written into the gap after it; its
// second cluster is padding, zeros), and the recording goes on past a listed cluster
// after it: the FLAC's clusters are no continuation, though its first one lies at the
// break, where the search for the next piece begins.
TEST(FragmentCard, AFileThatEndsAPieceHoldsItsClustersFromTheSearch) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  kes_test::TempDir dir;
  const std::string img = dir / "card.img";
  Card fresh = fresh_fat(img, "-F 32 -s 8", "300000");
  const VolumeLayout& layout = fresh.layout;
  const uint64_t cluster = layout.cluster_bytes();
  const Bytes wav = sample("world_memo.wav"), flac = sample("flac_stereo.flac");
  const uint64_t flac_clusters = (flac.size() + cluster - 1) / cluster, listed = 1001 + flac_clusters;
  auto put = [&](uint64_t at_cluster, const Bytes& b, uint64_t from, uint64_t to) {
    std::copy(b.begin() + from, b.begin() + to, fresh.bytes.begin() + layout.cluster_offset(at_cluster));
  };
  put(1000, wav, 0, cluster);
  put(1001, flac, 0, flac.size());
  put(listed, noise(cluster, 4), 0, cluster);
  const uint64_t fat = uint64_t(fresh.bytes[14] | fresh.bytes[15] << 8) * 512;  // FAT32: reserved sectors
  for (int i = 0; i < 4; ++i) fresh.bytes[fat + 4 * (listed + 2) + i] = i < 3 ? 0xFF : 0x0F;  // numbered from 2
  put(listed + 1, wav, cluster, wav.size());
  kes_test::write_file(img, fresh.bytes);
  kes_test::EngineRun r = kes_test::run_engine(
      KESSRV_EXE, {"/d", dir / "out", "/cmd", img, "fileopt,everything,disable,riff,enable,flac,enable,search"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<Bytes> files = written(r);
  std::string sizes;
  for (const Bytes& f : files) sizes += " " + std::to_string(f.size());
  EXPECT_TRUE(std::find(files.begin(), files.end(), flac) != files.end()) << "the FLAC was not written whole:" << sizes;
  for (const Bytes& f : files)
    if (f.size() > 12 && std::equal(f.begin(), f.begin() + 12, wav.begin()))
      EXPECT_TRUE(is_prefix(f, wav)) << "foreign bytes in the recording, " << f.size() << " bytes";
}

// A card formatted anew with another cluster size and data area: its deleted files sit
// on the old grid, which the files found off the current one tell, and fragmented ones
// are followed along it: one found after that, and one found before, off the current
// grid, which is written again whole once the old grid is known. Formatted with smaller
// clusters off the old grid, and with larger ones whose boundaries are old ones too (the
// later picture starting on both).
TEST(FragmentCard, FilesFromBeforeAReformatAreFollowedOnTheirOldGrid) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "no mkfs tools";
  for (const std::string reformat : {"mkfs.fat -a -F 32 -s 2 -R 33 ", "mkfs.fat -F 16 -s 64 "}) {
    SCOPED_TRACE(reformat);
    kes_test::TempDir dir;
    const std::string img = dir / "card.img";
    ASSERT_TRUE(run("mkfs.fat -C " + img + " 300000 && " + reformat + img));
    Bytes card = kes_test::read_file(img);
    MemorySource formatted(card.data(), card.size());
    const VolumeLayout new_grid = read_volume_layout(formatted);
    ASSERT_TRUE(run("mkfs.fat -F 32 -s 8 " + img));
    card = kes_test::read_file(img);
    MemorySource volume(card.data(), card.size());
    const VolumeLayout old_grid = read_volume_layout(volume);
    const uint64_t cluster = old_grid.cluster_bytes();
    ASSERT_EQ(cluster, 4096u);
    uint64_t at = 2000;  // clusters, past what the new file system writes
    auto put = [&](const Bytes& b, uint64_t from, uint64_t length, uint64_t gap) {
      std::copy(b.begin() + from, b.begin() + from + length, card.begin() + old_grid.cluster_offset(at));
      at += (length + cluster - 1) / cluster + gap;
    };
    auto put_fragmented = [&](const Bytes& b, bool on_new_grid) {
      for (int i = 0; i < 8 && new_grid.at_cluster_start(old_grid.cluster_offset(at)) != on_new_grid; ++i) ++at;
      put(b, 0, 10 * cluster, 7);
      put(b, 10 * cluster, 6 * cluster, 3);
      put(b, 16 * cluster, b.size() - 16 * cluster, 0);
    };
    const Bytes first = sample("jpg_big.jpg"), later = sample("jpg_exif_thumb.jpg"), png = sample("png_rgba.png");
    std::vector<Bytes> expected = {first, later, png};
    put_fragmented(first, false);
    // One on both grids, met while most files found lie off the current one: its next
    // piece at a boundary of both, where the coarser grid's search would splice it short
    // of its break. It is cut, and followed once the old grid is known.
    const bool coarser = new_grid.cluster_bytes() > cluster;
    if (coarser) {
      const Bytes early = sample("jpg_trailer_pentax.jpg");
      expected.push_back(early);
      while (!new_grid.at_cluster_start(old_grid.cluster_offset(at))) ++at;
      put(early, 0, 10 * cluster, 1);
      while (!new_grid.at_cluster_start(old_grid.cluster_offset(at))) ++at;
      put(early, 10 * cluster, early.size() - 10 * cluster, 0);
    }
    for (int round = 0; round < 3; ++round) {
      for (const char* name : {"png_palette.png", "gif_anim.gif", "jpg_gray.jpg", "jpg_422_odd.jpg", "jpg_baseline.jpg",
                               "gif_other.gif", "gif_still.gif", "jpg_restart.jpg", "jpg_444.jpg"}) {
        expected.push_back(sample(name));
        put(expected.back(), 0, expected.back().size(), 0);
      }
    }
    put_fragmented(later, true);
    put(png, 0, png.size(), 0);  // right after the picture's last cluster
    kes_test::write_file(img, card);
    ASSERT_TRUE(run(reformat + img));
    kes_test::EngineRun r = kes_test::run_engine(KESSRV_EXE, {"/d", dir / "out", "/cmd", img,
                                                              "fileopt,everything,disable,jpg,enable,png,enable,gif,enable,search"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("files from before the volume was formatted: 4096-byte clusters"), std::string::npos) << r.err;
    const std::vector<Bytes> files = written(r);
    const std::set<Bytes> found(files.begin(), files.end());
    for (const Bytes& e : expected) EXPECT_TRUE(found.count(e)) << e.size() << "-byte file did not come back whole";
    EXPECT_EQ(files.size(), expected.size() + 1 + coarser);  // and the cut copies
    for (const Bytes& f : found)
      EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [&](const Bytes& e) { return is_prefix(f, e); }));
  }
}

// The stills of ISO base media files on FAT32 and exFAT cards, as the program asks for
// photos: deleted and contiguous, deleted in pieces between a listed picture's (whose
// clusters tell the pieces apart: a picture's HEVC or AV1 data, a CR3's raw data carry
// no check a wrong continuation would break), and listed in pieces. Each comes back
// byte for byte under its extension; nothing written holds another file's bytes. A
// HEIC in pieces between a deleted JPEG's is cut, and leaves the JPEG's pieces to it.
TEST(FragmentCard, StillsComeBackWholeContiguousAndInPieces) {
  if (!run("command -v mkfs.fat && command -v mkfs.exfat")) GTEST_SKIP() << "no mkfs tools";
  const Volume volumes[] = {
      {"mkfs.fat -F 32 -s 8 -C {} 300000", "FAT32"},
      {"truncate -s 48M {} && mkfs.exfat -c 32K {}", "exFAT"},
  };
  const std::vector<Planned> plan = {
      {"heif_odd.avif", 1, false},   {"gif_still.gif", 1, false},
      {"heif_small.heic", 3, false}, {"jpg_progressive.jpg", 3, true},
      {"heif_large.avif", 3, false}, {"png_rgb.png", 3, true},
      {"heif_canon.cr3", 3, false},  {"png_stored.png", 3, true},
      {"heif_exif.heic", 3, true},   {"tif_strips.tif", 3, true},
      {"heif_large.heic", 3, false}, {"jpg_big.jpg", 3, false},
  };
  const std::map<std::string, std::string> whole = {
      {"heif_odd.avif", "avif"},  {"heif_small.heic", "heic"}, {"heif_large.avif", "avif"},
      {"heif_canon.cr3", "cr3"}, {"heif_exif.heic", "heic"},  {"jpg_big.jpg", "jpg"}};
  std::string options = "fileopt,everything,disable,";
  for (const char* o : kestrune::kPhotoSearch) options += std::string(o) + ",enable,";
  options += "search";
  int seed = 11;
  for (const Volume& v : volumes) {
    SCOPED_TRACE(v.make);
    kes_test::TempDir dir;
    const std::string img = dir / "card.img";
    ASSERT_TRUE(make_volume(v, img));
    const std::map<std::string, Original> originals = place(dir.path(), img, plan, seed++);
    kes_test::EngineRun r = kes_test::run_engine(KESSRV_EXE, {"/d", dir / "out", "/cmd", img, options});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::map<Bytes, std::string> found;  // content -> extension written
    for (const kes_test::Message& m : r.messages) {
      if (m.end || !m.report.file_path[0]) continue;
      const std::string path = m.report.file_path;
      found[kes_test::read_file(path)] = path.substr(path.rfind('.') + 1);
    }
    for (const auto& [name, ext] : whole) {
      const Original& o = originals.at(name);
      const auto it = found.find(o.bytes);
      EXPECT_TRUE(it != found.end()) << name << " in " << o.pieces << " pieces did not come back whole";
      if (it != found.end()) EXPECT_EQ(it->second, ext) << name;
    }
    expect_no_foreign_bytes(written(r), originals);
  }
}

}  // namespace
}  // namespace kes::test
