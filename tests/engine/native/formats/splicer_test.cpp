// The splicers that go on from a walk's kept state (transport and program streams, FLAC
// frames): a fragment search's re-measure must come out as a measure from the file's
// start over the same bytes, whatever follows the splice: the file's own rest, noise, or
// its rest from further on (a plausible wrong piece: in step, with the wrong counters,
// clock or frame numbers).
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "formats/samples.h"
#include "formats/walk_marks.h"

namespace kes::test {
namespace {

TEST(Splicers, ReMeasuresAsAWalkFromTheStart) {
  const struct {
    const char* option;
    const char* name;
  } files[] = {
      {"m2ts", "m2ts_packets.m2t"}, {"m2ts", "m2ts_timecoded.m2ts"}, {"m2ts", "world_avchd.m2ts"},
      {"flac", "flac_stereo.flac"}, {"flac", "flac_mono.flac"},       {"flac", "world_picture.flac"},
      {"mpg", "mpg_mpeg1.mpg"},     {"mpg", "mpg_vob.mpg"},           {"mpg", "mpg_h264.mpg"},
      {"mpg", "mpg_video.mpg"},  // an elementary stream: measured from the start
  };
  for (const auto& s : files) {
    SCOPED_TRACE(s.name);
    const Bytes own = sample(s.name);
    const Format& f = fmt(s.option);
    ASSERT_NE(f.splicer, nullptr);
    MemorySource own_src(own.data(), own.size());
    const std::unique_ptr<Splicer> splicer = f.splicer(own_src, f.max_length, f.measure(own_src, 0, own.size()));
    ASSERT_NE(splicer, nullptr);
    const size_t step = (own.size() / 9 + 4095) / 4096 * 4096;
    for (size_t at = 4096; at + 4096 < own.size(); at += step) {
      SCOPED_TRACE(at);
      const size_t later = std::min(own.size() - 1, at + 3 * 4096 + 700);
      Bytes further(own.begin(), own.begin() + at), noisy(own.begin(), own.begin() + at);
      further.insert(further.end(), own.begin() + later, own.end());
      const Bytes tail = noise(own.size() - at, static_cast<uint32_t>(at));
      noisy.insert(noisy.end(), tail.begin(), tail.end());
      const Bytes* variants[] = {&own, &further, &noisy};
      for (const Bytes* file : variants) {
        MemorySource src(file->data(), file->size());
        const Carve a = splicer->measure(src, at, file->size()), b = f.measure(src, 0, file->size());
        EXPECT_EQ(std::make_tuple(a.verdict, a.length, a.broken_at, a.open_end),
                  std::make_tuple(b.verdict, b.length, b.broken_at, b.open_end));
      }
    }
  }
}

// Marks of a long walk thin out to a bounded number, evenly spaced, and the one before a
// position is still the last kept at or before it.
TEST(Splicers, WalkMarksThinOutEvenly) {
  struct Mark {
    uint64_t pos;
  };
  WalkMarks<Mark> marks(2, 8);
  for (uint64_t n = 0; n < 1000; ++n)
    if (marks.due(n)) marks.add(Mark{n * 10});
  std::vector<uint64_t> kept;
  for (uint64_t p = 0; p < 10000; p += 10) {
    const Mark* m = marks.before(p);
    ASSERT_NE(m, nullptr);
    if (kept.empty() || kept.back() != m->pos) kept.push_back(m->pos);
  }
  ASSERT_LE(kept.size(), 8u);
  ASSERT_GE(kept.size(), 4u);
  for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i], i * kept[1]) << i;  // from 0, evenly spaced
  EXPECT_EQ(marks.before(15, 10)->pos, 0u);  // a mark whose state reads past the position is no use
}

}  // namespace
}  // namespace kes::test
