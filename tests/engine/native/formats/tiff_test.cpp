// TIFF pictures from the tools, and TIFF-structured camera RAW files built to the
// cameras' public layouts.
#include <gtest/gtest.h>

#include "formats/cursor.h"
#include "formats/synthetic.h"

namespace kes::test {
namespace {

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
