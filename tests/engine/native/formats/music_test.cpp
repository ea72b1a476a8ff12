// MIDI, game music, sequencer projects, sessions and tracker modules carved whole, then
// cut and broken inside their structure.
#include <gtest/gtest.h>

#include "formats/samples.h"

namespace kes::test {
namespace {

TEST(Music, SamplesCarveByteExactWithTheirExtension) {
  const std::pair<const char*, const char*> samples[] = {
      {"mid", "mid_abc.mid"},      {"mid", "mid_chunks.mid"}, {"mus", "mus_score.mus"},
      {"flp", "flp_project.flp"}, {"ses", "ses_session.ses"}, {"it", "it_module.it"},
      {"xm", "xm_module.xm"},
  };
  for (auto [option, name] : samples) expect_exact(option, sample(name), option);
}

Bytes cut(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + n); }

TEST(Music, DamageEndsTheFileWhereTheStructureStopsHolding) {
  const Bytes mid = sample("mid_chunks.mid"), mus = sample("mus_score.mus"), flp = sample("flp_project.flp");
  const Bytes ses = sample("ses_session.ses"), it = sample("it_module.it"), xm = sample("xm_module.xm");
  const size_t second_track = find_text(mid, "extra") + 5;
  Bytes no_end = mid;  // the last track lacks its End of Track event
  no_end[no_end.size() - 2] = 0x2E;
  expect_damage("mid", {
      {"cut by the medium", cut(mid, 100), true, Verdict::truncated, 100, 100},
      {"noise over the second track", spliced(mid, second_track, 8), false, Verdict::truncated, second_track,
       second_track},
      {"track without its end", no_end, false, Verdict::truncated, second_track, second_track},
      {"a header of another length", spliced(mid, 7, 1), false, Verdict::corrupt, 0, 0},
  });
  const size_t score = 16 + 2 * 4;
  Bytes undefined = mus;  // an event of the undefined type 5 halfway
  undefined[score + 70] = 0x50;
  expect_damage("mus", {
      {"cut by the medium", cut(mus, 200), true, Verdict::truncated, 200, 200},
      {"undefined event", undefined, false, Verdict::truncated, score + 70, score + 70},
      {"instrument out of range", spliced(mus, 16, 2), false, Verdict::corrupt, 0, 0},
  });
  Bytes overlong = flp;  // the last event's length runs past the data chunk
  overlong[flp.size() - 301] = 0xFF;
  expect_damage("flp", {
      {"cut by the medium", cut(flp, 300), true, Verdict::truncated, 300, 300},
      {"event past the data", overlong, false, Verdict::truncated, flp.size() - 303, flp.size() - 303},
  });
  const size_t list = find_text(ses, "LISTFILE");
  expect_damage("ses", {
      {"cut by the medium", cut(ses, 400), true, Verdict::truncated, 400, 400},
      {"noise over the wave list", spliced(ses, list, 12), false, Verdict::truncated, list, list},
  });
  const size_t sample_header = find_text(it, "IMPS");
  expect_damage("it", {
      {"cut by the medium", cut(it, 4000), true, Verdict::truncated, 4000, 4000},
      {"noise over a sample header", spliced(it, sample_header, 8), false, Verdict::truncated, sample_header,
       sample_header},
  });
  const size_t second_pattern = 336 + 9 + 28;
  expect_damage("xm", {
      {"cut by the medium", cut(xm, 1000), true, Verdict::truncated, 1000, 1000},
      {"noise over the second pattern", spliced(xm, second_pattern, 9), false, Verdict::truncated,
       second_pattern, second_pattern},
      {"version 1.02 layout", spliced(xm, 58, 1), false, Verdict::corrupt, 0, 0},
  });
}

}  // namespace
}  // namespace kes::test
