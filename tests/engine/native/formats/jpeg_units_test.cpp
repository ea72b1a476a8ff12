// The JPEG decoder's units on their own: Huffman tables, marker segments, the bit reader.
#include <gtest/gtest.h>

#include <vector>

#include "byte_source.h"
#include "formats/jpeg_bits.h"
#include "formats/jpeg_headers.h"

namespace kes::jpeg {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(JpegUnits, HuffmanTablesDecodeEveryCanonicalCode) {
  struct Case {
    std::vector<uint8_t> counts;  // codes per length, from 1 bit
    bool ok;
  };
  const Case cases[] = {
      {{0, 1, 5, 1, 1, 1, 1, 1, 1}, true},          // the usual luminance DC table
      {{0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D}, true},  // the usual luminance AC table
      {{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, true},     // one 16-bit code
      {{3}, false},                                  // three 1-bit codes
      {{0, 4, 1}, false},                            // a 3-bit code after all 2-bit ones
  };
  for (const Case& c : cases) {
    uint8_t counts[16] = {};
    int n = 0;
    for (size_t i = 0; i < c.counts.size(); ++i) n += counts[i] = c.counts[i];
    std::vector<uint8_t> vals(n);
    for (int i = 0; i < n; ++i) vals[i] = uint8_t(i << 4 | i % 11);  // sizes up to 10
    HuffTable t;
    ASSERT_EQ(t.build(true, counts, vals.data(), n), c.ok);
    EXPECT_EQ(t.defined(), c.ok);
    EXPECT_FALSE(t.build(true, counts, vals.data(), n + 1));  // values short of the counts
    if (!c.ok) continue;
    t.build(true, counts, vals.data(), n);
    int32_t code = 0, k = 0;
    for (int len = 1; len <= 16; ++len, code <<= 1)
      for (int i = 0; i < counts[len - 1]; ++i, ++code, ++k) {
        SCOPED_TRACE(testing::Message() << len << "-bit code " << code);
        EXPECT_EQ(t.value_of(len, code), vals[k]);
        if (len <= 11) EXPECT_EQ(t.fast(uint32_t(code) << (11 - len)), len << 8 | vals[k]);
        if (len <= kLook) EXPECT_EQ(entry_bits(t.skip_table()[code << (kLook - len)]), len + (vals[k] & 15));
      }
  }
}

TEST(JpegUnits, FrameAndScanHeadersMustFitEachOther) {
  // 8-bit, 16x16, three components: Y 2x2, Cb and Cr 1x1.
  const Bytes frame = {8, 0, 16, 0, 16, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1};
  struct FrameCase {
    size_t at;
    uint8_t value;
    bool ok;
  };
  for (FrameCase c : {FrameCase{0, 8, true}, {0, 9, false}, {4, 0, false}, {5, 4, false}, {9, 1, false},
                      {10, 0x51, false}, {11, 4, false}}) {
    Bytes f = frame;
    f[c.at] = c.value;
    DecodeState st;
    EXPECT_EQ(parse_frame(st, kSOF0, f.data(), f.size()), c.ok) << "byte " << c.at << " = " << int(c.value);
  }
  DecodeState st;
  ASSERT_TRUE(parse_frame(st, kSOF2, frame.data(), frame.size()));
  EXPECT_EQ(st.comp[0].blocks_w, 2u);
  EXPECT_EQ(st.comp[1].blocks_h, 1u);
  uint8_t counts[16] = {0, 1};
  uint8_t vals[1] = {0};
  ASSERT_TRUE(st.dc[0].build(false, counts, vals, 1));
  ASSERT_TRUE(st.ac[1].build(true, counts, vals, 1));
  struct ScanCase {
    Bytes body;
    bool ok;
  };
  const ScanCase scans[] = {
      {{3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 0, 0}, true},  // DC first, all components
      {{1, 1, 0x01, 1, 63, 0}, true},                   // AC band of Y
      {{1, 1, 0x00, 1, 63, 0}, false},                  // AC band with an undefined table
      {{2, 1, 0x01, 2, 0x01, 1, 5, 0}, false},          // AC band of two components
      {{1, 1, 0x01, 0, 5, 0}, false},                   // DC and AC in one scan
      {{1, 4, 0x00, 0, 0, 0}, false},                   // a component the frame lacks
      {{2, 1, 0x00, 1, 0x00, 0, 0, 0}, false},          // a component twice
  };
  for (const ScanCase& c : scans) EXPECT_EQ(parse_scan(st, c.body.data(), c.body.size()), c.ok);
}

TEST(JpegUnits, BitReaderStopsAtMarkersAndZeroedSectors) {
  struct Case {
    Bytes data;
    size_t zero_from;  // bytes from here on are zero (a zeroed sector)
    int bits;          // bits the reader hands out before it feeds zeros
    bool marker;
  };
  Bytes stuffed = {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD9};
  Bytes into_zeros(1024, 0x55);
  const Case cases[] = {
      {stuffed, 6, 24, true},
      {{0x12, 0x34, 0xFF}, 3, 16, false},  // a lone 0xFF at the end of the data
      {into_zeros, 512, 512 * 8, false},
      {into_zeros, 1024, 1024 * 8, false},
  };
  for (const Case& c : cases) {
    Bytes d = c.data;
    for (size_t i = c.zero_from; i < d.size(); ++i) d[i] = 0;
    MemorySource src(d.data(), d.size());
    Cursor cur(src, 0, d.size());
    BitReader br(cur, 0);
    int got = 0;
    while (!br.overran() && got < 20000) {
      br.skip(8);
      got += 8;
    }
    EXPECT_EQ(got - 8, c.bits) << c.zero_from;
    EXPECT_EQ(br.marker(), c.marker);
    if (c.marker) EXPECT_EQ(br.marker_pos(), 4u);
  }
}

}  // namespace
}  // namespace kes::jpeg
