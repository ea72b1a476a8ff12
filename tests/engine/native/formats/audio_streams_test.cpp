// MPEG audio, Ogg, FLAC, WavPack and Monkey's Audio: generated samples carved whole,
// then cut, run into foreign data and relabelled; the tags that may trail them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "formats/samples.h"
#include "formats/stream_synthetic.h"

namespace kes::test {
namespace {

std::vector<StreamSample> samples() {
  return {
      {"mp3", sample("mp3_cbr_tags.mp3"), "mp3", 0},  // Info frame: the count ends the chain
      {"mp3", sample("mp3_vbr.mp3"), "mp3", 0},
      {"mp3", sample("mp3_mpeg2.mp3"), "mp3", 1441},  // frames too small for an Info frame
      {"mp3", sample("mp3_bare.mp3"), "mp3", 1441},
      {"mp3", sample("mp3_layer2.mp3"), "mp3", 1441},
      {"mp3", sample("mp3_layer2_256.mp3"), "mp3", 1441},  // frames longer than the probe sees
      {"mp3", sample("world_cover.mp3"), "mp3", 0},          // a cover larger than the cursor's block
      {"ogg", sample("ogg_vorbis.ogg"), "ogg", 0},
      {"ogg", sample("ogg_opus.ogg"), "ogg", 0},
      {"ogg", sample("ogg_flac.ogg"), "ogg", 0},
      {"ogg", sample("ogg_theora.ogm"), "ogm", 0},
      {"flac", sample("flac_stereo.flac"), "flac", 0},
      {"flac", sample("flac_mono.flac"), "flac", 0},
      {"flac", sample("world_picture.flac"), "flac", 0},
      {"wv", sample("wv_lossless.wv"), "wv", 0},
      {"wv", sample("wv_hybrid.wv"), "wv", 0},
      {"wv", sample("wv_surround.wv"), "wv", 0},
      {"ape", make_ape(), "ape", SIZE_MAX},  // frame data has no checksum of its own bytes
  };
}

Bytes cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(AudioStreams, GeneratedFilesCarveByteExactWithTheirExtension) {
  for (const StreamSample& s : samples()) {
    SCOPED_TRACE(std::string(s.ext) + " of " + std::to_string(s.file.size()) + " bytes");
    expect_exact(s.option, s.file, s.ext);
  }
}

TEST(AudioStreams, DamageEndsTheFileWhereItsStructureStops) {
  for (const StreamSample& s : samples()) expect_damage_handled(s);
}

TEST(AudioStreams, TagsChainsAndChecksums) {
  Bytes id3v1(128);
  std::memcpy(id3v1.data(), "TAGTone", 7);
  Bytes lyrics;
  for (const char* p : {"LYRICSBEGIN", "IND00002", "00", "LYR00005", "la la", "000034", "LYRICS200"})
    lyrics.insert(lyrics.end(), p, p + std::strlen(p));
  const Bytes vbr = sample("mp3_vbr.mp3"), flac = sample("flac_stereo.flac"), vorbis = sample("ogg_vorbis.ogg");
  Bytes bad_seek = make_ape();
  std::copy_n(bad_seek.begin() + 52 + 24, 4, bad_seek.begin() + 52 + 24 + 4);  // two frames at one offset
  Bytes padded = sample("mp3_cbr_tags.mp3");  // zeros past the ID3v2 tag's declared size
  const size_t tag = 10 + (padded[6] << 21 | padded[7] << 14 | padded[8] << 7 | padded[9]);
  padded.insert(padded.begin() + tag, 1000, 0);
  Bytes bad_page = vorbis;
  bad_page[vorbis.size() / 2] ^= 0x01;
  // Another file's sector inside a WavPack block: the sizes still chain, the checksum
  // the encoder closes each block with does not hold, and the file ends before it.
  Bytes overwritten = sample("wv_lossless.wv");
  const std::string wvpk = "wvpk";
  const size_t block = std::find_end(overwritten.begin(), overwritten.begin() + overwritten.size() / 2, wvpk.begin(),
                                     wvpk.end()) - overwritten.begin();
  const Bytes junk = noise(512, 9);
  std::copy(junk.begin(), junk.end(), overwritten.begin() + block + 1024);

  struct Case {
    const char* what;
    const char* option;
    Bytes file;
    Verdict verdict;
    size_t length;
  };
  const Case cases[] = {
      {"mp3, APE tag, Lyrics3, ID3v1", "mp3", cat(cat(cat(vbr, make_ape_tag()), lyrics), id3v1), Verdict::complete,
       vbr.size() + make_ape_tag().size() + lyrics.size() + 128},
      {"ID3v2 tag padded past its size", "mp3", padded, Verdict::complete, padded.size()},
      {"FLAC then ID3v1", "flac", cat(flac, id3v1), Verdict::complete, flac.size() + 128},
      {"FLAC then a second copy", "flac", cat(flac, flac), Verdict::complete, flac.size()},
      {"chained Ogg links", "ogg", cat(vorbis, sample("ogg_opus.ogg")), Verdict::complete,
       vorbis.size() + sample("ogg_opus.ogg").size()},
      {"Ogg page with a flipped bit", "ogg", bad_page, Verdict::truncated, 0},
      {"APE seek table out of order", "ape", bad_seek, Verdict::corrupt, 0},
      {"WavPack block overwritten inside", "wv", overwritten, Verdict::truncated, block},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Card card(c.file.size() + 4096, false, 8);
    card.put(0, c.file);
    Carve got = measure(fmt(c.option), card.data, 0);
    EXPECT_EQ(got.verdict, c.verdict);
    if (c.length) EXPECT_EQ(got.length, c.length);
    if (c.verdict == Verdict::truncated && !c.length) EXPECT_LT(got.length, vorbis.size() / 2);
  }
}

}  // namespace
}  // namespace kes::test
