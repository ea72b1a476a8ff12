// Formats without a structural end (dictation, tablature beyond its opening, notation
// scores, rack songs): a file followed by zeroed sectors comes back exactly; one followed
// by another file stops at that file's sector; one that reaches the medium's end is
// truncated.
#include <gtest/gtest.h>

#include "formats/samples.h"

namespace kes::test {
namespace {

size_t sectors(size_t n) { return (n + 511) / 512 * 512; }

TEST(Loose, FilesRunToTheFirstZeroedOrClaimedSector) {
  const std::pair<const char*, const char*> samples[] = {
      {"dss", "dss_memo.dss"}, {"ds2", "ds2_memo.ds2"}, {"gp5", "gp5_song.gp5"}, {"sib", "sib_score.sib"},
      {"rns", "rns_song.rns"}};
  for (auto [option, name] : samples) {
    SCOPED_TRACE(name);
    const Bytes file = sample(name);
    Card zeros(512 + file.size() + 4096, true);
    zeros.put(512, file);
    ASSERT_TRUE(probes(fmt(option), zeros.data, 512));
    Carve c = measure(fmt(option), zeros.data, 512);
    EXPECT_EQ(c.verdict, Verdict::complete);
    EXPECT_EQ(c.length, file.size());
    EXPECT_EQ(ext_of(c), option);

    Card before_png(512 + sectors(file.size()) + 8192, false, 4);
    before_png.put(512, file);
    before_png.put(512 + sectors(file.size()), sample("png_rgb.png"));
    c = measure(fmt(option), before_png.data, 512);
    EXPECT_EQ(c.verdict, Verdict::complete);
    EXPECT_EQ(c.length, sectors(file.size()));

    c = measure(fmt(option), Bytes(file.begin(), file.end() - 700), 0);
    EXPECT_EQ(c.verdict, Verdict::truncated);
    EXPECT_LE(c.length, file.size() - 700);
    EXPECT_GE(c.length, file.size() - 700 - 511);
  }
}

TEST(Loose, HeadersThatDoNotHoldAreNoFiles) {
  Bytes dss = sample("dss_memo.dss"), gp5 = sample("gp5_song.gp5");
  dss[40] = 'x';  // a creation time that is no number
  put32le(gp5, 31, 0);  // a title of size 0: not even its length byte
  for (auto [option, file] : {std::pair<const char*, Bytes>{"dss", dss}, {"gp5", gp5}}) {
    Card card(512 + file.size() + 4096, true);
    card.put(512, file);
    EXPECT_EQ(measure(fmt(option), card.data, 512).verdict, Verdict::corrupt) << option;
  }
}

}  // namespace
}  // namespace kes::test
