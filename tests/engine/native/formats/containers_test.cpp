// Video containers and their audio relatives: generated and synthetic files carved
// whole with the extension their content calls for, then cut, spliced and disguised.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "byte_source.h"
#include "formats/container_maker.h"
#include "formats/cursor.h"
#include "formats/samples.h"

namespace kes::test {
namespace {

struct Sample {
  const char* option;
  Bytes file;
  const char* ext;
  bool splice_shows;  // foreign data inside the payload is caught by the structure
};

// A multiple-bitrate file declares some streams only inside the header extension: the
// video's stream properties, moved into an extended stream properties object there.
Bytes video_declared_in_extension(Bytes wmv) {
  const uint8_t extension[4] = {0xB5, 0x03, 0xBF, 0x5F}, stream[4] = {0x91, 0x07, 0xDC, 0xB7},
                files[4] = {0xA1, 0xDC, 0xAB, 0x8C}, video[4] = {0xC0, 0xEF, 0x19, 0xBC};
  size_t ext = 0, props = 0, file = 0;
  for (size_t at = 30; at < le32(&wmv[16]); at += le32(&wmv[at + 16])) {
    if (std::equal(extension, extension + 4, &wmv[at])) ext = at;
    if (std::equal(files, files + 4, &wmv[at])) file = at;
    if (std::equal(stream, stream + 4, &wmv[at]) && std::equal(video, video + 4, &wmv[at + 24])) props = at;
  }
  EXPECT_TRUE(ext && props && file && props > ext);
  const Bytes sp(wmv.begin() + props, wmv.begin() + props + le32(&wmv[props + 16]));
  wmv.erase(wmv.begin() + props, wmv.begin() + props + sp.size());
  Bytes espo(88, 0);
  const uint8_t guid[16] = {0xCB, 0xA5, 0xE6, 0x14, 0x72, 0xC6, 0x32, 0x43, 0x83, 0x99, 0xA9, 0x69, 0x52, 0x06, 0x5B, 0x5A};
  std::copy_n(guid, 16, espo.begin());
  put32le(espo, 16, uint32_t(88 + sp.size()));
  put16le(espo, 72, le16(&sp[72]));
  espo.insert(espo.end(), sp.begin(), sp.end());
  const size_t ext_end = ext + le32(&wmv[ext + 16]);
  wmv.insert(wmv.begin() + ext_end, espo.begin(), espo.end());
  put32le(wmv, ext + 16, le32(&wmv[ext + 16]) + uint32_t(espo.size()));
  put32le(wmv, ext + 42, le32(&wmv[ext + 42]) + uint32_t(espo.size()));
  put32le(wmv, 16, le32(&wmv[16]) + uint32_t(espo.size() - sp.size()));
  put32le(wmv, 24, le32(&wmv[24]) - 1);
  put32le(wmv, file + 40, uint32_t(wmv.size()));
  return wmv;
}

// A camera's or phone's own major brand: the compatible brands tell what the movie is.
Bytes with_major_brand(Bytes movie, const char* brand) {
  std::copy_n(brand, 4, movie.begin() + 8);
  return movie;
}

std::vector<Sample> samples() {
  return {
      {"mov", sample("mov_mp4.mp4"), "mp4", true},
      {"mov", sample("mov_faststart.mp4"), "mp4", true},
      {"mov", sample("mov_fragmented.mp4"), "mp4", false},
      {"mov", sample("mov_qt.mov"), "mov", true},
      {"mov", strip_ftyp(sample("mov_qt.mov")), "mov", true},
      {"mov", with_major_brand(sample("mov_mp4.mp4"), "CAEP"), "mp4", true},
      {"mov", with_major_brand(sample("mov_qt.mov"), "caqv"), "mov", true},
      {"mov", sample("mov_3gp.3gp"), "3gp", true},
      {"mov", sample("mov_3g2.3g2"), "3g2", true},
      {"mov", sample("mov_audio.m4a"), "m4a", false},
      {"mov", sample("world_phone.mp4"), "mp4", false},
      {"mov", sample("world_phone_keys.mp4"), "mp4", false},
      {"mov", sample("world_phone.mov"), "mov", false},
      {"mov", sample("world_title.mp4"), "mp4", false},
      {"mov", sample("world_hvc1.mp4"), "mp4", false},
      {"mov", sample("world_hev1.mp4"), "mp4", false},
      {"mov", sample("world_hvc1.mov"), "mov", false},
      {"mov", sample("world_fragmented.mp4"), "mp4", false},
      {"mov", sample("world_mjpeg_pcm.mov"), "mov", false},
      {"mov", sample("world_pcm24.mov"), "mov", false},
      {"mov", sample("world_phone.3gp"), "3gp", true},
      {"mov", sample("world_aac.m4a"), "m4a", false},
      {"mov", sample("world_alac.m4a"), "m4a", false},
      {"mov", sample("world_cover.m4a"), "m4a", false},
      {"mkv", sample("mkv_video.mkv"), "mkv", true},
      {"mkv", sample("mkv_live.mkv"), "mkv", true},
      {"mkv", sample("mkv_webm.webm"), "webm", true},
      {"mkv", sample("world_h264_aac.mkv"), "mkv", true},
      {"mkv", sample("world_h264_vorbis.mkv"), "mkv", true},
      {"mkv", sample("world_vp9_opus.webm"), "webm", false},
      {"mkv", sample("world_no_crc.mkv"), "mkv", false},
      {"mkv", sample("world_streamed.mkv"), "mkv", true},
      {"mkv", sample("world_mkvmerge.mkv"), "mkv", false},
      {"mkv", sample("world_mkvmerge_no_cues.mkv"), "mkv", false},
      {"asf", sample("asf_video.wmv"), "wmv", true},
      {"asf", sample("asf_audio.wma"), "wma", true},
      {"asf", video_declared_in_extension(sample("asf_video.wmv")), "wmv", true},
      {"flv", sample("flv_video.flv"), "flv", true},
      {"rm", sample("rm_video.rm"), "rm", true},
      {"rm", sample("rm_audio.rm"), "rm", true},
      {"ra", make_ra(3), "ra", false},
      {"ra", make_ra(4), "ra", false},
      {"ra", make_ra(5), "ra", false},
      {"wtv", sample("wtv_sample.wtv"), "wtv", true},
      {"max", make_max(), "max", false},
      {"dpx", sample("dpx_rgb48.dpx"), "dpx", false},
      {"dpx", sample("dpx_rgb10.dpx"), "dpx", false},
      {"dpx", sample("dpx_rgb8.dpx"), "dpx", false},
      {"dpx", sample("dpx_gray16.dpx"), "dpx", false},
  };
}

TEST(Containers, SamplesCarveByteExactWithTheirExtension) {
  for (const Sample& s : samples()) {
    SCOPED_TRACE(std::string(s.option) + " " + s.ext + " of " + std::to_string(s.file.size()));
    expect_exact(s.option, s.file, s.ext);
  }
}

TEST(Containers, DamageEndsTheFileWhereTheStructureStopsHolding) {
  for (const Sample& s : samples()) {
    SCOPED_TRACE(std::string(s.option) + " " + s.ext + " of " + std::to_string(s.file.size()));
    // Cut by the medium's end: kept up to the cut.
    const size_t cut = s.file.size() * 3 / 5;
    Carve c = measure(fmt(s.option), Bytes(s.file.begin(), s.file.begin() + cut), 0);
    EXPECT_EQ(c.verdict, Verdict::truncated);
    EXPECT_EQ(c.length, cut);
    if (!s.splice_shows) continue;
    // Another file's sectors over the middle: never complete, kept at most up to them; a
    // movie, whose index tells where each frame starts, only up to the frame before them.
    Card card(s.file.size() + 8192, false, 11);
    card.put(0, s.file);
    const size_t at = s.file.size() / 2 / 512 * 512;
    const Bytes junk = noise(2048, 5);
    card.put(at, junk);
    c = measure(fmt(s.option), card.data, 0);
    EXPECT_EQ(c.verdict, Verdict::truncated);
    EXPECT_LE(c.length, std::string(s.option) == "mov" ? at : at + junk.size());
  }
}

TEST(Containers, ForeignFilesAreNotCarved) {
  Bytes webm = sample("mkv_webm.webm");
  std::copy_n("wxbm", 4, webm.begin() + 27);  // another EBML document type
  Bytes brand = sample("mov_mp4.mp4");
  std::copy_n("heic", 4, brand.begin() + 8);  // a picture in the same box format
  Bytes asf = sample("asf_audio.wma");
  asf[24] += 1;  // one header object more than the header holds
  Bytes ra = make_ra(4);
  std::copy_n("Int9", 4, ra.begin() + 57);
  Bytes fcp = make_fcp(true);
  fcp[0x1D] = 4;  // a header version not seen
  Bytes rm = sample("rm_audio.rm");
  rm[0x3F] ^= 0x40;  // the properties place the data elsewhere
  struct Case {
    const char* option;
    Bytes file;
  };
  const Case cases[] = {
      {"mkv", webm}, {"mov", brand}, {"asf", asf}, {"ra", ra}, {"fcp", fcp}, {"rm", rm},
      {"max", make_compound({"WordDocument", "1Table", "Data"})},  // an office document
      {"max", make_compound({"Scene", "Contents"})},                // too few scene streams
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    Card card(c.file.size() + 4096, false, 3);
    card.put(0, c.file);
    EXPECT_EQ(measure(fmt(c.option), card.data, 0).verdict, Verdict::corrupt);
  }
}

// A wrong splice of the same recording's later packets keeps every packet well formed;
// the order of each stream's media objects shows it, and the file ends before it.
TEST(Containers, AsfPacketsOutOfTheirObjectOrderEndTheFile) {
  Bytes wmv = sample("asf_video.wmv");
  const uint8_t data_guid[4] = {0x36, 0x26, 0xB2, 0x75};
  const size_t data = std::search(wmv.begin() + 16, wmv.end(), data_guid, data_guid + 4) - wmv.begin();
  const size_t packet = 3200, second = data + 50 + packet;
  ASSERT_LE(second + 3 * packet, wmv.size());
  std::copy_n(wmv.begin() + second + 2 * packet, packet, wmv.begin() + second);
  Carve c = measure(fmt("asf"), wmv, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, second);
}

TEST(Containers, SampleTablesEndAMovieWhoseMediaBoxRunsToTheEnd) {
  // The moov first, then a media box of size 0 ("to the end") or one claiming more
  // than the medium holds: the chunks the tables reference end the movie.
  const Bytes mp4 = sample("mov_faststart.mp4");
  size_t mdat = 0;
  while (mdat + 8 < mp4.size() && std::string(mp4.begin() + mdat + 4, mp4.begin() + mdat + 8) != "mdat")
    mdat += uint32_t(mp4[mdat]) << 24 | mp4[mdat + 1] << 16 | mp4[mdat + 2] << 8 | mp4[mdat + 3];
  ASSERT_LT(mdat, mp4.size());
  for (uint32_t size : {0u, 0x7FFFFFF0u}) {
    Bytes f = mp4;
    put32be(f, mdat, size);
    Card card(f.size() + 4096, false, 8);
    card.put(0, f);
    Carve c = measure(fmt("mov"), card.data, 0);
    EXPECT_EQ(c.verdict, Verdict::complete) << size;
    EXPECT_EQ(c.length, mp4.size()) << size;
  }
}

// The bytes of `before`, `gap` zeros, then those of `after`: a large file read as a
// sparse one would be.
class GapSource : public ByteSource {
 public:
  GapSource(Bytes before, uint64_t gap, Bytes after) : before_(std::move(before)), gap_(gap), after_(std::move(after)) {}
  uint64_t size() const override { return before_.size() + gap_ + after_.size(); }
  size_t read_at(uint64_t off, void* dst, size_t n) override {
    uint8_t* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    for (uint64_t at = off; done < n && at < size(); at = off + done) {
      const uint64_t after = before_.size() + gap_;
      const size_t k = static_cast<size_t>(std::min<uint64_t>(
          n - done, at < before_.size() ? before_.size() - at : at < after ? after - at : size() - at));
      if (at < before_.size()) std::memcpy(out + done, &before_[at], k);
      else if (at < after) std::memset(out + done, 0, k);
      else std::memcpy(out + done, &after_[at - after], k);
      done += k;
    }
    return done;
  }

