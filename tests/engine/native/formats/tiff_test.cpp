// TIFF pictures from the tools, and TIFF-structured camera RAW files built here to the
// cameras' public layouts.
#include <gtest/gtest.h>

#include "formats/cursor.h"
#include "formats/tiff_maker.h"

namespace kes::test {
namespace {

Bytes text(const char* s, size_t n) { return Bytes(s, s + n); }

// Raw data referenced only from a SubIFD, a preview JPEG referenced only from inside
// the maker note (which has a TIFF header of its own), placed last in the file.
Bytes make_nef() {
  TiffMaker t(false);
  uint32_t thumb = t.blob(noise(576, 1));
  uint32_t raw = t.blob(noise(40000, 2));
  uint32_t raw_ifd = t.ifd({t.longs(254, {0}), t.longs(256, {200}), t.longs(257, {100}), t.shorts(259, {1}),
                            t.shorts(262, {32803}), t.longs(273, {raw}), t.longs(279, {40000})});
  Bytes jpeg = preview_jpeg();
  TiffMaker in(false);
  uint32_t prev_ifd = in.ifd({in.longs(0x201, {0}), in.longs(0x202, {uint32_t(jpeg.size())})});
  uint32_t mn_ifd = in.ifd({in.longs(0x11, {prev_ifd}, 13), in.ascii(0x2, "Kestrune ")});
  in.set_first(mn_ifd);
  Bytes mn = text("Nikon\0\2\x10\0\0", 10);
  mn.insert(mn.end(), in.out.begin(), in.out.end());
  uint32_t mn_pos = static_cast<uint32_t>((t.out.size() + 1) & ~size_t(1));
  uint32_t exif = t.ifd({t.undefined(37500, mn), t.longs(33434, {1, 250}, 5)});
  uint32_t ifd0 = t.ifd({t.longs(254, {1}), t.longs(256, {16}), t.longs(257, {12}), t.shorts(259, {1}),
                         t.shorts(262, {2}), t.ascii(271, "NIKON CORPORATION"), t.ascii(272, "NIKON D9"),
                         t.longs(273, {thumb}), t.longs(279, {576}), t.longs(330, {raw_ifd}),
                         t.longs(34665, {exif})});
  t.set_first(ifd0);
  uint32_t jpeg_pos = t.blob(jpeg);
  put32be(t.out, mn_pos + 10 + prev_ifd + 2 + 8, jpeg_pos - (mn_pos + 10));
  return t.out;
}

Bytes make_dng() {
  TiffMaker t(true);
  uint32_t prev = t.blob(noise(900, 3));
  uint32_t tile1 = t.blob(noise(5000, 4)), tile2 = t.blob(noise(4100, 5));
  uint32_t raw_ifd = t.ifd({t.longs(254, {0}), t.shorts(259, {7}), t.shorts(262, {32803}),
                            t.longs(322, {64}), t.longs(323, {64}), t.longs(324, {tile1, tile2}),
                            t.longs(325, {5000, 4100})});
  uint32_t ifd0 = t.ifd({t.longs(254, {1}), t.shorts(259, {1}), t.shorts(262, {2}), t.ascii(271, "Kestrel"),
                         t.longs(273, {prev}), t.longs(279, {900}), t.longs(330, {raw_ifd}),
                         t.bytes(50706, {1, 4, 0, 0})});
  t.set_first(ifd0);
  return t.out;
}

// IFD0..IFD3 chain with the raw data in the last IFD, and the raw IFD's offset in the
// header's extension.
Bytes make_cr2() {
  TiffMaker t(true);
  t.out.resize(16);
  t.out[8] = 'C', t.out[9] = 'R', t.out[10] = 2, t.out[11] = 0;
  Bytes jpeg = preview_jpeg();
  uint32_t big = t.blob(jpeg), small = t.blob(noise(1200, 6)), rgb = t.blob(noise(3000, 7));
  uint32_t raw = t.blob(noise(60000, 8));
  uint32_t ifd3 = t.ifd({t.shorts(259, {6}), t.longs(273, {raw}), t.longs(279, {60000}), t.shorts(0xC5D8, {1})});
  uint32_t ifd2 = t.ifd({t.shorts(259, {1}), t.longs(273, {rgb}), t.longs(279, {3000})}, ifd3);
  uint32_t ifd1 = t.ifd({t.shorts(259, {6}), t.longs(513, {small}), t.longs(514, {1200})}, ifd2);
  uint32_t maker = t.ifd({t.shorts(1, {1, 2, 3, 4}), t.ascii(6, "Canon EOS Test")});
  (void)maker;
  uint32_t exif = t.ifd({t.longs(33434, {1, 100}, 5)});
  uint32_t ifd0 = t.ifd({t.shorts(259, {6}), t.ascii(271, "Canon"), t.ascii(272, "Canon EOS Test"),
                         t.longs(273, {big}), t.longs(279, {uint32_t(jpeg.size())}), t.longs(34665, {exif})},
                        ifd1);
  t.set_first(ifd0);
  put32le(t.out, 12, ifd3);
  return t.out;
}

// Raw data in a SubIFD and an encrypted block reached only through the private IFD.
Bytes make_sony(const char* model) {
  TiffMaker t(true);
  uint32_t raw = t.blob(noise(30000, 9));
  uint32_t raw_ifd = t.ifd({t.shorts(259, {32767}), t.shorts(262, {32803}), t.longs(273, {raw}),
                            t.longs(279, {30000})});
  uint32_t thumb = t.blob(noise(700, 10));
  uint32_t priv = t.ifd({t.longs(0x7200, {0}), t.longs(0x7201, {7000}), t.longs(0x7221, {1234})});
  uint32_t ifd0 = t.ifd({t.shorts(259, {1}), t.ascii(271, "SONY"), t.ascii(272, model), t.longs(273, {thumb}),
                         t.longs(279, {700}), t.longs(330, {raw_ifd}), t.longs(50740, {priv})});
  t.set_first(ifd0);
  uint32_t secret = t.blob(noise(7000, 11));
  put32le(t.out, priv + 2 + 8, secret);
  return t.out;
}

Bytes make_plain_raw(bool le, const char* make, uint16_t compression) {
  TiffMaker t(le);
  uint32_t raw = t.blob(noise(25000, 12));
  uint32_t ifd0 = t.ifd({t.shorts(259, {compression}), t.shorts(262, {32803}), t.ascii(271, make),
                         t.ascii(272, "DCS Pro 14N"), t.longs(273, {raw}), t.longs(279, {25000})});
  t.set_first(ifd0);
  return t.out;
}

// Olympus: its own header magic, a maker note whose sub-IFD holds the preview's place.
Bytes make_orf() {
  TiffMaker t(true, 0x4F52);
  uint32_t raw = t.blob(noise(20000, 13));
  Bytes jpeg = preview_jpeg();
  uint32_t mn_pos = static_cast<uint32_t>((t.out.size() + 1) & ~size_t(1));
  // Maker note: "OLYMPUS\0II\3\0", then IFDs with offsets from the maker note's start.
  TiffMaker in(true);
  in.out = text("OLYMPUS\0II\3\0", 12);
  uint32_t head = in.ifd({in.longs(0x2020, {0}, 13), in.longs(0x0000, {0x30303130}, 7)});
  uint32_t cs = in.ifd({in.longs(0x101, {0}), in.longs(0x102, {uint32_t(jpeg.size())})});
  put32le(in.out, head + 2 + 8, cs);
  uint32_t exif = t.ifd({t.undefined(37500, in.out)});
  uint32_t ifd0 = t.ifd({t.ascii(271, "OLYMPUS IMAGING CORP."), t.longs(273, {raw}), t.longs(279, {20000}),
                         t.longs(34665, {exif})});
  t.set_first(ifd0);
  uint32_t jpeg_pos = t.blob(jpeg);
  put32le(t.out, mn_pos + cs + 2 + 8, jpeg_pos - mn_pos);
  return t.out;
}

// Panasonic: raw data whose length comes from the sensor size when no count is given.
Bytes make_rw2(bool with_count) {
  TiffMaker t(true, 0x55);
  t.out.resize(0x18);
  uint32_t jpeg = t.blob(preview_jpeg());
  uint32_t raw_at = static_cast<uint32_t>(t.out.size() + 0x1000);  // room for the IFD before it
  const uint32_t raw_len = (100 * 80 + 13) / 14 * 16;
  std::vector<Field> f = {t.shorts(2, {100}), t.shorts(3, {80}), t.undefined(0x2E, Bytes(600, 0xAB)),
                          t.ascii(271, "Panasonic"), t.longs(273, {raw_at}), t.longs(280, {raw_at})};
  if (with_count) f.insert(f.begin() + 5, t.longs(279, {raw_len}));
  uint32_t ifd0 = t.ifd(f);
  (void)jpeg;
  t.set_first(ifd0);
  t.out.resize(raw_at);
  Bytes raw = noise(raw_len, 14);
  t.out.insert(t.out.end(), raw.begin(), raw.end());
  return t.out;
}

TEST(Tiff, GeneratedPicturesCarveByteExactAsTiff) {
  for (const char* name : {"tif_strips.tif", "tif_tiles_lzw.tif", "tif_big_endian.tif", "tif_jpeg.tif",
                           "tif_pages.tif", "tif_bigtiff.tif"}) {
    SCOPED_TRACE(name);
    expect_exact("tif", sample(name), "tiff");
  }
}

TEST(Tiff, CameraRawsCarveByteExactWithTheirExtension) {
  expect_exact("tif", make_nef(), "nef");
  expect_exact("tif", make_dng(), "dng");
  expect_exact("tif", make_cr2(), "cr2");
  expect_exact("tif", make_sony("ILCE-7"), "arw");
  expect_exact("tif", make_sony("DSC-R1"), "sr2");
  expect_exact("tif", make_plain_raw(false, "PENTAX Corporation", 65535), "pef");
  expect_exact("tif", make_plain_raw(true, "Kodak", 65000), "dcr");
  expect_exact("tif", make_plain_raw(true, "Kestrel Optics", 1), "tif");
  expect_exact("dsc", make_plain_raw(true, "Kodak", 65000), "dsc");
  expect_exact("orf", make_orf(), "orf");
  expect_exact("rw2", make_rw2(false), "rw2");
  expect_exact("rw2", make_rw2(true), "rw2");
}

TEST(Tiff, HeadersOfOneFlavourDoNotProbeAsAnother) {
  Bytes orf = make_orf(), rw2 = make_rw2(true), nef = make_nef();
  EXPECT_FALSE(probes(fmt("tif"), orf, 0));
  EXPECT_FALSE(probes(fmt("tif"), rw2, 0));
  EXPECT_FALSE(probes(fmt("orf"), nef, 0));
  EXPECT_FALSE(probes(fmt("rw2"), nef, 0));
  // The DCS option only takes Kodak's raw files.
  EXPECT_EQ(measure(fmt("dsc"), nef, 0).verdict, Verdict::corrupt);
}

TEST(Tiff, CutAndBrokenFiles) {
  Bytes nef = make_nef(), rw2 = make_rw2(true);
  // Cut by the end of the medium inside the raw data.
  Bytes cut(rw2.begin(), rw2.end() - 3000);
  Carve c = measure(fmt("rw2"), cut, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, cut.size());
  // A header whose first IFD lies in noise.
  Bytes fake = noise(70000, 17);
  std::copy(nef.begin(), nef.begin() + 8, fake.begin());
  put32be(fake, 4, 5000);
  EXPECT_EQ(measure(fmt("tif"), fake, 0).verdict, Verdict::corrupt);
  // An IFD chain that loops back to its start ends all the same.
  Bytes loop = make_plain_raw(true, "Kodak", 65000);
  uint32_t ifd0 = le32(loop.data() + 4);
  uint16_t n = le16(loop.data() + ifd0);
  put32le(loop, ifd0 + 2 + 12 * n, ifd0);
  c = measure(fmt("tif"), loop, 0);
  EXPECT_EQ(c.verdict, Verdict::complete);
  EXPECT_EQ(c.length, loop.size());
}

}  // namespace
}  // namespace kes::test
