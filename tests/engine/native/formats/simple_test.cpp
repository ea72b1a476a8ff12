// GIF, BMP, ICO and PSD: sizes and blocks from generated files.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>

#include "byte_source.h"
#include "formats/formats.h"
#include "formats/samples.h"

namespace kes::test {
namespace {

TEST(SimpleFormats, GeneratedFilesCarveByteExact) {
  expect_exact("gif", sample("gif_still.gif"), "gif");
  expect_exact("gif", sample("gif_anim.gif"), "gif");
  expect_exact("bmp", sample("bmp_24.bmp"), "bmp");
  expect_exact("bmp", sample("bmp_32.bmp"), "bmp");
  expect_exact("bmp", sample("bmp_8.bmp"), "bmp");
  expect_exact("ico", sample("ico_multi.ico"), "ico");
  expect_exact("ico", sample("ico_single.ico"), "ico");
  expect_exact("psd", sample("psd_rgb.psd"), "psd");
  expect_exact("psd", sample("psd_layers.psd"), "psd");
}

TEST(SimpleFormats, FilesCutByTheEndOfTheMediumAreTruncated) {
  for (auto [option, name] : {std::pair{"gif", "gif_anim.gif"}, {"bmp", "bmp_24.bmp"},
                              {"ico", "ico_multi.ico"}, {"psd", "psd_rgb.psd"}}) {
    SCOPED_TRACE(name);
    Bytes file = sample(name);
    size_t cut = file.size() * 4 / 5;
    Card card(512, true);
    card.put(512, Bytes(file.begin(), file.begin() + cut));
    Carve c = measure(fmt(option), card.data, 512);
    EXPECT_EQ(c.verdict, Verdict::truncated);
    EXPECT_GT(c.length, 0u);
    EXPECT_LE(c.length, cut);
  }
}

TEST(SimpleFormats, GifWithBrokenBlocksKeepsTheFramesBeforeThem) {
  Bytes file = sample("gif_anim.gif");
  Card card(file.size() + 4096, false, 21);
  card.put(0, Bytes(file.begin(), file.begin() + file.size() / 2));
  Carve c = measure(fmt("gif"), card.data, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_LE(c.length, file.size() / 2 + 256);
}

TEST(SimpleFormats, GifImageDataIsCheckedCodeByCode) {
  // Foreign data inside the only image's LZW stream: no picture survives.
  Bytes file = sample("gif_still.gif");
  Bytes junk = noise(2048, 23);
  std::copy(junk.begin(), junk.end(), file.begin() + file.size() / 2);
  EXPECT_EQ(measure(fmt("gif"), file, 0).verdict, Verdict::corrupt);
}

// A fragment search's re-measure: another GIF of the same size and palette, from the
// same offset on, keeps the sub-blocks in step and its codes decode on to its own end;
// the pixel count at the end code tells it from the image's own data. The splicer goes
// on from its checkpoints inside the image, and must measure as a walk from the start.
TEST(SimpleFormats, GifSplicedWithAnotherOfTheSameSizeIsNeverWhole) {
  const Bytes own = sample("gif_still.gif"), other = sample("gif_other.gif");
  const Format& f = fmt("gif");
  MemorySource own_src(own.data(), own.size());
  for (size_t at = 1024; at + 1024 < std::min(own.size(), other.size()); at += 509) {
    SCOPED_TRACE(at);
    const Carve measured = f.measure(own_src, 0, at);
    std::unique_ptr<Splicer> splicer = f.splicer(own_src, f.max_length, measured);
    Bytes mixed(own.begin(), own.begin() + at);
    mixed.insert(mixed.end(), other.begin() + at, other.end());
    Bytes noisy(own.begin(), own.begin() + at);
    const Bytes tail = noise(own.size() - at, static_cast<uint32_t>(at));
    noisy.insert(noisy.end(), tail.begin(), tail.end());
    MemorySource mixed_src(mixed.data(), mixed.size()), noisy_src(noisy.data(), noisy.size());
    EXPECT_NE(splicer->measure(mixed_src, at, mixed.size()).verdict, Verdict::complete);
    const Carve whole = splicer->measure(own_src, at, own.size());
    EXPECT_EQ(whole.verdict, Verdict::complete);
    EXPECT_EQ(whole.length, own.size());
    for (ByteSource* src : {static_cast<ByteSource*>(&mixed_src), static_cast<ByteSource*>(&noisy_src)}) {
      const Carve a = splicer->measure(*src, at, src->size());
      const Carve b = resume_gif(*src, 0, src->size(), std::min<uint64_t>(at, measured.length));
      EXPECT_EQ(std::make_tuple(a.verdict, a.length, a.broken_at), std::make_tuple(b.verdict, b.length, b.broken_at));
    }
  }
}

TEST(SimpleFormats, InconsistentHeadersDoNotProbe) {
  Bytes bmp = sample("bmp_24.bmp");
  bmp[14] = 41;  // no such DIB header size
  EXPECT_FALSE(probes(fmt("bmp"), bmp, 0));
  bmp = sample("bmp_24.bmp");
  bmp[10] = 0xFF, bmp[11] = 0xFF, bmp[12] = 0xFF;  // pixels beyond the file's size
  EXPECT_FALSE(probes(fmt("bmp"), bmp, 0));

  Bytes ico = sample("ico_multi.ico");
  ico[4] = 0;  // no images
  EXPECT_FALSE(probes(fmt("ico"), ico, 0));
  ico = sample("ico_multi.ico");
  ico[6 + 16 + 12] = 3;  // second image would overlap the directory
  ico[6 + 16 + 13] = ico[6 + 16 + 14] = ico[6 + 16 + 15] = 0;
  EXPECT_FALSE(probes(fmt("ico"), ico, 0));

  Bytes psd = sample("psd_rgb.psd");
  psd[13] = 0;  // zero channels
  EXPECT_FALSE(probes(fmt("psd"), psd, 0));
}

}  // namespace
}  // namespace kes::test