 private:
  Bytes before_;
  uint64_t gap_;
  Bytes after_;
};

// A movie of more than 4 GiB among noise: its mdat's 64-bit size and its co64 chunk
// offsets, 4 GiB and more past its start, end it after its moov.
TEST(Containers, MovieOfMoreThanFourGibibytesEndsAfterItsMoov) {
  Bytes head = sample("world_big.head"), tail = sample("world_big.tail");
  ASSERT_GT(head.size(), 16u);
  size_t moov = 0;  // the tail's last box; the samples stand before it
  while (moov + 8 <= tail.size() &&
         (std::memcmp(&tail[moov + 4], "moov", 4) != 0 || be32(&tail[moov]) != tail.size() - moov))
    ++moov;
  ASSERT_LT(moov + 8, tail.size());
  const uint64_t gap = be64(&head[head.size() - 8]) - 16 - moov, length = head.size() + gap + tail.size();
  ASSERT_GT(length, uint64_t(1) << 32);
  const Bytes lead = noise(3 * 512, 1);
  head.insert(head.begin(), lead.begin(), lead.end());
  const Bytes trail = noise(70000, 2);
  tail.insert(tail.end(), trail.begin(), trail.end());
  GapSource card(head, gap, tail);
  uint8_t probe[512];
  ASSERT_EQ(card.read_at(lead.size(), probe, sizeof probe), sizeof probe);
  ASSERT_TRUE(fmt("mov").probe(probe));
  Carve c = fmt("mov").measure(card, lead.size(), fmt("mov").max_length);
  EXPECT_EQ(c.verdict, Verdict::complete);
  EXPECT_EQ(c.length, length);
  EXPECT_EQ(ext_of(c), "mp4");
}

// A box of the given type around its payload.
Bytes box(const char* type, const Bytes& payload) {
  Bytes b(8);
  put32be(b, 0, uint32_t(8 + payload.size()));
  std::memcpy(&b[4], type, 4);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

Bytes words(std::initializer_list<uint32_t> values) {
  Bytes b(values.size() * 4);
  size_t at = 0;
  for (uint32_t v : values) put32be(b, at, v), at += 4;
  return b;
}

TEST(Containers, SoundOfMoreSamplesThanTheTablesAreWalkedForStillEndsTheMovie) {
  // PCM sound keeps one table entry per sound sample: 2^24 + 4096 one-byte samples in
  // one chunk, in a media box that runs to the end.
  const uint32_t samples = (1u << 24) + 4096;
  Bytes stbl = box("stsd", words({0, 1, 16, 0x736F7774 /* sowt */, 0, 1}));
  for (const Bytes& b : {box("stsc", words({0, 1, 1, samples, 1})), box("stsz", words({0, 1, samples})),
                         box("stco", words({0, 1, 0 /* set below */}))})
    stbl.insert(stbl.end(), b.begin(), b.end());
  Bytes movie = box("ftyp", {'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm'});
  const Bytes moov = box("moov", box("trak", box("mdia", box("minf", box("stbl", stbl)))));
  movie.insert(movie.end(), moov.begin(), moov.end());
  const size_t chunk_at = movie.size() - 4, data = movie.size() + 8;
  put32be(movie, chunk_at, uint32_t(data));
  const Bytes mdat = box("mdat", {});
  movie.insert(movie.end(), mdat.begin(), mdat.end());
  put32be(movie, data - 8, 0);
  Card card(data + samples + 65536, false, 5);
  card.put(0, movie);
  Carve c = measure(fmt("mov"), card.data, 0);
  EXPECT_EQ(c.verdict, Verdict::complete);
  EXPECT_EQ(c.length, data + samples);
}

TEST(Containers, ProjectFilesEndAtAZeroedOrClaimedSector) {
  for (bool le : {false, true}) {
    const Bytes fcp = make_fcp(le);
    const size_t padded = (fcp.size() + 511) / 512 * 512;
    Card zeroed(padded + 2048, true);
    zeroed.put(0, fcp);
    Card followed(padded + 2048 + 8192, false, 4);
    followed.put(0, fcp);
    std::fill(followed.data.begin() + fcp.size(), followed.data.begin() + padded, 0);
    followed.put(padded + 1024, sample("png_rgb.png"));
    for (const Card* card : {&zeroed, &followed}) {
      ASSERT_TRUE(probes(fmt("fcp"), card->data, 0));
      Carve c = measure(fmt("fcp"), card->data, 0);
      EXPECT_EQ(c.verdict, Verdict::truncated);
      EXPECT_EQ(c.length, card == &zeroed ? padded : padded + 1024);
      EXPECT_EQ(ext_of(c), "fcp");
    }
  }
}

}  // namespace
}  // namespace kes::test
