// AIFF, ".snd" and CAF files from ffmpeg and sox carved whole, then cut and broken;
// streams of unknown length end by the sector rule.
#include <gtest/gtest.h>

#include "formats/samples.h"

namespace kes::test {
namespace {

TEST(Sound, GeneratedFilesCarveByteExactWithTheirExtension) {
  const std::pair<const char*, const char*> samples[] = {
      {"aif", "aif_pcm.aif"}, {"aif", "aif_aifc.aifc"}, {"au", "au_known.au"}, {"au", "au_sox.au"},
      {"caf", "caf_pcm.caf"},
      {"caf", "caf_alac.caf"},  // packet table after the audio
      {"caf", "caf_open.caf"},  // audio of size -1 after the packet table
  };
  for (auto [option, name] : samples) expect_exact(option, sample(name), option);
}

TEST(Sound, DamageEndsTheFileWhereTheStructureStopsHolding) {
  const Bytes aif = sample("aif_pcm.aif"), au = sample("au_known.au"), caf = sample("caf_alac.caf");
  const Bytes open = sample("caf_open.caf");
  const size_t ssnd = find_text(aif, "SSND"), data = find_text(caf, "data");
  Bytes short_sound = aif;  // SSND holds fewer frames than COMM announces
  put32be(short_sound, ssnd + 4, 100);
  expect_damage("aif", {
      {"cut by the medium", Bytes(aif.begin(), aif.begin() + 5000), true, Verdict::truncated, 5000, 5000},
      {"noise over the sound chunk's header", spliced(aif, ssnd, 16), false, Verdict::truncated, ssnd, ssnd},
      {"sound shorter than announced", short_sound, false, Verdict::truncated, ssnd, ssnd},
      {"another IFF form", spliced(aif, 8, 4), false, Verdict::corrupt, 0, 0},
  });
  expect_damage("au", {
      {"cut by the medium", Bytes(au.begin(), au.begin() + 3000), true, Verdict::truncated, 3000, 3000},
  });
  expect_damage("caf", {
      {"cut by the medium", Bytes(caf.begin(), caf.begin() + 6000), true, Verdict::truncated, 6000, 6000},
      {"noise over the audio's header", spliced(caf, data, 12), false, Verdict::corrupt, 0, 0},
      {"packet table broken before open audio", spliced(open, find_text(open, "pakt") + 12, 40), false,
       Verdict::corrupt, 0, 0},
      {"open audio cut by the medium", Bytes(open.begin(), open.end() - 100), true, Verdict::truncated,
       open.size() - 100, open.size() - 100},
  });
}

TEST(Sound, StreamOfUnknownLengthEndsAtAZeroedOrClaimedSector) {
  const Bytes au = sample("au_stream.au");
  const size_t sectors = (au.size() + 511) / 512 * 512;
  for (bool zeros : {true, false}) {
    Card card(512 + sectors + 4096, false, 5);
    card.put(512, au);
    if (zeros) card.put(512 + sectors, Bytes(512));
    else card.put(512 + sectors, sample("png_rgb.png"));
    Carve c = measure(fmt("au"), card.data, 512);
    EXPECT_EQ(c.verdict, Verdict::complete);
    EXPECT_EQ(c.length, sectors);
  }
  Carve open_ended = measure(fmt("au"), au, 0);  // the medium ends inside the stream
  EXPECT_EQ(open_ended.verdict, Verdict::truncated);
  EXPECT_EQ(open_ended.length, au.size());
}

}  // namespace
}  // namespace kes::test
