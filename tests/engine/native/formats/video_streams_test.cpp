// MPEG program, elementary and transport streams, TiVo recordings, DV and DVD IFO
// files: generated samples carved whole, then cut, run into noise and relabelled.
#include <gtest/gtest.h>

#include "formats/samples.h"
#include "formats/stream_synthetic.h"

namespace kes::test {
namespace {

std::vector<StreamSample> samples() {
  return {
      {"mpg", sample("mpg_mpeg1.mpg"), "mpg", 2048, true},
      {"mpg", sample("mpg_vob.mpg"), "mpg", 2048, true},
      {"mpg", sample("mpg_muxed.mpg"), "mpg", 2048, true},
      {"mpg", sample("mpg_h264.mpg"), "mpg", 2048, true},
      {"mpg", sample("mpg_video.mpg"), "mpg", 0},
      {"m2ts", sample("m2ts_packets.m2t"), "m2t", 188, true},
      {"m2ts", sample("m2ts_timecoded.m2ts"), "m2ts", 192, true},
      {"m2ts", sample("world_avchd.m2ts"), "m2ts", 192, true},
      {"TiVo", make_tivo(sample("mpg_mpeg1.mpg")), "TiVo", 2048, true},
      {"TiVo", make_tivo(sample("m2ts_packets.m2t")), "TiVo", 188, true},
      {"dv", sample("dv_ntsc.dv"), "dv", 0},
      {"dv", sample("dv_pal.dv"), "dv", 0},
      {"ifo", sample("ifo_vmg.ifo"), "ifo", SIZE_MAX},  // a fixed size: nothing to run into
      {"ifo", sample("ifo_vts.ifo"), "ifo", SIZE_MAX},
  };
}

TEST(VideoStreams, GeneratedFilesCarveByteExactWithTheirExtension) {
  for (const StreamSample& s : samples()) {
    SCOPED_TRACE(s.ext);
    expect_exact(s.option, s.file, s.ext, s.open_end ? Verdict::truncated : Verdict::complete);
  }
}

TEST(VideoStreams, DamageEndsTheFileWhereItsStructureStops) {
  for (const StreamSample& s : samples()) expect_damage_handled(s);
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

  // So does a pack whose clock does not run on from the last one: the same recording's
  // packs from more than a second later, as a wrong piece would bring them.
  Bytes jumped = sample("mpg_muxed.mpg");
  const size_t at = 16 * 2048, later = jumped.size() * 3 / 4 / 2048 * 2048;
  ASSERT_LT(at, later);
  std::copy(jumped.begin() + later, jumped.end(), jumped.begin() + at);
  c = measure(fmt("mpg"), jumped, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, at);

  // Another file's bytes after a pack: the stream broke right there, so its next piece
  // is looked for from that boundary alone.
  Bytes cut = sample("mpg_vob.mpg");
  const size_t mid = cut.size() / 2 / 2048 * 2048;
  const Bytes other = noise(cut.size() - mid, 5);
  std::copy(other.begin(), other.end(), cut.begin() + mid);
  c = measure(fmt("mpg"), cut, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, mid);
  EXPECT_EQ(c.broken_at, mid + 4);

  // A transport packet out of its PID's count is where the stream breaks.
  Bytes ts = sample("m2ts_packets.m2t");
  const size_t bad = 100 * 188;
  ts[bad + 3] = static_cast<uint8_t>((ts[bad + 3] & 0xF0) | ((ts[bad + 3] + 5) & 0x0F));
  c = measure(fmt("m2ts"), ts, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, bad);
  EXPECT_EQ(c.broken_at, 0u);  // another stream's packets may have run on to there

  // Another file's bytes after a packet: the stream broke before its sync byte.
  const std::pair<const char*, size_t> streams[] = {{"m2ts_packets.m2t", 188}, {"m2ts_timecoded.m2ts", 192}};
  for (const auto& [name, packet] : streams) {
    Bytes cut_ts = sample(name);
    const size_t end = 120 * packet;
    const Bytes foreign = noise(cut_ts.size() - end, 6);
    std::copy(foreign.begin(), foreign.end(), cut_ts.begin() + end);
    cut_ts[end + packet - 188] = 0;  // no chance sync byte
    c = measure(fmt("m2ts"), cut_ts, 0);
    EXPECT_EQ(c.length, end) << name;
    EXPECT_EQ(c.broken_at, end + packet - 188 + 1) << name;
    EXPECT_TRUE(c.open_end) << name;  // nothing says the stream goes on
  }

  // Too short a run of packets is no stream.
  const Bytes whole = sample("m2ts_packets.m2t");
  const Bytes few(whole.begin(), whole.begin() + 20 * 188);
  EXPECT_EQ(measure(fmt("m2ts"), few, 0).verdict, Verdict::corrupt);
}

// A muxer that repeats its system header makes later packs look like a stream's start,
// and a card holds such later parts of deleted clips cut at cluster boundaries. Their
// video begins in the middle of a picture: none is a recording of its own.
TEST(VideoStreams, LaterPartsOfAProgramStreamAreNoRecordings) {
  const Bytes ps = sample("mpg_muxed.mpg");
  int starts = 0;
  for (size_t at = 2048; at < ps.size(); at += 2048) {
    if (!probes(fmt("mpg"), ps, at)) continue;
    ++starts;
    EXPECT_EQ(measure(fmt("mpg"), Bytes(ps.begin() + at, ps.end()), 0).verdict, Verdict::corrupt) << at;
  }
  EXPECT_GT(starts, 0);
}

}  // namespace
}  // namespace kes::test
