// The checksums against their definitions, the deflate decoder against zlib's own
// streams, then the formats built on it: Flash movies plain, zlib- and LZMA-compressed,
// and gzip-wrapped live sets.
#include <gtest/gtest.h>
#include <zlib.h>

#include "formats/crc.h"
#include "formats/inflate.h"
#include "formats/samples.h"

namespace kes::test {
namespace {

Bytes deflate_raw(const Bytes& in, int level, int strategy, size_t flush_every) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
  Bytes out(compressBound(static_cast<uLong>(in.size())) + 64 * (in.size() / flush_every + 1));
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  for (size_t at = 0; at < in.size(); at += flush_every) {
    z.next_in = const_cast<uint8_t*>(in.data() + at);
    z.avail_in = static_cast<uInt>(std::min(flush_every, in.size() - at));
    deflate(&z, Z_FULL_FLUSH);  // ends a block: many blocks per stream
  }
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct Collect : InflateSink {
  Bytes out;
  bool take(const uint8_t* p, size_t n) override {
    out.insert(out.end(), p, p + n);
    return true;
  }
};

// An unreflected CRC of `width` bits from 0 (or `init`), bit by bit.
uint32_t msb_crc_bitwise(int width, uint32_t poly, uint32_t init, const uint8_t* p, size_t n) {
  const uint32_t top = 1u << (width - 1), mask = width == 32 ? ~0u : (1u << width) - 1;
  uint32_t c = init;
  for (size_t i = 0; i < n; ++i) {
    c ^= uint32_t(p[i]) << (width - 8);
    for (int k = 0; k < 8; ++k) c = (c & top ? (c << 1) ^ poly : c << 1) & mask;
  }
  return c;
}

TEST(Checksums, AgreeWithTheirDefinitionsAtEveryLengthAndAlignment) {
  const Bytes data = noise(4096 + 64, 9);
  for (size_t at = 0; at < 8; ++at)
    for (size_t n : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(9), size_t(17), size_t(63), size_t(4096)}) {
      SCOPED_TRACE(testing::Message() << n << " bytes at " << at);
      const uint8_t* p = data.data() + at;
      EXPECT_EQ(crc32_msb_update(0xFFFFFFFFu, p, n), msb_crc_bitwise(32, 0x04C11DB7u, 0xFFFFFFFFu, p, n));
      EXPECT_EQ(crc16_update(0, p, n), msb_crc_bitwise(16, 0x8005u, 0, p, n));
      EXPECT_EQ(crc8(p, n), msb_crc_bitwise(8, 0x07u, 0, p, n));
      const size_t half = n / 2;  // chained across two pieces, as over a file's spans
      EXPECT_EQ(crc32(crc32(0, p, half), p + half, n - half), ::crc32(0, p, static_cast<uInt>(n)));
      EXPECT_EQ(adler32(adler32(1, p, half), p + half, n - half), ::adler32(1, p, static_cast<uInt>(n)));
    }
}

Inflated run(const Bytes& stream, Collect& sink, uint64_t max_out = UINT64_MAX) {
  MemorySource src(stream.data(), stream.size());
  Cursor cur(src, 0, stream.size());
  return inflate(cur, 0, max_out, sink);
}

TEST(Inflate, DecodesWhatZlibWritesAndEndsAfterTheFinalBlock) {
  Bytes text;
  for (int i = 0; text.size() < 300000; ++i) {
    std::string line = "line " + std::to_string(i * 7919 % 1000) + " of the test text\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  const Bytes inputs[] = {text, noise(100000, 1), Bytes(70000, 'z'), Bytes(1, 'a'), Bytes()};
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE};
  for (const Bytes& in : inputs)
    for (int level : {0, 1, 6, 9})
      for (int strategy : strategies)
        for (size_t flush : {size_t(1) << 30, size_t(40000)}) {
          SCOPED_TRACE(testing::Message() << in.size() << " bytes, level " << level << ", strategy "
                                          << strategy << ", flush " << flush);
          Bytes stream = deflate_raw(in, level, strategy, flush);
          Bytes tail = noise(100, 2);
          stream.insert(stream.end(), tail.begin(), tail.end());
          Collect sink;
          Inflated r = run(stream, sink);
          ASSERT_EQ(r.status, Inflated::done);
          EXPECT_EQ(r.end, stream.size() - tail.size());
          EXPECT_EQ(r.out, in.size());
          EXPECT_TRUE(sink.out == in);
        }
}

TEST(Inflate, ReportsCutBrokenAndOverlongStreams) {
  const Bytes text(50000, 'q');
  Bytes stream = deflate_raw(noise(60000, 3), 6, Z_DEFAULT_STRATEGY, 20000);
  Collect sink;
  EXPECT_EQ(run(Bytes(stream.begin(), stream.begin() + 30000), sink).status, Inflated::cut);
  Inflated r = run(Bytes(stream.begin(), stream.begin() + 30000), sink);
  EXPECT_GT(r.block_end, 0u);  // the first flushed blocks decoded whole
  EXPECT_LE(r.block_end, 30000u);
  EXPECT_EQ(run(deflate_raw(text, 9, Z_DEFAULT_STRATEGY, 1 << 30), sink, 1000).status, Inflated::too_long);
  int broken = 0;
  for (uint32_t seed = 1; seed <= 200; ++seed) broken += run(noise(4096, seed), sink).status == Inflated::broken;
  EXPECT_GT(broken, 190);  // noise is no deflate stream, but for rare stored blocks that run out
}

TEST(Compressed, SamplesCarveByteExactWithTheirExtension) {
  const std::pair<const char*, const char*> samples[] = {
      {"swf", "swf_fws.swf"},   {"swf", "swf_cws.swf"},     {"swf", "swf_zws.swf"},
      {"als", "als_plain.als"}, {"als", "als_fields.als"},
  };
  for (auto [option, name] : samples) expect_exact(option, sample(name), option);
}

TEST(Compressed, DamageEndsTheFileWhereTheStreamStopsHolding) {
  const Bytes fws = sample("swf_fws.swf"), cws = sample("swf_cws.swf"), als = sample("als_plain.als");
  Bytes bad_sum = cws;  // the Adler-32 after the stream
  bad_sum.back() ^= 1;
  Bytes longer = cws;  // the header announces more than the stream inflates to
  put32le(longer, 4, le32(cws.data() + 4) + 1);
  Bytes bad_crc = als;
  bad_crc[bad_crc.size() - 6] ^= 1;
  Bytes past = Bytes(fws.begin(), fws.begin() + 40);  // a tag announced past the data
  put32le(past, 4, 77);
  past[20] = 1 << 6 | 54, past[21] = 0;  // a ShowFrame to the byte before the end
  // Deflate has no check per block: noise may decode as a block or two of garbage before
  // the stream breaks, so the cut falls where the damage shows, short of the end.
  expect_damage("swf", {
      {"plain movie cut", Bytes(fws.begin(), fws.begin() + 2000), true, Verdict::truncated, 2000, 2000},
      {"a tag past the data", past, true, Verdict::truncated, 40, 40},
      {"noise in the plain movie's tags", spliced(fws, fws.size() / 2, 600), false, Verdict::truncated, 30,
       fws.size() / 2 + 600},
      {"compressed movie cut", Bytes(cws.begin(), cws.begin() + 2000), true, Verdict::truncated, 2000, 2000},
      {"noise in the compressed movie", spliced(cws, cws.size() / 2, 600), false, Verdict::truncated, 100,
       cws.size() - 100},
      {"checksum wrong", bad_sum, false, Verdict::truncated, 1, cws.size() - 4},
      {"length wrong", longer, false, Verdict::truncated, 1, cws.size() - 4},
  });
  expect_damage("als", {
      {"cut", Bytes(als.begin(), als.begin() + 2000), true, Verdict::truncated, 2000, 2000},
      {"noise in the stream", spliced(als, als.size() / 2, 600), false, Verdict::truncated, 100, als.size() - 100},
      {"checksum wrong", bad_crc, false, Verdict::truncated, 1, als.size() - 8},
      {"another XML document", sample("gz_other.gz"), false, Verdict::corrupt, 0, 0},
  });
}

}  // namespace
}  // namespace kes::test
