// RIFF: AVI and WAVE files from ffmpeg carved whole, then cut, broken and extended.
#include <gtest/gtest.h>

#include <algorithm>

#include "formats/samples.h"

namespace kes::test {
namespace {

// A RIFF list or chunk: id, size, payload.
Bytes chunk(const char* id, const Bytes& payload) {
  Bytes b(8);
  std::copy(id, id + 4, b.begin());
  put32le(b, 4, static_cast<uint32_t>(payload.size()));
  b.insert(b.end(), payload.begin(), payload.end());
  if (payload.size() & 1) b.push_back(0);
  return b;
}

Bytes cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Riff, GeneratedFilesCarveByteExactWithTheirExtension) {
  expect_exact("riff", sample("riff_avi.avi"), "avi");
  expect_exact("riff", sample("riff_wav.wav"), "wav");
  expect_exact("riff", sample("riff_wav_odd.wav"), "wav");  // odd INFO entries and data chunk
  expect_exact("riff", sample("world_bext.wav"), "wav");     // a broadcast wave's bext chunk
  Bytes wide = sample("riff_rf64.wav");
  expect_exact("riff", wide, "wav");
  std::copy_n("BW64", 4, wide.begin());
  expect_exact("riff", wide, "wav");
  // The index far from the chunks it points to, as in any movie of some length.
  Bytes avi = sample("riff_avi.avi");
  const std::string idx1 = "idx1";
  const size_t index = std::search(avi.begin(), avi.end(), idx1.begin(), idx1.end()) - avi.begin();
  const Bytes junk = chunk("JUNK", Bytes(1 << 20, 0));
  avi.insert(avi.begin() + index, junk.begin(), junk.end());
  put32le(avi, 4, static_cast<uint32_t>(avi.size() - 8));
  expect_exact("riff", avi, "avi");
}

TEST(Riff, DamageEndsTheFileWhereTheChunksStopHolding) {
  const Bytes avi = sample("riff_avi.avi"), wav = sample("riff_wav.wav");
  const size_t cut = avi.size() * 3 / 5;
  const Bytes cut_avi(avi.begin(), avi.begin() + cut);
  Bytes spliced = avi;  // clusters of another file over the movie data: the walk stops in them
  const size_t at = avi.size() / 2 / 512 * 512;
  Bytes junk = noise(12288, 5);
  std::copy(junk.begin(), junk.end(), spliced.begin() + at);
  Bytes index_tail = avi;  // another file's bytes over the index's last entries
  const size_t tail = avi.size() - 40;
  std::copy_n(junk.begin(), 40, index_tail.begin() + tail);
  const size_t first_bad = avi.size() - 48;  // the entry the noise begins in
  Bytes oversized = wav;  // the data chunk claims more than the RIFF holds
  put32le(oversized, 88, 0x10000000);
  Bytes unpadded = wav;  // odd last chunk without its pad byte, the RIFF size odd too
  put32le(unpadded, 4, static_cast<uint32_t>(wav.size() - 9));
  put32le(unpadded, 88, 7999);
  unpadded.pop_back();
  Bytes foreign = wav;  // a RIFF form the application has no kind for
  const Bytes rf64 = sample("riff_rf64.wav");
  Bytes wide_data = rf64;  // the 64-bit data size claims more than the form holds
  put32le(wide_data, 28, 0x10000000);
  const std::string data_id = "data";
  const size_t wide_data_at = std::search(rf64.begin(), rf64.end(), data_id.begin(), data_id.end()) - rf64.begin();
  std::copy_n("WEBP", 4, foreign.begin() + 8);

  struct Case {
    const char* what;
    const Bytes& file;
    bool at_medium_end;
    Verdict verdict;
    size_t min_length, max_length;
  };
  const Case cases[] = {
      {"cut by the medium", cut_avi, true, Verdict::truncated, cut, cut},
      {"foreign data in the movie", spliced, false, Verdict::truncated, 5708 + 12, at + junk.size()},
      {"foreign data in the index", index_tail, false, Verdict::truncated, first_bad, first_bad},
      {"chunk larger than the RIFF", oversized, false, Verdict::truncated, 84, 84},
      {"pad byte missing at the medium end", unpadded, true, Verdict::complete, wav.size() - 1, wav.size() - 1},
      {"pad byte in place", unpadded, false, Verdict::complete, wav.size(), wav.size()},
      {"unknown form", foreign, false, Verdict::corrupt, 0, 0},
      {"64-bit data size too large", wide_data, false, Verdict::truncated, wide_data_at, wide_data_at},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Card card(512 + c.file.size() + (c.at_medium_end ? 0 : 8192), false, 3);
    card.put(512, c.file);
    Carve got = measure(fmt("riff"), card.data, 512);
    EXPECT_EQ(got.verdict, c.verdict);
    EXPECT_GE(got.length, c.min_length);
    EXPECT_LE(got.length, c.max_length);
  }
}

TEST(Riff, LargeAviGoesOnInItsExtensions) {
  const Bytes avi = sample("riff_avi.avi");
  Bytes frames = cat(Bytes{'m', 'o', 'v', 'i'}, chunk("00dc", Bytes(4001, 0x5A)));
  Bytes avix = chunk("RIFF", cat(Bytes{'A', 'V', 'I', 'X'}, chunk("LIST", frames)));
  Bytes whole = cat(cat(avi, avix), avix);
  Card card(whole.size() + 4096, false, 9);
  card.put(0, whole);
  Carve c = measure(fmt("riff"), card.data, 0);
  EXPECT_EQ(c.verdict, Verdict::complete);
  EXPECT_EQ(c.length, whole.size());

  // A WAVE is never extended, and an extension with a broken list is kept up to it.
  Bytes wav_then = cat(sample("riff_wav.wav"), avix);
  EXPECT_EQ(measure(fmt("riff"), wav_then, 0).length, wav_then.size() - avix.size());
  Bytes broken = whole;
  broken[avi.size() + 12] = 0x01;  // the extension's LIST id
  c = measure(fmt("riff"), broken, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, avi.size());
}

}  // namespace
}  // namespace kes::test
