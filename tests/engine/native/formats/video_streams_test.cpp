// MPEG program, elementary and transport streams, TiVo recordings, DV and DVD IFO
// files: generated samples carved whole, then cut, spliced with noise and relabelled.
#include <gtest/gtest.h>

#include "formats/samples.h"
#include "formats/stream_synthetic.h"

namespace kes::test {
namespace {

struct Sample {
  const char* option;
  Bytes file;
  const char* ext;
  // Bytes past a splice that may still be taken: streams without a checksum cannot
  // tell noise inside their last packet from its payload (SIZE_MAX: not spliced).
  size_t blind;
  size_t junk = 16384;  // noise spliced in
};

std::vector<Sample> samples() {
  return {
      {"mpg", sample("mpg_mpeg1.mpg"), "mpg", 2048},   {"mpg", sample("mpg_vob.mpg"), "mpg", 2048},
      {"mpg", sample("mpg_video.mpg"), "mpg", 0, 32768},      {"m2ts", sample("m2ts_packets.m2t"), "m2t", 188},
      {"m2ts", sample("m2ts_timecoded.m2ts"), "m2ts", 192},
      {"TiVo", make_tivo(sample("mpg_mpeg1.mpg")), "TiVo", 2048},
      {"TiVo", make_tivo(sample("m2ts_packets.m2t")), "TiVo", 188},
      {"dv", sample("dv_ntsc.dv"), "dv", 0},           {"dv", sample("dv_pal.dv"), "dv", 0},
      {"ifo", sample("ifo_vmg.ifo"), "ifo", SIZE_MAX}, {"ifo", sample("ifo_vts.ifo"), "ifo", SIZE_MAX},
  };
}

TEST(VideoStreams, GeneratedFilesCarveByteExactWithTheirExtension) {
  for (const Sample& s : samples()) {
    SCOPED_TRACE(s.ext);
    expect_exact(s.option, s.file, s.ext);
  }
}

// Cut by the medium: kept to the cut. Noise from a sector in the middle on: ended at the
// splice (or within the blind span, else never complete). Another format's header:
// nothing.
TEST(VideoStreams, DamageEndsTheFileWhereItsStructureStops) {
  for (const Sample& s : samples()) {
    SCOPED_TRACE(std::string(s.ext) + " of " + std::to_string(s.file.size()) + " bytes");
    const Format& f = fmt(s.option);
    const size_t cut = s.file.size() * 3 / 5 + 101;
    Card card(512 + cut, false, 5);
    card.put(512, Bytes(s.file.begin(), s.file.begin() + cut));
    Carve c = measure(f, card.data, 512);
    EXPECT_EQ(c.verdict, Verdict::truncated);
    EXPECT_EQ(c.length, cut);

    if (s.blind != SIZE_MAX) {
      Bytes spliced = s.file;
      const size_t at = spliced.size() / 2 / 512 * 512 + 512;
      const Bytes junk = noise(s.junk, 9);
      spliced.resize(std::max(spliced.size(), at + junk.size()));
      std::copy(junk.begin(), junk.end(), spliced.begin() + at);
      Card card2(spliced.size() + 8192, false, 6);
      card2.put(0, spliced);
      c = measure(f, card2.data, 0);
      if (s.blind == 0) EXPECT_EQ(c.verdict, Verdict::truncated);
      EXPECT_NE(c.verdict, Verdict::corrupt);
      EXPECT_LE(c.length, at + s.blind);
    }

    Bytes foreign = s.file;
    std::copy_n("RIFF\x24\0\0\0WAVE", 12, foreign.begin());
    Card card3(foreign.size() + 4096, false, 7);
    card3.put(0, foreign);
    EXPECT_FALSE(probes(f, card3.data, 0));
    EXPECT_EQ(measure(f, card3.data, 0).verdict, Verdict::corrupt);
  }
}

TEST(VideoStreams, ProgramStreamEndsAtItsEndCodeAndTransportCountersHold) {
  // An end code closes a program stream even when more packs follow.
  Bytes ps = sample("mpg_mpeg1.mpg");
  const size_t half = ps.size() / 2 / 2048 * 2048;
  const Bytes end_code = {0, 0, 1, 0xB9};
  std::copy(end_code.begin(), end_code.end(), ps.begin() + half);
  Carve c = measure(fmt("mpg"), ps, 0);
  EXPECT_EQ(c.verdict, Verdict::complete);
  EXPECT_EQ(c.length, half + 4);

  // A transport packet out of its PID's count is where the stream breaks.
  Bytes ts = sample("m2ts_packets.m2t");
  const size_t bad = 100 * 188;
  ts[bad + 3] = static_cast<uint8_t>((ts[bad + 3] & 0xF0) | ((ts[bad + 3] + 5) & 0x0F));
  c = measure(fmt("m2ts"), ts, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, bad);

  // Too short a run of packets is no stream.
  const Bytes whole = sample("m2ts_packets.m2t");
  const Bytes few(whole.begin(), whole.begin() + 20 * 188);
  EXPECT_EQ(measure(fmt("m2ts"), few, 0).verdict, Verdict::corrupt);
}

}  // namespace
}  // namespace kes::test
