#include <gtest/gtest.h>

#include "formats/samples.h"

namespace kes::test {
namespace {

TEST(Png, GeneratedFilesCarveByteExact) {
  for (const char* name : {"png_rgb.png", "png_rgba.png", "png_palette.png", "png_stored.png"}) {
    SCOPED_TRACE(name);
    expect_exact("png", sample(name), "png");
  }
  expect_exact("png", sample("jng_sample.jng"), "jng");
  expect_exact("png", sample("mng_anim.mng"), "mng");
}

TEST(Png, BrokenChunkCutsTheFileBeforeIt) {
  Bytes file = sample("png_stored.png");
  // Damage a byte inside the picture data: its chunk's CRC no longer matches.
  size_t at = file.size() - 5000;
  file[at] ^= 0x40;
  Carve c = measure(fmt("png"), file, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_LT(c.length, at);
  EXPECT_GT(c.length, 33u);

  Bytes cut(file.begin(), file.begin() + 40);  // signature and header only
  EXPECT_EQ(measure(fmt("png"), cut, 0).verdict, Verdict::corrupt);
}

}  // namespace
}  // namespace kes::test
