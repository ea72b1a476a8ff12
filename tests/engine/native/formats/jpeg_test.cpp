#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>

#include "byte_source.h"
#include "format.h"
#include "formats/jpeg_walk.h"
#include "formats/samples.h"
#include "formats/tiff_maker.h"

namespace kes::test {
namespace {

// Restart markers, arithmetic coding and CMYK come from the libjpeg-based maker.
#ifdef KES_HAVE_JPEG_MAKER
const char* const kMade[] = {"jpg_restart.jpg", "jpg_progressive_restart.jpg", "jpg_arithmetic.jpg", "jpg_cmyk.jpg"};
#else
const char* const kMade[] = {"jpg_baseline.jpg"};
#endif
const char* const kRestart = kMade[0];

// Real cameras' pictures with their makers' notes (exiftool's test images, whose
// pictures are small but whole).
const char* const kCameras[] = {"Apple", "Canon", "Canon1DmkIII", "Casio", "Casio2", "CasioQVCI", "FLIR", "FujiFilm",
                                "GE", "GPS", "GoPro", "InfiRay", "JVC", "JVC2", "Kodak", "Minolta", "Motorola",
                                "Nikon", "NikonD2Hs", "NikonD70", "Olympus", "Olympus2", "OlympusE1", "Panasonic",
                                "Pentax", "Ricoh", "Ricoh2", "Sanyo", "Sigma", "Sony", "Unknown"};

TEST(Jpeg, GeneratedFilesCarveByteExact) {
  for (const char* name : {"jpg_baseline.jpg", "jpg_progressive.jpg", "jpg_gray.jpg", "jpg_444.jpg", "jpg_big.jpg",
                           "jpg_422_odd.jpg", "jpg_progressive_odd.jpg"}) {
    SCOPED_TRACE(name);
    expect_exact("jpg", sample(name), "jpg");
  }
  for (const char* name : kMade) {
    SCOPED_TRACE(name);
    expect_exact("jpg", sample(name), "jpg");
  }
  for (const char* name : kCameras) {
    SCOPED_TRACE(name);
    expect_exact("jpg", sample(std::string("cam_") + name + ".jpg"), "jpg");
  }
}

TEST(Jpeg, FewStrayBytesBeforeTheEndMarkerAreTolerated) {
  Bytes file = sample("jpg_baseline.jpg");
  Bytes padded(file.begin(), file.end() - 2);
  padded.insert(padded.end(), {0, 0, 0, 0, 0xFF, 0xD9});
  expect_exact("jpg", padded, "jpg");
}

TEST(Jpeg, ExifThumbnailDoesNotEndTheFile) {
  Bytes file = sample("jpg_exif_thumb.jpg");
  // The thumbnail's own EOI lies well before the end of the file.
  size_t inner_eoi = 0;
  for (size_t i = 2; i + 1 < file.size() / 2; ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xD9) inner_eoi = i;
  ASSERT_GT(inner_eoi, 0u);
  expect_exact("jpg", file, "jpg");
}

// A multi-picture file: an APP2 "MPF" index lists a second JPEG stored after the
// first one's EOI; both belong to the file.
TEST(Jpeg, PicturesOfAMultiPictureIndexStayWithTheFile) {
  Bytes first = sample("jpg_baseline.jpg"), second = sample("jpg_gray.jpg");
  Bytes app2 = {0xFF, 0xE2, 0, 0, 'M', 'P', 'F', 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                2, 0,                                  // two entries
                0x00, 0xB0, 7, 0, 4, 0, 0, 0, '0', '1', '0', '0',  // MPFVersion
                0x02, 0xB0, 7, 0, 32, 0, 0, 0, 38, 0, 0, 0,        // MPEntry: 32 bytes at 38
                0, 0, 0, 0};
  size_t entries = app2.size();
  app2.resize(entries + 32);
  put16be(app2, 2, static_cast<uint16_t>(app2.size() - 2));
  Bytes file(first.begin(), first.begin() + 2);
  file.insert(file.end(), app2.begin(), app2.end());
  file.insert(file.end(), first.begin() + 2, first.end());
  const size_t base = 2 + 8;  // the index's TIFF header
  put32le(file, 2 + entries + 4, static_cast<uint32_t>(file.size()));  // first picture
  put32le(file, 2 + entries + 16 + 4, static_cast<uint32_t>(second.size()));
  put32le(file, 2 + entries + 16 + 8, static_cast<uint32_t>(file.size() - base));
  file.insert(file.end(), second.begin(), second.end());
  expect_exact("jpg", file, "jpg");
}

// Where a JPEG's EXIF block points to a picture after the main picture's EOI: the
// thumbnail of IFD1, or the maker note of a camera the engine knows nothing of, by tags
// of its own (a start and a length, or both among the words of one array, as Canon's
// preview information holds them).
enum class After { thumbnail, note_tags, note_array };

Bytes picture_after_the_end(After how) {
  Bytes main = sample("jpg_baseline.jpg"), thumb = sample("jpg_gray.jpg");
  const uint32_t length = static_cast<uint32_t>(thumb.size());
  TiffMaker t(false);
  uint32_t start_at = 0;  // where the picture's start goes, from the TIFF header
  if (how == After::thumbnail) {
    uint32_t ifd1 = t.ifd({t.longs(513, {0}), t.longs(514, {length})});
    t.set_first(t.ifd({t.ascii(271, "Kestrel")}, ifd1));
    start_at = ifd1 + 2 + 8;
  } else {
    const bool array = how == After::note_array;
    const uint32_t note = array ? t.ifd({t.longs(0xB6, {24, 1, length, 160, 120, 0})})
                                : t.ifd({t.longs(0x3001, {0}), t.longs(0x3002, {length})});
    start_at = array ? note - 24 + 20 : note + 2 + 8;  // the array's words stand before the note's IFD
    Bytes at(4);
    put32be(at, 0, note);
    const uint32_t exif = t.ifd({Field{37500, 7, 2 + 12 + 4, at}});  // the note stands in the block already
    t.set_first(t.ifd({t.ascii(271, "Kestrel"), t.longs(34665, {exif})}));
  }
  Bytes app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
  app1.insert(app1.end(), t.out.begin(), t.out.end());
  put16be(app1, 2, static_cast<uint16_t>(app1.size() - 2));
  Bytes file(main.begin(), main.begin() + 2);
  file.insert(file.end(), app1.begin(), app1.end());
  file.insert(file.end(), main.begin() + 2, main.end());
  put32be(file, 2 + 10 + start_at, static_cast<uint32_t>(file.size() - (2 + 10)));
  file.insert(file.end(), thumb.begin(), thumb.end());
  return file;
}

// Previews that the EXIF or maker-note directories place after the EOI belong to the
// file; one that does not walk as a JPEG (overwritten, or never written) does not. The
// cameras' own: exiftool writes a preview too large for the EXIF segment after the EOI.
TEST(Jpeg, PreviewsAfterTheEndStayWithTheFile) {
  std::vector<std::pair<std::string, Bytes>> files = {{"minolta trailer", sample("jpg_trailer_minolta.jpg")},
                                                      {"pentax trailer", sample("jpg_trailer_pentax.jpg")},
                                                      {"thumbnail", picture_after_the_end(After::thumbnail)},
                                                      {"note tags", picture_after_the_end(After::note_tags)},
                                                      {"note array", picture_after_the_end(After::note_array)}};
  for (const char* cam : {"Minolta", "KonicaMinolta", "Pentax", "OlympusE1", "NikonD70", "Samsung_II", "Samsung_MM"})
    files.emplace_back(cam, sample(std::string("cam_") + cam + "_preview.jpg"));
  const Bytes soi = {0xFF, 0xD8, 0xFF};
  for (const auto& [what, file] : files) {
    SCOPED_TRACE(what);
    expect_exact("jpg", file, "jpg");
    size_t preview = std::find_end(file.begin() + 3, file.end(), soi.begin(), soi.end()) - file.begin();
    ASSERT_LT(preview, file.size());
    Carve main = measure(fmt("jpg"), Bytes(file.begin(), file.begin() + preview), 0);
    ASSERT_EQ(main.verdict, Verdict::complete);
    ASSERT_LT(main.length, preview + 1);
    Bytes overwritten = file;
    Bytes junk = noise(2048, 5);
    std::copy(junk.begin(), junk.end(), overwritten.begin() + (preview + file.size()) / 2);
    Carve c = measure(fmt("jpg"), overwritten, 0);
    EXPECT_EQ(c.verdict, Verdict::complete);
    EXPECT_EQ(c.length, main.length);
  }
}

TEST(Jpeg, CutFilesAreTruncatedNearTheCut) {
  for (const char* name : {"jpg_big.jpg", "jpg_progressive.jpg", kRestart}) {
    for (bool zeros : {false, true}) {
      SCOPED_TRACE(std::string(name) + (zeros ? " in zeros" : " in noise"));
      Bytes file = sample(name);
      size_t cut = file.size() * 3 / 5;
      Card card(file.size() + 100000, zeros, 99);
      card.put(1024, Bytes(file.begin(), file.begin() + cut));
      Carve c = measure(fmt("jpg"), card.data, 1024);
      ASSERT_EQ(c.verdict, Verdict::truncated);
      EXPECT_GT(c.length, cut / 3);
      EXPECT_LE(c.length, cut + 2048);
    }
  }
}

TEST(Jpeg, MediumEndingOnAnFFStaysInsideTheData) {
  // The medium ends on the 0xFF of a stuffed byte, and on that of a restart marker.
  for (auto [name, second] : {std::pair{"jpg_baseline.jpg", 0x00}, {kRestart, 0xD0}}) {
    SCOPED_TRACE(name);
    Bytes file = sample(name);
    size_t ff = file.size() / 2;
    while (ff + 1 < file.size() && !(file[ff] == 0xFF && (file[ff + 1] & (second ? 0xF8 : 0xFF)) == second)) ++ff;
    if (ff + 1 >= file.size()) continue;  // no restart markers in this sample
    Bytes cut(file.begin(), file.begin() + ff + 1);
    Carve c = measure(fmt("jpg"), cut, 0);
    EXPECT_EQ(c.verdict, Verdict::truncated);
    EXPECT_LE(c.length, cut.size());
    EXPECT_GT(c.length, cut.size() - 2048);
  }
}

TEST(Jpeg, SecondHalfReplacedStopsAtTheSeam) {
  // A fragmented file: the clusters after the seam belong to something else.
  Bytes file = sample("jpg_big.jpg");
  size_t seam = (file.size() / 2) & ~size_t(4095);
  Bytes other = noise(file.size(), 5);
  std::copy(other.begin() + seam, other.end(), file.begin() + seam);
  Carve c = measure(fmt("jpg"), file, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_LE(c.length, seam + 2048);
  EXPECT_GT(c.length, seam - 4096);
}

TEST(Jpeg, AnEndBeforeThePictureIsWholeEndsNothing) {
  // A wrong continuation that brings an end marker after the first scans of a
  // progressive picture: the picture stops unfinished there.
  for (const char* name : {"jpg_progressive.jpg", "jpg_progressive_odd.jpg"}) {
    SCOPED_TRACE(name);
    Bytes file = sample(name);
    const uint8_t sos[2] = {0xFF, 0xDA};
    auto third = std::search(file.begin(), file.end(), sos, sos + 2);
    for (int i = 0; i < 2 && third != file.end(); ++i) third = std::search(third + 2, file.end(), sos, sos + 2);
    ASSERT_NE(third, file.end());
    Bytes early(file.begin(), third);
    early.insert(early.end(), {0xFF, 0xD9});
    const Carve c = measure(fmt("jpg"), early, 0);
    EXPECT_EQ(c.verdict, Verdict::truncated);
    EXPECT_EQ(c.length, early.size());
  }
}

TEST(Jpeg, HeadersWithoutPictureDataAreSkipped) {
  Bytes file = sample("jpg_exif_thumb.jpg");
  // Cut inside the EXIF block: nothing of the main picture is left.
  Carve c = measure(fmt("jpg"), Bytes(file.begin(), file.begin() + 3000), 0);
  EXPECT_EQ(c.verdict, Verdict::corrupt);
  // Noise right after a plausible start is no picture either.
  Bytes fake = noise(20000, 3);
  fake[0] = 0xFF, fake[1] = 0xD8, fake[2] = 0xFF, fake[3] = 0xE0, fake[4] = 0, fake[5] = 16;
  EXPECT_TRUE(probes(fmt("jpg"), fake, 0));
  EXPECT_EQ(measure(fmt("jpg"), fake, 0).verdict, Verdict::corrupt);
}

TEST(Jpeg, StoppedWalkLeavesWhatAFragmentSearchNeeds) {
  // The walk over a fragmented copy reports where the failing scan starts and leaves
  // its decoding state; with those the validator runs again over other bytes (here the
  // intact file, as if the missing clusters had been found) and reaches the end.
  Bytes intact = sample(kRestart);
  Bytes broken = intact;
  size_t seam = intact.size() / 2;
  Bytes junk = noise(intact.size() - seam, 8);
  std::copy(junk.begin(), junk.end(), broken.begin() + seam);
  MemorySource src(broken.data(), broken.size());
  Cursor cur(src, 0, broken.size());
  jpeg::DecodeState state;
  jpeg::Walk w = jpeg::walk(cur, 0, false, &state);
  ASSERT_EQ(w.verdict, Verdict::truncated);
  EXPECT_NE(w.stop, jpeg::Stop::end_of_scan);
  ASSERT_GT(w.scan_data, 0u);
  EXPECT_GT(w.scan_mcus, 0u);
  EXPECT_LT(w.scan_data, w.end);

  MemorySource whole(intact.data(), intact.size());
  jpeg::ScanResult r = jpeg::validate_scan(whole, w.scan_data, intact.size(), state);
  EXPECT_EQ(r.why, jpeg::Stop::end_of_scan);
  EXPECT_EQ(r.marker_pos, intact.size() - 2);  // the EOI
}

// A fragment search's splicer kept from one piece to the next: the file's first third,
// then its own data from further on (which decodes a while); the search takes the right
// continuation at the first seam and the splicer goes on past it. It must then measure
// the candidates at the second seam as a splicer made anew over the file so far does.
TEST(Jpeg, ASplicerGoingOnPastASpliceMeasuresAsANewOne) {
  const Format& f = fmt("jpg");
  for (const char* name : {"jpg_big.jpg", "jpg_progressive.jpg", "jpg_progressive_odd.jpg", kMade[0], kMade[1]}) {
    SCOPED_TRACE(name);
    const Bytes file = sample(name);
    const size_t first = file.size() / 3 / 1024 * 1024, second = file.size() * 2 / 3 / 1024 * 1024;
    auto then_noise = [&](size_t at, uint32_t seed) {
      Bytes b(file.begin(), file.begin() + at);
      const Bytes tail = noise(file.size(), seed);
      b.insert(b.end(), tail.begin(), tail.end());
      return b;
    };
    Bytes one(file.begin(), file.begin() + first);
    one.insert(one.end(), file.begin() + first + 3 * 1024 + 17, file.end());
    const Bytes two = then_noise(second, 2), other = then_noise(second, 3);
    MemorySource one_src(one.data(), one.size()), two_src(two.data(), two.size());
    std::unique_ptr<Splicer> kept = f.splicer(one_src, one.size(), f.measure(one_src, 0, one.size()));
    ASSERT_TRUE(kept->extend(two_src, two.size(), first));
    std::unique_ptr<Splicer> made = f.splicer(two_src, two.size(), f.measure(two_src, 0, two.size()));
    MemorySource whole(file.data(), file.size()), wrong(other.data(), other.size());
    for (ByteSource* candidate : {static_cast<ByteSource*>(&whole), static_cast<ByteSource*>(&wrong)}) {
      const Carve a = kept->measure(*candidate, second, candidate->size());
      const Carve b = made->measure(*candidate, second, candidate->size());
      EXPECT_EQ(std::make_tuple(a.verdict, a.length), std::make_tuple(b.verdict, b.length));
    }
    EXPECT_EQ(kept->measure(whole, second, file.size()).length, file.size());
  }
}

// Two shots of one camera share their tables: each one's data decodes as the other's,
// and only the picture tells them apart. Spliced at each cluster boundary, a shot's own
// data (bar or no bar) goes on to where it stops; the other's, right at the splice or
// two clusters on, ends the shot at that boundary nine times in ten at least (a seam
// where the other picture happens to go on smoothly does not show).
TEST(Jpeg, AnotherShotsDataIsNoContinuation) {
  const Format& f = fmt("jpg");
  constexpr size_t kCluster = 4096;
  const Bytes a = sample("jpg_shot_a.jpg"), b = sample("jpg_shot_b.jpg");
  auto joined = [](const Bytes& head, size_t to, const Bytes& rest, size_t from) {
    Bytes v(head.begin(), head.begin() + to);
    v.insert(v.end(), rest.begin() + from, rest.end());
    return v;
  };
  size_t tried = 0, caught = 0;
  for (const auto& shots : {std::make_pair(&a, &b), std::make_pair(&b, &a)}) {
    const Bytes &own = *shots.first, &other = *shots.second;
    for (size_t at = own.size() / 8 / kCluster * kCluster; at + 4 * kCluster < own.size(); at += kCluster) {
      SCOPED_TRACE(at);
      const Bytes broken = joined(own, at, noise(own.size(), 1), 0);
      MemorySource broken_src(broken.data(), broken.size());
      const std::unique_ptr<Splicer> splicer = f.splicer(broken_src, broken.size(), f.measure(broken_src, 0, broken.size()));
      splicer->cluster_bytes = kCluster;
      const size_t later = at + 2 * kCluster;  // where the own piece after the splice ends
      const Bytes then_noise = joined(own, later, noise(own.size(), 2), 0);
      MemorySource noise_src(then_noise.data(), then_noise.size());
      const Carve own_piece = splicer->measure(noise_src, at, then_noise.size());
      EXPECT_GE(own_piece.length + 1024, later);
      EXPECT_LE(own_piece.length, later + 1024);
      const size_t from = (other.size() / 8 + at * 7 % (other.size() / 2)) / kCluster * kCluster;
      for (size_t to : {at, later}) {
        const Bytes file = joined(own, to, other, from);
        MemorySource src(file.data(), file.size());
        const Carve r = splicer->measure(src, at, file.size());
        ++tried;
        caught += r.verdict != Verdict::complete && std::max(r.length, r.broken_at) < to + 512;
      }
    }
  }
  EXPECT_GE(caught * 10, tried * 9) << caught << " of " << tried;
}

TEST(Jpeg, ForeignDataInsideTheScanIsCaught) {
  // A sector of something else in the middle of the scan breaks the decoding there.
  Bytes file = sample("jpg_big.jpg");
  size_t at = file.size() / 2;
  Bytes junk = noise(1024, 11);
  std::copy(junk.begin(), junk.end(), file.begin() + at);
  Carve c = measure(fmt("jpg"), file, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_LE(c.length, at + 1024);
  EXPECT_GT(c.length, at - 4096);
}

// The restart interval of a file's DRI segment (0 without one) and the positions where
// its scans' entropy-coded data begins.
struct ScanLayout {
  uint16_t restart_interval = 0;
  std::vector<size_t> scans;
};

ScanLayout layout_of(const Bytes& f) {
  ScanLayout l;
  MemorySource src(f.data(), f.size());
  Cursor cur(src, 0, f.size());
  for (size_t i = 2; i + 4 <= f.size() && f[i] == 0xFF && f[i + 1] != 0xD9;) {
    size_t len = size_t(f[i + 2]) << 8 | f[i + 3];
    if (f[i + 1] == 0xDD) l.restart_interval = static_cast<uint16_t>(f[i + 4] << 8 | f[i + 5]);
    i += 2 + len;
    if (f[i - len - 1] != 0xDA) continue;
    l.scans.push_back(i);
    i = static_cast<size_t>(jpeg::next_marker(cur, i));
  }
  return l;
}

// The marker-level look that the scans not decoded get (arithmetic coding, lossless,
// frames too large to track): clean scans pass it to their marker, whatever follows them.
TEST(Jpeg, CleanScansPassTheScreeningToTheirMarker) {
  std::vector<const char*> names = {"jpg_baseline.jpg", "jpg_progressive.jpg", "jpg_big.jpg", "jpg_exif_thumb.jpg",
                                    "jpg_progressive_odd.jpg"};
  names.insert(names.end(), std::begin(kMade), std::end(kMade));
  for (const char* name : names) {
    SCOPED_TRACE(name);
    Bytes file = sample(name);
    ScanLayout l = layout_of(file);
    ASSERT_FALSE(l.scans.empty());
    Card card(file.size() + 8 * 512, true);  // zeroed sectors right after the EOI
    card.put(0, file);
    MemorySource src(card.data.data(), card.data.size());
    Cursor cur(src, 0, card.data.size());
    jpeg::DecodeState st;
    st.restart_interval = l.restart_interval;
    for (size_t data : l.scans) {
      jpeg::ScanResult r = jpeg::screen_scan(cur, data, st);
      ASSERT_EQ(r.why, jpeg::Stop::end_of_scan) << "scan at " << data;
      EXPECT_EQ(r.marker_pos, jpeg::next_marker(cur, data));
    }
  }
}

// Damage that leaves the scan's structure visible at marker level: the screening stops
// where it begins.
TEST(Jpeg, ScreeningStopsAtDamageItCanSee) {
  struct Case {
    const char* what;
    Bytes data;
    jpeg::Stop why;
    size_t stop_by;  // valid_end at or before this
  };
  std::vector<Case> cases;
  Bytes file = sample("jpg_big.jpg");
  size_t at = (file.size() / 2 + 511) & ~size_t(511);
  ASSERT_EQ(layout_of(file).restart_interval, 0);
  Bytes zeroed = file;
  std::fill(zeroed.begin() + at, zeroed.begin() + at + 1024, 0);
  cases.push_back({"zeroed sectors", zeroed, jpeg::Stop::end_of_data, at});
  Bytes stray = file;
  stray[at] = 0xFF, stray[at + 1] = 0xD0;
  cases.push_back({"a restart marker where none are asked for", stray, jpeg::Stop::bad_restart, at});
#ifdef KES_HAVE_JPEG_MAKER
  Bytes restart = sample(kRestart);
  std::vector<size_t> rst;
  for (size_t i = layout_of(restart).scans.at(0); i + 1 < restart.size(); ++i)
    if (restart[i] == 0xFF && restart[i + 1] >= 0xD0 && restart[i + 1] <= 0xD7) rst.push_back(i + 1);
  ASSERT_GT(rst.size(), 10u);
  Bytes swapped = restart;
  size_t a = rst[rst.size() / 2], b = rst[rst.size() / 2 + 1];
  std::swap(swapped[a], swapped[b]);
  cases.push_back({"two restart markers swapped", swapped, jpeg::Stop::bad_restart, b});
  // Eight intervals cut out: the restart numbers still run in order, their count falls short.
  Bytes shortened = restart;
  shortened.erase(shortened.begin() + rst[5] + 1, shortened.begin() + rst[13] + 1);
  cases.push_back({"eight intervals cut out", shortened, jpeg::Stop::bad_restart, shortened.size() - 2});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemorySource src(c.data.data(), c.data.size());
    Cursor cur(src, 0, c.data.size());
    jpeg::DecodeState st;
    ASSERT_EQ(jpeg::walk(cur, 0, false, &st).verdict, Verdict::truncated);  // the decoding sees it too
    ScanLayout l = layout_of(c.data);
    st.restart_interval = l.restart_interval;
    jpeg::ScanResult r = jpeg::screen_scan(cur, l.scans.at(0), st);
    EXPECT_EQ(r.why, c.why);
    EXPECT_LE(r.valid_end, c.stop_by);
    EXPECT_GT(r.valid_end, l.scans.at(0));
  }
}

// Arithmetic-coded scans are screened, not decoded: a cut file is truncated.
TEST(Jpeg, ScreenedScansEndAtTheirDamage) {
#ifdef KES_HAVE_JPEG_MAKER
  Bytes file = sample("jpg_arithmetic.jpg");
  size_t cut = (file.size() * 2 / 3 + 511) & ~size_t(511);
  Card card(file.size() + 4096, true);
  card.put(0, file);
  std::fill(card.data.begin() + cut, card.data.begin() + cut + 512, 0);
  Carve c = measure(fmt("jpg"), card.data, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, cut);
#endif
}

}  // namespace
}  // namespace kes::test
